// The Windows console and change watcher of the monitor.
#pragma once

#include <string>

#include "MonitorPlatform.h"

// 1 when standard output is a console, taken once: the console is written in
// UTF-16 and the monitor's text is then UTF-8; a file or pipe gets code page
// 932 bytes. ConsoleText.cpp and the console follow the same answer.
bool OutputIsConsole();

class WindowsConsole : public Console {
 public:
  WindowsConsole();
  ~WindowsConsole() override { Flush(); }
  void Write(const char* text, size_t length) override;
  void SetColour(int attribute) override;
  void SetTitle(const char* title) override;
  void Clear() override;
  void Flush() override;
  void WriteError(const char* text) override;

 private:
  void* output_;  // standard output handle
  bool wide_;     // output_ is a console: text goes out with WriteConsoleW
  std::string buffer_;
};

class NotificationWatcher : public ChangeWatcher {
 public:
  ~NotificationWatcher() override { Stop(); }
  int Start(const char* folder) override;
  int Wait(int timeoutMs) override;
  void Stop() override;

 private:
  void* handle_ = nullptr;  // change notification handle while armed
  std::string folder_;
  int quietMs_ = 0;  // time waited without a notification since arming
};
