// xinfo's summary line: counts, textures in material order without the untextured, bounds.
#include "xinfo/xinfo_line.h"

#include <gtest/gtest.h>

namespace kl::tools {
namespace {

TEST(XInfoLine, SummarisesAMeshAndSkipsUntexturedMaterials) {
    kl::platform::MeshData m;
    m.positions = {{1, 2, 3}, {-1.5f, 4, 0}, {0, -2, 7}};
    m.faces = {{0, 1, 2}};
    m.subsets = {0};
    m.materials.resize(3);
    m.materials[0].texture = "a\\B.bmp";
    m.materials[2].texture = "c.jpg";
    EXPECT_EQ(XInfoLine("f.x", {m, ""}),
              "f.x: vertices=3 faces=1 materials=3 textures=a\\B.bmp,c.jpg bounds=(-1.5,-2,0)-(1,4,7)");
}

TEST(XInfoLine, ReportsTheReasonOfAFailure) {
    EXPECT_EQ(XInfoLine("g.x", {std::nullopt, "not a .x file"}), "g.x: error: not a .x file");
}

} // namespace
} // namespace kl::tools
