// The real murvex, real inotify, real timing: log rotation, a file deleted
// and created again, the watched folder switched or made again, a writer
// that never stops,
// and command lines it must refuse or answer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "MonitorOnTerminal.h"

namespace fs = std::filesystem;

namespace {

// "はオープンできません".
const std::string kCannotOpen =
    "\xE3\x81\xAF\xE3\x82\xAA\xE3\x83\xBC\xE3\x83\x97\xE3\x83\xB3\xE3\x81\xA7\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93";

// program with arguments, as the user nobody when run as root, whom
// neither permissions nor process limits hold.
Launch Unprivileged(const std::string& program, std::vector<std::string> arguments) {
  Launch launch{std::move(arguments)};
  launch.program = program;
  if (geteuid() == 0) {
    launch.arguments.insert(launch.arguments.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
    launch.program = "/usr/bin/setpriv";
  }
  return launch;
}

// The end of a long screen, for a failure's message.
std::string Tail(const std::string& screen) { return screen.substr(screen.size() > 300 ? screen.size() - 300 : 0); }

class FaultEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / ("murvex-e2e-" + std::string(test->name()) + "-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = (folder_ / "app.log").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  void Write(const std::string& bytes, const std::string& path = "") {
    std::ofstream(path.empty() ? path_ : path, std::ios::binary | std::ios::trunc) << bytes;
  }
  static std::map<int, std::string> Numbered(const std::vector<std::string>& lines) {
    std::map<int, std::string> numbered;
    for (size_t i = 0; i < lines.size(); ++i) numbered[static_cast<int>(i) + 1] = lines[i];
    return numbered;
  }
  // Waits until the screen after its last clear shows exactly `lines`.
  bool WaitForScreen(MonitorOnTerminal& monitor, const std::vector<std::string>& lines) {
    auto expected = Numbered(lines);
    for (int i = 0; i < 100; ++i) {
      if (ScreenAfterLastClear(monitor.Screen()) == expected) return true;
      monitor.ReadFor(100);
    }
    return ScreenAfterLastClear(monitor.Screen()) == expected;
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(FaultEndToEndTest, RotationByRenameListsTheNewFileInFull) {
  Write("old 1\nold 2\nold 3\n");
  MonitorOnTerminal monitor(path_);
  ASSERT_TRUE(monitor.WaitFor("[0003]old 3")) << monitor.Screen();
  fs::rename(path_, path_ + ".1");
  Write("new 1\nnew 2\n");
  EXPECT_TRUE(WaitForScreen(monitor, {"new 1\n", "new 2\n"})) << monitor.Screen();
}

TEST_F(FaultEndToEndTest, DeletedAndCreatedAgainQuicklyShowsTheLastFile) {
  Write("first\n");
  MonitorOnTerminal monitor(path_);
  ASSERT_TRUE(monitor.WaitFor("[0001]first")) << monitor.Screen();
  for (int i = 0; i < 20; ++i) {
    fs::remove(path_);
    Write("generation " + std::to_string(i) + "\n");
    if (i % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  fs::remove(path_);
  Write("final 1\nfinal 2\nfinal 3\n");
  EXPECT_TRUE(WaitForScreen(monitor, {"final 1\n", "final 2\n", "final 3\n"})) << monitor.Screen();
}

// The file is followed by its name: a deploy's link switched to another
// release and the old one deleted, then the folder deleted and made again.
// The monitor says once that it waits for the folder and never ends.
TEST_F(FaultEndToEndTest, FollowsTheFileByNameThroughALinkSwitchedAndItsFolderMadeAgain) {
  for (const char* release : {"r1", "r2"}) fs::create_directories(folder_ / "releases" / release / "log");
  Write("r1 line\n", (folder_ / "releases/r1/log/app.log").string());
  Write("r2 line\n", (folder_ / "releases/r2/log/app.log").string());
  fs::create_directory_symlink("releases/r1", folder_ / "current");
  const std::string path = (folder_ / "current/log/app.log").string();
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0001]r1 line")) << monitor.Screen();
  // ln -sfn releases/r2 current; rm -rf releases/r1
  fs::create_directory_symlink("releases/r2", folder_ / "next");
  fs::rename(folder_ / "next", folder_ / "current");
  fs::remove_all(folder_ / "releases/r1");
  EXPECT_TRUE(WaitForScreen(monitor, {"r2 line\n"})) << monitor.Screen();
  Write("r2 line\nr2 more\n", path);
  ASSERT_TRUE(monitor.WaitFor("[0002]r2 more")) << monitor.Screen();
  size_t before = monitor.Screen().size();
  fs::remove_all(folder_ / "releases/r2");
  const std::string waiting = "murvex: the folder " + folder_.string() + "/current/log/ is gone; waiting for it to come back";
  ASSERT_TRUE(monitor.WaitFor(waiting, before)) << monitor.Screen();
  fs::create_directories(folder_ / "releases/r2/log");
  Write("back\n", path);
  EXPECT_TRUE(WaitForScreen(monitor, {"back\n"})) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find(waiting, monitor.Screen().find(waiting) + 1), std::string::npos);
  EXPECT_EQ(monitor.WaitForExit(1), -1) << monitor.Screen();
}

// --retry (-F) waits for a file not there yet and lists it when it appears; a
// monitor in a pane of the grid (--stay-on-exit) keeps its last words until
// a key is pressed.
TEST_F(FaultEndToEndTest, WaitsForAFileNotThereYetAndAPaneKeepsItsLastWords) {
  MonitorOnTerminal waiting(Launch{{"-f", "--follow=name", "--retry", path_}});
  ASSERT_TRUE(waiting.WaitFor("murvex: " + path_ + " cannot be read yet; waiting for it")) << waiting.Screen();
  Write("later 1\nlater 2\n");
  EXPECT_TRUE(WaitForScreen(waiting, {"later 1\n", "later 2\n"})) << waiting.Screen();

  MonitorOnTerminal pane(Launch{{"--stay-on-exit", path_ + ".none"}});
  ASSERT_TRUE(pane.WaitFor("press a key to close this pane")) << pane.Screen();
  EXPECT_NE(pane.Screen().find("murvex: " + path_ + ".none: no such file"), std::string::npos) << pane.Screen();
  EXPECT_EQ(pane.WaitForExit(1), -1);
  pane.Type("x");
  EXPECT_EQ(pane.WaitForExit(), 1) << pane.Screen();
}

// Where no thread can be created (a process limit, a container's pids
// limit) a listing long enough for the table's own thread still runs whole.
TEST_F(FaultEndToEndTest, AListingLongerThanTheInlineTableRunsWhereNoThreadCanBeStarted) {
  std::string bytes;
  for (int i = 1; i <= 100000; ++i) bytes += "line " + std::to_string(i) + "\n";
  Write(bytes);
  // The limit counts the user's processes. The user nobody runs a copy from
  // the test's folder: the build tree may lie where only its owner may look.
  const fs::path copy = folder_ / "murvex";
  fs::copy_file(MURVEX_BINARY, copy);
  fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  MonitorOnTerminal monitor(Unprivileged("/usr/bin/prlimit", {"--nproc=1:1", copy.string(), path_}));
  EXPECT_TRUE(monitor.WaitFor("[100000]line 100000", 0, 60)) << Tail(monitor.Screen());
  std::ofstream(path_, std::ios::binary | std::ios::app) << "one more\n";
  EXPECT_TRUE(monitor.WaitFor(kHighlight + "[100001]one more", 0, 30)) << Tail(monitor.Screen());
}

// A writer holding the file open, appending about 2,000 lines a second for
// MURVEX_SOAK_SECONDS (10 by default; 60 for the full check): every line
// reaches the screen once, in order, under its own number, highlighted.
TEST_F(FaultEndToEndTest, WriterAppendingContinuouslyEveryLineReachesTheScreenOnceInOrder) {
  const char* soak = std::getenv("MURVEX_SOAK_SECONDS");
  const int seconds = soak != nullptr && std::atoi(soak) > 0 ? std::atoi(soak) : 10;
  Write("");
  int fd = open(path_.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "line 0000000001\n", 16), 16);
  MonitorOnTerminal monitor(path_);
  ASSERT_TRUE(monitor.WaitFor("[0001]line 0000000001")) << monitor.Screen();

  // 16-byte lines never cross a page, so a reader sees whole lines only.
  std::atomic<int> written{1};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char line[32];
    while (std::chrono::steady_clock::now() < end) {
      for (int burst = 0; burst < 20; ++burst) {
        int n = written + 1;
        snprintf(line, sizeof line, "line %010d\n", n);
        if (write(fd, line, 16) != 16) break;
        written = n;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    done = true;
  });
  // Keep reading the terminal while the writer runs, so the monitor never
  // blocks on a full terminal.
  while (!done) monitor.ReadFor(200);
  writer.join();
  close(fd);
  int last = written;
  char tail[32];
  snprintf(tail, sizeof tail, "line %010d", last);
  size_t from = monitor.Screen().size() > 64 ? monitor.Screen().size() - 64 : 0;
  if (monitor.Screen().find(tail) == std::string::npos) {
    ASSERT_TRUE(monitor.WaitFor(tail, from, 60)) << "last line " << last << " never shown";
  }

  // Every print in order: numbers 1, 2, 3, ... each once with its own text.
  std::string shown;
  for (char c : monitor.Screen()) {
    if (c != '\r') shown += c;
  }
  // The reset before a highlighted line's line feed is no text.
  for (size_t at = 0; (at = shown.find(kResetColours + "\n", at)) != std::string::npos;) shown.erase(at, kResetColours.size());
  EXPECT_EQ(shown.find(kClear), std::string::npos) << "the file only grew; nothing may be cleared";
  int expected = 1;
  int highlightedPasses = 0;
  for (size_t at = 0; (at = shown.find("[", at)) != std::string::npos; ++at) {
    if (at > 0 && shown[at - 1] == '\x1b') continue;  // a colour sequence
    size_t close = shown.find(']', at);
    ASSERT_NE(close, std::string::npos);
    int number = std::atoi(shown.substr(at + 1, close - at - 1).c_str());
    char text[32];
    snprintf(text, sizeof text, "line %010d\n", number);
    ASSERT_EQ(number, expected) << "after line " << expected - 1;
    ASSERT_EQ(shown.compare(close + 1, 16, text), 0) << shown.substr(close + 1, 16);
    if (at >= kHighlight.size() && shown.compare(at - kHighlight.size(), kHighlight.size(), kHighlight) == 0) {
      ++highlightedPasses;
    }
    ++expected;
  }
  EXPECT_EQ(expected - 1, last);
  EXPECT_GT(highlightedPasses, 0);
  RecordProperty("lines", last);
  RecordProperty("passes", highlightedPasses);
}

// A write through a shared mapping, the file held open: inotify reports
// nothing, and only the monitor's own look at the status sees the change,
// long before the notification wait's old minute.
TEST_F(FaultEndToEndTest, RewriteThroughASharedMappingIsShownWithoutANotification) {
  Write("before 1\nbefore 2\n");
  int fd = open(path_.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  void* mapped = mmap(nullptr, 18, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  MonitorOnTerminal monitor(path_);
  ASSERT_TRUE(monitor.WaitFor("[0002]before 2")) << monitor.Screen();
  // The kernel moves the file's time at the write fault, just before the
  // bytes land: a look in between reads the old line under the new time. A
  // writer that goes on writing faults again (a new mapping here), and that
  // time is after the bytes.
  memcpy(mapped, "after! 1", 8);
  ASSERT_EQ(msync(mapped, 18, MS_SYNC), 0);
  munmap(mapped, 18);
  mapped = mmap(nullptr, 18, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  usleep(20000);  // past the time stamp granularity of the first fault
  memcpy(mapped, "after! 1", 8);
  ASSERT_EQ(msync(mapped, 18, MS_SYNC), 0);
  EXPECT_TRUE(monitor.WaitFor(kHighlight + "[0001]after! 1", 0, 10)) << monitor.Screen();
  munmap(mapped, 18);
  close(fd);
}

// Files the monitor must refuse: exit code 1, the terminal untouched, and
// the reason on standard error, the path exactly as given, in English or,
// in a Japanese locale, in the system's Japanese.
TEST_F(FaultEndToEndTest, RefusedFilesEndWithExitCodeOneSayingWhyInTheUsersLanguage) {
  Write("a\n");
  std::string fifo = (folder_ / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string binary = (folder_ / "data.bin").string();
  Write(std::string("\x01\x00\x02", 3), binary);
  std::string locked = (folder_ / "locked.log").string();
  Write("secret\n", locked);
  chmod(locked.c_str(), 0);
  std::string japanese = (folder_ / "\xE6\x97\xA5\xE6\x9C\xAC").string();  // "日本", a folder
  fs::create_directories(japanese);
  std::string tooLong = std::string(5000, 'x') + ".log";
  struct Case {
    std::string path, english, japanese;
  } cases[] = {
      {"", "murvex: : no such file", "[]\xE3\x81\xAF\xE5\xAD\x98\xE5\x9C\xA8"},  // は存在しません
      {"CON", "murvex: CON: no such file", "[CON]\xE3\x81\xAF\xE5\xAD\x98\xE5\x9C\xA8"},
      {folder_.string(), "murvex: " + folder_.string() + " is a folder, not a file",
       "[" + folder_.string() + "]\xE3\x81\xAF\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB"},  // はフォル(ダー)
      {japanese, "murvex: " + japanese + " is a folder", "[" + japanese + "]\xE3\x81\xAF\xE3\x83\x95"},
      {"/dev/null", "murvex: /dev/null is not a regular file", "[/dev/null]\xE3\x81\xAF\xE9\x80\x9A"},  // は通(常)
      {fifo, "murvex: " + fifo + " is not a regular file", "[" + fifo + "]\xE3\x81\xAF\xE9\x80\x9A"},
      {binary, "murvex: " + binary + " looks binary", "[" + binary + "]\xE3\x81\xAF\xE3\x83\x86"},  // はテ(キスト)
      {tooLong, "murvex: cannot open " + tooLong + ": File name too long", "[" + tooLong + "]" + kCannotOpen},
      {locked, "murvex: " + locked + ": permission denied", "[" + locked + "]\xE3\x81\xAF\xE3\x82\xA2"},  // はア(クセス)
      {"/proc/loadavg", "murvex: /proc/loadavg reports a size of 0 yet has content",
       "[/proc/loadavg]\xE3\x81\xAF\xE5\xA4\xA7"},  // は大(きさ)
  };
  for (const Case& c : cases) {
    // Whoever may read any file reads this one too.
    if (c.path == locked && access(locked.c_str(), R_OK) == 0) continue;
    for (const char* locale : {"C.UTF-8", "ja_JP.UTF-8"}) {
      MonitorOnTerminal monitor(Launch{{c.path}, {{"LC_ALL", locale}}});
      EXPECT_EQ(monitor.WaitForExit(), 1) << c.path.substr(0, 80);
      EXPECT_EQ(monitor.Screen().find("\x1b"), std::string::npos) << monitor.Screen();
      const std::string& expected = locale[0] == 'j' ? c.japanese : c.english;
      EXPECT_NE(monitor.Screen().find(expected), std::string::npos) << locale << ": " << monitor.Screen().substr(0, 200);
    }
  }
}

// Help and version on standard output; a wrong command line refused with
// status 1 and a reason, no file at all with the usage; a file named
// --help is still watched when named with its folder.
TEST_F(FaultEndToEndTest, HelpVersionAndWrongCommandLinesFollowTheUnixCommandLineHabits) {
  struct Run {
    int code;
    std::string out, err;
  };
  auto slurp = [](const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto run = [&](const std::string& arguments) {
    fs::path out = folder_ / "out", err = folder_ / "err";
    int status = std::system(("LC_ALL=C.UTF-8 " + std::string(MURVEX_BINARY) + arguments + " >" + out.string() +
                              " 2>" + err.string() + " </dev/null").c_str());
    return Run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  };
  Run help = run(" --help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind("Usage: murvex [OPTION]... FILE...\n", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  for (const char* option : {" -h", " --help --version", " -n 5 -h"}) {
    Run same = run(option);
    EXPECT_EQ(same.code, 0) << option;
    EXPECT_EQ(same.out, help.out) << option;
  }
  Run version = run(" --version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "murvex " MURVEX_VERSION "\n");
  EXPECT_EQ(version.err, "");
  const std::string tryHelp = "Try 'murvex --help' for more information.\n";
  const std::pair<std::string, std::string> wrong[] = {
      {"", help.out},
      {" -x " + path_, "murvex: unknown option -x\n" + tryHelp},
      {" --retry-not " + path_, "murvex: unknown option --retry-not\n" + tryHelp},
      {" --follow=inode " + path_, "murvex: --follow takes name or descriptor, not inode\n" + tryHelp},
      {" " + path_ + " -n", "murvex: option -n needs a value\n" + tryHelp},
      {" -n ten " + path_, "murvex: ten is not a number of lines\n" + tryHelp},
      {" --lines=-3 " + path_, "murvex: -3 is not a number of lines\n" + tryHelp},
      {" --color=blue " + path_, "murvex: --color takes auto, always or never, not blue\n" + tryHelp},
  };
  for (const auto& [arguments, message] : wrong) {
    Run refused = run(arguments);
    EXPECT_EQ(refused.code, 1) << arguments;
    EXPECT_EQ(refused.out, "") << arguments;
    EXPECT_EQ(refused.err, message) << arguments;
  }

  Write("watched\n", (folder_ / "--help").string());
  fs::path before = fs::current_path();
  fs::current_path(folder_);
  MonitorOnTerminal monitor(std::vector<std::string>{"./--help"});
  fs::current_path(before);
  EXPECT_TRUE(monitor.WaitFor("[0001]watched")) << monitor.Screen();
}

TEST_F(FaultEndToEndTest, ForwardSlashesAndShellCharactersInNamesAreJustAName) {
  fs::create_directories(folder_ / "sub");
  std::string odd = (folder_ / "sub" / "a&b|c^d%e%.log").string();
  Write("x\n", odd);
  std::string doubled = folder_.string() + "//sub///a&b|c^d%e%.log";
  MonitorOnTerminal monitor(doubled);
  ASSERT_TRUE(monitor.WaitFor("[0001]x")) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find("\x1b]0;a&b|c^d%e%.log\x07"), std::string::npos) << monitor.Screen();
  std::ofstream(odd, std::ios::binary | std::ios::app) << "y\n";
  EXPECT_TRUE(monitor.WaitFor(kHighlight + "[0002]y")) << monitor.Screen();
}

}  // namespace
