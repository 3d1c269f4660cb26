// A textured rectangle in screen pixels over the 3D scene: placed, shifted, turned about its centre,
// cut from part of the texture, tinted and made partly transparent. It holds no device resources.
#pragma once

#include "engine/records.h"

#include <array>
#include <cstdint>

namespace kl {

class cls2dTexture;

class cls2dPicture {
  public:
    cls2dPicture();

    // Corners (x1, y1) top-left and (x2, y2) bottom-right. The turned shape starts from here again;
    // the angle turned so far is kept but not applied. A sum of corners outside 32 bits raises
    // kl::Fault after the vertices were set and before the centre is.
    void SetPosition(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
    // Shifts the drawn vertices only: the next Rotate starts from the shape SetPosition made.
    void Move(std::int32_t MoveX, std::int32_t MoveY);
    // Adds to the total angle; positive turns clockwise on the screen (y points down).
    void Rotate(float Angle);
    void SetPictureRange(float x1, float y1, float x2, float y2);
    void SetBackcolor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
    // 0 opaque to 255 invisible.
    void SetTransparency(std::uint8_t Transparency);
    // Draws nothing and changes no state without a texture object.
    void Render(const cls2dTexture* Tex);

    const std::array<ScreenVertex, 4>& Vertices() const { return Verts; }
    Vec2 GetCentre() const { return Centre; }

  private:
    void set_colour();

    // 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right of the unturned rectangle.
    std::array<ScreenVertex, 4> Verts;
    std::array<ScreenVertex, 4> BaseVerts{};
    float TotalAngle = 0;
    Vec2 Centre;
    std::uint8_t ColA = 255, ColR = 255, ColG = 255, ColB = 255;
};

} // namespace kl
