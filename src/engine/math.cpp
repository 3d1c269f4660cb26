// Single-precision math with the exact formulas the engine relies on.
#include "engine/math.h"

#include <cmath>

namespace kl {

Vec3 Vec3Add(const Vec3& a, const Vec3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 Vec3Subtract(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 Vec3Scale(const Vec3& v, float s) {
    return {s * v.x, s * v.y, s * v.z};
}

Vec3 Vec3Lerp(const Vec3& a, const Vec3& b, float s) {
    return {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), a.z + s * (b.z - a.z)};
}

Vec3 Vec3Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Vec3Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
float Vec3Length(const Vec3& v) {
    return std::sqrt(Vec3Dot(v, v));
}

Vec3 Vec3Normalize(const Vec3& v) {
    const float len = Vec3Length(v);
    if (len == 0.0f) return {0, 0, 0};
    return {v.x / len, v.y / len, v.z / len};
}

Vec3 Vec3TransformCoord(const Vec3& v, const Matrix4& m) {
    const float x = v.x * m.m11 + v.y * m.m21 + v.z * m.m31 + m.m41;
    const float y = v.x * m.m12 + v.y * m.m22 + v.z * m.m32 + m.m42;
    const float z = v.x * m.m13 + v.y * m.m23 + v.z * m.m33 + m.m43;
    const float w = v.x * m.m14 + v.y * m.m24 + v.z * m.m34 + m.m44;
    if (w == 0.0f) return {x, y, z};
    return {x / w, y / w, z / w};
}

Matrix4 MatrixIdentity() {
    Matrix4 m;
    m.m11 = m.m22 = m.m33 = m.m44 = 1.0f;
    return m;
}

Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.at(i, j) = a.at(i, 0) * b.at(0, j) + a.at(i, 1) * b.at(1, j) + a.at(i, 2) * b.at(2, j) +
                         a.at(i, 3) * b.at(3, j);
        }
    }
    return r;
}

Matrix4 MatrixTranslation(float x, float y, float z) {
    Matrix4 m = MatrixIdentity();
    m.m41 = x;
    m.m42 = y;
    m.m43 = z;
    return m;
}

Matrix4 MatrixRotationX(float a) {
    Matrix4 m = MatrixIdentity();
    const float c = std::cos(a), s = std::sin(a);
    m.m22 = c;
    m.m23 = s;
    m.m32 = -s;
    m.m33 = c;
    return m;
}

Matrix4 MatrixRotationY(float a) {
    Matrix4 m = MatrixIdentity();
    const float c = std::cos(a), s = std::sin(a);
    m.m11 = c;
    m.m13 = -s;
    m.m31 = s;
    m.m33 = c;
    return m;
}

Matrix4 MatrixRotationZ(float a) {
    Matrix4 m = MatrixIdentity();
    const float c = std::cos(a), s = std::sin(a);
    m.m11 = c;
    m.m12 = s;
    m.m21 = -s;
    m.m22 = c;
    return m;
}

Matrix4 MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up) {
    const Vec3 zaxis = Vec3Normalize(at - eye);
    const Vec3 xaxis = Vec3Normalize(Vec3Cross(up, zaxis));
    const Vec3 yaxis = Vec3Cross(zaxis, xaxis);
    Matrix4 m;
    m.m11 = xaxis.x, m.m12 = yaxis.x, m.m13 = zaxis.x, m.m14 = 0;
    m.m21 = xaxis.y, m.m22 = yaxis.y, m.m23 = zaxis.y, m.m24 = 0;
    m.m31 = xaxis.z, m.m32 = yaxis.z, m.m33 = zaxis.z, m.m34 = 0;
    m.m41 = -Vec3Dot(xaxis, eye);
    m.m42 = -Vec3Dot(yaxis, eye);
    m.m43 = -Vec3Dot(zaxis, eye);
    m.m44 = 1;
    return m;
}

Matrix4 MatrixPerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    const float ys = 1.0f / std::tan(fovY / 2.0f);
    const float xs = ys / aspect;
    Matrix4 m;
    m.m11 = xs;
    m.m22 = ys;
    m.m33 = zf / (zf - zn);
    m.m34 = 1.0f;
    m.m43 = -zn * zf / (zf - zn);
    return m;
}

Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3) {
    const Vec3 n = Vec3Normalize(Vec3Cross(p2 - p1, p3 - p1));
    return {n.x, n.y, n.z, -Vec3Dot(n, p1)};
}

Plane PlaneNormalize(const Plane& p) {
    const float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
    if (len == 0.0f) return {0, 0, 0, 0};
    return {p.a / len, p.b / len, p.c / len, p.d / len};
}

float PlaneDotCoord(const Plane& p, const Vec3& v) {
    return p.a * v.x + p.b * v.y + p.c * v.z + p.d;
}

std::optional<Vec3> PlaneIntersectLine(const Plane& p, const Vec3& v1, const Vec3& v2) {
    const Vec3 d = v2 - v1;
    const float denom = p.a * d.x + p.b * d.y + p.c * d.z;
    if (denom == 0.0f) return std::nullopt;
    const float t = PlaneDotCoord(p, v1) / denom;
    return v1 - d * t;
}

Matrix4 MatrixShadow(float lx, float ly, float lz, float lw, const Plane& plane) {
    const Plane p = PlaneNormalize(plane);
    const float P[4] = {p.a, p.b, p.c, p.d};
    const float L[4] = {lx, ly, lz, lw};
    const float k = P[0] * L[0] + P[1] * L[1] + P[2] * L[2] + P[3] * L[3];
    Matrix4 m;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            m.at(i, j) = (i == j ? k : 0.0f) - P[i] * L[j];
    }
    return m;
}

Matrix4 MatrixReflect(const Plane& plane) {
    const Plane p = PlaneNormalize(plane);
    const float a = p.a, b = p.b, c = p.c, d = p.d;
    Matrix4 m;
    m.m11 = 1 - 2 * a * a, m.m12 = -2 * a * b, m.m13 = -2 * a * c, m.m14 = 0;
    m.m21 = -2 * a * b, m.m22 = 1 - 2 * b * b, m.m23 = -2 * b * c, m.m24 = 0;
    m.m31 = -2 * a * c, m.m32 = -2 * b * c, m.m33 = 1 - 2 * c * c, m.m34 = 0;
    m.m41 = -2 * a * d, m.m42 = -2 * b * d, m.m43 = -2 * c * d, m.m44 = 1;
    return m;
}

} // namespace kl
