// The list of platform calls a recording device saw, each with its arguments as numbers, and the
// queries tests use to find them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kl::gfx {

struct Call {
    std::string name;
    // Integers, codes and floats alike; matrices, colours and records are spread out field by field.
    std::vector<double> args;
    // Vertex bytes and indices of the draws from memory, copied as they were handed over.
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> indices;
    std::string ToString() const;

    // The copied vertex bytes read as records of a vertex type.
    template <class T> std::vector<T> DataAs() const {
        std::vector<T> out(data.size() / sizeof(T));
        if (!out.empty()) std::memcpy(out.data(), data.data(), out.size() * sizeof(T));
        return out;
    }
};

class CallLog {
  public:
    void Add(std::string name, std::vector<double> args);
    void Add(Call call) { calls_.push_back(std::move(call)); }
    const std::vector<Call>& Calls() const { return calls_; }
    void Clear() { calls_.clear(); }

    std::size_t Count(std::string_view name) const;
    // Calls of that name whose first arguments equal prefix (an empty prefix matches every call).
    std::vector<Call> Find(std::string_view name, const std::vector<double>& prefix = {}) const;
    std::size_t CountWith(std::string_view name, const std::vector<double>& prefix) const {
        return Find(name, prefix).size();
    }
    // The last call of that name (with that prefix), or nullptr.
    const Call* Last(std::string_view name, const std::vector<double>& prefix = {}) const;
    // Position to pass to Since: the calls made after now.
    std::size_t Mark() const { return calls_.size(); }
    CallLog Since(std::size_t mark) const;
    // The names in order, for comparing sequences.
    std::vector<std::string> Names() const;
    std::string Dump() const;

  private:
    std::vector<Call> calls_;
};

} // namespace kl::gfx
