// The engine object: adapter, display modes and device; the frame cycle and 2D primitives; render
// states, camera and lights; the registry that carries resources across a device reset; the clock.
#pragma once

#include "engine/engine_resource.h"
#include "engine/fixed_text.h"
#include "engine/records.h"
#include "platform/gfx/graphics_system.h"
#include "platform/os/performance_counter.h"
#include "platform/os/window_handle.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kl {

class cls3dEngine;

// The engine created last and not yet destroyed (the program makes exactly one); nullptr if none.
// Resource classes register with it and draw through its device.
cls3dEngine* CurrentEngine();
// The device of the current engine; nullptr before its first successful SetRes or after Cleanup.
gfx::Device* CurrentDevice();

// Where Initialize gets its graphics system from.
using GraphicsFactory = std::function<std::shared_ptr<gfx::GraphicsSystem>()>;
// The OpenGL back-end; answers nullptr when there is no display at all.
GraphicsFactory DefaultGraphicsFactory();

struct RegistryEntry {
    EngineResource* pObj = nullptr;
    std::int32_t pObjType = 0;
};

// The viewport last handed to the platform, as corners in pixels.
struct ViewportCorners {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

class cls3dEngine {
  public:
    // Becomes the current engine.
    cls3dEngine();
    // Runs Cleanup; registered objects are told the engine is gone but are not called.
    ~cls3dEngine();
    cls3dEngine(const cls3dEngine&) = delete;
    cls3dEngine& operator=(const cls3dEngine&) = delete;

    // Wiring the program (or a test) chooses before Initialize.
    void SetGraphicsFactory(GraphicsFactory factory) { Factory = std::move(factory); }
    // Processes pending window messages inside RenderStart; false means the user asked to close.
    void SetMessagePump(std::function<bool()> pump) { MessagePump = std::move(pump); }
    // True once a RenderStart saw the user ask to close the window; the caller decides what ends.
    bool CloseRequested() const { return CloseRequest; }
    // The aspect-ratio text SetLookDistance reads at every call (decimal comma); must outlive the
    // engine or be replaced. Without one the projection is left alone.
    void SetAspectRatioSource(const FixedText<7>* aspect) { AspectRatioSource = aspect; }

    gfx::GraphicsSystem* Graphics() const { return GraphicsSystem.get(); }
    gfx::Device* Device() const { return D3DDevice.get(); }
    const gfx::DevicePtr& DevicePointer() const { return D3DDevice; }

    // Device and display modes.
    bool Initialize(platform::WindowHandle phWnd);
    // Modes of at least 640x480 (any size with AllowBelow640) in R5G6B5 or X8R8G8B8, one record per
    // size and format. *pOutRes points into Modes, valid until the next call; nullptr when none.
    std::int32_t GetPossibleRes(bool AllowBelow640, bool AllowUnusualRes, bool Allow32bpp,
                                const DisplayMode** pOutRes);
    bool GetPossibleCaps(std::int32_t dxFormat, bool dxWindowed, EngineCaps* pOutCaps);
    bool SetRes(const DisplayMode* pRes, std::int32_t pAntiAlias, bool pWindowed);
    static std::int32_t GetFormatBPP(std::int32_t Format);
    static bool IsValidRenderState(std::int32_t c);
    void Cleanup();

    // Frame cycle and 2D primitives. None of them reports an error.
    void RenderStart(const Vec2& xy1, const Vec2& xy2);
    void RenderClear(bool ClearScreen, PackedColor ClearColor, bool WillRender3d,
                     bool WillRenderBlendedShadow);
    void RenderEnd();
    void RenderShow();
    void Render2dLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, PackedColor Color);
    void Render2dBox(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, bool Filled,
                     PackedColor Color);

    // Render states, camera and lights.
    void SetLookDistance(float MaxView, float MaxAngle);
    void SetCamera(const Vec3& CameraPos, const Vec3& CameraLookAt, float RollAngle);
    bool SetLight(std::int32_t Index, const gfx::Light& Light);
    void SetLightState(std::int32_t Index, bool State);
    void SetSpecularState(bool State);
    void SetZState(bool ReadEnable, bool WriteEnable);
    void SetAnisotropicState(bool State);
    void SetGlobalLight(PackedColor Color);
    void SetFog(float Density);
    Material GetDefaultMaterial() const { return DefaultMaterial; }
    // For resource objects: world = B x A (then x S). Platform errors reach the caller as kl::Fault.
    void SetWorld(const Matrix4& A, const Matrix4& B);
    void SetWorldWithShadow(const Matrix4& A, const Matrix4& B, const Matrix4& S);

    // Planar shadows and reflections. The plane record is only read; nullptr switches the effect off.
    // The shadow call answers whether the shadow state is on; the caller draws casters only then.
    bool SetShadowState(const PlaneRecord* pPlaneTo, const Vec3* LightPos, std::int32_t Intensity,
                        std::int32_t lType, bool ClipEdges);
    void SetReflectionState(const PlaneRecord* pPlaneTo, bool ClipEdges);
    // For resource objects drawing inside those passes.
    bool GetShadowState() const { return ShadowOn; }
    bool GetReflectionState() const { return ReflectionOn; }
    const Matrix4& GetShadowMatrix() const { return ShadowMatrix; }

    // Registry. Errors of an object's operation (kl::Fault) end the loop and reach the caller.
    void RegisterObject(EngineResource* pObj, std::int32_t pObjType);
    void UnregisterObject(EngineResource* pObj);
    void CleanupObjects();
    void RestoreObjects();
    const std::vector<RegistryEntry>& RegisteredObjects() const { return Registry; }

    // Clock. The queries raise kl::Fault (division by zero) before StartTimer has run.
    void StartTimer();
    float GetAbsTimeDiff();
    float GetRelTimeDiff();
    // Lets tests and reproducible runs drive the clock; the counter must outlive the engine.
    void SetPerformanceCounter(platform::PerformanceCounter& counter) { Counter = &counter; }

    platform::WindowHandle hWnd = nullptr;
    std::int32_t AdapterIndex = -1;
    std::int32_t VertexProcessing = gfx::CreateSoftwareVertexProcessing;
    gfx::Caps Caps;
    DisplayMode CurrentMode;
    std::int32_t AntiAlias = 0;
    bool Windowed = false;
    gfx::PresentParameters PresentParams;
    std::vector<DisplayMode> Modes;
    bool StencilAvailable = false;
    bool ZBiasAvailable = false;
    ViewportCorners Viewport;
    Material DefaultMaterial;
    std::int32_t HighestLight = -1;
    Vec3 LastCameraPos;

    // The packed matrices are read through float pointers, so they keep a float's alignment even
    // after a bool.
    bool ShadowOn = false;
    alignas(float) Matrix4 ShadowMatrix;
    bool ReflectionOn = false;
    alignas(float) Matrix4 SavedView;

    bool ObjectsStored = false;

    std::int64_t TimerFrequency = 0;
    std::int64_t TimerStart = 0;
    float LastTime = 0.0f;

  private:
    friend class EngineResource;

    float SecondsSinceStart();
    // Removes every entry of an object that is being destroyed, without calling the platform.
    void ForgetObject(EngineResource* pObj) noexcept;
    // SetRes step by step. What it records before it takes the new mode, to put back when a reset
    // falls back to the old one.
    struct ModeRecord {
        bool Stencil = false, ZBias = false, Windowed = false;
        DisplayMode Mode;
        std::int32_t AntiAlias = 0;
    };
    // The back buffer and depth-stencil formats for a mode; false when the desktop's mode cannot be
    // read for a window.
    bool PresentParametersFor(const DisplayMode& mode, std::int32_t antialias, bool windowed,
                              gfx::PresentParameters& params);
    // The first device, with the engine's default view and states.
    bool CreateDevice(const gfx::PresentParameters& params, const DisplayMode& mode);
    // Saves what a reset loses, resets, and puts it all back; false also when the old mode was kept.
    bool ResetDevice(const gfx::PresentParameters& params, const ModeRecord& old);
    // The part of SetRes after the device was created or reset.
    bool FinishSetRes(bool result);

    GraphicsFactory Factory;
    std::function<bool()> MessagePump;
    bool CloseRequest = false;
    const FixedText<7>* AspectRatioSource = nullptr;
    std::shared_ptr<gfx::GraphicsSystem> GraphicsSystem;
    gfx::DevicePtr D3DDevice;
    std::vector<RegistryEntry> Registry;
    platform::PerformanceCounter* Counter = &platform::SystemCounter();
};

} // namespace kl
