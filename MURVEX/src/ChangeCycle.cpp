#include "ChangeCycle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ConsoleText.h"
#include "MonitorError.h"
#include "KeyedTextTable.h"
#include "LineDigest.h"
#include "LineReader.h"
#include "ListingTail.h"
#include "RunTable.h"
#include "TableFiller.h"
#include "TextEncoding.h"

namespace {

// The longest the cycle trusts the change notification alone. A writer that
// keeps its log open (NTFS updates the folder only when it closes), a
// network or FUSE mount, or a write through a shared mapping sends none; a
// look at the file's own status every half second shows such a change
// within about a second of being made, for two status calls a second when
// idle.
constexpr int kLookIntervalMs = 500;
// How long a last line without its line end must stay as it is before it is
// shown: an unbuffered writer finishes a line within moments, a file that
// simply ends without a line end stays so.
constexpr int64_t kSettleMs = 1000;
// How long a file found shorter must stay as it is before it is judged: a
// program that rewrites its file in place (truncate, then write) is done
// within moments, and the rewrite is then one change, not a clear and a
// relisting of what it had written so far.
constexpr int64_t kShrinkQuietMs = 200;
// Passes over a file that keeps changing take about a tenth of a core at
// most: the next pass starts no sooner than nine times the last one's
// processor time after it ended, and the changes meanwhile fold into it. A pass
// of a small log takes a few milliseconds, so its wait goes unnoticed; a
// full listing to a slow terminal may take seconds, so the wait is held to
// a few seconds at most.
constexpr int64_t kHoldOffFactor = 9;
constexpr int64_t kLongestHoldOffMs = 5000;
// The sweep over the runs an append pass trusts reads the whole file in
// 30 s, 4 MiB a second at least, and takes at most about half a percent of
// a core: 5 microseconds of processor time for every millisecond that
// passes. A whole sweep of a 10 MB log then takes 2.5 s, of a 100 MB log
// 25 s, of a 1 GB log a minute or more (there the processor time bounds
// it), and twelve monitors of busy 100 MB logs spend about 2 % of a core on
// it together. Both are saved up while the sweep waits (16 MiB, 20 ms at
// most), so an edit found after a quiet spell of a few seconds is verified
// at once in a log of 10 MB. A slice starts once a quarter second's bytes
// are due: the file is opened a few times a second at most, not at every
// wake-up.
constexpr int64_t kSweepUsPerMs = 5;
int64_t g_sweepUsPerMs = kSweepUsPerMs;
constexpr int64_t kMostSweepCreditUs = 20000;
constexpr int64_t kSweepLeastBytesPerS = int64_t{4} << 20;
int64_t g_sweepLeastBytesPerS = kSweepLeastBytesPerS;
constexpr int64_t kWholeSweepS = 30;
constexpr int64_t kMostSweepCreditBytes = int64_t{16} << 20;
constexpr int64_t kSweepSlicesPerS = 4;
constexpr int64_t kDefaultWholeVerifyLimit = int64_t{4} << 20;
int64_t g_wholeVerifyLimit = kDefaultWholeVerifyLimit;

void PrintLine(Console& console, int32_t number, const char* text, size_t textLength);

// DecimalKey of a line counter that counts up from 0, kept in step with it:
// counting a text up is cheaper than writing the number anew for each of
// the millions of lines of a pass.
class CountingKey {
 public:
  // Counting on from `from` (not negative).
  explicit CountingKey(int32_t from = 0) { length_ = snprintf(text_, sizeof text_, "%d", static_cast<int>(from)); }
  // The key of the next number, in this object; overwritten by the next call.
  const char* Next() {
    int at = length_ - 1;
    while (at >= 0 && text_[at] == '9') text_[at--] = '0';
    if (at >= 0) {
      ++text_[at];
    } else {
      std::memmove(text_ + 1, text_, static_cast<size_t>(length_) + 1);
      text_[0] = '1';
      ++length_;
    }
    return text_;
  }

 private:
  char text_[16];
  int length_;
};

void Forget(MonitorState& state, Console& console) {
  state.listedCount = 0;
  state.heldLine = 0;
  state.previousCount = 0;
  state.restartRun = -1;
  TableClear();
  console.Clear();
  console.Flush();
}

void FullListing(MonitorState& state, Console& console, bool showOpen) {
  state.previousCount = 0;
  state.restartRun = -1;
  TableClear();
  // A new file may be in another encoding than the one found at start (a
  // program that writes UTF-16 with its mark into an emptied log).
  if (DetectTextEncodingAgain(state.path) == 1) state.view->lineDecision = TextEncoding::None;
  console.SetColour(kColourListing);
  ListAllLines(state, console, showOpen);
  console.SetColour(kColourListing);
  state.listedCount = state.lineCounter;
}

void DifferencePass(MonitorState& state, Console& console, bool showOpen) {
  console.SetColour(kColourChanged);
  // The lines of runs whose bytes are unchanged are neither read nor looked
  // up: their numbers and table entries stand.
  FileView& view = *state.view;
  // A file that only grew is read from the end of its last run, the runs
  // before trusted (the sweep verifies them); after the sweep found a run
  // changed, from that run; else every run is verified as it is moved over.
  int32_t skipped = RunTable::kNotMoved;
  bool grown = state.current.fileId == state.saved.fileId && state.current.size > state.saved.size &&
               state.saved.size >= g_wholeVerifyLimit;
  if (state.restartRun >= 0) {
    skipped = state.runs.MoveOverUnread(view, state.path, static_cast<size_t>(state.restartRun), false);
  } else if (grown) {
    skipped = state.runs.MoveOverUnread(view, state.path, state.runs.Count(), true);
  }
  state.restartRun = -1;
  const bool trusted = skipped >= 0;
  if (skipped == RunTable::kNotMoved) skipped = state.runs.SkipUnchanged(view, state.path);
  state.lineCounter = skipped > 0 ? skipped : 0;
  CountingKey counting(state.lineCounter);
  char digest[kLineDigestSize + 1];
  size_t length;
  while (skipped >= 0) {
    const char* text = NextLineText(view, state.path, &length);
    if (text == nullptr) break;
    state.runs.CountLine(view);
    ++state.lineCounter;
    const char* key = counting.Next();
    if (!showOpen && view.LastLineIsOpen()) {
      state.heldLine = state.lineCounter;
      continue;  // the last line: the pass ends with the next read
    }
    // Looked up first: the table's memory arrives while the digest is made.
    const char* stored = TableFind(key);
    DigestLine(text, length, digest);
    if (stored != nullptr) {
      if (SameDigest(stored, digest)) continue;
      TableRemove(key);
    }
    TableInsert(key, digest);
    PrintLine(console, state.lineCounter, text, length);
  }
  state.runs.EndPass(view);
  console.SetColour(kColourListing);
  state.listedCount = state.lineCounter;
  if (trusted) state.sweepLeft = state.runs.Count();
}

}  // namespace

namespace {

// Leaves the NUL bytes (units) of a line out, as a terminal shows them: a
// NUL must not end the text early and hide the rest and the line end. The
// search is one pass over the line; only a line holding a NUL is copied.
// Returns the length left.
template <typename Unit>
size_t LeaveOutNuls(Unit* line, int count) {
  Unit* end = line + count;
  Unit* at = end;
  if constexpr (sizeof(Unit) == 1) {
    if (void* nul = std::memchr(line, 0, static_cast<size_t>(count))) at = static_cast<Unit*>(nul);
  } else {
    at = std::find(line, end, Unit(0));
  }
  Unit* kept = at;
  for (; at != end; ++at) {
    if (*at != 0) *kept++ = *at;
  }
  *kept = 0;
  return static_cast<size_t>(kept - line);
}

}  // namespace

namespace {

// The next line through `read` (the view's ReadLineA or ReadLineW into
// line), its NULs left out; false at the end of the pass. When the read that
// would have continued a line finds the pass over, the next call ends the
// pass without reading, as reading would start anew. NULs do not count toward the piece
// limit: a piece that the limit cut goes on with the rest of its line while
// leaving its NULs out made room (the run of NULs that a copy-and-truncate
// leaves under a writer that keeps its offset is no text of its own).
template <typename Unit, typename Read>
bool ReadLineWithoutNuls(FileView& view, Unit* line, Read read, size_t* length) {
  constexpr int kLineCapacity = FileView::kLineCapacity;
  *length = 0;
  if (view.passEndsNext) {
    view.passEndsNext = false;
    return false;
  }
  for (;;) {
    int room = kLineCapacity - static_cast<int>(*length);
    int count = read(line + *length, room);
    if (count == 0) {
      view.passEndsNext = *length > 0;
      return *length > 0;
    }
    bool cutAtLimit = count == room - 1 && line[*length + count - 1] != 0x0A && !view.LastLineIsOpen();
    *length += LeaveOutNuls(line + *length, count);
    if (!cutAtLimit || *length >= static_cast<size_t>(kLineCapacity - 1)) return true;
  }
}

}  // namespace

const char* NextLineText(FileView& view, const char* path, size_t* textLength) {
  size_t ignored;
  size_t* converted = textLength != nullptr ? textLength : &ignored;
  size_t length;
  switch (g_textEncoding) {
    case TextEncoding::Utf16LeBom:
    case TextEncoding::Utf16BeBom: {
      bool bigEndian = g_textEncoding == TextEncoding::Utf16BeBom;
      auto read = [&view, path, bigEndian](uint16_t* at, int room) { return view.ReadLineW(path, at, room, bigEndian); };
      if (!ReadLineWithoutNuls(view, view.lineUnits, read, &length)) return nullptr;
      return Utf16LineToConsole(view.lineUnits, length, converted);
    }
    default: {
      auto read = [&view, path](char* at, int room) { return view.ReadLineA(path, at, room); };
      if (!ReadLineWithoutNuls(view, view.lineBytes, read, &length)) return nullptr;
      switch (LineEncoding(view.lineBytes, length, view.lineDecision)) {
        case TextEncoding::Utf8Bom:
        case TextEncoding::Utf8:
          return Utf8LineToConsole(view.lineBytes, length, converted);
        default:
          return AnsiLineToConsole(view.lineBytes, length, converted);  // code page 932, or plain ASCII so far
      }
    }
  }
}

namespace {

// "[%04d]" and the text. The prefix is formatted by hand: printf's cost
// showed in listings of millions of lines.
void PrintLine(Console& console, int32_t number, const char* text, size_t textLength) {
  char prefix[32];
  int length;
  if (number >= 0) {
    char digits[12];
    int count = 0;
    for (uint32_t rest = static_cast<uint32_t>(number); rest != 0 || count < 4; rest /= 10) {
      digits[count++] = static_cast<char>('0' + rest % 10);
    }
    length = 0;
    prefix[length++] = '[';
    while (count > 0) prefix[length++] = digits[--count];
    prefix[length++] = ']';
  } else {
    length = snprintf(prefix, sizeof prefix, "[%04d]", static_cast<int>(number));
  }
  console.Write(prefix, static_cast<size_t>(length));
  // The line end (LF or CR LF) is no text: the console gets a line feed of
  // its own, and a carriage return inside the line reaches it as text, which
  // it shows without moving the cursor. A last line without its line end,
  // or a piece of an overlong line, ends its row all the same.
  size_t shown = textLength;
  if (shown > 0 && text[shown - 1] == '\n') --shown;
  if (shown > 0 && text[shown - 1] == '\r') --shown;
  if (shown + 1 == textLength && text[shown] == '\n') {
    // A bare line feed is already the line end the console gets: one write.
    console.Write(text, textLength);
    return;
  }
  console.Write(text, shown);
  console.Write("\n", 1);
}

}  // namespace

void ListAllLines(MonitorState& state, Console& console, bool showOpen) {
  state.lineCounter = 0;
  FileView& view = *state.view;
  state.runs.Forget(view);
  CountingKey counting;
  ListingTail tail(state.shownLines);
  TableFiller filler;
  char digest[kLineDigestSize + 1];
  size_t length;
  while (const char* text = NextLineText(view, state.path, &length)) {
    state.runs.CountLine(view);
    ++state.lineCounter;
    const char* key = counting.Next();
    if (!showOpen && view.LastLineIsOpen()) {
      state.heldLine = state.lineCounter;
      continue;
    }
    DigestLine(text, length, digest);
    filler.Insert(key, digest);
    if (tail.Hold(state.lineCounter, text, length) == 0) PrintLine(console, state.lineCounter, text, length);
  }
  tail.Release([&](int32_t number, const std::string& text) { PrintLine(console, number, text.data(), text.size()); });
  filler.Finish();
  state.runs.EndPass(view);
}

namespace {

// Takes the file's status into the current one (all zeros when it cannot be
// reached). 1 when the outcome differs from the last look, else 0.
int LookAtFile(MonitorState& state, FileSystem& files) {
  const FileStatus before = state.current;
  const bool wasFound = state.fileFound;
  state.fileFound = files.Status(state.path, &state.current) == 0;
  if (!state.fileFound) state.current = FileStatus();
  // Anything but a regular file it may read under the name is as good as
  // missing; its kind is kept, so that another kind is another outcome.
  if (state.fileFound && state.current.kind != FileStatus::kRegular) {
    const FileStatus::Kind kind = state.current.kind;
    state.current = FileStatus();
    state.current.kind = kind;
    state.fileFound = false;
  }
  return state.fileFound != wasFound || state.current != before ? 1 : 0;
}

// Whether the file now under the name begins as the shown one did: its
// first line as recorded under line 1 and, where a run was recorded, the
// bytes of the first run. Read through the pass's view, left closed.
bool BeginsAsShown(MonitorState& state) {
  const char* first = TableFind("1");
  if (first == nullptr || state.heldLine == 1) return false;
  FileView& view = *state.view;
  const TextEncoding decision = view.lineDecision;
  bool same = true;
  if (state.runs.Count() > 0) {
    same = view.SkipRunIfSame(state.path, state.runs.At(0).length, state.runs.At(0).digest) == 1;
    view.Close();
  }
  if (same) {
    view.lineDecision = TextEncoding::None;
    size_t length;
    const char* text = NextLineText(view, state.path, &length);
    char digest[kLineDigestSize + 1];
    if (text != nullptr) DigestLine(text, length, digest);
    same = text != nullptr && !view.LastLineIsOpen() && SameDigest(first, digest);
    view.Close();
  }
  view.passEndsNext = false;
  view.lineDecision = decision;
  return same;
}

// Brings the screen up to date with the status of the last look. A last
// line without its line end is held back unless `settled`: the file has
// stayed as it is long enough for it to be shown as it stands.
void JudgeStatus(MonitorState& state, Console& console, bool settled) {
  if (!state.fileFound) {
    static const char* const kWhy[] = {nullptr, "[%s]はフォルダーです\n", "[%s]は通常のファイルではありません\n",
                                       "[%s]はアクセス権がありません\n"};
    if (kWhy[state.current.kind] != nullptr) WriteMonitorError(kWhy[state.current.kind], state.path);
    state.saved = FileStatus();
    Forget(state, console);
    return;
  }
  if (state.current.size == 0) {
    Forget(state, console);
    return;
  }
  // Another file under the name: the same document saved anew (an editor,
  // sed -i, a temporary renamed over it) begins as the shown one did and is
  // compared with it; any other (rotation by rename) has nothing shown that
  // belongs to it, however many lines it has.
  if (state.listedCount != 0 && state.saved.fileId != 0 && state.current.fileId != state.saved.fileId &&
      !BeginsAsShown(state)) {
    Forget(state, console);
  }
  // After a pass that lost lines a full listing follows at once, with the
  // same status.
  bool again = state.current != state.saved || (settled && state.heldLine != 0) || state.restartRun >= 0;
  while (again) {
    // Nothing shown since the last clear but a held first line: the file is
    // still listed in full, not highlighted.
    bool nothingShown = state.listedCount == 0 || (state.listedCount == 1 && state.heldLine == 1);
    state.heldLine = 0;
    if (nothingShown) {
      FullListing(state, console, settled);
    } else {
      DifferencePass(state, console, settled);
    }
    again = state.previousCount > state.listedCount;
    if (again) {
      Forget(state, console);
      continue;
    }
    state.previousCount = state.listedCount;
    state.saved = state.current;
  }
  console.Flush();
}

// Whether judging the status of the last look makes a pass.
bool PassFollows(const MonitorState& state, bool settled) {
  return state.fileFound && state.current.size != 0 &&
         (state.current != state.saved || (settled && state.heldLine != 0));
}

// Whether the last look found the file shorter than when what is shown of
// it was judged, under the same identity (emptied included).
bool Shrunk(const MonitorState& state) {
  return state.listedCount != 0 && state.fileFound && state.saved.fileId == state.current.fileId &&
         state.current.size < state.saved.size;
}

// After a look found the file shorter: waits, the watcher staying armed and
// looking again after each wake-up, until the file has stayed as it is for
// kShrinkQuietMs, or kSettleMs at most. 0, or kWaitFailed.
int WaitForQuiet(MonitorState& state, const MonitorPlatform& platform) {
  ChangeWatcher& watcher = *platform.watcher;
  const int64_t latest = watcher.NowMs() + kSettleMs;
  for (int64_t left; (left = std::min(state.changedAtMs + kShrinkQuietMs, latest) - watcher.NowMs()) > 0;) {
    int woke = watcher.Wait(static_cast<int>(left));
    if (woke == ChangeWatcher::kWaitFailed) return woke;
    if (woke == ChangeWatcher::kFolderGone) state.folderArmed = false;
    if (LookAtFile(state, *platform.files) != 0) state.changedAtMs = watcher.NowMs();
  }
  return 0;
}

// Waits until the next pass may start, the watcher staying armed:
// ChangeWatcher::kWoke when a change was notified meanwhile (or the folder
// went, which the next wake-up of the cycle sees to), kTimedOut when none
// was, or kWaitFailed.
int WaitOutHoldOff(MonitorState& state, ChangeWatcher& watcher) {
  int result = ChangeWatcher::kTimedOut;
  for (int64_t left; (left = state.nextPassMs - watcher.NowMs()) > 0;) {
    int woke = watcher.Wait(static_cast<int>(std::min<int64_t>(left, kLookIntervalMs)));
    if (woke == ChangeWatcher::kFolderGone) state.folderArmed = false;
    if (woke == ChangeWatcher::kWoke || woke == ChangeWatcher::kFolderGone) {
      result = ChangeWatcher::kWoke;
    } else if (woke != ChangeWatcher::kTimedOut) {
      return woke;
    }
  }
  return result;
}

// One look at the file after a wait (`woke`: a notification came), judged
// when its status differs from the last look's, after every notification,
// and once a held-back last line has stayed as it is for kSettleMs. A pass
// first waits out the hold-off after the last one and looks again: it reads
// the file under the status of that look. 0, or the result of a wait that
// failed.
int LookAndJudge(MonitorState& state, const MonitorPlatform& platform, bool woke) {
  ChangeWatcher& watcher = *platform.watcher;
  bool changed = LookAtFile(state, *platform.files) != 0;
  int64_t now = watcher.NowMs();
  if (changed) state.changedAtMs = now;
  bool settled = !changed && state.heldLine != 0 && now - state.changedAtMs >= kSettleMs;
  if (!changed && !woke && !settled) return 0;
  // A FIFO's writer wakes the folder's watch at every write: what is not a
  // regular file is cleared and named once, when it is first found.
  if (!changed && state.current.kind != FileStatus::kRegular) return 0;
  // A truncate-and-write seen half-way is judged once it is done.
  if (changed && Shrunk(state)) {
    if (WaitForQuiet(state, platform) != 0) return ChangeWatcher::kWaitFailed;
    settled = false;
  }
  if (PassFollows(state, settled) && state.nextPassMs > now) {
    int held = WaitOutHoldOff(state, watcher);
    if (held != ChangeWatcher::kWoke && held != ChangeWatcher::kTimedOut) return held;
    if (LookAtFile(state, *platform.files) != 0) {
      state.changedAtMs = watcher.NowMs();
      settled = false;
    }
  }
  // Timed in processor time: on a busy machine a pass takes longer while
  // costing no more, and its share of a core is what the wait bounds.
  int64_t startUs = watcher.CpuUs();
  JudgeStatus(state, *platform.console, settled);
  int64_t holdOffMs = kHoldOffFactor * (watcher.CpuUs() - startUs) / 1000;
  state.nextPassMs = std::max(state.nextPassMs, watcher.NowMs() + std::min(holdOffMs, kLongestHoldOffMs));
  return 0;
}

// Between the waits: verifies runs of a large file that an append pass
// trusted, from where the last slice stopped, for as long as the saved-up
// processor time allows, until a whole sweep has followed the last pass
// that trusted runs unread (any other change makes a pass that verifies
// every run). A run that differs
// starts a difference pass from it, judged as any pass.
void SweepRuns(MonitorState& state, const MonitorPlatform& platform) {
  ChangeWatcher& watcher = *platform.watcher;
  int64_t now = watcher.NowMs();
  const int64_t bytesPerS = std::max(g_sweepLeastBytesPerS, state.saved.size / kWholeSweepS);
  if (state.sweptAtMs >= 0) {
    int64_t passed = now - state.sweptAtMs;
    state.sweepCreditUs = std::min(state.sweepCreditUs + passed * g_sweepUsPerMs, kMostSweepCreditUs);
    state.sweepCreditBytes = std::min(state.sweepCreditBytes + passed * bytesPerS / 1000, kMostSweepCreditBytes);
  }
  state.sweptAtMs = now;
  size_t count = state.runs.Count();
  if (!state.fileFound || state.current != state.saved || state.saved.size < g_wholeVerifyLimit ||
      state.listedCount == 0 || count == 0 || state.sweepLeft == 0 || state.sweepCreditUs <= 0 ||
      state.sweepCreditBytes < std::min(bytesPerS / kSweepSlicesPerS, kMostSweepCreditBytes)) {
    return;
  }
  FileSystem& files = *platform.files;
  FileHandle file = files.OpenShared(state.path);
  if (file == kNoFile) return;
  if (state.sweepBuffer.empty()) state.sweepBuffer.resize(262144);
  if (state.sweepRun >= count) state.sweepRun = 0;
  const size_t from = state.sweepRun;
  const int64_t startUs = watcher.CpuUs();
  bool differs = false;
  do {
    const LineRun& run = state.runs.At(state.sweepRun);
    differs = !SameBytesAt(files, file, run.offset, run.length, run.digest, state.sweepBuffer.data(),
                           state.sweepBuffer.size());
    if (differs) break;
    state.sweepCreditBytes -= run.length;
    state.sweepRun = (state.sweepRun + 1) % count;
    --state.sweepLeft;
  } while (state.sweepLeft > 0 && state.sweepRun != from && state.sweepCreditBytes > 0 &&
           watcher.CpuUs() - startUs < state.sweepCreditUs);
  state.sweepCreditUs -= watcher.CpuUs() - startUs;
  files.Close(file);
  if (!differs) return;
  // A file changed since the last look belongs to the next look, which
  // judges it as it then is.
  FileStatus status;
  if (files.Status(state.path, &status) != 0 || status != state.current) return;
  state.restartRun = static_cast<int64_t>(state.sweepRun);
  JudgeStatus(state, *platform.console, state.heldLine == 0);
}

}  // namespace

namespace {

// Arms the change wait on the folder now under the watched folder's name.
// 1 when armed. 0 when it is not there: the user is told once that it is
// awaited and the screen is cleared as for a missing file; or when it is
// there but cannot be watched: told once, the cycle then only looks.
int ArmOnFolder(MonitorState& state, const MonitorPlatform& platform) {
  ChangeWatcher& watcher = *platform.watcher;
  watcher.Stop();
  state.folderArmed = false;
  FileStatus folder;
  bool there = platform.files->Status(state.watchedFolder, &folder) == 0 && folder.kind == FileStatus::kFolder;
  if (there && watcher.Start(state.watchedFolder, state.path) == 0) {
    state.folderArmed = true;
    state.folderId = folder.fileId;
    state.folderTold = 0;
    return 1;
  }
  int told = there ? 2 : 1;
  if (state.folderTold != told) {
    state.folderTold = told;
    WriteMonitorError(there ? "[%s]は監視できません\n" : "[%s]のフォルダーを待っています\n", state.watchedFolder);
  }
  if (!there && state.fileFound) {
    state.fileFound = false;
    state.current = FileStatus();
    state.saved = FileStatus();
    Forget(state, *platform.console);
  }
  return 0;
}

// Whether the folder under the watched name is the one the wait is armed on
// (a re-pointed symbolic link or a folder made anew is another).
bool FolderStillWatched(const MonitorState& state, FileSystem& files) {
  FileStatus folder;
  return state.folderArmed && files.Status(state.watchedFolder, &folder) == 0 &&
         folder.kind == FileStatus::kFolder && folder.fileId == state.folderId;
}

}  // namespace

void SetWholeVerifyLimit(int64_t bytes) { g_wholeVerifyLimit = bytes >= 0 ? bytes : kDefaultWholeVerifyLimit; }

void SetSweepRate(int64_t microsecondsPerMs, int64_t leastBytesPerS) {
  g_sweepUsPerMs = microsecondsPerMs >= 0 ? microsecondsPerMs : kSweepUsPerMs;
  g_sweepLeastBytesPerS = leastBytesPerS > 0 ? leastBytesPerS : kSweepLeastBytesPerS;
}

int RunChangeCycle(MonitorState& state, const MonitorPlatform& platform, long maxWakeups) {
  ChangeWatcher& watcher = *platform.watcher;
  // Armed once while the folder stays: changes made during a pass wake the
  // next wait.
  ArmOnFolder(state, platform);
  // A change made during the first listing, before the watcher was armed,
  // is judged like one found by a quiet look.
  state.changedAtMs = watcher.NowMs();
  int ended = LookAndJudge(state, platform, false);
  state.sweptAtMs = watcher.NowMs();
  for (long wakeups = 0; ended == 0; ++wakeups) {
    if (maxWakeups >= 0 && wakeups >= maxWakeups) {
      watcher.Stop();
      return 2;
    }
    int woke = watcher.Wait(kLookIntervalMs);
    if (woke == ChangeWatcher::kWaitFailed) {
      ended = woke;
      break;
    }
    // The folder looked for by its name at each look: armed again as soon
    // as it is there, and what it holds then is looked at as a change.
    if (woke == ChangeWatcher::kFolderGone) state.folderArmed = false;
    if (!FolderStillWatched(state, *platform.files)) {
      woke = ArmOnFolder(state, platform) == 1 ? ChangeWatcher::kWoke : ChangeWatcher::kTimedOut;
    }
    // Without a notification only a different status is judged, so a
    // missing or empty file is not cleared twice a second.
    ended = LookAndJudge(state, platform, woke == ChangeWatcher::kWoke);
    if (ended == 0) SweepRuns(state, platform);
  }
  watcher.Stop();
  WriteMonitorError("[%s]の監視が中断された\n", state.watchedFolder);
  return 0;
}
