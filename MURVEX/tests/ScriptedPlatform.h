// A platform for driving the monitor step by step: files live in memory,
// the console keeps a transcript, and every wake-up of the change wait runs
// the next scripted step first.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "MonitorPlatform.h"

class ScriptedFiles : public FileSystem {
 public:
  struct File {
    std::string bytes;
    FileStatus status;
  };
  std::map<std::string, File> files;
  int64_t clockNs = 1'000'000'000'000;
  uint64_t nextId = 1;
  // Runs after every read: a writer at work while a pass reads.
  std::function<void()> afterRead;
  // Every byte the reads have delivered, of every file.
  size_t bytesRead = 0;
  // Folders (paths ending in a separator) are there with id 0 unless gone
  // or given another id (re-created, or a link pointed elsewhere).
  std::set<std::string> goneFolders;
  std::map<std::string, uint64_t> folderIds;

  // Writes the whole file; the time moves on by `elapsedNs`.
  void Put(const std::string& path, const std::string& bytes, int64_t elapsedNs = 1'000'000'000) {
    clockNs += elapsedNs;
    File& file = files[path];
    if (file.status.fileId == 0) file.status.fileId = nextId++;
    file.bytes = bytes;
    file.status.size = static_cast<int64_t>(bytes.size());
    file.status.modifiedNs = clockNs;
  }
  void Remove(const std::string& path) { files.erase(path); }

  int Exists(const char* path) override { return files.count(path) ? 0 : -1; }
  int Status(const char* path, FileStatus* status) override {
    auto found = files.find(path);
    if (found != files.end()) {
      *status = found->second.status;
      return 0;
    }
    std::string name = path;
    if (name.empty() || (name.back() != '/' && name.back() != '\\') || goneFolders.count(name) != 0) return -1;
    *status = FileStatus();
    status->kind = FileStatus::kFolder;
    status->fileId = folderIds[name];
    return 0;
  }
  FileHandle OpenShared(const char* path) override {
    auto found = files.find(path);
    if (found == files.end()) return kNoFile;
    open_.push_back({path, 0});
    return static_cast<FileHandle>(open_.size() - 1);
  }
  FileHandle OpenDirect(const char* path, size_t* alignment) override {
    *alignment = 512;
    return OpenShared(path);
  }
  // Reads see the file as it is now, as they do on a real file system.
  int64_t Read(FileHandle file, void* buffer, size_t size) override {
    Open& open = open_.at(static_cast<size_t>(file));
    int64_t count = ReadAt(file, static_cast<int64_t>(open.offset), buffer, size);
    open.offset += static_cast<size_t>(count);
    return count;
  }
  int64_t ReadAt(FileHandle file, int64_t offset, void* buffer, size_t size) override {
    const Open& open = open_.at(static_cast<size_t>(file));
    auto found = files.find(open.path);
    const std::string bytes = found != files.end() ? found->second.bytes : std::string();
    size_t from = static_cast<size_t>(offset);
    size_t count = from < bytes.size() ? std::min(size, bytes.size() - from) : 0;
    if (count > 0) memcpy(buffer, bytes.data() + from, count);
    bytesRead += count;
    if (afterRead) afterRead();
    return static_cast<int64_t>(count);
  }
  void Close(FileHandle) override {}
  void* AllocateAligned(size_t size) override {
    return ::operator new(size, std::align_val_t{4096}, std::nothrow);
  }
  void FreeAligned(void* block, size_t) override { ::operator delete(block, std::align_val_t{4096}); }

 private:
  struct Open {
    std::string path;
    size_t offset;
  };
  std::vector<Open> open_;
};

// Colours as <15>, <10>, <95>; clears as <CLS>; the title as <TITLE:...>.
class ScriptedConsole : public Console {
 public:
  std::string screen;
  std::string errors;
  std::string title;
  std::vector<size_t> flushedAt;  // screen.size() at each flush
  void Write(const char* text, size_t length) override { screen.append(text, length); }
  void SetColour(int attribute) override { screen += "<" + std::to_string(attribute) + ">"; }
  void SetTitle(const char* text) override { title = text; }
  void Clear() override { screen += "<CLS>"; }
  void Flush() override { flushedAt.push_back(screen.size()); }
  void WriteError(const char* text) override { errors += text; }
};

class ScriptedWatcher : public ChangeWatcher {
 public:
  std::vector<std::function<int()>> steps;
  std::string folder;
  int starts = 0;
  bool refuseStart = false;
  size_t next = 0;
  int longestWaitMs = 0;
  std::vector<int> waitsMs;  // the time-out of every wait
  // A wait that times out takes its whole time; a notification comes at once.
  int64_t nowMs = 0;
  int Start(const char* watched, const char*) override {
    folder = watched;
    ++starts;
    return refuseStart ? -1 : 0;
  }
  int Wait(int timeoutMs) override {
    longestWaitMs = std::max(longestWaitMs, timeoutMs);
    waitsMs.push_back(timeoutMs);
    int result = next < steps.size() ? steps[next++]() : kWaitFailed;
    if (result == kTimedOut) nowMs += timeoutMs;
    return result;
  }
  void Stop() override {}
  int64_t NowMs() override { return nowMs; }
};
