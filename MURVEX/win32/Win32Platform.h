// The Windows console and change watcher of the monitor.
#pragma once

#include <string>

#include "MonitorPlatform.h"

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
