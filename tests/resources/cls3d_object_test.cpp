// The mesh object on the recording back-end: texture-table lookup, material rules, transparency,
// bound points, rotation, drawing, failed loads, and the store and rebuild around a device reset.
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "resources/cls3d_object.h"
#include "resources/model_forms.h"
#include "resources/scene_textures.h"
#include "support/engine_fixture.h"
#include "support/mesh_files.h"
#include "support/temp_dir.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace kl {
namespace {

using test::TestMaterial;
using test::TestMesh;

// Two quads far apart, one per subset, in the order the file lists the materials.
TestMesh two_subsets(std::vector<TestMaterial> materials) {
    TestMesh m;
    m.positions = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {5, 0, 0}, {5, 1, 0}, {6, 1, 0}, {6, 0, 0}};
    m.faces = {{4, 5, 6}, {0, 1, 2}, {4, 6, 7}, {0, 2, 3}};
    m.subsets = {1, 0, 1, 0};
    m.materials = std::move(materials);
    return m;
}

bool near(const Vec3& a, const Vec3& b, float tolerance = 1e-4f) {
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
           std::fabs(a.z - b.z) <= tolerance;
}

::testing::AssertionResult same_matrix(const Matrix4& a, const Matrix4& b) {
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a.data()[i] - b.data()[i]) > 1e-5f)
            return ::testing::AssertionFailure()
                   << "element " << i << ": " << a.data()[i] << " vs " << b.data()[i];
    return ::testing::AssertionSuccess();
}

class MeshObjectTest : public test::EngineTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bring_up());
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
    }
    void TearDown() override {
        mdlKl::ClearSceneTextures();
        d3dx::ClearMeshFileCache();
    }

    std::string write(const std::string& name, const TestMesh& m) {
        test::WriteXFile(dir.path() / name, m);
        return (dir.path() / name).string();
    }

    // A one-pixel texture in the slot under the name.
    int put_texture(int slot, const std::string& name) {
        gfx::TexturePtr t;
        EXPECT_EQ(device().CreateTexture(1, 1, 1, 0, gfx::FmtA8R8G8B8, gfx::PoolManaged, &t),
                  gfx::Status::Ok);
        mdlKl::Textures[static_cast<std::size_t>(slot)] = t;
        mdlKl::TextureNames[static_cast<std::size_t>(slot)] = name;
        return gfx::ResourceId(t);
    }

    // What one Render call handed the device.
    gfx::CallLog render(cls3dObject& object) {
        const std::size_t mark = log().Mark();
        object.Render();
        return log().Since(mark);
    }

    test::TempDir dir;
};

TEST_F(MeshObjectTest, TexturesAreFoundByExactNameWithTheLowestSlotWinningAndSlotSevenAsFallback) {
    const int sky = put_texture(0, "sky001.bmp");
    const int seven = put_texture(7, "3c-01-06.jpg");
    const int low = put_texture(42, "brick.jpg");
    put_texture(200, "brick.jpg");
    const std::string file = write("m.x", two_subsets({{{1, 1, 1, 1}, 0, {}, {}, "brick.jpg"},
                                                       {{1, 1, 1, 1}, 0, {}, {}, "Brick.jpg"},
                                                       {{1, 1, 1, 1}, 0, {}, {}, "sky001.bmp"}}));
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(file, 1));
    EXPECT_EQ(object.GetMaterialTexture(0, 0), "brick.jpg");
    EXPECT_EQ(object.GetMaterialTexture(0, 1), "042");
    EXPECT_EQ(object.GetMaterialTexture(1, 0), "Brick.jpg");
    EXPECT_EQ(object.GetMaterialTexture(1, 1), "007") << "letter case counts";
    EXPECT_EQ(object.GetMaterialTexture(2, 1), "000");

    const gfx::CallLog calls = render(object);
    const auto textures = calls.Find("SetTexture");
    ASSERT_EQ(textures.size(), 3u);
    EXPECT_EQ(textures[0].args, (std::vector<double>{0, double(low)}));
    EXPECT_EQ(textures[1].args, (std::vector<double>{0, double(seven)}));
    EXPECT_EQ(textures[2].args, (std::vector<double>{0, double(sky)}));
}

TEST_F(MeshObjectTest, EmissiveAlphaAndPowerFollowTheLoadingRules) {
    put_texture(3, "t.jpg");
    const std::string file =
        write("m.x", two_subsets({{{0.2f, 0.4f, 0.6f, 0.5f}, 30, {1, 1, 1}, {0.1f, 0.1f, 0.1f}, "t.jpg"},
                                  {{0.3f, 0.5f, 0.7f, 0.25f}, 15, {1, 1, 1}, {0.9f, 0.9f, 0.9f}, ""}}));
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(file, 1));
    ASSERT_EQ(object.GetMaterialCount(), 2);
    const Material textured = object.GetMaterials()[0], plain = object.GetMaterials()[1];
    EXPECT_EQ(textured.Emissive.r, 1.0f);
    EXPECT_EQ(textured.Emissive.g, 1.0f);
    EXPECT_EQ(textured.Emissive.b, 1.0f);
    EXPECT_EQ(textured.Emissive.a, 1.0f);
    EXPECT_EQ(plain.Emissive.r, 0.3f);
    EXPECT_EQ(plain.Emissive.g, 0.5f);
    EXPECT_EQ(plain.Emissive.b, 0.7f);
    EXPECT_EQ(plain.Diffuse.r, 0.3f) << "the diffuse colour itself stays";
    for (const Material& m : object.GetMaterials()) {
        EXPECT_EQ(m.Diffuse.a, 1.0f) << "opaque after loading whatever the file said";
        EXPECT_EQ(m.Power, 0.0f);
    }
    EXPECT_EQ(object.GetMaterialTexture(1, 0), "");

    // The untextured subset draws with no texture and its material as set.
    const gfx::CallLog calls = render(object);
    const auto textures = calls.Find("SetTexture");
    ASSERT_EQ(textures.size(), 2u);
    EXPECT_EQ(textures[1].args, (std::vector<double>{0, 0}));
    const auto materials = calls.Find("SetMaterial");
    ASSERT_EQ(materials.size(), 2u);
    EXPECT_FLOAT_EQ(float(materials[1].args[12]), 0.3f) << "emissive red";

    object.SetTransparency(255);
    EXPECT_EQ(object.GetMaterials()[0].Diffuse.a, 0.0f);
    object.SetTransparency(51);
    EXPECT_FLOAT_EQ(object.GetMaterials()[1].Diffuse.a, 0.8f);
    EXPECT_EQ(object.GetMaterials()[1].Ambient.a, 0.0f) << "only the diffuse alpha";
    object.SetSpecPower(12.5f);
    EXPECT_EQ(object.GetMaterials()[0].Power, 12.5f);
    EXPECT_EQ(object.GetMaterials()[1].Power, 12.5f);
}

TEST_F(MeshObjectTest, ReloadingClearsTextureNamesTheNewMaterialsDoNotHave) {
    put_texture(3, "t.jpg");
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(write("a.x", two_subsets({{{1, 1, 1, 1}, 0, {}, {}, "t.jpg"}, {}})), 1));
    ASSERT_TRUE(object.LoadFromFile(write("b.x", two_subsets({{}, {}})), 1));
    EXPECT_EQ(object.GetMaterialTexture(0, 0), "");
    const auto textures = render(object).Find("SetTexture");
    ASSERT_EQ(textures.size(), 2u);
    EXPECT_EQ(textures[0].args[1], 0) << "no texture left over from the first model";
}

TEST_F(MeshObjectTest, BoundPointsAreTheVertexBoundsMovedByThePosition) {
    cls3dObject object;
    EXPECT_TRUE(near(object.GetMidPoint(), {0, 0, 0}));
    object.Position({10, 0, 0});
    EXPECT_TRUE(near(object.GetLowPoint(), {0, 0, 0})) << "no mesh: the origin, not the position";

    ASSERT_TRUE(object.LoadFromFile(write("box.x", test::BoxMesh({-1, 0, -2}, {3, 4, 2})), 1));
    EXPECT_TRUE(near(object.GetMidPoint(), {11, 2, 0}));
    EXPECT_TRUE(near(object.GetLowPoint(), {9, 0, -2}));
    EXPECT_TRUE(near(object.GetHighPoint(), {13, 4, 2}));
    object.SetRotation({0, 1.2f, 0}, {0, 1, 2}, {10, 0, 0});
    EXPECT_TRUE(near(object.GetHighPoint(), {13, 4, 2})) << "the rotation is not applied";
    object.Move({1, 1, 1});
    EXPECT_TRUE(near(object.GetLowPoint(), {10, 1, -1}));
    EXPECT_TRUE(near(object.Position(), {11, 1, 1}));
}

TEST_F(MeshObjectTest, MeshBoundsAreTheModelBoxOfTheMeshHeldNow) {
    cls3dObject object;
    Vec3 low{7, 7, 7}, high;
    EXPECT_FALSE(object.MeshBounds(low, high));
    ASSERT_TRUE(object.LoadFromFile(write("box.x", test::BoxMesh({-1, 0, -2}, {3, 4, 2})), 1));
    object.Position({10, 20, 30});
    object.SetRotation({0, 1.2f, 0}, {0, 1, 2}, {0, 0, 0});
    ASSERT_TRUE(object.MeshBounds(low, high));
    EXPECT_TRUE(near(low, {-1, 0, -2}, 0));
    EXPECT_TRUE(near(high, {3, 4, 2}, 0));

    // Another file, and a mesh gone and rebuilt.
    ASSERT_TRUE(object.LoadFromFile(write("small.x", test::BoxMesh({0, 0, 0}, {0.5f, 1, 1})), 1));
    ASSERT_TRUE(object.MeshBounds(low, high));
    EXPECT_TRUE(near(high, {0.5f, 1, 1}, 0));
    object.StoreData();
    object.ReleaseMesh();
    EXPECT_FALSE(object.MeshBounds(low, high));
    object.ReStoreData();
    ASSERT_TRUE(object.MeshBounds(low, high));
    EXPECT_TRUE(near(low, {0, 0, 0}, 0));
    EXPECT_TRUE(near(high, {0.5f, 1, 1}, 0));
}

TEST_F(MeshObjectTest, AMeshWithoutVerticesHasItsBoundPointsAtThePosition) {
    TestMesh empty;
    empty.materials.push_back({});
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(write("empty.x", empty), 1));
    EXPECT_EQ(object.GetVertexCount(), 0);
    object.Position({3, -4, 5});
    EXPECT_TRUE(near(object.GetLowPoint(), {3, -4, 5}));
    EXPECT_TRUE(near(object.GetMidPoint(), {3, -4, 5}));
    EXPECT_EQ(render(object).Count("DrawIndexedPrimitive"), 0u);
}

TEST_F(MeshObjectTest, RotationTurnsThePlacedObjectAboutTheOrigin) {
    cls3dObject object;
    object.Position({5, 0, 2});
    const Vec3 angle{0.3f, 0.7f, 0}, order{1, 0, 2};
    const Matrix4 r = mdlMain::RotationFromAngles(angle, order);

    object.SetRotation(angle, order, {5, 0, 2});
    EXPECT_TRUE(same_matrix(object.RotationMatrix(), r)) << "about its own position the matrix is R";
    object.Rotate({0, 0, 0.4f}, order, {5, 0, 2});
    EXPECT_TRUE(same_matrix(object.RotationMatrix(), r * MatrixRotationZ(0.4f)));

    // About another point: a model vertex v lands at (v + ObjPos - Origin) x R + Origin.
    const Vec3 origin{1, 2, 3}, v{0.5f, -1, 2};
    object.SetRotation(angle, order, origin);
    const Matrix4 world = object.RotationMatrix() * MatrixTranslation(5, 0, 2);
    const Vec3 expected = Vec3TransformCoord(v + Vec3{5, 0, 2} - origin, r) + origin;
    EXPECT_TRUE(near(Vec3TransformCoord(v, world), expected));

    // A later move shifts the turned object without re-centring the turn.
    object.Move({0, 10, 0});
    const Matrix4 moved = object.RotationMatrix() * MatrixTranslation(5, 10, 2);
    EXPECT_TRUE(near(Vec3TransformCoord(v, moved), expected + Vec3{0, 10, 0}));

    // Rotate composes after the current rotation, about the position at the time of the call.
    object.RotationMatrix(MatrixIdentity());
    object.Rotate(angle, order, origin);
    const Matrix4 once = object.RotationMatrix();
    object.Rotate(angle, order, origin);
    EXPECT_TRUE(same_matrix(object.RotationMatrix(), once * once));
}

TEST_F(MeshObjectTest, RenderSetsWorldStatesAndEachSubsetsMaterialAndTexture) {
    const int tex = put_texture(9, "t.jpg");
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(
        write("m.x", two_subsets({{{1, 0, 0, 1}, 0, {}, {}, ""}, {{0, 1, 0, 1}, 0, {}, {}, "t.jpg"}})), 1));
    object.Position({1, 2, 3});
    object.RotationMatrix(MatrixRotationY(0.5f));
    const gfx::CallLog calls = render(object);

    const gfx::Call* world = calls.Last("SetTransform", {gfx::TsWorld});
    ASSERT_NE(world, nullptr);
    const Matrix4 expected = MatrixRotationY(0.5f) * MatrixTranslation(1, 2, 3);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(float(world->args[std::size_t(i) + 1]), expected.data()[i]);
    EXPECT_EQ(calls.CountWith("SetTextureStageState", {0, gfx::tss::AlphaOp, gfx::TopSelectArg1}), 1u);
    EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::CullMode, gfx::CullCcw}), 1u);
    EXPECT_EQ(calls.Count("SetRenderState"), 1u) << "blending is left alone";

    // Per subset: material, texture, one draw of that subset's faces.
    std::vector<std::string> per_subset;
    for (const gfx::Call& c : calls.Calls())
        if (c.name == "SetMaterial" || c.name == "SetTexture" || c.name == "DrawIndexedPrimitive")
            per_subset.push_back(c.name);
    EXPECT_EQ(per_subset, (std::vector<std::string>{"SetMaterial", "SetTexture", "DrawIndexedPrimitive",
                                                    "SetMaterial", "SetTexture", "DrawIndexedPrimitive"}));
    const auto draws = calls.Find("DrawIndexedPrimitive");
    EXPECT_EQ(draws[0].args[3], 0);
    EXPECT_EQ(draws[0].args[4], 2) << "subset 0 holds two faces";
    EXPECT_EQ(draws[1].args[3], 6);
    EXPECT_EQ(calls.Find("SetTexture")[1].args[1], tex);
    EXPECT_FLOAT_EQ(float(calls.Find("SetMaterial")[0].args[0]), 1.0f);

    // The shadow pass draws the same faces with whatever material and texture are set.
    engine.ShadowOn = true;
    const gfx::CallLog shadow = render(object);
    EXPECT_EQ(shadow.Count("SetMaterial"), 0u);
    EXPECT_EQ(shadow.Count("SetTexture"), 0u);
    EXPECT_EQ(shadow.Count("DrawIndexedPrimitive"), 2u);
}

// The scene draws buildings subset by subset; each subset must reach the device exactly as Render
// hands it over: the object's world transform and states first, then that subset's material,
// texture and faces.
TEST_F(MeshObjectTest, RenderingEachSubsetInTurnHandsTheDeviceWhatRenderDoes) {
    put_texture(9, "t.jpg");
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(
        write("m.x", two_subsets({{{1, 0, 0, 1}, 0, {}, {}, ""}, {{0, 1, 0, 1}, 0, {}, {}, "t.jpg"}})), 1));
    object.Position({1, 2, 3});
    const auto drawing_calls = [](const gfx::CallLog& calls) {
        std::vector<std::string> out;
        for (const gfx::Call& c : calls.Calls())
            if (c.name == "SetTransform" || c.name == "SetMaterial" || c.name == "SetTexture" ||
                c.name == "DrawIndexedPrimitive")
                out.push_back(c.ToString());
        return out;
    };
    const std::vector<std::string> whole = drawing_calls(render(object));

    const std::size_t mark = log().Mark();
    object.RenderSubset(0);
    const std::vector<std::string> first = drawing_calls(log().Since(mark));
    const std::size_t second_mark = log().Mark();
    object.RenderSubset(1);
    const std::vector<std::string> second = drawing_calls(log().Since(second_mark));
    ASSERT_EQ(first.size(), 4u);
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(first[0], whole[0]) << "the world transform comes first";
    EXPECT_EQ(second[0], whole[0]);
    EXPECT_EQ(std::vector<std::string>(first.begin() + 1, first.end()),
              std::vector<std::string>(whole.begin() + 1, whole.begin() + 4));
    EXPECT_EQ(std::vector<std::string>(second.begin() + 1, second.end()),
              std::vector<std::string>(whole.begin() + 4, whole.end()));

    // A subset the model does not have draws nothing.
    const std::size_t outside = log().Mark();
    object.RenderSubset(2);
    object.RenderSubset(-1);
    EXPECT_EQ(log().Since(outside).Count("DrawIndexedPrimitive"), 0u);
}

TEST_F(MeshObjectTest, LoadingFailsWithoutMaterialsAndAFailedReloadReportsFailure) {
    cls3dObject object;
    EXPECT_FALSE(object.LoadFromFile((dir.path() / "missing.x").string(), 1));

    TestMesh bare = test::BoxMesh({0, 0, 0}, {1, 1, 1});
    bare.materials.clear();
    bare.subsets.clear();
    EXPECT_FALSE(object.LoadFromFile(write("bare.x", bare), 1)) << "a file without materials";

    ASSERT_TRUE(object.LoadFromFile(write("box.x", test::BoxMesh({0, 0, 0}, {1, 1, 1})), 1));
    object.Position({2, 2, 2});
    EXPECT_FALSE(object.LoadFromFile((dir.path() / "missing.x").string(), 1))
        << "an object that had loaded before still reports the failure";
    EXPECT_EQ(object.GetMaterialCount(), 0);
    EXPECT_EQ(object.GetMesh(), nullptr);
    EXPECT_TRUE(near(object.GetMidPoint(), {0, 0, 0}));
    EXPECT_EQ(render(object).Count("SetMaterial"), 0u);

    // A file without materials after a bigger model: the counts recorded for that model must not
    // lead the bound points or a store past the new mesh's vertices.
    ASSERT_TRUE(object.LoadFromFile(write("box.x", test::BoxMesh({0, 0, 0}, {1, 1, 1})), 1));
    TestMesh triangle;
    triangle.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    triangle.faces = {{0, 1, 2}};
    EXPECT_FALSE(object.LoadFromFile(write("triangle.x", triangle), 1));
    EXPECT_TRUE(near(object.GetHighPoint(), {0, 0, 0}));
    object.StoreData();
    ASSERT_FALSE(object.LoadFromFile((dir.path() / "missing.x").string(), 1));

    // Nothing of the earlier model comes back through a device reset either.
    engine.CleanupObjects();
    engine.RestoreObjects();
    EXPECT_EQ(object.GetMesh(), nullptr);
}

TEST_F(MeshObjectTest, RegistersAsAMeshAndUnregistersWhenDestroyed) {
    auto object = std::make_unique<cls3dObject>();
    ASSERT_EQ(engine.RegisteredObjects().size(), 1u);
    EXPECT_EQ(engine.RegisteredObjects()[0].pObj, object.get());
    EXPECT_EQ(engine.RegisteredObjects()[0].pObjType, ObjTypeMesh);
    object.reset();
    EXPECT_TRUE(engine.RegisteredObjects().empty());
}

struct Snapshot {
    std::vector<std::uint8_t> vertices, indices, attributes;
    Vec3 low, high;
    std::vector<std::vector<double>> draws, materials, textures;
};

class MeshObjectReset : public MeshObjectTest {
  protected:
    Snapshot snapshot(cls3dObject& object) {
        Snapshot s;
        auto* mesh = const_cast<d3dx::Mesh*>(object.GetMesh());
        EXPECT_NE(mesh, nullptr);
        if (mesh == nullptr) return s;
        std::uint8_t* data = nullptr;
        EXPECT_EQ(mesh->LockVertexBuffer(gfx::LockReadOnly, &data), gfx::Status::Ok);
        s.vertices.assign(data, data + std::size_t{mesh->GetNumVertices()} *
                                           d3dx::GetFVFVertexSize(mesh->GetFVF()));
        mesh->UnlockVertexBuffer();
        EXPECT_EQ(mesh->LockIndexBuffer(gfx::LockReadOnly, &data), gfx::Status::Ok);
        s.indices.assign(data, data + std::size_t{mesh->GetNumFaces()} * 6);
        mesh->UnlockIndexBuffer();
        d3dx::Dword* attributes = nullptr;
        EXPECT_EQ(mesh->LockAttributeBuffer(gfx::LockReadOnly, &attributes), gfx::Status::Ok);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(attributes);
        s.attributes.assign(bytes, bytes + std::size_t{mesh->GetNumFaces()} * 4);
        mesh->UnlockAttributeBuffer();
        s.low = object.GetLowPoint();
        s.high = object.GetHighPoint();
        const gfx::CallLog calls = render(object);
        for (const gfx::Call& c : calls.Find("DrawIndexedPrimitive"))
            s.draws.push_back(c.args);
        for (const gfx::Call& c : calls.Find("SetMaterial"))
            s.materials.push_back(c.args);
        for (const gfx::Call& c : calls.Find("SetTexture"))
            s.textures.push_back(c.args);
        return s;
    }
    static void expect_same(const Snapshot& a, const Snapshot& b) {
        EXPECT_EQ(a.vertices, b.vertices);
        EXPECT_EQ(a.indices, b.indices);
        EXPECT_EQ(a.attributes, b.attributes);
        EXPECT_TRUE(near(a.low, b.low, 0));
        EXPECT_TRUE(near(a.high, b.high, 0));
        EXPECT_EQ(a.draws, b.draws);
        EXPECT_EQ(a.materials, b.materials);
        EXPECT_EQ(a.textures, b.textures);
    }

    std::string model() {
        TestMesh m = two_subsets({{{1, 0, 0, 1}, 0, {}, {}, "t.jpg"}, {{0, 0, 1, 1}, 0, {}, {}, ""}});
        m.texcoords = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 0}};
        return write("m.x", m);
    }
};

TEST_F(MeshObjectReset, StoreReleaseAndRestoreGiveTheSameMeshAndDrawing) {
    put_texture(4, "t.jpg");
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(model(), 1));
    object.Position({1, 2, 3});
    const Snapshot before = snapshot(object);
    ASSERT_FALSE(before.vertices.empty());

    object.StoreData();
    object.ReleaseMesh();
    EXPECT_EQ(object.GetMesh(), nullptr);
    object.ReStoreData();
    ASSERT_NE(object.GetMesh(), nullptr);
    expect_same(before, snapshot(object));

    // Through the engine's reset, twice over.
    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    ASSERT_TRUE(engine.SetRes(&mode, 0, true));
    expect_same(before, snapshot(object));
}

TEST_F(MeshObjectReset, AStoreRepeatedAfterTheMeshWentKeepsTheCopies) {
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(model(), 1));
    const Snapshot before = snapshot(object);
    object.StoreData();
    object.ReleaseMesh();
    // A reset that failed half way starts storing again from the first object.
    object.StoreData();
    object.ReleaseMesh();
    object.ReStoreData();
    expect_same(before, snapshot(object));
}

TEST_F(MeshObjectReset, AFailingLockWhileStoringKeepsTheEarlierCopies) {
    cls3dObject object;
    ASSERT_TRUE(object.LoadFromFile(model(), 1));
    const Snapshot before = snapshot(object);
    object.StoreData();
    control().lock_result = gfx::Status::DeviceLost;
    object.StoreData();
    control().lock_result = gfx::Status::Ok;
    object.ReleaseMesh();
    object.ReStoreData();
    expect_same(before, snapshot(object));
}

TEST_F(MeshObjectReset, LoadsOfOneFileShareTheirBuffersAndARestoreStandsAlone) {
    const std::string file = model();
    cls3dObject a, b;
    ASSERT_TRUE(a.LoadFromFile(file, 1));
    ASSERT_TRUE(b.LoadFromFile(file, 1));
    EXPECT_TRUE(a.GetMesh()->SharesBuffersWith(*b.GetMesh()));
    a.StoreData();
    a.ReleaseMesh();
    a.ReStoreData();
    EXPECT_FALSE(a.GetMesh()->SharesBuffersWith(*b.GetMesh()));
    expect_same(snapshot(a), snapshot(b));
}

// The coarse form of a body with a cabin above it: the cabin's side (z 0.45) stands a little behind
// the body's (z 0.5), in the same material, with glass a centimetre proud of the cabin. Corners of
// both sides share the cells where they meet; merged into one point there, the cabin's side would
// move out over its glass. Every corner must stay in its own face's plane, and the fine squares of
// the faces must merge into far fewer triangles.
TEST(CoarseModelForm, KeepsEachFaceInItsPlaneAndMergesItsSquares) {
    ModelForm full;
    full.subsets.resize(1);
    ModelForm::Subset& paint = full.subsets[0];
    const auto add_face = [&](float z, float y0, float y1) {
        constexpr int kTiles = 20;
        const auto first = paint.vertex_count;
        for (int i = 0; i <= kTiles; ++i)
            for (int j = 0; j <= kTiles; ++j) {
                const float v[6] = {-2.0f + 4.0f * float(i) / kTiles, y0 + (y1 - y0) * float(j) / kTiles, z, 0, 0, 1};
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(v);
                paint.vertices.insert(paint.vertices.end(), bytes, bytes + sizeof v);
                ++paint.vertex_count;
            }
        for (std::uint32_t i = 0; i < kTiles; ++i)
            for (std::uint32_t j = 0; j < kTiles; ++j) {
                const std::uint32_t a = first + i * (kTiles + 1) + j, b = a + kTiles + 1;
                paint.indices.insert(paint.indices.end(), {a, b, b + 1, a, b + 1, a + 1});
            }
    };
    add_face(0.5f, 0.0f, 1.0f);  // the body's side
    add_face(0.45f, 0.9f, 1.5f); // the cabin's side
    full.vertex_count = paint.vertex_count;
    const gfx::VertexLayout layout = gfx::LayoutOf(gfx::fvf::Xyz | gfx::fvf::Normal);

    ModelForm coarse;
    ASSERT_TRUE(MakeCoarseForm(full, 24, layout, 12, coarse));
    ASSERT_EQ(coarse.subsets.size(), 1u);
    const ModelForm::Subset& s = coarse.subsets[0];
    EXPECT_LT(s.indices.size() * 4, paint.indices.size()) << "the squares merge";
    EXPECT_GT(s.indices.size(), 0u);
    int off_plane = 0;
    for (std::uint32_t v = 0; v < s.vertex_count; ++v) {
        float p[3];
        std::memcpy(p, s.vertices.data() + std::size_t(v) * 24, sizeof p);
        off_plane += std::fabs(p[2] - 0.5f) > 1e-5f && std::fabs(p[2] - 0.45f) > 1e-5f;
    }
    EXPECT_EQ(off_plane, 0) << "corners moved off their faces";

    // A form with no detail to drop is refused: it would save nothing.
    ModelForm square;
    square.subsets.resize(1);
    ModelForm::Subset& q = square.subsets[0];
    for (const auto& c : {std::array<float, 6>{0, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 1}}) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.data());
        q.vertices.insert(q.vertices.end(), bytes, bytes + 24);
    }
    q.vertex_count = square.vertex_count = 3;
    q.indices = {0, 1, 2};
    EXPECT_FALSE(MakeCoarseForm(square, 24, layout, 12, coarse));
}

} // namespace
} // namespace kl
