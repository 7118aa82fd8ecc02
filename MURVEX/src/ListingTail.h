// The last lines of a listing that shows only those: every line is still
// read and recorded, but only the last few reach the screen, at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class ListingTail {
 public:
  // count: how many of the last lines are shown; -1 shows every line as it
  // is read, holding none.
  explicit ListingTail(int64_t count) : count_(count) {}
  // 1 when the line is held (or dropped, as one of the earlier lines) and
  // must not be shown now; 0 when it is to be shown at once.
  int Hold(int32_t number, const char* text, size_t length) { return count_ < 0 ? 0 : Keep(number, text, length); }
  // Calls show(number, text) for each held line, oldest first; then none is held.
  template <typename Show>
  void Release(Show show) {
    for (size_t i = 0; i < held_.size(); ++i) {
      const auto& line = held_[(next_ + i) % held_.size()];
      show(line.first, line.second);
    }
    held_.clear();
    next_ = 0;
  }

 private:
  // Hold for a listing that shows only its last lines.
  int Keep(int32_t number, const char* text, size_t length);

  int64_t count_;
  // A ring of at most count_ lines; next_ is the oldest once it is full.
  std::vector<std::pair<int32_t, std::string>> held_;
  size_t next_ = 0;
};
