// An engine driving the recording back-end, and a resource that writes every call the registry
// makes into a journal, for the engine's tests.
#pragma once

#include "engine/cls3d_engine.h"
#include "fault/fault.h"
#include "platform/gfx/recording/recording_system.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kl::test {

class JournalResource : public EngineResource {
  public:
    JournalResource(std::vector<std::string>& journal, std::string name, bool dynamic = false)
        : journal_(journal), name_(std::move(name)), dynamic_(dynamic) {}

    void StoreData() override { note("StoreData"); }
    void Cleanup() override { note("Cleanup"); }
    void ReleaseMesh() override { note("ReleaseMesh"); }
    void ReStoreData() override { note("ReStoreData"); }
    void RestoreFont() override { note("RestoreFont"); }
    bool GetDynamicUsage() override {
        note("GetDynamicUsage");
        return dynamic_;
    }

    // The operation that raises kl::Fault instead of doing its work.
    std::string fail_on;

  private:
    void note(const char* op) {
        journal_.push_back(name_ + "." + op);
        if (fail_on == op) throw Fault(name_ + " could not " + op);
    }
    std::vector<std::string>& journal_;
    std::string name_;
    bool dynamic_;
};

class EngineTest : public ::testing::Test {
  protected:
    EngineTest() {
        aspect = "1,333";
        // A typical device: a stencil format besides plain 16-bit depth.
        sys->adapters[0].depth_stencil_formats = {FmtD24S8, FmtD16};
        engine.SetGraphicsFactory([this] { return sys; });
        engine.SetMessagePump([this] {
            ++pumps;
            return pump_answer;
        });
        engine.SetAspectRatioSource(&aspect);
    }

    // Initialize and a first SetRes in a full-screen mode.
    bool bring_up(DisplayMode mode = {800, 600, FmtX8R8G8B8}, std::int32_t anti_alias = 0,
                  bool windowed = false) {
        return engine.Initialize(nullptr) && engine.SetRes(&mode, anti_alias, windowed);
    }

    gfx::RecordingAdapter& adapter() { return sys->adapters[0]; }
    gfx::RecordingControl& control() { return sys->Control(); }
    gfx::CallLog& log() { return sys->Log(); }
    gfx::RecordingDevice& device() { return *sys->LastDevice(); }
    const gfx::DeviceState& state() { return device().State(); }
    gfx::Dword render_state(std::int32_t code) { return state().render[static_cast<std::size_t>(code)]; }
    gfx::Dword stage_state(std::int32_t code) { return state().stage[static_cast<std::size_t>(code)]; }

    std::shared_ptr<gfx::RecordingSystem> sys = std::make_shared<gfx::RecordingSystem>();
    FixedText<7> aspect;
    int pumps = 0;
    bool pump_answer = true;
    std::vector<std::string> journal;
    cls3dEngine engine;
};

inline gfx::Light white_light() {
    gfx::Light l;
    l.Type = gfx::LightDirectional;
    l.Diffuse = {1, 1, 1, 1};
    l.Direction = {0, -1, 0};
    return l;
}

} // namespace kl::test
