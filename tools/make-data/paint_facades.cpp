// Building facades in seven styles, one per texture group: brick terraces, glass offices, stucco
// with shutters, concrete panel blocks, sandstone, pastel shop streets and brick lofts. Each
// texture tiles without seams in both directions, so a wall can repeat it bay by bay.
#include "canvas.h"
#include "dimensions.h"
#include "noise.h"
#include "painters.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kl::data {

namespace {

enum class Wall { Brick, Plaster, Panels, Stone, Curtain, Loft };
enum class Shopfront { Shop, Lobby, Arcade, Entrance, GrandDoor, RollerDoor };

struct Style {
    Wall wall;
    Rgb wall_colour;
    Rgb frame, glass;
    float win_w, win_h, sill; // per bay and storey, metres
    int panes_x, panes_y;
    bool arched = false, shutters = false, balcony = false, flower_box = false, lintel = false;
    Shopfront ground;
};

// Colours that vary from texture to texture inside a group.
struct Variant {
    Rgb wall;
    Rgb accent;
    float glass_tint;
    std::uint64_t seed;
};

Style style_of(int group) {
    switch (group) {
    case 1:
        return {Wall::Brick,
                rgb8(150, 70, 52),
                rgb8(236, 232, 222),
                rgb8(58, 74, 92),
                1.2f,
                1.7f,
                0.9f,
                2,
                2,
                false,
                false,
                false,
                false,
                true,
                Shopfront::Shop};
    case 2:
        return {Wall::Curtain,
                rgb8(70, 78, 88),
                rgb8(150, 156, 164),
                rgb8(70, 118, 150),
                3.3f,
                2.3f,
                0.55f,
                3,
                1,
                false,
                false,
                false,
                false,
                false,
                Shopfront::Lobby};
    case 3:
        return {Wall::Plaster,
                rgb8(222, 190, 128),
                rgb8(246, 240, 226),
                rgb8(52, 62, 70),
                1.1f,
                1.8f,
                0.5f,
                2,
                3,
                false,
                true,
                true,
                false,
                false,
                Shopfront::Arcade};
    case 4:
        return {Wall::Panels,
                rgb8(170, 170, 164),
                rgb8(120, 120, 118),
                rgb8(72, 86, 96),
                1.6f,
                1.3f,
                0.9f,
                2,
                1,
                false,
                false,
                true,
                false,
                false,
                Shopfront::Entrance};
    case 5:
        return {Wall::Stone,
                rgb8(196, 168, 120),
                rgb8(90, 70, 50),
                rgb8(50, 58, 66),
                1.1f,
                2.0f,
                0.6f,
                2,
                3,
                true,
                false,
                false,
                false,
                false,
                Shopfront::GrandDoor};
    case 6:
        return {Wall::Plaster,
                rgb8(232, 170, 176),
                rgb8(250, 250, 248),
                rgb8(64, 90, 110),
                1.6f,
                1.5f,
                0.8f,
                3,
                2,
                false,
                false,
                false,
                true,
                false,
                Shopfront::Shop};
    default:
        return {Wall::Loft,
                rgb8(112, 58, 44),
                rgb8(40, 44, 46),
                rgb8(84, 100, 106),
                2.6f,
                2.0f,
                0.6f,
                4,
                3,
                false,
                false,
                false,
                false,
                true,
                Shopfront::RollerDoor};
    }
}

Variant variant_of(int group, int index, const Style& s) {
    Rng r(seed_of(0xFACADE, static_cast<std::uint64_t>(group), static_cast<std::uint64_t>(index)));
    static const std::array<Rgb, 6> kAccents = {rgb8(170, 40, 40),  rgb8(40, 110, 70),  rgb8(40, 70, 150),
                                                rgb8(200, 140, 30), rgb8(120, 50, 120), rgb8(30, 120, 130)};
    static const std::array<Rgb, 5> kPastels = {rgb8(232, 170, 176), rgb8(168, 206, 220), rgb8(236, 214, 140),
                                                rgb8(172, 212, 170), rgb8(226, 196, 160)};
    Variant v;
    const float bright = r.range(0.88f, 1.1f);
    v.wall =
        s.wall_colour * bright + Rgb{r.range(-0.04f, 0.04f), r.range(-0.03f, 0.03f), r.range(-0.04f, 0.04f)};
    if (group == 6) v.wall = kPastels[static_cast<std::size_t>(index) % kPastels.size()];
    v.accent = kAccents[static_cast<std::size_t>(r.pick(0, static_cast<int>(kAccents.size()) - 1))];
    v.glass_tint = r.range(0.85f, 1.15f);
    v.seed = r.next();
    return v;
}

// Noise lattice coordinates that wrap at the canvas edge, so the tile repeats seamlessly.
float tile_noise(const Canvas& c, float x, float y, int cells, int octaves, std::uint64_t seed) {
    const int cy =
        std::max(1, static_cast<int>(std::lround(static_cast<float>(cells) * c.height() / c.width())));
    return fractal_noise(x / c.width() * static_cast<float>(cells), y / c.height() * static_cast<float>(cy),
                         cells, cy, octaves, seed);
}

void paint_wall(Canvas& c, const Style& s, const Variant& v) {
    const std::uint64_t seed = v.seed;
    switch (s.wall) {
    case Wall::Brick:
    case Wall::Loft: {
        const int courses = static_cast<int>(std::lround(c.height() / 0.15f)) / 2 * 2;
        const float course = c.height() / static_cast<float>(courses);
        const int bricks = std::max(1, static_cast<int>(std::lround(c.width() / 0.3f)));
        const float brick = c.width() / static_cast<float>(bricks);
        const Rgb mortar = s.wall == Wall::Brick ? rgb8(196, 188, 172) : rgb8(120, 112, 104);
        c.apply([&](float x, float y, Rgb) {
            const int row = std::min(courses - 1, static_cast<int>(y / course));
            const float shifted = x + (row % 2 ? brick / 2 : 0.0f);
            const int col = static_cast<int>(std::floor(shifted / brick)) % bricks;
            const float bx = shifted - std::floor(shifted / brick) * brick,
                        by = y - static_cast<float>(row) * course;
            if (bx < 0.02f || by < 0.02f) return mortar;
            Rng r(seed_of(seed, static_cast<std::uint64_t>(row), static_cast<std::uint64_t>(col)));
            return v.wall * r.range(0.82f, 1.12f) * (0.94f + 0.1f * tile_noise(c, x, y, 24, 2, seed));
        });
        break;
    }
    case Wall::Plaster:
        c.apply([&](float x, float y, Rgb) {
            return v.wall * (0.9f + 0.14f * tile_noise(c, x, y, 12, 4, seed));
        });
        break;
    case Wall::Panels:
        c.apply([&](float x, float y, Rgb) {
            const int px = static_cast<int>(x / kBayWidth), py = static_cast<int>(y / kStoreyHeight);
            Rng r(seed_of(seed, static_cast<std::uint64_t>(px), static_cast<std::uint64_t>(py)));
            return v.wall * (r.range(0.92f, 1.05f) * (0.9f + 0.12f * tile_noise(c, x, y, 20, 3, seed)));
        });
        for (float x = 0; x <= c.width() + 0.01f; x += kBayWidth)
            c.rect(x - 0.025f, 0, x + 0.025f, c.height(), gray(0.35f));
        for (float y = 0; y <= c.height() + 0.01f; y += kStoreyHeight)
            c.rect(0, y - 0.025f, c.width(), y + 0.025f, gray(0.35f));
        break;
    case Wall::Stone: {
        const int rows = std::max(2, static_cast<int>(std::lround(c.height() / 0.5f)) / 2 * 2);
        const float row_h = c.height() / static_cast<float>(rows);
        const int blocks = std::max(1, static_cast<int>(std::lround(c.width() / 0.9f)));
        const float block = c.width() / static_cast<float>(blocks);
        c.apply([&](float x, float y, Rgb) {
            const int row = std::min(rows - 1, static_cast<int>(y / row_h));
            const float shifted = x + (row % 2 ? block / 2 : 0.0f);
            const int col = static_cast<int>(std::floor(shifted / block)) % blocks;
            const float bx = shifted - std::floor(shifted / block) * block,
                        by = y - static_cast<float>(row) * row_h;
            if (bx < 0.015f || by < 0.015f) return v.wall * 0.7f;
            Rng r(seed_of(seed, static_cast<std::uint64_t>(row), static_cast<std::uint64_t>(col)));
            return v.wall * (r.range(0.9f, 1.06f) * (0.9f + 0.14f * tile_noise(c, x, y, 28, 3, seed)));
        });
        break;
    }
    case Wall::Curtain:
        c.apply(
            [&](float x, float y, Rgb) { return v.wall * (0.92f + 0.1f * tile_noise(c, x, y, 8, 2, seed)); });
        break;
    }
}

// Glass with a sky reflection: lighter at the top, a diagonal sheen, dark interior lower down.
void paint_glass(Canvas& c, float x0, float y0, float x1, float y1, const Style& s, const Variant& v,
                 Rng& r) {
    const Rgb glass = s.glass * v.glass_tint;
    const bool curtains = r.uniform() < 0.35f;
    const Rgb curtain = lerp(rgb8(230, 222, 200), v.accent, 0.25f);
    c.rect(x0, y0, x1, y1, glass);
    c.apply_in(x0, y0, x1, y1, [&](float x, float y, Rgb) {
        const float t = (y - y0) / (y1 - y0);
        Rgb q = lerp(glass * 1.5f, glass * 0.7f, t);
        const float sheen = std::fmod((x - x0) * 0.8f + (y - y0) + 10.0f, 1.6f);
        if (sheen < 0.25f) q = lerp(q, rgb8(210, 225, 235), 0.25f);
        if (curtains && (x - x0 < 0.22f * (x1 - x0) || x1 - x < 0.22f * (x1 - x0)))
            q = lerp(q, curtain, 0.7f);
        return q;
    });
}

void paint_window(Canvas& c, float cx, float bottom, const Style& s, const Variant& v, Rng& r) {
    const float x0 = cx - s.win_w / 2, x1 = cx + s.win_w / 2, y1 = bottom, y0 = bottom - s.win_h;
    constexpr float kFrame = 0.07f;
    if (s.shutters) {
        const Rgb shutter = lerp(rgb8(60, 110, 70), v.accent, 0.3f);
        c.rect(x0 - s.win_w / 2 - 0.05f, y0, x0 - 0.05f, y1, shutter);
        c.rect(x1 + 0.05f, y0, x1 + s.win_w / 2 + 0.05f, y1, shutter);
        for (float y = y0 + 0.1f; y < y1; y += 0.12f) {
            c.rect(x0 - s.win_w / 2 - 0.05f, y, x0 - 0.05f, y + 0.025f, shutter * 0.75f);
            c.rect(x1 + 0.05f, y, x1 + s.win_w / 2 + 0.05f, y + 0.025f, shutter * 0.75f);
        }
    }
    if (s.lintel)
        c.rect(x0 - 0.12f, y0 - 0.22f, x1 + 0.12f, y0 - 0.04f,
               s.wall == Wall::Loft ? gray(0.3f) : gray(0.8f));
    if (s.arched) {
        c.arch(x0 - kFrame, y0 - s.win_w / 2 - kFrame, x1 + kFrame, y1 + kFrame, s.frame);
        c.arch(x0, y0 - s.win_w / 2, x1, y1, s.glass * v.glass_tint);
        c.rect(cx - 0.12f, y0 - s.win_w / 2 - kFrame - 0.18f, cx + 0.12f, y0 - s.win_w / 2 - kFrame + 0.02f,
               v.wall * 1.15f); // keystone
        paint_glass(c, x0, y0, x1, y1, s, v, r);
    } else {
        c.rect(x0 - kFrame, y0 - kFrame, x1 + kFrame, y1 + kFrame, s.frame);
        paint_glass(c, x0, y0, x1, y1, s, v, r);
    }
    for (int i = 1; i < s.panes_x; ++i) {
        const float x = x0 + (x1 - x0) * static_cast<float>(i) / static_cast<float>(s.panes_x);
        c.rect(x - 0.03f, y0, x + 0.03f, y1, s.frame);
    }
    for (int i = 1; i < s.panes_y; ++i) {
        const float y = y0 + (y1 - y0) * static_cast<float>(i) / static_cast<float>(s.panes_y);
        c.rect(x0, y - 0.03f, x1, y + 0.03f, s.frame);
    }
    c.rect(x0 - 0.12f, y1 + kFrame, x1 + 0.12f, y1 + kFrame + 0.08f, gray(0.78f)); // sill
    if (s.flower_box) {
        c.rect(x0, y1 + 0.02f, x1, y1 + 0.28f, rgb8(110, 70, 40));
        for (float x = x0 + 0.06f; x < x1 - 0.05f; x += 0.14f) {
            const Rgb bloom = r.uniform() < 0.5f ? rgb8(210, 40, 50) : rgb8(240, 200, 60);
            c.rect(x, y1 - 0.08f, x + 0.1f, y1 + 0.04f, rgb8(50, 110, 40));
            c.rect(x + 0.02f, y1 - 0.06f, x + 0.08f, y1, bloom);
        }
    }
}

void paint_balcony(Canvas& c, float x0, float x1, float floor) {
    const Rgb rail = gray(0.18f);
    c.rect(x0, floor - 0.02f, x1, floor + 0.16f, gray(0.62f)); // slab edge
    c.rect(x0, floor - 1.0f, x1, floor - 0.94f, rail);
    for (float x = x0; x <= x1 + 0.001f; x += 0.12f)
        c.rect(x, floor - 1.0f, x + 0.025f, floor, rail);
}

void paint_upper(Canvas& c, const Style& s, const Variant& v) {
    Rng r(v.seed ^ 0x1);
    paint_wall(c, s, v);
    for (int storey = 0; storey < 2; ++storey) {
        const float floor = static_cast<float>(storey + 1) * kStoreyHeight;
        if (s.wall == Wall::Curtain) {
            // Continuous glass band with a dark spandrel over the floor slab.
            c.rect(0, floor - 0.5f, c.width(), floor, gray(0.22f));
        }
        for (int bay = 0; bay < 2; ++bay) {
            const float cx = (static_cast<float>(bay) + 0.5f) * kBayWidth;
            if (s.balcony && storey == 1 && (s.wall != Wall::Panels || bay == 0)) {
                if (s.wall == Wall::Panels)
                    c.rect(cx - 1.5f, floor - 2.6f, cx + 1.5f, floor, gray(0.28f)); // loggia
                paint_window(c, cx, floor - s.sill, s, v, r);
                paint_balcony(c, cx - (s.wall == Wall::Panels ? 1.5f : 1.0f),
                              cx + (s.wall == Wall::Panels ? 1.5f : 1.0f), floor);
            } else {
                paint_window(c, cx, floor - s.sill, s, v, r);
            }
        }
        if (s.wall == Wall::Stone || s.wall == Wall::Plaster)
            c.rect(0, floor - 0.12f, c.width(), floor, v.wall * 0.82f); // string course
    }
    if (s.wall == Wall::Curtain) {
        for (float x = 0; x <= c.width() + 0.01f; x += kBayWidth / 2)
            c.rect(x - 0.04f, 0, x + 0.04f, c.height(), s.frame);
    }
}

void paint_door(Canvas& c, float cx, float width, float height, float floor, Rgb colour, bool glazed) {
    c.rect(cx - width / 2 - 0.08f, floor - height - 0.08f, cx + width / 2 + 0.08f, floor, gray(0.3f));
    c.rect(cx - width / 2, floor - height, cx + width / 2, floor, colour);
    if (glazed)
        c.rect(cx - width / 2 + 0.12f, floor - height + 0.15f, cx + width / 2 - 0.12f, floor - 1.1f,
               rgb8(40, 52, 62));
    c.rect(cx + width / 2 - 0.18f, floor - 1.1f, cx + width / 2 - 0.1f, floor - 0.95f, rgb8(200, 180, 90));
}

void paint_awning(Canvas& c, float x0, float x1, float y0, float y1, Rgb colour) {
    for (float x = x0; x < x1; x += 0.5f) {
        c.rect(x, y0, std::min(x + 0.25f, x1), y1, colour);
        c.rect(x + 0.25f, y0, std::min(x + 0.5f, x1), y1, rgb8(240, 236, 226));
    }
    c.rect(x0, y1, x1, y1 + 0.06f, colour * 0.6f);
}

void paint_ground_floor(Canvas& c, const Style& s, const Variant& v) {
    Rng r(v.seed ^ 0x2);
    paint_wall(c, s, v);
    const float floor = c.height(), w = c.width();
    switch (s.ground) {
    case Shopfront::Shop: {
        c.rect(0, 0.35f, w, 0.95f, v.accent * 0.8f); // sign band
        for (float x = 0.6f; x < w - 0.6f; x += 0.55f)
            c.rect(x, 0.5f, x + 0.3f, 0.8f, gray(0.95f), 0.8f);
        paint_glass(c, 0.4f, 1.5f, 4.4f, floor - 0.45f, s, v, r);
        for (float x : {0.4f, 1.73f, 3.06f, 4.4f})
            c.rect(x - 0.05f, 1.5f, x + 0.05f, floor - 0.45f, s.frame * 0.5f);
        c.rect(0.3f, floor - 0.45f, 4.5f, floor, v.wall * 0.55f);
        paint_awning(c, 0.2f, 4.6f, 1.0f, 1.45f, v.accent);
        paint_door(c, 5.7f, 1.1f, 2.4f, floor, v.accent * 0.5f, true);
        break;
    }
    case Shopfront::Lobby:
        c.rect(0, 0, w, 0.5f, gray(0.25f));
        paint_glass(c, 0.1f, 0.5f, w - 0.1f, floor, s, v, r);
        for (float x = 0.1f; x < w; x += 1.15f)
            c.rect(x - 0.05f, 0.5f, x + 0.05f, floor, s.frame);
        c.rect(2.3f, 1.5f, 4.7f, floor, rgb8(28, 34, 40), 0.7f);
        c.rect(3.47f, 1.5f, 3.53f, floor, s.frame);
        break;
    case Shopfront::Arcade:
        for (int bay = 0; bay < 2; ++bay) {
            const float cx = (static_cast<float>(bay) + 0.5f) * kBayWidth;
            c.arch(cx - 1.35f, 0.6f, cx + 1.35f, floor, v.wall * 0.75f);
            c.arch(cx - 1.2f, 0.75f, cx + 1.2f, floor, rgb8(42, 36, 32));
            paint_glass(c, cx - 1.0f, 2.0f, cx + 1.0f, floor - 0.1f, s, v, r);
        }
        break;
    case Shopfront::Entrance:
        c.rect(0, floor - 0.5f, w, floor, gray(0.45f));
        paint_door(c, 5.25f, 1.6f, 2.5f, floor, rgb8(90, 70, 50), true);
        c.rect(4.2f, 0.9f, 6.3f, 1.2f, gray(0.3f)); // canopy
        {
            Style small = s;
            small.win_w = 1.4f, small.win_h = 1.0f, small.balcony = false;
            paint_window(c, 1.75f, 2.6f, small, v, r);
        }
        break;
    case Shopfront::GrandDoor:
        c.apply([&](float x, float y, Rgb p) {
            return std::fmod(y + 10.0f, 0.5f) < 0.06f || std::fmod(x + 10.0f, 1.75f) < 0.04f ? p * 0.7f : p;
        });
        c.arch(0.55f, 0.5f, 2.95f, floor, v.wall * 0.8f);
        c.arch(0.75f, 0.7f, 2.75f, floor, rgb8(70, 42, 28));
        c.rect(1.73f, 1.8f, 1.77f, floor, rgb8(40, 24, 16));
        {
            Style tall = s;
            tall.win_h = 1.8f;
            paint_window(c, 5.25f, floor - 0.7f, tall, v, r);
        }
        break;
    case Shopfront::RollerDoor:
        c.rect(0.4f, 0.7f, 4.4f, floor, gray(0.3f));
        c.rect(0.5f, 0.8f, 4.3f, floor, rgb8(150, 152, 150) * v.glass_tint);
        for (float y = 0.9f; y < floor; y += 0.16f)
            c.rect(0.5f, y, 4.3f, y + 0.03f, gray(0.42f));
        c.rect(0.5f, 0.8f, 4.3f, 1.0f, v.accent);
        paint_door(c, 5.8f, 1.0f, 2.3f, floor, rgb8(60, 66, 70), false);
        break;
    }
}

void paint_side(Canvas& c, const Style& s, const Variant& v) {
    Rng r(v.seed ^ 0x3);
    paint_wall(c, s, v);
    if (s.wall == Wall::Curtain) {
        // A solid service core on the short sides: panels with one narrow window strip.
        Variant core = v;
        core.wall = gray(0.55f);
        Style panels = s;
        panels.wall = Wall::Panels;
        paint_wall(c, panels, core);
        paint_glass(c, 2.0f, 0.0f, 3.0f, c.height(), s, v, r);
    } else {
        Style small = s;
        small.win_w = std::min(s.win_w, 0.9f), small.win_h = std::min(s.win_h, 1.2f);
        small.panes_x = 1, small.panes_y = 2, small.shutters = false, small.flower_box = false;
        for (int storey = 0; storey < 2; ++storey)
            paint_window(c, c.width() / 2, static_cast<float>(storey + 1) * kStoreyHeight - 1.0f, small, v,
                         r);
    }
    // End walls face away from the street light: paint them a little darker than the fronts.
    c.apply([](float, float, Rgb p) { return p * 0.82f; });
}

} // namespace

FacadeRole facade_role(int index) {
    switch (index % 3) {
    case 1:
        return FacadeRole::Upper;
    case 2:
        return FacadeRole::Ground;
    default:
        return FacadeRole::Side;
    }
}

Image paint_facade(int group, int index) {
    const Style s = style_of(group);
    const Variant v = variant_of(group, index, s);
    Image img(256, 256);
    switch (facade_role(index)) {
    case FacadeRole::Upper: {
        Canvas c(img, kUpperTileWidth, kUpperTileHeight);
        paint_upper(c, s, v);
        break;
    }
    case FacadeRole::Ground: {
        Canvas c(img, kGroundTileWidth, kGroundTileHeight);
        paint_ground_floor(c, s, v);
        break;
    }
    case FacadeRole::Side: {
        Canvas c(img, kSideTileWidth, kSideTileHeight);
        paint_side(c, s, v);
        break;
    }
    }
    return img;
}

} // namespace kl::data
