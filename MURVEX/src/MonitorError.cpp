#include "MonitorError.h"

#include <cstdio>
#include <string>

#include "ConsoleText.h"
#include "MonitorPlatform.h"

void WriteMonitorError(const char* utf8Format, const char* path) {
  std::string format = utf8Format;
  std::string message;
  size_t slot = format.find("%s");
  if (slot == std::string::npos) {
    message = MessageToConsole(format);
  } else {
    message = MessageToConsole(format.substr(0, slot)) + (path != nullptr ? path : "") +
              MessageToConsole(format.substr(slot + 2));
  }
  Console* console = CurrentPlatform().console;
  if (console != nullptr) {
    console->WriteError(message.c_str());
  } else {
    fputs(message.c_str(), stderr);
    fflush(stderr);
  }
}
