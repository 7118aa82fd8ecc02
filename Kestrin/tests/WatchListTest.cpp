#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "DataFolder.h"
#include "DoubleByteText.h"
#include "KeyedTextTable.h"
#include "WatchList.h"

namespace {

class WatchListTest : public ::testing::Test {
 protected:
  void SetUp() override { TableClear(); }
  void TearDown() override {
    TableClear();
    g_keyCounter = 0;
  }

  std::vector<std::string> Parse(const std::string& bytes) {
    int count = ParseWatchList(bytes.data(), bytes.size());
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) {
      const char* value = TableFind(DecimalKey(i));
      entries.push_back(value != nullptr ? value : "<missing>");
    }
    return entries;
  }
};

using Strings = std::vector<std::string>;

TEST_F(WatchListTest, LinesAreReadWholeAndEmptyLinesAreNoEntries) {
  struct Case {
    std::string bytes;
    Strings entries;
  };
  const std::string longPath = "C:\\" + std::string(296, 'p');
  const Strings two{"C:\\logs\\a.log", "D:\\work\\b.txt"};
  const Case cases[] = {
      // CR LF, LF alone and no line end at the end read alike.
      {"C:\\logs\\a.log\r\nD:\\work\\b.txt\r\n", two},
      {"C:\\logs\\a.log\nD:\\work\\b.txt\n", two},
      {"C:\\logs\\a.log\r\nD:\\work\\b.txt", two},
      {"", {}},
      {"a\r\n\r\nb\r\n", {"a", "b"}},
      {"\n\r\n\n", {}},
      {"a\r\n\r\n", {"a"}},
      // A CR is cut only where it ends the line.
      {"C:\\a\rb.log\n", {"C:\\a\rb.log"}},
      {"C:\\a.log\r", {"C:\\a.log"}},
      // 0x0D never follows a lead byte in real text, but the rule is the same:
      // the pair is no character of code page 932.
      {std::string("x\x81\x0D\n"), {std::string("x\xEF\xBF\xBD")}},
      {std::string("\0x\r\nb\n", 7), {"b"}},
      {longPath + "\r\n", {longPath}},
      {std::string(258, 'q') + "\r\n" + std::string(259, 'r') + "\r\n", {std::string(258, 'q'), std::string(259, 'r')}},
  };
  for (const Case& c : cases) {
    TableClear();
    EXPECT_EQ(Parse(c.bytes), c.entries) << c.bytes;
  }
}

TEST_F(WatchListTest, EveryEntryIsSavedBackExactlyAsRead) {
  // Lengths around the old 259-byte reads; the file must not grow.
  for (size_t length : {257u, 258u, 259u, 600u}) {
    TableClear();
    std::string bytes = "C:\\" + std::string(length, 'x') + "\r\nD:\\b.log\r\n";
    EXPECT_EQ(FormatWatchList(ParseWatchList(bytes.data(), bytes.size())), bytes) << length;
  }
}

// The list as Notepad saves it, in each of its encodings, and as pasted from
// Explorer: every entry in UTF-8, the programs' own form of a path.
TEST_F(WatchListTest, ReadsEachEncodingAndQuotedOrPaddedEntries) {
  struct Case {
    const char* what;
    std::string bytes;
    Strings entries;
  };
  const std::string log = "C:\\\xE3\x83\xAD\xE3\x82\xB0.log";  // C:\ログ.log
  const std::string cafe = "C:\\caf\xC3\xA9.log";
  const Case cases[] = {
      {"code page 932", "C:\\\x83\x8D\x83\x4F.log\r\nC:\\\x95\x5C.log\r\n", {log, "C:\\\xE8\xA1\xA8.log"}},
      {"UTF-8", log + "\r\n" + cafe + "\r\n", {log, cafe}},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + log + "\r\n", {log}},
      {"UTF-16LE", std::string("\xFF\xFE" "C\0:\0\\\0\xED\x30\xB0\x30.\0l\0o\0g\0\r\0\n\0c\0\r\0\n\0", 30), {log, "c"}},
      {"ASCII", "C:\\a.log\n", {"C:\\a.log"}},
      {"quoted", "\"C:\\logs\\a b.log\"\r\n  \"" + log + "\" \r\n", {"C:\\logs\\a b.log", log}},
      {"padded", " \tC:\\x.log  \r\n   \r\n", {"C:\\x.log"}},
  };
  for (const Case& c : cases) {
    TableClear();
    EXPECT_EQ(Parse(c.bytes), c.entries) << c.what;
  }
}

// Today's bytes while every entry fits code page 932 (old lists come back
// unchanged); UTF-8 with a mark once one does not.
TEST_F(WatchListTest, WritesCodePage932WhenEveryEntryFitsElseUtf8WithAMark) {
  struct Case {
    Strings entries;
    std::string bytes;
  };
  const Case cases[] = {
      {{"C:\\a.log", "C:\\\xE3\x83\xAD\xE3\x82\xB0.log"}, "C:\\a.log\r\nC:\\\x83\x8D\x83\x4F.log\r\n"},
      {{"C:\\\xE8\xA1\xA8.log"}, "C:\\\x95\x5C.log\r\n"},
      // é and ¥ have only near forms in the code page (e, the backslash).
      {{"C:\\a.log", "C:\\caf\xC3\xA9.log"}, "\xEF\xBB\xBF" "C:\\a.log\r\nC:\\caf\xC3\xA9.log\r\n"},
      {{"C:\\\xC2\xA5.log"}, "\xEF\xBB\xBF" "C:\\\xC2\xA5.log\r\n"},
      {{"C:\\app\xF0\x9F\x94\xA5.log"}, "\xEF\xBB\xBF" "C:\\app\xF0\x9F\x94\xA5.log\r\n"},
      // ﾍｧ is CD A7 in code page 932, which would read back as UTF-8.
      {{"C:\\\xEF\xBE\x8D\xEF\xBD\xA7.log"}, "\xEF\xBB\xBF" "C:\\\xEF\xBE\x8D\xEF\xBD\xA7.log\r\n"},
  };
  for (const Case& c : cases) {
    TableClear();
    for (size_t i = 0; i < c.entries.size(); ++i) TableInsert(DecimalKey(static_cast<int>(i)), c.entries[i].c_str());
    EXPECT_EQ(FormatWatchList(static_cast<int>(c.entries.size())), c.bytes) << c.entries.back();
    TableClear();
    EXPECT_EQ(Parse(c.bytes), c.entries) << "read back";
  }
}

// Bytes that no entry holds whole (a NUL, a stray byte) are given back as
// read while the list is unchanged, so Exit never writes less than it held.
TEST_F(WatchListTest, AListReadInPartIsGivenBackAsReadWhileUnchanged) {
  for (const std::string& bytes : {std::string("C:\\a.log\r\nC:\\b\0c.log\r\n", 22), std::string("C:\\\x80.log\r\n"),
                                   std::string("\xFF\xFE" "C\0:\0\x00\xD8\r\0\n\0", 12)}) {
    TableClear();
    g_keyCounter = ParseWatchList(bytes.data(), bytes.size());
    EXPECT_EQ(FormatWatchList(g_keyCounter), bytes);
    AddToWatchList("C:\\new.log");
    // Changed, the list is written as it now stands.
    EXPECT_NE(FormatWatchList(g_keyCounter).find("C:\\new.log\r\n"), std::string::npos);
  }
}

TEST_F(WatchListTest, FormatSkipsRemovedKeysInKeyOrder) {
  TableInsert("0", "C:\\logs\\a.log");
  TableInsert("1", "removed");
  TableInsert("2", "D:\\work\\b.txt");
  TableInsert("3", "beyond the counter");
  TableRemove("1");
  EXPECT_EQ(FormatWatchList(3), "C:\\logs\\a.log\r\nD:\\work\\b.txt\r\n");
  EXPECT_EQ(FormatWatchList(0), "");
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(WatchListTest, SaveThenLoadRoundTripsKeepingTheListBeforeTheLastChange) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("kestrin_watchlist_" + std::to_string(std::random_device{}()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::string path = (folder / "Surveillance.txt").string();

  TableInsert("0", "C:\\logs\\a.log");
  TableInsert("2", "D:\\work\\b.txt");
  g_keyCounter = 3;
  ASSERT_EQ(SaveWatchList(path.c_str()), 0);
  EXPECT_EQ(ReadAll(path), "C:\\logs\\a.log\r\nD:\\work\\b.txt\r\n");
  EXPECT_FALSE(fs::exists(path + ".new"));
  EXPECT_FALSE(fs::exists(path + ".bak"));

  TableClear();
  LoadWatchList(path.c_str());
  EXPECT_EQ(g_keyCounter, 2);
  EXPECT_STREQ(TableFind("1"), "D:\\work\\b.txt");

  // Clear, then Exit, twice: the list is still there to be put back by hand.
  for (int session = 0; session < 2; ++session) {
    TableClear();
    g_keyCounter = 0;
    ASSERT_EQ(SaveWatchList(path.c_str()), 0);
    EXPECT_EQ(ReadAll(path), "");
    EXPECT_EQ(ReadAll(path + ".bak"), "C:\\logs\\a.log\r\nD:\\work\\b.txt\r\n") << session;
  }
  TableInsert("0", "E:\\c.log");
  g_keyCounter = 1;
  ASSERT_EQ(SaveWatchList(path.c_str()), 0);
  EXPECT_EQ(ReadAll(path), "E:\\c.log\r\n");
  EXPECT_EQ(ReadAll(path + ".bak"), "");
  EXPECT_FALSE(fs::exists(path + ".new"));

  fs::remove_all(folder);
}

// Windows refuses to replace a read-only file; Linux and wine replace the
// folder's entry all the same. Either way the file is one whole list, the
// one the result names.
TEST_F(WatchListTest, ReadOnlyListFileIsReplacedWholeOrKeptWhole) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("kestrin_readonly_" + std::to_string(std::random_device{}()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::string path = (folder / "Surveillance.txt").string();
  TableInsert("0", "C:\\old.log");
  g_keyCounter = 1;
  ASSERT_EQ(SaveWatchList(path.c_str()), 0);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  TableInsert("1", "C:\\new.log");
  g_keyCounter = 2;
  int result = SaveWatchList(path.c_str());
  EXPECT_EQ(ReadAll(path), result == 0 ? "C:\\old.log\r\nC:\\new.log\r\n" : "C:\\old.log\r\n");
  EXPECT_FALSE(fs::exists(path + ".new"));
  fs::permissions(path, fs::perms::owner_all);
  fs::remove_all(folder);
}

TEST_F(WatchListTest, MissingFileGivesEmptyListAndFailedSaveKeepsNothing) {
  g_keyCounter = 7;
  EXPECT_EQ(LoadWatchList("no_such_folder_kestrin/Surveillance.txt"), 0);
  EXPECT_EQ(g_keyCounter, 0);
  EXPECT_EQ(TableFind("0"), nullptr);
  EXPECT_EQ(SaveWatchList("no_such_folder_kestrin/Surveillance.txt"), -1);
}

TEST_F(WatchListTest, AFolderInTheListsPlaceIsNoListAndNoEmptyOne) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("kestrin_unreadable_" + std::to_string(std::random_device{}()));
  // A folder in the list's place: there, but not readable as a file.
  ASSERT_TRUE(fs::create_directories(folder / "Surveillance.txt"));
  g_keyCounter = 7;
  EXPECT_EQ(LoadWatchList((folder / "Surveillance.txt").string().c_str()), kNotPlainFile);
  EXPECT_EQ(g_keyCounter, 0);
  EXPECT_EQ(TableFind("0"), nullptr);
  fs::remove_all(folder);
}

TEST_F(WatchListTest, IsListedFoldsAsciiLettersOnlyAndAddingRaisesTheCounter) {
  EXPECT_FALSE(IsListed("C:\\logs\\a.log"));  // empty table
  EXPECT_EQ(AddToWatchList("C:\\Logs\\A.log"), 0);
  EXPECT_EQ(AddToWatchList("C:\\\xE3\x82\xA2.log"), 1);  // ア in UTF-8
  EXPECT_EQ(g_keyCounter, 2);
  EXPECT_TRUE(IsListed("c:\\LOGS\\a.LOG"));
  EXPECT_FALSE(IsListed("C:\\Logs\\A.log2"));
  EXPECT_FALSE(IsListed("C:\\Logs\\A.lo"));
  EXPECT_TRUE(IsListed("c:\\\xE3\x82\xA2.LOG"));
  // Bytes above 0x7F are never folded: ヂ (E3 83 82) is another file.
  EXPECT_FALSE(IsListed("C:\\\xE3\x83\x82.log"));
  EXPECT_FALSE(IsListed("C:\\\xE3\x82"));

  // Removal keeps the counter: the next entry gets the next number.
  TableRemove(DecimalKey(0));
  EXPECT_FALSE(IsListed("C:\\Logs\\A.log"));
  EXPECT_EQ(AddToWatchList("x"), 2);
}

TEST(DataFolderTest, AppendsMakerFolderWithoutDoubledBackslash) {
  char folder[kPathBufferSize];
  ASSERT_EQ(FormatDataFolder("C:\\ProgramData", folder, sizeof folder), 0);
  EXPECT_STREQ(folder, "C:\\ProgramData\\Fennwick\\Kestrin");
  ASSERT_EQ(FormatDataFolder("C:\\ProgramData\\", folder, sizeof folder), 0);
  EXPECT_STREQ(folder, "C:\\ProgramData\\Fennwick\\Kestrin");
  // In UTF-8 the 5C of "ぁ\" is a backslash (a Shift-JIS walk takes it for a second byte).
  ASSERT_EQ(FormatDataFolder("C:\\\xE3\x81\x81\\", folder, sizeof folder), 0);
  EXPECT_STREQ(folder, "C:\\\xE3\x81\x81\\Fennwick\\Kestrin");
}

TEST(DataFolderTest, RefusesMissingOrOverlongProgramData) {
  char folder[kPathBufferSize];
  EXPECT_EQ(FormatDataFolder(nullptr, folder, sizeof folder), -1);
  // 259 bytes is the most the watch list path's temporary copy may take.
  size_t fixed = std::string("\\Fennwick\\Kestrin\\Surveillance.txt.123456789abc.new").size();
  std::string fits(259 - fixed, 'x');
  EXPECT_EQ(FormatDataFolder(fits.c_str(), folder, sizeof folder), 0);
  EXPECT_EQ(FormatDataFolder((fits + "x").c_str(), folder, sizeof folder), -1);
}

}  // namespace
