#include "RunTable.h"

namespace {

constexpr int64_t kDefaultRunMinimum = 65536;

int64_t g_runMinimum = kDefaultRunMinimum;

}  // namespace

void SetRunMinimum(int64_t bytes) { g_runMinimum = bytes > 0 ? bytes : kDefaultRunMinimum; }

void RunTable::StartPending(int64_t offset, TextEncoding decision) {
  pending_ = {offset, 0, 0, 0, decision, TextEncoding::None};
  lastLineOpen_ = false;
  lastLineEnd_ = offset;
}

void RunTable::Forget(const FileView& view) {
  runs_.clear();
  tail_.length = -1;
  StartPending(0, view.lineDecision);
}

int32_t RunTable::SkipUnchanged(FileView& view, const char* path) {
  tail_.length = -1;
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

int32_t RunTable::MoveOverUnread(FileView& view, const char* path, size_t kept, bool checkEnds) {
  if (kept == 0 || kept > runs_.size()) return kNotMoved;
  const LineRun& last = runs_[kept - 1];
  int64_t end = last.offset + last.length;
  // After an append, the lines after the last run are taken as they were
  // when their bytes still hold: the pass starts after them.
  LineRun tail = tail_;
  tail_.length = -1;
  bool afterTail = checkEnds && kept == runs_.size() && tail.length > 0 && tail.offset == end;
  int opened = view.Open(path, afterTail ? end + tail.length : end);
  if (opened == -1) {
    runs_.clear();
    return -1;
  }
  if (opened != 0) return kNotMoved;
  const LineRun& first = runs_.front();
  if (checkEnds && !(view.HoldsRun(first.offset, first.length, first.digest) &&
                     (kept == 1 || view.HoldsRun(last.offset, last.length, last.digest)))) {
    view.Close();
    return kNotMoved;
  }
  if (afterTail && !view.ResumesRun(end, tail.digest)) {
    afterTail = false;
    opened = view.Open(path, end);
    if (opened == -1) {
      runs_.clear();
      return -1;
    }
    if (opened != 0) return kNotMoved;
  }
  // A decision, once made, holds until the next listing; before it, the
  // lines moved over decided what their reading decided.
  if (view.lineDecision == TextEncoding::None) view.lineDecision = last.decisionAfter;
  TextEncoding decision = view.lineDecision;
  runs_.resize(kept);
  int32_t lines = 0;
  for (const LineRun& run : runs_) lines += run.lines;
  StartPending(end, decision);
  if (afterTail) {
    pending_.lines = tail.lines;
    pending_.decisionBefore = tail.decisionBefore;
    if (tail.decisionAfter != TextEncoding::None) view.lineDecision = tail.decisionAfter;
    lines += tail.lines;
  }
  return lines;
}

void RunTable::CountLine(FileView& view) {
  ++pending_.lines;
  lastLineOpen_ = view.LastLineIsOpen() != 0;
  // A line that ran into the end of the pass may go on in the next.
  int64_t at = view.Offset();
  lastLineEnd_ = at;
  if (view.LastLineIsOpen() || at < 0 || at - pending_.offset < g_runMinimum) return;
  pending_.length = at - pending_.offset;
  pending_.digest = view.TakeRunDigest();
  pending_.decisionAfter = view.lineDecision;
  runs_.push_back(pending_);
  StartPending(at, view.lineDecision);
}

void RunTable::EndPass(const FileView& view) {
  tail_.length = -1;
  // Only whole lines, up to the very end of what the pass read (not a lone
  // byte of a 16-bit unit after them).
  int64_t length = view.EndOffset() - pending_.offset;
  if (lastLineOpen_ || pending_.lines == 0 || length <= 0 || lastLineEnd_ != view.EndOffset()) return;
  tail_ = pending_;
  tail_.length = length;
  tail_.digest = view.RunDigestSoFar();
  tail_.decisionAfter = view.lineDecision;
}
