// Runs of whole lines of the watched file, each with a digest of its raw
// bytes. A pass that finds a run's bytes unchanged moves its line counter on
// by the run's line count without splitting, converting or looking its lines
// up: on a busy log only what changed costs more than a read and a digest.
// The line table stays the record of every line; the runs only say where a
// pass may move on without looking.
#pragma once

#include <cstddef>
#include <cstdint>

#include <vector>

#include "LineReader.h"
#include "TextEncoding.h"

struct LineRun {
  int64_t offset;   // of its first byte in the file
  int64_t length;   // raw bytes, ending at a line end or after a whole piece
  int32_t lines;    // lines the reader delivered for those bytes
  uint64_t digest;  // DigestBytes of those bytes
  // The lines' encoding decision (LineDecision) before its first line and
  // after its last: a run that decided must not be moved over by a pass
  // that has not decided yet, nor one that did hide that decision.
  TextEncoding decisionBefore;
  TextEncoding decisionAfter;
};

// Smallest run in raw bytes, 65,536 by default. With pieces of at most
// 65,534 units, a run stays under 196 KiB, within one read of the reader.
void SetRunMinimum(int64_t bytes);

// The runs of the last listing or pass of one file, in file order, part of
// the monitor's state.
class RunTable {
 public:
  size_t Count() const { return runs_.size(); }
  const LineRun& At(size_t index) const { return runs_.at(index); }

  // For a listing from the file's first line: no run is kept, recording
  // starts at offset 0 with the view's line decision as it now stands.
  void Forget(const FileView& view);

  // At the start of a difference pass, before its first read: moves the
  // view over each run, from the first, while its bytes and the decision
  // before it are unchanged, taking on the decision after it. The runs from
  // the first that differs are dropped and recorded anew from there. Returns
  // the number of lines moved over, or -1 when the file could not be opened
  // (the view has reported it; the pass reads no lines).
  int32_t SkipUnchanged(FileView& view, const char* path);

  // Opens the view after the first `kept` runs for a pass that trusts them
  // unread, dropping the runs after them; when `checkEnds`, only if the
  // first and the last of them still hold (a copy-and-truncate that regrew
  // differs in the first, a rewritten tail in the last). The lines moved
  // over; -1 when the file could not be opened (reported); kNotMoved when
  // nothing was moved over (a checked run differs, no run, or the view
  // cannot start there), the view closed and the runs as they were.
  static constexpr int32_t kNotMoved = -2;
  int32_t MoveOverUnread(FileView& view, const char* path, size_t kept, bool checkEnds);

  // After each line of a listing or pass has been taken from the view (and
  // its encoding decided): counts it into the run being recorded, which ends
  // after a line that ended before the end of the pass (at its line end, or
  // as a whole piece) once it holds at least the minimum.
  void CountLine(FileView& view);

  // After the last line of a listing or pass: when it ended with a whole
  // line, the lines after the last run (fewer bytes than a run) are kept as
  // they were read, so that the next append pass can check their bytes at
  // once instead of comparing them line by line.
  void EndPass(const FileView& view);

 private:
  void StartPending(int64_t offset, TextEncoding decision);

  std::vector<LineRun> runs_;
  // The run being recorded: where it starts, its lines so far and the
  // decision before its first line.
  LineRun pending_ = {0, 0, 0, 0, TextEncoding::None, TextEncoding::None};
  bool lastLineOpen_ = false;  // the line last counted ran into the end of its pass
  int64_t lastLineEnd_ = 0;    // the offset after it
  // The lines after the last run as the last pass ended; length -1: none
  // (cleared whenever the runs change).
  LineRun tail_ = {0, -1, 0, 0, TextEncoding::None, TextEncoding::None};
};
