// Models that move every frame, drawn model by model: the vertices of this frame's objects are moved
// into place on the CPU, and each subset of a model goes out in one draw call for all of them
// instead of one call per object and subset. Mesa's software rasteriser spends far more on a draw
// call and its state changes than on the few hundred vertices of a vehicle.
#pragma once

#include "platform/gfx/device.h"
#include "platform/gfx/resources.h"
#include "resources/cls3d_object.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kl {

class MovingBatch {
  public:
    MovingBatch();
    ~MovingBatch();
    MovingBatch(const MovingBatch&) = delete;
    MovingBatch& operator=(const MovingBatch&) = delete;

    // Starts a frame: the objects taken before are forgotten.
    void Begin();
    // Takes the object into this frame's draw. False when it must be drawn by itself: no readable
    // mesh, a vertex format without a three-float position, a transform that does more than turn
    // and move (the normals would light differently), or a shadow or reflection pass.
    // small: the object's picture is only a few pixels across, so its reduced form is drawn when
    // the model has one.
    bool Add(cls3dObject& object, bool small = false) { return Add(object, object.WorldMatrix(), small); }
    // The same with the object's WorldMatrix worked out already.
    bool Add(cls3dObject& object, const Matrix4& world, bool small);
    // Draws the objects taken since Begin, model after model and subset after subset, each subset
    // with the states the model's own RenderSubset would set.
    void Draw();
    // Forgets every model and its buffers.
    void Clear();

    // Draw calls, vertices and objects of the last Draw, for the statistics, tests and benchmarks.
    std::size_t LastDrawCalls() const { return last_draw_calls_; }
    std::size_t LastVertices() const { return last_vertices_; }
    const std::vector<cls3dObject*>& LastDrawnObjects() const { return last_drawn_; }
    // The transform each of them was drawn with, in the same order: an object may be drawn more
    // than once in a frame, at other places.
    const std::vector<Matrix4>& LastDrawnWorlds() const { return last_worlds_; }
    // How many of them were drawn in their reduced form.
    std::size_t LastReducedObjects() const { return last_reduced_; }

    struct Model;

  private:
    Model* model_for(cls3dObject& object);

    std::vector<std::unique_ptr<Model>> models_;
    Model* last_model_ = nullptr;
    std::vector<cls3dObject*> last_drawn_;
    std::vector<Matrix4> last_worlds_;
    std::size_t last_draw_calls_ = 0, last_vertices_ = 0, last_reduced_ = 0;
};

} // namespace kl
