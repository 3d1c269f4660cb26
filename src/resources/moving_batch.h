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
#include <unordered_map>
#include <vector>

namespace kl {

// How much of a model a copy needs, by the size of its picture; finest first.
enum class Detail { Full, Fine, Coarse, Coarser, Box };

// Vehicles whose picture is at most kBoxPixels across are drawn as a box in their mean colours: at
// that size the box covers nearly the same pixel centres as the model, in about the colour the
// model's parts mix to. Larger boxes, far ahead where many vehicles share a few rows of pixels at
// the horizon, would change the mean colour there by more than a few levels. Up to kCoarserPixels,
// kCoarsePixels and kFinePixels they are drawn in coarse forms of kCoarserCells, kCoarseCells and
// kFineCells cells a side: a cell is at most half a pixel across, so a merged corner moves less than
// that, and every part keeps its material and light. A vehicle's round tyres are most of its
// triangles, and at that size a few of their corners draw the same pixels. DEVELOPING.md says what
// the forms save.
constexpr double kBoxPixels = 1.5;
constexpr double kCoarserPixels = 3.0;
constexpr std::uint32_t kCoarserCells = 6;
constexpr double kCoarsePixels = 6.0;
constexpr std::uint32_t kCoarseCells = 12;
constexpr double kFinePixels = 9.0;
constexpr std::uint32_t kFineCells = 18;
Detail DetailForPicture(double pixels);
// The ring's street is full of traffic to the horizon, tens of thousands of vehicles a few pixels
// across, and their coarse forms were most of its frame. There they are boxes up to kRingBoxPixels
// and in the coarsest form up to kRingCoarserPixels: against drawing every vehicle whole, this moves
// under 1 % of the pixels of the 250-road ring, in the few rows at the horizon where vehicles stand
// close behind one another (DEVELOPING.md, "Ring forms", has the figures).
constexpr double kRingBoxPixels = 3.0;
constexpr double kRingCoarserPixels = 6.0;
Detail RingDetailForPicture(double pixels);

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
    // detail: the form to draw when the model has it, the full model otherwise.
    bool Add(cls3dObject& object, Detail detail = Detail::Full) {
        return Add(object, object.WorldMatrix(), detail);
    }
    // The same with the object's WorldMatrix worked out already.
    bool Add(cls3dObject& object, const Matrix4& world, Detail detail);
    // Draws the objects taken since Begin, model after model and subset after subset, each subset
    // with the states the model's own RenderSubset would set. With hand_over_every, once that many
    // vertices have gone out since the last hand-over, the scene is ended and begun again after a
    // model's form, so that a device that queues its work starts on them while the rest is sent.
    void Draw(std::size_t hand_over_every = 0);
    // Forgets every model and its buffers.
    void Clear();

    // Draw calls, vertices and objects of the last Draw, for the statistics, tests and benchmarks.
    std::size_t LastDrawCalls() const { return last_draw_calls_; }
    std::size_t LastVertices() const { return last_vertices_; }
    const std::vector<cls3dObject*>& LastDrawnObjects() const { return last_drawn_; }
    // The transform each of them was drawn with, in the same order: an object may be drawn more
    // than once in a frame, at other places.
    const std::vector<Matrix4>& LastDrawnWorlds() const { return last_worlds_; }
    // How many of them were drawn as boxes, and how many in any of the coarse forms.
    std::size_t LastReducedObjects() const { return last_reduced_; }
    std::size_t LastCoarseObjects() const { return last_coarse_; }

    struct Model;

  private:
    Model* model_for(cls3dObject& object);

    std::vector<std::unique_ptr<Model>> models_;
    // The model each object was last found to fit, and the object's look then: thousands of
    // vehicles a frame are matched by two numbers instead of their materials and texture names.
    struct Fit {
        std::uint64_t look = 0;
        Model* model = nullptr;
    };
    std::unordered_map<const cls3dObject*, Fit> fits_;
    Model* last_model_ = nullptr;
    std::vector<cls3dObject*> last_drawn_;
    std::vector<Matrix4> last_worlds_;
    std::size_t last_draw_calls_ = 0, last_vertices_ = 0, last_reduced_ = 0, last_coarse_ = 0;
};

} // namespace kl
