// The car-following model's parameters as a small text file a person can read and edit: a comment
// line, then one `name = value` line per parameter, in metres and seconds.
#pragma once

#include "traffic/idm.h"

#include <string>
#include <string_view>
#include <vector>

namespace kl {

// A parameter as the file names it, with the range a value must lie in to be taken.
struct ParameterField {
    const char* Name;
    double IdmParameters::*Member;
    double Low, High;
};
const std::vector<ParameterField>& parameter_fields();

// The whole file for P; reading it back gives P exactly.
std::string parameter_text(const IdmParameters& P);

// A line that could not be used: its number, counted from 1, and why ("unknown name \"speed\"").
struct ParameterProblem {
    std::size_t Line;
    std::string What;
};

// Takes every line it can read into P, which keeps its values for the rest; one entry per line it
// could not use, in file order. Blank lines and lines starting with # are skipped.
std::vector<ParameterProblem> read_parameter_text(std::string_view text, IdmParameters& P);

} // namespace kl
