#pragma once

// The settings files' INI form, read and written as the Windows private-profile functions do, so
// files move between the two programs unchanged:
// - GBK text; lines end in CR LF (LF alone is read too); a UTF-8 byte-order mark at the start
//   makes the file UTF-8, which is read and written as such.
// - "[name]" starts a section; "key=value" is a key line; a line starting with ";" is a comment.
//   Names match without regard to ASCII case; the first matching section and key count.
// - Reading gives the value without the blanks around it and without one pair of enclosing
//   quotes (single or double), at most kIniValueLimit bytes, never a split character.
// - Writing an existing key replaces its line in place (its line end kept); a missing key goes
//   after the last non-blank line of its section; a missing section goes at the end of the file.
//   New lines end in CR LF. Every other byte of the file stays as it was.

#include <cstddef>
#include <filesystem>
#include <string>

#include "support/text.h"

namespace lumirack {

// What a 10240-byte read buffer holds, less the terminating NUL.
inline constexpr std::size_t kIniValueLimit = 10239;

class IniFile {
 public:
  // The bytes as on disk (a byte-order mark included).
  explicit IniFile(std::string content = {});

  // A missing file loads as an empty one. A file that exists but cannot be read loads empty and
  // refuses to be saved, so its content is never replaced by a fragment.
  static IniFile Load(const std::filesystem::path& path);

  // The value, or the empty text when the section or key is missing.
  Text Get(const Text& section, const Text& key) const;

  // False, and nothing changed, for a name or value holding CR, LF or NUL, an empty key, a key
  // holding "=" or a section name holding "]": such a write would add or hide other lines.
  bool Set(const Text& section, const Text& key, const Text& value);

  const std::string& Content() const { return content_; }
  bool Changed() const { return changed_; }

  // Writes the content through a temporary file; false when that failed or the file was
  // unreadable when loaded.
  bool Save(const std::filesystem::path& path) const;

 private:
  std::string content_;
  bool utf8_ = false;
  bool changed_ = false;
  bool writable_ = true;
};

// One read or one write, as the private-profile calls make them. The write leaves the file
// alone when the value is already stored.
Text ReadIniValue(const std::filesystem::path& path, const Text& section, const Text& key);
bool WriteIniValue(const std::filesystem::path& path, const Text& section, const Text& key,
                   const Text& value);

// The form in which the profile stores free text, so that a value with line breaks takes one
// line and cannot add a key: a value without CR or LF, whose unescaping gives it back, is stored
// as it is (what the Windows program would store); any other value is stored with "\" as "\\",
// CR as "\r" and LF as "\n", so the Windows program reads its first line followed by the rest
// on the same line. Unescaping turns those three pairs back and leaves any other "\" alone; a
// "\" that is the second byte of a two-byte character is never part of an escape.
// UnescapeIniValue(EscapeIniValue(v)) == v for every v whose lead bytes are followed by neither
// CR nor LF (invalid GBK; such a lead byte is stored as "?").
Text EscapeIniValue(const Text& value);
Text UnescapeIniValue(const Text& stored);

}  // namespace lumirack
