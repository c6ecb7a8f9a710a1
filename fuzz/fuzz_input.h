#pragma once

// The fuzz targets read their input as fields split on NUL bytes: a Text never holds a NUL, so
// every field is a valid Text and a seed file can be written by hand (printf 'a\0b').

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace lumirack::fuzz {

// At least `count` fields; the missing ones are empty.
inline std::vector<std::string> Fields(const std::uint8_t* data, std::size_t size,
                                       std::size_t count) {
  std::vector<std::string> fields;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (;;) {
    const std::size_t nul = rest.find('\0');
    fields.emplace_back(rest.substr(0, nul));
    if (nul == std::string_view::npos) break;
    rest.remove_prefix(nul + 1);
  }
  if (fields.size() < count) fields.resize(count);
  return fields;
}

// The first byte of a field as a small number, for flags and start positions.
inline int Small(const std::string& field) {
  return field.empty() ? 0 : static_cast<signed char>(field[0]);
}

// A property that must hold for every input: a failure is a finding, reported as a crash.
inline void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace lumirack::fuzz
