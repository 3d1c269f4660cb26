// The showcase scene: a textured floor, turning boxes with blended shadows, a mirror triangle that
// shows them, a turning picture and a texture painted pixel by pixel as the frames go by.
#pragma once

#include "engine/records.h"
#include "overlay/cls2d_picture.h"
#include "overlay/cls2d_texture.h"
#include "resources/cls3d_polygons.h"

#include <memory>
#include <string>
#include <vector>

namespace kl {
class cls3dEngine;
}

namespace kl::showcase {

class Scene {
  public:
    // Needs the engine's device; textures from data_dir are used when they load, painted ones if not.
    // fog: the density the scene is drawn with (0: none).
    Scene(cls3dEngine& engine, const std::string& data_dir, int width, int height, float fog);

    // Animation by frame number, so that a given frame always looks the same.
    void Draw(std::int64_t frame);

  private:
    void paint_step(std::int64_t frame);
    void place_boxes(std::int64_t frame);
    void draw_objects();

    cls3dEngine& engine_;
    int width_;
    float fog_;
    std::shared_ptr<cls2dTexture> floor_texture_, box_texture_, painted_;
    std::unique_ptr<cls3dPolygons> floor_, glass_;
    std::vector<std::unique_ptr<cls3dPolygons>> boxes_;
    cls2dPicture picture_;
    PlaneRecord ground_, mirror_;
    Vec3 light_towards_;
};

} // namespace kl::showcase
