// Any bytes as the traffic model's parameter file: every value taken is a finite number inside its
// field's range, and what the file then writes reads back exactly, with nothing to report.
#include "traffic/parameter_text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kl::IdmParameters P;
    (void)kl::read_parameter_text(std::string_view(reinterpret_cast<const char*>(data), size), P);
    for (const kl::ParameterField& f : kl::parameter_fields()) {
        const double v = P.*(f.Member);
        if (!std::isfinite(v) || v < f.Low || v > f.High) std::abort();
    }
    kl::IdmParameters back;
    if (!kl::read_parameter_text(kl::parameter_text(P), back).empty() || back != P) std::abort();
    return 0;
}
