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
  // Two bytes of a mark, or of a character still being written.
  EXPECT_EQ(TextEncoding::Undecided, ClassifyTextBytes(reinterpret_cast<const unsigned char*>("\xEF\xBB"), 2));
  EXPECT_EQ(TextEncoding::Utf16BeBom, ClassifyTextBytes(reinterpret_cast<const unsigned char*>("\xFE\xFF\x00" "A"), 4));
}

TextEncoding Classify(const std::string& bytes) {
  return ClassifyTextBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST_F(TextEncodingTest, UnmarkedTextIsUtf8WithAMultiByteFormAndTwentyWellFormedForEveryMalformedOne) {
  EXPECT_EQ(TextEncoding::Utf8, Classify("log \xE3\x83\xAD\xE3\x82\xB0\r\n\xC3\xA9\xF0\x9F\x98\x80\n"));
  // A form cut off by the end of the bytes read counts neither way: a writer
  // flushed in the middle of a character, and the rest decides.
  EXPECT_EQ(TextEncoding::Utf8, Classify("\xC3\xA9\n\xE3\x83"));
  EXPECT_EQ(TextEncoding::Undecided, Classify("x \xE3\x81"));
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xE3\x83\n"));  // cut off inside
  // Overlong and surrogate forms are malformed.
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xC3\xA9\xC0\xAF"));
  EXPECT_EQ(TextEncoding::Ansi, Classify("\xC3\xA9\xED\xA0\xA1"));
  // A real log's odd bad byte: twenty well-formed forms carry one.
  std::string kana;
  for (int i = 0; i < 20; ++i) kana += "\xE3\x81\x82";
  EXPECT_EQ(TextEncoding::Utf8, Classify(kana + " \x80\n"));
  EXPECT_EQ(TextEncoding::Utf8, Classify(kana + kana + " \xC0\xAF \xFE\n"));
  EXPECT_EQ(TextEncoding::Ansi, Classify(kana.substr(6) + " \xC0\xAF\n"));
  EXPECT_EQ(TextEncoding::Undecided, Classify("plain ASCII\r\n"));
  EXPECT_EQ(TextEncoding::Undecided, Classify(""));
}

// Code page 932 logs, half-width katakana among them: their bytes form a
// valid UTF-8 form now and then ("ﾃｩ" is C3 A9), never one in twenty.
TEST_F(TextEncodingTest, ShiftJisLogsStayCodePage932) {
  const std::string kLines[] = {
      // 2026/12/09 10:15:32 ｻｰﾊﾞｰ起動完了 ﾎﾟｰﾄ=8080
      "2026/12/09 10:15:32 \xBB\xB0\xCA\xDE\xB0\x8B\x4E\x93\xAE\x8A\xAE\x97\xB9 \xCE\xDF\xB0\xC4=8080\r\n",
      // 2026/12/09 10:15:33 ﾃﾞｰﾀﾍﾞｰｽ接続: 成功
      "2026/12/09 10:15:33 \xC3\xDE\xB0\xC0\xCD\xDE\xB0\xBD\x90\xDA\x91\xB1: \x90\xAC\x8C\xF7\r\n",
      // 2026/12/09 10:16:01 ﾛｸﾞｲﾝ ﾕｰｻﾞｰ=山田太郎
      "2026/12/09 10:16:01 \xDB\xB8\xDE\xB2\xDD \xD5\xB0\xBB\xDE\xB0=\x8E\x52\x93\x63\x91\xBE\x98\x59\r\n",
      // 警告: ﾃﾞｨｽｸ残量が少なくなっています (残り 5%)
      "\x8C\x78\x8D\x90: \xC3\xDE\xA8\xBD\xB8\x8E\x63\x97\xCA\x82\xAA\x8F\xAD\x82\xC8\x82\xAD\x82\xC8\x82\xC1"
      "\x82\xC4\x82\xA2\x82\xDC\x82\xB7 (\x8E\x63\x82\xE8 5%)\r\n",
      // ｱｲｳｴｵ ｶｷｸｹｺ ｻｼｽｾｿ ﾀﾁﾂﾃﾄ ﾅﾆﾇﾈﾉ ﾊﾋﾌﾍﾎ ﾏﾐﾑﾒﾓ ﾔﾕﾖ ﾗﾘﾙﾚﾛ ﾜｦﾝ
      "\xB1\xB2\xB3\xB4\xB5 \xB6\xB7\xB8\xB9\xBA \xBB\xBC\xBD\xBE\xBF \xC0\xC1\xC2\xC3\xC4 \xC5\xC6\xC7\xC8\xC9 "
      "\xCA\xCB\xCC\xCD\xCE \xCF\xD0\xD1\xD2\xD3 \xD4\xD5\xD6 \xD7\xD8\xD9\xDA\xDB \xDC\xA6\xDD\r\n",
      // ﾃｽﾄ ｹｰｽ ｼﾞｯｺｳ ﾁｭｳ
      "\xC3\xBD\xC4 \xB9\xB0\xBD \xBC\xDE\xAF\xBA\xB3 \xC1\xAD\xB3\r\n",
  };
  std::string log;
  for (const std::string& line : kLines) {
    EXPECT_EQ(TextEncoding::Ansi, Classify(line)) << line;
    log += line;
  }
  EXPECT_EQ(TextEncoding::Ansi, Classify(log));
  EXPECT_EQ(TextEncoding::Ansi, Classify("\x93\xFA\x96\x7B\r\n"));  // 日本
}

// Latin-1, a stray byte, a binary field: well-formed in neither UTF-8 nor
// code page 932, such bytes decide nothing.
TEST_F(TextEncodingTest, BytesWellFormedInNeitherUtf8NorShiftJisDecideNothing) {
  const std::pair<std::string, TextEncoding> kCases[] = {
      {"GET /search?q=caf\xE9 400\n", TextEncoding::Undecided},
      {"caf\xE9 cr\xE8me 25\xB0" "C\n", TextEncoding::Undecided},  // the m would be a kanji's second byte
      {"\x80\n", TextEncoding::Undecided},
      {"\xFD\xFE\n", TextEncoding::Undecided},
      {"\x93\xFA\x96\x7B\r\n", TextEncoding::Ansi},  // 日本
      {"\x93\xFA\x96", TextEncoding::Ansi},          // its last character cut off by the end
      {"\xE9\x6D\n", TextEncoding::Ansi},            // 鑪 alone is code page 932
  };
  for (const auto& [bytes, verdict] : kCases) EXPECT_EQ(verdict, Classify(bytes)) << bytes;
}

TEST_F(TextEncodingTest, PlainAsciiIsDecidedByTheFirstLineWithAHighByteUntilTheNextFullListing) {
  TempTextFile ascii("start\n");
  ASSERT_EQ(1, DetectTextEncoding(ascii.path()));
  EXPECT_EQ(TextEncoding::Undecided, g_textEncoding);
  TextEncoding decision = TextEncoding::None;
  auto line = [&decision](const std::string& text) { return LineEncoding(text.data(), text.size(), decision); };
  EXPECT_EQ(TextEncoding::Undecided, line("more ASCII\n"));
  // A stray byte is read as UTF-8 (one mark) and leaves the decision open.
  EXPECT_EQ(TextEncoding::Utf8, line("GET /search?q=caf\xE9 400\n"));
  EXPECT_EQ(TextEncoding::None, decision);
  EXPECT_EQ(TextEncoding::Utf8, line("\xE6\x97\xA5\xE6\x9C\xAC\n"));
  EXPECT_EQ(TextEncoding::Utf8, line("\x93\xFA\x96\x7B\n"));  // held, whatever comes
  decision = TextEncoding::None;  // a full listing
  EXPECT_EQ(TextEncoding::Utf8, line("caf\xE9 cr\xE8me\n"));
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
  EXPECT_EQ(1, Verdict(std::string("\xFE\xFF\0A", 4)));  // UTF-16BE with its mark
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
