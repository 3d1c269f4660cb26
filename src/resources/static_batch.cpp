#include "resources/static_batch.h"

#include "engine/cls3d_engine.h"
#include "engine/math.h"
#include "resources/continuing_quads.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <tuple>

namespace kl {

namespace {

// The translation of a transform that does nothing else; false for any turn, scale or projection.
bool only_moves(const Matrix4& m, float move[3]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if (m.at(r, c) != (r == c ? 1.0f : 0.0f)) return false;
    if (m.m44 != 1.0f) return false;
    move[0] = m.m41;
    move[1] = m.m42;
    move[2] = m.m43;
    return true;
}

bool same_subsets(cls3dObject& a, cls3dObject& b) {
    const std::int32_t n = a.GetMaterialCount();
    if (b.GetMaterialCount() != n) return false;
    const auto& ma = a.GetMaterials();
    const auto& mb = b.GetMaterials();
    if (ma.size() < std::size_t(n) || mb.size() < std::size_t(n)) return false;
    for (std::int32_t k = 0; k < n; ++k) {
        if (std::memcmp(&ma[std::size_t(k)], &mb[std::size_t(k)], sizeof(Material)) != 0) return false;
        if (k < cls3dObject::kMaterialRows && (a.GetMaterialTexture(k, 0) != b.GetMaterialTexture(k, 0) ||
                                               a.GetMaterialTexture(k, 1) != b.GetMaterialTexture(k, 1)))
            return false;
    }
    return true;
}

// Whether an object's copy can share the batch's buffers: a three-float position in the batch's
// vertex format, and every index of its subsets within its vertices.
bool fits_batch(const MeshCopy& c, std::uint32_t vertex_format) {
    const gfx::VertexLayout layout = gfx::LayoutOf(c.VertexFormat);
    if (c.VertexFormat != vertex_format || layout.position != 0 || layout.position_size != 3 ||
        layout.pretransformed || c.VertexSize < 12 || c.Vertices.empty())
        return false;
    const std::size_t vertex_count = c.Vertices.size() / c.VertexSize;
    for (const d3dx::AttributeRange& r : c.Runs) {
        if (std::size_t{r.FaceStart} + r.FaceCount > c.Indices.size() / 3) return false;
        for (std::size_t k = std::size_t{r.FaceStart} * 3; k < (std::size_t{r.FaceStart} + r.FaceCount) * 3;
             ++k)
            if (c.Indices[k] >= vertex_count) return false;
    }
    return true;
}

// Each object's triangles and the move that puts them in place; false unless every object draws as
// the first one does, so that the batch draws the very triangles each would draw by itself.
bool read_objects(const std::vector<cls3dObject*>& objects, std::vector<MeshCopy>& copies,
                  std::vector<std::array<float, 3>>& moves) {
    copies.resize(objects.size());
    moves.resize(objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
        cls3dObject* o = objects[i];
        if (o == nullptr || !o->CopyGeometry(copies[i]) || !only_moves(o->WorldMatrix(), moves[i].data()) ||
            !same_subsets(*objects[0], *o) || !fits_batch(copies[i], copies[0].VertexFormat))
            return false;
    }
    return true;
}

// The objects are mostly copies of one model (every road strip): merged once, the result serves
// every object whose geometry is the same.
void merge_quads_once(std::vector<MeshCopy>& copies, float piece_length) {
    MeshCopy model, merged;
    for (MeshCopy& c : copies) {
        if (c.Vertices != model.Vertices || c.Indices != model.Indices || c.Runs != model.Runs) {
            model = c;
            MergeContinuingQuads(c, piece_length > 0 ? piece_length : std::numeric_limits<float>::infinity());
            merged = c;
        } else {
            c = merged;
        }
    }
}

// The axis of the copy's longest side, with the box around its vertices.
int longest_side(const MeshCopy& c, float lo[3], float hi[3]) {
    const std::size_t stride = c.VertexSize, vertex_count = c.Vertices.size() / stride;
    for (std::size_t v = 0; v < vertex_count; ++v) {
        float p[3];
        std::memcpy(p, &c.Vertices[v * stride], sizeof p);
        for (int k = 0; k < 3; ++k) {
            lo[k] = v == 0 ? p[k] : std::min(lo[k], p[k]);
            hi[k] = v == 0 ? p[k] : std::max(hi[k], p[k]);
        }
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (hi[k] - lo[k] > hi[axis] - lo[axis]) axis = k;
    return axis;
}

// Cuts an object along its longest side: each face goes with the piece its centre lies in
// (face_piece, numbered within the object). Returns how many pieces are kept: only those that hold
// a triangle, since a merged quad leaves the pieces it spans empty, and at least one.
std::uint32_t cut_into_pieces(const MeshCopy& c, float piece_length, std::vector<std::uint32_t>& face_piece) {
    const std::size_t stride = c.VertexSize;
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    const int axis = longest_side(c, lo, hi);
    std::uint32_t count = 1;
    if (piece_length > 0 && std::isfinite(hi[axis] - lo[axis]))
        count = static_cast<std::uint32_t>(
            std::clamp(std::ceil((hi[axis] - lo[axis]) / piece_length), 1.0f, 65536.0f));
    face_piece.assign(c.Indices.size() / 3, 0);
    std::vector<std::uint32_t> piece_number(count, 0);
    for (std::size_t f = 0; f < face_piece.size(); ++f) {
        float centre = 0;
        for (int corner = 0; corner < 3; ++corner) {
            float p[3];
            std::memcpy(p, &c.Vertices[std::size_t(c.Indices[f * 3 + std::size_t(corner)]) * stride],
                        sizeof p);
            centre += p[axis] / 3;
        }
        const float at = count > 1 ? (centre - lo[axis]) / piece_length : 0;
        face_piece[f] = static_cast<std::uint32_t>(std::clamp(at, 0.0f, float(count - 1)));
        piece_number[face_piece[f]] = 1;
    }
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < count; ++k)
        if (piece_number[k] != 0 || (k + 1 == count && kept == 0)) piece_number[k] = kept++;
    for (std::uint32_t& piece : face_piece)
        piece = piece_number[piece];
    return kept;
}

// Puts the vertices and indices into new managed buffers of the device.
bool fill_buffers(gfx::Device& device, std::uint32_t vertex_format,
                  const std::vector<std::uint8_t>& vertex_bytes, const std::vector<std::uint32_t>& indices,
                  gfx::VertexBufferPtr& vb, gfx::IndexBufferPtr& ib) {
    std::uint8_t* data = nullptr;
    if (platform::Failed(device.CreateVertexBuffer(static_cast<gfx::Dword>(vertex_bytes.size()),
                                                   gfx::UsageWriteOnly, vertex_format, gfx::PoolManaged,
                                                   &vb)) ||
        platform::Failed(vb->Lock(0, 0, &data, 0)))
        return false;
    std::memcpy(data, vertex_bytes.data(), vertex_bytes.size());
    IgnoreStatus(vb->Unlock(), "drawn like the objects, errors ignored");
    const std::size_t index_bytes = indices.size() * sizeof(std::uint32_t);
    if (platform::Failed(device.CreateIndexBuffer(static_cast<gfx::Dword>(index_bytes), gfx::UsageWriteOnly,
                                                  gfx::FmtIndex32, gfx::PoolManaged, &ib)) ||
        platform::Failed(ib->Lock(0, 0, &data, 0)))
        return false;
    std::memcpy(data, indices.data(), index_bytes);
    IgnoreStatus(ib->Unlock(), "drawn like the objects, errors ignored");
    return true;
}

} // namespace

// What Build lays out before anything goes to the device: the objects' triangles in world space, cut
// into pieces, and the vertex and index bytes of every subset's spans.
struct StaticBatch::Layout {
    std::vector<MeshCopy> copies;
    std::vector<std::array<float, 3>> moves;
    // Each copy of an object drawn: the object and the move that puts this copy in place.
    struct Placed {
        std::size_t object = 0;
        std::array<float, 3> move{};
    };
    std::vector<Placed> placements;
    // Per object: each face's piece, numbered within the object; per copy: its first piece; per
    // piece: its copy.
    std::vector<std::vector<std::uint32_t>> face_piece;
    std::vector<std::size_t> first_piece;
    std::vector<std::size_t> piece_placed;
    std::vector<Piece> pieces;
    std::vector<std::size_t> order;
    std::vector<std::uint8_t> vertex_bytes;
    std::vector<std::uint32_t> indices;
    std::vector<Span> spans;

    std::uint32_t stride() const { return copies[0].VertexSize; }

    // Each object where it stands, or the copies asked for; false when one names no object.
    bool place_copies(std::span<const BatchPlacement> asked) {
        if (asked.empty()) {
            for (std::size_t i = 0; i < copies.size(); ++i)
                placements.push_back({i, moves[i]});
            return true;
        }
        for (const BatchPlacement& p : asked) {
            if (p.Object >= copies.size()) return false;
            const std::array<float, 3>& m = moves[p.Object];
            placements.push_back({p.Object, {m[0] + p.Shift.x, m[1] + p.Shift.y, m[2] + p.Shift.z}});
        }
        return true;
    }

    void cut(float piece_length) {
        face_piece.resize(copies.size());
        std::vector<std::uint32_t> kept(copies.size());
        for (std::size_t i = 0; i < copies.size(); ++i)
            kept[i] = cut_into_pieces(copies[i], piece_length, face_piece[i]);
        first_piece.resize(placements.size());
        for (std::size_t p = 0; p < placements.size(); ++p) {
            first_piece[p] = pieces.size();
            for (std::uint32_t k = 0; k < kept[placements[p].object]; ++k) {
                pieces.push_back({placements[p].object, {}, {}});
                piece_placed.push_back(p);
            }
        }
    }

    // Along each row: objects ordered by their first and then their third coordinate, the way the
    // street's rows of buildings run; copies placed by the caller in the order given. Pieces go
    // across first: the n-th pieces of all objects side by side, then the next ones, since the
    // pieces in view of parallel strips make such runs.
    void order_by_rows(bool as_placed) {
        order.resize(pieces.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const std::size_t i = piece_placed[a], k = piece_placed[b];
            const std::size_t na = a - first_piece[i], nb = b - first_piece[k];
            if (as_placed) return na < nb;
            return std::tie(na, placements[i].move[0], placements[i].move[2]) <
                   std::tie(nb, placements[k].move[0], placements[k].move[2]);
        });
    }

    // Vertices in the order of the spans that use them (a vertex used by two spans is copied), so
    // that a run of spans draws from one compact range of vertices.
    void place(std::int32_t subsets) {
        bounded.assign(pieces.size(), false);
        spans.resize(std::size_t(std::max(subsets, 0)) * pieces.size());
        for (std::int32_t j = 0; j < subsets; ++j)
            for (std::size_t pos = 0; pos < order.size(); ++pos)
                place_span(j, pos);
    }

  private:
    // The triangles of one subset in the piece at position pos of the order.
    void place_span(std::int32_t subset, std::size_t pos) {
        const std::size_t e = order[pos], copy = piece_placed[e], i = pieces[e].object;
        const MeshCopy& c = copies[i];
        const std::uint32_t piece = static_cast<std::uint32_t>(e - first_piece[copy]);
        Span& span = spans[std::size_t(subset) * pieces.size() + pos];
        span.first_index = static_cast<std::uint32_t>(indices.size());
        const auto first = static_cast<std::uint32_t>(vertex_bytes.size() / stride());
        placed.assign(c.Vertices.size() / stride(), UINT32_MAX);
        for (const d3dx::AttributeRange& r : c.Runs) {
            if (r.AttribId != static_cast<d3dx::Dword>(subset)) continue;
            for (std::size_t f = r.FaceStart; f < std::size_t{r.FaceStart} + r.FaceCount; ++f) {
                if (face_piece[i][f] != piece) continue;
                for (std::size_t k = f * 3; k < f * 3 + 3; ++k) {
                    const std::uint16_t source = c.Indices[k];
                    if (placed[source] == UINT32_MAX) placed[source] = place_vertex(e, source);
                    indices.push_back(placed[source]);
                }
            }
        }
        const auto end = static_cast<std::uint32_t>(vertex_bytes.size() / stride());
        span.min_vertex = first;
        span.vertex_count = end - first;
        span.index_count = static_cast<std::uint32_t>(indices.size()) - span.first_index;
    }

    // Copies a vertex of the piece's object moved into place, widens the piece's box around it and
    // answers its number in the batch.
    std::uint32_t place_vertex(std::size_t e, std::uint16_t source) {
        const std::size_t i = pieces[e].object, size = stride();
        const auto number = static_cast<std::uint32_t>(vertex_bytes.size() / size);
        const auto from = copies[i].Vertices.begin() + std::ptrdiff_t(std::size_t(source) * size);
        vertex_bytes.insert(vertex_bytes.end(), from, from + size);
        float p[3];
        std::memcpy(p, &vertex_bytes[vertex_bytes.size() - size], sizeof p);
        for (int d = 0; d < 3; ++d)
            p[d] += placements[piece_placed[e]].move[std::size_t(d)];
        std::memcpy(&vertex_bytes[vertex_bytes.size() - size], p, sizeof p);
        const Vec3 at{p[0], p[1], p[2]};
        Piece& pc = pieces[e];
        if (!bounded[e]) pc.low = pc.high = at;
        bounded[e] = true;
        pc.low = {std::min(pc.low.x, at.x), std::min(pc.low.y, at.y), std::min(pc.low.z, at.z)};
        pc.high = {std::max(pc.high.x, at.x), std::max(pc.high.y, at.y), std::max(pc.high.z, at.z)};
        return number;
    }

    std::vector<bool> bounded;         // per piece: whether its box holds a vertex yet
    std::vector<std::uint32_t> placed; // per vertex of the span's object: its number in the batch
};

void StaticBatch::Clear() {
    objects_.clear();
    pieces_.clear();
    order_.clear();
    spans_.clear();
    subsets_ = 0;
    vertex_format_ = vertex_size_ = 0;
    device_.reset();
    vertices_.reset();
    indices_.reset();
    last_draw_calls_ = 0;
    last_visible_.clear();
}

bool StaticBatch::Build(const std::vector<cls3dObject*>& objects, float piece_length, bool merge_quads,
                        std::span<const BatchPlacement> placements) {
    Clear();
    cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr || engine->Device() == nullptr || objects.empty()) return false;

    Layout layout;
    if (!read_objects(objects, layout.copies, layout.moves)) return false;
    if (!layout.place_copies(placements)) return false;
    if (merge_quads) merge_quads_once(layout.copies, piece_length);
    const std::int32_t subsets = objects[0]->GetMaterialCount();
    layout.cut(piece_length);
    layout.order_by_rows(!placements.empty());
    layout.place(subsets);
    if (layout.indices.empty()) return false;

    const std::uint32_t vertex_format = layout.copies[0].VertexFormat;
    gfx::VertexBufferPtr vb;
    gfx::IndexBufferPtr ib;
    if (!fill_buffers(*engine->Device(), vertex_format, layout.vertex_bytes, layout.indices, vb, ib))
        return false;

    objects_ = objects;
    pieces_ = std::move(layout.pieces);
    order_ = std::move(layout.order);
    spans_ = std::move(layout.spans);
    subsets_ = subsets;
    vertex_format_ = vertex_format;
    vertex_size_ = layout.stride();
    device_ = engine->DevicePointer();
    vertices_ = std::move(vb);
    indices_ = std::move(ib);
    return true;
}

std::vector<cls3dObject*> StaticBatch::LastDrawnObjects() const {
    std::vector<char> drawn(objects_.size(), 0);
    for (std::size_t e = 0; e < last_visible_.size(); ++e)
        if (last_visible_[e]) drawn[pieces_[e].object] = 1;
    std::vector<cls3dObject*> out;
    for (std::size_t i = 0; i < objects_.size(); ++i)
        if (drawn[i]) out.push_back(objects_[i]);
    return out;
}

bool StaticBatch::Ready() const {
    const cls3dEngine* engine = CurrentEngine();
    if (engine == nullptr || !vertices_ || engine->Device() == nullptr) return false;
    const gfx::DevicePtr device = device_.lock();
    return device && device.get() == engine->Device();
}

void StaticBatch::Draw(const std::vector<char>& visible, float along) {
    last_draw_calls_ = 0;
    last_visible_.clear();
    if (!Ready() || visible.size() != pieces_.size()) return;
    last_visible_ = visible;
    gfx::Device* device = CurrentEngine()->Device();
    const std::size_t count = order_.size();

    // A subset is drawn as runs of neighbours in view; each run takes the states of its first object.
    const Matrix4 world = MatrixTranslation(0, 0, along);
    IgnoreStatus(device->SetTransform(gfx::TsWorld, std::bit_cast<gfx::Matrix>(world)),
                 "drawn like the objects, errors ignored");
    bool bound = false;
    for (std::int32_t j = 0; j < subsets_; ++j) {
        const Span* spans = &spans_[std::size_t(j) * count];
        std::size_t pos = 0;
        while (pos < count) {
            if (!visible[order_[pos]]) {
                ++pos;
                continue;
            }
            const std::size_t first = pos;
            std::uint32_t low = UINT32_MAX, high = 0, index_count = 0, first_index = 0;
            for (; pos < count && visible[order_[pos]]; ++pos) {
                const Span& s = spans[pos];
                if (s.index_count == 0) continue;
                // The spans of neighbours follow one another in the index buffer.
                if (index_count == 0) first_index = s.first_index;
                low = std::min(low, s.min_vertex);
                high = std::max(high, s.min_vertex + s.vertex_count - 1);
                index_count += s.index_count;
            }
            objects_[pieces_[order_[first]].object]->ApplySubsetStates(j);
            if (index_count == 0) continue;
            if (!bound) {
                IgnoreStatus(device->SetVertexShader(vertex_format_),
                             "drawn like the objects, errors ignored");
                IgnoreStatus(device->SetStreamSource(0, vertices_, vertex_size_),
                             "drawn like the objects, errors ignored");
                IgnoreStatus(device->SetIndices(indices_, 0), "drawn like the objects, errors ignored");
                bound = true;
            }
            IgnoreStatus(device->DrawIndexedPrimitive(gfx::PtTriangleList, low, high - low + 1, first_index,
                                                      index_count / 3),
                         "drawn like the objects, errors ignored");
            ++last_draw_calls_;
        }
    }
}

} // namespace kl
