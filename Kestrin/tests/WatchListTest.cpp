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
      // 0x0D never follows a lead byte in real text, but the rule is the same.
      {std::string("x\x81\x0D\n"), {std::string("x\x81\x0D")}},
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
  EXPECT_EQ(AddToWatchList("C:\\\x83\x41.log"), 1);  // katakana A, second byte 'A'
  EXPECT_EQ(g_keyCounter, 2);
  EXPECT_TRUE(IsListed("c:\\LOGS\\a.LOG"));
  EXPECT_FALSE(IsListed("C:\\Logs\\A.log2"));
  EXPECT_FALSE(IsListed("C:\\Logs\\A.lo"));
  // The second byte of a double-byte character is never folded: ア (83 41)
  // and ヂ (83 61) are different files.
  EXPECT_FALSE(IsListed("C:\\\x83\x61.log"));
  EXPECT_FALSE(IsListed("C:\\\x83"));
  EXPECT_FALSE(IsListed("C:\\\x84\x41.log"));
  // Bytes above 0x7F are never folded.
  EXPECT_FALSE(IsListed("C:\\\xA3\x41.log"));

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
  // The second byte of 0x95 0x5C is no separator: a backslash is still added.
  ASSERT_EQ(FormatDataFolder("C:\\\x95\x5C", folder, sizeof folder), 0);
  EXPECT_STREQ(folder, "C:\\\x95\x5C\\Fennwick\\Kestrin");
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
