#include "RunTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineDigest.h"
#include "LineReader.h"
#include "ScriptedPlatform.h"

namespace {

const char kPath[] = "app.log";

class RunTableTest : public ::testing::Test {
 protected:
  ScriptedFiles files;
  FileView view;
  RunTable runs;
  void SetUp() override {
    SetPlatform(MonitorPlatform{&files, nullptr, nullptr});
    SetLineDigestSeed(12345);
    SetRunMinimum(16);
  }
  void TearDown() override {
    SetRunMinimum(0);
    SetLineReaderBufferLimit(262144);
  }
  // One pass as the change cycle makes it: runs moved over first (a
  // listing when `listing`), then every line read and counted into a run.
  // The lines read, after the number of lines moved over; the line
  // numbered `deciding` (counting from 1) decides the encoding.
  std::vector<std::string> Pass(const std::string& bytes, bool listing = false, int capacity = 65535,
                                size_t deciding = 0) {
    files.Put(kPath, bytes);
    std::vector<std::string> read;
    if (listing) {
      runs.Forget(view);
    } else {
      read.push_back("skipped " + std::to_string(runs.SkipUnchanged(view, kPath)));
    }
    std::vector<char> line(static_cast<size_t>(capacity) + 1);
    while (int count = view.ReadLineA(kPath, line.data(), capacity)) {
      read.emplace_back(line.data(), static_cast<size_t>(count));
      if (read.size() - (listing ? 0 : 1) == deciding) view.lineDecision = TextEncoding::Ansi;
      runs.CountLine(view);
    }
    return read;
  }
  // Runs as "offset+length/lines", each checked against the bytes.
  std::string Runs(const std::string& bytes) {
    std::string shown;
    int64_t next = 0;
    for (size_t i = 0; i < runs.Count(); ++i) {
      const LineRun& run = runs.At(i);
      EXPECT_EQ(next, run.offset) << "runs follow each other from the first byte";
      EXPECT_GE(run.length, 16);
      EXPECT_EQ(DigestBytes(bytes.data() + run.offset, static_cast<size_t>(run.length)), run.digest);
      next = run.offset + run.length;
      shown += std::to_string(run.offset) + "+" + std::to_string(run.length) + "/" + std::to_string(run.lines) + " ";
    }
    return shown;
  }
};

const std::string kLines = "0123456789\nabcdefgh\nABCDEFGHIJKLMNOPQRSTU\nxy\n1234567\nshort\nopen end";

TEST_F(RunTableTest, RecordsRunsOfWholeLinesWithTheDigestOfTheirBytesAcrossAnyRead) {
  // Lines of 11, 9, 22, 3, 8 and 6 bytes, then one without its line end.
  for (size_t limit : {3, 7, 64, 262144}) {
    SetLineReaderBufferLimit(limit);
    Pass(kLines, true);
    EXPECT_EQ("0+20/2 20+22/1 42+17/3 ", Runs(kLines)) << "read limit " << limit;
  }
}

TEST_F(RunTableTest, APieceOfAnOverlongLineEndsARunButAnOpenLastLineNever) {
  std::string bytes = std::string(20, 'a') + "\n" + std::string(9, 'b');
  Pass(bytes, true, 8);  // pieces of 7 bytes
  EXPECT_EQ("0+21/3 ", Runs(bytes));
}

TEST_F(RunTableTest, MovesOverUnchangedRunsAndRecordsAgainFromTheFirstThatDiffers) {
  struct Case {
    const char* change;
    std::string bytes;
    std::vector<std::string> read;
    std::string runs;
  };
  std::string sameLength = kLines;
  sameLength[25] = '!';  // inside the second run, same length
  std::string longer = kLines;
  longer.insert(21, "\n");  // the second run gains a line
  const Case cases[] = {
      {"unchanged", kLines, {"skipped 6", "open end"}, "0+20/2 20+22/1 42+17/3 "},
      {"appended", kLines + "\nnew line\n", {"skipped 6", "open end\n", "new line\n"},
       "0+20/2 20+22/1 42+17/3 59+18/2 "},
      {"changed at the same length", sameLength,
       {"skipped 2", "ABCDE!GHIJKLMNOPQRSTU\n", "xy\n", "1234567\n", "short\n", "open end"},
       "0+20/2 20+22/1 42+17/3 "},
      {"a line more in the second run", longer,
       {"skipped 2", "A\n", "BCDEFGHIJKLMNOPQRSTU\n", "xy\n", "1234567\n", "short\n", "open end"},
       "0+20/2 20+23/2 43+17/3 "},
      {"shorter than the first run", "0123456789\n", {"skipped 0", "0123456789\n"}, ""},
  };
  for (const Case& c : cases) {
    Pass(kLines, true);
    EXPECT_EQ(c.read, Pass(c.bytes)) << c.change;
    EXPECT_EQ(c.runs, Runs(c.bytes)) << c.change;
  }
}

TEST_F(RunTableTest, ARunIsMovedOverOnlyUnderTheDecisionItWasReadUnderAndPassesItsDecisionOn) {
  Pass(kLines, true, 65535, 3);  // the third line, the second run's, decides
  view.lineDecision = TextEncoding::None;
  EXPECT_EQ("skipped 6", Pass(kLines)[0]);
  EXPECT_EQ(TextEncoding::Ansi, view.lineDecision) << "the decision its lines made";
  view.lineDecision = TextEncoding::Utf8;  // runs read undecided are read again
  EXPECT_EQ("skipped 0", Pass(kLines)[0]);
}

}  // namespace
