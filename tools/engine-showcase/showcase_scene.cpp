// The showcase scene: what is drawn in which pass, and the frame-by-frame animation.
#include "showcase_scene.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "engine/mdl_main.h"

#include <cmath>
#include <filesystem>

namespace kl::showcase {

namespace {

constexpr std::int32_t kShadowIntensity = 110;

// A cube from -s to s whose faces are clockwise seen from outside, so the usual culling keeps them.
std::vector<PolyVertex> cube(float s) {
    std::vector<PolyVertex> out;
    const Vec3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    for (const Vec3& n : normals) {
        const Vec3 u = n.y != 0 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
        // (b - a) x (c - a) must point outwards: with v = u x n the corners below do that.
        const Vec3 v = Vec3Cross(u, n);
        auto corner = [&](float a, float b) {
            const Vec3 p = (n + u * a + v * b) * s;
            return PolyVertex{p.x, p.y, p.z, n.x, n.y, n.z, (a + 1) / 2, (1 - b) / 2};
        };
        const PolyVertex p00 = corner(-1, -1), p01 = corner(-1, 1), p11 = corner(1, 1), p10 = corner(1, -1);
        out.insert(out.end(), {p00, p01, p11, p00, p11, p10});
    }
    return out;
}

// A square at y = 0, clockwise seen from above, with the texture repeated `tiles` times.
std::vector<PolyVertex> floor_square(float half, float tiles) {
    const PolyVertex a{-half, 0, -half, 0, 1, 0, 0, tiles}, b{-half, 0, half, 0, 1, 0, 0, 0},
        c{half, 0, half, 0, 1, 0, tiles, 0}, d{half, 0, -half, 0, 1, 0, tiles, tiles};
    return {a, b, c, a, c, d};
}

std::unique_ptr<cls3dPolygons> make_polygons(const std::vector<PolyVertex>& v, bool dynamic, bool indexed) {
    auto p = std::make_unique<cls3dPolygons>();
    p->Initialize(dynamic);
    p->SetVertexData(v.data(), 0, static_cast<std::int32_t>(v.size()));
    if (indexed) {
        std::vector<std::uint16_t> idx(v.size());
        for (std::size_t i = 0; i < idx.size(); ++i)
            idx[i] = static_cast<std::uint16_t>(i);
        p->SetIndexData(idx.data(), 0, static_cast<std::int32_t>(idx.size()));
        p->SetIndexed(true);
    }
    return p;
}

std::shared_ptr<cls2dTexture> texture_from(const std::string& data_dir, const char* name, std::int32_t mips) {
    if (data_dir.empty()) return nullptr;
    auto t = std::make_shared<cls2dTexture>();
    if (!t->LoadFromFile((std::filesystem::path(data_dir) / name).string(), 0, mips, false)) return nullptr;
    return t;
}

// A checkerboard painted in when the data directory has no ground texture.
std::shared_ptr<cls2dTexture> painted_checker() {
    auto t = std::make_shared<cls2dTexture>();
    if (!t->LoadForEdit(32, 32) || !t->EditStart()) return t;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int shade = ((x / 8 + y / 8) % 2) != 0 ? 150 : 100;
            t->Edit({static_cast<float>(x), static_cast<float>(y)}, 255, shade, shade + 20, shade - 30);
        }
    t->EditEnd();
    return t;
}

} // namespace

Scene::Scene(cls3dEngine& engine, const std::string& data_dir, int width, int height, float fog)
    : engine_(engine), width_(width), fog_(fog) {
    (void)height;
    engine_.SetCamera({0, 5, -10}, {0, 1.8f, 3}, 0);
    gfx::Light sun;
    sun.Type = gfx::LightDirectional;
    sun.Diffuse = {0.85f, 0.82f, 0.75f, 1};
    sun.Direction = {0.35f, -1, 0.25f};
    engine_.SetLight(0, sun);
    engine_.SetGlobalLight(mdlMain::ColorRGB(70, 70, 80));
    // Shadows fall along the light, towards the ground.
    light_towards_ = {-0.35f, 1, -0.25f};

    floor_texture_ = texture_from(data_dir, "0001.bmp", 0);
    if (!floor_texture_) floor_texture_ = painted_checker();
    box_texture_ = texture_from(data_dir, "3c-01-01.jpg", 0);

    painted_ = std::make_shared<cls2dTexture>();
    if (painted_->LoadForEdit(64, 64) && painted_->EditStart()) {
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                painted_->Edit({static_cast<float>(x), static_cast<float>(y)}, 255, 20 + x, 20 + y, 90);
        painted_->EditEnd();
    }

    floor_ = make_polygons(floor_square(20, 10), false, false);
    floor_->SetTexture(floor_texture_);

    const float sizes[3] = {0.9f, 1.1f, 0.8f};
    const Material colours[3] = {mdlMain::MakeMaterial(230, 80, 60, 0, 0, 0, 0, 0),
                                 mdlMain::MakeMaterial(255, 255, 255, 0, 0, 0, 0, 0),
                                 mdlMain::MakeMaterial(90, 170, 240, 0, 0, 0, 0, 0)};
    for (int i = 0; i < 3; ++i) {
        // One of each storage kind: static, dynamic, static and indexed.
        boxes_.push_back(make_polygons(cube(sizes[i]), i == 1, i == 2));
        boxes_.back()->SetMaterial(colours[i]);
    }
    boxes_[0]->SetTexture(box_texture_);
    boxes_[1]->SetTexture(painted_);

    // A standing mirror behind the boxes, its corners clockwise as the camera sees them.
    mirror_.Corner0 = {-6, 0, 9};
    mirror_.Corner1 = {0, 5.5f, 9};
    mirror_.Corner2 = {6, 0, 9};
    mirror_.Plane = PlaneFromPoints(mirror_.Corner0, mirror_.Corner1, mirror_.Corner2);
    mirror_.Normal = {mirror_.Plane.a, mirror_.Plane.b, mirror_.Plane.c};
    const std::vector<PolyVertex> pane = {
        {-6, 0, 9, 0, 0, -1, 0, 1}, {0, 5.5f, 9, 0, 0, -1, 0.5f, 0}, {6, 0, 9, 0, 0, -1, 1, 1}};
    glass_ = make_polygons(pane, true, false);
    glass_->SetMaterial(mdlMain::MakeMaterial(170, 200, 255, 10, 10, 20, 0, 190));
    glass_->SetVisibility(1);

    ground_.Corner0 = {-20, 0, -20};
    ground_.Corner1 = {-20, 0, 20};
    ground_.Corner2 = {20, 0, 20};
    ground_.Normal = {0, 1, 0};
    ground_.Plane = {0, 1, 0, 0};

    picture_.SetPosition(width_ - 180, 20, width_ - 40, 160);
    picture_.SetBackcolor(255, 255, 255);
}

// A Lissajous curve drawn a little further every frame, one pixel at a time.
void Scene::paint_step(std::int64_t frame) {
    if (!painted_->EditStart()) return;
    const int hue = static_cast<int>(frame % 256);
    for (int i = 0; i < 24; ++i) {
        const double t = (static_cast<double>(frame) * 24 + i) * 0.01;
        const Vec2 p{static_cast<float>(std::floor(32 + 29 * std::sin(3 * t))),
                     static_cast<float>(std::floor(32 + 29 * std::sin(4 * t + 0.5)))};
        painted_->Edit(p, 255, 255 - hue / 2, 128 + hue / 2, hue);
    }
    painted_->EditEnd();
}

void Scene::place_boxes(std::int64_t frame) {
    const Vec3 places[3] = {{-2.6f, 1.5f, 1.5f}, {0.2f, 2.2f, 3.4f}, {2.6f, 1.3f, 1.0f}};
    const auto f = static_cast<float>(frame);
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        cls3dPolygons& box = *boxes_[i];
        const auto k = static_cast<float>(i + 1);
        box.Position({places[i].x, places[i].y + 0.3f * std::sin(f * 0.05f + k), places[i].z});
        box.SetRotation({0.4f * std::sin(f * 0.02f * k), f * 0.015f * k + k, 0}, {0, 1, 2}, box.Position());
    }
}

void Scene::draw_objects() {
    for (auto& box : boxes_)
        box->Render(0, 12);
}

void Scene::Draw(std::int64_t frame) {
    engine_.SetFog(fog_);
    paint_step(frame);
    place_boxes(frame);
    picture_.Rotate(0.02f);

    // What the mirror shows, cut to its triangle; then the pane over it, which also hides whatever
    // lies behind the mirror.
    engine_.SetReflectionState(&mirror_, true);
    floor_->Render(0, 2);
    draw_objects();
    engine_.SetReflectionState(nullptr, false);
    glass_->Render(0, 1);

    floor_->Render(0, 2);
    if (engine_.SetShadowState(&ground_, &light_towards_, kShadowIntensity, gfx::LightDirectional, false))
        draw_objects();
    engine_.SetShadowState(nullptr, nullptr, 0, 0, false);
    draw_objects();

    picture_.Render(painted_.get());
}

} // namespace kl::showcase
