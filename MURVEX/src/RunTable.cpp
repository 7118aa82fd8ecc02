#include "RunTable.h"

namespace {

constexpr int64_t kDefaultRunMinimum = 65536;

int64_t g_runMinimum = kDefaultRunMinimum;

}  // namespace

void SetRunMinimum(int64_t bytes) { g_runMinimum = bytes > 0 ? bytes : kDefaultRunMinimum; }

void RunTable::StartPending(int64_t offset, TextEncoding decision) {
  pending_ = {offset, 0, 0, 0, decision, TextEncoding::None};
}

void RunTable::Forget(const FileView& view) {
  runs_.clear();
  StartPending(0, view.lineDecision);
}

int32_t RunTable::SkipUnchanged(FileView& view, const char* path) {
  int32_t lines = 0;
  size_t kept = 0;
  for (; kept < runs_.size(); ++kept) {
    const LineRun& run = runs_[kept];
    if (run.decisionBefore != view.lineDecision) break;
    int same = view.SkipRunIfSame(path, run.length, run.digest);
    if (same < 0) {
      runs_.clear();
      return -1;
    }
    if (same == 0) break;
    view.lineDecision = run.decisionAfter;
    lines += run.lines;
  }
  runs_.resize(kept);
  StartPending(kept > 0 ? runs_.back().offset + runs_.back().length : 0, view.lineDecision);
  return lines;
}

void RunTable::CountLine(FileView& view) {
  ++pending_.lines;
  // A line that ran into the end of the pass may go on in the next.
  int64_t at = view.Offset();
  if (view.LastLineIsOpen() || at < 0 || at - pending_.offset < g_runMinimum) return;
  pending_.length = at - pending_.offset;
  pending_.digest = view.TakeRunDigest();
  pending_.decisionAfter = view.lineDecision;
  runs_.push_back(pending_);
  StartPending(at, view.lineDecision);
}
