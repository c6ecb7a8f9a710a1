#include "storage/run_log.h"

#include <string>

#include "monitor/monitor_controls.h"
#include "storage/data_dir.h"
#include "storage/date_time.h"
#include "storage/file_io.h"
#include "support/charset.h"
#include "support/texts.h"

namespace lumirack {

void SaveRunLog(Window& monitor) {
  if (monitor.GetText(monitor::kResultsBox).empty()) return;
  // Two closings in one second give one name; the later log replaces the earlier.
  const std::string name = std::string(texts::kRunLogPrefix) + AnsiToUtf8(FormatDateTime()) +
                           std::string(texts::kRunLogSuffix);
  WriteWholeFile(DataDirectory() / name, monitor.GetText(monitor::kResultsBox));
}

}  // namespace lumirack
