// Record constructors and small geometric helpers of the engine module.
#include "engine/mdl_main.h"

#include "engine/math.h"

namespace kl::mdlMain {

namespace {
std::uint32_t low_byte(std::int32_t v) {
    return static_cast<std::uint32_t>(v) & 0xFFu;
}
float unit(std::int32_t byte) {
    return static_cast<float>(low_byte(byte)) / 255.0f;
}
} // namespace

Vec2 MakeVec2(float x, float y) {
    return {x, y};
}
Vec3 MakeVec3(float x, float y, float z) {
    return {x, y, z};
}

ScreenVertex MakeScreenVertex(float x, float y, PackedColor color, float tu, float tv) {
    return {x, y, 0.0f, 1.0f, color, tu, tv};
}

PackedColor ColorRGB(std::int32_t r, std::int32_t g, std::int32_t b) {
    return ColorARGB(255, r, g, b);
}

PackedColor ColorARGB(std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b) {
    return (low_byte(a) << 24) | (low_byte(r) << 16) | (low_byte(g) << 8) | low_byte(b);
}

Material MakeMaterial(std::int32_t DiffuseR, std::int32_t DiffuseG, std::int32_t DiffuseB,
                      std::int32_t EmissiveR, std::int32_t EmissiveG, std::int32_t EmissiveB, float Power,
                      std::int32_t Transparency) {
    Material m;
    m.Diffuse = {unit(DiffuseR), unit(DiffuseG), unit(DiffuseB), 1.0f - unit(Transparency)};
    m.Ambient = {unit(DiffuseR), unit(DiffuseG), unit(DiffuseB), 1.0f};
    m.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.Emissive = {unit(EmissiveR), unit(EmissiveG), unit(EmissiveB), 1.0f};
    m.Power = Power;
    return m;
}

DisplayMode MakeDisplayMode(std::int32_t Width, std::int32_t Height, std::int32_t Bpp) {
    return {Width, Height, Bpp == 32 ? FmtX8R8G8B8 : FmtR5G6B5};
}

Matrix4 RotationFromAngles(const Vec3& Angle, const Vec3& Order) {
    enum class Axis { X, Y, Z };
    Matrix4 m = MatrixIdentity();
    Axis selector = Axis::X;
    for (int step = 0; step < 3; ++step) {
        const auto i = static_cast<float>(step);
        if (Order.x == i)
            selector = Axis::X;
        else if (Order.y == i)
            selector = Axis::Y;
        else if (Order.z == i)
            selector = Axis::Z;

        if (selector == Axis::X && Angle.x != 0.0f)
            m = m * MatrixRotationX(Angle.x);
        else if (selector == Axis::Y && Angle.y != 0.0f)
            m = m * MatrixRotationY(Angle.y);
        else if (selector == Axis::Z && Angle.z != 0.0f)
            m = m * MatrixRotationZ(Angle.z);
    }
    return m;
}

Vec3 TriangleNormal(const Vec3& A, const Vec3& B, const Vec3& C) {
    return Vec3Normalize(Vec3Cross(B - A, C - B));
}

Vec3 MirrorPoint(const PlaneRecord& Plane, const Vec3& P) {
    const Vec3 Q = P + Plane.Normal;
    // A line parallel to the plane has no intersection; the origin stands in for it.
    const Vec3 X = PlaneIntersectLine(Plane.Plane, P, Q).value_or(Vec3{0, 0, 0});
    return X + (X - P);
}

std::string GetFolder(const std::string& Path) {
    const auto pos = Path.rfind('\\');
    if (pos == std::string::npos) return {};
    return Path.substr(0, pos + 1);
}

} // namespace kl::mdlMain
