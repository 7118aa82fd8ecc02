#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ChangeCycle.h"
#include "ConsoleTexts.h"
#include "KeyedTextTable.h"
#include "LineDigest.h"
#include "LineReader.h"
#include "Monitor.h"
#include "RunTable.h"
#include "ScriptedPlatform.h"
#include "TableFiller.h"
#include "TextEncoding.h"

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
// The monitor's messages as they reach standard error.
const std::string kCannotWatch = std::string("[") + kFolder + "]" + kCannotWatchText + "\n";
const std::string kWaitBroken = std::string("[") + kFolder + "]" + kWaitBrokenText + "\n";

class ChangeCycleTest : public ::testing::Test {
 protected:
  ScriptedFiles files;
  ScriptedConsole console;
  ScriptedWatcher watcher;

  // The line table and the encoding are process-wide; each case starts
  // from an empty table and an undetected file.
  void TearDown() override {
    TableClear();
    g_textEncoding = TextEncoding::None;
    SetRunMinimum(0);
    SetWholeVerifyLimit(-1);
  }

  MonitorPlatform Platform() { return MonitorPlatform{&files, &console, &watcher}; }

  // A wake-up after the file was rewritten; kTimedOut: no notification came.
  void ThenWrite(const std::string& bytes, int64_t elapsedNs = 1'000'000'000, int woke = ChangeWatcher::kWoke) {
    watcher.steps.push_back([this, bytes, elapsedNs, woke] {
      files.Put(kPath, bytes, elapsedNs);
      return woke;
    });
  }
  void ThenQuietly(const std::string& bytes, int64_t elapsedNs = 1'000'000'000) {
    ThenWrite(bytes, elapsedNs, ChangeWatcher::kTimedOut);
  }
  void ThenRemove(int woke = ChangeWatcher::kWoke) {
    watcher.steps.push_back([this, woke] {
      files.Remove(kPath);
      return woke;
    });
  }
  void ThenWake(int woke = ChangeWatcher::kWoke) {
    watcher.steps.push_back([woke] { return woke; });
  }
  // A file found shorter is judged after a short wait: it passes quietly.
  void ThenStaysSo() { ThenWake(ChangeWatcher::kTimedOut); }
  // Another case in the same test.
  void Restart() {
    TearDown();
    files = ScriptedFiles();
    console = ScriptedConsole();
    watcher = ScriptedWatcher();
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

// The lines of one read are on their way to the screen before the next read,
// which may be slow: a long listing shows its progress, not only its end.
TEST_F(ChangeCycleTest, ListingLongerThanOneReadReachesTheScreenReadByRead) {
  SetLineReaderBufferLimit(16);
  std::string screen = Run("line one\nline two\nline three\n");
  SetLineReaderBufferLimit(262144);
  size_t firstLineShown = screen.find("[0002]");
  ASSERT_NE(firstLineShown, std::string::npos) << screen;
  EXPECT_NE(std::find(console.flushedAt.begin(), console.flushedAt.end(), firstLineShown), console.flushedAt.end())
      << screen;
}

TEST_F(ChangeCycleTest, ShowsOnlyAppendedLinesHighlighted) {
  ThenWrite("a\nb\nc\nd\n");
  EXPECT_EQ(Run("a\nb\n"), "<15>[0001]a\n[0002]b\n<95>[0003]c\n[0004]d\n<10>");
}

// Line numbers that gain a digit (9 to 10, ..., 99999 to 100000) must find
// the text stored under their own key, or an unchanged line would be shown;
// the printed number keeps four digits at least and grows beyond them. A
// listing this long fills the table beside itself: every line must be in it
// once the listing ends.
TEST_F(ChangeCycleTest, FindsEveryLineUnderItsOwnNumberAcrossNewDigits) {
  std::string before;
  for (int i = 1; i <= 100001; ++i) before += "line " + std::to_string(i) + "\n";
  std::string after = before;
  after.replace(after.find("line 100\n"), 9, "LINE 100\n");
  after.replace(after.find("line 90000\n"), 11, "LINE 90000\n");
  ThenWrite(after);
  std::string screen = Run(before);
  EXPECT_EQ(screen.substr(screen.find("<95>")), "<95>[0100]LINE 100\n[90000]LINE 90000\n<10>");
  EXPECT_NE(screen.find("[0009]line 9\n[0010]line 10\n"), std::string::npos);
  EXPECT_NE(screen.find("[9999]line 9999\n[10000]line 10000\n"), std::string::npos);
  EXPECT_NE(screen.find("[99999]line 99999\n[100000]line 100000\n"), std::string::npos);
  EXPECT_EQ(TableFind("100001"), Digest("line 100001\n"));
  EXPECT_EQ(TableFind("100"), Digest("LINE 100\n"));
}

TEST_F(ChangeCycleTest, ShowsRewrittenMiddleLineAgain) {
  ThenWrite("a\nX\nc\n");
  EXPECT_EQ(Run("a\nb\nc\n"), "<15>[0001]a\n[0002]b\n[0003]c\n<95>[0002]X\n<10>");
}

// Passes that move over unchanged runs of lines show exactly what passes
// that compare every line show: runs of two 10-byte lines, also moved over
// within a read of 40 bytes, against no runs at all.
TEST_F(ChangeCycleTest, UnchangedRunsAreMovedOverShowingExactlyWhatALineByLinePassShows) {
  auto lines = [](int from, int to, const char* word = "line") {
    std::string text;
    for (int i = from; i <= to; ++i) text += word + std::string(i < 10 ? " 000" : " 00") + std::to_string(i) + "\n";
    return text;
  };
  struct Case {
    const char* name;
    std::vector<std::string> writes;
    std::string shown;  // what the passes print, after the first listing
  };
  const std::string eight = lines(1, 8);
  std::string listed = "<15>";
  for (int i = 1; i <= 8; ++i) listed += "[000" + std::to_string(i) + "]" + lines(i, i);
  const Case cases[] = {
      {"a line inside a run changed at the same length", {lines(1, 4) + "LINE 0005\n" + lines(6, 8)},
       "<95>[0005]LINE 0005\n<10>"},
      {"a run gains a line: the lines after it renumbered",
       {lines(1, 2) + "li\nne 0003\n" + lines(4, 8)},
       "<95>[0003]li\n[0004]ne 0003\n[0005]line 0004\n[0006]line 0005\n[0007]line 0006\n[0008]line 0007\n"
       "[0009]line 0008\n<10>"},
      {"rewritten with the same first run", {lines(1, 2) + lines(3, 8, "LOG "), lines(1, 2) + lines(3, 5, "LOG ")},
       "<95>[0003]LOG  0003\n[0004]LOG  0004\n[0005]LOG  0005\n[0006]LOG  0006\n[0007]LOG  0007\n"
       "[0008]LOG  0008\n<10><95><10><CLS><10>[0001]line 0001\n[0002]line 0002\n[0003]LOG  0003\n"
       "[0004]LOG  0004\n[0005]LOG  0005\n<10>"},
      {"a run of NULs as long as several pieces, then lines",
       {eight + std::string(140000, '\0') + "b 1\nline 0010\n", eight + std::string(140000, '\0') + "b 1\nLINE 0010\n"},
       "<95>[0009]b 1\n[0010]line 0010\n<10><95>[0010]LINE 0010\n<10>"},
      {"appended, the last line held back until its line end", {eight + "line 0009\nline", eight + "line 0009\nline 0010\n"},
       "<95>[0009]line 0009\n<10><95>[0010]line 0010\n<10>"},
  };
  // Last: a file that grew is read from the end of its last run, as a
  // large one is.
  struct Reading {
    int64_t runMinimum;
    size_t readLimit;
    int64_t wholeVerifyLimit;
  };
  for (const Case& c : cases) {
    for (Reading reading : {Reading{int64_t{1} << 40, 262144, -1}, Reading{16, 262144, -1}, Reading{16, 40, -1},
                            Reading{16, 40, 0}}) {
      TearDown();
      files = ScriptedFiles();
      console = ScriptedConsole();
      watcher = ScriptedWatcher();
      SetRunMinimum(reading.runMinimum);
      SetLineReaderBufferLimit(reading.readLimit);
      SetWholeVerifyLimit(reading.wholeVerifyLimit);
      for (const std::string& bytes : c.writes) {
        ThenWrite(bytes);
        ThenStaysSo();
      }
      EXPECT_EQ(listed + c.shown, Run(eight)) << c.name << ", runs of " << reading.runMinimum << ", reads of "
                                              << reading.readLimit << ", whole up to " << reading.wholeVerifyLimit;
    }
  }
  SetRunMinimum(0);
  SetLineReaderBufferLimit(262144);
}

std::string TenByteLines(int from, int to, const char* word = "line") {
  std::string text;
  for (int i = from; i <= to; ++i) text += word + std::string(i < 10 ? " 000" : " 00") + std::to_string(i) + "\n";
  return text;
}

// A large file that grew costs the bytes appended and its first and last
// runs: the bytes the file delivers to that pass, with eight lines in four
// runs of two (80 bytes). When either run differs, the pass verifies every
// run as it would for a small file.
TEST_F(ChangeCycleTest, AGrownLargeFileIsReadFromTheEndOfItsLastRunAfterItsFirstAndLastRunsAreChecked) {
  struct Case {
    const char* change;
    std::string bytes;
    std::string shown;
    size_t bytesRead;
  };
  const Case cases[] = {
      {"appended", TenByteLines(1, 10), "<95>[0009]line 0009\n[0010]line 0010\n<10>", 20 + 20 + 20},
      {"copied and truncated, then regrown past the old size", TenByteLines(1, 10, "next"),
       "<95>[0001]next 0001\n[0002]next 0002\n[0003]next 0003\n[0004]next 0004\n[0005]next 0005\n"
       "[0006]next 0006\n[0007]next 0007\n[0008]next 0008\n[0009]next 0009\n[0010]next 0010\n<10>",
       20 + 100},
      {"the tail rewritten, then appended", TenByteLines(1, 6) + TenByteLines(7, 9, "LINE"),
       "<95>[0007]LINE 0007\n[0008]LINE 0008\n[0009]LINE 0009\n<10>", 20 + 20 + 90},
  };
  // Nine lines: the ninth follows the last run, and its bytes are checked
  // at once rather than compared line by line.
  const Case afterTheRuns[] = {
      {"appended", TenByteLines(1, 10), "<95>[0010]line 0010\n<10>", 20 + 20 + 10 + 10},
      {"the line after the runs rewritten, then appended", TenByteLines(1, 8) + TenByteLines(9, 10, "LINE"),
       "<95>[0009]LINE 0009\n[0010]LINE 0010\n<10>", 20 + 20 + 10 + 20},
  };
  for (int listed : {8, 9}) {
    for (const Case& c : listed == 8 ? std::vector<Case>(std::begin(cases), std::end(cases))
                                     : std::vector<Case>(std::begin(afterTheRuns), std::end(afterTheRuns))) {
      TearDown();
      files = ScriptedFiles();
      console = ScriptedConsole();
      watcher = ScriptedWatcher();
      SetRunMinimum(16);
      SetWholeVerifyLimit(0);
      size_t before = 0;
      watcher.steps.push_back([&] {
        files.Put(kPath, c.bytes);
        before = files.bytesRead;
        return ChangeWatcher::kWoke;
      });
      std::string screen = Run(TenByteLines(1, listed));
      EXPECT_EQ(c.shown, screen.substr(screen.find("<95>"))) << c.change << ", " << listed << " lines listed";
      EXPECT_EQ(c.bytesRead, files.bytesRead - before) << c.change << ", " << listed << " lines listed";
    }
  }
}

// An edit above the old end that came with an append is left to the sweep
// between the waits, which runs at the slower of two paces: 5 microseconds
// of processor time for each millisecond waited (here a read costs a
// millisecond: at most three runs of two 10-byte lines in each look of half
// a second), and its least byte rate (here 40 bytes a second: one run a
// look, whatever reads cost). Run 10 of 20 is reached within ten looks and
// not within the first few. The run that differs starts a pass from there;
// a whole sweep later the sweep rests.
TEST_F(ChangeCycleTest, AnEditAboveTheEndOfAGrownLargeFileIsShownByTheSweepAtItsPace) {
  const struct {
    const char* bound;
    int readMs;
    int64_t leastBytesPerS;
    size_t mostPerLook, stillHiddenAt;
  } paces[] = {{"processor time", 1, 0, 60, 2}, {"bytes", 0, 40, 20, 7}};
  for (const auto& pace : paces) {
    Restart();
    SetRunMinimum(16);
    SetWholeVerifyLimit(0);
    SetSweepRate(-1, pace.leastBytesPerS);
    files.afterRead = [this, pace] { watcher.nowMs += pace.readMs; };
    ThenWrite(TenByteLines(1, 19) + TenByteLines(20, 20, "LINE") + TenByteLines(21, 41));
    std::vector<size_t> readAtLook;
    std::vector<std::string> screenAtLook;
    for (int look = 0; look < 50; ++look) {
      watcher.steps.push_back([&] {
        readAtLook.push_back(files.bytesRead);
        screenAtLook.push_back(console.screen);
        return ChangeWatcher::kTimedOut;
      });
    }
    std::string screen = Run(TenByteLines(1, 40));
    SetSweepRate(-1);
    const std::string appended = "<95>[0041]line 0041\n<10>";
    EXPECT_EQ(appended + "<95>[0020]LINE 0020\n<10>", screen.substr(screen.find("<95>"))) << pace.bound;
    const std::string& early = screenAtLook[pace.stillHiddenAt];
    EXPECT_EQ(appended, early.substr(early.find("<95>"))) << pace.bound;
    EXPECT_NE(screenAtLook[12], screenAtLook[0]) << pace.bound;
    EXPECT_EQ(readAtLook[45], readAtLook.back()) << pace.bound << ": resting";
    for (size_t look = 1; look < readAtLook.size() && screenAtLook[look] == screenAtLook[0]; ++look) {
      size_t swept = readAtLook[look] - readAtLook[look - 1];
      EXPECT_TRUE(swept > 0 && swept <= pace.mostPerLook) << pace.bound << ": look " << look << " read " << swept;
    }
  }
}

// Back-to-back passes take a tenth of the time: after a pass of 40 ms the
// next starts 360 ms after it ended at the soonest, the watcher armed
// meanwhile; the changes notified during the wait are shown by that one
// pass, every line of them.
TEST_F(ChangeCycleTest, APassWaitsNineTimesTheLastPassAfterItAndShowsEveryChangeMeanwhile) {
  files.afterRead = [this] { watcher.nowMs += 40; };
  ThenWrite("a\nb\n");        // a pass of one read: 40 ms
  ThenWrite("a\nb\nc\n");     // notified at once: waits 360 ms, and meanwhile
  ThenWrite("a\nb\nc\nd\n");  // another change is notified,
  watcher.steps.push_back([] { return ChangeWatcher::kTimedOut; });  // the rest of the wait passes
  ThenWrite("x\nb\nc\nd\n", 1'000'000'000, ChangeWatcher::kTimedOut);  // the next look, 500 ms later
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<95>[0002]b\n<10><95>[0003]c\n[0004]d\n<10><95>[0001]x\n<10>");
  EXPECT_EQ((std::vector<int>{500, 500, 360, 360, 500, 500}), watcher.waitsMs);
}

// A pass of a second would wait nine: the wait is held to five seconds (ten
// waits of half a second here), and a wait that fails during it ends the
// cycle as any failing wait does.
TEST_F(ChangeCycleTest, TheWaitBeforeAPassIsHeldToFiveSecondsAndEndsWithAFailingWait) {
  files.afterRead = [this] { watcher.nowMs += 1000; };
  ThenWrite("a\nb\n");
  ThenWrite("a\nb\nc\n");
  for (int i = 0; i < 10; ++i) watcher.steps.push_back([] { return ChangeWatcher::kTimedOut; });
  ThenWrite("a\nb\nc\nd\n");
  ThenWake(ChangeWatcher::kWaitFailed);  // while d waits
  std::string screen = Run("a\n");
  EXPECT_EQ(screen, "<15>[0001]a\n<95>[0002]b\n<10><95>[0003]c\n<10>");
  EXPECT_EQ(std::vector<int>(14, 500), watcher.waitsMs);
  EXPECT_EQ(kWaitBroken, console.errors);
  EXPECT_EQ(0, exitCode);
}

TEST_F(ChangeCycleTest, SameContentRewrittenPrintsNothingButIsSaved) {
  ThenWrite("a\nb\n");
  ThenWake();  // status unchanged since the accepted pass: no pass at all
  EXPECT_EQ(Run("a\nb\n"), "<15>[0001]a\n[0002]b\n<95><10>");
}

TEST_F(ChangeCycleTest, NulBytesAreLeftOutOfALineAndHideNothingAfterThem) {
  using namespace std::string_literals;
  // NULs in the first bytes refuse a file without a mark; later ones come
  // from a writer that went on at its offset after a truncation.
  ThenWrite("x\0y\nz\0\0w\n\0"s);
  EXPECT_EQ(Run("xy\nz\n"), "<15>[0001]xy\n[0002]z\n<95>[0002]zw\n<10>");
  TearDown();
  console = ScriptedConsole();
  watcher = ScriptedWatcher();
  EXPECT_EQ(Run("\xFF\xFE" "a\0\0\0b\0\n\0"s), "<15>[0001]ab\n");
}

TEST_F(ChangeCycleTest, APlainAsciiFileIsReadAsItsFirstLineWithAHighByteSaysUntilItIsListedAgain) {
  // "あ" in UTF-8, then in code page 932 while the UTF-8 verdict holds (it
  // shows as blanks), then the file starts over in code page 932.
  ThenWrite("log\n\xE3\x81\x82\n");
  ThenWrite("log\n\xE3\x81\x82\n\x82\xA0\n");
  ThenWrite("\x82\xA0\n");
  ThenStaysSo();
  std::string screen = Run("log\n");
  std::string cleared = screen.substr(screen.find("<CLS>"));
  EXPECT_EQ(screen.substr(0, screen.find("<CLS>")),
            "<15>[0001]log\n<95>[0002]" + kHiraganaA + "\n<10><95>[0003]  \n<10><95>[0001]  \n<10>");
  EXPECT_EQ(cleared, "<CLS><10>[0001]" + kHiraganaA + "\n<10>");
}

// The line end (LF or CR LF) is not text: the console gets a line feed of
// its own. A carriage return inside a line reaches the console as text, for
// it to show without moving the cursor.
TEST_F(ChangeCycleTest, ACarriageReturnInsideALineIsTextAndTheLineEndIsNot) {
  ThenWrite("downloading  10%\rdownloading 100%\r\nx\r\r\n\r\n");
  EXPECT_EQ(Run("downloading  10%\r\n"),
            "<15>[0001]downloading  10%\n<95>[0001]downloading  10%\rdownloading 100%\n[0002]x\r\n[0003]\n<10>");
}

// The first listing shows the file as found; every line printed ends its
// row, and a completed line is shown again under its number.
// A writer that flushed in the middle of a character: the cut form decides
// nothing, neither at start nor in a pass; the completed text decides.
TEST_F(ChangeCycleTest, ACharacterCutOffAtTheEndOfWhatWasReadDecidesNothing) {
  ThenWrite("log\nx \xE3\x81\x82\n");
  std::string screen = Run("log\nx \xE3\x81");
  EXPECT_EQ(screen.substr(screen.find("<95>")), "<95>[0002]x " + kHiraganaA + "\n<10>");
  TearDown();
  console = ScriptedConsole();
  watcher = ScriptedWatcher();
  ThenWrite("log\ny \xE3\x81");
  ThenWrite("log\ny \xE3\x81\x82\n");
  EXPECT_EQ(Run("log\n"), "<15>[0001]log\n<95><10><95>[0002]y " + kHiraganaA + "\n<10>");
}

TEST_F(ChangeCycleTest, ALastLineFoundWithoutItsLineEndEndsItsRowAndIsShownAgainWhenCompleted) {
  ThenWrite("a\nbc\n");
  EXPECT_EQ(Run("a\nb"), "<15>[0001]a\n[0002]b\n<95>[0002]bc\n<10>");
}

// A line being written is held back until its line end comes, or until the
// file has stayed as it is for a second (a notification about another file
// does not count as time); once shown, it is shown again when completed.
TEST_F(ChangeCycleTest, ALastLineIsHeldBackWhileItMayStillBeWritten) {
  ThenWrite("a\nb\nre");
  ThenWake();
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWrite("a\nb\nrequest 1 done\nre", 0, ChangeWatcher::kTimedOut);
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWrite("a\nb\nrequest 1 done\nrequest 2\n");
  EXPECT_EQ(Run("a\nb\n"),
            "<15>[0001]a\n[0002]b\n<95><10><95>[0003]request 1 done\n<10>"
            "<95>[0004]re\n<10><95>[0004]request 2\n<10>");
}

// A pass reads the file as it was when the pass opened it: what a writer adds
// meanwhile is the next pass's, so no line is cut where the writer was.
TEST_F(ChangeCycleTest, AFileThatGrowsBetweenTheReadsOfOnePassShowsEveryLineOnceWhole) {
  SetLineReaderBufferLimit(4);
  int reads = 0;
  watcher.steps.push_back([this, &reads] {
    files.Put(kPath, "a\nrequest 1");
    files.afterRead = [this, &reads] {
      if (++reads == 2) files.Put(kPath, "a\nrequest 1 done in 7 ms\nrequest 2\n", 1000);
    };
    return ChangeWatcher::kWoke;
  });
  ThenWake();
  std::string screen = Run("a\n");
  SetLineReaderBufferLimit(262144);
  EXPECT_EQ(screen, "<15>[0001]a\n<95><10><95>[0002]request 1 done in 7 ms\n[0003]request 2\n<10>");
}

TEST_F(ChangeCycleTest, FewerLinesClearAndListAgain) {
  ThenWrite("a\nZ\n");
  ThenStaysSo();
  EXPECT_EQ(Run("a\nb\nc\n"),
            "<15>[0001]a\n[0002]b\n[0003]c\n"
            "<95>[0002]Z\n<10><CLS><10>[0001]a\n[0002]Z\n<10>");
}

TEST_F(ChangeCycleTest, ShorterInBytesOnlyIsADifference) {
  ThenWrite("a\nb\n");
  ThenStaysSo();
  EXPECT_EQ(Run("aaaa\nbbbb\n"), "<15>[0001]aaaa\n[0002]bbbb\n<95>[0001]a\n[0002]b\n<10>");
}

// A rewrite in place (truncate, then write) seen half-way, or emptied and
// then written, is judged once the file has stayed as it is for a moment:
// one difference pass, only the changed line highlighted. A writer that
// keeps changing it is judged after a second at most.
TEST_F(ChangeCycleTest, ARewriteSeenHalfWrittenIsJudgedOnceWhenItStaysSo) {
  const std::string before = "status: ok\nload: 1\nend\n";
  for (const std::string halfway : {"status: ok\n", ""}) {
    Restart();
    ThenWrite(halfway);
    ThenWrite("status: ok\nload: 2\nend\n");
    ThenStaysSo();
    EXPECT_EQ(Run(before), "<15>[0001]status: ok\n[0002]load: 1\n[0003]end\n<95>[0002]load: 2\n<10>") << halfway;
  }
  Restart();
  ThenWrite("s\n");
  for (int i = 0; i < 6; ++i) ThenQuietly("s" + std::to_string(i) + "\n");
  Run(before);
  EXPECT_EQ((std::vector<int>{500, 200, 200, 200, 200, 200, 500, 500}), watcher.waitsMs);
}

// Another file under the name that begins as the shown one did (its first
// line, and its first run where runs are recorded) is the same document
// saved anew (sed -i, a temporary renamed over it): compared, only the
// changed line shown. One that begins otherwise is listed in full.
TEST_F(ChangeCycleTest, ADocumentSavedAnewUnderItsNameIsComparedNotRelisted) {
  auto thenSavedAs = [this](const std::string& bytes) {
    watcher.steps.push_back([this, bytes] {
      files.Remove(kPath);
      files.Put(kPath, bytes);
      return ChangeWatcher::kWoke;
    });
  };
  thenSavedAs("a\nB\nc\n");
  thenSavedAs("x\nB\nc\n");
  EXPECT_EQ(Run("a\nb\nc\n"),
            "<15>[0001]a\n[0002]b\n[0003]c\n<95>[0002]B\n<10><CLS><10>[0001]x\n[0002]B\n[0003]c\n<10>");
  Restart();
  SetRunMinimum(8);  // the first run: lines 1 and 2
  thenSavedAs("line 1\nline 2\nline 3\nLINE 4\n");
  thenSavedAs("line 1\nLINE 2\nline 3\nLINE 4\n");
  EXPECT_EQ(Run("line 1\nline 2\nline 3\nline 4\n"),
            "<15>[0001]line 1\n[0002]line 2\n[0003]line 3\n[0004]line 4\n<95>[0004]LINE 4\n<10>"
            "<CLS><10>[0001]line 1\n[0002]LINE 2\n[0003]line 3\n[0004]LINE 4\n<10>");
  SetRunMinimum(0);
}

TEST_F(ChangeCycleTest, EmptiedClearsAtEveryWakeAndRefillIsFullListing) {
  ThenWrite("");
  ThenStaysSo();
  ThenWake();
  ThenWrite("x\n");
  ThenWrite("x\ny\n");
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<CLS><CLS><10>[0001]x\n<10><95>[0002]y\n<10>");
}

// Also when the first line came in pieces and was held back at first.
TEST_F(ChangeCycleTest, EmptyAtStartThenFilledIsFullListing) {
  ThenWrite("a\n");
  EXPECT_EQ(Run(""), "<15><10>[0001]a\n<10>");
  TearDown();
  console = ScriptedConsole();
  watcher = ScriptedWatcher();
  ThenWrite("a");
  ThenWrite("ab\nc\n");
  EXPECT_EQ(Run(""), "<15><10><10><10>[0001]ab\n[0002]c\n<10>");
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

// Another file under the name (rotation by rename) is listed from the top,
// even with the same size and time, and even with more lines than the old.
TEST_F(ChangeCycleTest, ARotatedFileIsClearedAndListedInFull) {
  watcher.steps.push_back([this] {
    ScriptedFiles::File& file = files.files[kPath];
    file.bytes = "B\n";
    file.status.fileId = 99;
    return ChangeWatcher::kWoke;
  });
  watcher.steps.push_back([this] {
    files.Remove(kPath);
    files.Put(kPath, "new 1\nnew 2\nnew 3\n");
    return ChangeWatcher::kWoke;
  });
  EXPECT_EQ(Run("A\n"), "<15>[0001]A\n<CLS><10>[0001]B\n<10><CLS><10>[0001]new 1\n[0002]new 2\n[0003]new 3\n<10>");
}

// Each full listing decides the encoding again: a program that writes UTF-16
// with its mark into an emptied log (PowerShell 5.1's >), content that now
// looks binary (still listed, as code page 932), UTF-8 with its mark.
TEST_F(ChangeCycleTest, AFullListingDecidesTheEncodingAfresh) {
  using namespace std::string_literals;
  ThenWrite("\xFF\xFE\x42\x30 \0s\0t\0\n\0"s);
  ThenWrite("");
  ThenStaysSo();
  ThenWrite("x\0y\n"s);
  ThenWrite("");
  ThenStaysSo();
  ThenWrite("\xEF\xBB\xBF\xE3\x81\x82\n");
  EXPECT_EQ(Run(""), "<15><10>[0001]" + kHiraganaA + " st\n<10><CLS><10>[0001]xy\n<10><CLS><10>[0001]" + kHiraganaA + "\n<10>");
  EXPECT_EQ(g_textEncoding, TextEncoding::Utf8Bom);
}

// Writers that keep the file open, network mounts and shared mappings send
// no notification: the status is looked at every interval instead.
TEST_F(ChangeCycleTest, GrowthWithoutNotificationIsShownAtTheNextLook) {
  ThenQuietly("a\nb\n");
  ThenWake(ChangeWatcher::kTimedOut);
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<95>[0002]b\n<10>");
  EXPECT_LE(watcher.longestWaitMs, 1000);
}

TEST_F(ChangeCycleTest, SameSizeRewriteWithoutNotificationIsShownAtTheNextLook) {
  ThenQuietly("a\nX\nc\n", 1000);
  EXPECT_EQ(Run("a\nb\nc\n"), "<15>[0001]a\n[0002]b\n[0003]c\n<95>[0002]X\n<10>");
}

// Quiet looks that find what the last look found do nothing: an empty or
// missing file is cleared once, not twice a second; a notification still
// clears as before.
TEST_F(ChangeCycleTest, QuietLooksDoNotClearAnEmptyOrMissingFileAgain) {
  ThenWrite("");
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWake(ChangeWatcher::kTimedOut);
  ThenRemove(ChangeWatcher::kTimedOut);
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWake();
  ThenQuietly("x\n");
  ThenWake(ChangeWatcher::kTimedOut);
  EXPECT_EQ(Run("a\n"), "<15>[0001]a\n<CLS><CLS><CLS><10>[0001]x\n<10>");
}

// The file is followed by its name: its folder deleted and made again, or a
// link to it pointed at another, never ends the monitor. It says once that
// it waits, clears as for a missing file, arms the wait again as soon as the
// folder is there, and lists what the folder then holds.
TEST_F(ChangeCycleTest, AFolderThatGoesIsAwaitedByNameAndWatchedAgainWhenBack) {
  ThenWrite("a\nb\n");
  watcher.steps.push_back([this] {
    files.Remove(kPath);
    files.goneFolders.insert(kFolder);
    return ChangeWatcher::kFolderGone;
  });
  ThenWake(ChangeWatcher::kTimedOut);
  ThenWake();
  watcher.steps.push_back([this] {
    files.goneFolders.clear();
    files.folderIds[kFolder] = 2;
    files.Put(kPath, "new\n");
    return ChangeWatcher::kTimedOut;
  });
  ThenWake(ChangeWatcher::kTimedOut);
  watcher.steps.push_back([this] {  // ln -sfn: no notification, another folder
    files.folderIds[kFolder] = 3;
    files.Remove(kPath);
    files.Put(kPath, "other\n");
    return ChangeWatcher::kTimedOut;
  });
  Run("a\n");
  EXPECT_EQ(exitCode, 2);
  EXPECT_EQ(console.screen, "<15>[0001]a\n<95>[0002]b\n<10><CLS><10>[0001]new\n<10><CLS><10>[0001]other\n<10>");
  EXPECT_EQ(console.errors, std::string("[") + kFolder + "]" + kAwaitFolderText + "\n");
  EXPECT_EQ(watcher.starts, 3);
}

TEST_F(ChangeCycleTest, FailedWaitEndsWithZeroAndMessage) {
  watcher.steps.push_back([] { return ChangeWatcher::kWaitFailed; });
  ThenWake();
  Run("a\n");
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(console.errors, kWaitBroken);
}

// A folder that is there but cannot be watched (no inotify watch left) is
// said once; the half-second looks still show every change.
TEST_F(ChangeCycleTest, AFolderThatCannotBeWatchedIsSaidOnceAndLookedAt) {
  watcher.refuseStart = true;
  ThenQuietly("a\nb\n");
  ThenWake(ChangeWatcher::kTimedOut);
  Run("a\n");
  EXPECT_EQ(console.errors, kCannotWatch);
  EXPECT_EQ(console.screen, "<15>[0001]a\n<95>[0002]b\n<10>");
}

// A FIFO (whose writer wakes the folder at every write), a device, a
// folder or a file it may not read under the name is a missing file:
// cleared and named once, then waited past until a regular file is there.
TEST_F(ChangeCycleTest, WhatIsNotARegularFileIsClearedAndNamedOnceAndWaitedPast) {
  auto thenKind = [this](FileStatus::Kind kind) {
    watcher.steps.push_back([this, kind] {
      files.Remove(kPath);
      files.Put(kPath, "");
      files.files[kPath].status.kind = kind;
      return ChangeWatcher::kWoke;
    });
  };
  thenKind(FileStatus::kOther);
  ThenWake();
  ThenWake();
  thenKind(FileStatus::kFolder);
  ThenWake();
  thenKind(FileStatus::kUnreadable);
  ThenWake();
  watcher.steps.push_back([this] {  // chmod, then written
    files.files[kPath].status.kind = FileStatus::kRegular;
    files.Put(kPath, "x\n");
    return ChangeWatcher::kWoke;
  });
  Run("a\n");
  EXPECT_EQ(console.screen, "<15>[0001]a\n<CLS><CLS><CLS><10>[0001]x\n<10>");
  const std::string named = std::string("[") + kPath + "]";
  EXPECT_EQ(console.errors, named + kNotRegularText + "\n" + named + kFolderText + "\n" + named + kNoAccessText + "\n");
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
  EXPECT_EQ(console.errors, "");
  // A status of 0 bytes for a file that reads bytes (/proc/loadavg).
  files.Put("loadavg", "0.1 0.2\n");
  files.files["loadavg"].status.size = 0;
  EXPECT_EQ(Start(2, "loadavg", nullptr), 1);
  EXPECT_EQ(console.errors, "[loadavg]" + kSizeZeroText + "\n");
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

// Every line given is in the table once Finish returns, whether the lines
// stayed on the caller's thread, filled whole batches, or ended with a part
// of one (also one given before the filler's thread started).
TEST(TableFillerTest, EveryLineIsInTheTableOnceFinished) {
  for (int lines : {0, 1, 65536, 65537, 65536 + 8191, 65536 + 8192, 65536 + 5 * 8192 + 3}) {
    {
      TableFiller filler;
      for (int number = 1; number <= lines; ++number) {
        std::string key = std::to_string(number);
        filler.Insert(key.c_str(), Digest("line " + key).c_str());
      }
      filler.Finish();
    }
    for (int number : {1, lines / 2 + 1, lines - 8192, lines - 1, lines}) {
      if (number < 1 || number > lines) continue;
      const char* stored = TableFind(std::to_string(number).c_str());
      ASSERT_NE(stored, nullptr) << number << " of " << lines;
      EXPECT_EQ(stored, Digest("line " + std::to_string(number))) << number << " of " << lines;
    }
    EXPECT_EQ(TableFind(std::to_string(lines + 1).c_str()), nullptr);
    TableClear();
  }
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
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "../posix/PosixPlatform.h"

namespace {

// What the terminal console sends down its output, read back from a pipe
// or, after UseTerminal, from a pseudo-terminal.
class TerminalConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pipe(fds_), 0); }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  // Raw mode: the bytes arrive as they were sent.
  void UseTerminal() {
    close(fds_[0]);
    close(fds_[1]);
    ASSERT_EQ(openpty(&fds_[0], &fds_[1], nullptr, nullptr, nullptr), 0);
    termios mode;
    tcgetattr(fds_[1], &mode);
    cfmakeraw(&mode);
    tcsetattr(fds_[1], TCSANOW, &mode);
  }
  // What has come out; waits (at most 5 s) until `expected` bytes have, as
  // a terminal passes them on a moment later.
  std::string Drain(size_t expected = 0) {
    fcntl(fds_[0], F_SETFL, O_NONBLOCK);
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      char buffer[4096];
      ssize_t count;
      while ((count = read(fds_[0], buffer, sizeof buffer)) > 0) got.append(buffer, static_cast<size_t>(count));
      if (got.size() >= expected || std::chrono::steady_clock::now() >= deadline) return got;
      pollfd ready{fds_[0], POLLIN, 0};
      poll(&ready, 1, 50);
    }
  }
  int fds_[2];
};

TEST_F(TerminalConsoleTest, WritesUtf8AsItIsAndShowsControlCharactersVisibly) {
  TerminalConsole console(fds_[1], fds_[1]);
  // "表", then C0 controls, DEL and the C1 control U+009B (a CSI to some
  // terminals); a carriage return would write the rest over the row's start.
  const char text[] = "\xE8\xA1\xA8\t\x1b[2J\x7f\xC2\x9B" "1m\xC2\xA0 10%\r100%\n";
  console.Write(text, sizeof text - 1);
  EXPECT_EQ(Drain(), "");  // buffered until a flush
  console.Flush();
  EXPECT_EQ(Drain(), "\xE8\xA1\xA8\t^[[2J^?M-^[1m\xC2\xA0 10%^M100%\n");
  console.WriteError("[/tmp/\xE6\x97\xA5\xE6\x9C\xAC]\n");
  EXPECT_EQ(Drain(), "[/tmp/\xE6\x97\xA5\xE6\x9C\xAC]\n");
}

TEST_F(TerminalConsoleTest, ColoursTitleAndClearAsSequencesInOrder) {
  UseTerminal();
  TerminalConsole console(fds_[1], fds_[1]);
  console.SetTitle("app\x07.log");
  console.SetColour(kColourFirstListing);
  console.Write("a", 1);
  console.SetColour(kColourChanged);
  console.Write("b", 1);
  console.SetColour(kColourListing);
  console.Clear();
  // The title found is saved first, to be put back at the end; the title's
  // control characters are shown, not acted on; listings in the terminal's
  // own colours; a clear leaves the scrollback alone.
  const std::string expected = "\x1b[22;0t\x1b]0;app^G.log\x07\x1b[0ma\x1b[0;97;45mb\x1b[0m\x1b[H\x1b[2J";
  EXPECT_EQ(Drain(expected.size()), expected);
}

TEST_F(TerminalConsoleTest, AFileOrPipeGetsTheNumberedLinesAloneWithControlBytesStillShown) {
  TerminalConsole console(fds_[1], fds_[1]);
  console.SetColour(kColourFirstListing);
  console.SetTitle("app.log");
  console.Write("[0001]a\x1b[31m\n", 13);
  console.SetColour(kColourChanged);
  console.Clear();
  console.Flush();
  EXPECT_EQ(Drain(), "[0001]a^[[31m\n");
}

TEST_F(TerminalConsoleTest, PutsTheTerminalBackOnAFreshLineWhenItGoes) {
  UseTerminal();
  const std::string start = "\x1b[0m\x1b[22;0t\x1b]0;a.log\x07[0001]x";
  for (const std::string end : {"", "\n"}) {
    {
      TerminalConsole console(fds_[1], fds_[1]);
      console.SetColour(kColourFirstListing);
      console.SetTitle("a.log");
      console.Write(("[0001]x" + end).data(), 7 + end.size());
      console.Flush();
    }
    const std::string expected =
        start + end + "\x1b[0m" + (end.empty() ? "\r\n" : "") + "\x1b[23;0t";
    EXPECT_EQ(Drain(expected.size()), expected);
  }
  // A start refused before the first colour leaves the terminal untouched.
  { TerminalConsole refused(fds_[1], fds_[1]); }
  ASSERT_EQ(write(fds_[1], "end", 3), 3);
  EXPECT_EQ(Drain(3), "end");
}

TEST(InotifyWatcherTest, WakesOnChangeTimesOutAndSeesFolderGone) {
  char folder[] = "/tmp/murvex-watch-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  InotifyWatcher watcher;
  std::string file = std::string(folder) + "/a.log";
  ASSERT_EQ(watcher.Start(folder, file.c_str()), 0);
  EXPECT_EQ(watcher.Wait(0), ChangeWatcher::kTimedOut);
  int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "x\n", 2), 2);
  close(fd);
  EXPECT_EQ(watcher.Wait(5000), ChangeWatcher::kWoke);
  unlink(file.c_str());
  rmdir(folder);
  EXPECT_EQ(watcher.Wait(5000), ChangeWatcher::kFolderGone);
  InotifyWatcher other;
  EXPECT_EQ(other.Start(folder, file.c_str()), -1);
}

// The wait wakes for its own file only, wherever its name leads: the file
// written, re-created under the name by a rotation, or reached through a
// symbolic link re-pointed by a deploy (its target in another folder); not
// for another file of the folder, nor for the file the name led to before.
TEST(InotifyWatcherTest, WakesForItsFileWhereverTheNameLeadsAndNotForOthers) {
  const std::string folder = "/tmp/murvex-watch-" + std::to_string(getpid()), log = folder + "/a.log";
  const std::string other = folder + "-target";
  ASSERT_TRUE(std::filesystem::create_directories(other) && std::filesystem::create_directory(folder));
  InotifyWatcher watcher;
  ASSERT_EQ(watcher.Start(folder.c_str(), log.c_str()), 0);
  // A line appended to the path; first (r) the file renamed away to it, or
  // (l) the name made a new link to it; or (x) the name removed.
  const struct {
    const char* what;
    char action;
    std::string path;
    int expected;
  } steps[] = {
      {"the file created", 'a', log, ChangeWatcher::kWoke},
      {"another file of the folder written", 'a', folder + "/b.log", ChangeWatcher::kTimedOut},
      {"the file rotated", 'r', folder + "/a.log.1", ChangeWatcher::kWoke},
      {"the rotated file written", 'a', folder + "/a.log.1", ChangeWatcher::kTimedOut},
      {"the name made a link to another folder", 'l', other + "/v1.log", ChangeWatcher::kWoke},
      {"its target written", 'a', other + "/v1.log", ChangeWatcher::kWoke},
      {"the link re-pointed", 'l', other + "/v2.log", ChangeWatcher::kWoke},
      {"the old target written", 'a', other + "/v1.log", ChangeWatcher::kTimedOut},
      {"the new target written", 'a', other + "/v2.log", ChangeWatcher::kWoke},
      {"the name removed", 'x', log, ChangeWatcher::kWoke},
  };
  for (const auto& step : steps) {
    if (step.action == 'r') std::filesystem::rename(log, step.path);
    if (step.action == 'l') std::filesystem::create_symlink(step.path, folder + "/a.new");
    if (step.action != 'x' && step.action != 'r') std::ofstream(step.path, std::ios::app) << "x\n";
    if (step.action == 'l') std::filesystem::rename(folder + "/a.new", log);
    if (step.action == 'x') std::filesystem::remove(log);
    int woke = watcher.Wait(step.expected == ChangeWatcher::kTimedOut ? 100 : 5000);
    EXPECT_EQ(woke, step.expected) << step.what;
    // What else the change brought is taken before the next step.
    while (woke == ChangeWatcher::kWoke && (woke = watcher.Wait(50)) == ChangeWatcher::kWoke) {
    }
  }
  std::filesystem::remove_all(folder);
  std::filesystem::remove_all(other);
}

}  // namespace
#endif
