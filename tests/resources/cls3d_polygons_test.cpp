// Polygon buffers on the recording device: growth to the highest slot written, reads bounded by the
// capacity, resizing that keeps content, what Render asks for in each pass, and a device reset.
#include "engine/math.h"
#include "engine/mdl_main.h"
#include "overlay/cls2d_texture.h"
#include "resources/cls3d_polygons.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

#include <cstring>
#include <limits>

namespace kl::test {
namespace {

constexpr double kOn = 0xFFFFFFFFu;

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

    // What a read gives, starting from a marker the read must overwrite or leave.
    static std::vector<PolyVertex> read(cls3dPolygons& p, int offset, int count) {
        std::vector<PolyVertex> out = vertices(count, 900);
        p.GetVertexData(out.data(), offset, count);
        return out;
    }
    static std::vector<std::uint16_t> read_indices(cls3dPolygons& p, int offset, int count) {
        std::vector<std::uint16_t> out(static_cast<std::size_t>(count), 0xBEEF);
        p.GetIndexData(out.data(), offset, count);
        return out;
    }
    static void write(cls3dPolygons& p, int offset, const std::vector<PolyVertex>& v) {
        p.SetVertexData(v.data(), offset, static_cast<std::int32_t>(v.size()));
    }
    // Triangles over vertices 0, 1, 2, ...; indexed ones through indices 0, 1, 2, ...
    static void fill(cls3dPolygons& p, int triangles, bool indexed) {
        write(p, 0, vertices(triangles * 3));
        std::vector<std::uint16_t> idx(static_cast<std::size_t>(triangles * 3));
        for (std::size_t i = 0; i < idx.size(); ++i)
            idx[i] = static_cast<std::uint16_t>(i);
        if (indexed) p.SetIndexData(idx.data(), 0, static_cast<std::int32_t>(idx.size()));
        p.SetIndexed(indexed);
    }
    gfx::CallLog render(cls3dPolygons& p, std::int32_t offset, std::int32_t count) {
        const std::size_t mark = log().Mark();
        p.Render(offset, count);
        return log().Since(mark);
    }
};

TEST_F(Polygons, WritesGrowStorageToTheirLastSlotAndReadsStayWithinIt) {
    for (bool dynamic : {true, false}) {
        SCOPED_TRACE(dynamic ? "dynamic" : "static");
        cls3dPolygons p;
        p.Initialize(dynamic);
        const std::size_t mark = log().Mark();
        write(p, 10, vertices(5));
        EXPECT_EQ(p.GetVertexCapacity(), 15);
        EXPECT_TRUE(same(read(p, 10, 5), vertices(5)));
        const gfx::CallLog calls = log().Since(mark);
        const gfx::Call* made = calls.Last("CreateVertexBuffer");
        if (dynamic) {
            EXPECT_TRUE(same(read(p, 0, 10), std::vector<PolyVertex>(10))) << "zero bytes before";
            EXPECT_EQ(made, nullptr);
        } else {
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(made->args, (std::vector<double>{15 * 32, 0, kFvfPolyVertex, gfx::PoolManaged}));
        }
        write(p, 0, vertices(2, 50));
        EXPECT_EQ(p.GetVertexCapacity(), 15) << "never shrinks";

        // Past the capacity, or with negative or overflowing runs, nothing is read or written.
        for (auto [offset, count] : {std::pair{13, 3}, {15, 1}, {-1, 2}, {0, 16}})
            EXPECT_TRUE(same(read(p, offset, count), vertices(count, 900))) << offset << ", " << count;
        const std::vector<PolyVertex> v = vertices(4, 100);
        p.SetVertexData(v.data(), -2, 4);
        p.SetVertexData(v.data(), 1, -3);
        p.SetVertexData(v.data(), std::numeric_limits<std::int32_t>::max(), 2);
        EXPECT_EQ(p.GetVertexCapacity(), 15);
        EXPECT_TRUE(same(read(p, 12, 3), vertices(3, 3)));

        const std::uint16_t idx[3] = {4, 5, 6};
        p.SetIndexData(idx, 7, 3);
        EXPECT_EQ(p.GetIndexCapacity(), 10);
        EXPECT_EQ(read_indices(p, 7, 3), (std::vector<std::uint16_t>{4, 5, 6}));
        EXPECT_EQ(read_indices(p, 8, 3), (std::vector<std::uint16_t>(3, 0xBEEF)));
    }
}

TEST_F(Polygons, ResizingKeepsWhatFitsAndARefusedGrowthLosesNothing) {
    cls3dPolygons p;
    p.Initialize(false);
    write(p, 0, vertices(100));
    const std::uint16_t idx[4] = {3, 1, 4, 1};
    p.SetIndexData(idx, 0, 4);
    ASSERT_TRUE(p.ChangeBufferSize(150, 0));
    EXPECT_TRUE(same(read(p, 0, 100), vertices(100)));
    ASSERT_TRUE(p.ChangeBufferSize(40, 0));
    EXPECT_EQ(p.GetVertexCapacity(), 40);
    EXPECT_TRUE(same(read(p, 0, 40), vertices(40)));
    EXPECT_EQ(read_indices(p, 0, 4), (std::vector<std::uint16_t>{3, 1, 4, 1})) << "indices left alone";
    const std::size_t mark = log().Mark();
    EXPECT_TRUE(p.ChangeBufferSize(0, 0));
    EXPECT_TRUE(p.ChangeBufferSize(-5, 4));
    EXPECT_TRUE(log().Since(mark).Calls().empty());

    for (const char* refused : {"CreateVertexBuffer", "LockVertexBuffer"}) {
        control().failing_calls[refused] = gfx::Status::OutOfMemory;
        EXPECT_FALSE(p.ChangeBufferSize(60, 0)) << refused;
        write(p, 50, vertices(4, 70));
        control().failing_calls.clear();
        EXPECT_EQ(p.GetVertexCapacity(), 40) << refused;
        EXPECT_TRUE(same(read(p, 0, 40), vertices(40))) << refused;
    }
}

TEST_F(Polygons, DynamicDrawingStartsAtSlotZeroAndStaysInsideTheArrays) {
    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 4, false);
    const gfx::CallLog calls = render(p, 5, 2);
    const gfx::Call* draw = calls.Last("DrawPrimitiveUP");
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->args, (std::vector<double>{gfx::PtTriangleList, 2, 32}));
    EXPECT_TRUE(same(draw->DataAs<PolyVertex>(), vertices(6))) << "the first two triangles";
    EXPECT_EQ(state().fvf, kFvfPolyVertex);
    EXPECT_EQ(render(p, 0, 5).Count("DrawPrimitiveUP"), 0u) << "15 vertices of 12";

    const std::uint16_t idx[6] = {0, 1, 2, 9, 10, 11};
    p.SetIndexData(idx, 0, 6);
    p.SetIndexed(true);
    const gfx::CallLog indexed = render(p, 3, 2);
    draw = indexed.Last("DrawIndexedPrimitiveUP");
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->args, (std::vector<double>{gfx::PtTriangleList, 0, 12, 2, gfx::FmtIndex16, 32}));
    EXPECT_EQ(draw->indices, (std::vector<std::uint32_t>{0, 1, 2, 9, 10, 11}));
    EXPECT_EQ(render(p, 0, 3).Count("DrawIndexedPrimitiveUP"), 0u) << "9 indices of 6";
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
    EXPECT_EQ(calls.Last("DrawIndexedPrimitive")->args,
              (std::vector<double>{gfx::PtTriangleList, 0, 12, 6, 2}));
}

TEST_F(Polygons, BlendsForAlphaInTheMaterialOrTheTexture) {
    TempDir dir;
    WriteBytes(dir.path() / "k.bmp", EncodeBmp(4, 4, 3, std::vector<std::uint8_t>(48, 90)));
    auto keyed = std::make_shared<cls2dTexture>(), edited = std::make_shared<cls2dTexture>(),
         plain = std::make_shared<cls2dTexture>();
    ASSERT_TRUE(
        keyed->LoadFromFile((dir.path() / "k.bmp").string(), mdlMain::ColorRGB(255, 0, 255), 0, false));
    ASSERT_TRUE(edited->LoadForEdit(2, 2) && edited->EditStart());
    edited->Edit({0, 0}, 10, -1, -1, -1);
    edited->EditEnd();
    ASSERT_TRUE(plain->LoadForEdit(2, 2));

    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 1, false);
    struct Case {
        std::shared_ptr<cls2dTexture> texture;
        std::int32_t transparency;
        gfx::Dword op; // 0: no blending
        gfx::Dword mip;
    };
    for (const Case& c :
         {Case{nullptr, 0, 0, 0}, Case{plain, 0, 0, gfx::TexfNone}, Case{nullptr, 128, gfx::TopSelectArg1, 0},
          Case{keyed, 0, gfx::TopSelectArg2, gfx::TexfLinear},
          Case{edited, 0, gfx::TopSelectArg2, gfx::TexfNone},
          Case{keyed, 128, gfx::TopModulate, gfx::TexfLinear}}) {
        SCOPED_TRACE(testing::Message()
                     << (c.texture ? c.texture->GetColorKey() : 1) << " " << c.transparency);
        p.SetTexture(c.texture);
        p.SetMaterial(mdlMain::MakeMaterial(200, 100, 50, 0, 0, 0, 0, c.transparency));
        const gfx::CallLog calls = render(p, 0, 1);
        EXPECT_EQ(calls.CountWith("SetRenderState", {gfx::rs::AlphaBlendEnable, kOn}), c.op != 0 ? 1u : 0u);
        EXPECT_EQ(calls.CountWith("SetTextureStageState", {0, gfx::tss::AlphaOp, double(c.op)}),
                  c.op != 0 ? 1u : 0u);
        EXPECT_EQ(calls.CountWith("SetTextureStageState", {0, gfx::tss::MipFilter, double(c.mip)}),
                  c.texture ? 1u : 0u);
        EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), 0u) << "off after drawing";
        EXPECT_EQ(state().texture, c.texture ? c.texture->GetTexture() : nullptr);
    }
}

TEST_F(Polygons, MirroredPassesFlipTheCullingAndShadowPassesFlatten) {
    cls3dPolygons p;
    p.Initialize(true);
    fill(p, 1, false);
    PlaneRecord plane;
    plane.Plane = {0, 1, 0, 0};
    plane.Normal = {0, 1, 0};
    for (auto [visibility, mirrored] : {std::pair{2, 3}, {3, 2}, {1, 1}, {7, 1}}) {
        p.SetVisibility(visibility);
        render(p, 0, 1);
        EXPECT_EQ(render_state(gfx::rs::CullMode), static_cast<gfx::Dword>(visibility));
        engine.SetReflectionState(&plane, false);
        render(p, 0, 1);
        EXPECT_EQ(render_state(gfx::rs::CullMode), static_cast<gfx::Dword>(mirrored)) << visibility;
        engine.SetReflectionState(nullptr, false);
    }
    p.SetVisibility(0);
    EXPECT_EQ(render(p, 0, 1).CountWith("SetRenderState", {gfx::rs::CullMode}), 0u);

    p.SetTexture(std::make_shared<cls2dTexture>());
    p.Position({1, 2, 3});
    p.SetRotation({0, 0.5f, 0}, {0, 1, 2}, {1, 2, 3});
    const Vec3 light{0, 1, 0};
    ASSERT_TRUE(engine.SetShadowState(&plane, &light, 128, gfx::LightDirectional, false));
    const gfx::CallLog calls = render(p, 0, 1);
    EXPECT_EQ(calls.Count("SetTexture") + calls.Count("SetMaterial"), 0u) << "the engine's shadow material";
    EXPECT_EQ(render_state(gfx::rs::AlphaBlendEnable), kOn) << "left on for the next caster";
    const Matrix4 world = MatrixRotationY(0.5f) * MatrixTranslation(1, 2, 3) * engine.GetShadowMatrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(state().world.m[i], world.data()[i]) << i;
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
    // A reset that failed half way stores everything again: the first copies must survive.
    fixed.StoreData();
    fixed.Cleanup();

    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    const std::size_t mark = log().Mark();
    ASSERT_TRUE(engine.SetRes(&mode, 0, false));
    const gfx::CallLog during = log().Since(mark);
    EXPECT_EQ(during.Count("CreateVertexBuffer"), 1u) << "only the static object's";
    EXPECT_EQ(during.Count("CreateIndexBuffer"), 1u);
    EXPECT_TRUE(same(read(fixed, 0, 9), vertices(9)));
    EXPECT_EQ(read_indices(fixed, 6, 3), (std::vector<std::uint16_t>{6, 7, 8}));
    EXPECT_TRUE(same(read(moving, 0, 6), vertices(6)));
    EXPECT_EQ(render(fixed, 0, 3).Last("DrawIndexedPrimitive")->args,
              (std::vector<double>{gfx::PtTriangleList, 0, 9, 0, 3}));
    EXPECT_EQ(state().texture, nullptr) << "its owner sets the texture again";
    render(moving, 0, 2);
    EXPECT_EQ(state().texture, texture->GetTexture());
}

} // namespace
} // namespace kl::test
