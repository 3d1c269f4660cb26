// Six vehicle types built from the same parts: a lower body and a cabin extruded from side
// outlines, four wheels, and flat details (windows, lights, bumpers, number plates) set 1-2 cm in
// front of the surface they sit on. The scene draws them unlit, so the paint is pre-shaded by
// the direction each face looks in.
#include "engine/math.h"
#include "models.h"
#include "texture_table.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kl::data {

namespace {

constexpr float kDecal = 0.015f; // gap between a detail and the surface below it

// A fixed light from above, ahead and to the left: faces turned to it keep more of their colour.
float shade_of(const Vec3& n) {
    const Vec3 light = Vec3Normalize({-0.35f, 0.85f, -0.4f});
    const float s = 0.62f + 0.38f * std::max(0.0f, Vec3Dot(Vec3Normalize(n), light));
    return std::round(s * 50) / 50; // few distinct shades, few materials
}

class VehicleBuilder {
  public:
    explicit VehicleBuilder(const VehicleSpec& s) : s_(s), b_(s.mesh_name) {
        half_w_ = s.width / 2 - 0.01f; // the tyres stand 1 cm proud of the body sides
        glass_ = b_.material(plain_material(0.16f, 0.2f, 0.25f));
        tyre_ = b_.material(plain_material(0.07f, 0.07f, 0.08f));
        hub_ = b_.material(plain_material(0.62f, 0.63f, 0.65f));
        trim_ = b_.material(plain_material(0.14f, 0.14f, 0.15f));
        head_ = b_.material(textured_material(kWhiteTexture));
        tail_ = b_.material(plain_material(0.78f, 0.05f, 0.05f));
        plate_ = b_.material(plain_material(0.92f, 0.9f, 0.78f));
    }

    Mesh build() && {
        lower_body();
        cabin();
        wheels();
        front_details();
        rear_details();
        side_windows();
        return std::move(b_).finish();
    }

  private:
    bool van() const { return s_.shape == VehicleShape::Van || s_.shape == VehicleShape::LargeVan; }
    float nose() const { return -s_.length / 2; }
    float tail() const { return s_.length / 2; }
    float screen_foot() const { return nose() + s_.bonnet; }
    float rear_foot() const { return tail() - s_.boot; }

    std::uint32_t paint(const Vec3& n) {
        const float k = shade_of(n);
        return b_.material(plain_material(s_.paint[0] * k, s_.paint[1] * k, s_.paint[2] * k));
    }

    void lower_body() {
        const std::array<Vec2, 6> outline = {
            Vec2{nose(), s_.clearance},   Vec2{tail(), s_.clearance},           Vec2{tail(), s_.belt},
            Vec2{tail() - 0.1f, s_.belt}, Vec2{nose() + 0.3f, s_.belt - 0.05f}, Vec2{nose(), s_.nose_top}};
        b_.prism(
            outline, -half_w_, half_w_, [this](const Vec3& n) { return paint(n); }, paint({0, 0, 1}));
    }

    void cabin() {
        const float base = s_.belt - 0.06f; // sunk into the bonnet, so no gap shows under the glass
        const std::array<Vec2, 4> outline = {Vec2{screen_foot(), base}, Vec2{rear_foot(), base},
                                             Vec2{rear_foot() - s_.rear_run, s_.height},
                                             Vec2{screen_foot() + s_.screen_run, s_.height}};
        const float w = half_w_ - s_.inset;
        b_.prism(
            outline, -w, w,
            [this](const Vec3& n) {
                if (n.y > 0.9f || n.y < -0.5f) return paint(n); // roof, floor
                if (n.x < 0) return glass_;                     // windscreen
                return van() ? paint(n) : glass_;               // rear window or van doors
            },
            paint({0, 0, 1}));
    }

    void wheels() {
        const float r = s_.wheel_radius;
        for (float x : {nose() + s_.front_axle, tail() - s_.rear_axle})
            for (float side : {-1.0f, 1.0f}) {
                const float outer = side * (half_w_ + 0.01f), inner = side * (half_w_ - 0.2f);
                b_.cylinder_z({x, r, 0}, r, std::min(outer, inner), std::max(outer, inner), 12, tyre_, tyre_);
                std::array<Vec3, 8> hub;
                std::array<Vec2, 8> uv{};
                for (int i = 0; i < 8; ++i) {
                    const double a = i * 3.141592653589793 / 4;
                    hub[static_cast<std::size_t>(i)] = {x + 0.55f * r * static_cast<float>(std::cos(a)),
                                                        r + 0.55f * r * static_cast<float>(std::sin(a)),
                                                        outer + side * 0.005f};
                }
                b_.polygon(hub, uv, {0, 0, side}, hub_);
            }
    }

    // Flat rectangle on the plane x = x, seen from dir along x, spanning y0..y1 and z0..z1.
    void plate_x(float x, float dir, float y0, float y1, float z0, float z1, std::uint32_t mat) {
        b_.quad({x, y1, z0}, {x, y1, z1}, {x, y0, z1}, {x, y0, z0}, {dir, 0, 0}, mat);
    }

    void front_details() {
        const float x = nose() - kDecal, lamp_top = s_.nose_top - 0.05f, lamp_bottom = s_.nose_top - 0.2f;
        for (float side : {-1.0f, 1.0f}) {
            const float z0 = side * (half_w_ - 0.1f), z1 = side * (half_w_ - 0.42f);
            plate_x(x, -1, lamp_bottom, lamp_top, std::min(z0, z1), std::max(z0, z1), head_);
        }
        plate_x(x, -1, lamp_bottom, lamp_top - 0.02f, -(half_w_ - 0.5f), half_w_ - 0.5f, trim_);   // grille
        plate_x(nose() - 0.01f, -1, s_.clearance, s_.clearance + 0.18f, -half_w_, half_w_, trim_); // bumper
        plate_x(nose() - 0.02f, -1, s_.clearance + 0.04f, s_.clearance + 0.15f, -0.26f, 0.26f,
                b_.material(plain_material(0.95f, 0.95f, 0.95f)));
    }

    void rear_details() {
        const float x = tail() + kDecal;
        for (float side : {-1.0f, 1.0f}) {
            const float z0 = side * (half_w_ - 0.05f), z1 = side * (half_w_ - (van() ? 0.22f : 0.38f));
            const float y1 = van() ? s_.clearance + 1.1f : s_.belt - 0.06f;
            const float y0 = van() ? s_.clearance + 0.35f : s_.belt - 0.24f;
            plate_x(x, 1, y0, y1, std::min(z0, z1), std::max(z0, z1), tail_);
        }
        plate_x(tail() + 0.01f, 1, s_.clearance, s_.clearance + 0.18f, -half_w_, half_w_, trim_);
        plate_x(tail() + 0.02f, 1, s_.clearance + 0.22f, s_.clearance + 0.33f, -0.26f, 0.26f, plate_);
        if (van()) {
            // Two small windows in the rear doors, and the seam between the doors.
            const float w = half_w_ - s_.inset;
            plate_x(x, 1, s_.height - 0.75f, s_.height - 0.2f, -w + 0.12f, -0.06f, glass_);
            plate_x(x, 1, s_.height - 0.75f, s_.height - 0.2f, 0.06f, w - 0.12f, glass_);
            plate_x(x, 1, s_.clearance + 0.35f, s_.height - 0.05f, -0.015f, 0.015f, trim_);
        }
    }

    // Side glass between the pillars on both cabin sides; vans have glass in the front doors only.
    void side_windows() {
        const float base = s_.belt - 0.06f, rise = s_.height - base;
        const float y0 = s_.belt + 0.05f, y1 = s_.height - 0.07f;
        auto front_at = [&](float y) { return screen_foot() + s_.screen_run * (y - base) / rise + 0.1f; };
        auto rear_at = [&](float y) { return rear_foot() - s_.rear_run * (y - base) / rise - 0.1f; };
        const float z = half_w_ - s_.inset + kDecal;
        std::array<Vec2, 4> uv{};
        for (float side : {-1.0f, 1.0f}) {
            auto pane = [&](float xb0, float xt0, float xb1, float xt1) {
                const std::array<Vec3, 4> p{Vec3{xt0, y1, side * z}, Vec3{xt1, y1, side * z},
                                            Vec3{xb1, y0, side * z}, Vec3{xb0, y0, side * z}};
                b_.polygon(p, uv, {0, 0, side}, glass_);
            };
            if (van()) {
                pane(front_at(y0), front_at(y1), front_at(y0) + 0.9f, front_at(y1) + 0.6f);
                continue;
            }
            const float mid =
                (front_at(y0) + rear_at(y0)) / 2 + (s_.shape == VehicleShape::Hatchback ? 0.1f : 0.0f);
            pane(front_at(y0), front_at(y1), mid - 0.06f, mid - 0.06f);
            pane(mid + 0.06f, mid + 0.06f, rear_at(y0), rear_at(y1));
        }
    }

    const VehicleSpec& s_;
    MeshBuilder b_;
    float half_w_;
    std::uint32_t glass_, tyre_, hub_, trim_, head_, tail_, plate_;
};

} // namespace

Mesh build_vehicle(const VehicleSpec& spec) {
    return VehicleBuilder(spec).build();
}

const std::vector<VehicleSpec>& vehicle_specs() {
    // file, mesh, shape, length, width, height, wheel radius, clearance, belt, nose top, bonnet,
    // windscreen run, rear run, boot, inset, front axle, rear axle, paint
    static const std::vector<VehicleSpec> kSpecs = {
        {"206.x",
         "Hatchback",
         VehicleShape::Hatchback,
         3.85f,
         1.70f,
         1.45f,
         0.30f,
         0.18f,
         0.88f,
         0.70f,
         0.85f,
         0.75f,
         0.35f,
         0.05f,
         0.12f,
         0.75f,
         0.60f,
         {0.74f, 0.09f, 0.08f}},
        {"CLASS_A.x",
         "SmallCar",
         VehicleShape::SmallCar,
         3.60f,
         1.72f,
         1.60f,
         0.29f,
         0.17f,
         0.92f,
         0.72f,
         0.60f,
         0.95f,
         0.18f,
         0.04f,
         0.10f,
         0.62f,
         0.55f,
         {0.90f, 0.72f, 0.12f}},
        {"CLIO_II.x",
         "Saloon",
         VehicleShape::Saloon,
         4.25f,
         1.74f,
         1.42f,
         0.30f,
         0.17f,
         0.86f,
         0.68f,
         1.00f,
         0.70f,
         0.55f,
         0.75f,
         0.13f,
         0.80f,
         0.75f,
         {0.12f, 0.30f, 0.72f}},
        {"DUCATO.x",
         "LargeVan",
         VehicleShape::LargeVan,
         5.40f,
         2.05f,
         2.55f,
         0.36f,
         0.24f,
         1.10f,
         0.90f,
         0.75f,
         0.50f,
         0.0f,
         0.0f,
         0.03f,
         0.85f,
         1.05f,
         {0.90f, 0.90f, 0.88f}},
        {"TRANSIT.x",
         "Van",
         VehicleShape::Van,
         5.00f,
         1.98f,
         2.30f,
         0.34f,
         0.22f,
         1.05f,
         0.85f,
         0.85f,
         0.55f,
         0.0f,
         0.0f,
         0.03f,
         0.85f,
         0.95f,
         {0.10f, 0.40f, 0.26f}},
        {"CHRYSLER.x",
         "LargeSaloon",
         VehicleShape::LargeSaloon,
         5.05f,
         1.88f,
         1.45f,
         0.33f,
         0.17f,
         0.88f,
         0.72f,
         1.35f,
         0.80f,
         0.62f,
         1.00f,
         0.14f,
         0.95f,
         1.05f,
         {0.64f, 0.66f, 0.70f}},
    };
    return kSpecs;
}

} // namespace kl::data
