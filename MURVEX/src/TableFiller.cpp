#include "TableFiller.h"

#include <cstring>
#include <system_error>
#include <utility>

#include "KeyedTextTable.h"

namespace {

// Lines inserted on the caller's thread before the filler starts: a log of
// this size is listed in a few milliseconds, less than a thread would save.
constexpr size_t kInlineLines = 65536;
// Lines handed over at a time, and how many such batches may wait: the
// listing never runs more than this far ahead of the table, so the memory
// in flight stays under a megabyte.
constexpr size_t kBatchLines = 8192;
constexpr size_t kMostQueued = 4;

}  // namespace

void TableFiller::Insert(const char* key, const char digest[kLineDigestSize + 1]) {
  if (inserted_ < kInlineLines || noThread_) {
    ++inserted_;
    TableInsert(key, digest);
    return;
  }
  Entry entry;
  size_t length = strnlen(key, sizeof entry.key - 1);
  std::memcpy(entry.key, key, length);
  entry.key[length] = '\0';
  std::memcpy(entry.digest, digest, sizeof entry.digest);
  if (gathering_.empty()) gathering_.reserve(kBatchLines);
  gathering_.push_back(entry);
  if (gathering_.size() == kBatchLines) HandOver();
}

void TableFiller::HandOver() {
  if (!filler_.joinable() && !noThread_) {
    try {
      filler_ = std::thread(&TableFiller::Fill, this);
    } catch (const std::system_error&) {
      // No thread to be had (a process limit): the listing inserts on its
      // own thread, as a short one does.
      noThread_ = true;
    }
  }
  if (noThread_) {
    for (const Entry& entry : gathering_) TableInsert(entry.key, entry.digest);
    gathering_.clear();
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_.size() < kMostQueued; });
  queued_.push_back(std::move(gathering_));
  gathering_ = Batch();
  changed_.notify_all();
}

void TableFiller::Fill() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queued_.empty() || finishing_; });
      if (queued_.empty()) return;
      batch = std::move(queued_.front());
      queued_.pop_front();
      changed_.notify_all();
    }
    for (const Entry& entry : batch) TableInsert(entry.key, entry.digest);
  }
}

void TableFiller::Finish() {
  if (filler_.joinable()) {
    if (!gathering_.empty()) HandOver();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finishing_ = true;
    }
    changed_.notify_all();
    filler_.join();
    finishing_ = false;
  } else {
    // The thread never started: what was gathered goes in here.
    for (const Entry& entry : gathering_) TableInsert(entry.key, entry.digest);
    gathering_.clear();
  }
  inserted_ = 0;
  noThread_ = false;
}
