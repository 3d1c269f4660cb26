#include "resources/model_forms.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <tuple>

namespace kl {

bool MakeModelForm(const MeshCopy& copy, std::int32_t subsets, ModelForm& form) {
    form = ModelForm{};
    if (subsets < 0 || copy.VertexSize == 0) return false;
    const std::size_t stride = copy.VertexSize;
    const std::size_t vertex_count = copy.Vertices.size() / stride;
    std::vector<std::uint32_t> local(vertex_count);
    form.subsets.resize(std::size_t(subsets));
    for (std::int32_t j = 0; j < subsets; ++j) {
        ModelForm::Subset& s = form.subsets[std::size_t(j)];
        std::fill(local.begin(), local.end(), std::numeric_limits<std::uint32_t>::max());
        for (const d3dx::AttributeRange& r : copy.Runs) {
            if (r.AttribId != static_cast<d3dx::Dword>(j)) continue;
            const std::size_t end = (std::size_t{r.FaceStart} + r.FaceCount) * 3;
            if (end > copy.Indices.size()) return false;
            for (std::size_t k = std::size_t{r.FaceStart} * 3; k < end; ++k) {
                const std::uint16_t v = copy.Indices[k];
                if (v >= vertex_count) return false;
                if (local[v] == std::numeric_limits<std::uint32_t>::max()) {
                    local[v] = s.vertex_count++;
                    s.vertices.insert(s.vertices.end(), copy.Vertices.begin() + std::ptrdiff_t(v * stride),
                                      copy.Vertices.begin() + std::ptrdiff_t((v + 1) * stride));
                }
                s.indices.push_back(local[v]);
            }
        }
        form.vertex_count += s.vertex_count;
    }
    return true;
}

namespace {

void add_scaled(ColorValue& to, const ColorValue& c, double k) {
    to.r += float(c.r * k);
    to.g += float(c.g * k);
    to.b += float(c.b * k);
    to.a += float(c.a * k);
}

// Face d of the box: axis d / 2, towards + when d is odd.
constexpr int kFaces = 6;

// What the box form gathers from the model's triangles.
struct Gathered {
    float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool any = false;
    // Per subset and face of the box, the area its triangles turn that way; per subset its area.
    std::vector<std::array<double, kFaces>> seen;
    std::vector<double> area;
};

void gather(Gathered& g, std::size_t subset, const float (&p)[3][3]) {
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k) {
            g.low[k] = g.any ? std::min(g.low[k], p[c][k]) : p[c][k];
            g.high[k] = g.any ? std::max(g.high[k], p[c][k]) : p[c][k];
            g.any = true;
        }
    const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double w[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    // Twice the triangle's area, pointing out of the model (the normals are made the same way).
    const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    if (!std::isfinite(n[0] + n[1] + n[2])) return;
    for (int d = 0; d < kFaces; ++d) {
        const double facing = (d % 2 ? 1 : -1) * n[d / 2];
        if (facing > 0) g.seen[subset][std::size_t(d)] += facing;
    }
    g.area[subset] += std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

Material mean_seen(const Gathered& g, const std::vector<Material>& materials, int d, std::size_t fallback) {
    double total = 0;
    for (const auto& seen : g.seen)
        total += seen[std::size_t(d)];
    Material mean;
    for (std::size_t j = 0; j < materials.size(); ++j) {
        const double k = total > 0 ? g.seen[j][std::size_t(d)] / total : (j == fallback ? 1.0 : 0.0);
        add_scaled(mean.Diffuse, materials[j].Diffuse, k);
        add_scaled(mean.Ambient, materials[j].Ambient, k);
        add_scaled(mean.Specular, materials[j].Specular, k);
        add_scaled(mean.Emissive, materials[j].Emissive, k);
        mean.Power += float(materials[j].Power * k);
    }
    return mean;
}

} // namespace

bool MakeBoxForm(const ModelForm& full, const std::vector<Material>& materials, std::uint32_t stride,
                 const gfx::VertexLayout& layout, ModelForm& box) {
    box = ModelForm{};
    if (full.subsets.size() != materials.size() || stride < 12 || layout.position != 0) return false;
    Gathered g;
    g.seen.assign(full.subsets.size(), {});
    g.area.assign(full.subsets.size(), 0);
    for (std::size_t j = 0; j < full.subsets.size(); ++j) {
        const ModelForm::Subset& s = full.subsets[j];
        for (std::size_t t = 0; t + 2 < s.indices.size(); t += 3) {
            float p[3][3];
            for (int c = 0; c < 3; ++c)
                std::memcpy(p[c], s.vertices.data() + std::size_t(s.indices[t + std::size_t(c)]) * stride,
                            12);
            gather(g, j, p);
        }
    }
    if (!g.any) return false;
    box.states_from =
        static_cast<std::int32_t>(std::max_element(g.area.begin(), g.area.end()) - g.area.begin());
    const ModelForm::Subset& source = full.subsets[std::size_t(box.states_from)];
    if (source.vertices.size() < stride) return false;

    // Six faces, each with its own four corners, outward normal and mean material; the other bytes
    // of each corner (texture coordinates, colours) are those of the largest subset's first vertex.
    for (int d = 0; d < kFaces; ++d) {
        const int axis = d / 2, side = d % 2, u = (axis + 1) % 3, w = (axis + 2) % 3;
        box.materials.push_back(mean_seen(g, materials, d, std::size_t(box.states_from)));
        ModelForm::Subset face;
        float n[3] = {0, 0, 0};
        n[axis] = side ? 1.0f : -1.0f;
        for (int corner = 0; corner < 4; ++corner) {
            float p[3];
            p[axis] = side ? g.high[axis] : g.low[axis];
            p[u] = (corner == 1 || corner == 2) ? g.high[u] : g.low[u];
            p[w] = (corner >= 2) ? g.high[w] : g.low[w];
            face.vertices.insert(face.vertices.end(), source.vertices.begin(),
                                 source.vertices.begin() + std::ptrdiff_t(stride));
            std::uint8_t* at = &face.vertices[face.vertices.size() - stride];
            std::memcpy(at, p, 12);
            if (layout.normal >= 0) std::memcpy(at + layout.normal, n, 12);
        }
        face.vertex_count = 4;
        // Corners 0 1 2 3 go round the face; wound like the models' faces, so that (b - a) x (c - a)
        // points out of the box and the device keeps the faces turned to the eye.
        const std::uint32_t order[2][6] = {{0, 2, 1, 0, 3, 2}, {0, 1, 2, 0, 2, 3}};
        face.indices.assign(std::begin(order[side]), std::end(order[side]));
        box.vertex_count += 4;
        box.subsets.push_back(std::move(face));
    }
    return true;
}

namespace {

// Which way a corner turns, coarsely: the axis its normal leans along most, and the sign.
int turn_class(const float (&n)[3]) {
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(n[k]) > std::fabs(n[axis])) axis = k;
    return axis * 2 + (n[axis] >= 0 ? 1 : 0);
}

// The corners merged into one: where they are in the grid, which way they turn, and how far their
// plane lies from the origin.
using MergeKey = std::tuple<std::uint64_t, int, std::int64_t>;

struct Merged {
    double position[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
    std::uint32_t count = 0;
    std::size_t first = 0; // the corner whose other bytes stand for all
};

} // namespace

bool MakeCoarseForm(const ModelForm& full, std::uint32_t stride, const gfx::VertexLayout& layout,
                    std::uint32_t cells, ModelForm& coarse) {
    coarse = ModelForm{};
    if (stride < 12 || layout.position != 0 || cells == 0 || cells > 1000) return false;
    const auto corner = [&](const ModelForm::Subset& s, std::size_t v, float (&p)[3], float (&n)[3]) {
        std::memcpy(p, s.vertices.data() + v * stride, sizeof p);
        n[0] = n[1] = 0;
        n[2] = 1;
        if (layout.normal >= 0) std::memcpy(n, s.vertices.data() + v * stride + std::size_t(layout.normal), sizeof n);
    };
    float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool any = false;
    for (const ModelForm::Subset& s : full.subsets)
        for (std::size_t v = 0; v < s.vertex_count; ++v) {
            float p[3], n[3];
            corner(s, v, p, n);
            for (int k = 0; k < 3; ++k) {
                if (!std::isfinite(p[k]) || !std::isfinite(n[k])) return false;
                low[k] = any ? std::min(low[k], p[k]) : p[k];
                high[k] = any ? std::max(high[k], p[k]) : p[k];
            }
            any = true;
        }
    if (!any) return false;
    const double side = std::max({double(high[0]) - low[0], double(high[1]) - low[1], double(high[2]) - low[2]});
    if (!(side > 0)) return false;
    const double cell = side / cells;
    // Two parallel faces of a subset closer than a cell (a cabin's side above the body's) must not
    // merge: the outer one would move over what lies a centimetre proud of the inner one (its
    // windows). Corners of one flat face share a plane, so they merge, and their mean stays in it.
    const double plane_step = cell / 8;

    std::size_t triangles = 0, full_triangles = 0;
    coarse.subsets.resize(full.subsets.size());
    for (std::size_t j = 0; j < full.subsets.size(); ++j) {
        const ModelForm::Subset& s = full.subsets[j];
        ModelForm::Subset& out = coarse.subsets[j];
        full_triangles += s.indices.size() / 3;
        std::map<MergeKey, std::uint32_t> index_of;
        std::vector<Merged> merged;
        std::vector<std::uint32_t> merged_of(s.vertex_count);
        for (std::size_t v = 0; v < s.vertex_count; ++v) {
            float p[3], n[3];
            corner(s, v, p, n);
            std::uint64_t cell_key = 0;
            for (int k = 0; k < 3; ++k)
                cell_key = cell_key * (cells + 1) +
                           static_cast<std::uint64_t>(std::clamp((p[k] - low[k]) / cell, 0.0, double(cells)));
            const double length = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
            const double plane = length > 0 ? (double(n[0]) * p[0] + double(n[1]) * p[1] + double(n[2]) * p[2]) / length : 0;
            const MergeKey key{cell_key, turn_class(n), static_cast<std::int64_t>(std::floor(plane / plane_step))};
            auto [at, added] = index_of.try_emplace(key, static_cast<std::uint32_t>(merged.size()));
            if (added) merged.push_back(Merged{.first = v});
            Merged& m = merged[at->second];
            for (int k = 0; k < 3; ++k) {
                m.position[k] += p[k];
                m.normal[k] += n[k];
            }
            ++m.count;
            merged_of[v] = at->second;
        }
        // A triangle with two corners merged has no area left; of triangles left the same, one is
        // kept (the same corners in the same turn).
        std::set<std::array<std::uint32_t, 3>> kept;
        std::vector<std::uint32_t> renumber(merged.size(), std::numeric_limits<std::uint32_t>::max());
        for (std::size_t t = 0; t + 2 < s.indices.size(); t += 3) {
            const std::array<std::uint32_t, 3> tri = {merged_of[s.indices[t]], merged_of[s.indices[t + 1]],
                                                      merged_of[s.indices[t + 2]]};
            if (tri[0] == tri[1] || tri[1] == tri[2] || tri[0] == tri[2]) continue;
            std::array<std::uint32_t, 3> turn = tri;
            std::rotate(turn.begin(), std::min_element(turn.begin(), turn.end()), turn.end());
            if (!kept.insert(turn).second) continue;
            for (const std::uint32_t m : tri) {
                if (renumber[m] == std::numeric_limits<std::uint32_t>::max()) {
                    renumber[m] = out.vertex_count++;
                    const Merged& g = merged[m];
                    const std::size_t at = out.vertices.size();
                    out.vertices.insert(out.vertices.end(), s.vertices.begin() + std::ptrdiff_t(g.first * stride),
                                        s.vertices.begin() + std::ptrdiff_t((g.first + 1) * stride));
                    const float q[3] = {float(g.position[0] / g.count), float(g.position[1] / g.count),
                                        float(g.position[2] / g.count)};
                    std::memcpy(&out.vertices[at], q, sizeof q);
                    const double length = std::sqrt(g.normal[0] * g.normal[0] + g.normal[1] * g.normal[1] +
                                                    g.normal[2] * g.normal[2]);
                    // Where opposite turns cancel, the first corner's normal stays.
                    if (layout.normal >= 0 && length > 1e-6) {
                        const float n[3] = {float(g.normal[0] / length), float(g.normal[1] / length),
                                            float(g.normal[2] / length)};
                        std::memcpy(&out.vertices[at + std::size_t(layout.normal)], n, sizeof n);
                    }
                }
                out.indices.push_back(renumber[m]);
            }
        }
        triangles += out.indices.size() / 3;
        coarse.vertex_count += out.vertex_count;
    }
    if (triangles == 0 || triangles >= full_triangles) {
        coarse = ModelForm{};
        return false;
    }
    return true;
}

namespace {

// The facings' directions, unit length: (x, y, z) with each of -1, 0, 1, not all 0.
std::array<std::array<double, 3>, kNoFacing> facing_directions() {
    std::array<std::array<double, 3>, kNoFacing> d{};
    int k = 0;
    for (int x = -1; x <= 1; ++x)
        for (int y = -1; y <= 1; ++y)
            for (int z = -1; z <= 1; ++z) {
                if (x == 0 && y == 0 && z == 0) continue;
                const double length = std::sqrt(double(x * x + y * y + z * z));
                d[std::size_t(k++)] = {x / length, y / length, z / length};
            }
    return d;
}

} // namespace

bool SortByFacing(ModelForm& form, std::uint32_t stride) {
    if (stride < 12) return false;
    static const auto directions = facing_directions();
    double low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    bool any = false;
    for (const ModelForm::Subset& s : form.subsets)
        for (std::size_t v = 0; v < s.vertex_count; ++v) {
            float p[3];
            std::memcpy(p, s.vertices.data() + v * stride, sizeof p);
            for (int k = 0; k < 3; ++k) {
                if (!std::isfinite(p[k])) return false;
                low[k] = any ? std::min(low[k], double(p[k])) : p[k];
                high[k] = any ? std::max(high[k], double(p[k])) : p[k];
            }
            any = true;
        }
    double centre[3], radius = 0;
    for (int k = 0; k < 3; ++k)
        centre[k] = (low[k] + high[k]) / 2;

    double least_cos[kFacings], nearest[kFacings];
    std::fill(std::begin(least_cos), std::end(least_cos), 1.0);
    std::fill(std::begin(nearest), std::end(nearest), std::numeric_limits<double>::infinity());
    for (ModelForm::Subset& s : form.subsets) {
        const std::size_t triangles = s.indices.size() / 3;
        std::vector<int> facing(triangles, kNoFacing);
        for (std::size_t t = 0; t < triangles; ++t) {
            double p[3][3];
            for (int c = 0; c < 3; ++c) {
                float q[3];
                std::memcpy(q, s.vertices.data() + std::size_t(s.indices[3 * t + std::size_t(c)]) * stride, sizeof q);
                for (int k = 0; k < 3; ++k)
                    p[c][k] = q[k];
            }
            const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
            const double w[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
            const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (!(length > 1e-12)) continue;
            double best = -2;
            for (int d = 0; d < kNoFacing; ++d) {
                const auto& a = directions[std::size_t(d)];
                const double c = (n[0] * a[0] + n[1] * a[1] + n[2] * a[2]) / length;
                if (c > best) {
                    best = c;
                    facing[t] = d;
                }
            }
            least_cos[facing[t]] = std::min(least_cos[facing[t]], best);
            const auto& a = directions[std::size_t(facing[t])];
            for (const double(&q)[3] : p)
                nearest[facing[t]] = std::min(nearest[facing[t]], q[0] * a[0] + q[1] * a[1] + q[2] * a[2]);
        }

        ModelForm::Subset sorted;
        std::vector<std::uint32_t> local(s.vertex_count);
        for (int f = 0; f < kFacings; ++f) {
            ModelForm::Part part{.facing = f, .first_vertex = sorted.vertex_count,
                                 .first_index = static_cast<std::uint32_t>(sorted.indices.size())};
            std::fill(local.begin(), local.end(), std::numeric_limits<std::uint32_t>::max());
            for (std::size_t t = 0; t < triangles; ++t) {
                if (facing[t] != f) continue;
                for (int c = 0; c < 3; ++c) {
                    const std::uint32_t v = s.indices[3 * t + std::size_t(c)];
                    if (local[v] == std::numeric_limits<std::uint32_t>::max()) {
                        local[v] = sorted.vertex_count++;
                        sorted.vertices.insert(sorted.vertices.end(), s.vertices.begin() + std::ptrdiff_t(v * stride),
                                               s.vertices.begin() + std::ptrdiff_t((v + 1) * stride));
                    }
                    sorted.indices.push_back(local[v]);
                }
            }
            part.vertex_count = sorted.vertex_count - part.first_vertex;
            part.index_count = static_cast<std::uint32_t>(sorted.indices.size()) - part.first_index;
            if (part.index_count > 0) sorted.parts.push_back(part);
        }
        for (std::size_t v = 0; v < s.vertex_count; ++v) {
            float p[3];
            std::memcpy(p, s.vertices.data() + v * stride, sizeof p);
            radius = std::max(radius, std::hypot(p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]));
        }
        s = std::move(sorted);
    }
    form.vertex_count = 0;
    for (const ModelForm::Subset& s : form.subsets)
        form.vertex_count += s.vertex_count;
    for (int f = 0; f < kNoFacing; ++f) {
        ModelForm::Facing& facing = form.facings[f];
        for (int k = 0; k < 3; ++k)
            facing.direction[k] = float(directions[std::size_t(f)][k]);
        // Rounded outwards, so that a facing is never taken as narrower than its triangles.
        const double c = std::clamp(least_cos[f], -1.0, 1.0);
        facing.cos_spread = float(std::max(c - 1e-6, -1.0));
        facing.sin_spread = float(std::min(std::sqrt(std::max(0.0, 1 - c * c)) + 1e-6, 1.0));
        facing.nearest = std::isfinite(nearest[f]) ? float(nearest[f] - 1e-6 * (1 + std::fabs(nearest[f]))) : 0.0f;
    }
    form.facings[kNoFacing] = ModelForm::Facing{.cos_spread = -1, .sin_spread = 1};
    for (int k = 0; k < 3; ++k)
        form.centre[k] = float(centre[k]);
    form.radius = float(radius * (1 + 1e-6) + 1e-6);
    return true;
}

} // namespace kl
