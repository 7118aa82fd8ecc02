#include "AnsiConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint16_t> Decode(const std::string& bytes) {
  const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t counted = DecodeUtf8(nullptr, data, bytes.size(), 1);
  std::vector<uint16_t> units(counted + 1, 0xAAAA);
  size_t filled = DecodeUtf8(units.data(), data, bytes.size(), 0);
  EXPECT_EQ(counted, filled);
  EXPECT_EQ(0, units[filled]);
  units.resize(filled);
  return units;
}

using Units = std::vector<uint16_t>;

TEST(DecodeUtf8, DecodesOneToThreeByteForms) {
  EXPECT_EQ((Units{0x41, 0xE9, 0x3042, 0x0D, 0x0A}), Decode("A\xC3\xA9\xE3\x81\x82\r\n"));
}

TEST(DecodeUtf8, FourByteFormBecomesSurrogatePairAndKeepsLineEnd) {
  EXPECT_EQ((Units{0xD83D, 0xDE00, 0x0D, 0x0A}), Decode("\xF0\x9F\x98\x80\r\n"));
}

TEST(DecodeUtf8, StrayContinuationConsumesOnlyItself) {
  EXPECT_EQ((Units{0xFFFD, 0x41, 0x42, 0x43}), Decode("\x80" "ABC"));
}

TEST(DecodeUtf8, CutOffFormsNeverSwallowLineEndOrReadPastCount) {
  EXPECT_EQ((Units{0xFFFD, 0x0D, 0x0A}), Decode("\xE3\x81\r\n"));
  EXPECT_EQ((Units{0xFFFD, 0x0A}), Decode("\xC3\n"));
  EXPECT_EQ((Units{0x41, 0xFFFD}), Decode("A\xF0\x9F"));
  // Only two of the three bytes are handed over: the third must stay unread.
  const unsigned char bytes[] = {0xE3, 0x81, 0x82};
  uint16_t units[3] = {};
  EXPECT_EQ(1u, DecodeUtf8(units, bytes, 2, 0));
  EXPECT_EQ(0xFFFD, units[0]);
}

TEST(DecodeUtf8, NulStopsAForm) {
  EXPECT_EQ((Units{0xFFFD, 0x00, 0x41}), Decode(std::string("\xE3\x00" "A", 3)));
}

TEST(DecodeUtf8, OverlongFormsAndSurrogatesAreOneMalformedUnitEachNeverNul) {
  // The overlong forms of NUL would otherwise end the converted line.
  EXPECT_EQ((Units{0x61, 0xFFFD, 0x62, 0xFFFD, 0x63, 0xFFFD, 0x0A}),
            Decode("a\xC0\x80" "b\xE0\x80\x80" "c\xF0\x80\x80\x80\n"));
  EXPECT_EQ((Units{0xFFFD, 0xFFFD, 0x41}), Decode("\xC1\xBF\xED\xA0\x80" "A"));
  EXPECT_EQ("a b c \r\n", std::string(Utf8LineToAnsi("a\xC0\x80" "b\xE0\x80\x80" "c\xF0\x80\x80\x80\r\n")));
}

TEST(Utf8LineToAnsi, DropsByteOrderMarkInAnyLine) {
  EXPECT_EQ("A\r\n", std::string(Utf8LineToAnsi("\xEF\xBB\xBF" "A\r\n")));
  EXPECT_EQ("\x82\xA0\r\n", std::string(Utf8LineToAnsi("\xEF\xBB\xBF\xE3\x81\x82\r\n")));
  // Found by fuzz_ansi_conversion: a second mark (or U+FFFE) right after the
  // first is dropped as the UTF-16 step drops it, not shown as a blank.
  EXPECT_EQ("A\r\n", std::string(Utf8LineToAnsi("\xEF\xBB\xBF\xEF\xBB\xBF" "A\r\n")));
  EXPECT_EQ("A", std::string(Utf8LineToAnsi("\xEF\xBF\xBE" "A")));
  EXPECT_EQ(" A", std::string(Utf8LineToAnsi("A\xEF\xBB\xBF" "A")).substr(1));
}

TEST(Utf8LineToAnsi, ConvertsToShiftJis) {
  EXPECT_EQ("\x82\xA0\r\n", std::string(Utf8LineToAnsi("\xE3\x81\x82\r\n")));
  EXPECT_EQ("x\x93\xFA\x96\x7B", std::string(Utf8LineToAnsi("x\xE6\x97\xA5\xE6\x9C\xAC")));
}

TEST(Utf8LineToAnsi, UnconvertibleCharactersBecomeOneSpaceEach) {
  // U+0E01 (Thai) has no form in code page 932, not even a best-fit one;
  // the emoji is two units.
  EXPECT_EQ("a b\r\n", std::string(Utf8LineToAnsi("a\xE0\xB8\x81" "b\r\n")));
  EXPECT_EQ("a  b", std::string(Utf8LineToAnsi("a\xF0\x9F\x98\x80" "b")));
  EXPECT_EQ("  \n", std::string(Utf8LineToAnsi("\x80\xE3\x81\n")));
}

TEST(Utf8LineToAnsi, EmptyOrNullGivesEmpty) {
  EXPECT_STREQ("", Utf8LineToAnsi(""));
  EXPECT_STREQ("", Utf8LineToAnsi(nullptr));
  EXPECT_STREQ("", Utf8LineToAnsi("\xEF\xBB\xBF"));
}

TEST(Utf8LineToAnsi, OverlongResultIsCutAtCharacterBoundary) {
  // 65,533 single bytes and then a double-byte character: the character
  // would end at byte 65,535, past the limit, so it is left out whole.
  std::string line(65533, 'a');
  line += "\xE3\x81\x82";
  std::string out = Utf8LineToAnsi(line.c_str());
  EXPECT_EQ(std::string(65533, 'a'), out);
  // Cut-off forms expand (one byte to one space each is fine, but a line of
  // stray bytes stays within the buffer).
  std::string stray(65534, '\xE3');
  EXPECT_EQ(65534u, strlen(Utf8LineToAnsi(stray.c_str())));
}

TEST(Utf16LineToAnsi, DropsLeadingMarkAndConverts) {
  const uint16_t marked[] = {0xFEFF, 0x3042, 0x0D, 0x0A, 0};
  EXPECT_EQ("\x82\xA0\r\n", std::string(Utf16LineToAnsi(marked)));
  const uint16_t plain[] = {0x41, 0x0D, 0x0A, 0};
  EXPECT_EQ("A\r\n", std::string(Utf16LineToAnsi(plain)));
  const uint16_t inner[] = {0x41, 0xFEFF, 0x42, 0};
  EXPECT_EQ("A B", std::string(Utf16LineToAnsi(inner)));
}

TEST(Utf16LineToAnsi, LoneSurrogatesBecomeOneSpaceEach) {
  const uint16_t line[] = {0x41, 0xD800, 0x42, 0xDC00, 0x0D, 0x0A, 0};
  EXPECT_EQ("A B \r\n", std::string(Utf16LineToAnsi(line)));
}

TEST(Utf16LineToAnsi, LongDoubleByteLineIsCutWhole) {
  std::vector<uint16_t> line(40000, 0x3042);
  line.push_back(0);
  std::string out = Utf16LineToAnsi(line.data());
  ASSERT_EQ(65534u, out.size());
  EXPECT_EQ("\x82\xA0", out.substr(out.size() - 2));
}

TEST(Utf16ToAnsiAlloc, SkipsEitherMarkAndCountsBytes) {
  const uint16_t swapped[] = {0xFFFE, 0x41, 0x3042, 0};
  size_t count = 99;
  char* text = Utf16ToAnsiAlloc(swapped, &count);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(3u, count);
  EXPECT_EQ("A\x82\xA0", std::string(text));
  free(text);
  EXPECT_EQ(nullptr, Utf16ToAnsiAlloc(nullptr, &count));
  EXPECT_EQ(nullptr, Utf16ToAnsiAlloc(swapped, nullptr));
}

TEST(Utf8ToUtf16Alloc, SkipsMarkAndReportsCount) {
  size_t count = 0;
  uint16_t* units = Utf8ToUtf16Alloc("\xEF\xBB\xBF\xE3\x81\x82" "B", &count);
  ASSERT_NE(nullptr, units);
  EXPECT_EQ(2u, count);
  EXPECT_EQ(0x3042, units[0]);
  EXPECT_EQ(0x42, units[1]);
  EXPECT_EQ(0, units[2]);
  free(units);
}

}  // namespace
