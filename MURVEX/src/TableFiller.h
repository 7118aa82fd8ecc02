// Fills the line table during a full listing. The inserts of a listing of
// millions of lines wait mostly on memory, and no line shown depends on
// them, so once a listing is long they move to a thread of their own and
// run beside the reading, converting and printing. A short listing inserts
// every line at once, on the caller's thread, as before, and so does a long
// one where no thread can be started.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "LineDigest.h"

class TableFiller {
 public:
  TableFiller() = default;
  TableFiller(const TableFiller&) = delete;
  TableFiller& operator=(const TableFiller&) = delete;
  ~TableFiller() { Finish(); }

  // Inserts the digest under the key, now or soon.
  void Insert(const char* key, const char digest[kLineDigestSize + 1]);
  // Returns once every digest given is in the table.
  void Finish();

 private:
  struct Entry {
    char key[12];  // the decimal text of a line number, NUL-ended
    char digest[kLineDigestSize + 1];
  };
  using Batch = std::vector<Entry>;

  // Queues the gathered batch for the filler thread, started if need be;
  // waits while the most batches allowed are already waiting.
  void HandOver();
  // The filler thread: inserts queued batches until finishing and none is left.
  void Fill();

  size_t inserted_ = 0;  // on the caller's thread, before the filler starts
  bool noThread_ = false;  // the filler could not be started: all inline
  Batch gathering_;
  std::thread filler_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queued_;
  bool finishing_ = false;
};
