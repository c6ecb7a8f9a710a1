#include "monitor/list_normalise.h"

namespace lumirack {

Text NormaliseList(const Text& list) {
  // No trail byte of a two-byte character is CR or LF, so a byte search finds only line ends.
  const std::size_t lastBreak = list.rfind("\r\n");
  const std::size_t lastLine = lastBreak == Text::npos ? 0 : lastBreak + 2;
  const Text entry = TrimTrailingSpaces(list.substr(lastLine));
  if (entry.empty()) return list;
  const std::size_t end = lastLine + entry.size();
  return list.substr(0, end) + "\r\n" + list.substr(end);
}

void NormaliseListBox(Window& window, std::string_view box) {
  const Text list = window.GetText(box);
  const Text normalised = NormaliseList(list);
  if (normalised != list) window.SetText(box, normalised);
}

}  // namespace lumirack
