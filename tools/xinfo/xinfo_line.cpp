// Summary line of xinfo. Numbers are written in their shortest exact form, so "10" rather than
// "10.000000", and the same in every locale.
#include "xinfo/xinfo_line.h"

#include <algorithm>
#include <charconv>

namespace kl::tools {
namespace {

std::string number(float v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : "?";
}

std::string point(const kl::platform::Float3& p) {
    return "(" + number(p.x) + "," + number(p.y) + "," + number(p.z) + ")";
}

} // namespace

std::string XInfoLine(const std::string& file, const kl::platform::XFileResult& result) {
    if (!result.mesh) return file + ": error: " + result.error;
    const kl::platform::MeshData& m = *result.mesh;
    std::string textures;
    for (const auto& mat : m.materials) {
        if (mat.texture.empty()) continue;
        if (!textures.empty()) textures += ",";
        textures += mat.texture;
    }
    kl::platform::Float3 lo, hi;
    if (!m.positions.empty()) lo = hi = m.positions.front();
    for (const auto& p : m.positions) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    return file + ": vertices=" + std::to_string(m.positions.size()) +
           " faces=" + std::to_string(m.faces.size()) + " materials=" + std::to_string(m.materials.size()) +
           " textures=" + textures + " bounds=" + point(lo) + "-" + point(hi);
}

} // namespace kl::tools
