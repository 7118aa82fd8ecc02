#include "MonitorError.h"

#include <cstdio>
#include <string>

#include "ConsoleText.h"
#include "MonitorPlatform.h"
#include "ShownText.h"

namespace {

void WriteMessage(const char* utf8Format, const char* path, const std::string& reason) {
  // The whole format at once: the platform may put it in other words. "%s"
  // survives the conversion to code page 932, where '%' is never the second
  // byte of a character. The path's control characters are shown visibly:
  // a name must not steer the terminal.
  std::string message = MessageToConsole(utf8Format);
  size_t slot = message.find("%s");
  if (slot != std::string::npos) message.replace(slot, 2, VisibleName(path != nullptr ? path : ""));
  if (!reason.empty() && !message.empty() && message.back() == '\n') message.insert(message.size() - 1, ": " + reason);
  Console* console = CurrentPlatform().console;
  if (console != nullptr) {
    console->WriteError(message.c_str());
  } else {
    fputs(message.c_str(), stderr);
    fflush(stderr);
  }
}

}  // namespace

void WriteMonitorError(const char* utf8Format, const char* path) { WriteMessage(utf8Format, path, std::string()); }

void WriteOpenError(const char* path) {
  WriteMessage("[%s]はオープンできません\n", path, path != nullptr ? OpenFailureReason(path) : std::string());
}
