// System fonts over fontconfig (which face a name means) and FreeType (outlines to coverage images).
#include "platform/d3dx/font_face.h"

#include <algorithm>
#include <cmath>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <unordered_map>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

namespace kl::d3dx {

using platform::Status;

namespace {

int live_system_fonts = 0;

struct FtLibrary {
    FT_Library library = nullptr;
    ~FtLibrary() {
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

// A fontconfig configuration of our own rather than the library's process-wide default, which is
// never freed (and so shows as a leak under LeakSanitizer). Loading one takes milliseconds, so it is
// kept until the process ends.
struct FcSetup {
    FcConfig* config = nullptr;
    ~FcSetup() {
        if (config != nullptr) FcConfigDestroy(config);
    }
};

std::shared_ptr<FcSetup> shared_config() {
    static std::shared_ptr<FcSetup> setup;
    if (setup) return setup;
    auto fresh = std::make_shared<FcSetup>();
    fresh->config = FcInitLoadConfigAndFonts();
    if (fresh->config == nullptr) return nullptr;
    setup = fresh;
    return setup;
}

// One FreeType library for all faces, gone with the last of them.
std::shared_ptr<FtLibrary> shared_library() {
    static std::weak_ptr<FtLibrary> weak;
    std::shared_ptr<FtLibrary> lib = weak.lock();
    if (lib) return lib;
    lib = std::make_shared<FtLibrary>();
    if (FT_Init_FreeType(&lib->library) != 0) {
        lib->library = nullptr;
        return nullptr;
    }
    weak = lib;
    return lib;
}

struct FaceChoice {
    std::string file, family;
    int index = 0;
    int weight = 400; // OpenType scale
    bool italic = false;
};

// What fontconfig offers for the description: the name through its aliases ("Arial" gives a
// metric-compatible face), the nearest weight and slant, outline faces preferred.
bool choose_face(FcConfig* config, const FontDescription& d, int weight, FaceChoice* out) {
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return false;
    if (!d.FaceName.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(d.FaceName.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, d.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    bool found = false;
    if (FcConfigSubstitute(config, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
            FcChar8* file = nullptr;
            FcChar8* family = nullptr;
            int value = 0;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
                out->file = reinterpret_cast<const char*>(file);
                if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family != nullptr)
                    out->family = reinterpret_cast<const char*>(family);
                if (FcPatternGetInteger(match, FC_INDEX, 0, &value) == FcResultMatch) out->index = value;
                if (FcPatternGetInteger(match, FC_WEIGHT, 0, &value) == FcResultMatch)
                    out->weight = FcWeightToOpenType(value);
                if (FcPatternGetInteger(match, FC_SLANT, 0, &value) == FcResultMatch)
                    out->italic = value != FC_SLANT_ROMAN;
                found = true;
            }
            FcPatternDestroy(match);
        }
    }
    FcPatternDestroy(pattern);
    return found;
}

int round_to_int(double v) {
    return static_cast<int>(std::lround(v));
}

} // namespace

struct FontFace::Impl {
    std::shared_ptr<FcSetup> fonts;     // the configuration the face was found in
    std::shared_ptr<FtLibrary> library; // outlives the face
    FT_Face face = nullptr;
    std::unordered_map<FT_UInt, GlyphImage> glyphs;
    GlyphImage nothing; // what control characters draw
    ~Impl() {
        if (face != nullptr) FT_Done_Face(face);
    }
};

FontFace::~FontFace() = default;

const GlyphImage& FontFace::Glyph(char32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return impl_->nothing;
    FT_Face face = impl_->face;
    const FT_UInt index = FT_Get_Char_Index(face, cp);
    // Keyed by glyph: every character the face lacks shares the missing-glyph image.
    const auto [it, fresh] = impl_->glyphs.try_emplace(index);
    GlyphImage& g = it->second;
    if (!fresh) return g;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return g;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (synthetic_italic_) FT_GlyphSlot_Oblique(slot);
        if (synthetic_bold_) FT_GlyphSlot_Embolden(slot);
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        if ((box.xMax - box.xMin) / 64 > kMaxGlyphSide || (box.yMax - box.yMin) / 64 > kMaxGlyphSide) {
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            return g;
        }
    }
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return g;
    const FT_Bitmap& bm = slot->bitmap;
    const int w = static_cast<int>(bm.width), h = static_cast<int>(bm.rows);
    if (w <= 0 || h <= 0 || w > kMaxGlyphSide || h > kMaxGlyphSide) return g;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return g;
    g.width = w;
    g.height = h;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.coverage.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const int pitch = bm.pitch;
    const int grays = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
    for (int y = 0; y < h; ++y) {
        // A negative pitch means the rows are stored from the bottom up.
        const unsigned char* row = bm.buffer + (pitch >= 0 ? static_cast<std::ptrdiff_t>(y) * pitch
                                                           : static_cast<std::ptrdiff_t>(h - 1 - y) * -pitch);
        std::uint8_t* dst = g.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        for (int x = 0; x < w; ++x) {
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                dst[x] = (row[x / 8] & (0x80 >> (x % 8))) != 0 ? 255 : 0;
            else
                dst[x] = static_cast<std::uint8_t>(std::min(255, row[x] * 255 / grays));
        }
    }
    return g;
}

SystemFont::SystemFont(FontDescription description, std::shared_ptr<FontFace> face)
    : description_(std::move(description)), face_(std::move(face)) {
    ++live_system_fonts;
}

SystemFont::~SystemFont() {
    --live_system_fonts;
}

int SystemFont::LiveCount() {
    return live_system_fonts;
}

Status SystemFont::Create(const FontDescription& d, std::unique_ptr<SystemFont>* font) {
    if (font == nullptr) return Status::InvalidCall;
    font->reset();
    // Weight 0 lets the system choose: the regular one.
    const int weight = d.Weight <= 0 ? 400 : std::min(d.Weight, 1000);
    std::shared_ptr<FcSetup> fonts = shared_config();
    if (!fonts) return Status::NotFound;
    FaceChoice choice;
    if (!choose_face(fonts->config, d, weight, &choice)) return Status::NotFound;
    std::shared_ptr<FtLibrary> library = shared_library();
    if (!library) return Status::OutOfMemory;

    std::shared_ptr<FontFace> face(new FontFace);
    face->impl_ = std::make_unique<FontFace::Impl>();
    face->impl_->fonts = fonts;
    face->impl_->library = library;
    FT_Face& ft = face->impl_->face;
    if (FT_New_Face(library->library, choice.file.c_str(), choice.index, &ft) != 0) {
        ft = nullptr;
        return Status::NotFound;
    }
    if (!FT_IS_SCALABLE(ft)) return Status::NotFound;
    FT_Select_Charmap(ft, FT_ENCODING_UNICODE);

    // The cell (ascent + descent) is measured with the face's Windows metrics where it has them.
    const double em = ft->units_per_EM > 0 ? ft->units_per_EM : 2048.0;
    double above = ft->ascender, below = -static_cast<double>(ft->descender);
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
        os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        above = os2->usWinAscent;
        below = os2->usWinDescent;
    }
    if (above + below <= 0) {
        above = em * 0.8;
        below = em * 0.2;
    }
    const std::int64_t height = d.Height == 0 ? kDefaultCellHeight : d.Height;
    FaceMetrics& m = face->metrics_;
    double ppem = 0;
    if (height > 0) {
        ppem = static_cast<double>(height) * em / (above + below);
        m.ascent = round_to_int(static_cast<double>(height) * above / (above + below));
        m.descent = static_cast<int>(height) - m.ascent;
    } else {
        ppem = -static_cast<double>(height);
        m.ascent = round_to_int(above * ppem / em);
        m.descent = round_to_int(below * ppem / em);
    }
    // FreeType takes sizes up to 0xFFFF pixels; anything near that is beyond drawing anyway.
    if (ppem < 1.0 / 64 || ppem > 16384) return Status::InvalidCall;
    if (FT_Set_Char_Size(ft, 0, static_cast<FT_F26Dot6>(std::lround(ppem * 64)), 72, 72) != 0)
        return Status::InvalidCall;

    const double scale = ppem / em;
    m.underline_thickness = std::max(1, round_to_int(ft->underline_thickness * scale));
    const double centre = -ft->underline_position * scale; // downwards from the baseline
    m.underline_top = std::max(0, round_to_int(centre - m.underline_thickness / 2.0));
    if (m.descent > m.underline_thickness)
        m.underline_top = std::min(m.underline_top, m.descent - m.underline_thickness);

    face->family_ = choice.family;
    face->file_ = choice.file;
    // A face lighter or more upright than asked for is made bold or slanted by FreeType.
    face->synthetic_bold_ = weight >= 600 && choice.weight < 600;
    face->synthetic_italic_ = d.Italic && !choice.italic;
    face->weight_ = face->synthetic_bold_ ? weight : choice.weight;
    face->italic_ = d.Italic || choice.italic;
    face->underline_ = d.Underline;
    font->reset(new SystemFont(d, std::move(face)));
    return Status::Ok;
}

} // namespace kl::d3dx
