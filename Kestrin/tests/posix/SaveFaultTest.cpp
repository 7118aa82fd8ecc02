// Saving the watch list when things go wrong: the manager killed part-way,
// the disk full, the folder not writable, another user's links planted in
// the shared folder, two managers saving at once. The list file is always
// the old list or the new one, never a mix, nothing is written through a
// link, and a failed save says so.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "KeyedTextTable.h"
#include "WatchList.h"

namespace fs = std::filesystem;

namespace {

class SaveFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / ("kestrin-save-" + std::string(test->name()) + "-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = (folder_ / "Surveillance.txt").string();
    TableClear();
  }
  void TearDown() override {
    TableClear();
    g_keyCounter = 0;
    std::error_code ignored;
    fs::permissions(folder_, fs::perms::owner_all, ignored);
    fs::remove_all(folder_, ignored);
  }
  // A list of `count` paths, each naming its list and number.
  static void MakeList(char name, int count) {
    TableClear();
    for (int i = 0; i < count; ++i) {
      std::string path = std::string("C:\\logs\\") + name + "\\" + std::string(static_cast<size_t>(i % 50), name) +
                         std::to_string(i) + ".log";
      TableInsert(DecimalKey(i), path.c_str());
    }
    g_keyCounter = count;
  }
  static std::string Bytes(char name, int count) {
    MakeList(name, count);
    return FormatWatchList(count);
  }
  std::string Read() const {
    std::ifstream file(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // Runs `save` in a child process (its limits and signals stay there);
  // the child's result, or -2 when it did not end normally.
  static int InChild(const std::function<int()>& save) {
    pid_t child = fork();
    if (child == 0) _exit(save() == 0 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return -2;
    return WEXITSTATUS(status) == 0 ? 0 : -1;
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(SaveFaultTest, KilledWhileSavingLeavesTheOldListOrTheNewOneNeverAMix) {
  // The long list and its first two thirds: the child switches between them
  // by the key counter alone, so nearly all its time goes into saving.
  MakeList('a', 6000);
  const std::string a = FormatWatchList(6000);
  const std::string b = FormatWatchList(4000);
  ASSERT_EQ(SaveWatchList(path_.c_str()), 0);
  int sawA = 0, sawB = 0;
  for (int round = 0; round < 30; ++round) {
    pid_t child = fork();
    if (child == 0) {
      for (int i = 0;; ++i) {
        g_keyCounter = i % 2 == 0 ? 4000 : 6000;
        SaveWatchList(path_.c_str());
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + round * 7919 % 20000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::string now = Read();
    ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes, neither list";
    (now == a ? sawA : sawB)++;
    if (round % 10 == 0) {
      // What the next start loads is that list, whole.
      TableClear();
      LoadWatchList(path_.c_str());
      EXPECT_EQ(g_keyCounter, now == a ? 6000 : 4000);
      MakeList('a', 6000);
    }
  }
  RecordProperty("old", sawA);
  RecordProperty("new", sawB);
}

TEST_F(SaveFaultTest, DiskFullWhileSavingKeepsTheOldListAndSaysSo) {
  const std::string old = Bytes('a', 10);
  ASSERT_EQ(SaveWatchList(path_.c_str()), 0);
  MakeList('b', 2000);
  // The file size limit stands in for a full disk: writes beyond it fail.
  int result = InChild([this] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    return SaveWatchList(path_.c_str());
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Read(), old);
  EXPECT_FALSE(fs::exists(path_ + ".new")) << "the unfinished copy is left behind";
}

TEST_F(SaveFaultTest, UnwritableFolderKeepsTheOldListAndSaysSo) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not hold for root";
  const std::string old = Bytes('a', 10);
  ASSERT_EQ(SaveWatchList(path_.c_str()), 0);
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  MakeList('b', 20);
  EXPECT_EQ(SaveWatchList(path_.c_str()), -1);
  EXPECT_EQ(Read(), old);
}

// What another user can plant in the shared folder in the list's place.
TEST_F(SaveFaultTest, APlantedLinkOrSecondNameIsNeitherLoadedNorSavedOver) {
  const fs::path victim = folder_ / ".." / (folder_.filename().string() + "-victim");
  const std::string secret = "C:\\secret.log\r\n";
  struct Case {
    const char* what;
    std::function<void(const std::string&)> plant;
  } cases[] = {
      {"symbolic link", [&](const std::string& at) { fs::create_symlink(victim, at); }},
      {"dangling link", [&](const std::string& at) { fs::create_symlink(folder_ / "nowhere", at); }},
      {"hard link", [&](const std::string& at) { fs::create_hard_link(victim, at); }},
      {"pipe", [&](const std::string& at) { mkfifo(at.c_str(), 0600); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    { std::ofstream(victim, std::ios::binary) << secret; }
    c.plant(path_);
    MakeList('a', 3);
    EXPECT_EQ(LoadWatchList(path_.c_str()), kNotPlainFile);
    EXPECT_EQ(g_keyCounter, 0);
    MakeList('a', 3);
    EXPECT_EQ(SaveWatchList(path_.c_str()), kNotPlainFile);
    std::ifstream file(victim, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), secret);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), {}), 1) << "something was written beside it";
    fs::remove(path_);
    fs::remove(victim);
  }
}

TEST_F(SaveFaultTest, ATemporaryNameAlreadyThereIsNeverWrittenThrough) {
  const fs::path victim = folder_ / ".." / (folder_.filename().string() + "-victim");
  { std::ofstream(victim, std::ios::binary) << "mine"; }
  fs::create_symlink(victim, path_ + ".new");
  fs::create_symlink(folder_ / "made-through-it", path_ + ".x.new");
  EXPECT_EQ(WriteNewFile((path_ + ".new").c_str(), "list"), 1);
  EXPECT_EQ(WriteNewFile((path_ + ".x.new").c_str(), "list"), 1);
  EXPECT_FALSE(fs::exists(folder_ / "made-through-it"));
  const std::string list = Bytes('a', 5);
  ASSERT_EQ(SaveWatchList(path_.c_str()), 0);
  EXPECT_EQ(Read(), list);
  std::ifstream file(victim, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "mine");
  fs::remove(victim);
}

TEST_F(SaveFaultTest, AListFolderOrFolderAboveThatIsALinkIsRefused) {
  const fs::path real = folder_ / "real";
  fs::create_directories(real / "inner");
  fs::create_symlink(real, folder_ / "linked");
  fs::create_symlink(real / "inner", real / "linkedInner");
  for (const fs::path& list : {folder_ / "linked" / "Surveillance.txt", folder_ / "linked" / "inner" / "Surveillance.txt",
                               real / "linkedInner" / "Surveillance.txt"}) {
    SCOPED_TRACE(list.string());
    MakeList('a', 2);
    EXPECT_EQ(SaveWatchList(list.c_str()), kNotPlainFile);
    EXPECT_EQ(LoadWatchList(list.c_str()), kNotPlainFile);
  }
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(real), {}), 2) << "a list was written through a link";
}

TEST_F(SaveFaultTest, TwoManagersSavingAtOnceEachReplaceTheListWholeAndNeitherFails) {
  const std::string a = Bytes('a', 300), b = Bytes('b', 200);
  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    children[i] = fork();
    if (children[i] == 0) {
      int failed = 0;
      for (int round = 0; round < 300; ++round) {
        // Alternating lists, so every save writes.
        MakeList(i == 0 ? 'a' : 'b', round % 2 == 0 ? 300 : 200);
        failed += SaveWatchList(path_.c_str()) != 0;
      }
      _exit(failed == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }
  const std::string now = Read();
  EXPECT_TRUE(now == a || now == b || now == Bytes('a', 200) || now == Bytes('b', 300)) << now.size() << " bytes";
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), {}), 2) << "temporary files left behind";
}

}  // namespace
