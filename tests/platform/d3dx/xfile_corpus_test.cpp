// The committed seed corpus of the fuzz target: every seed loads, and the encodings of one scene
// agree, so the fuzzer starts from inputs that reach deep into the reader.
#include "platform/d3dx/xfile/xfile_reader.h"
#include "platform/d3dx/xfile_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace kl::platform {
namespace {

TEST(XFileCorpus, EverySeedLoadsAndTheEncodingsOfASceneAgree) {
    std::map<std::string, MeshData> first_of_scene;
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KL_XFILE_CORPUS)) {
        ++seeds;
        const XFileResult r = ReadXFileFromPath(entry.path());
        ASSERT_TRUE(r.mesh.has_value()) << entry.path() << ": " << r.error;
        EXPECT_FALSE(r.mesh->faces.empty()) << entry.path();
        const std::string stem = entry.path().stem().string();
        const std::string scene = stem.substr(0, stem.find('_'));
        const auto [it, added] = first_of_scene.try_emplace(scene, *r.mesh);
        if (!added) {
            EXPECT_EQ(*r.mesh, it->second) << entry.path();
        }
    }
    EXPECT_GE(seeds, 8);
}

} // namespace
} // namespace kl::platform
