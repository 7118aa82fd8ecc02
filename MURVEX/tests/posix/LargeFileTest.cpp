// A 5 GB file, sparse so that it costs no disk: the line reader's 32-bit
// counts and 128,000,000-byte refills must not lose or cut a line at a
// buffer boundary or at the 4 GiB mark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LineReader.h"
#include "MonitorPlatform.h"

namespace {

constexpr int64_t kFileSize = 5'000'000'000;
constexpr int64_t kRefill = 128'000'000;
constexpr int64_t kFourGiB = 4'294'967'296;

// Writes text at offset; a line feed just before it ends the zeros there.
void PutLineAt(int fd, int64_t offset, const std::string& text) {
  ASSERT_EQ(pwrite(fd, "\n", 1, offset - 1), 1);
  ASSERT_EQ(pwrite(fd, text.data(), text.size(), offset), static_cast<ssize_t>(text.size()));
}

TEST(LargeFileTest, LinesAcrossRefillsAndTheFourGiBMarkComeOutWhole) {
  std::string path = std::string(::testing::TempDir()) + "murvex-sparse-" + std::to_string(getpid()) + ".log";
  int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  struct statvfs volume;
  if (ftruncate(fd, kFileSize) != 0 || fstatvfs(fd, &volume) != 0 ||
      static_cast<int64_t>(volume.f_bavail) * static_cast<int64_t>(volume.f_frsize) < 64'000'000) {
    close(fd);
    unlink(path.c_str());
    GTEST_SKIP() << "no room for a sparse 5 GB file here";
  }
  // Each marked line straddles a boundary: 20 bytes before it, the rest after.
  const std::vector<std::pair<int64_t, std::string>> marked = {
      {0 + 1, "first line\n"},
      {kRefill - 20, "across the first refill boundary\n"},
      {2 * kRefill - 20, "across the second refill boundary\n"},
      {kFourGiB - 20, "across the 4 GiB mark, where 32 bits wrap\n"},
      {kFileSize - 10, "last line\n"},
  };
  for (const auto& [offset, text] : marked) PutLineAt(fd, offset, text);
  struct stat status;
  ASSERT_EQ(fstat(fd, &status), 0);
  close(fd);
  if (static_cast<int64_t>(status.st_blocks) * 512 > 100'000'000) {
    unlink(path.c_str());
    GTEST_SKIP() << "the file system does not keep files sparse";
  }

  SetPlatform(MonitorPlatform{&NativeFileSystem(), nullptr, nullptr});
  SetLineReaderBufferLimit(kRefill);
  std::vector<char> line(65536);
  std::vector<std::string> texts;
  int64_t delivered = 0;
  int64_t pieces = 0;
  for (int count; (count = ReadLineA(path.c_str(), line.data(), 65535)) != 0;) {
    ASSERT_LE(count, 65534);
    delivered += count;
    ++pieces;
    if (line[0] != '\0' && line[0] != '\n') texts.emplace_back(line.data(), static_cast<size_t>(count));
  }
  unlink(path.c_str());

  EXPECT_EQ(delivered, kFileSize);  // every byte once, nothing past the end
  std::vector<std::string> expected;
  for (const auto& entry : marked) expected.push_back(entry.second);
  EXPECT_EQ(texts, expected);
  // The zeros between come in pieces of at most 65,534 bytes, so there are
  // at least this many, and no line was split in two.
  EXPECT_GE(pieces, kFileSize / 65534);
}

}  // namespace
