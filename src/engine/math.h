// The one math library every part of the program uses: vectors, matrices and planes in single
// precision, left-handed, row vectors (A x B applies A first).
#pragma once

#include "engine/records.h"

#include <optional>

namespace kl {

Vec3 Vec3Add(const Vec3& a, const Vec3& b);
Vec3 Vec3Subtract(const Vec3& a, const Vec3& b);
Vec3 Vec3Scale(const Vec3& v, float s);
Vec3 Vec3Lerp(const Vec3& a, const Vec3& b, float s);
Vec3 Vec3Cross(const Vec3& a, const Vec3& b);
float Vec3Dot(const Vec3& a, const Vec3& b);
float Vec3Length(const Vec3& v);
// A zero vector stays zero instead of turning into NaNs.
Vec3 Vec3Normalize(const Vec3& v);
// Point transform including the translation row, divided by w.
Vec3 Vec3TransformCoord(const Vec3& v, const Matrix4& m);

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
    return Vec3Add(a, b);
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return Vec3Subtract(a, b);
}
inline Vec3 operator*(const Vec3& v, float s) {
    return Vec3Scale(v, s);
}
inline bool operator==(const Vec3& a, const Vec3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

Matrix4 MatrixIdentity();
Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b);
inline Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
    return MatrixMultiply(a, b);
}
Matrix4 MatrixTranslation(float x, float y, float z);
Matrix4 MatrixRotationX(float a);
Matrix4 MatrixRotationY(float a);
Matrix4 MatrixRotationZ(float a);
Matrix4 MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);
Matrix4 MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf);

Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3);
// Scales the plane so that |(a, b, c)| = 1.
Plane PlaneNormalize(const Plane& p);
// a*x + b*y + c*z + d: the side of the plane a point lies on.
float PlaneDotCoord(const Plane& p, const Vec3& v);
// No result when the line is parallel to the plane.
std::optional<Vec3> PlaneIntersectLine(const Plane& p, const Vec3& v1, const Vec3& v2);

// Flattens onto the plane along rays from the point L (w = 1) or along the direction L (w = 0).
Matrix4 MatrixShadow(float lx, float ly, float lz, float lw, const Plane& plane);
Matrix4 MatrixReflect(const Plane& plane);

} // namespace kl
