#include "storage/ini_file.h"

#include <optional>
#include <string_view>
#include <vector>

#include "storage/file_io.h"
#include "support/charset.h"

namespace lumirack {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool HoldsLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The last `c` that starts a character: in GBK a "]" can be the second byte of a character.
std::size_t LastAtBoundary(std::string_view s, char c, bool gbk) {
  if (!gbk) return s.rfind(c);
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] == c) found = i;
    i += (IsLeadByte(s[i]) && i + 1 < s.size()) ? 2 : 1;
  }
  return found;
}

// At most `limit` bytes, cut before a character that would not fit whole.
Text CutToLimit(Text text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t i = 0;
  while (i < limit) {
    const std::size_t width = (IsLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
    if (i + width > limit) break;
    i += width;
  }
  text.resize(i);
  return text;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  std::size_t begin = 0;       // first byte
  std::size_t contentEnd = 0;  // before the CR LF, LF or final CR
  std::size_t end = 0;         // after the line end
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, blanks trimmed
  std::string_view value;  // key value, blanks trimmed
};

std::vector<Line> ParseLines(std::string_view content, std::size_t start, bool gbk) {
  std::vector<Line> lines;
  std::size_t pos = start;
  while (pos < content.size()) {
    Line line;
    line.begin = pos;
    const std::size_t lf = content.find('\n', pos);
    line.end = lf == std::string_view::npos ? content.size() : lf + 1;
    line.contentEnd = lf == std::string_view::npos ? content.size() : lf;
    if (line.contentEnd > line.begin && content[line.contentEnd - 1] == '\r') --line.contentEnd;
    pos = line.end;

    const std::string_view text =
        TrimBlanks(content.substr(line.begin, line.contentEnd - line.begin));
    if (text.empty() || text.front() == ';') {
      line.kind = LineKind::kOther;
    } else if (text.front() == '[') {
      const std::size_t close = LastAtBoundary(text, ']', gbk);
      if (close != std::string_view::npos && close > 0) {
        line.kind = LineKind::kSection;
        line.name = TrimBlanks(text.substr(1, close - 1));
      }
    } else {
      line.kind = LineKind::kKey;
      // "=" (0x3D) is never the second byte of a character, in GBK or UTF-8.
      const std::size_t equals = text.find('=');
      line.name = TrimBlanks(text.substr(0, equals));
      if (equals != std::string_view::npos) line.value = TrimBlanks(text.substr(equals + 1));
    }
    lines.push_back(line);
  }
  return lines;
}

// Index of the first section line with this name, or lines.size().
std::size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kSection && EqualsIgnoreAsciiCase(lines[i].name, section)) {
      return i;
    }
  }
  return lines.size();
}

// Index of the first key line with this name in the section that starts at `sectionLine`.
std::size_t FindKey(const std::vector<Line>& lines, std::size_t sectionLine, std::string_view key) {
  for (std::size_t i = sectionLine + 1; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kSection) break;
    if (lines[i].kind == LineKind::kKey && EqualsIgnoreAsciiCase(lines[i].name, key)) return i;
  }
  return lines.size();
}

}  // namespace

IniFile::IniFile(std::string content) : content_(std::move(content)) {
  utf8_ = std::string_view(content_).starts_with(kByteOrderMark);
}

IniFile IniFile::Load(const std::filesystem::path& path) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (bytes) return IniFile(std::move(*bytes));
  IniFile file;
  std::error_code error;
  file.writable_ = !std::filesystem::exists(std::filesystem::symlink_status(path, error));
  return file;
}

Text IniFile::Get(const Text& section, const Text& key) const {
  const std::vector<Line> lines = ParseLines(content_, utf8_ ? kByteOrderMark.size() : 0, !utf8_);
  const std::size_t s = FindSection(lines, utf8_ ? AnsiToUtf8(section) : section);
  if (s == lines.size()) return {};
  const std::size_t k = FindKey(lines, s, utf8_ ? AnsiToUtf8(key) : key);
  if (k == lines.size()) return {};

  Text value(lines[k].value);
  if (utf8_) value = Utf8ToAnsi(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return CutToLimit(std::move(value), kIniValueLimit);
}

bool IniFile::Set(const Text& section, const Text& key, const Text& value) {
  if (HoldsLineBreakOrNul(section) || HoldsLineBreakOrNul(key) || HoldsLineBreakOrNul(value) ||
      TrimBlanks(key).empty() || key.find('=') != Text::npos ||
      LastAtBoundary(section, ']', true) != Text::npos) {
    return false;
  }
  const std::string fileSection = utf8_ ? AnsiToUtf8(section) : section;
  const std::string fileKey = utf8_ ? AnsiToUtf8(key) : key;
  const std::string fileValue = utf8_ ? AnsiToUtf8(value) : value;
  const std::size_t start = utf8_ ? kByteOrderMark.size() : 0;
  const std::vector<Line> lines = ParseLines(content_, start, !utf8_);

  const std::size_t s = FindSection(lines, fileSection);
  if (s == lines.size()) {
    std::string added;
    if (content_.size() > start && content_.back() != '\n') {
      added = content_.back() == '\r' ? "\n" : kLineEnd;
    }
    added += "[" + fileSection + "]" + std::string(kLineEnd);
    added += fileKey + "=" + fileValue + std::string(kLineEnd);
    content_ += added;
    changed_ = true;
    return true;
  }

  const std::size_t k = FindKey(lines, s, fileKey);
  if (k != lines.size()) {
    const Line& line = lines[k];
    const std::string replacement = std::string(line.name) + "=" + fileValue;
    if (std::string_view(content_).substr(line.begin, line.contentEnd - line.begin) !=
        replacement) {
      content_.replace(line.begin, line.contentEnd - line.begin, replacement);
      changed_ = true;
    }
    return true;
  }

  // After the section's last non-blank line, so blank lines before the next section stay there.
  std::size_t last = s;
  for (std::size_t i = s + 1; i < lines.size() && lines[i].kind != LineKind::kSection; ++i) {
    if (!TrimBlanks(std::string_view(content_).substr(lines[i].begin,
                                                      lines[i].contentEnd - lines[i].begin))
             .empty()) {
      last = i;
    }
  }
  const Line& after = lines[last];
  std::string added;
  if (content_[after.end - 1] != '\n') {
    added = content_[after.end - 1] == '\r' ? "\n" : kLineEnd;
  }
  added += fileKey + "=" + fileValue + std::string(kLineEnd);
  content_.insert(after.end, added);
  changed_ = true;
  return true;
}

bool IniFile::Save(const std::filesystem::path& path) const {
  return writable_ && WriteWholeFile(path, content_);
}

Text ReadIniValue(const std::filesystem::path& path, const Text& section, const Text& key) {
  return IniFile::Load(path).Get(section, key);
}

bool WriteIniValue(const std::filesystem::path& path, const Text& section, const Text& key,
                   const Text& value) {
  IniFile file = IniFile::Load(path);
  if (!file.Set(section, key, value)) return false;
  return !file.Changed() || file.Save(path);
}

Text EscapeIniValue(const Text& value) {
  if (!HoldsLineBreakOrNul(value) && UnescapeIniValue(value) == value) return value;
  Text out;
  out.reserve(value.size() + value.size() / 8 + 2);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (IsLeadByte(c) && i + 1 < value.size()) {
      const char next = value[i + 1];
      if (next == '\r' || next == '\n') {
        out += '?';  // a lead byte without its second byte: invalid GBK
        continue;
      }
      out += c;
      out += next;
      ++i;
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

Text UnescapeIniValue(const Text& stored) {
  Text out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const char c = stored[i];
    if (IsLeadByte(c) && i + 1 < stored.size()) {
      out += c;
      out += stored[++i];
      continue;
    }
    if (c == '\\' && i + 1 < stored.size()) {
      const char next = stored[i + 1];
      if (next == 'r' || next == 'n' || next == '\\') {
        out += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace lumirack
