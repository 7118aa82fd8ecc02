#include "RunTable.h"

#include <vector>

#include "LineReader.h"

namespace {

constexpr int64_t kDefaultRunMinimum = 65536;

// The runs of the last listing or pass, in file order. Changed by
// ForgetRuns, SkipUnchangedRuns and CountLineInRun.
std::vector<LineRun> g_runs;
// The run being recorded: where it starts, its lines so far and the
// decision before its first line.
LineRun g_pending = {0, 0, 0, 0, TextEncoding::None, TextEncoding::None};
int64_t g_runMinimum = kDefaultRunMinimum;

void StartPending(int64_t offset) {
  g_pending = {offset, 0, 0, 0, LineDecision(), TextEncoding::None};
}

}  // namespace

void SetRunMinimum(int64_t bytes) { g_runMinimum = bytes > 0 ? bytes : kDefaultRunMinimum; }

size_t RunCount() { return g_runs.size(); }

const LineRun& RunAt(size_t index) { return g_runs.at(index); }

void ForgetRuns() {
  g_runs.clear();
  StartPending(0);
}

int32_t SkipUnchangedRuns(const char* path) {
  int32_t lines = 0;
  size_t kept = 0;
  for (; kept < g_runs.size(); ++kept) {
    const LineRun& run = g_runs[kept];
    if (run.decisionBefore != LineDecision()) break;
    int same = SkipRunIfSame(path, run.length, run.digest);
    if (same < 0) {
      g_runs.clear();
      return -1;
    }
    if (same == 0) break;
    SetLineDecision(run.decisionAfter);
    lines += run.lines;
  }
  g_runs.resize(kept);
  StartPending(kept > 0 ? g_runs.back().offset + g_runs.back().length : 0);
  return lines;
}

void CountLineInRun() {
  ++g_pending.lines;
  // A line that ran into the end of the pass may go on in the next.
  int64_t at = LineReaderOffset();
  if (LastLineIsOpen() || at < 0 || at - g_pending.offset < g_runMinimum) return;
  g_pending.length = at - g_pending.offset;
  g_pending.digest = TakeRunDigest();
  g_pending.decisionAfter = LineDecision();
  g_runs.push_back(g_pending);
  StartPending(at);
}
