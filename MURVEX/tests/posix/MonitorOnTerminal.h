// The real murvex on a pseudo-terminal: what the user sees (standard output
// and standard error alike), colours included, and how the process ends.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

// Listings in the terminal's own colours; changed lines in white on
// magenta, or in reverse video where colours are not wanted.
const std::string kFirstListing = "\x1b[0m";
const std::string kHighlight = "\x1b[0;97;45m";
const std::string kReverse = "\x1b[0;7m";
const std::string kClear = "\x1b[H\x1b[2J";
const std::string kSaveTitle = "\x1b[22;0t";
// Default colours, then the title found at start again.
const std::string kResetColours = "\x1b[0m";
const std::string kRestoreTitle = "\x1b[23;0t";

// How the program is started: its arguments, the environment it gets
// besides the test's own (a terminal that takes colours, no NO_COLOR,
// messages in English unless LC_ALL says otherwise), and whether its
// terminal is left non-blocking, as another program may leave it.
struct Launch {
  std::vector<std::string> arguments;
  std::map<std::string, std::string> environment;  // an empty value unsets
  bool nonBlocking = false;
  std::string program = MURVEX_BINARY;
};

class MonitorOnTerminal {
 public:
  explicit MonitorOnTerminal(const std::string& path) : MonitorOnTerminal(std::vector<std::string>{path}) {}
  explicit MonitorOnTerminal(const std::vector<std::string>& arguments) : MonitorOnTerminal(Launch{arguments}) {}
  explicit MonitorOnTerminal(const Launch& launch) {
    winsize size{};
    size.ws_col = 120;
    size.ws_row = 40;
    pid_ = forkpty(&terminal_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      std::map<std::string, std::string> environment = {{"TERM", "xterm-256color"}, {"NO_COLOR", ""}, {"LC_ALL", "C.UTF-8"}};
      for (const auto& [name, value] : launch.environment) environment[name] = value;
      for (const auto& [name, value] : environment) {
        if (value.empty()) {
          unsetenv(name.c_str());
        } else {
          setenv(name.c_str(), value.c_str(), 1);
        }
      }
      if (launch.nonBlocking) fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
      std::vector<char*> argv{const_cast<char*>(launch.program.c_str())};
      for (const std::string& argument : launch.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(launch.program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~MonitorOnTerminal() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      // An interactive shell ignores SIGTERM.
      for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(20000);
      if (kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
  }
  // Reads the terminal until `text` has appeared after `from`, at most
  // `seconds`.
  bool WaitFor(const std::string& text, size_t from = 0, int seconds = 10) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (screen_.find(text, from) == std::string::npos) {
      if (!ReadUntil(deadline)) return screen_.find(text, from) != std::string::npos;
    }
    return true;
  }
  // Reads the terminal until the program has ended, at most `seconds`;
  // its exit code, or -1 when it did not end by itself (KilledBy then says
  // by which signal, if any).
  int WaitForExit(int seconds = 10) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      int status = 0;
      if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        while (ReadUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(100))) {
        }
        if (WIFSIGNALED(status)) killedBy_ = WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      ReadUntil(std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
    }
  }
  // Takes in whatever the terminal shows for the next `milliseconds`.
  void ReadFor(int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (ReadUntil(deadline)) {
    }
  }
  const std::string& Screen() const { return screen_; }
  int KilledBy() const { return killedBy_; }
  // Keys typed at the terminal (Ctrl+C is "\x03").
  void Type(const std::string& keys) { ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  void Signal(int signal) { kill(pid_, signal); }
  pid_t Pid() const { return pid_; }

 private:
  // One read of whatever the terminal has; false once nothing more comes.
  bool ReadUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{terminal_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return std::chrono::steady_clock::now() < deadline;
    char bytes[65536];
    ssize_t got = read(terminal_, bytes, sizeof bytes);
    if (got <= 0) return false;
    screen_.append(bytes, static_cast<size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int terminal_ = -1;
  int killedBy_ = 0;
  std::string screen_;
};

// What the terminal shows of raw output: colour and title sequences and the
// terminal's carriage returns left out.
inline std::string ShownText(const std::string& raw) {
  std::string shown;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
      while (i < raw.size() && !(raw[i] >= '@' && raw[i] <= '~' && raw[i] != '[')) ++i;
    } else if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == ']') {
      while (i < raw.size() && raw[i] != '\x07') ++i;
    } else if (raw[i] != '\r') {
      shown += raw[i];
    }
  }
  return shown;
}

// The numbered lines on the terminal after its last clear, each number with
// the text printed last for it.
inline std::map<int, std::string> ScreenAfterLastClear(const std::string& screen) {
  size_t clear = screen.rfind(kClear);
  std::string shown = ShownText(clear == std::string::npos ? screen : screen.substr(clear + kClear.size()));
  std::map<int, std::string> lines;
  for (size_t at = 0; (at = shown.find('[', at)) != std::string::npos;) {
    size_t close = shown.find(']', at);
    if (close == std::string::npos) break;
    size_t next = shown.find('[', close);
    lines[std::stoi(shown.substr(at + 1, close - at - 1))] =
        shown.substr(close + 1, next == std::string::npos ? std::string::npos : next - close - 1);
    at = close;
  }
  return lines;
}
