// The view-volume and pixel-centre tests behind DrawReach, with their allowance for rounding.
#include "engine/draw_reach.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "platform/gfx/device.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kl {

namespace {

// The device transforms vertices in single precision: some twenty roundings of 2^-24 at most, each
// against the sum of the sizes of the terms. Four times more is allowed.
constexpr double kRelativeError = 5e-6;
// In pixels: the rasteriser snaps corners to a sub-pixel grid far finer than this.
constexpr double kSnap = 1.0 / 16.0;

Matrix4 from_platform(const gfx::Matrix& m) {
    Matrix4 r;
    std::memcpy(&r.m11, m.m, sizeof m.m);
    return r;
}

Matrix4 absolute_product(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += std::fabs(double(a.at(i, k))) * std::fabs(double(b.at(k, j)));
            r.at(i, j) = static_cast<float>(s);
        }
    return r;
}

// No pixel centre (n + 0.5) lies in lo..hi.
bool no_centre_within(double lo, double hi) {
    return std::ceil(lo - 0.5) + 0.5 > hi;
}

} // namespace

DrawReach::DrawReach(const Matrix4& view, const Matrix4& projection, const gfx::Viewport& viewport,
                     bool single_sample_fill)
    : active_(true), centres_decide_(single_sample_fill), view_projection_(view * projection),
      abs_view_projection_(absolute_product(view, projection)), viewport_(viewport) {}

DrawReach DrawReach::FromEngine(const cls3dEngine& engine) {
    gfx::Device* device = engine.Device();
    if (device == nullptr || engine.GetShadowState() || engine.GetReflectionState()) return {};
    gfx::Matrix view, projection;
    gfx::Viewport viewport;
    gfx::Dword fill = 0;
    if (platform::Failed(device->GetTransform(gfx::TsView, &view)) ||
        platform::Failed(device->GetTransform(gfx::TsProjection, &projection)) ||
        platform::Failed(device->GetViewport(&viewport)) ||
        platform::Failed(device->GetRenderState(gfx::rs::FillMode, &fill)))
        return {};
    // Wide points and lines may reach past the clipped positions of their vertices.
    if (fill != gfx::FillSolid) return {};
    return DrawReach(from_platform(view), from_platform(projection), viewport,
                     engine.PresentParams.MultiSampleType < 2);
}

bool DrawReach::ReachesNoPixel(const Matrix4& world, const Vec3& low, const Vec3& high,
                               double* picture) const {
    if (picture != nullptr) *picture = std::numeric_limits<double>::infinity();
    if (!active_) return false;
    // world x view x projection, and beside it the sums of the sizes of its terms.
    double m[4][4], size[4][4];
    static const Matrix4 identity = MatrixIdentity();
    // Boxes already in world space (the street's static pieces, thousands a frame) skip the product.
    if (std::memcmp(&world, &identity, sizeof world) == 0) {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                m[i][j] = view_projection_.at(i, j);
                size[i][j] = abs_view_projection_.at(i, j);
            }
    } else {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double s = 0, a = 0;
                for (int k = 0; k < 4; ++k) {
                    s += double(world.at(i, k)) * double(view_projection_.at(k, j));
                    a += std::fabs(double(world.at(i, k))) * double(abs_view_projection_.at(k, j));
                }
                m[i][j] = s;
                size[i][j] = a;
            }
    }
    // The rounding any point of the box may suffer in each clip coordinate: the corner farthest from
    // the origin in every axis bounds them all.
    const double reach[4] = {std::max(std::fabs(double(low.x)), std::fabs(double(high.x))),
                             std::max(std::fabs(double(low.y)), std::fabs(double(high.y))),
                             std::max(std::fabs(double(low.z)), std::fabs(double(high.z))), 1.0};
    double e[4];
    for (int j = 0; j < 4; ++j) {
        e[j] = 0;
        for (int k = 0; k < 4; ++k)
            e[j] += reach[k] * size[k][j];
        e[j] *= kRelativeError;
        if (!std::isfinite(e[j])) return false;
    }

    bool left = true, right = true, below = true, above = true, before = true, beyond = true;
    constexpr double inf = std::numeric_limits<double>::infinity();
    double x_lo = inf, x_hi = -inf, y_lo = inf, y_hi = -inf, w_lo = inf, ndc_size = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[4] = {corner & 1 ? high.x : low.x, corner & 2 ? high.y : low.y,
                             corner & 4 ? high.z : low.z, 1.0};
        double c[4];
        for (int j = 0; j < 4; ++j) {
            c[j] = 0;
            for (int k = 0; k < 4; ++k)
                c[j] += p[k] * m[k][j];
            if (!std::isfinite(c[j])) return false;
        }
        const double X = c[0], Y = c[1], Z = c[2], W = c[3];
        // Clip volume -W <= X, Y <= W and 0 <= Z <= W, each side with the rounding allowed for.
        left = left && X + W < -(e[0] + e[3]);
        right = right && X - W > e[0] + e[3];
        below = below && Y + W < -(e[1] + e[3]);
        above = above && Y - W > e[1] + e[3];
        before = before && Z < -e[2];
        beyond = beyond && Z - W > e[2] + e[3];
        w_lo = std::min(w_lo, W);
        if (W <= 0) continue;
        const double nx = X / W, ny = Y / W;
        ndc_size = std::max({ndc_size, std::fabs(nx), std::fabs(ny)});
        x_lo = std::min(x_lo, nx);
        x_hi = std::max(x_hi, nx);
        y_lo = std::min(y_lo, ny);
        y_hi = std::max(y_hi, ny);
    }
    if (left || right || below || above || before || beyond) return true;
    if (picture != nullptr && w_lo > 0)
        *picture = std::max((x_hi - x_lo) * viewport_.Width, (y_hi - y_lo) * viewport_.Height) / 2.0;
    // With every corner in front of the eye, the picture of anything inside the box lies within the
    // corners' pictures, widened by what rounding can move a point.
    if (!centres_decide_ || w_lo <= 2 * e[3]) return false;
    const double half_w = viewport_.Width / 2.0, half_h = viewport_.Height / 2.0;
    const double ex = (e[0] + ndc_size * e[3]) / (w_lo - e[3]) * half_w + kSnap;
    const double ey = (e[1] + ndc_size * e[3]) / (w_lo - e[3]) * half_h + kSnap;
    const double left_px = viewport_.X + (x_lo + 1) * half_w, right_px = viewport_.X + (x_hi + 1) * half_w;
    const double top_px = viewport_.Y + (1 - y_hi) * half_h, bottom_px = viewport_.Y + (1 - y_lo) * half_h;
    return no_centre_within(left_px - ex, right_px + ex) || no_centre_within(top_px - ey, bottom_px + ey);
}

} // namespace kl
