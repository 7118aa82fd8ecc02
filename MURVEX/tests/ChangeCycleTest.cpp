#include <gtest/gtest.h>

#include <set>
#include <string>

#include "KeyedTextTable.h"
#include "LineDigest.h"
#include "Monitor.h"
#include "ScriptedPlatform.h"

namespace {

// What the line table holds for a line of this text, under the key of now.
std::string Digest(const std::string& text) {
  char digest[kLineDigestSize + 1];
  DigestLine(text.data(), text.size(), digest);
  return digest;
}

#ifdef _WIN32
const char kPath[] = "logs\\app.log";
const char kFolder[] = "logs\\";
#else
const char kPath[] = "logs/app.log";
const char kFolder[] = "logs/";
#endif
// The monitor's messages as they reach standard error, in code page 932.
const std::string kCannotWatch = std::string("[") + kFolder +
                                 "]\x82\xcd\x8a\xc4\x8e\x8b\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\n";
const std::string kWaitBroken = std::string("[") + kFolder +
                                "]\x82\xcc\x8a\xc4\x8e\x8b\x82\xaa\x92\x86\x92\x66\x82\xb3\x82\xea\x82\xbd\n";

class ChangeCycleTest : public ::testing::Test {
 protected:
  ScriptedFiles files;
  ScriptedConsole console;
  ScriptedWatcher watcher;

  // The line table is process-wide; each case starts from an empty one.
  void TearDown() override { TableClear(); }

  MonitorPlatform Platform() { return MonitorPlatform{&files, &console, &watcher}; }

  // A wake-up after the file was rewritten.
  void ThenWrite(const std::string& bytes, int64_t elapsedNs = 1'000'000'000) {
    watcher.steps.push_back([this, bytes, elapsedNs] {
      files.Put(kPath, bytes, elapsedNs);
      return ChangeWatcher::kWoke;
    });
  }
  void ThenRemove() {
    watcher.steps.push_back([this] {
      files.Remove(kPath);
      return ChangeWatcher::kWoke;
    });
  }
  void ThenWake() {
    watcher.steps.push_back([] { return ChangeWatcher::kWoke; });
  }

  // Runs every scripted step; returns what appeared after the first listing.
  std::string Run(const std::string& initial) {
    files.Put(kPath, initial);
    char program[] = "murvex";
    char path[sizeof kPath];
    memcpy(path, kPath, sizeof kPath);
    char* argv[] = {program, path, nullptr};
    exitCode = MonitorMainBounded(2, argv, Platform(), static_cast<long>(watcher.steps.size()));
    return console.screen;
  }
  int exitCode = -1;
};

TEST_F(ChangeCycleTest, ListsFileOnceWithTitleAndFolder) {
  EXPECT_EQ(Run("a\nb\n"), "<15>[0001]a\n[0002]b\n");
  EXPECT_EQ(exitCode, 2);
  EXPECT_EQ(console.title, "app.log");
  EXPECT_EQ(watcher.folder, kFolder);
  EXPECT_EQ(watcher.starts, 1);
}

TEST_F(ChangeCycleTest, ShowsOnlyAppendedLinesHighlighted) {
  ThenWrite("a\nb\nc\nd\n");
  EXPECT_EQ(Run("a\nb\n"), "<15>[0001]a\n[0002]b\n<95>[0003]c\n[0004]d\n<10>");
}

// Line numbers that gain a digit (9 to 10, ..., 9999 to 10000) must find the
// text stored under their own key, or an unchanged line would be shown; the
// printed number keeps four digits at least and grows beyond them.
TEST_F(ChangeCycleTest, FindsEveryLineUnderItsOwnNumberAcrossNewDigits) {
  std::string before;
  for (int i = 1; i <= 10001; ++i) before += "line " + std::to_string(i) + "\n";
  std::string after = before;
  after.replace(after.find("line 100\n"), 9, "LINE 100\n");
  ThenWrite(after);
  std::string screen = Run(before);
  EXPECT_EQ(screen.substr(screen.find("<95>")), "<95>[0100]LINE 100\n<10>");
  EXPECT_NE(screen.find("[0009]line 9\n[0010]line 10\n"), std::string::npos);
  EXPECT_NE(screen.find("[9999]line 9999\n[10000]line 10000\n"), std::string::npos);
  EXPECT_EQ(TableFind("10000"), Digest("line 10000\n"));
  EXPECT_EQ(TableFind("100"), Digest("LINE 100\n"));
}

TEST_F(ChangeCycleTest, ShowsRewrittenMiddleLineAgain) {
  ThenWrite("a\nX\nc\n");
  EXPECT_EQ(Run("a\nb\nc\n"), "<15>[0001]a\n[0002]b\n[0003]c\n<95>[0002]X\n<10>");
}

TEST_F(ChangeCycleTest, SameContentRewrittenPrintsNothingButIsSaved) {
  ThenWrite("a\nb\n");
  ThenWake();  // status unchanged since the accepted pass: no pass at all
  EXPECT_EQ(Run("a\nb\n"), "<15>[0001]a\n[0002]b\n<95><10>");
}

TEST_F(ChangeCycleTest, CompletedLastLineContinuesItsRow) {
  ThenWrite("a\nbc\n");
  EXPECT_EQ(Run("a\nb"), "<15>[0001]a\n[0002]b<95>[0002]bc\n<10>");
}

TEST_F(ChangeCycleTest, FewerLinesClearAndListAgain) {
  ThenWrite("a\nZ\n");
  EXPECT_EQ(Run("a\nb\nc\n"),
            "<15>[0001]a\n[0002]b\n[0003]c\n"
            "<95>[0002]Z\n<10><CLS><10>[0001]a\n[0002]Z\n<10>");
}

TEST_F(ChangeCycleTest, ShorterInBytesOnlyIsADifference) {
  ThenWrite("a\nb\n");
  EXPECT_EQ(Run("aaaa\nbbbb\n"), "<15>[0001]aaaa\n[0002]bbbb\n<95>[0001]a\n[0002]b\n<10>");
}

TEST_F(ChangeCycleTest, EmptiedClearsAtEveryWakeAndRefillIsFullListing) {
  ThenWrite("");
  ThenWake();
  ThenWrite("x\n");
  ThenWrite("x\ny\n");
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<CLS><CLS><10>[0001]x\n<10><95>[0002]y\n<10>");
}

TEST_F(ChangeCycleTest, EmptyAtStartThenFilledIsFullListing) {
  ThenWrite("a\n");
  EXPECT_EQ(Run(""), "<15><10>[0001]a\n<10>");
}

TEST_F(ChangeCycleTest, DeletedThenRecreatedIsListedInFull) {
  ThenRemove();
  ThenWake();
  ThenWrite("a\nb\n");
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<CLS><CLS><10>[0001]a\n[0002]b\n<10>");
}

TEST_F(ChangeCycleTest, TwoWritesInOneSecondAreBothShown) {
  ThenWrite("a\nb\n", 1000);
  ThenWrite("a\nb\nc\n", 1000);
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<95>[0002]b\n<10><95>[0003]c\n<10>");
}

TEST_F(ChangeCycleTest, ReplacedFileWithSameSizeAndTimeStillCounts) {
  // Only the identity differs: another file moved into place.
  watcher.steps.push_back([this] {
    ScriptedFiles::File& file = files.files[kPath];
    file.bytes = "B\n";
    file.status.fileId = 99;
    return ChangeWatcher::kWoke;
  });
  EXPECT_EQ(Run("A\n"), "<15>[0001]A\n<95>[0001]B\n<10>");
}

TEST_F(ChangeCycleTest, FolderGoneEndsWithZeroAndMessage) {
  ThenWrite("a\nb\n");
  watcher.steps.push_back([] { return ChangeWatcher::kFolderGone; });
  ThenWake();  // never reached
  Run("a\n");
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(console.errors, kCannotWatch);
  EXPECT_EQ(console.screen, "<15>[0001]a\n<95>[0002]b\n<10>");
}

TEST_F(ChangeCycleTest, FailedWaitEndsWithZeroAndMessage) {
  watcher.steps.push_back([] { return ChangeWatcher::kWaitFailed; });
  ThenWake();
  Run("a\n");
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(console.errors, kWaitBroken);
}

TEST_F(ChangeCycleTest, UnwatchableFolderEndsWithZeroAtOnce) {
  watcher.refuseStart = true;
  ThenWrite("b\n");
  Run("a\n");
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(console.errors, kCannotWatch);
  EXPECT_EQ(console.screen, "<15>[0001]a\n");
}

class RefusedStartTest : public ChangeCycleTest {
 protected:
  int Start(int argc, const char* first, const char* second) {
    char* argv[] = {const_cast<char*>("murvex"), const_cast<char*>(first), const_cast<char*>(second),
                    nullptr};
    return MonitorMainBounded(argc, argv, Platform(), 0);
  }
};

TEST_F(RefusedStartTest, WrongArgumentCountOrMissingFileOrBinaryExitOne) {
  files.Put(kPath, "a\n");
  files.Put("bin.dat", std::string("\0\0\0\x01\x02\0\0", 7));
  EXPECT_EQ(Start(1, nullptr, nullptr), 1);
  EXPECT_EQ(Start(3, kPath, kPath), 1);
  EXPECT_EQ(Start(2, "none.log", nullptr), 1);
  EXPECT_EQ(Start(2, "bin.dat", nullptr), 1);
  EXPECT_EQ(console.screen, "");
  EXPECT_EQ(console.title, "");
  EXPECT_EQ(watcher.starts, 0);
}

// Lengths on both sides of every size class the hash treats apart, up to a
// whole line of the reader.
TEST(LineDigestTest, EqualTextsGiveEqualValuesAndAnyOneByteChangeAnother) {
  SetLineDigestSeed(0x5eed);
  for (size_t length : {0, 1, 3, 4, 8, 9, 16, 17, 128, 129, 240, 241, 65534}) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    std::string value = Digest(text);
    ASSERT_EQ(value.size(), kLineDigestSize) << "no NUL inside, length " << length;
    EXPECT_EQ(Digest(std::string(text)), value);
    for (size_t at = 0; at < length; at += 1 + at / 8) {
      std::string changed = text;
      changed[at] = static_cast<char>(changed[at] ^ 0x01);
      EXPECT_NE(Digest(changed), value) << "length " << length << ", byte " << at;
    }
    EXPECT_NE(Digest(text + "\n"), value);
  }
}

TEST(LineDigestTest, ValuesNeverHoldNulAndDifferForDifferentLines) {
  SetLineDigestSeed(0);
  std::set<std::string> values;
  for (int i = 0; i < 100000; ++i) {
    std::string value = Digest("line " + std::to_string(i) + "\n");
    ASSERT_EQ(value.size(), kLineDigestSize) << i;
    values.insert(value);
  }
  EXPECT_EQ(values.size(), 100000u);
}

// A writer of the file cannot know the key: each start draws a new one.
TEST(LineDigestTest, EachSeedAndEachDrawGiveOtherValues) {
  SetLineDigestSeed(1);
  std::string first = Digest("same line\n");
  SetLineDigestSeed(2);
  EXPECT_NE(Digest("same line\n"), first);

  uint64_t a = 0, b = 0;
  EXPECT_EQ(SystemRandom64(&a), 0);
  EXPECT_EQ(SystemRandom64(&b), 0);
  EXPECT_NE(a, b);
  SeedLineDigest();
  std::string drawn = Digest("same line\n");
  SeedLineDigest();
  EXPECT_NE(Digest("same line\n"), drawn);
}

}  // namespace

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include "../posix/PosixPlatform.h"

namespace {

// What the terminal console sends down its output, read back from a pipe.
class TerminalConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pipe(fds_), 0); }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  std::string Drain() {
    fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    std::string got;
    char buffer[4096];
    ssize_t count;
    while ((count = read(fds_[0], buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<size_t>(count));
    return got;
  }
  int fds_[2];
};

TEST_F(TerminalConsoleTest, ConvertsShiftJisAndShowsControlBytes) {
  TerminalConsole console(fds_[1], fds_[1]);
  // "表" in CP932 is 95 5C: its trail byte is a backslash and must stay inside.
  const char text[] = "\x95\x5C\t\x1b[2J\x7f\r\n";
  console.Write(text, sizeof text - 1);
  EXPECT_EQ(Drain(), "");  // buffered until a flush
  console.Flush();
  EXPECT_EQ(Drain(), "\xE8\xA1\xA8\t^[[2J^?\r\n");
  console.WriteError("[\x95\x5C]\n");
  EXPECT_EQ(Drain(), "[\xE8\xA1\xA8]\n");
}

TEST_F(TerminalConsoleTest, ColoursTitleAndClearAsSequencesInOrder) {
  TerminalConsole console(fds_[1], fds_[1]);
  console.SetTitle("app\x07.log");
  console.SetColour(kColourFirstListing);
  console.Write("a", 1);
  console.SetColour(kColourChanged);
  console.Write("b", 1);
  console.SetColour(kColourListing);
  console.Clear();
  EXPECT_EQ(Drain(),
            "\x1b]0;app.log\x07\x1b[0;97;40ma\x1b[0;97;45mb\x1b[0;92;40m\x1b[H\x1b[2J\x1b[3J");
}

TEST(InotifyWatcherTest, WakesOnChangeTimesOutAndSeesFolderGone) {
  char folder[] = "/tmp/murvex-watch-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  InotifyWatcher watcher;
  ASSERT_EQ(watcher.Start(folder), 0);
  EXPECT_EQ(watcher.Wait(0), ChangeWatcher::kWoke);  // time-out
  std::string file = std::string(folder) + "/a.log";
  int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "x\n", 2), 2);
  close(fd);
  EXPECT_EQ(watcher.Wait(5000), ChangeWatcher::kWoke);
  unlink(file.c_str());
  rmdir(folder);
  EXPECT_EQ(watcher.Wait(5000), ChangeWatcher::kFolderGone);
  InotifyWatcher other;
  EXPECT_EQ(other.Start(folder), -1);
}

}  // namespace
#endif
