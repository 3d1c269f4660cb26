// Small facts about the platform's codes: pixel sizes, vertex counts, vertex layouts, known states.
#include "platform/gfx/types.h"

namespace kl::gfx {

int BytesPerPixel(std::int32_t format) {
    switch (format) {
    case FmtA8R8G8B8:
    case FmtX8R8G8B8:
        return 4;
    case FmtR8G8B8:
        return 3;
    case FmtR5G6B5:
    case FmtX1R5G5B5:
    case FmtA1R5G5B5:
    case FmtA4R4G4B4:
    case FmtA8R3G3B2:
    case FmtX4R4G4B4:
        return 2;
    case FmtR3G3B2:
    case FmtA8:
        return 1;
    default:
        return 0;
    }
}

std::int64_t VertexCountFor(std::int32_t type, std::int64_t primitives) {
    if (primitives < 1) return 0;
    switch (type) {
    case PtPointList:
        return primitives;
    case PtLineList:
        return primitives * 2;
    case PtLineStrip:
        return primitives + 1;
    case PtTriangleList:
        return primitives * 3;
    case PtTriangleStrip:
    case PtTriangleFan:
        return primitives + 2;
    default:
        return 0;
    }
}

VertexLayout LayoutOf(Dword fvf_code) {
    VertexLayout l;
    int offset = 0;
    switch (fvf_code & fvf::PositionMask) {
    case fvf::Xyz:
        l.position_size = 3;
        break;
    case fvf::XyzRhw:
        l.position_size = 4;
        l.pretransformed = true;
        break;
    case 0:
        break;
    default: // blend weights: 0x6 .. 0xE carry 1 .. 5 extra floats after the position
        l.position_size = 3;
        offset = 4 * static_cast<int>(((fvf_code & fvf::PositionMask) - 0x4) / 2);
        break;
    }
    if (l.position_size > 0) l.position = 0;
    offset += 4 * l.position_size;
    if (fvf_code & fvf::Normal) {
        l.normal = offset;
        offset += 12;
    }
    if (fvf_code & fvf::PSize) offset += 4;
    if (fvf_code & fvf::Diffuse) {
        l.diffuse = offset;
        offset += 4;
    }
    if (fvf_code & fvf::Specular) {
        l.specular = offset;
        offset += 4;
    }
    const int sets = static_cast<int>((fvf_code & fvf::TexCountMask) >> fvf::TexCountShift);
    if (sets > 0) l.texcoord = offset;
    offset += 8 * sets;
    l.stride = offset;
    return l;
}

bool IsKnownRenderState(std::int32_t c) {
    return (c >= 7 && c <= 10) || (c >= 14 && c <= 16) || c == 19 || c == 20 || (c >= 22 && c <= 30) ||
           (c >= 34 && c <= 38) || c == 40 || c == 47 || c == 48 || (c >= 52 && c <= 60) ||
           (c >= 128 && c <= 137) || (c >= 139 && c <= 143) || (c >= 145 && c <= 148) ||
           (c >= 151 && c <= 168) || c == 170 || c == 171;
}

} // namespace kl::gfx
