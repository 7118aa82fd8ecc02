// The real murvex on a real file, its terminal read through a
// pseudo-terminal: what the user sees, colours included.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

const std::string kFirstListing = "\x1b[0;97;40m";
const std::string kHighlight = "\x1b[0;97;45m";
const std::string kClear = "\x1b[H\x1b[2J";

class MonitorOnTerminal {
 public:
  explicit MonitorOnTerminal(const std::string& path) {
    pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      execl(MURVEX_BINARY, MURVEX_BINARY, path.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~MonitorOnTerminal() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
  }
  // Reads the terminal until `text` has appeared after `from`, at most 10 s.
  bool WaitFor(const std::string& text, size_t from = 0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (screen_.find(text, from) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd ready{terminal_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
      char bytes[4096];
      ssize_t got = read(terminal_, bytes, sizeof bytes);
      if (got <= 0) return screen_.find(text, from) != std::string::npos;
      screen_.append(bytes, static_cast<size_t>(got));
    }
    return true;
  }
  const std::string& Screen() const { return screen_; }

 private:
  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string screen_;
};

std::string TempPath(const char* name) {
  std::string path = std::string(::testing::TempDir()) + "murvex-e2e-" + name + "-" + std::to_string(getpid()) + ".log";
  return path;
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

TEST(TerminalEndToEndTest, ListsTheFileThenShowsOnlyAppendedLinesHighlighted) {
  std::string path = TempPath("append");
  { std::ofstream(path, std::ios::binary) << "first\nsecond\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0002]second")) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find(kFirstListing + "\x1b]0;murvex-e2e-append"), std::string::npos) << monitor.Screen();
  size_t before = monitor.Screen().size();
  Append(path, "third\n");
  ASSERT_TRUE(monitor.WaitFor(kHighlight + "[0003]third", before)) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find("[0001]", before), std::string::npos) << "unchanged lines are not printed again";
  std::remove(path.c_str());
}

TEST(TerminalEndToEndTest, ClearsAndRelistsWhenTheFileLosesLines) {
  std::string path = TempPath("shrink");
  { std::ofstream(path, std::ios::binary) << "one\ntwo\nthree\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0003]three")) << monitor.Screen();
  size_t before = monitor.Screen().size();
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << "fresh\n"; }
  ASSERT_TRUE(monitor.WaitFor(kClear, before)) << monitor.Screen();
  size_t cleared = monitor.Screen().find(kClear, before);
  ASSERT_TRUE(monitor.WaitFor("[0001]fresh", cleared)) << monitor.Screen();
  std::remove(path.c_str());
}

TEST(TerminalEndToEndTest, ShowsEscapeBytesOfALogLineVisiblyNeverRaw) {
  std::string path = TempPath("escape");
  { std::ofstream(path, std::ios::binary) << "title \x1b]0;pwned\x07 end\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("end")) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find("\x1b]0;pwned"), std::string::npos) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find("^[]0;pwned^G end"), std::string::npos) << monitor.Screen();
  std::remove(path.c_str());
}

}  // namespace
