#include "ListingTail.h"

int ListingTail::Keep(int32_t number, const char* text, size_t length) {
  if (count_ == 0) return 1;
  if (held_.size() < static_cast<uint64_t>(count_)) {
    held_.emplace_back(number, std::string(text, length));
    return 1;
  }
  // Full: the oldest line gives way, its storage reused.
  auto& oldest = held_[next_];
  oldest.first = number;
  oldest.second.assign(text, length);
  next_ = (next_ + 1) % held_.size();
  return 1;
}
