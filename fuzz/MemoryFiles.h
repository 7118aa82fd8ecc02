// One file held in memory for the monitor's file services, with the faults a
// real disk and a busy writer produce: a size at open that differs from the
// bytes there, short reads, reads that fail from some offset on, opens and
// locked buffers that are refused.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MonitorPlatform.h"

class MemoryFiles : public FileSystem {
 public:
  std::string bytes;
  int64_t statusSize = 0;      // what Status reports (the size "at open")
  uint32_t shortReads = 0;     // bit i set: read i of an open delivers less than asked
  size_t failFrom = SIZE_MAX;  // reads that would reach beyond this offset fail
  bool refuseOpen = false;
  bool refuseAligned = false;
  size_t alignment = 1;
  int opens = 0;
  int closes = 0;
  int alignedBlocks = 0;

  int Exists(const char*) override { return 0; }
  int Status(const char*, FileStatus* status) override {
    status->size = statusSize;
    status->modifiedNs = 1;
    status->fileId = 1;
    return 0;
  }
  FileHandle OpenShared(const char*) override {
    if (refuseOpen) return kNoFile;
    ++opens;
    offset_ = 0;
    reads_ = 0;
    return 3;
  }
  FileHandle OpenDirect(const char* path, size_t* align) override {
    *align = alignment;
    return OpenShared(path);
  }
  int64_t Read(FileHandle file, void* buffer, size_t size) override {
    int64_t count = ReadAt(file, static_cast<int64_t>(offset_), buffer, size);
    if (count > 0) offset_ += static_cast<size_t>(count);
    return count;
  }
  int64_t ReadAt(FileHandle, int64_t offset, void* buffer, size_t size) override {
    size_t from = static_cast<size_t>(offset);
    if (from >= failFrom) return -1;
    size_t left = from < bytes.size() ? bytes.size() - from : 0;
    size_t count = size < left ? size : left;
    if (failFrom - from < count) count = failFrom - from;
    if (count > 1 && (shortReads >> (reads_ % 32) & 1u)) count = 1 + count / 3;
    ++reads_;
    if (count > 0) memcpy(buffer, bytes.data() + from, count);
    return static_cast<int64_t>(count);
  }
  void Close(FileHandle) override { ++closes; }
  void* AllocateAligned(size_t size) override {
    if (refuseAligned) return nullptr;
    ++alignedBlocks;
    return malloc(size);
  }
  void FreeAligned(void* block, size_t) override {
    --alignedBlocks;
    free(block);
  }

 private:
  size_t offset_ = 0;
  uint32_t reads_ = 0;
};

// Swallows the console: messages are expected and would only slow a run.
class SilentConsole : public Console {
 public:
  int errors = 0;
  void Write(const char*, size_t) override {}
  void SetColour(int) override {}
  void SetTitle(const char*) override {}
  void Clear() override {}
  void Flush() override {}
  void WriteError(const char*) override { ++errors; }
};

// The in-memory file and the silent console of one run, fresh, installed as
// the process's platform.
struct MemoryPlatform {
  MemoryFiles& files;
  SilentConsole& console;
};

inline MemoryPlatform FreshMemoryPlatform() {
  static MemoryFiles files;
  static SilentConsole console;
  files = MemoryFiles();
  console.errors = 0;
  SetPlatform(MonitorPlatform{&files, &console, nullptr});
  return MemoryPlatform{files, console};
}
