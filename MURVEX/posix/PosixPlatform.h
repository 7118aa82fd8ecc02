// The POSIX console and change watcher, visible to tests of the layer.
#pragma once

#include <string>

#include "MonitorPlatform.h"

class TerminalConsole : public Console {
 public:
  TerminalConsole(int outputFd, int errorFd);
  ~TerminalConsole() override;
  void Write(const char* text, size_t length) override;
  void SetColour(int attribute) override;
  void SetTitle(const char* title) override;
  void Clear() override;
  void Flush() override;
  void WriteError(const char* text) override;

 private:
  void AppendEscaped(const char* text, size_t length);
  int outputFd_;
  int errorFd_;
  std::string buffer_;
};

class InotifyWatcher : public ChangeWatcher {
 public:
  ~InotifyWatcher() override { Stop(); }
  int Start(const char* folder) override;
  int Wait(int timeoutMs) override;
  void Stop() override;

 private:
  int fd_ = -1;
};

// The file services of this platform (FileSystem.cpp).
FileSystem& PosixFileSystem();

// Test hook: the name iconv is asked for code page 932 by ("CP932"); a name
// it does not know stands for a system without that converter.
void SetCodePageConverterName(const char* name);
