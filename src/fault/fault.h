// The system's own run-time errors (division by zero, an index outside a fixed table, a text that is
// not a number). Simulation code lets them reach its caller; the scene loop skips the failing step.
#pragma once

#include <iterator>
#include <stdexcept>
#include <string>

namespace kl {

class Fault : public std::runtime_error {
  public:
    explicit Fault(const std::string& what) : std::runtime_error(what) {}
};

// Index into a fixed-size table, raising a Fault instead of touching memory outside it.
template <typename Table> auto& checked_at(Table& table, long long index) {
    if (index < 0 || static_cast<unsigned long long>(index) >= std::size(table))
        throw Fault("Subscript out of range");
    return table[static_cast<std::size_t>(index)];
}

} // namespace kl
