// Whether a model about to be drawn can put any pixel on the screen. A model whose bounding box lies
// wholly beyond one side of the view volume is clipped away; one whose picture falls between the
// pixel centres makes no fragment, since a filled triangle only covers the pixels whose centres it
// contains. Skipping such draws changes no pixel, and in a wide street most far vehicles are one or
// the other.
#pragma once

#include "engine/records.h"
#include "platform/gfx/types.h"

namespace kl {

class cls3dEngine;

class DrawReach {
  public:
    // Answers "may reach the screen" for everything.
    DrawReach() = default;
    // view and projection as the device holds them; single_sample_fill false while triangles are
    // multisampled or drawn as lines or points, where pixel centres do not decide coverage.
    DrawReach(const Matrix4& view, const Matrix4& projection, const gfx::Viewport& viewport,
              bool single_sample_fill);
    // From the engine's device as it stands; answers "may reach" for everything when its state
    // cannot be read or the engine draws a shadow or reflection pass.
    static DrawReach FromEngine(const cls3dEngine& engine);

    // True only when nothing inside the model-space box low..high, drawn with this world transform,
    // can produce a fragment. Errors of single-precision rounding on the way through the transforms
    // and of the rasteriser's snapping are allowed for, so the answer errs towards drawing.
    // picture, when given, receives the larger of the width and height in pixels of the box's
    // picture when every corner lies in front of the eye, and infinity otherwise (or when inactive).
    bool ReachesNoPixel(const Matrix4& world, const Vec3& low, const Vec3& high,
                        double* picture = nullptr) const;

  private:
    bool active_ = false;
    bool centres_decide_ = false;
    Matrix4 view_projection_;
    Matrix4 abs_view_projection_;
    gfx::Viewport viewport_;
};

} // namespace kl
