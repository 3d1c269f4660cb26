#include "resources/continuing_quads.h"

#include "platform/gfx/types.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace kl {

namespace {

using Point = std::array<float, 3>;
using Uv = std::array<float, 2>;

struct Vertices {
    std::vector<std::uint8_t>& bytes;
    std::uint32_t stride;
    int uv_at; // byte offset of the first texture coordinates, or -1

    std::size_t count() const { return bytes.size() / stride; }
    const std::uint8_t* at(std::uint32_t v) const { return bytes.data() + std::size_t(v) * stride; }
    Point position(std::uint32_t v) const {
        Point p;
        std::memcpy(p.data(), at(v), sizeof p);
        return p;
    }
    Uv uv(std::uint32_t v) const {
        Uv t{0, 0};
        if (uv_at >= 0) std::memcpy(t.data(), at(v) + uv_at, sizeof t);
        return t;
    }
    // Whether two corners carry the same bytes besides their positions and first texture coordinates.
    bool alike(std::uint32_t a, std::uint32_t b) const {
        for (std::uint32_t k = sizeof(Point); k < stride; ++k) {
            if (uv_at >= 0 && k >= std::uint32_t(uv_at) && k < std::uint32_t(uv_at) + sizeof(Uv)) continue;
            if (at(a)[k] != at(b)[k]) return false;
        }
        return true;
    }
    // A copy of corner like, placed at p with texture coordinates t.
    std::uint32_t add(std::uint32_t like, const Point& p, const Uv& t) {
        const std::size_t n = count();
        // Copied out first: inserting a range of the vector into itself is not allowed.
        const std::vector<std::uint8_t> corner(at(like), at(like) + stride);
        bytes.insert(bytes.end(), corner.begin(), corner.end());
        std::memcpy(bytes.data() + n * stride, p.data(), sizeof p);
        if (uv_at >= 0) std::memcpy(bytes.data() + n * stride + std::size_t(uv_at), t.data(), sizeof t);
        return static_cast<std::uint32_t>(n);
    }
};

Point minus(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double length(const Point& a) { return std::hypot(double(a[0]), double(a[1]), double(a[2])); }
double length(const std::array<double, 3>& a) { return std::hypot(a[0], a[1], a[2]); }
std::array<double, 3> cross(const Point& u, const Point& w) {
    return {double(u[1]) * w[2] - double(u[2]) * w[1], double(u[2]) * w[0] - double(u[0]) * w[2],
            double(u[0]) * w[1] - double(u[1]) * w[0]};
}

bool close(double a, double b, double scale) { return std::fabs(a - b) <= 1e-5 * std::max(1.0, scale); }

// Whether b - a carries on c - b in a straight line, in the same direction.
bool straight_on(const Point& a, const Point& b, const Point& c) {
    const Point u = minus(b, a), w = minus(c, b);
    const double dot = double(u[0]) * w[0] + double(u[1]) * w[1] + double(u[2]) * w[2];
    return dot > 0 && length(cross(u, w)) <= 1e-6 * length(u) * length(w);
}

using Quad = std::array<std::uint32_t, 4>;

// Whether the quad lies level, its normal within about a degree of the vertical (y).
bool level(const Vertices& vs, const Quad& q) {
    const Point u = minus(vs.position(q[1]), vs.position(q[0])), w = minus(vs.position(q[3]), vs.position(q[0]));
    const std::array<double, 3> n = cross(u, w);
    return std::fabs(n[1]) >= 0.9998 * length(n);
}

// Corners a, b, c, d of the triangles (a, b, c) and (a, c, d) when they make a parallelogram with
// texture coordinates that vary evenly over it and nothing else that differs between its corners.
std::optional<Quad> quad_of(const Vertices& vs, const std::uint16_t* f, const std::uint16_t* g) {
    if (g[0] != f[0] || g[1] != f[2]) return std::nullopt;
    const Quad q{f[0], f[1], f[2], g[2]};
    if (q[3] == q[0] || q[3] == q[1] || q[3] == q[2] || q[1] == q[0] || q[1] == q[2] || q[0] == q[2])
        return std::nullopt;
    for (std::uint32_t v : q)
        for (float x : vs.position(v))
            if (!std::isfinite(x)) return std::nullopt;
    const Point a = vs.position(q[0]), b = vs.position(q[1]), c = vs.position(q[2]), d = vs.position(q[3]);
    const double size = length(minus(c, a)) + length(minus(d, b));
    for (int k = 0; k < 3; ++k)
        if (!close(double(a[k]) + c[k], double(b[k]) + d[k], size)) return std::nullopt;
    const Uv ta = vs.uv(q[0]), tb = vs.uv(q[1]), tc = vs.uv(q[2]), td = vs.uv(q[3]);
    for (int k = 0; k < 2; ++k)
        if (!close(double(ta[k]) + tc[k], double(tb[k]) + td[k], std::fabs(ta[k]) + std::fabs(tc[k])))
            return std::nullopt;
    for (int k = 1; k < 4; ++k)
        if (!vs.alike(q[0], q[std::size_t(k)])) return std::nullopt;
    return q;
}

// q with r joined on past its edge q[k] -> q[k + 1], which r has as r[m] -> r[m + 1]; nullopt when
// the two are not one surface with one texture mapping.
std::optional<Quad> joined(Vertices& vs, const Quad& q, int k, const Quad& r, int m, float longest_level) {
    const auto Q = [&](int i) { return q[std::size_t((k + i) % 4)]; };
    const auto R = [&](int i) { return r[std::size_t((m + i) % 4)]; };
    // R(2) lies beyond Q(0) on the line from Q(3), R(3) beyond Q(1) on the line from Q(2).
    if (!straight_on(vs.position(Q(3)), vs.position(Q(0)), vs.position(R(2))) ||
        !straight_on(vs.position(Q(2)), vs.position(Q(1)), vs.position(R(3))) || !vs.alike(Q(0), R(0)))
        return std::nullopt;
    const double side = length(minus(vs.position(Q(0)), vs.position(Q(3))));
    const double beyond = length(minus(vs.position(R(2)), vs.position(Q(0))));
    if (!(side > 0) || !close(beyond, length(minus(vs.position(R(3)), vs.position(Q(1)))), beyond) ||
        (level(vs, q) && side + beyond > double(longest_level) * (1 + 1e-6)))
        return std::nullopt;
    // q's mapping carried on to r's far corners, and the whole number r's own differs from it by.
    const double t = beyond / side;
    const auto carried = [&](int near, int from) {
        const Uv a = vs.uv(Q(near)), b = vs.uv(Q(from));
        return Uv{float(a[0] + t * (double(a[0]) - b[0])), float(a[1] + t * (double(a[1]) - b[1]))};
    };
    const Uv far2 = carried(0, 3), far3 = carried(1, 2);
    const Uv shift{vs.uv(R(0))[0] - vs.uv(Q(1))[0], vs.uv(R(0))[1] - vs.uv(Q(1))[1]};
    const std::pair<Uv, Uv> pairs[] = {
        {vs.uv(R(1)), vs.uv(Q(0))}, {vs.uv(R(2)), far2}, {vs.uv(R(3)), far3}, {vs.uv(R(0)), vs.uv(Q(1))}};
    for (int c = 0; c < 2; ++c) {
        if (std::fabs(shift[std::size_t(c)] - std::round(shift[std::size_t(c)])) > 1e-4) return std::nullopt;
        for (const auto& [theirs, ours] : pairs)
            if (!close(double(theirs[std::size_t(c)]) - ours[std::size_t(c)], shift[std::size_t(c)],
                       std::fabs(theirs[std::size_t(c)]) + std::fabs(ours[std::size_t(c)])))
                return std::nullopt;
    }
    const std::uint32_t c2 = vs.add(Q(0), vs.position(R(2)), far2);
    const std::uint32_t c3 = vs.add(Q(1), vs.position(R(3)), far3);
    return Quad{Q(2), Q(3), c2, c3};
}

using EdgeKey = std::array<float, 6>;

EdgeKey edge_key(const Vertices& vs, std::uint32_t from, std::uint32_t to) {
    const Point a = vs.position(from), b = vs.position(to);
    return {a[0], a[1], a[2], b[0], b[1], b[2]};
}

// One subset's triangles, in order: lone triangles and quads, the quads merged where they continue
// one another. Returns how many quads merged away.
std::size_t merge_run(Vertices& vs, const std::uint16_t* faces, std::size_t count, float longest_level,
                      std::vector<std::array<std::uint32_t, 3>>& out) {
    struct Item {
        bool is_quad = false, alive = true;
        Quad q{};
    };
    std::vector<Item> items;
    for (std::size_t f = 0; f < count; ++f) {
        const std::uint16_t* a = faces + f * 3;
        if (f + 1 < count)
            if (const auto q = quad_of(vs, a, a + 3)) {
                items.push_back({true, true, *q});
                ++f;
                continue;
            }
        items.push_back({false, true, {a[0], a[1], a[2], 0}});
    }

    std::size_t merged = 0;
    for (bool again = true; again;) {
        again = false;
        std::map<EdgeKey, std::pair<std::size_t, int>> edges;
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].is_quad)
                for (int k = 0; k < 4; ++k)
                    edges.emplace(edge_key(vs, items[i].q[std::size_t(k)], items[i].q[std::size_t((k + 1) % 4)]),
                                  std::pair{i, k});
        std::vector<char> touched(items.size(), 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!items[i].is_quad || !items[i].alive || touched[i]) continue;
            for (int k = 0; k < 4; ++k) {
                const Quad& q = items[i].q;
                const auto it = edges.find(edge_key(vs, q[std::size_t((k + 1) % 4)], q[std::size_t(k)]));
                if (it == edges.end()) continue;
                const auto [j, m] = it->second;
                if (j == i || !items[j].alive || touched[j]) continue;
                if (const auto both = joined(vs, q, k, items[j].q, m, longest_level)) {
                    items[i].q = *both;
                    items[j].alive = false;
                    touched[i] = touched[j] = 1;
                    ++merged;
                    again = true;
                    break;
                }
            }
        }
    }
    for (const Item& item : items) {
        if (!item.alive) continue;
        if (!item.is_quad) {
            out.push_back({item.q[0], item.q[1], item.q[2]});
            continue;
        }
        out.push_back({item.q[0], item.q[1], item.q[2]});
        out.push_back({item.q[0], item.q[2], item.q[3]});
    }
    return merged;
}

} // namespace

std::size_t MergeContinuingQuads(MeshCopy& copy, float longest_level) {
    const gfx::VertexLayout layout = gfx::LayoutOf(copy.VertexFormat);
    if (copy.VertexSize < sizeof(Point) || layout.position != 0 || layout.position_size != 3 ||
        (layout.texcoord >= 0 && std::uint32_t(layout.texcoord) + sizeof(Uv) > copy.VertexSize))
        return 0;
    std::vector<std::uint8_t> bytes = copy.Vertices;
    Vertices vs{bytes, copy.VertexSize, layout.texcoord};
    const std::size_t faces = copy.Indices.size() / 3;

    std::vector<std::uint16_t> indices;
    std::vector<d3dx::AttributeRange> runs;
    std::size_t merged = 0;
    for (const d3dx::AttributeRange& r : copy.Runs) {
        if (std::size_t{r.FaceStart} + r.FaceCount > faces) return 0;
        for (std::size_t k = std::size_t{r.FaceStart} * 3; k < (std::size_t{r.FaceStart} + r.FaceCount) * 3; ++k)
            if (copy.Indices[k] >= vs.count()) return 0;
        std::vector<std::array<std::uint32_t, 3>> out;
        merged += merge_run(vs, copy.Indices.data() + std::size_t{r.FaceStart} * 3, r.FaceCount, longest_level, out);
        if (vs.count() > 0xFFFF) return 0;
        d3dx::AttributeRange run = r;
        run.FaceStart = static_cast<d3dx::Dword>(indices.size() / 3);
        run.FaceCount = static_cast<d3dx::Dword>(out.size());
        std::uint32_t low = UINT32_MAX, high = 0;
        for (const auto& t : out)
            for (std::uint32_t v : t) {
                indices.push_back(static_cast<std::uint16_t>(v));
                low = std::min(low, v);
                high = std::max(high, v);
            }
        run.VertexStart = out.empty() ? 0 : low;
        run.VertexCount = out.empty() ? 0 : high - low + 1;
        runs.push_back(run);
    }
    if (merged == 0) return 0;
    copy.Vertices = std::move(bytes);
    copy.Indices = std::move(indices);
    copy.Runs = std::move(runs);
    return merged;
}

} // namespace kl
