#include "LineReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConsoleTexts.h"
#include "TextFiles.h"

namespace {

constexpr int kCapacity = 65535;

class LineReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseNativeFiles();
    SetLineReaderBufferLimit(262144);
    SetLineReaderForceDirect(false);
  }
  void TearDown() override {
    SetLineReaderBufferLimit(262144);
    SetLineReaderForceDirect(false);
  }
  // One whole pass of ReadLineA.
  std::vector<std::string> Pass(const char* path, int capacity = kCapacity) {
    std::vector<std::string> lines;
    std::vector<char> line(static_cast<size_t>(capacity) + 1);
    for (;;) {
      int count = ReadLineA(path, line.data(), capacity);
      if (count == 0) break;
      EXPECT_EQ('\0', line[static_cast<size_t>(count)]);
      lines.emplace_back(line.data(), static_cast<size_t>(count));
    }
    return lines;
  }
  std::vector<std::vector<uint16_t>> PassW(const char* path) {
    std::vector<std::vector<uint16_t>> lines;
    std::vector<uint16_t> line(kCapacity + 1);
    for (;;) {
      int count = ReadLineW(path, line.data(), kCapacity);
      if (count == 0) break;
      EXPECT_EQ(0, line[static_cast<size_t>(count)]);
      lines.emplace_back(line.begin(), line.begin() + count);
    }
    return lines;
  }
};

using Lines = std::vector<std::string>;
using Units = std::vector<std::vector<uint16_t>>;

TEST_F(LineReaderTest, KeepsCarriageReturnAndDeliversLastLineWithoutFeed) {
  TempTextFile file("a\r\nb");
  EXPECT_EQ((Lines{"a\r\n", "b"}), Pass(file.path()));
  TempTextFile feed("\n");
  EXPECT_EQ((Lines{"\n"}), Pass(feed.path()));
}

TEST_F(LineReaderTest, EmptyFileEndsAtOnceSilently) {
  TempTextFile file("");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Pass(file.path()).empty());
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST_F(LineReaderTest, MissingFileIsReported) {
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Pass("no_such_murvex_file.txt").empty());
  // "は存在しません" in code page 932.
  EXPECT_EQ("[no_such_murvex_file.txt]" + kMissingText + "\n",
            testing::internal::GetCapturedStderr());
}

TEST_F(LineReaderTest, CapacityWithoutRoomForAByteOpensNothing) {
  TempTextFile file("x\n");
  char line[4];
  EXPECT_EQ(0, ReadLineA(file.path(), line, 0));
  EXPECT_EQ(0, ReadLineA(file.path(), line, -1));
  // Found by fuzz_line_reader: capacity 1 stored a byte and then its
  // terminator past a one-element buffer.
  char one[1] = {'?'};
  EXPECT_EQ(0, ReadLineA(file.path(), one, 1));
  EXPECT_EQ('?', one[0]);
  uint16_t unit[1] = {0x3F};
  EXPECT_EQ(0, ReadLineW(file.path(), unit, 1));
  EXPECT_EQ(0x3F, unit[0]);
  // Nothing was left open: a full pass starts at the first line.
  EXPECT_EQ((Lines{"x\n"}), Pass(file.path()));
}

TEST_F(LineReaderTest, LongLineComesInPiecesOfCapacityLessOne) {
  std::string longLine(65534, 'z');
  TempTextFile file(longLine + "\nend");
  EXPECT_EQ((Lines{longLine, "\n", "end"}), Pass(file.path()));
}

TEST_F(LineReaderTest, LinesStraddlingRefillsComeOutWhole) {
  SetLineReaderBufferLimit(3);
  TempTextFile file("first line\nsecond\n\nlast");
  EXPECT_EQ((Lines{"first line\n", "second\n", "\n", "last"}), Pass(file.path()));
}

TEST_F(LineReaderTest, PassStopsAtSizeTakenAtOpenAndNextPassSeesGrowth) {
  TempTextFile file("one\ntwo\n");
  char line[kCapacity + 1];
  SetLineReaderBufferLimit(4);  // the growth would be within reach of a refill
  ASSERT_EQ(4, ReadLineA(file.path(), line, kCapacity));
  file.Append("three\n");
  ASSERT_EQ(4, ReadLineA(file.path(), line, kCapacity));
  EXPECT_STREQ("two\n", line);
  EXPECT_EQ(0, ReadLineA(file.path(), line, kCapacity));
  EXPECT_EQ((Lines{"one\n", "two\n", "three\n"}), Pass(file.path()));
}

// A line being written when the pass opened the file ends the pass as it
// then was, marked open; the next pass has it whole.
TEST_F(LineReaderTest, LineCutBySizeAtOpenIsTheOpenLastLineOfThePass) {
  TempTextFile file("one\ntw");
  char line[kCapacity + 1];
  ASSERT_EQ(4, ReadLineA(file.path(), line, kCapacity));
  EXPECT_EQ(0, LastLineIsOpen());
  file.Append("o\nthree\n");
  ASSERT_EQ(2, ReadLineA(file.path(), line, kCapacity));
  EXPECT_STREQ("tw", line);
  EXPECT_EQ(1, LastLineIsOpen());
  EXPECT_EQ(0, ReadLineA(file.path(), line, kCapacity));
  EXPECT_EQ((Lines{"one\n", "two\n", "three\n"}), Pass(file.path()));
  EXPECT_EQ(0, LastLineIsOpen());
}

TEST_F(LineReaderTest, DirectPathReadsTheSameLines) {
  SetLineReaderForceDirect(true);
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\r\n";
  TempTextFile file(text);
  Lines lines = Pass(file.path());
  ASSERT_EQ(3000u, lines.size());
  EXPECT_EQ("line 0\r\n", lines.front());
  EXPECT_EQ("line 2999\r\n", lines.back());
}

TEST_F(LineReaderTest, WideReaderDeliversMarkAndUnits) {
  TempTextFile file(std::string("\xFF\xFE" "A\0\n\0B\0", 8));
  EXPECT_EQ((Units{{0xFEFF, 0x41, 0x0A}, {0x42}}), PassW(file.path()));
}

TEST_F(LineReaderTest, WideReaderJoinsUnitsSplitByOddRefillsAndDropsLoneByte) {
  SetLineReaderBufferLimit(3);
  TempTextFile file(std::string("\xFF\xFE" "A\0\n\0\x42\x30\n\0" "C", 11));
  EXPECT_EQ((Units{{0xFEFF, 0x41, 0x0A}, {0x3042, 0x0A}}), PassW(file.path()));
}

TEST_F(LineReaderTest, NativeStatusFollowsAWriterHoldingTheFileOpen) {
  TempTextFile file("ab\n");
  FileSystem& files = NativeFileSystem();
  FileStatus before;
  ASSERT_EQ(0, files.Status(file.path(), &before));
  EXPECT_EQ(3, before.size);
  FileHandle reader = files.OpenShared(file.path());
  ASSERT_NE(kNoFile, reader);
  file.Append("cd\n");  // a writer while the file is open for reading
  FileStatus after;
  ASSERT_EQ(0, files.Status(file.path(), &after));
  EXPECT_EQ(6, after.size);
  EXPECT_EQ(before.fileId, after.fileId);
  char bytes[8] = {};
  EXPECT_EQ(6, files.Read(reader, bytes, sizeof bytes));
  files.Close(reader);
  EXPECT_EQ(-1, files.Status("no_such_murvex_file.txt", &after));
  EXPECT_EQ(-1, files.Exists("no_such_murvex_file.txt"));
  EXPECT_EQ(0, files.Exists(file.path()));
}

TEST_F(LineReaderTest, WideLongLineComesInPiecesAndNextPassStartsOver) {
  std::string bytes("\xFF\xFE", 2);
  for (int i = 0; i < 65534; ++i) bytes += std::string("\x42\x30", 2);
  bytes += std::string("\n\0", 2);
  TempTextFile file(bytes);
  for (int pass = 0; pass < 2; ++pass) {
    Units lines = PassW(file.path());
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(65534u, lines[0].size());
    EXPECT_EQ(0xFEFF, lines[0][0]);
    EXPECT_EQ((std::vector<uint16_t>{0x3042, 0x0A}), lines[1]);
  }
}

}  // namespace
