// Models that stand still, drawn subset by subset from one vertex and one index buffer with their
// triangles already moved into place: the objects in view of one subset go out in a few draw calls
// instead of one each. Mesa's software rasteriser spends far more on a draw call and its transform
// change than on the handful of triangles of one building's subset.
#pragma once

#include "platform/gfx/device.h"
#include "platform/gfx/resources.h"
#include "resources/cls3d_object.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kl {

// One copy of an object in a batch: which of the objects given to Build, and how far it is moved
// beyond where the object stands (world units, the engine's axes). A street repeated along its
// length, or the same small model set down at many places, is one object placed many times.
struct BatchPlacement {
    std::uint32_t Object = 0;
    Vec3 Shift;
};

class StaticBatch {
  public:
    // Copies the objects' triangles into world space. False, leaving the batch empty, unless every
    // object has a readable mesh with a three-float position, the same vertex format and the same
    // materials and textures subset by subset as the first, indices within its vertices, and a
    // world transform that only moves it: the batch then draws the very triangles each would draw
    // by itself, their corners a rounding step from where the object's own transform puts them.
    // piece_length > 0 cuts each object along its longest side into pieces of that length (a
    // triangle goes with the piece its centre lies in), so that the parts of a long object that
    // cannot reach the picture can be left out; 0 keeps each object whole. merge_quads first merges
    // each object's quads that continue one another (MergeContinuingQuads): for long flat surfaces
    // with a repeating texture, such as road strips, whose far squares cost far more than their
    // pixels; level quads then merge no longer than a piece, a merged quad goes with the piece its
    // centre lies in, and pieces left empty are dropped.
    // placements, when given, are the copies to draw instead of each object once where it stands, in
    // the buffers in the order given (neighbours in view draw in one call); one that names no object
    // makes Build fail.
    bool Build(const std::vector<cls3dObject*>& objects, float piece_length = 0, bool merge_quads = false,
               std::span<const BatchPlacement> placements = {});
    // Whether the batch holds the objects and buffers of the current engine's device.
    bool Ready() const;
    // The pieces: objects in the order given to Build (or the placements in theirs), each one's
    // pieces along its length; one piece per object or placement when Build kept them whole.
    std::size_t Pieces() const { return pieces_.size(); }
    // The world-space box around a piece's triangles.
    void PieceBounds(std::size_t piece, Vec3& low, Vec3& high) const {
        low = pieces_[piece].low;
        high = pieces_[piece].high;
    }
    // Subset after subset, the pieces whose entry in visible is non-zero (one entry per piece), with
    // the states each one's object's RenderSubset would set; along moves them all that far along the
    // engine's z axis (a street that repeats).
    void Draw(const std::vector<char>& visible, float along = 0);
    void Clear();

    // Draw calls of the last Draw, and the objects it drew, for tests and benchmarks.
    std::size_t LastDrawCalls() const { return last_draw_calls_; }
    std::vector<cls3dObject*> LastDrawnObjects() const;

  private:
    // Where one object's triangles of one subset lie in the index buffer.
    struct Span {
        std::uint32_t first_index = 0, index_count = 0;
        std::uint32_t min_vertex = 0, vertex_count = 0;
    };

    struct Piece {
        std::size_t object = 0;
        Vec3 low, high;
    };
    // What Build works out before it fills the buffers, and its steps (static_batch.cpp).
    struct Layout;

    std::vector<cls3dObject*> objects_;
    std::vector<Piece> pieces_;
    // Pieces in buffer order: along each row of the street, so that the pieces in view make long
    // runs of neighbours.
    std::vector<std::size_t> order_;
    // spans_[subset * pieces + position in order_]
    std::vector<Span> spans_;
    std::int32_t subsets_ = 0;
    std::uint32_t vertex_format_ = 0, vertex_size_ = 0;
    std::weak_ptr<gfx::Device> device_;
    gfx::VertexBufferPtr vertices_;
    gfx::IndexBufferPtr indices_;
    std::size_t last_draw_calls_ = 0;
    std::vector<char> last_visible_;
};

} // namespace kl
