// The engine's adapter choice, mode list, capability record and device creation and reset, on the
// recording back-end.
#include "engine/math.h"
#include "support/engine_fixture.h"

#include <cstring>
#include <numbers>
#include <set>
#include <tuple>

namespace kl::test {
namespace {

using gfx::Status;

gfx::RecordingAdapter make_adapter(bool qualifies, bool hardware_tnl, gfx::Dword max_texture) {
    gfx::RecordingAdapter a;
    a.caps = gfx::CapableCaps();
    a.caps.PresentationIntervals = qualifies ? gfx::PresentIntervalOne : 0;
    a.caps.DevCaps = hardware_tnl ? gfx::DevCapsHwTransformAndLight : 0;
    a.caps.MaxTextureWidth = max_texture;
    return a;
}

using EngineInitialize = EngineTest;

TEST_F(EngineInitialize, TakesTheLastQualifyingAdapterPreferringHardwareTransformAndLighting) {
    sys->adapters = {make_adapter(true, true, 100), make_adapter(true, false, 101),
                     make_adapter(true, true, 102), make_adapter(true, false, 103),
                     make_adapter(false, true, 104)};
    ASSERT_TRUE(engine.Initialize(nullptr));
    EXPECT_EQ(engine.AdapterIndex, 2);
    EXPECT_EQ(engine.Caps.MaxTextureWidth, 102u) << "Caps must be the record of the adapter taken";
    EXPECT_EQ(engine.VertexProcessing, 64);

    sys->adapters = {make_adapter(true, false, 100), make_adapter(true, false, 101),
                     make_adapter(false, false, 102)};
    ASSERT_TRUE(engine.Initialize(nullptr));
    EXPECT_EQ(engine.AdapterIndex, 1);
    EXPECT_EQ(engine.VertexProcessing, 32);
}

TEST_F(EngineInitialize, FailsWithoutAUsableAdapterOrOnAnEnumerationError) {
    sys->adapters = {make_adapter(false, true, 100)};
    EXPECT_FALSE(engine.Initialize(nullptr));
    EXPECT_EQ(engine.AdapterIndex, -1);

    sys->adapters = {make_adapter(true, true, 100)};
    control().failing_calls["GetDeviceCaps"] = Status::NotAvailable;
    EXPECT_FALSE(engine.Initialize(nullptr));

    engine.SetGraphicsFactory([] { return std::shared_ptr<gfx::GraphicsSystem>(); });
    EXPECT_FALSE(engine.Initialize(nullptr));
}

TEST_F(EngineInitialize, StartsOverFromACleanState) {
    ASSERT_TRUE(bring_up());
    engine.SetLight(3, white_light());
    engine.ShadowOn = engine.ReflectionOn = true;
    engine.ObjectsStored = true;
    ASSERT_TRUE(engine.StencilAvailable);
    ASSERT_NE(engine.Device(), nullptr);

    ASSERT_TRUE(engine.Initialize(nullptr));
    EXPECT_EQ(engine.Device(), nullptr) << "Initialize begins with Cleanup";
    EXPECT_EQ(engine.HighestLight, -1);
    EXPECT_FALSE(engine.StencilAvailable);
    EXPECT_FALSE(engine.ZBiasAvailable);
    EXPECT_FALSE(engine.ShadowOn);
    EXPECT_FALSE(engine.ReflectionOn);
    EXPECT_FALSE(engine.ObjectsStored);
    const Material m = engine.GetDefaultMaterial();
    EXPECT_EQ(m.Diffuse.r, 1.0f);
    EXPECT_EQ(m.Diffuse.a, 1.0f) << "opaque white";
}

using ModeList = std::vector<std::tuple<int, int, int>>;

class EngineModes : public EngineTest {
  protected:
    ModeList list(bool below640) {
        const DisplayMode* first = nullptr;
        const std::int32_t n = engine.GetPossibleRes(below640, false, true, &first);
        if (n == 0) {
            EXPECT_EQ(first, nullptr);
            return {};
        }
        ModeList out;
        for (const DisplayMode* m = first; m != first + n; ++m)
            out.emplace_back(m->Width, m->Height, m->Format);
        return out;
    }
};

TEST_F(EngineModes, ListsEachSizeAndFormatOnceInPlatformOrder) {
    adapter().modes = {
        {640, 480, 60, FmtX8R8G8B8},  {640, 480, 75, FmtX8R8G8B8},  {320, 240, 60, FmtX8R8G8B8},
        {640, 480, 60, FmtR5G6B5},    {800, 600, 60, FmtR8G8B8},    {800, 600, 60, FmtR3G3B2},
        {640, 400, 70, FmtR5G6B5},    {1024, 768, 60, FmtX1R5G5B5}, {1024, 768, 85, FmtX8R8G8B8},
        {1024, 768, 60, FmtX8R8G8B8}, {320, 240, 75, FmtX8R8G8B8},
    };
    ASSERT_TRUE(engine.Initialize(nullptr));

    const ModeList usual{{640, 480, FmtX8R8G8B8}, {640, 480, FmtR5G6B5}, {1024, 768, FmtX8R8G8B8}};
    EXPECT_EQ(list(false), usual);
    const ModeList all{{640, 480, FmtX8R8G8B8},
                       {320, 240, FmtX8R8G8B8},
                       {640, 480, FmtR5G6B5},
                       {640, 400, FmtR5G6B5},
                       {1024, 768, FmtX8R8G8B8}};
    EXPECT_EQ(list(true), all);
    EXPECT_EQ(list(false), usual) << "a second call rebuilds the list and returns only its own count";
    EXPECT_EQ(engine.Modes.size(), usual.size());
}

TEST_F(EngineModes, GivesNothingWhenNoModeQualifiesOrEnumerationFails) {
    adapter().modes = {{320, 200, 70, FmtX8R8G8B8}, {1024, 768, 60, FmtR8G8B8}};
    ASSERT_TRUE(engine.Initialize(nullptr));
    EXPECT_TRUE(list(false).empty());

    adapter().modes = {{640, 480, 60, FmtX8R8G8B8}, {800, 600, 60, FmtX8R8G8B8}};
    control().failing_calls["EnumAdapterModes"] = Status::InvalidCall;
    EXPECT_TRUE(list(false).empty()) << "an error discards what was found so far";
}

class EngineCapsQuery : public EngineTest {
  protected:
    EngineCaps query(std::int32_t format = FmtX8R8G8B8, bool windowed = false) {
        EngineCaps caps;
        EXPECT_TRUE(engine.Initialize(nullptr));
        EXPECT_TRUE(engine.GetPossibleCaps(format, windowed, &caps));
        return caps;
    }
};

TEST_F(EngineCapsQuery, ReportsTheHighestMultisampleCountOfTheUnbrokenLadder) {
    struct Case {
        std::set<std::int32_t> supported;
        std::int32_t expected;
    };
    for (const Case& c : {Case{{}, 0}, Case{{2}, 2}, Case{{2, 4}, 4}, Case{{2, 4, 8}, 8}, Case{{2, 8}, 2},
                          Case{{4, 8}, 0}, Case{{2, 4, 8, 16}, 8}}) {
        adapter().multisample_counts = c.supported;
        EXPECT_EQ(query().AntiAlias, c.expected) << "with " << c.supported.size() << " counts supported";
    }
}

TEST_F(EngineCapsQuery, ShadowsNeedDepthBiasAStencilFormatAndTheDecrementOperation) {
    adapter().depth_stencil_formats = {FmtD24S8};
    EngineCaps caps = query();
    EXPECT_EQ(caps.Shadows, kTrue16);
    EXPECT_EQ(caps.DepthBias, kTrue16);

    adapter().caps.RasterCaps &= ~gfx::RasterCapsZBias;
    caps = query();
    EXPECT_EQ(caps.Shadows, kFalse16) << "no depth bias, no shadows, even with stencil formats";
    EXPECT_EQ(caps.DepthBias, kFalse16);

    adapter().caps = gfx::CapableCaps();
    adapter().depth_stencil_formats = {FmtD16};
    caps = query();
    EXPECT_EQ(caps.Shadows, kFalse16);
    EXPECT_EQ(caps.DepthBias, kTrue16);

    adapter().depth_stencil_formats = {FmtD24X4S4};
    adapter().caps.StencilCaps &= ~gfx::StencilCapsDecr;
    EXPECT_EQ(query().Shadows, kFalse16);
}

TEST_F(EngineCapsQuery, FillsTheRecordWithMinusOneForTrue) {
    adapter().caps.MaxTextureHeight = 1024;
    EngineCaps caps = query();
    EXPECT_EQ(caps.MaxTextureHeight, 1024.0f);
    EXPECT_EQ(caps.Anisotropic & caps.Fog & caps.Specular, -1);
    adapter().caps.MaxAnisotropy = 1;
    adapter().caps.RasterCaps = gfx::RasterCapsFogTable; // table fog is not depth fog
    adapter().caps.ShadeCaps = 0;
    caps = query();
    EXPECT_EQ(caps.Anisotropic | caps.Fog | caps.Specular, 0);
}

TEST_F(EngineCapsQuery, WindowedQueriesUseTheDesktopFormat) {
    adapter().current = {1280, 1024, 60, FmtR5G6B5};
    query(FmtX8R8G8B8, true);
    EXPECT_GT(log().CountWith("CheckDeviceMultiSampleType", {0, gfx::DevTypeHal, FmtR5G6B5, 1, 2}), 0u);
    EXPECT_EQ(log().CountWith("CheckDeviceMultiSampleType", {0, gfx::DevTypeHal, FmtX8R8G8B8}), 0u);
}

TEST_F(EngineCapsQuery, AFailureLeavesTheBufferUntouched) {
    ASSERT_TRUE(engine.Initialize(nullptr));
    control().failing_calls["GetAdapterDisplayMode"] = Status::NotAvailable;
    EngineCaps caps;
    caps.AntiAlias = 77;
    caps.MaxTextureWidth = 3.5f;
    caps.Shadows = 5;
    const EngineCaps before = caps;
    EXPECT_FALSE(engine.GetPossibleCaps(FmtX8R8G8B8, true, &caps));
    EXPECT_EQ(std::memcmp(&caps, &before, sizeof caps), 0);
}

TEST(EngineFormats, BitsPerPixelAndValidStates) {
    EXPECT_EQ(cls3dEngine::GetFormatBPP(FmtX8R8G8B8), 32);
    EXPECT_EQ(cls3dEngine::GetFormatBPP(FmtR8G8B8), 24);
    EXPECT_EQ(cls3dEngine::GetFormatBPP(FmtX4R4G4B4), 16);
    EXPECT_EQ(cls3dEngine::GetFormatBPP(FmtR3G3B2), 8);
    EXPECT_EQ(cls3dEngine::GetFormatBPP(FmtD16), 0);
    for (std::int32_t c : {7, 10, 60, 128, 148, 151, 168, 170, 171})
        EXPECT_TRUE(cls3dEngine::IsValidRenderState(c)) << c;
    for (std::int32_t c : {0, 6, 11, 61, 127, 138, 149, 150, 169, 172, 254})
        EXPECT_FALSE(cls3dEngine::IsValidRenderState(c)) << c;
}

using EngineSetRes = EngineTest;

TEST_F(EngineSetRes, CreatesTheDeviceWithTheFirstMatchingStencilFormat) {
    adapter().depth_stencil_formats = {FmtD24S8, FmtD24X4S4, FmtD16};
    ASSERT_TRUE(bring_up({1024, 768, FmtR5G6B5}, 4, false));
    // Adapter, hardware type, focus window, behaviour, then the thirteen presentation parameters.
    EXPECT_EQ(log().CountWith("CreateDevice", {0, gfx::DevTypeHal, 0, 64, 1024, 768, FmtR5G6B5, 1, 4, 1, 0, 0,
                                               1, FmtD24S8, 0, 0, double(gfx::PresentIntervalImmediate)}),
              1u);
    EXPECT_TRUE(engine.StencilAvailable);
    EXPECT_TRUE(engine.ZBiasAvailable);
    EXPECT_EQ(engine.CurrentMode.Width, 1024);
    EXPECT_EQ(engine.AntiAlias, 4);
    EXPECT_EQ(CurrentDevice(), engine.Device());
}

TEST_F(EngineSetRes, WindowedUsesTheDesktopFormatAndTheDefaultInterval) {
    adapter().current = {1280, 1024, 60, FmtR5G6B5};
    adapter().caps.PresentationIntervals = gfx::PresentIntervalOne;
    ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8}, 0, true));
    EXPECT_TRUE(device().Params().Windowed);
    EXPECT_EQ(device().Params().BackBufferFormat, FmtR5G6B5);
    EXPECT_EQ(device().Params().FullScreen_PresentationInterval, 0u);

    // Full screen with only the one-interval presentation.
    ASSERT_TRUE(engine.SetRes(&engine.CurrentMode, 0, false));
    EXPECT_EQ(device().Params().FullScreen_PresentationInterval, gfx::PresentIntervalOne);
}

TEST_F(EngineSetRes, StencilAndDepthBiasFollowTheDeviceCapabilities) {
    adapter().depth_stencil_formats = {FmtD15S1, FmtD24S8};
    adapter().caps.RasterCaps &= ~gfx::RasterCapsZBias;
    ASSERT_TRUE(bring_up());
    EXPECT_EQ(device().Params().AutoDepthStencilFormat, FmtD15S1);
    EXPECT_FALSE(engine.StencilAvailable) << "no depth bias leaves both flags as Initialize set them";
    EXPECT_FALSE(engine.ZBiasAvailable);

    adapter().caps = gfx::CapableCaps();
    adapter().depth_stencil_formats = {FmtD16};
    ASSERT_TRUE(bring_up());
    EXPECT_EQ(device().Params().AutoDepthStencilFormat, FmtD16);
    EXPECT_FALSE(engine.StencilAvailable);
    EXPECT_TRUE(engine.ZBiasAvailable);
}

TEST_F(EngineSetRes, ANewDeviceGetsTheEngineDefaults) {
    ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8}));
    EXPECT_EQ(render_state(gfx::rs::SrcBlend), gfx::BlendSrcAlpha);
    EXPECT_EQ(render_state(gfx::rs::DestBlend), gfx::BlendInvSrcAlpha);
    EXPECT_EQ(render_state(gfx::rs::FogColor), 0xFFFAFAFAu);
    EXPECT_EQ(render_state(gfx::rs::FogTableMode), gfx::FogExp2);
    EXPECT_EQ(render_state(gfx::rs::StencilFunc), gfx::CmpLess);
    EXPECT_EQ(render_state(gfx::rs::StencilPass), gfx::SopDecr);
    EXPECT_EQ(stage_state(gfx::tss::MagFilter), gfx::TexfLinear);
    EXPECT_EQ(stage_state(gfx::tss::MinFilter), gfx::TexfLinear);
    EXPECT_EQ(stage_state(gfx::tss::MaxAnisotropy), 16u);
    EXPECT_EQ(stage_state(gfx::tss::AlphaArg1), gfx::TaDiffuse);
    EXPECT_EQ(stage_state(gfx::tss::AlphaArg2), gfx::TaTexture);
    EXPECT_FALSE(device().CursorShown());

    const Matrix4 projection = MatrixPerspectiveFovLH(std::numbers::pi_v<float> / 4, 1.333f, 1.0f, 50000.0f);
    EXPECT_EQ(std::memcmp(state().projection.m, projection.data(), 64), 0);
    const Matrix4 view = MatrixLookAtLH({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
    EXPECT_EQ(std::memcmp(state().view.m, view.data(), 64), 0);
    EXPECT_EQ(engine.Viewport.x2, 800.0f);
    EXPECT_EQ(engine.Viewport.y2, 600.0f);
}

TEST_F(EngineSetRes, FailsWhenTheDeviceCannotBeCreated) {
    ASSERT_TRUE(engine.Initialize(nullptr));
    sys->create_device_result = Status::NotAvailable;
    const DisplayMode mode{800, 600, FmtX8R8G8B8};
    EXPECT_FALSE(engine.SetRes(&mode, 0, false));
    EXPECT_EQ(engine.Device(), nullptr);
    EXPECT_FALSE(engine.SetRes(nullptr, 0, false));

    cls3dEngine uninitialised;
    EXPECT_FALSE(uninitialised.SetRes(&mode, 0, false));
}

TEST_F(EngineSetRes, AModeChangeCarriesTransformsLightsStatesAndFiltersAcross) {
    ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8}));
    engine.SetCamera({1, 2, 3}, {4, 5, 6}, 0.5f);
    const gfx::Matrix view = state().view, projection = state().projection;
    gfx::Light second = white_light();
    second.Diffuse = {0.25f, 0.5f, 0.75f, 1};
    ASSERT_TRUE(engine.SetLight(0, white_light()));
    ASSERT_TRUE(engine.SetLight(2, second)); // light 1 is never set
    engine.SetLightState(2, false);
    engine.SetZState(true, false);
    engine.Device()->SetRenderState(gfx::rs::CullMode, gfx::CullNone);
    engine.SetAnisotropicState(true);
    engine.Device()->SetTextureStageState(0, gfx::tss::MinFilter, gfx::TexfPoint);

    const DisplayMode bigger{1024, 768, FmtR5G6B5};
    ASSERT_TRUE(engine.SetRes(&bigger, 2, false));
    EXPECT_EQ(device().ResetCount(), 1);
    EXPECT_EQ(device().Params().BackBufferWidth, 1024u);
    EXPECT_EQ(engine.PresentParams.BackBufferFormat, FmtR5G6B5);
    EXPECT_EQ(engine.AntiAlias, 2);
    EXPECT_EQ(std::memcmp(state().view.m, view.m, 64), 0);
    EXPECT_EQ(std::memcmp(state().projection.m, projection.m, 64), 0);
    ASSERT_EQ(state().lights.count(2), 1u);
    EXPECT_EQ(state().lights.at(2).Diffuse.b, 0.75f);
    EXPECT_TRUE(state().light_enabled.at(0));
    EXPECT_FALSE(state().light_enabled.at(2));
    EXPECT_EQ(state().lights.count(1), 0u) << "a light that was never set is not invented";
    EXPECT_EQ(render_state(gfx::rs::ZWriteEnable), 0u);
    EXPECT_EQ(render_state(gfx::rs::CullMode), gfx::CullNone);
    EXPECT_EQ(render_state(gfx::rs::StencilPass), gfx::SopDecr);
    EXPECT_EQ(stage_state(gfx::tss::MagFilter), gfx::TexfAnisotropic);
    EXPECT_EQ(stage_state(gfx::tss::MinFilter), gfx::TexfAnisotropic)
        << "both filters take the magnification one";
    EXPECT_EQ(stage_state(gfx::tss::AlphaArg2), gfx::TaTexture);
}

TEST_F(EngineSetRes, AFailedModeChangeFallsBackAndReportsFalse) {
    ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8}));
    JournalResource mesh(journal, "mesh");
    engine.RegisterObject(&mesh, ObjTypeMesh);
    engine.Device()->SetRenderState(gfx::rs::CullMode, gfx::CullCw);
    control().reset_results = {Status::NotAvailable, Status::Ok};

    const DisplayMode wanted{1600, 1200, FmtX8R8G8B8};
    EXPECT_FALSE(engine.SetRes(&wanted, 4, true));
    EXPECT_EQ(device().ResetCount(), 2);
    EXPECT_EQ(engine.CurrentMode.Width, 800);
    EXPECT_EQ(engine.CurrentMode.Height, 600);
    EXPECT_EQ(engine.AntiAlias, 0);
    EXPECT_FALSE(engine.Windowed);
    EXPECT_EQ(engine.PresentParams.BackBufferWidth, 800u);
    EXPECT_EQ(device().Params().BackBufferWidth, 800u);
    EXPECT_EQ(render_state(gfx::rs::CullMode), gfx::CullCw);
    EXPECT_EQ(journal, (std::vector<std::string>{"mesh.StoreData", "mesh.ReleaseMesh", "mesh.ReStoreData"}));
    EXPECT_FALSE(engine.ObjectsStored);
}

TEST_F(EngineSetRes, WhenNeitherModeComesBackTheObjectsStayStoredUntilTheNextSuccess) {
    ASSERT_TRUE(bring_up({800, 600, FmtX8R8G8B8}));
    JournalResource text(journal, "text");
    engine.RegisterObject(&text, ObjTypeText);
    control().reset_results = {Status::NotAvailable, Status::NotAvailable};

    const DisplayMode wanted{1024, 768, FmtX8R8G8B8};
    EXPECT_FALSE(engine.SetRes(&wanted, 0, false));
    EXPECT_EQ(engine.CurrentMode.Width, 1024) << "the new mode stays recorded for the next attempt";
    EXPECT_TRUE(engine.ObjectsStored);

    EXPECT_TRUE(engine.SetRes(&engine.CurrentMode, engine.AntiAlias, engine.Windowed));
    EXPECT_EQ(device().Params().BackBufferWidth, 1024u);
    EXPECT_EQ(journal, (std::vector<std::string>{"text.Cleanup", "text.RestoreFont"}));
}

TEST_F(EngineSetRes, AnObjectThatCannotBeStoredStopsTheModeChangeBeforeTheReset) {
    ASSERT_TRUE(bring_up());
    JournalResource first(journal, "first"), second(journal, "second");
    engine.RegisterObject(&first, ObjTypeTexture);
    engine.RegisterObject(&second, ObjTypeTexture);
    second.fail_on = "StoreData";
    const DisplayMode wanted{1024, 768, FmtX8R8G8B8};
    EXPECT_FALSE(engine.SetRes(&wanted, 0, false));
    EXPECT_EQ(device().ResetCount(), 0);
    EXPECT_FALSE(engine.ObjectsStored);

    // The next attempt stores from the first object again.
    second.fail_on.clear();
    journal.clear();
    EXPECT_TRUE(engine.SetRes(&wanted, 0, false));
    EXPECT_EQ(journal,
              (std::vector<std::string>{"first.StoreData", "first.Cleanup", "second.StoreData",
                                        "second.Cleanup", "first.ReStoreData", "second.ReStoreData"}));
}

} // namespace
} // namespace kl::test
