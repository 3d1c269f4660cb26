// Number formats of the status line. The line is rebuilt at most twice a second, so none of this
// runs every frame.
#include "scene/hud_line.h"

#include <cmath>
#include <cstdio>
#include <langinfo.h>
#include <locale.h>

namespace kl::scene {

namespace {
std::string with_separator(std::string text, char separator) {
    for (char& c : text) {
        if (c == '.') c = separator;
    }
    return text;
}
} // namespace

char UserDecimalSeparator() {
    // Asks the user's regional settings without changing the process locale, which number parsing
    // elsewhere must not depend on.
    locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr)) return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    const char separator = (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') ? radix[0] : '.';
    freelocale(user);
    return separator;
}

std::string FormatFixed(double value, int decimals, char separator) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return with_separator(buf, separator);
}

std::string FormatSingle(float value, char separator) {
    if (value == 0.0f) return "0";
    if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
    return with_separator(buf, separator);
}

std::string BuildHudLine(double Rate, std::int16_t Gear, const Vec3& Position, float PlayerSpeed,
                         char separator) {
    std::string line = FormatFixed(Rate, 2, separator);
    line += " fps ";
    line += std::to_string(Gear);
    line += " ";
    line += FormatSingle(Position.x, separator);
    line += "  ";
    line += FormatSingle(Position.y, separator);
    line += "  ";
    line += FormatSingle(Position.z, separator);
    line += " speed ";
    line += FormatFixed(static_cast<double>(PlayerSpeed) * 3.6, 1, separator);
    line += " km/h";
    return line;
}

} // namespace kl::scene
