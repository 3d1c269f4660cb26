// The recording back-end: the answers a test sets, the calls it records, the state it keeps and
// the failures it injects.
#include "platform/gfx/memory_resources.h"
#include "platform/gfx/recording/recording_system.h"

#include <cstring>
#include <gtest/gtest.h>

namespace kl::gfx {
namespace {

PresentParameters windowed_params(Dword w = 800, Dword h = 600) {
    PresentParameters p;
    p.BackBufferWidth = w;
    p.BackBufferHeight = h;
    p.BackBufferFormat = FmtX8R8G8B8;
    p.BackBufferCount = 1;
    p.Windowed = true;
    p.EnableAutoDepthStencil = true;
    p.AutoDepthStencilFormat = FmtD24S8;
    return p;
}

class RecordingDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PresentParameters p = windowed_params();
        ASSERT_EQ(sys.CreateDevice(0, DevTypeHal, nullptr, CreateHardwareVertexProcessing, &p, &device),
                  Status::Ok);
        sys.Log().Clear();
    }
    RecordingSystem sys;
    DevicePtr device;
};

TEST(RecordingSystem, AnswersWhatTheTestSet) {
    RecordingSystem sys;
    sys.adapters[0].modes = {{1024, 768, 60, FmtX8R8G8B8}, {1024, 768, 75, FmtX8R8G8B8}};
    sys.adapters[0].multisample_counts = {2, 4};
    sys.adapters[0].depth_stencil_formats = {FmtD24S8};
    sys.adapters.push_back(RecordingAdapter{});

    EXPECT_EQ(sys.GetAdapterCount(), 2u);
    Caps caps;
    ASSERT_EQ(sys.GetDeviceCaps(0, DevTypeHal, &caps), Status::Ok);
    EXPECT_TRUE(caps.DevCaps & DevCapsHwTransformAndLight);
    ASSERT_EQ(sys.GetDeviceCaps(1, DevTypeHal, &caps), Status::Ok);
    EXPECT_EQ(caps.PresentationIntervals, 0u);
    EXPECT_EQ(sys.GetDeviceCaps(2, DevTypeHal, &caps), Status::InvalidCall);

    ASSERT_EQ(sys.GetAdapterModeCount(0), 2u);
    DisplayModeInfo mode;
    ASSERT_EQ(sys.EnumAdapterModes(0, 1, &mode), Status::Ok);
    EXPECT_EQ(mode.RefreshRate, 75);
    EXPECT_NE(sys.EnumAdapterModes(0, 2, &mode), Status::Ok);

    EXPECT_EQ(sys.CheckDeviceMultiSampleType(0, DevTypeHal, FmtX8R8G8B8, false, 4), Status::Ok);
    EXPECT_NE(sys.CheckDeviceMultiSampleType(0, DevTypeHal, FmtX8R8G8B8, false, 8), Status::Ok);
    EXPECT_EQ(sys.CheckDepthStencilMatch(0, DevTypeHal, FmtR5G6B5, FmtR5G6B5, FmtD24S8), Status::Ok);
    EXPECT_NE(sys.CheckDepthStencilMatch(0, DevTypeHal, FmtR5G6B5, FmtR5G6B5, FmtD15S1), Status::Ok);

    EXPECT_EQ(sys.Log().CountWith("CheckDeviceMultiSampleType", {0, DevTypeHal, FmtX8R8G8B8, 0, 8}), 1u);
    EXPECT_EQ(sys.Log().Count("EnumAdapterModes"), 2u);
}

TEST(RecordingSystem, InjectedFailuresReachTheCaller) {
    RecordingSystem sys;
    sys.Control().failing_calls["GetAdapterDisplayMode"] = Status::NotAvailable;
    DisplayModeInfo mode;
    EXPECT_EQ(sys.GetAdapterDisplayMode(0, &mode), Status::NotAvailable);

    sys.create_device_result = Status::NotAvailable;
    PresentParameters p = windowed_params();
    DevicePtr device;
    EXPECT_EQ(sys.CreateDevice(0, DevTypeHal, nullptr, 0, &p, &device), Status::NotAvailable);
    EXPECT_EQ(device, nullptr);
    const Call* create = sys.Log().Last("CreateDevice");
    ASSERT_NE(create, nullptr);
    // adapter, type, window, behaviour, then the thirteen presentation parameters
    ASSERT_EQ(create->args.size(), 17u);
    EXPECT_EQ(create->args[4], 800);
    EXPECT_EQ(create->args[13], FmtD24S8);
}

TEST_F(RecordingDeviceTest, RecordsArgumentsInCallOrder) {
    Matrix m = IdentityMatrix();
    device->BeginScene();
    device->Clear(0, nullptr, ClearTarget | ClearZBuffer, 0xFF000000, 1.0f, 1);
    device->SetViewport({0, 0, 400, 600, 0, 1});
    device->SetTransform(TsWorld, m);
    device->SetRenderState(rs::StencilFunc, CmpLess);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(sys.Log().Names(),
              (std::vector<std::string>{"BeginScene", "Clear", "SetViewport", "SetTransform",
                                        "SetRenderState", "EndScene", "Present"}));
    EXPECT_EQ(sys.Log().Find("Clear")[0].args, (std::vector<double>{0, 3, 0xFF000000u, 1.0, 1}));
    EXPECT_EQ(sys.Log().Find("SetViewport")[0].args, (std::vector<double>{0, 0, 400, 600, 0, 1}));
    EXPECT_EQ(sys.Log().Last("SetTransform")->args.size(), 17u);
    EXPECT_EQ(sys.Log().CountWith("SetRenderState", {rs::StencilFunc, CmpLess}), 1u);

    const std::size_t mark = sys.Log().Mark();
    device->ShowCursor(false);
    EXPECT_EQ(sys.Log().Since(mark).Names(), std::vector<std::string>{"ShowCursor"});
}

TEST_F(RecordingDeviceTest, LostDeviceCycle) {
    auto rec = sys.LastDevice();
    sys.Control().cooperative_level = Status::DeviceLost;
    EXPECT_EQ(device->TestCooperativeLevel(), Status::DeviceLost);
    EXPECT_EQ(device->BeginScene(), Status::DeviceLost);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), Status::DeviceLost);
    PresentParameters p = windowed_params(640, 480);
    EXPECT_EQ(device->Reset(&p), Status::DeviceLost) << "cannot be reset before it reports not-reset";

    sys.Control().cooperative_level = Status::DeviceNotReset;
    sys.Control().reset_results = {Status::InvalidCall};
    EXPECT_EQ(device->Reset(&p), Status::InvalidCall);
    EXPECT_EQ(device->TestCooperativeLevel(), Status::DeviceNotReset);

    device->SetRenderState(rs::CullMode, CullNone);
    ASSERT_EQ(device->Reset(&p), Status::Ok);
    EXPECT_EQ(device->TestCooperativeLevel(), Status::Ok);
    EXPECT_EQ(rec->Params().BackBufferWidth, 640u);
    EXPECT_EQ(rec->ResetCount(), 3);
    Dword v = 0;
    device->GetRenderState(rs::CullMode, &v);
    EXPECT_EQ(v, CullCcw) << "a reset restores the default states";
    EXPECT_EQ(device->BeginScene(), Status::Ok);
}

TEST_F(RecordingDeviceTest, ResourcesLockAndAreRecordedByTheirIds) {
    TexturePtr managed, def;
    ASSERT_EQ(device->CreateTexture(64, 16, 0, 0, FmtR5G6B5, PoolManaged, &managed), Status::Ok);
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, FmtA8R8G8B8, PoolDefault, &def), Status::Ok);
    ASSERT_EQ(managed->GetLevelCount(), 7u);
    SurfaceDesc desc;
    ASSERT_EQ(managed->GetLevelDesc(6, &desc), Status::Ok);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    ASSERT_EQ(managed->GetLevelDesc(2, &desc), Status::Ok);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 4u);
    EXPECT_EQ(desc.Size, 16u * 4 * 2);

    LockedRect lr;
    ASSERT_EQ(managed->LockRect(0, &lr, nullptr, 0), Status::Ok);
    EXPECT_EQ(lr.Pitch, 128);
    static_cast<std::uint8_t*>(lr.pBits)[0] = 0xAB;
    EXPECT_EQ(managed->LockRect(0, &lr, nullptr, 0), Status::InvalidCall) << "already locked";
    ASSERT_EQ(managed->UnlockRect(0), Status::Ok);
    EXPECT_EQ(managed->UnlockRect(0), Status::InvalidCall);
    EXPECT_EQ(sys.Log().CountWith("LockRect", {double(ResourceId(managed))}), 1u);

    ASSERT_EQ(device->SetTexture(0, managed), Status::Ok);
    EXPECT_EQ(sys.Log().Last("SetTexture")->args, (std::vector<double>{0, double(ResourceId(managed))}));
    device->SetTexture(0, nullptr);
    EXPECT_EQ(sys.Log().Last("SetTexture")->args, (std::vector<double>{0, 0}));

    sys.Control().lock_result = Status::InvalidCall;
    EXPECT_EQ(managed->LockRect(0, &lr, nullptr, 0), Status::InvalidCall);
    EXPECT_EQ(managed->UnlockRect(0), Status::InvalidCall) << "a refused lock leaves nothing to unlock";
}

// Fills every level with the texel of bytes given, low byte first.
void fill(MemoryTexture& t, std::initializer_list<std::uint8_t> texel) {
    for (Dword level = 0; level < t.GetLevelCount(); ++level) {
        LockedRect lr;
        ASSERT_EQ(t.LockRect(level, &lr, nullptr, 0), Status::Ok);
        auto* p = static_cast<std::uint8_t*>(lr.pBits);
        for (Dword i = 0; i < t.Width(level) * t.Height(level); ++i)
            for (std::uint8_t b : texel)
                *p++ = b;
        t.UnlockRect(level);
    }
}

TEST(MemoryTexture, KnowsWhenEveryTexelOfEveryLevelIsOpaqueWhite) {
    struct Case {
        std::int32_t format;
        std::initializer_list<std::uint8_t> white, not_white;
    };
    for (const Case& k :
         {Case{FmtA8R8G8B8, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFE}},
          Case{FmtX8R8G8B8, {0xFF, 0xFF, 0xFF, 0x00}, {0xFF, 0xFE, 0xFF, 0xFF}},
          Case{FmtR5G6B5, {0xFF, 0xFF}, {0xDF, 0xFF}}, Case{FmtX1R5G5B5, {0xFF, 0x7F}, {0xFF, 0x7E}},
          Case{FmtA1R5G5B5, {0xFF, 0xFF}, {0xFF, 0x7F}}, Case{FmtX4R4G4B4, {0xFF, 0x0F}, {0xFF, 0xF7}}}) {
        MemoryTexture t(8, 4, 0, 0, k.format, PoolManaged);
        EXPECT_FALSE(t.OpaqueWhite()) << "a new texture is black, format " << k.format;
        fill(t, k.white);
        EXPECT_TRUE(t.OpaqueWhite()) << k.format;
        fill(t, k.not_white);
        EXPECT_FALSE(t.OpaqueWhite()) << k.format;
    }
    // One texel of the smallest level is enough to tell.
    MemoryTexture t(4, 4, 0, 0, FmtA8R8G8B8, PoolManaged);
    fill(t, {0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_TRUE(t.OpaqueWhite());
    LockedRect lr;
    ASSERT_EQ(t.LockRect(2, &lr, nullptr, 0), Status::Ok);
    EXPECT_FALSE(t.OpaqueWhite()) << "while a level may be written";
    static_cast<std::uint8_t*>(lr.pBits)[1] = 0x80;
    t.UnlockRect(2);
    EXPECT_FALSE(t.OpaqueWhite());
    // A read-only lock changes nothing.
    fill(t, {0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(t.LockRect(0, &lr, nullptr, LockReadOnly), Status::Ok);
    EXPECT_TRUE(t.OpaqueWhite());
    t.UnlockRect(0);
    EXPECT_TRUE(t.OpaqueWhite());
    // Alpha alone never reads as white.
    MemoryTexture alpha(4, 4, 1, 0, FmtA8, PoolManaged);
    fill(alpha, {0xFF});
    EXPECT_FALSE(alpha.OpaqueWhite());
}

TEST_F(RecordingDeviceTest, BuffersAndDrawsAreRecorded) {
    VertexBufferPtr vb;
    ASSERT_EQ(device->CreateVertexBuffer(3 * 32, 0, 0x112, PoolManaged, &vb), Status::Ok);
    std::uint8_t* bytes = nullptr;
    EXPECT_EQ(vb->Lock(64, 64, &bytes, 0), Status::InvalidCall) << "runs past the end";
    ASSERT_EQ(vb->Lock(32, 32, &bytes, 0), Status::Ok);
    ASSERT_EQ(vb->Unlock(), Status::Ok);
    EXPECT_EQ(vb->Unlock(), Status::InvalidCall);
    device->SetStreamSource(0, vb, 32);
    EXPECT_EQ(sys.Log().Last("SetStreamSource")->args, (std::vector<double>{0, double(ResourceId(vb)), 32}));

    struct V {
        float x, y, z, rhw;
        std::uint32_t color;
        float u, v;
    };
    const V strip[5] = {{1, 2, 0, 1, 0xFF00FF00u, 0, 0},
                        {3, 2, 0, 1, 0, 0, 0},
                        {3, 4, 0, 1, 0, 0, 0},
                        {1, 4, 0, 1, 0, 0, 0},
                        {1, 2, 0, 1, 0, 0, 0}};
    ASSERT_EQ(device->SetVertexShader(324), Status::Ok);
    ASSERT_EQ(device->DrawPrimitiveUP(PtLineStrip, 4, strip, sizeof(V)), Status::Ok);
    const auto copied = sys.Log().Last("DrawPrimitiveUP")->DataAs<V>();
    ASSERT_EQ(copied.size(), 5u);
    EXPECT_EQ(copied[4].x, 1);
    EXPECT_EQ(copied[0].color, 0xFF00FF00u);

    const std::uint16_t idx[3] = {2, 1, 0};
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(PtTriangleList, 0, 3, 1, idx, FmtIndex16, strip, sizeof(V)),
              Status::Ok);
    EXPECT_EQ(sys.Log().Last("DrawIndexedPrimitiveUP")->indices, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(device->DrawPrimitiveUP(PtTriangleList, 0, strip, sizeof(V)), Status::InvalidCall);
    EXPECT_EQ(sys.Log().Count("DrawPrimitiveUP"), 2u) << "a refused call is recorded all the same";
}

TEST_F(RecordingDeviceTest, AnyCallCanBeMadeToFail) {
    sys.Control().failing_calls["SetTexture"] = Status::InvalidCall;
    TexturePtr t;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, FmtA8R8G8B8, PoolManaged, &t), Status::Ok);
    EXPECT_EQ(device->SetTexture(0, t), Status::InvalidCall);
    TexturePtr bound;
    device->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr) << "a failing call changes no state";
    EXPECT_EQ(sys.Log().Count("SetTexture"), 1u) << "a failing call is still recorded";
}

} // namespace
} // namespace kl::gfx
