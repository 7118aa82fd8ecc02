// Saving the watch list when things go wrong: the manager killed part-way,
// the disk full, the folder not writable. The list file is always the old
// list or the new one, never a mix, and a failed save says so.
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

}  // namespace
