// What the writers of real log files do to the monitor: rotate, truncate,
// replace and delete the file, even while a pass is reading it. The monitor
// runs on this platform's real file services; each wake-up of the change
// wait first does the next scripted thing to the real file. After the last
// pass the screen must show exactly the file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ConsoleTexts.h"
#include "KeyedTextTable.h"
#include "LineReader.h"
#include "Monitor.h"
#include "ScriptedPlatform.h"
#include "TextEncoding.h"

namespace fs = std::filesystem;

namespace {

// Things that exist but are no files to read: devices of this system.
#ifdef _WIN32
const char* const kDevices[] = {"CON", "NUL", "COM1"};
#else
const char* const kDevices[] = {"/dev/null", "/dev/zero", "/dev/tty"};
#endif

// The native file services, with a hook that runs inside one read of a
// pass: the file changes under the reader's feet.
class HookedFiles : public FileSystem {
 public:
  FileSystem& real = NativeFileSystem();
  std::function<void()> duringRead;
  int readsBeforeHook = 0;

  int Exists(const char* path) override { return real.Exists(path); }
  int Status(const char* path, FileStatus* status) override { return real.Status(path, status); }
  FileHandle OpenShared(const char* path) override { return real.OpenShared(path); }
  FileHandle OpenDirect(const char* path, size_t* alignment) override { return real.OpenDirect(path, alignment); }
  int64_t Read(FileHandle file, void* buffer, size_t size) override {
    Hook();
    return real.Read(file, buffer, size);
  }
  int64_t ReadAt(FileHandle file, int64_t offset, void* buffer, size_t size) override {
    Hook();
    return real.ReadAt(file, offset, buffer, size);
  }
  void Close(FileHandle file) override { real.Close(file); }
  void* AllocateAligned(size_t size) override { return real.AllocateAligned(size); }
  void FreeAligned(void* block, size_t size) override { real.FreeAligned(block, size); }

 private:
  void Hook() {
    if (duringRead && readsBeforeHook-- == 0) {
      std::function<void()> hook = std::move(duringRead);
      duringRead = nullptr;
      hook();
    }
  }
};

// What a reader of the screen sees after the last clear: for each line
// number the text printed last. Colour changes are markers of the scripted
// console and show nothing.
std::map<int, std::string> ScreenAfterLastClear(const std::string& screen) {
  size_t clear = screen.rfind("<CLS>");
  std::string shown = clear == std::string::npos ? screen : screen.substr(clear + 5);
  for (const char* colour : {"<15>", "<10>", "<95>"}) {
    for (size_t at; (at = shown.find(colour)) != std::string::npos;) shown.erase(at, strlen(colour));
  }
  std::map<int, std::string> lines;
  size_t at = 0;
  while ((at = shown.find('[', at)) != std::string::npos) {
    size_t close = shown.find(']', at);
    int number = std::stoi(shown.substr(at + 1, close - at - 1));
    size_t next = shown.find('[', close);
    lines[number] = shown.substr(close + 1, next == std::string::npos ? std::string::npos : next - close - 1);
    at = close;
  }
  return lines;
}

std::map<int, std::string> Numbered(const std::vector<std::string>& lines) {
  std::map<int, std::string> numbered;
  for (size_t i = 0; i < lines.size(); ++i) numbered[static_cast<int>(i) + 1] = lines[i];
  return numbered;
}

class FaultScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / (std::string("murvex-fault-") + test->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = (folder_ / "app.log").string();
    g_textEncoding = TextEncoding::None;
  }
  void TearDown() override {
    TableClear();
    SetLineReaderBufferLimit(262144);
    g_textEncoding = TextEncoding::None;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void Write(const std::string& bytes, const std::string& path = "") {
    std::ofstream(path.empty() ? path_ : path, std::ios::binary | std::ios::trunc) << bytes;
  }
  void Append(const std::string& bytes) { std::ofstream(path_, std::ios::binary | std::ios::app) << bytes; }
  // The next wake-up of the change wait does this first.
  void Then(std::function<void()> step) {
    watcher.steps.push_back([step] {
      step();
      return ChangeWatcher::kWoke;
    });
  }
  // A file found shorter is judged after a short wait: it passes quietly.
  // That wait is not a wake-up of the cycle.
  void ThenStaysSo() {
    watcher.steps.push_back([] { return ChangeWatcher::kTimedOut; });
    ++shortWaits_;
  }
  int shortWaits_ = 0;
  // Runs the monitor from the first listing through every scripted wake-up.
  int Run() {
    char program[] = "murvex";
    std::vector<char> path(path_.begin(), path_.end());
    path.push_back('\0');
    char* argv[] = {program, path.data(), nullptr};
    MonitorPlatform platform{&files, &console, &watcher};
    return MonitorMainBounded(2, argv, platform, static_cast<long>(watcher.steps.size()) - shortWaits_);
  }

  fs::path folder_;
  std::string path_;
  HookedFiles files;
  ScriptedConsole console;
  ScriptedWatcher watcher;
};

TEST_F(FaultScenarioTest, RotationByRenameListsTheNewFileInFull) {
  Write("old 1\nold 2\nold 3\n");
  Then([&] {
    fs::rename(path_, path_ + ".1");
    Write("new 1\nnew 2\n");
  });
  Then([] {});
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"new 1\n", "new 2\n"})) << console.screen;
}

TEST_F(FaultScenarioTest, RotationByRenameSeenMissingFirstIsListedInFullToo) {
  Write("old 1\nold 2\n");
  Then([&] { fs::rename(path_, path_ + ".1"); });
  Then([&] { Write("old 1\nnew 2\nnew 3\n"); });
  EXPECT_EQ(Run(), 2);
  // Cleared while missing; the first line is the same text, yet it is shown.
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"old 1\n", "new 2\n", "new 3\n"})) << console.screen;
  EXPECT_NE(console.screen.find("<CLS><10>[0001]old 1\n"), std::string::npos) << console.screen;
}

TEST_F(FaultScenarioTest, CopyAndTruncateRotationShowsTheNewContent) {
  Write("a 1\na 2\na 3\n");
  Then([&] {
    fs::copy_file(path_, path_ + ".1");
    fs::resize_file(path_, 0);
    Append("b 1\n");
  });
  ThenStaysSo();
  Then([&] { Append("b 2\n"); });
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"b 1\n", "b 2\n"})) << console.screen;
}

// The NUL run is longer than a piece of a line: NULs count toward no limit,
// so the first new line is one line, not numbered pieces of nothing.
TEST_F(FaultScenarioTest, CopyAndTruncateUnderAWriterThatKeepsItsOffsetShowsTheNewLinesAfterTheNulRun) {
  std::string log;
  for (int i = 1; log.size() < 224 * 1024; ++i) log += "a " + std::to_string(i) + "\n";
  Write(log);
  Then([&] {
    fs::copy_file(path_, path_ + ".1");
    fs::resize_file(path_, 0);
    // The writer goes on at its own offset: the gap reads as NUL bytes.
    std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(log.size()));
    file << "b 1\n";
  });
  Then([&] { Append("b 2\n"); });
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"b 1\n", "b 2\n"})) << console.screen;
  EXPECT_NE(console.screen.find("<CLS><10>[0001]b 1\n<10><95>[0002]b 2\n<10>"), std::string::npos) << console.screen;
}

TEST_F(FaultScenarioTest, CopyAndTruncateWithinTheSecondOfTheLastPassIsStillSeen) {
  // Same size, same line count, same file, same second: only the time's
  // fraction tells the new content from the old.
  Write("a 1\na 2\n");
  auto second = fs::last_write_time(path_);
  second = decltype(second)(std::chrono::duration_cast<decltype(second)::duration>(
      std::chrono::duration_cast<std::chrono::seconds>(second.time_since_epoch())));
  fs::last_write_time(path_, second + std::chrono::milliseconds(100));
  if (fs::last_write_time(path_) == second) GTEST_SKIP() << "times cannot be set to a fraction of a second here";
  Then([&] {
    fs::copy_file(path_, path_ + ".1");
    fs::resize_file(path_, 0);
    Append("b 1\nb 2\n");
    fs::last_write_time(path_, second + std::chrono::milliseconds(600));
  });
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"b 1\n", "b 2\n"})) << console.screen;
}

TEST_F(FaultScenarioTest, TruncatedWhileAPassReadsLeavesNoMixedLinesAfterTheNextPass) {
  SetLineReaderBufferLimit(8);  // many refills per pass
  Write("one\ntwo\nthree\n");
  Then([&] {
    Append("four\nfive\nsix\n");
    // Two refills into the pass the writer starts the file again, longer.
    files.readsBeforeHook = 2;
    files.duringRead = [&] { Write("alpha\nbeta\ngamma\ndelta\nepsilon\nzeta\neta\n"); };
  });
  Then([] {});  // the wake-up that the change during the pass caused
  EXPECT_EQ(Run(), 2);
  EXPECT_FALSE(files.duringRead) << "the file was not changed during a pass";
  EXPECT_EQ(ScreenAfterLastClear(console.screen),
            Numbered({"alpha\n", "beta\n", "gamma\n", "delta\n", "epsilon\n", "zeta\n", "eta\n"}))
      << console.screen;
}

TEST_F(FaultScenarioTest, TruncatedShorterWhileAPassReadsIsRelistedInFull) {
  SetLineReaderBufferLimit(8);
  Write("one\ntwo\nthree\n");
  Then([&] {
    Append("four\n");
    files.readsBeforeHook = 1;
    files.duringRead = [&] { Write("x\n"); };
  });
  Then([] {});
  ThenStaysSo();
  EXPECT_EQ(Run(), 2);
  EXPECT_FALSE(files.duringRead) << "the file was not changed during a pass";
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"x\n"})) << console.screen;
}

TEST_F(FaultScenarioTest, ReplacedWhileAPassReadsLeavesNoMixedLinesAfterTheNextPass) {
  std::error_code refused;
  SetLineReaderBufferLimit(8);
  Write("one\ntwo\nthree\n");
  Then([&] {
    Append("four\n");
    files.readsBeforeHook = 1;
    files.duringRead = [&] {
      Write("fresh 1\nfresh 2\nfresh 3\nfresh 4\nfresh 5\n", path_ + ".tmp");
      fs::rename(path_ + ".tmp", path_, refused);
    };
  });
  Then([] {});
  EXPECT_EQ(Run(), 2);
  // Wine will not replace a file another handle holds open (Windows does,
  // as the reader shares deletion); the writer then cannot do this at all.
  if (refused) GTEST_SKIP() << "this system does not replace an open file: " << refused.message();
  EXPECT_FALSE(files.duringRead) << "the file was not changed during a pass";
  EXPECT_EQ(ScreenAfterLastClear(console.screen),
            Numbered({"fresh 1\n", "fresh 2\n", "fresh 3\n", "fresh 4\n", "fresh 5\n"}))
      << console.screen;
}

TEST_F(FaultScenarioTest, DeletedAndCreatedAgainSeveralTimesQuicklyShowsTheLastFile) {
  Write("first\n");
  // Between two wake-ups, and across wake-ups that find it missing.
  Then([&] {
    for (int i = 0; i < 5; ++i) {
      fs::remove(path_);
      Write("generation " + std::to_string(i) + "\n" + std::string(static_cast<size_t>(i), '+') + "\n");
    }
  });
  Then([&] { fs::remove(path_); });
  Then([&] { Write("back\n"); });
  Then([&] {
    fs::remove(path_);
    Write("last 1\nlast 2\nlast 3\n");
  });
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({"last 1\n", "last 2\n", "last 3\n"})) << console.screen;
}

TEST_F(FaultScenarioTest, FoldersAndDevicesAreRefusedAsFilesThatCannotBeOpened) {
  std::vector<std::string> refused(std::begin(kDevices), std::end(kDevices));
  refused.push_back(folder_.string());
  for (const std::string& path : refused) {
    console = ScriptedConsole();
    path_ = path;
    EXPECT_EQ(Run(), 1) << path;
    // "[path]はオープンできません", or nothing for a name
    // that does not even exist here.
    if (files.Exists(path.c_str()) == 0) {
      EXPECT_EQ(console.errors, "[" + path + "]" + kCannotOpenText + "\n");
    }
    EXPECT_EQ(console.screen, "") << path;
    EXPECT_EQ(watcher.starts, 0);
  }
}

// Lines longer than the 65,534 bytes (or 16-bit units) of one read come as
// pieces, each numbered as a line of its own on a row of its own, in every
// encoding.
TEST_F(FaultScenarioTest, LinesLongerThanOneReadComeInNumberedPiecesInEveryEncoding) {
  const std::string ansiLine = std::string(70000, 'a') + "\n";
  Write(ansiLine + "next\n");
  watcher.steps.clear();
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen),
            Numbered({std::string(65534, 'a') + "\n", std::string(4466, 'a') + "\n", "next\n"}));

  TableClear();
  g_textEncoding = TextEncoding::None;
  console.screen.clear();
  // UTF-8 with its mark: 3 + 65,531 bytes in the first piece.
  Write("\xEF\xBB\xBF" + std::string(70000, 'u') + "\r\nnext\r\n");
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ScreenAfterLastClear(console.screen),
            Numbered({std::string(65531, 'u') + "\n", std::string(4469, 'u') + "\n", "next\n"}));

  TableClear();
  g_textEncoding = TextEncoding::None;
  console.screen.clear();
  // UTF-16LE: 70,000 units of "あ". The first piece holds the mark and
  // 65,533 characters. In code page 932 (82 A0) that is more than the 65,534
  // bytes a converted line holds: it is cut after 32,767 whole characters.
  // The UTF-8 text of Linux holds every character.
#ifdef _WIN32
  const int kFirstPiece = 32767;
#else
  const int kFirstPiece = 65533;
#endif
  std::string wide = "\xFF\xFE";
  for (int i = 0; i < 70000; ++i) wide += "\x42\x30";
  wide += std::string("\x0A\x00n\x00\x0A\x00", 6);
  Write(wide);
  EXPECT_EQ(Run(), 2);
  std::string kana;
  for (int i = 0; i < kFirstPiece; ++i) kana += kHiraganaA;
  std::string rest;
  for (int i = 0; i < 70000 - 65533; ++i) rest += kHiraganaA;
  EXPECT_EQ(ScreenAfterLastClear(console.screen), Numbered({kana + "\n", rest + "\n", "n\n"}));
}

}  // namespace
