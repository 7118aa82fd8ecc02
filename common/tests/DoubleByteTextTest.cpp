#include "DoubleByteText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(IsLeadByteTest, UsesTheFixedShiftJisRanges) {
  EXPECT_EQ(IsLeadByte(0x80), 0);
  EXPECT_EQ(IsLeadByte(0x81), 1);
  EXPECT_EQ(IsLeadByte(0x9F), 1);
  EXPECT_EQ(IsLeadByte(0xA0), 0);
  EXPECT_EQ(IsLeadByte(0xDF), 0);
  EXPECT_EQ(IsLeadByte(0xE0), 1);
  EXPECT_EQ(IsLeadByte(0xFC), 1);
  EXPECT_EQ(IsLeadByte(0xFD), 0);
  EXPECT_EQ(IsLeadByte('\\'), 0);
}

TEST(IsTrailByteAtTest, FindsSecondBytesByWalkingFromTheStart) {
  const char text[] = "\x81\x5C\x81\x81\x5C";  // two-byte, two-byte, then a real backslash
  EXPECT_EQ(IsTrailByteAt(text, 0), 0);
  EXPECT_EQ(IsTrailByteAt(text, 1), 1);
  EXPECT_EQ(IsTrailByteAt(text, 2), 0);
  EXPECT_EQ(IsTrailByteAt(text, 3), 1);
  EXPECT_EQ(IsTrailByteAt(text, 4), 0);
}

TEST(IsTrailByteAtTest, PositionsAtOrBeyondTheTerminatorAreNotTrailPositions) {
  const char text[] = "\x81";  // a lone lead byte at the end
  EXPECT_EQ(IsTrailByteAt(text, 1), 0);
  EXPECT_EQ(IsTrailByteAt(text, 5), 0);
  EXPECT_EQ(IsTrailByteAt(nullptr, 1), 0);
}

TEST(FindLastCharTest, SkipsBackslashesThatAreSecondBytes) {
  const char path[] = "C:\\\x95\x5C.txt";
  EXPECT_EQ(FindLastChar(path, '\\'), path + 2);
  EXPECT_EQ(FindLastChar("abc", '\\'), nullptr);
  EXPECT_EQ(FindLastChar("", '\\'), nullptr);
  const char pipe[] = "a|\x81|";  // 0x7C as a second byte
  EXPECT_EQ(FindLastChar(pipe, '|'), pipe + 1);
  const char lone[] = "a\\\x81";  // lone lead byte last: nothing read past it
  EXPECT_EQ(FindLastChar(lone, '\\'), lone + 1);
}

TEST(FindFirstSpaceTest, SkipsBlanksThatAreSecondBytes) {
  const char first[] = "\x81\x20\x20\x41";
  EXPECT_EQ(FindFirstSpace(first), first + 2);
  const char second[] = "\x81\x81\x20\x41";
  EXPECT_EQ(FindFirstSpace(second), second + 2);
  const char leading[] = " a";
  EXPECT_EQ(FindFirstSpace(leading), leading);
  EXPECT_EQ(FindFirstSpace("\x81\x20"), nullptr);
  EXPECT_EQ(FindFirstSpace("none"), nullptr);
}

TEST(PathPartsTest, CutOnlyAtRealBackslashes) {
  const char path[] = "C:\\\x95\x5C.txt";
  EXPECT_EQ(std::string(FolderOfPath(path)), "C:\\");
  EXPECT_EQ(std::string(FileNameOfPath(path)), "\x95\x5C.txt");
}

// In UTF-8 every 5C is a backslash: after ぁ (E3 81 81), after a
// character ending in a would-be lead byte, and as a path's last byte.
TEST(PathPartsTest, Utf8PathsSplitAtEveryBackslash) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"C:\\logs\\\xE3\x81\x81\\app.log", "C:\\logs\\\xE3\x81\x81\\", "app.log"},
      {"C:\\\xE9\x8C\xAF\xE8\xAA\xA4\\caf\xC3\xA9.log", "C:\\\xE9\x8C\xAF\xE8\xAA\xA4\\", "caf\xC3\xA9.log"},
      {"\xE3\x83\xAD\xE3\x82\xB0.log", ".\\", "\xE3\x83\xAD\xE3\x82\xB0.log"},
      {"C:\\logs\\", "C:\\logs\\", ""},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(FolderOfUtf8Path(c.path), c.folder) << c.path;
    EXPECT_STREQ(FileNameOfUtf8Path(c.path), c.name) << c.path;
  }
  // Too long: cut before the character that would not fit, never inside it.
  std::string longPath = std::string(kUtf8PathBufferSize - 2, 'a') + "\xE3\x81\x82";
  EXPECT_EQ(std::string(FileNameOfUtf8Path(longPath.c_str())), std::string(kUtf8PathBufferSize - 2, 'a'));
}

TEST(PathPartsTest, PathWithoutBackslashIsInTheCurrentFolder) {
  EXPECT_STREQ(FolderOfPath("app.log"), ".\\");
  EXPECT_STREQ(FileNameOfPath("app.log"), "app.log");
  EXPECT_STREQ(FolderOfPath("C:/logs/app.log"), ".\\");
  EXPECT_STREQ(FileNameOfPath("C:/logs/app.log"), "C:/logs/app.log");
}

TEST(PathPartsTest, PathEndingInBackslashHasAnEmptyName) {
  EXPECT_STREQ(FileNameOfPath("C:\\logs\\"), "");
  EXPECT_STREQ(FolderOfPath("\\\\\\"), "\\\\\\");
  EXPECT_STREQ(FileNameOfPath("\\\\\\"), "");
}

TEST(PathPartsTest, LongPathsAreHandledAsTheirFirst259Bytes) {
  for (size_t length : {259u, 260u, 300u}) {
    std::string path = "D:\\" + std::string(length - 3, 'a');
    path[200] = '\\';
    std::string name = FileNameOfPath(path.c_str());
    EXPECT_EQ(name, path.substr(201, 259 - 201)) << length;
    EXPECT_EQ(std::string(FolderOfPath(path.c_str())), path.substr(0, 201)) << length;
  }
  std::string late = std::string(280, 'b') + "\\x";  // backslash beyond the cut
  EXPECT_STREQ(FolderOfPath(late.c_str()), ".\\");
  EXPECT_EQ(std::string(FileNameOfPath(late.c_str())), std::string(259, 'b'));
}

TEST(PathPartsTest, ExistingDirectoryIsItsOwnFolder) {
  std::string here = ".";
  EXPECT_EQ(IsDirectory(here.c_str()), 1);
  EXPECT_EQ(FolderOfPath(here.c_str()), here.c_str());
  EXPECT_EQ(IsDirectory(""), 0);
  EXPECT_EQ(IsDirectory(nullptr), 0);
  EXPECT_EQ(IsDirectory("no-such-folder-here"), 0);
  std::FILE* file = std::fopen("plain-file.tmp", "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(IsDirectory("plain-file.tmp"), 0);
  std::remove("plain-file.tmp");
}

}  // namespace
