#include "MonitorError.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "AnsiConversion.h"
#include "MonitorPlatform.h"

namespace {

std::string ToAnsi(const std::string& utf8) {
  size_t units = 0;
  uint16_t* wide = Utf8ToUtf16Alloc(utf8.c_str(), &units);
  if (wide == nullptr) return std::string();
  size_t bytes = 0;
  char* ansi = Utf16ToAnsiAlloc(wide, &bytes);
  free(wide);
  if (ansi == nullptr) return std::string();
  std::string result(ansi, bytes);
  free(ansi);
  return result;
}

}  // namespace

void WriteMonitorError(const char* utf8Format, const char* path) {
  std::string format = utf8Format;
  std::string message;
  size_t slot = format.find("%s");
  if (slot == std::string::npos) {
    message = ToAnsi(format);
  } else {
    message = ToAnsi(format.substr(0, slot)) + (path != nullptr ? path : "") +
              ToAnsi(format.substr(slot + 2));
  }
  Console* console = CurrentPlatform().console;
  if (console != nullptr) {
    console->WriteError(message.c_str());
  } else {
    fputs(message.c_str(), stderr);
    fflush(stderr);
  }
}
