// Polygon buffers on the recording back-end: growth to the highest slot written, reads bounded by
// the capacity, resizing that keeps content, what Render asks the device for in each pass, and the
// buffers carried across a device reset.
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "overlay/cls2d_texture.h"
#include "resources/cls3d_polygons.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <cstring>
#include <limits>
#include <numbers>

namespace kl::test {
namespace {

using gfx::Status;
constexpr gfx::Dword kOn = 0xFFFFFFFFu;

// Distinct vertices: slot i has x = first + i.
std::vector<PolyVertex> vertices(int count, float first = 1) {
    std::vector<PolyVertex> v(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        v[static_cast<std::size_t>(i)] = {first + static_cast<float>(i), 2, 3, 0, 1, 0, 0.5f, 0.25f};
    return v;
}

bool same(const std::vector<PolyVertex>& a, const std::vector<PolyVertex>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(PolyVertex)) == 0;
}

class Polygons : public EngineTest {
  protected:
    void SetUp() override { ASSERT_TRUE(bring_up()); }

    std::vector<PolyVertex> read(cls3dPolygons& p, int offset, int count) {
        std::vector<PolyVertex> out(static_cast<std::size_t>(count));
        p.GetVertexData(out.data(), offset, count);
        return out;
    }
    std::vector<std::uint16_t> read_indices(cls3dPolygons& p, int offset, int count) {
        std::vector<std::uint16_t> out(static_cast<std::size_t>(count), 0xBEEF);
        p.GetIndexData(out.data(), offset, count);
        return out;
    }
    void write(cls3dPolygons& p, int offset, const std::vector<PolyVertex>& v) {
        p.SetVertexData(v.data(), offset, static_cast<std::int32_t>(v.size()));
    }
    // A triangle list of n triangles with indices 0, 1, 2, ... in either storage.
    void fill(cls3dPolygons& p, int triangles, bool indexed) {
        write(p, 0, vertices(triangles * 3));
        if (!indexed) return;
        std::vector<std::uint16_t> idx(static_cast<std::size_t>(triangles * 3));
        for (std::size_t i = 0; i < idx.size(); ++i)
            idx[i] = static_cast<std::uint16_t>(i);
        p.SetIndexData(idx.data(), 0, static_cast<std::int32_t>(idx.size()));
        p.SetIndexed(true);
    }
    gfx::CallLog render(cls3dPolygons& p, std::int32_t offset, std::int32_t count) {
        const std::size_t mark = log().Mark();
        p.Render(offset, count);
        return log().Since(mark);
    }

    TempDir dir;
};

TEST_F(Polygons, RegistersAndStartsWithTheEngineDefaults) {
    cls3dPolygons p;
    ASSERT_EQ(engine.RegisteredObjects().size(), 1u);
    EXPECT_EQ(engine.RegisteredObjects()[0].pObjType, ObjTypePolygons);
    EXPECT_EQ(p.GetPolyFormat(), 0) << "nothing to draw before Initialize";
    p.Initialize(true);
    EXPECT_EQ(p.GetPolyFormat(), gfx::PtTriangleList);
    EXPECT_EQ(p.GetVisibility(), gfx::CullCcw);
    EXPECT_EQ(std::memcmp(&p.GetMaterial(), &engine.DefaultMaterial, sizeof(Material)), 0);
    EXPECT_TRUE(p.GetDynamicUsage());
    EXPECT_EQ(p.GetVertexCapacity(), 0) << "no storage until written";
}

TEST_F(Polygons, AWriteGrowsStorageToExactlyItsLastSlot) {
    for (bool dynamic : {true, false}) {
        SCOPED_TRACE(dynamic ? "dynamic" : "static");
        cls3dPolygons p;
        p.Initialize(dynamic);
        const std::size_t mark = log().Mark();
        write(p, 10, vertices(5));
        EXPECT_EQ(p.GetVertexCapacity(), 15);
        EXPECT_TRUE(same(read(p, 10, 5), vertices(5)));
        if (dynamic) {
            EXPECT_TRUE(same(read(p, 0, 10), std::vector<PolyVertex>(10))) << "zero bytes before";
            EXPECT_EQ(log().Since(mark).Count("CreateVertexBuffer"), 0u);
        } else {
            const gfx::Call* made = log().Since(mark).Last("CreateVertexBuffer");
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(made->args, (std::vector<double>{15 * 32, 0, kFvfPolyVertex, gfx::PoolManaged}));
        }
        // Writing inside the storage never shrinks it.
        write(p, 0, vertices(2, 50));
        EXPECT_EQ(p.GetVertexCapacity(), 15);
        EXPECT_TRUE(same(read(p, 10, 5), vertices(5)));

        const std::uint16_t idx[3] = {4, 5, 6};
        p.SetIndexData(idx, 7, 3);
        EXPECT_EQ(p.GetIndexCapacity(), 10);
        EXPECT_EQ(read_indices(p, 7, 3), (std::vector<std::uint16_t>{4, 5, 6}));
    }
}

TEST_F(Polygons, ReadsBeyondTheCapacityLeaveTheDestinationAlone) {
    for (bool dynamic : {true, false}) {
        SCOPED_TRACE(dynamic ? "dynamic" : "static");
        cls3dPolygons p;
        p.Initialize(dynamic);
        write(p, 0, vertices(8));
        const std::uint16_t idx[4] = {1, 2, 3, 4};
        p.SetIndexData(idx, 0, 4);
        const std::vector<PolyVertex> marker = vertices(3, 900);
        for (auto [offset, count] : {std::pair{6, 3}, {8, 1}, {-1, 2}, {0, 9}}) {
            std::vector<PolyVertex> out = marker;
            p.GetVertexData(out.data(), offset, count);
            EXPECT_TRUE(same(out, marker)) << offset << ", " << count;
        }
        EXPECT_TRUE(same(read(p, 5, 3), vertices(3, 6))) << "up to the last slot";
        EXPECT_EQ(read_indices(p, 2, 3), (std::vector<std::uint16_t>(3, 0xBEEF)));
        EXPECT_EQ(read_indices(p, 2, 2), (std::vector<std::uint16_t>{3, 4}));
    }
}

TEST_F(Polygons, NegativeOrOverflowingRunsWriteNothing) {
    cls3dPolygons p;
    p.Initialize(true);
    write(p, 0, vertices(4));
    const std::vector<PolyVertex> v = vertices(4, 100);
    p.SetVertexData(v.data(), -2, 4);
    p.SetVertexData(v.data(), 1, -3);
    p.SetVertexData(v.data(), std::numeric_limits<std::int32_t>::max(), 2);
    EXPECT_EQ(p.GetVertexCapacity(), 4);
    EXPECT_TRUE(same(read(p, 0, 4), vertices(4)));
}

TEST_F(Polygons, ResizingKeepsTheContentThatFits) {
    cls3dPolygons p;
    p.Initialize(false);
    write(p, 0, vertices(100));
    std::vector<std::uint16_t> idx(30);
    for (std::size_t i = 0; i < idx.size(); ++i)
        idx[i] = static_cast<std::uint16_t>(i * 3);
    p.SetIndexData(idx.data(), 0, 30);

    ASSERT_TRUE(p.ChangeBufferSize(150, 0));
    EXPECT_EQ(p.GetVertexCapacity(), 150);
    EXPECT_TRUE(same(read(p, 0, 100), vertices(100)));
    ASSERT_TRUE(p.ChangeBufferSize(40, 0));
    EXPECT_EQ(p.GetVertexCapacity(), 40);
    EXPECT_TRUE(same(read(p, 0, 40), vertices(40)));
    EXPECT_EQ(p.GetIndexCapacity(), 30);
    EXPECT_EQ(read_indices(p, 0, 30), idx) << "the index storage is left alone";

    const std::size_t mark = log().Mark();
    EXPECT_TRUE(p.ChangeBufferSize(0, 0));
    EXPECT_TRUE(p.ChangeBufferSize(-5, 30)) << "same size: nothing to do";
    EXPECT_TRUE(log().Since(mark).Calls().empty());
}

TEST_F(Polygons, ARefusedGrowthKeepsTheOldBufferAndWritesNothing) {
    cls3dPolygons p;
    p.Initialize(false);
    write(p, 0, vertices(6));
    control().failing_calls["CreateVertexBuffer"] = Status::OutOfMemory;
    EXPECT_FALSE(p.ChangeBufferSize(20, 0));
    write(p, 4, vertices(4, 70));
    control().failing_calls.clear();
    EXPECT_EQ(p.GetVertexCapacity(), 6);
    EXPECT_TRUE(same(read(p, 0, 6), vertices(6)));

    // The same when copying the kept part fails.
    control().failing_calls["LockVertexBuffer"] = Status::InvalidCall;
    EXPECT_FALSE(p.ChangeBufferSize(20, 0));
    control().failing_calls.clear();
    EXPECT_EQ(p.GetVertexCapacity(), 6);
    EXPECT_TRUE(same(read(p, 0, 6), vertices(6)));
}

TEST_F(Polygons, DynamicDrawingAlwaysStartsAtSlotZero) {
    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 4, false);
    gfx::CallLog calls = render(p, 5, 2);
    const gfx::Call* draw = calls.Last("DrawPrimitiveUP");
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->args, (std::vector<double>{gfx::PtTriangleList, 2, 32}));
    EXPECT_TRUE(same(draw->DataAs<PolyVertex>(), vertices(6))) << "the first two triangles";
    EXPECT_EQ(state().fvf, kFvfPolyVertex);

    p.SetIndexed(true);
    const std::uint16_t idx[6] = {0, 1, 2, 9, 10, 11};
    p.SetIndexData(idx, 0, 6);
    calls = render(p, 3, 2);
    draw = calls.Last("DrawIndexedPrimitiveUP");
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->args, (std::vector<double>{gfx::PtTriangleList, 0, 12, 2, gfx::FmtIndex16, 32}));
    EXPECT_EQ(draw->indices, (std::vector<std::uint32_t>{0, 1, 2, 9, 10, 11}));

    // More primitives than the arrays hold draw nothing rather than read past them.
    EXPECT_EQ(render(p, 0, 3).Count("DrawIndexedPrimitiveUP"), 0u);
    p.SetIndexed(false);
    EXPECT_EQ(render(p, 0, 5).Count("DrawPrimitiveUP"), 0u);
    EXPECT_EQ(render(p, 0, 4).Count("DrawPrimitiveUP"), 1u);
}

TEST_F(Polygons, StaticDrawingUsesTheDeviceBuffersFromTheOffset) {
    cls3dPolygons p;
    p.Initialize(false);
    fill(p, 4, false);
    gfx::CallLog calls = render(p, 3, 2);
    EXPECT_EQ(calls.Last("SetStreamSource")->args[2], 32);
    EXPECT_EQ(calls.Last("DrawPrimitive")->args, (std::vector<double>{gfx::PtTriangleList, 3, 2}));

    fill(p, 4, true);
    calls = render(p, 6, 2);
    EXPECT_EQ(calls.Last("SetIndices")->args[1], 0) << "base vertex";
    EXPECT_EQ(calls.Last("DrawIndexedPrimitive")->args, (std::vector<double>{gfx::PtTriangleList, 0, 12, 6, 2}));
}

TEST_F(Polygons, BlendsForAlphaInTheMaterialOrTheTexture) {
    WriteBytes(dir.path() / "k.bmp", EncodeBmp(4, 4, 3, std::vector<std::uint8_t>(48, 90)));
    auto keyed = std::make_shared<cls2dTexture>();
    ASSERT_TRUE(keyed->LoadFromFile((dir.path() / "k.bmp").string(), mdlMain::ColorRGB(255, 0, 255), 0, false));
    auto edited = std::make_shared<cls2dTexture>();
    ASSERT_TRUE(edited->LoadForEdit(2, 2));
    ASSERT_TRUE(edited->EditStart());
    edited->Edit({0, 0}, 10, -1, -1, -1);
    edited->EditEnd();
    auto plain = std::make_shared<cls2dTexture>();
    ASSERT_TRUE(plain->LoadForEdit(2, 2));

    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 1, false);
    struct Case {
        std::shared_ptr<cls2dTexture> texture;
        std::int32_t transparency;
        bool blends;
        gfx::Dword op;
        const char* what;
    };
    for (const Case& c : {Case{nullptr, 0, false, 0, "opaque, untextured"},
                          Case{plain, 0, false, 0, "opaque, plain texture"},
                          Case{nullptr, 128, true, gfx::TopSelectArg1, "see-through material"},
                          Case{keyed, 0, true, gfx::TopSelectArg2, "colour key"},
                          Case{edited, 0, true, gfx::TopSelectArg2, "edited alpha"},
                          Case{keyed, 128, true, gfx::TopModulate, "both"}}) {
        SCOPED_TRACE(c.what);
        p.SetTexture(c.texture);
        p.SetMaterial(mdlMain::MakeMaterial(200, 100, 50, 0, 0, 0, 0, c.transparency));
        const gfx::CallLog calls = render(p, 0, 1);
        EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::AlphaBlendEnable, double(kOn)}), c.blends ? 1u : 0u);
        EXPECT_EQ(calls.CountWith("SetTextureStageState", {0, gfx::tss::AlphaOp}), c.blends ? 1u : 0u);
        if (c.blends) {
            EXPECT_EQ(stage_state(gfx::tss::AlphaOp), c.op);
        }
        EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), 0u) << "off after drawing";
        EXPECT_EQ(state().texture, c.texture ? c.texture->GetTexture() : nullptr);
        EXPECT_FLOAT_EQ(state().material.Diffuse.a, 1.0f - static_cast<float>(c.transparency) / 255.0f);
    }
    // The mip filter follows the texture's levels.
    p.SetTexture(keyed);
    render(p, 0, 1);
    EXPECT_EQ(stage_state(gfx::tss::MipFilter), gfx::TexfLinear);
    p.SetTexture(plain);
    render(p, 0, 1);
    EXPECT_EQ(stage_state(gfx::tss::MipFilter), gfx::TexfNone);
}

TEST_F(Polygons, AMirroredPassFlipsTheCulling) {
    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 1, false);
    PlaneRecord mirror;
    mirror.Plane = {0, 1, 0, 0};
    mirror.Normal = {0, 1, 0};
    struct Case {
        std::int32_t visibility, normal, mirrored;
    };
    for (const Case c : {Case{2, 2, 3}, Case{3, 3, 2}, Case{1, 1, 1}, Case{7, 7, 1}}) {
        p.SetVisibility(c.visibility);
        render(p, 0, 1);
        EXPECT_EQ(render_state(gfx::rs::CullMode), static_cast<gfx::Dword>(c.normal)) << c.visibility;
        engine.SetReflectionState(&mirror, false);
        render(p, 0, 1);
        EXPECT_EQ(render_state(gfx::rs::CullMode), static_cast<gfx::Dword>(c.mirrored)) << c.visibility;
        engine.SetReflectionState(nullptr, false);
    }
    p.SetVisibility(0);
    engine.SetReflectionState(&mirror, false);
    EXPECT_EQ(render(p, 0, 1).CountWith("SetRenderState", {gfx::rs::CullMode}), 0u);
    engine.SetReflectionState(nullptr, false);
}

TEST_F(Polygons, TheShadowPassFlattensWithTheEngineMaterial) {
    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 1, false);
    p.SetTexture(std::make_shared<cls2dTexture>());
    p.Position({1, 2, 3});
    p.SetRotation({0, 0.5f, 0}, {0, 1, 2}, {1, 2, 3});
    PlaneRecord ground;
    ground.Plane = {0, 1, 0, 0};
    const Vec3 light{0, 1, 0};
    ASSERT_TRUE(engine.SetShadowState(&ground, &light, 128, gfx::LightDirectional, false));

    const gfx::CallLog calls = render(p, 0, 1);
    EXPECT_EQ(calls.Count("SetTexture") + calls.Count("SetMaterial"), 0u);
    EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::AlphaBlendEnable}), 0u) << "blending stays on";
    EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::CullMode, gfx::CullCcw}), 1u);
    const Matrix4 world = MatrixRotationY(0.5f) * MatrixTranslation(1, 2, 3) * engine.GetShadowMatrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(state().world.m[i], world.data()[i]) << i;
    EXPECT_FLOAT_EQ(state().material.Diffuse.a, 128.0f / 255.0f);
    EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), kOn);
}

TEST_F(Polygons, PlacementTurnsAboutAWorldPoint) {
    cls3dPolygons p;
    p.Initialize(true);
    p.Position({10, 0, 0});
    p.SetRotation({0, std::numbers::pi_v<float> / 2, 0}, {0, 1, 2}, {0, 0, 0});
    const Matrix4 world = p.RotationMatrix() * MatrixTranslation(10, 0, 0);
    Vec3 v = Vec3TransformCoord({0, 0, 0}, world);
    EXPECT_NEAR(v.x, 0, 1e-4);
    EXPECT_NEAR(v.z, -10, 1e-4);
    // A further turn acts on the turned object: (0, 0, -11) about (10, 0, 0) goes to (-1, 0, 10).
    p.Rotate({0, std::numbers::pi_v<float> / 2, 0}, {0, 1, 2}, {10, 0, 0});
    v = Vec3TransformCoord({1, 0, 0}, p.RotationMatrix() * MatrixTranslation(10, 0, 0));
    EXPECT_NEAR(v.x, -1, 1e-4);
    EXPECT_NEAR(v.z, 10, 1e-4);
    p.Move({0, 5, 0});
    EXPECT_EQ(p.Position(), (Vec3{10, 5, 0}));
}

TEST_F(Polygons, AResetRebuildsStaticBuffersAndLeavesDynamicOnesAlone) {
    auto texture = std::make_shared<cls2dTexture>();
    ASSERT_TRUE(texture->LoadForEdit(2, 2));
    cls3dPolygons fixed, moving;
    fixed.Initialize(false);
    moving.Initialize(true);
    fill(fixed, 3, true);
    fill(moving, 2, true);
    fixed.SetTexture(texture);
    moving.SetTexture(texture);
    const gfx::CallLog before = render(fixed, 0, 3);

    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    const std::size_t mark = log().Mark();
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    const gfx::CallLog during = log().Since(mark);
    EXPECT_EQ(during.Count("CreateVertexBuffer"), 1u) << "only the static object's";
    EXPECT_EQ(during.Count("CreateIndexBuffer"), 1u);

    EXPECT_TRUE(same(read(fixed, 0, 9), vertices(9)));
    EXPECT_EQ(read_indices(fixed, 0, 9), (std::vector<std::uint16_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(same(read(moving, 0, 6), vertices(6)));
    // The static object let go of its texture; its owner sets it again.
    const gfx::CallLog after = render(fixed, 0, 3);
    EXPECT_EQ(state().texture, nullptr);
    EXPECT_EQ(after.Last("DrawIndexedPrimitive")->args, before.Last("DrawIndexedPrimitive")->args);
    render(moving, 0, 2);
    EXPECT_EQ(state().texture, texture->GetTexture());
}

TEST_F(Polygons, StoringTwiceKeepsTheFirstCopies) {
    cls3dPolygons p;
    p.Initialize(false);
    fill(p, 2, true);
    p.StoreData();
    p.Cleanup();
    p.StoreData();
    p.Cleanup();
    p.ReStoreData();
    EXPECT_TRUE(same(read(p, 0, 6), vertices(6)));
    EXPECT_EQ(read_indices(p, 0, 6), (std::vector<std::uint16_t>{0, 1, 2, 3, 4, 5}));
}

} // namespace
} // namespace kl::test
