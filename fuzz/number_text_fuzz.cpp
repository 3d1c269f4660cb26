// Any bytes as a typed number: the conversions either give a value in range or raise kl::Fault,
// and the integer results agree with each other and with the rounded double value.
#include "engine/number_text.h"
#include "fault/fault.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char separator : {'.', ','}) {
        double value = 0;
        try {
            value = kl::parse_number_text(text, separator);
        } catch (const kl::Fault&) {
            continue;
        }
        if (!std::isfinite(value)) std::abort();
        const double rounded = std::nearbyint(value);
        try {
            if (kl::number_text_to_int32(text, separator) != rounded) std::abort();
        } catch (const kl::Fault&) {
            if (std::fabs(rounded) < 2147483647.0) std::abort();
        }
        try {
            if (kl::number_text_to_int16(text, separator) != rounded) std::abort();
        } catch (const kl::Fault&) {
            if (std::fabs(rounded) < 32767.0) std::abort();
        }
        try {
            if (!std::isfinite(kl::number_text_to_single(text, separator))) std::abort();
        } catch (const kl::Fault&) {
            if (std::fabs(value) < 3.4e38) std::abort();
        }
    }
    return 0;
}
