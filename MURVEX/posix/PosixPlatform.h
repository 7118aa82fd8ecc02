// The POSIX console and change watcher, visible to tests of the layer.
#pragma once

#include <signal.h>

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
  void TouchTerminal();
  int outputFd_;
  int errorFd_;
  std::string buffer_;
  // Colours, title and clears go to a terminal only; a file or a pipe
  // gets the numbered lines alone.
  bool isTerminal_;
  bool errorIsTerminal_;
  size_t writeSize_;  // buffered bytes that make a write
  // This console has changed the terminal: it puts it back when it goes,
  // and its signal handlers do so when the process is stopped.
  bool touched_ = false;
  bool endsLine_ = true;  // the last text written ended a line
  struct sigaction previousActions_[3];
};

class InotifyWatcher : public ChangeWatcher {
 public:
  ~InotifyWatcher() override { Stop(); }
  int Start(const char* folder) override;
  int Wait(int timeoutMs) override;
  void Stop() override;
  int64_t CpuUs() override;

 private:
  int fd_ = -1;
};

// The file services of this platform (FileSystem.cpp).
FileSystem& PosixFileSystem();

// Test hook: the name iconv is asked for code page 932 by ("CP932"); a name
// it does not know stands for a system without that converter.
void SetCodePageConverterName(const char* name);
