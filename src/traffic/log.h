// The statistics log: CSV, a header line, then one row per frame-rate window.
#pragma once

#include "traffic/statistics.h"

#include <string>

namespace kl {

// Column names, ending in a line break.
std::string traffic_log_header();
// One row of the figures, ending in a line break. Numbers have a point as decimal separator whatever
// the locale; the mean speed of an empty lane is an empty field.
std::string traffic_log_row(const TrafficFigures& F);

// A number with a fixed count of decimals and a point; empty when not finite.
std::string fixed_decimals(double value, int decimals);

} // namespace kl
