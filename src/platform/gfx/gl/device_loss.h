// When an OpenGL device counts as lost: a full-screen window that is minimised has lost its device;
// once it is shown again the device waits for a reset. A windowed device is never lost this way.
#pragma once

#include "platform/status.h"

namespace kl::gfx {

class DeviceLoss {
  public:
    // The cooperative level for the window's state now.
    platform::Status Observe(bool windowed, bool minimised) {
        if (!windowed && minimised) {
            lost_ = true;
            return platform::Status::DeviceLost;
        }
        return lost_ ? platform::Status::DeviceNotReset : platform::Status::Ok;
    }
    // A reset cannot happen while the window is still minimised.
    bool CanReset(bool windowed, bool minimised) const { return windowed || !minimised; }
    void MarkLost() { lost_ = true; }
    void Restored() { lost_ = false; }
    bool Lost() const { return lost_; }

  private:
    bool lost_ = false;
};

} // namespace kl::gfx
