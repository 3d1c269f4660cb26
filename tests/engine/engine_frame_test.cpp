// The frame cycle on the recording back-end: viewport cache, clear flags, 2D primitives and the
// recovery of a lost device inside RenderStart.
#include "support/engine_fixture.h"

namespace kl::test {
namespace {

using gfx::Status;

class EngineFrame : public EngineTest {
  protected:
    void SetUp() override { ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8})); }

    void frame(Vec2 xy1 = {0, 0}, Vec2 xy2 = {0, 0}) {
        engine.RenderStart(xy1, xy2);
        engine.RenderEnd();
    }
    std::vector<double> last_viewport() {
        const gfx::Call* c = log().Last("SetViewport");
        return c != nullptr ? c->args : std::vector<double>{};
    }
};

TEST_F(EngineFrame, TheViewportGoesToThePlatformOnlyWhenItChanges) {
    frame(); // the device was created with the full-screen viewport
    EXPECT_EQ(log().Count("SetViewport"), 0u);

    frame({0, 0}, {400, 0});
    EXPECT_EQ(last_viewport(), (std::vector<double>{0, 0, 400, 600, 0, 1}));
    const std::size_t mark = log().Mark();
    frame();
    frame();
    frame();
    EXPECT_EQ(log().Since(mark).Count("SetViewport"), 1u) << "full screen is set once, then cached";
    EXPECT_EQ(last_viewport(), (std::vector<double>{0, 0, 800, 600, 0, 1}));
    EXPECT_EQ(log().Count("BeginScene"), 5u);
}

TEST_F(EngineFrame, ViewportCornersAreRoundedHalfToEven) {
    frame({0.5f, 1.5f}, {10.5f, 0});
    EXPECT_EQ(last_viewport(), (std::vector<double>{0, 2, 10, 598, 0, 1}));
    EXPECT_EQ(engine.Viewport.x1, 0.5f) << "the cache keeps the corners as given";
    EXPECT_EQ(engine.Viewport.y2, 600.0f);
}

TEST_F(EngineFrame, ARefusedViewportIsNotCachedAndIsTriedAgain) {
    frame({0, 0}, {400, 300});
    const std::size_t mark = log().Mark();
    engine.RenderStart({500, 0}, {400, 0}); // right corner left of the left one: no rectangle at all
    EXPECT_EQ(log().Since(mark).Count("SetViewport"), 0u);
    EXPECT_EQ(engine.Viewport.x2, 400.0f);
    EXPECT_EQ(engine.Viewport.y2, 300.0f);
    EXPECT_TRUE(device().InScene()) << "the scene has begun all the same";
    engine.RenderEnd();

    control().failing_calls["SetViewport"] = Status::InvalidCall;
    frame();
    EXPECT_EQ(engine.Viewport.x2, 400.0f);
    control().failing_calls.clear();
    frame();
    EXPECT_EQ(log().Since(mark).Count("SetViewport"), 2u);
    EXPECT_EQ(state().viewport.Width, 800u);
}

TEST_F(EngineFrame, ClearFlagsFollowTheRequestAndTheStencil) {
    engine.RenderStart({0, 0}, {0, 0});
    engine.RenderClear(true, 0xFF102030, true, true);
    const gfx::Call* c = log().Last("Clear");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->args, (std::vector<double>{0, 7, double(0xFF102030u), 1.0, 1}));
    engine.RenderClear(true, 0, false, false);
    EXPECT_EQ(log().Last("Clear")->args[1], 1);
    engine.RenderClear(false, 0, true, false);
    EXPECT_EQ(log().Last("Clear")->args[1], 2);
    engine.RenderClear(false, 0, false, false); // nothing to clear; the refusal is ignored
    EXPECT_EQ(log().Last("Clear")->args[1], 0);
    engine.RenderEnd();
    engine.RenderShow();
    EXPECT_EQ(log().Count("Present"), 1u);
    EXPECT_FALSE(device().InScene());
}

TEST_F(EngineFrame, WithoutAStencilTheBlendedShadowClearLeavesItOut) {
    adapter().depth_stencil_formats = {FmtD16};
    ASSERT_TRUE(bring_up());
    engine.RenderClear(true, 0, true, true);
    EXPECT_EQ(log().Last("Clear")->args[1], 3);
}

TEST_F(EngineFrame, BoxesAndLinesAreScreenVerticesWithoutTexture) {
    engine.RenderStart({0, 0}, {0, 0});
    engine.Render2dBox(10, 20, 110, 70, false, 0xFFFF0000);
    const gfx::Call* c = log().Last("DrawPrimitiveUP");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->args, (std::vector<double>{gfx::PtLineStrip, 4, 28}));
    const auto outline = c->DataAs<ScreenVertex>();
    ASSERT_EQ(outline.size(), 5u);
    const float corners[5][2] = {{10, 20}, {110, 20}, {110, 70}, {10, 70}, {10, 20}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(outline[i].x, corners[i][0]) << i;
        EXPECT_EQ(outline[i].y, corners[i][1]) << i;
        EXPECT_EQ(outline[i].z, 0.0f);
        EXPECT_EQ(outline[i].rhw, 1.0f);
        EXPECT_EQ(outline[i].color, 0xFFFF0000u);
    }
    EXPECT_EQ(state().fvf, 324u);
    EXPECT_EQ(state().texture, nullptr);

    engine.Render2dBox(10, 20, 110, 70, true, 0xFF00FF00);
    const auto filled = log().Last("DrawPrimitiveUP")->DataAs<ScreenVertex>();
    ASSERT_EQ(filled.size(), 4u) << "a strip of two triangles";
    EXPECT_EQ(filled[2].x, 10.0f) << "the strip's third corner is the bottom left";
    EXPECT_EQ(filled[2].y, 70.0f);

    engine.Render2dLine(-5, 3, 7, 9, 0x80FFFFFF);
    c = log().Last("DrawPrimitiveUP");
    EXPECT_EQ(c->args, (std::vector<double>{gfx::PtLineList, 1, 28}));
    EXPECT_EQ(c->DataAs<ScreenVertex>().at(1).y, 9.0f);
}

TEST_F(EngineFrame, APrimitiveStopsAtTheFirstError) {
    control().failing_calls["SetTexture"] = Status::InvalidCall;
    engine.Render2dBox(0, 0, 5, 5, true, 0);
    engine.Render2dLine(0, 0, 5, 5, 0);
    EXPECT_EQ(log().Count("DrawPrimitiveUP"), 0u);
}

TEST_F(EngineFrame, ALostDeviceIsRecoveredOnceItCanBeReset) {
    JournalResource texture(journal, "texture"), polygons(journal, "polygons");
    engine.RegisterObject(&texture, ObjTypeTexture);
    engine.RegisterObject(&polygons, ObjTypePolygons);
    engine.SetZState(true, false);
    engine.RenderStart({0, 0}, {200, 100});
    engine.RenderEnd();

    // Minimised: nothing can be reset, the scene does not begin, the frame draws nothing.
    control().cooperative_level = Status::DeviceLost;
    engine.RenderStart({0, 0}, {200, 100});
    EXPECT_FALSE(device().InScene());
    EXPECT_EQ(device().ResetCount(), 0);
    EXPECT_TRUE(journal.empty());

    // Restored: the next frame resets through SetRes, carries everything over and draws.
    control().cooperative_level = Status::DeviceNotReset;
    const int pumps_before = pumps;
    engine.RenderStart({0, 0}, {200, 100});
    EXPECT_TRUE(device().InScene());
    EXPECT_EQ(pumps - pumps_before, 1);
    EXPECT_EQ(device().ResetCount(), 1);
    EXPECT_EQ(journal, (std::vector<std::string>{"texture.StoreData", "texture.Cleanup", "polygons.StoreData",
                                                 "polygons.GetDynamicUsage", "polygons.Cleanup",
                                                 "texture.ReStoreData", "polygons.ReStoreData"}));
    EXPECT_EQ(render_state(gfx::rs::ZWriteEnable), 0u);
    EXPECT_EQ(state().viewport.Width, 200u)
        << "the reset lost the viewport; the same request must set it again";
    EXPECT_EQ(state().viewport.Height, 100u);
    engine.RenderEnd();

    journal.clear();
    engine.RenderStart({0, 0}, {200, 100});
    EXPECT_EQ(device().ResetCount(), 1);
    EXPECT_TRUE(journal.empty());
}

TEST_F(EngineFrame, RecoveryRetriesWithinOneCallUntilAResetSucceeds) {
    JournalResource mesh(journal, "mesh");
    engine.RegisterObject(&mesh, ObjTypeMesh);
    control().cooperative_level = Status::DeviceNotReset;
    control().reset_results = {Status::NotAvailable, Status::NotAvailable, Status::Ok};
    engine.RenderStart({0, 0}, {0, 0});
    EXPECT_TRUE(device().InScene());
    EXPECT_EQ(device().ResetCount(), 3);
    EXPECT_EQ(pumps, 2) << "window messages run between attempts";
    EXPECT_EQ(journal, (std::vector<std::string>{"mesh.StoreData", "mesh.ReleaseMesh", "mesh.ReStoreData"}));
}

TEST_F(EngineFrame, ACloseRequestEndsAHopelessRecovery) {
    control().cooperative_level = Status::DeviceNotReset;
    control().failing_calls["Reset"] = Status::NotAvailable;
    engine.SetMessagePump([this] { return ++pumps < 5; });
    engine.RenderStart({0, 0}, {0, 0});
    EXPECT_EQ(pumps, 5);
    EXPECT_FALSE(device().InScene());
}

TEST(EngineFrameWithoutDevice, EveryMethodIsQuiet) {
    cls3dEngine engine;
    engine.SetMessagePump([] { return true; });
    engine.RenderStart({0, 0}, {0, 0});
    engine.RenderClear(true, 0, true, true);
    engine.Render2dBox(0, 0, 1, 1, false, 0);
    engine.Render2dLine(0, 0, 1, 1, 0);
    engine.RenderEnd();
    engine.RenderShow();
    EXPECT_EQ(engine.Device(), nullptr);
    EXPECT_EQ(engine.Viewport.x2, 0.0f);
}

} // namespace
} // namespace kl::test
