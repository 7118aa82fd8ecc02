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
  ~WindowsConsole() override;  // flushes, and puts the console back as found
  void Write(const char* text, size_t length) override;
  void SetColour(int attribute) override;
  void SetTitle(const char* title) override;
  void Clear() override;
  void Flush() override;
  void WriteError(const char* text) override;

 private:
  void AppendShown(const char* text, size_t length);
  void SetAttribute(int attribute);
  void* output_;  // standard output handle
  bool wide_;     // output_ is a console: text goes out with WriteConsoleW
  std::string buffer_;
  // The row being written, on a console: nothing on it yet; its display
  // column, counted from the end of its first Write (the line's number),
  // for tabs; whether changed lines are being written, and the attribute
  // of the listing, set back before each of their line feeds; the changed
  // lines' attribute to be set again before the next row's text.
  bool rowStart_ = true;
  size_t column_ = 0;
  bool changing_ = false;
  int listingAttribute_ = 15;
  bool changePending_ = false;
};

class NotificationWatcher : public ChangeWatcher {
 public:
  ~NotificationWatcher() override { Stop(); }
  int Start(const char* folder, const char* file) override;
  int Wait(int timeoutMs) override;
  void Stop() override;

 private:
  void* handle_ = nullptr;  // change notification handle while armed
  std::string folder_;
  int quietMs_ = 0;  // time waited without a notification since arming
};
