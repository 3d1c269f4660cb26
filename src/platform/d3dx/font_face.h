// The system font: a face found by name through fontconfig, opened with FreeType and sized to a
// cell height, with its glyphs rasterised once and kept. Device fonts are built from it.
#pragma once

#include "platform/status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kl::d3dx {

struct FontDescription {
    std::string FaceName;    // empty: the system's default face
    std::int32_t Height = 0; // > 0 cell height in pixels, < 0 character (em) height, 0 a default
    std::int32_t Weight = 400;
    bool Italic = false;
    bool Underline = false;
};

// Cell height used for a height of 0.
constexpr int kDefaultCellHeight = 16;
// Glyphs whose image would be larger than this on a side keep their advance but are not drawn.
constexpr int kMaxGlyphSide = 1024;

struct GlyphImage {
    int advance = 0;       // pixels from this pen position to the next
    int left = 0, top = 0; // image corner relative to the pen on the baseline (top counts upwards)
    int width = 0, height = 0;
    std::vector<std::uint8_t> coverage; // width x height, row after row, 0..255
};

struct FaceMetrics {
    int ascent = 0, descent = 0; // pixels above and below the baseline; their sum is the cell height
    int underline_top = 0;       // first underline row, counted downwards from the baseline
    int underline_thickness = 1;
    int CellHeight() const { return ascent + descent; }
};

// One opened face at one size; shared by the system font and the device fonts built from it, so
// that a device font keeps working after its system font is gone.
class FontFace {
  public:
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const FaceMetrics& Metrics() const { return metrics_; }
    // The glyph of a code point (the face's missing-glyph image when it has none); rasterised on first use.
    const GlyphImage& Glyph(char32_t code_point);
    const std::string& FamilyName() const { return family_; }
    const std::string& FilePath() const { return file_; }
    // What the face is made to look like: its own weight and slant, or those synthesised for it.
    int Weight() const { return weight_; }
    bool Italic() const { return italic_; }
    bool SyntheticBold() const { return synthetic_bold_; }
    bool SyntheticItalic() const { return synthetic_italic_; }
    bool Underline() const { return underline_; }

  private:
    friend class SystemFont;
    struct Impl;
    FontFace() = default;

    std::unique_ptr<Impl> impl_;
    FaceMetrics metrics_;
    std::string family_, file_;
    int weight_ = 400;
    bool italic_ = false, synthetic_bold_ = false, synthetic_italic_ = false, underline_ = false;
};

class SystemFont {
  public:
    // Finds and opens the face that best matches the description; NotFound when there is no usable
    // face at all, InvalidCall for a size the face cannot take.
    static platform::Status Create(const FontDescription& description, std::unique_ptr<SystemFont>* font);
    ~SystemFont();
    SystemFont(const SystemFont&) = delete;
    SystemFont& operator=(const SystemFont&) = delete;

    const FontDescription& Description() const { return description_; }
    const std::shared_ptr<FontFace>& Face() const { return face_; }

    // System fonts alive in the process, for checking that callers release what they make.
    static int LiveCount();

  private:
    SystemFont(FontDescription description, std::shared_ptr<FontFace> face);
    FontDescription description_;
    std::shared_ptr<FontFace> face_;
};

} // namespace kl::d3dx
