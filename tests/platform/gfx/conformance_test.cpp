// The same calls on every back-end must get the same answers: valid calls succeed, each misuse is
// refused with the same status, and a reset leaves the same state. A misuse the recording device let
// through would pass every engine test and fail on the real device.
#include "platform/gfx/gl/gl_backend.h"
#include "platform/gfx/memory_resources.h"
#include "platform/gfx/recording/recording_system.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <type_traits>

namespace kl::gfx {
namespace {

constexpr Dword kSize = 64;
constexpr Dword kFvf = fvf::Xyz | fvf::Diffuse;
constexpr Dword kStride = 16;

PresentParameters params_with(std::int32_t depth_format) {
    PresentParameters p;
    p.BackBufferWidth = p.BackBufferHeight = kSize;
    p.BackBufferFormat = FmtX8R8G8B8;
    p.BackBufferCount = 1;
    p.Windowed = true;
    p.EnableAutoDepthStencil = true;
    p.AutoDepthStencilFormat = depth_format;
    return p;
}

struct RecordingBackend {
    // Empty when the device was made; otherwise why the back-end cannot run here.
    std::string Open(PresentParameters* p) {
        if (system.CreateDevice(0, DevTypeHal, nullptr, CreateHardwareVertexProcessing, p, &device) !=
            Status::Ok)
            return "no recording device";
        return {};
    }
    RecordingSystem system;
    DevicePtr device;
};

struct GlBackend {
    std::string Open(PresentParameters* p) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        system = CreateGlGraphicsSystem();
        if (!system) return "no display of any kind";
        window = CreateRenderWindow("conformance", kSize, kSize, true);
        if (window == nullptr) return "no window";
        p->hDeviceWindow = window;
        if (system->CreateDevice(0, DevTypeHal, window, CreateHardwareVertexProcessing, p, &device) !=
            Status::Ok)
            return "no OpenGL device";
        return {};
    }
    ~GlBackend() {
        device.reset();
        system.reset();
        if (window != nullptr) DestroyRenderWindow(window);
    }
    std::unique_ptr<GraphicsSystem> system;
    platform::WindowHandle window = nullptr;
    DevicePtr device;
};

template <class Backend> class Conformance : public ::testing::Test {
  protected:
    void SetUp() override {
        params_ = params_with(FmtD24S8);
        if (const std::string why = backend_.Open(&params_); !why.empty()) GTEST_SKIP() << why;
        device_ = backend_.device.get();
    }

    // A vertex buffer of three vertices of kFvf, and an index buffer of three 16-bit indices.
    void make_buffers(std::int32_t pool = PoolManaged) {
        ASSERT_EQ(device_->CreateVertexBuffer(3 * kStride, 0, kFvf, pool, &vb_), Status::Ok);
        ASSERT_EQ(device_->CreateIndexBuffer(6, 0, FmtIndex16, pool, &ib_), Status::Ok);
    }
    void write_indices(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
        std::uint8_t* bytes = nullptr;
        ASSERT_EQ(ib_->Lock(0, 0, &bytes, 0), Status::Ok);
        const std::uint16_t idx[3] = {a, b, c};
        std::memcpy(bytes, idx, sizeof idx);
        ASSERT_EQ(ib_->Unlock(), Status::Ok);
    }

    Backend backend_;
    PresentParameters params_;
    Device* device_ = nullptr;
    VertexBufferPtr vb_;
    IndexBufferPtr ib_;
};

struct BackendNames {
    template <class T> static std::string GetName(int) {
        return std::is_same_v<T, RecordingBackend> ? "Recording" : "Gl";
    }
};
using Backends = ::testing::Types<RecordingBackend, GlBackend>;
TYPED_TEST_SUITE(Conformance, Backends, BackendNames);

TYPED_TEST(Conformance, GetReturnsWhatSetStoredAndRefusedSetsChangeNothing) {
    Device& d = *this->device_;
    Dword v = 0;
    ASSERT_EQ(d.GetRenderState(rs::CullMode, &v), Status::Ok);
    EXPECT_EQ(v, CullCcw);
    ASSERT_EQ(d.GetRenderState(rs::ZEnable, &v), Status::Ok);
    EXPECT_EQ(v, 1u);
    ASSERT_EQ(d.SetRenderState(rs::FogColor, 0xFFFAFAFA), Status::Ok);
    ASSERT_EQ(d.GetRenderState(rs::FogColor, &v), Status::Ok);
    EXPECT_EQ(v, 0xFFFAFAFAu);
    EXPECT_EQ(d.SetRenderState(200, 1), Status::InvalidCall);
    EXPECT_EQ(d.SetRenderState(169, 1), Status::InvalidCall);
    EXPECT_EQ(d.GetRenderState(rs::FogColor, nullptr), Status::InvalidCall);

    ASSERT_EQ(d.GetTextureStageState(0, tss::AlphaArg1, &v), Status::Ok);
    EXPECT_EQ(v, TaTexture);
    ASSERT_EQ(d.SetTextureStageState(0, tss::MagFilter, TexfLinear), Status::Ok);
    ASSERT_EQ(d.GetTextureStageState(0, tss::MagFilter, &v), Status::Ok);
    EXPECT_EQ(v, TexfLinear);
    EXPECT_EQ(d.SetTextureStageState(1, tss::MagFilter, TexfLinear), Status::InvalidCall);
    EXPECT_EQ(d.SetTextureStageState(0, tss::kCount, 1), Status::InvalidCall);

    Matrix m = IdentityMatrix();
    m.m[12] = 5;
    ASSERT_EQ(d.SetTransform(TsView, m), Status::Ok);
    Matrix back;
    ASSERT_EQ(d.GetTransform(TsView, &back), Status::Ok);
    EXPECT_EQ(back.m[12], 5);
    EXPECT_EQ(d.SetTransform(7, m), Status::InvalidCall);

    Light light;
    light.Type = LightPoint;
    light.Position = {1, 2, 3};
    ASSERT_EQ(d.SetLight(3, light), Status::Ok);
    bool on = true;
    EXPECT_EQ(d.GetLightEnable(3, &on), Status::InvalidCall) << "never enabled";
    ASSERT_EQ(d.LightEnable(3, true), Status::Ok);
    ASSERT_EQ(d.GetLightEnable(3, &on), Status::Ok);
    EXPECT_TRUE(on);
    Light got;
    ASSERT_EQ(d.GetLight(3, &got), Status::Ok);
    EXPECT_EQ(got.Position.z, 3);
    EXPECT_EQ(d.GetLight(4, &got), Status::InvalidCall);
    light.Type = 0;
    EXPECT_EQ(d.SetLight(3, light), Status::InvalidCall);
    // Enabling a light never set gives it the default white directional light.
    ASSERT_EQ(d.LightEnable(6, true), Status::Ok);
    ASSERT_EQ(d.GetLight(6, &got), Status::Ok);
    EXPECT_EQ(got.Type, LightDirectional);

    Material mat;
    mat.Diffuse = {1, 0.5f, 0, 1};
    mat.Power = 10;
    ASSERT_EQ(d.SetMaterial(mat), Status::Ok);
    Material mat_back;
    ASSERT_EQ(d.GetMaterial(&mat_back), Status::Ok);
    EXPECT_EQ(mat_back.Diffuse.g, 0.5f);
    EXPECT_EQ(mat_back.Power, 10);

    const float plane[4] = {0, 1, 0, -2};
    ASSERT_EQ(d.SetClipPlane(2, plane), Status::Ok);
    float plane_back[4] = {};
    ASSERT_EQ(d.GetClipPlane(2, plane_back), Status::Ok);
    EXPECT_EQ(plane_back[3], -2);
    EXPECT_EQ(d.SetClipPlane(kMaxClipPlanes, plane), Status::InvalidCall);
    EXPECT_EQ(d.SetClipPlane(0, nullptr), Status::InvalidCall);

    ASSERT_EQ(d.SetVertexShader(324), Status::Ok);
    EXPECT_EQ(d.SetVertexShader(fvf::Normal | fvf::Diffuse), Status::InvalidCall) << "no position";
    EXPECT_EQ(d.SetVertexShader(0), Status::InvalidCall);
    ASSERT_EQ(d.GetVertexShader(&v), Status::Ok);
    EXPECT_EQ(v, 324u) << "a refused format leaves the last one";
}

TYPED_TEST(Conformance, SceneClearAndViewportRules) {
    Device& d = *this->device_;
    EXPECT_EQ(d.EndScene(), Status::InvalidCall);
    ASSERT_EQ(d.BeginScene(), Status::Ok);
    EXPECT_EQ(d.BeginScene(), Status::InvalidCall);
    EXPECT_EQ(d.EndScene(), Status::Ok);

    EXPECT_EQ(d.Clear(0, nullptr, 0, 0, 1.0f, 0), Status::InvalidCall);
    EXPECT_EQ(d.Clear(0, nullptr, ClearTarget | 0x100, 0, 1.0f, 0), Status::InvalidCall) << "unknown flag";
    EXPECT_EQ(d.Clear(0, nullptr, ClearTarget | ClearZBuffer | ClearStencil, 0, 1.0f, 0), Status::Ok);

    Viewport v{0, 0, 32, kSize, 0, 1};
    ASSERT_EQ(d.SetViewport(v), Status::Ok);
    EXPECT_EQ(d.SetViewport({40, 0, 32, kSize, 0, 1}), Status::InvalidCall) << "beyond the back buffer";
    EXPECT_EQ(d.SetViewport({0xFFFFFFF0u, 0, 0x20, kSize, 0, 1}), Status::InvalidCall) << "X + Width wraps";
    EXPECT_EQ(d.SetViewport({0, 0xFFFFFFF0u, kSize, 0x20, 0, 1}), Status::InvalidCall) << "Y + Height wraps";
    EXPECT_EQ(d.SetViewport({0, 0, 0, kSize, 0, 1}), Status::InvalidCall);
    EXPECT_EQ(d.SetViewport({0, 0, kSize, kSize, -0.5f, 1}), Status::InvalidCall);
    EXPECT_EQ(d.SetViewport({0, 0, kSize, kSize, 0, 1.5f}), Status::InvalidCall);
    Viewport back;
    ASSERT_EQ(d.GetViewport(&back), Status::Ok);
    EXPECT_EQ(back.Width, 32u) << "refused viewports leave the last one";

    // A 16-bit depth buffer has no stencil to clear.
    PresentParameters d16 = params_with(FmtD16);
    d16.hDeviceWindow = this->params_.hDeviceWindow;
    ASSERT_EQ(d.Reset(&d16), Status::Ok);
    EXPECT_EQ(d.Clear(0, nullptr, ClearTarget | ClearStencil, 0, 1.0f, 1), Status::InvalidCall);
    EXPECT_EQ(d.Clear(0, nullptr, ClearTarget | ClearZBuffer, 0, 1.0f, 1), Status::Ok);
    PresentParameters no_depth = d16;
    no_depth.EnableAutoDepthStencil = false;
    ASSERT_EQ(d.Reset(&no_depth), Status::Ok);
    EXPECT_EQ(d.Clear(0, nullptr, ClearTarget | ClearZBuffer, 0, 1.0f, 1), Status::InvalidCall);
    EXPECT_EQ(d.Reset(nullptr), Status::InvalidCall);
}

TYPED_TEST(Conformance, DrawsReadOnlyWhatTheCallerVouchesFor) {
    Device& d = *this->device_;
    ASSERT_NO_FATAL_FAILURE(this->make_buffers());
    ASSERT_EQ(d.SetVertexShader(kFvf), Status::Ok);
    EXPECT_EQ(d.DrawPrimitive(PtTriangleList, 0, 1), Status::InvalidCall) << "no stream set";
    ASSERT_EQ(d.SetStreamSource(0, this->vb_, kStride), Status::Ok);
    EXPECT_EQ(d.SetStreamSource(1, this->vb_, kStride), Status::InvalidCall);
    EXPECT_EQ(d.DrawPrimitive(PtTriangleList, 0, 1), Status::Ok);
    EXPECT_EQ(d.DrawPrimitive(PtTriangleList, 1, 1), Status::InvalidCall) << "reads past the buffer";
    EXPECT_EQ(d.DrawPrimitive(7, 0, 1), Status::InvalidCall) << "unknown primitive type";
    EXPECT_EQ(d.DrawPrimitive(PtTriangleList, 0, 0), Status::InvalidCall);

    ASSERT_NO_FATAL_FAILURE(this->write_indices(0, 1, 2));
    EXPECT_EQ(d.DrawIndexedPrimitive(PtTriangleList, 0, 3, 0, 1), Status::InvalidCall) << "no indices set";
    ASSERT_EQ(d.SetIndices(this->ib_, 0), Status::Ok);
    EXPECT_EQ(d.DrawIndexedPrimitive(PtTriangleList, 0, 3, 0, 1), Status::Ok);
    EXPECT_EQ(d.DrawIndexedPrimitive(PtTriangleList, 0, 3, 1, 1), Status::InvalidCall) << "past the indices";
    ASSERT_EQ(d.SetIndices(this->ib_, 1), Status::Ok);
    EXPECT_EQ(d.DrawIndexedPrimitive(PtTriangleList, 0, 3, 0, 1), Status::InvalidCall) << "base vertex past";
    ASSERT_EQ(d.SetIndices(this->ib_, 0), Status::Ok);
    ASSERT_NO_FATAL_FAILURE(this->write_indices(0, 1, 3));
    EXPECT_EQ(d.DrawIndexedPrimitive(PtTriangleList, 0, 3, 0, 1), Status::InvalidCall)
        << "index past vertices";
    ASSERT_NO_FATAL_FAILURE(this->write_indices(0, 1, 2));
    ASSERT_EQ(d.SetStreamSource(0, this->vb_, 0), Status::Ok);
    EXPECT_EQ(d.DrawPrimitive(PtTriangleList, 0, 1), Status::InvalidCall) << "stride 0";
    EXPECT_EQ(d.DrawIndexedPrimitive(PtTriangleList, 0, 3, 0, 1), Status::InvalidCall) << "stride 0";
    ASSERT_EQ(d.SetStreamSource(0, this->vb_, 12), Status::Ok);
    EXPECT_EQ(d.DrawPrimitive(PtTriangleList, 0, 1), Status::InvalidCall) << "stride shorter than a vertex";

    struct V {
        float x, y, z;
        std::uint32_t color;
    };
    const V tri[3] = {{0, 0, 1, 0xFFFFFFFF}, {1, 0, 1, 0xFFFFFFFF}, {0, 1, 1, 0xFFFFFFFF}};
    EXPECT_EQ(d.DrawPrimitiveUP(PtTriangleList, 1, tri, sizeof(V)), Status::Ok);
    EXPECT_EQ(d.DrawPrimitiveUP(PtTriangleList, 1, nullptr, sizeof(V)), Status::InvalidCall);
    EXPECT_EQ(d.DrawPrimitiveUP(PtTriangleList, 1, tri, 0), Status::InvalidCall);
    EXPECT_EQ(d.DrawPrimitiveUP(PtTriangleList, 1, tri, 8), Status::InvalidCall)
        << "stride shorter than a vertex";
    const std::uint16_t idx[3] = {2, 1, 0};
    EXPECT_EQ(d.DrawIndexedPrimitiveUP(PtTriangleList, 0, 3, 1, idx, FmtIndex16, tri, sizeof(V)), Status::Ok);
    EXPECT_EQ(d.DrawIndexedPrimitiveUP(PtTriangleList, 1, 2, 1, idx, FmtIndex16, tri, sizeof(V)),
              Status::InvalidCall)
        << "index 0 below the vouched range";
    EXPECT_EQ(d.DrawIndexedPrimitiveUP(PtTriangleList, 0, 2, 1, idx, FmtIndex16, tri, sizeof(V)),
              Status::InvalidCall)
        << "index 2 past the vouched range";
    EXPECT_EQ(d.DrawIndexedPrimitiveUP(PtTriangleList, 0, 3, 1, idx, FmtD16, tri, sizeof(V)),
              Status::InvalidCall);
}

TYPED_TEST(Conformance, ResourcesAreMadeOnlyWithinLimitsAndUsedOnlyByTheirMaker) {
    Device& d = *this->device_;
    TexturePtr t;
    EXPECT_EQ(d.CreateTexture(0, 16, 1, 0, FmtR5G6B5, PoolManaged, &t), Status::InvalidCall);
    EXPECT_EQ(d.CreateTexture(16, 16, 1, 0, FmtD24S8, PoolManaged, &t), Status::InvalidCall);
    EXPECT_EQ(d.CreateTexture(16, 16, 1, 0, FmtA8R3G3B2, PoolManaged, &t), Status::InvalidCall);
    EXPECT_EQ(d.CreateTexture(16384 * 2, 16, 1, 0, FmtA8R8G8B8, PoolManaged, &t), Status::OutOfMemory);
    EXPECT_EQ(d.CreateTexture(16, 16, 1, 0, FmtA8R8G8B8, PoolManaged, nullptr), Status::InvalidCall);
    EXPECT_EQ(t, nullptr);
    VertexBufferPtr vb;
    IndexBufferPtr ib;
    EXPECT_EQ(d.CreateVertexBuffer(0, 0, 0, PoolManaged, &vb), Status::InvalidCall);
    EXPECT_EQ(d.CreateVertexBuffer((1u << 30) + 1, 0, 0, PoolManaged, &vb), Status::InvalidCall);
    EXPECT_EQ(d.CreateIndexBuffer(6, 0, FmtD16, PoolManaged, &ib), Status::InvalidCall);

    // Resources this device did not make: it could not read or bind them.
    const auto texture = std::make_shared<MemoryTexture>(4, 4, 1, 0, FmtA8R8G8B8, PoolManaged);
    const auto buffer = std::make_shared<MemoryVertexBuffer>(48, 0, 0, PoolManaged);
    const auto indices = std::make_shared<MemoryIndexBuffer>(6, 0, FmtIndex16, PoolManaged);
    EXPECT_EQ(d.SetTexture(0, texture), Status::InvalidCall);
    EXPECT_EQ(d.SetStreamSource(0, buffer, 16), Status::InvalidCall);
    EXPECT_EQ(d.SetIndices(indices, 0), Status::InvalidCall);
    TexturePtr bound;
    ASSERT_EQ(d.GetTexture(0, &bound), Status::Ok);
    EXPECT_EQ(bound, nullptr);

    ASSERT_EQ(d.CreateTexture(4, 4, 1, 0, FmtA8R8G8B8, PoolManaged, &t), Status::Ok);
    EXPECT_EQ(d.SetTexture(1, t), Status::InvalidCall);
    ASSERT_EQ(d.SetTexture(0, t), Status::Ok);
    ASSERT_EQ(d.GetTexture(0, &bound), Status::Ok);
    EXPECT_EQ(bound, t);
}

TYPED_TEST(Conformance, AResetRestoresTheDefaultsAndLosesTheDefaultPool) {
    Device& d = *this->device_;
    TexturePtr managed, lost;
    ASSERT_EQ(d.CreateTexture(4, 4, 1, 0, FmtA8R8G8B8, PoolManaged, &managed), Status::Ok);
    ASSERT_EQ(d.CreateTexture(4, 4, 1, 0, FmtA8R8G8B8, PoolDefault, &lost), Status::Ok);
    ASSERT_NO_FATAL_FAILURE(this->make_buffers(PoolDefault));
    LockedRect lr;
    ASSERT_EQ(managed->LockRect(0, &lr, nullptr, 0), Status::Ok);
    static_cast<std::uint8_t*>(lr.pBits)[0] = 0xAB;
    ASSERT_EQ(managed->UnlockRect(0), Status::Ok);

    ASSERT_EQ(d.SetRenderState(rs::CullMode, CullNone), Status::Ok);
    ASSERT_EQ(d.SetTexture(0, managed), Status::Ok);
    ASSERT_EQ(d.SetVertexShader(kFvf), Status::Ok);
    ASSERT_EQ(d.SetViewport({0, 0, 8, 8, 0, 1}), Status::Ok);
    ASSERT_EQ(d.BeginScene(), Status::Ok);

    PresentParameters p = this->params_;
    ASSERT_EQ(d.Reset(&p), Status::Ok);
    Dword v = 0;
    ASSERT_EQ(d.GetRenderState(rs::CullMode, &v), Status::Ok);
    EXPECT_EQ(v, CullCcw);
    ASSERT_EQ(d.GetVertexShader(&v), Status::Ok);
    EXPECT_EQ(v, 0u);
    TexturePtr bound;
    ASSERT_EQ(d.GetTexture(0, &bound), Status::Ok);
    EXPECT_EQ(bound, nullptr);
    Viewport vp;
    ASSERT_EQ(d.GetViewport(&vp), Status::Ok);
    EXPECT_EQ(vp.Width, kSize);
    EXPECT_EQ(d.BeginScene(), Status::Ok) << "a reset ends the scene";

    ASSERT_EQ(managed->LockRect(0, &lr, nullptr, LockReadOnly), Status::Ok);
    EXPECT_EQ(static_cast<std::uint8_t*>(lr.pBits)[0], 0xAB);
    managed->UnlockRect(0);
    EXPECT_EQ(lost->LockRect(0, &lr, nullptr, 0), Status::DeviceLost);
    std::uint8_t* bytes = nullptr;
    EXPECT_EQ(this->vb_->Lock(0, 0, &bytes, 0), Status::DeviceLost);
    EXPECT_EQ(this->ib_->Lock(0, 0, &bytes, 0), Status::DeviceLost);
}

} // namespace
} // namespace kl::gfx
