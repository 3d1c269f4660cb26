// The furniture of a road's bottleneck: traffic cones, the barrier across the closed lane, the sign
// that warns of the lane's end, and the on-ramp's strip. Each stands on model y = 0 (the road's top);
// the scene sets them down road by road.
#include "dimensions.h"
#include "engine/math.h"
#include "models.h"
#include "texture_table.h"
#include "traffic/scenario.h"

#include <array>
#include <cmath>
#include <numbers>

namespace kl::data {

namespace {

// A ring of `segments` corners of that radius at height y, the first on the -z side.
std::vector<Vec3> ring_at(float y, float radius, int segments) {
    std::vector<Vec3> ring;
    for (int k = 0; k < segments; ++k) {
        const double a = 2 * std::numbers::pi * (k + 0.5) / segments;
        ring.push_back(
            {static_cast<float>(radius * std::sin(a)), y, static_cast<float>(-radius * std::cos(a))});
    }
    return ring;
}

// The sides of a cone cut off between heights y0 and y1, radii r0 and r1, seen from outside.
void frustum(MeshBuilder& b, float y0, float y1, float r0, float r1, int segments, std::uint32_t mat) {
    const std::vector<Vec3> low = ring_at(y0, r0, segments), high = ring_at(y1, r1, segments);
    for (int k = 0; k < segments; ++k) {
        const std::size_t i = static_cast<std::size_t>(k), j = static_cast<std::size_t>((k + 1) % segments);
        const std::array<Vec3, 4> corners{low[i], low[j], high[j], high[i]};
        const std::array<Vec2, 4> uv{Vec2{0, 1}, Vec2{1, 1}, Vec2{1, 0}, Vec2{0, 0}};
        const Vec3 middle = (low[i] + low[j]) * 0.5f;
        b.polygon(corners, uv, {middle.x, 0, middle.z}, mat);
    }
}

// A flat panel facing -z (towards the traffic coming up the road), hung just in front of z.
void panel(MeshBuilder& b, float x0, float y0, float x1, float y1, float z, std::uint32_t mat) {
    b.quad({x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}, {0, 0, -1}, mat);
}

constexpr float kSignWidth = 1.4f, kSignBottom = 1.4f, kSignTop = 3.0f;
constexpr float kBarrierWidth = 3.6f;

} // namespace

Mesh build_cone() {
    MeshBuilder b("TrafficCone");
    const std::uint32_t orange = b.material(plain_material(0.95f, 0.38f, 0.05f));
    const std::uint32_t white = b.material(plain_material(0.95f, 0.95f, 0.93f));
    constexpr int kSides = 8;
    constexpr float kFoot = 0.4f, kPlate = 0.04f;
    b.box({-kFoot / 2, 0, -kFoot / 2}, {kFoot / 2, kPlate, kFoot / 2},
          {orange, orange, std::nullopt, orange, orange, orange});
    // Orange, a white band, orange again up to a flat tip.
    const auto radius = [](float y) { return 0.16f - 0.12f * (y - kPlate) / (kConeHeight - kPlate); };
    const std::array<float, 5> heights{kPlate, 0.38f, 0.5f, 0.62f, kConeHeight};
    for (std::size_t k = 0; k + 1 < heights.size(); ++k)
        frustum(b, heights[k], heights[k + 1], radius(heights[k]), radius(heights[k + 1]), kSides,
                k == 1 ? white : orange);
    const std::vector<Vec3> tip = ring_at(kConeHeight, radius(kConeHeight), kSides);
    const std::vector<Vec2> uv(tip.size(), Vec2{0, 0});
    b.polygon(tip, uv, {0, 1, 0}, orange);
    return std::move(b).finish();
}

Mesh build_barrier() {
    MeshBuilder b("Barrier");
    const std::uint32_t red = b.material(plain_material(0.85f, 0.08f, 0.06f));
    const std::uint32_t white = b.material(plain_material(0.96f, 0.96f, 0.94f));
    const std::uint32_t leg = b.material(plain_material(0.30f, 0.30f, 0.32f));
    constexpr float kHalf = kBarrierWidth / 2, kLow = 0.75f, kHigh = 1.05f, kDepth = 0.06f;
    constexpr int kStripes = 8;
    for (int k = 0; k < kStripes; ++k) {
        const float x0 = -kHalf + kBarrierWidth * static_cast<float>(k) / kStripes;
        const float x1 = -kHalf + kBarrierWidth * static_cast<float>(k + 1) / kStripes;
        const std::uint32_t m = k % 2 == 0 ? red : white;
        b.box({x0, kLow, -kDepth / 2}, {x1, kHigh, kDepth / 2}, {m, m, m, m, m, m});
    }
    for (const float x : {-kHalf + 0.15f, kHalf - 0.15f}) {
        b.box({x - 0.04f, 0, -0.04f}, {x + 0.04f, kLow, 0.04f}, {leg, leg, std::nullopt, leg, leg, leg});
        b.box({x - 0.05f, 0, -0.3f}, {x + 0.05f, 0.06f, 0.3f}, {leg, leg, std::nullopt, leg, leg, leg});
    }
    return std::move(b).finish();
}

// A white board with a red rim showing three lanes, the right one ending: two black bars run the
// board's height, the third stops halfway and bends into the middle one.
Mesh build_lane_ends_sign() {
    MeshBuilder b("LaneEndsSign");
    const std::uint32_t post = b.material(plain_material(0.55f, 0.56f, 0.58f));
    const std::uint32_t board = b.material(plain_material(0.97f, 0.97f, 0.95f));
    const std::uint32_t rim = b.material(plain_material(0.85f, 0.08f, 0.06f));
    const std::uint32_t bar = b.material(plain_material(0.06f, 0.06f, 0.07f));
    constexpr float kHalf = kSignWidth / 2, kRim = 0.1f, kThick = 0.04f;
    b.box({-0.04f, 0, kThick / 2}, {0.04f, kSignBottom, kThick / 2 + 0.08f},
          {post, post, std::nullopt, post, post, post});
    b.box({-kHalf, kSignBottom, -kThick / 2}, {kHalf, kSignTop, kThick / 2},
          {post, post, post, post, board, post});
    // The face lies just in front of the board (-z), each layer a little further out.
    const float face = -kThick / 2 - 0.005f, marks = face - 0.005f;
    panel(b, -kHalf, kSignBottom, kHalf, kSignTop, face, rim);
    panel(b, -kHalf + kRim, kSignBottom + kRim, kHalf - kRim, kSignTop - kRim, face - 0.0025f, board);
    constexpr float kBar = 0.1f, kLow = kSignBottom + 0.25f, kHigh = kSignTop - 0.25f;
    constexpr float kMiddle = (kLow + kHigh) / 2;
    const std::array<float, 3> lanes{-0.35f, 0.0f, 0.35f};
    panel(b, lanes[0] - kBar / 2, kLow, lanes[0] + kBar / 2, kHigh, marks, bar);
    panel(b, lanes[1] - kBar / 2, kLow, lanes[1] + kBar / 2, kHigh, marks, bar);
    panel(b, lanes[2] - kBar / 2, kLow, lanes[2] + kBar / 2, kMiddle - 0.1f, marks, bar);
    // The bend from the right bar into the middle one.
    const std::array<Vec3, 4> bend{
        Vec3{lanes[2] - kBar / 2, kMiddle - 0.1f, marks}, Vec3{lanes[2] + kBar / 2, kMiddle - 0.1f, marks},
        Vec3{lanes[1] + kBar / 2, kMiddle + 0.3f, marks}, Vec3{lanes[1] - kBar / 2, kMiddle + 0.3f, marks}};
    const std::array<Vec2, 4> uv{Vec2{0, 0}, Vec2{1, 0}, Vec2{1, 1}, Vec2{0, 1}};
    b.polygon(bend, uv, {0, 0, -1}, bar);
    return std::move(b).finish();
}

Mesh build_ramp() {
    MeshBuilder b("OnRamp");
    const std::uint32_t top = b.material(textured_material(kRoadTexture));
    const std::uint32_t kerb = b.material(plain_material(0.52f, 0.51f, 0.49f));
    Bottleneck n;
    n.RampStart = 0;
    n.Start = RampApproach;
    n.End = RampApproach + BottleneckLength;
    // Across the road texture, the right lane from its dashed line on the left to the kerb: the
    // ramp's lane with the line it merges over on its left. Beside the road it covers the road's
    // solid edge line, a little wider than the line's half.
    constexpr float kOverLine = 0.1f;
    constexpr float kLeft = kFirstLaneCentre + (kLanes - 1) * kLaneWidth - kLaneWidth / 2 - kOverLine;
    constexpr float kRight = kRoadWidth;
    const float u0 = kLeft / kRoadWidth, u1 = 1.0f;
    const auto edges = [&](float z) {
        const float left = static_cast<float>(ramp_across(n, z)) - kLaneWidth / 2 - kOverLine;
        return std::array<float, 2>{left, left + (kRight - kLeft)};
    };
    const std::array<float, 3> at{0.0f, static_cast<float>(n.Start), static_cast<float>(n.End)};
    for (std::size_t k = 0; k + 1 < at.size(); ++k) {
        const float z0 = at[k], z1 = at[k + 1];
        const auto e0 = edges(z0), e1 = edges(z1);
        const float v0 = z0 / kRoadTileLength, v1 = z1 / kRoadTileLength;
        const std::array<Vec3, 4> corners{Vec3{e0[0], 0, z0}, Vec3{e0[1], 0, z0}, Vec3{e1[1], 0, z1},
                                          Vec3{e1[0], 0, z1}};
        const std::array<Vec2, 4> uv{Vec2{u0, v0}, Vec2{u1, v0}, Vec2{u1, v1}, Vec2{u0, v1}};
        b.polygon(corners, uv, {0, 1, 0}, top);
        for (const std::size_t side : {0u, 1u}) {
            const Vec3 a{e0[side], 0, z0}, c{e1[side], 0, z1};
            const std::array<Vec3, 4> wall{a, c, Vec3{c.x, -kRoadThickness, z1},
                                           Vec3{a.x, -kRoadThickness, z0}};
            const std::array<Vec2, 4> flat{Vec2{0, 0}, Vec2{1, 0}, Vec2{1, 1}, Vec2{0, 1}};
            b.polygon(wall, flat, {side == 0 ? -1.0f : 1.0f, 0, 0}, kerb);
        }
    }
    for (const float z : {at.front(), at.back()}) {
        const auto e = edges(z);
        b.quad({e[0], 0, z}, {e[1], 0, z}, {e[1], -kRoadThickness, z}, {e[0], -kRoadThickness, z},
               {0, 0, z == 0 ? -1.0f : 1.0f}, kerb);
    }
    return std::move(b).finish();
}

} // namespace kl::data
