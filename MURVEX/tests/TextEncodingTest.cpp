#include "TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

#include "ConsoleTexts.h"
#include "TextFiles.h"

namespace {

class TextEncodingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseNativeFiles();
    g_textEncoding = TextEncoding::None;
  }
  // The verdict of IsTextFile, checked to agree with the bytes-only rule.
  int Verdict(const std::string& bytes) {
    TempTextFile file(bytes);
    return IsTextFile(file.path());
  }
};

TEST_F(TextEncodingTest, MarksDecideWithoutScanning) {
  EXPECT_EQ(TextEncoding::Utf8Bom, ClassifyTextBytes(reinterpret_cast<const unsigned char*>("\xEF\xBB\xBF\x00"), 4));
  EXPECT_EQ(TextEncoding::Utf16LeBom, ClassifyTextBytes(reinterpret_cast<const unsigned char*>("\xFF\xFE" "A\x00"), 4));
  EXPECT_EQ(TextEncoding::Ansi, ClassifyTextBytes(reinterpret_cast<const unsigned char*>("\xEF\xBB"), 2));
  EXPECT_EQ(TextEncoding::None, ClassifyTextBytes(reinterpret_cast<const unsigned char*>("\xFE\xFF\x00" "A"), 4));
}

TextEncoding Classify(const std::string& bytes) {
  return ClassifyTextBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST_F(TextEncodingTest, UnmarkedTextIsUtf8OnlyWhenValidAndHoldingAMultiByteForm) {
  EXPECT_EQ(TextEncoding::Utf8, Classify("log \xE3\x83\xAD\xE3\x82\xB0\r\n\xC3\xA9\xF0\x9F\x98\x80\n"));
  // A form cut off by the end of the bytes read counts neither way.
  EXPECT_EQ(TextEncoding::Utf8, Classify("\xC3\xA9\n\xE3\x83"));
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xE3\x83\n"));  // cut off inside
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xE3\x83"));     // no whole form
  // Overlong and surrogate forms are no UTF-8.
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xC3\xA9\xC0\xAF"));
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xC3\xA9\xED\xA0\x80"));
  // Shift-JIS: "日本" is no UTF-8; "ﾃｩ" (C3 A9) happens to be, but the text
  // around it is not.
  EXPECT_EQ(TextEncoding::Ansi, Classify("\x93\xFA\x96\x7B\r\n"));
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xC3\xA9\x83\x58\x83\x67\r\n"));
  EXPECT_EQ(TextEncoding::Undecided, Classify("plain ASCII\r\n"));
  EXPECT_EQ(TextEncoding::Undecided, Classify(""));
}

TEST_F(TextEncodingTest, PlainAsciiIsDecidedByTheFirstLineWithAHighByteUntilTheNextFullListing) {
  TempTextFile ascii("start\n");
  ASSERT_EQ(1, DetectTextEncoding(ascii.path()));
  EXPECT_EQ(TextEncoding::Undecided, g_textEncoding);
  auto line = [](const std::string& text) { return LineEncoding(text.data(), text.size()); };
  EXPECT_EQ(TextEncoding::Undecided, line("more ASCII\n"));
  EXPECT_EQ(TextEncoding::Utf8, line("\xE6\x97\xA5\xE6\x9C\xAC\n"));
  EXPECT_EQ(TextEncoding::Utf8, line("\x93\xFA\x96\x7B\n"));  // held, whatever comes
  ForgetLineEncoding();
  EXPECT_EQ(TextEncoding::Ansi, line("\x93\xFA\x96\x7B\n"));
  EXPECT_EQ(TextEncoding::Ansi, line("\xE6\x97\xA5\xE6\x9C\xAC\n"));
  EXPECT_EQ(TextEncoding::Undecided, g_textEncoding);
  g_textEncoding = TextEncoding::Utf16LeBom;
  EXPECT_EQ(TextEncoding::Utf16LeBom, line("\xE6\x97\xA5\n"));
}

TEST_F(TextEncodingTest, IsTextFileAcceptsTextAndRefusesBinary) {
  EXPECT_EQ(1, Verdict(""));
  EXPECT_EQ(1, Verdict("\xEF\xBB\xBF"));
  EXPECT_EQ(1, Verdict("\xEF\xBB"));
  EXPECT_EQ(1, Verdict("\xFF\xFE"));
  EXPECT_EQ(-1, Verdict("\xFF"));
  EXPECT_EQ(-1, Verdict(std::string("A\0B\0\r\0\n\0", 8)));
  EXPECT_EQ(-1, Verdict(std::string("\xFE\xFF\0A", 4)));
  EXPECT_EQ(1, Verdict("\x93\xFA\x96\x7B\r\n"));      // Shift-JIS
  EXPECT_EQ(1, Verdict("\xE6\x97\xA5\xE6\x9C\xAC\n"));  // UTF-8 without a mark
  EXPECT_EQ(TextEncoding::None, g_textEncoding);
}

TEST_F(TextEncodingTest, OnlyTheFirstMillionBytesCount) {
  std::string bytes(1000000, 'a');
  EXPECT_EQ(1, Verdict(bytes + std::string(1, '\0')));
  bytes[999999] = '\0';
  EXPECT_EQ(-1, Verdict(bytes));
}

TEST_F(TextEncodingTest, UnopenableFileIsReported) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, IsTextFile("no_such_murvex_file.txt"));
  EXPECT_EQ("[no_such_murvex_file.txt]" + kCannotOpenText + "\n",
            testing::internal::GetCapturedStderr());
}

TEST_F(TextEncodingTest, DetectRecordsTheFirstVerdictOnly) {
  TempTextFile binary(std::string("x\0", 2));
  EXPECT_EQ(-1, DetectTextEncoding(binary.path()));
  EXPECT_EQ(TextEncoding::None, g_textEncoding);
  TempTextFile utf8("\xEF\xBB\xBF" "a\n");
  EXPECT_EQ(1, DetectTextEncoding(utf8.path()));
  EXPECT_EQ(TextEncoding::Utf8Bom, g_textEncoding);
  TempTextFile utf16("\xFF\xFE");
  EXPECT_EQ(1, DetectTextEncoding(utf16.path()));
  EXPECT_EQ(TextEncoding::Utf8Bom, g_textEncoding);
}

}  // namespace
