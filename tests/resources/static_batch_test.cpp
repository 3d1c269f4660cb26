// Objects drawn from one batch on the recording back-end: the triangles of the objects in view, in
// place, subset after subset with each subset's states, in one call per run of neighbours; and the
// objects a batch must refuse.
#include "engine/math.h"
#include "resources/cls3d_object.h"
#include "resources/continuing_quads.h"
#include "resources/scene_textures.h"
#include "resources/static_batch.h"
#include "support/engine_fixture.h"
#include "support/mesh_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace kl {
namespace {

using Triangle = std::array<float, 9>;

// A unit quad in subset 0 and a triangle above it in subset 1.
test::TestMesh house(std::vector<test::TestMaterial> materials) {
    test::TestMesh m;
    m.positions = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 2, 0}, {1, 2, 0}, {0.5f, 3, 0}};
    m.faces = {{0, 1, 2}, {4, 5, 6}, {0, 2, 3}};
    m.normals.assign(7, {0, 0, -1});
    m.subsets = {0, 1, 0};
    m.materials = std::move(materials);
    return m;
}

const std::vector<test::TestMaterial> kTwoMaterials = {{{1, 0, 0, 1}, 0, {}, {}, ""},
                                                       {{0, 1, 0, 1}, 0, {}, {}, "t.jpg"}};

class StaticBatchTest : public test::EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
        gfx::TexturePtr t;
        ASSERT_EQ(device().CreateTexture(1, 1, 1, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged, &t),
                  gfx::Status::Ok);
        mdlKl::Textures[9] = t;
        mdlKl::TextureNames[9] = "t.jpg";
    }
    void TearDown() override {
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
    }

    // Objects of one file in a row along z, ten units apart.
    void make_row(int count, const test::TestMesh& mesh) {
        test::WriteXFile(dir.path() / "house.x", mesh);
        for (int i = 0; i < count; ++i) {
            objects.push_back(std::make_unique<cls3dObject>());
            ASSERT_TRUE(objects.back()->LoadFromFile((dir.path() / "house.x").string(), 1));
            objects.back()->Position({5, 0, 10.0f * float(i)});
        }
    }
    std::vector<cls3dObject*> pointers() {
        std::vector<cls3dObject*> out;
        for (auto& o : objects)
            out.push_back(o.get());
        return out;
    }

    // The world-space triangles of one draw call, read from the buffers the device draws with.
    std::vector<Triangle> triangles_of(const gfx::Call& draw) {
        std::vector<Triangle> out;
        const gfx::DeviceState& s = state();
        std::uint8_t *vertices = nullptr, *indices = nullptr;
        EXPECT_EQ(s.stream->Lock(0, 0, &vertices, gfx::LockReadOnly), gfx::Status::Ok);
        EXPECT_EQ(s.indices->Lock(0, 0, &indices, gfx::LockReadOnly), gfx::Status::Ok);
        EXPECT_EQ(s.indices->IndexFormat(), gfx::FmtIndex32);
        const auto first = static_cast<std::size_t>(draw.args[3]);
        for (std::size_t f = 0; f < static_cast<std::size_t>(draw.args[4]); ++f) {
            Triangle t{};
            for (std::size_t c = 0; c < 3; ++c) {
                std::uint32_t v = 0;
                std::memcpy(&v, indices + (first + f * 3 + c) * 4, 4);
                EXPECT_GE(v, draw.args[1]);
                EXPECT_LT(v, draw.args[1] + draw.args[2]) << "inside the range the call names";
                std::memcpy(&t[c * 3], vertices + std::size_t{v} * s.stream_stride, 12);
            }
            out.push_back(t);
        }
        s.stream->Unlock();
        s.indices->Unlock();
        return out;
    }

    test::TempDir dir;
    std::vector<std::unique_ptr<cls3dObject>> objects;
};

TEST_F(StaticBatchTest, DrawsTheTrianglesInViewInPlaceOneCallPerRunOfNeighbours) {
    make_row(6, house(kTwoMaterials));
    // Out of order on purpose: the batch lays the row out along z.
    std::swap(objects[1], objects[4]);
    StaticBatch batch;
    ASSERT_TRUE(batch.Build(pointers()));
    ASSERT_TRUE(batch.Ready());

    // Objects 0, 1, 2 and 3 stand at z = 0, 40, 20 and 30.
    const std::vector<char> visible = {1, 1, 1, 1, 0, 0};
    const std::size_t mark = log().Mark();
    batch.Draw(visible);
    const gfx::CallLog calls = log().Since(mark);

    // z = 0 stands alone; z = 20, 30 and 40 follow one another: two calls per subset.
    const auto draws = calls.Find("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 4u);
    EXPECT_EQ(batch.LastDrawCalls(), 4u);
    const gfx::Call* world = calls.Last("SetTransform", {gfx::TsWorld});
    ASSERT_NE(world, nullptr);
    const Matrix4 identity = MatrixIdentity();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(float(world->args[std::size_t(i) + 1]), identity.data()[i]);

    // Subset 0 (red, untextured) comes before subset 1 (green, textured), each with its states set
    // before its calls.
    std::vector<std::string> order;
    for (const gfx::Call& c : calls.Calls())
        if (c.name == "SetMaterial" || c.name == "SetTexture" || c.name == "DrawIndexedPrimitive")
            order.push_back(c.name == "SetTexture" ? c.name + (c.args[1] == 0 ? " none" : " t") : c.name);
    EXPECT_EQ(order.front(), "SetMaterial");
    EXPECT_EQ(std::count(order.begin(), order.end(), "SetTexture none"), 2);
    EXPECT_EQ(std::count(order.begin(), order.end(), "SetTexture t"), 2);
    EXPECT_EQ(order[1], "SetTexture none");
    EXPECT_EQ(order.back(), "DrawIndexedPrimitive");

    std::vector<Triangle> drawn, expected;
    for (const gfx::Call& d : draws)
        for (const Triangle& t : triangles_of(d))
            drawn.push_back(t);
    const test::TestMesh m = house(kTwoMaterials);
    for (float z : {0.0f, 20.0f, 30.0f, 40.0f})
        for (const auto& f : m.faces) {
            Triangle t{};
            for (std::size_t c = 0; c < 3; ++c) {
                t[c * 3] = m.positions[f[c]][0] + 5;
                t[c * 3 + 1] = m.positions[f[c]][1];
                t[c * 3 + 2] = m.positions[f[c]][2] + z;
            }
            expected.push_back(t);
        }
    // Compared as sets of triangles with their corners in order.
    std::sort(drawn.begin(), drawn.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(drawn, expected);

    // Nothing in view, nothing drawn; a visibility list of another length is refused.
    const std::size_t quiet = log().Mark();
    batch.Draw(std::vector<char>(6, 0));
    batch.Draw(std::vector<char>(5, 1));
    EXPECT_EQ(log().Since(quiet).Count("DrawIndexedPrimitive"), 0u);

    // Placed copies instead: each a piece of its own, moved on from where its object stands, and
    // only those in view drawn.
    const std::vector<BatchPlacement> copies = {{0, {0, 0, 100}}, {2, {0, 1, 0}}, {0, {0, 0, 200}}};
    StaticBatch placed;
    ASSERT_TRUE(placed.Build(pointers(), 0, false, copies));
    ASSERT_EQ(placed.Pieces(), 3u);
    Vec3 low, high;
    placed.PieceBounds(2, low, high);
    EXPECT_EQ(low.z, 200.0f);
    EXPECT_EQ(high.y, 3.0f);
    const std::size_t copied = log().Mark();
    placed.Draw({1, 1, 0});
    std::vector<Triangle> drawn_copies, expected_copies;
    for (const gfx::Call& d : log().Since(copied).Find("DrawIndexedPrimitive"))
        for (const Triangle& t : triangles_of(d))
            drawn_copies.push_back(t);
    for (const auto& [lift, z] : {std::pair{0.0f, 100.0f}, std::pair{1.0f, 20.0f}})
        for (const auto& f : m.faces) {
            Triangle t{};
            for (std::size_t c = 0; c < 3; ++c) {
                t[c * 3] = m.positions[f[c]][0] + 5;
                t[c * 3 + 1] = m.positions[f[c]][1] + lift;
                t[c * 3 + 2] = m.positions[f[c]][2] + z;
            }
            expected_copies.push_back(t);
        }
    std::sort(drawn_copies.begin(), drawn_copies.end());
    std::sort(expected_copies.begin(), expected_copies.end());
    EXPECT_EQ(drawn_copies, expected_copies);
}

// Squares that continue one another become one quad, its far corners carrying the texture on; level
// ones up to the length asked for. Squares whose texture would jump by less than a whole repeat, or
// that bend, stay as they are.
TEST_F(StaticBatchTest, MergesSquaresThatContinueOneAnotherAndNothingElse) {
    const auto merged = [&](const test::TestMesh& mesh, MeshCopy& copy,
                            float longest_level = std::numeric_limits<float>::infinity()) {
        test::WriteXFile(dir.path() / "strip.x", mesh);
        d3dx::ClearMeshFileCache();
        cls3dObject strip;
        EXPECT_TRUE(strip.LoadFromFile((dir.path() / "strip.x").string(), 1));
        EXPECT_TRUE(strip.CopyGeometry(copy));
        return MergeContinuingQuads(copy, longest_level);
    };

    MeshCopy copy;
    ASSERT_EQ(merged(test::StripOfSquares(4, "t.jpg"), copy), 3u);
    ASSERT_EQ(copy.Runs.size(), 1u);
    ASSERT_EQ(copy.Runs[0].FaceCount, 2u);
    const gfx::VertexLayout strip_layout = gfx::LayoutOf(copy.VertexFormat);
    ASSERT_GE(strip_layout.texcoord, 0);
    std::vector<std::array<float, 5>> corners; // x, y, z, u, v
    for (std::size_t k = 0; k < 6; ++k) {
        const std::uint8_t* v = copy.Vertices.data() + std::size_t(copy.Indices[k]) * copy.VertexSize;
        std::array<float, 5> c{};
        std::memcpy(c.data(), v, 12);
        std::memcpy(c.data() + 3, v + strip_layout.texcoord, 8);
        if (std::find(corners.begin(), corners.end(), c) == corners.end()) corners.push_back(c);
    }
    std::sort(corners.begin(), corners.end());
    const std::vector<std::array<float, 5>> expected = {
        {-2, 0, 0, 0, 0}, {-2, 0, 40, 0, 8}, {2, 0, 0, 1, 0}, {2, 0, 40, 1, 8}};
    EXPECT_EQ(corners, expected) << "the far end carries on two repeats every ten units";
    EXPECT_EQ(merged(test::StripOfSquares(4, "t.jpg"), copy, 20), 2u) << "level squares merge in twos";
    test::TestMesh wall = test::StripOfSquares(4, "t.jpg");
    for (auto& p : wall.positions)
        p = {0, p[0], p[2]}; // stood up on its side
    EXPECT_EQ(merged(wall, copy, 20), 3u) << "a wall merges whole";
    {
        // The batch asked to merge draws the wall as one quad.
        cls3dObject strip;
        ASSERT_TRUE(strip.LoadFromFile((dir.path() / "strip.x").string(), 1));
        StaticBatch batch;
        ASSERT_TRUE(batch.Build({&strip}, 5, true));
        // Of the eight pieces, those of the quad's two triangles' centres are kept, the others dropped.
        EXPECT_EQ(batch.Pieces(), 2u);
        const std::size_t mark = log().Mark();
        batch.Draw(std::vector<char>(batch.Pieces(), 1));
        const auto draws = log().Since(mark).Find("DrawIndexedPrimitive");
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(triangles_of(draws[0]).size(), 2u);
    }

    test::TestMesh half = test::StripOfSquares(3, "t.jpg");
    for (std::size_t k = 4; k < 8; ++k)
        half.texcoords[k][1] += 0.5f;
    EXPECT_EQ(merged(half, copy), 0u) << "a texture that would jump by half a repeat";
    EXPECT_EQ(copy.Runs[0].FaceCount, 6u);

    test::TestMesh bent = test::StripOfSquares(3, "t.jpg");
    bent.positions[4][1] = bent.positions[5][1] = 1; // the middle square's far edge lifted
    EXPECT_EQ(merged(bent, copy), 0u) << "squares that bend";
}

TEST_F(StaticBatchTest, RefusesObjectsItCannotDrawAsTheyWouldDrawThemselves) {
    {
        make_row(3, house(kTwoMaterials));
        objects[1]->RotationMatrix(MatrixRotationY(0.5f));
        StaticBatch batch;
        EXPECT_FALSE(batch.Build(pointers())) << "a turned object";
        EXPECT_FALSE(batch.Ready());
        batch.Draw({1, 1, 1});
        EXPECT_EQ(batch.LastDrawCalls(), 0u);
    }
    {
        objects.clear();
        make_row(2, house(kTwoMaterials));
        test::WriteXFile(dir.path() / "other.x",
                         house({{{1, 0, 0, 1}, 0, {}, {}, ""}, {{0, 0, 1, 1}, 0, {}, {}, ""}}));
        objects.push_back(std::make_unique<cls3dObject>());
        ASSERT_TRUE(objects.back()->LoadFromFile((dir.path() / "other.x").string(), 1));
        StaticBatch batch;
        EXPECT_FALSE(batch.Build(pointers())) << "another material in a subset";
    }
    {
        objects.clear();
        make_row(2, house(kTwoMaterials));
        objects.push_back(std::make_unique<cls3dObject>());
        EXPECT_FALSE(objects.back()->LoadFromFile((dir.path() / "missing.x").string(), 1));
        StaticBatch batch;
        EXPECT_FALSE(batch.Build(pointers())) << "an object without a mesh";
        EXPECT_FALSE(batch.Build({})) << "no objects";
        EXPECT_FALSE(batch.Build({objects[0].get(), nullptr}));
        const std::vector<BatchPlacement> beyond = {{0, {}}, {1, {}}};
        EXPECT_FALSE(batch.Build({objects[0].get()}, 0, false, beyond)) << "a copy of no object";
    }
}

TEST_F(StaticBatchTest, BelongsToTheDeviceItWasBuiltOn) {
    make_row(2, house(kTwoMaterials));
    StaticBatch batch;
    ASSERT_TRUE(batch.Build(pointers()));
    engine.Cleanup();
    EXPECT_FALSE(batch.Ready()) << "the device is gone";
    batch.Draw({1, 1});
    EXPECT_EQ(batch.LastDrawCalls(), 0u);
}

} // namespace
} // namespace kl
