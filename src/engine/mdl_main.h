// The engine's free procedures: constructors for the small records, packed colours, materials,
// display modes, a rotation builder, a triangle normal, a point mirror and the folder of a path.
#pragma once

#include "engine/records.h"
#include "platform/gfx/resources.h"

#include <cstdint>
#include <string>

namespace kl::mdlMain {

Vec2 MakeVec2(float x, float y);
Vec3 MakeVec3(float x, float y, float z);
ScreenVertex MakeScreenVertex(float x, float y, PackedColor color, float tu, float tv);

// Colour channels are taken modulo 256, as byte arguments would be.
PackedColor ColorRGB(std::int32_t r, std::int32_t g, std::int32_t b);
PackedColor ColorARGB(std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b);

Material MakeMaterial(std::int32_t DiffuseR, std::int32_t DiffuseG, std::int32_t DiffuseB,
                      std::int32_t EmissiveR, std::int32_t EmissiveG, std::int32_t EmissiveB, float Power,
                      std::int32_t Transparency);

DisplayMode MakeDisplayMode(std::int32_t Width, std::int32_t Height, std::int32_t Bpp);

// Order.x/.y/.z give the step (0, 1, 2) at which the X, Y and Z rotation is multiplied in; a step no
// component names repeats the previous step's axis.
Matrix4 RotationFromAngles(const Vec3& Angle, const Vec3& Order);

// normalize((B - A) x (C - B)): the second edge runs from B to C.
Vec3 TriangleNormal(const Vec3& A, const Vec3& B, const Vec3& C);

Vec3 MirrorPoint(const PlaneRecord& Plane, const Vec3& P);

// Everything up to and including the last backslash; empty when there is none.
std::string GetFolder(const std::string& Path);

// A managed texture on the current engine's device from an image file (BMP, PNG, TGA, JPEG): ColorKey 0 for
// none, MipLevels 0 for a full chain. None on any failure (no device, missing or unreadable file).
gfx::TexturePtr TextureFromFile(const std::string& File, PackedColor ColorKey, std::int32_t MipLevels,
                                bool EnableEdit);

} // namespace kl::mdlMain
