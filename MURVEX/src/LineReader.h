// Hands the watched file to the monitor one line at a time. A FileView is
// the cursor of one pass: a pass is a series of calls of one view until it
// returns 0; the first call of a pass opens the file (through
// CurrentPlatform().files) and the call that finds no further line closes it
// again.
//
// A pass reads one view of the file: the bytes from where it starts (offset
// 0, or where the last pass's lines are known to end) up to the size the
// file had when the pass opened it, in order, each exactly once. It ends
// where that view ends, or earlier where a read delivers nothing (the file
// shrank); bytes written after the open belong to the next pass, so a line
// being written is never split at a momentary end of file. Concatenated, the
// results of a pass are the view's bytes (ReadLineW may drop one lone last
// byte). The last result may be a line without its line end; LastLineIsOpen
// says so, and its writer may still be writing it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LineDigest.h"
#include "MonitorPlatform.h"
#include "TextEncoding.h"

class FileView {
 public:
  FileView() = default;
  ~FileView();
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Stores the next line, its line feed included, terminated, in line (at
  // most capacity - 1 bytes: longer lines come in pieces). Returns the number
  // of bytes stored; 0 when the pass is over (the file is then closed) or the
  // file could not be opened (a message is then on standard error). A
  // capacity below 2 leaves no room for a byte and its terminator: 0,
  // nothing opened.
  int ReadLineA(const char* path, char* line, int capacity);
  // The same in 16-bit units, little-endian unless bigEndian; capacity and
  // result count units.
  int ReadLineW(const char* path, uint16_t* line, int capacity, bool bigEndian = false);

  // 1 when the line the last read returned runs up to the end of the pass's
  // view without its line end (a line feed, or a unit 0x000A): the file's
  // last line as far as it was written. 0 for a whole line or a piece of an
  // overlong one.
  int LastLineIsOpen() const { return lastOpen_ ? 1 : 0; }

  // For the runs of whole lines (RunTable.h), between the reads of a pass:
  // the offset in the file just after the last line returned (-1 once the
  // pass is over: that line ran into its end); and the keyed digest
  // (DigestBytes) of the bytes from the last take (or the pass's first byte,
  // or the last run moved over) up to that offset, which starts the next.
  int64_t Offset() const;
  uint64_t TakeRunDigest();

  // At a line start of a pass (its first call, or after a run moved over):
  // moves over the next `length` bytes when their digest is `digest`. 1 when
  // moved over; 0 when not (they differ, the file ends sooner, or they do
  // not fit one read), nothing delivered then; -1 when the file could not be
  // opened (reported).
  int SkipRunIfSame(const char* path, int64_t length, uint64_t digest);

  // Opens the file for a pass that starts at `from`, a line start: 0, or -1
  // when it cannot be opened (reported). A pass from elsewhere than offset 0
  // needs the buffered path: -2, nothing open, when only the direct path is
  // left (its reads start at aligned offsets only).
  int Open(const char* path, int64_t from = 0);
  void Close();

  // Right after Open, before the first read: whether the `length` bytes at
  // `offset` still have the digest `digest` (a run of lines of an earlier
  // pass, anywhere in the file). Reads them through the pass's handle.
  bool HoldsRun(int64_t offset, int64_t length, uint64_t digest);
  // The same for the bytes from `offset` up to where the view starts, which
  // then begin the run digest in progress (the lines after the last run,
  // read by an earlier pass and left unread by this one).
  bool ResumesRun(int64_t offset, uint64_t digest);

  // Once a pass is over: where its view ended, and the digest of the bytes
  // from the last take (or the last run moved over) up to there.
  int64_t EndOffset() const { return consumed_; }
  uint64_t RunDigestSoFar() const { return runDigest_.Value(); }

  // The rest of the pass's cursor, kept by the change cycle beside the
  // reader: the line as read (bytes or units), whether the read that would
  // have continued a line found the pass over (the next call ends it), and
  // what the lines of an Undecided file have decided (TextEncoding.h).
  static constexpr int kLineCapacity = 65535;
  char lineBytes[kLineCapacity + 1];
  uint16_t lineUnits[kLineCapacity + 1];
  bool passEndsNext = false;
  TextEncoding lineDecision = TextEncoding::None;

 private:
  int OpenDirectPath(const char* path);
  int64_t ReadMore(unsigned char* into, size_t size);
  bool Refill();
  bool BeginCall(const char* path, int capacity);

  bool closed_ = true;
  FileHandle direct_ = kNoFile;  // direct path; kNoFile while the heap path is in use
  FileHandle shared_ = kNoFile;  // heap path; kNoFile otherwise
  int64_t bytesLeft_ = 0;        // size at open less every byte delivered this pass
  unsigned char* buffer_ = nullptr;  // kept_ or the direct path's block while open
  unsigned char* kept_ = nullptr;    // the heap path's buffer, kept between passes
  size_t keptSize_ = 0;
  size_t bufferSize_ = 0;            // every read request asks for exactly this many bytes
  unsigned char* cursor_ = nullptr;  // null: the buffer must be refilled before scanning
  unsigned char* end_ = nullptr;     // one past the last byte the last refill delivered
  int carry_ = -1;                   // ReadLineW: low byte of a unit split by a refill, or -1
  int64_t viewLeft_ = 0;             // bytes of the pass's view not yet read into the buffer
  bool atEnd_ = false;               // a refill found the view's end: the pass ends there
  bool lastOpen_ = false;            // the line last returned ran into that end without its line end
  int64_t consumed_ = 0;             // bytes of the view read into the buffer this pass
  unsigned char* runFrom_ = nullptr; // first byte not yet in the run digest; null: the next refill's first
  BytesDigest runDigest_;
};

// Whether the `length` bytes at `offset` of the open file have the digest
// `digest` (DigestBytes), read through `scratch` of `size` bytes (any size
// from 1 up: a longer stretch is read and digested in pieces). False when
// the file ends sooner or a read fails.
bool SameBytesAt(FileSystem& files, FileHandle file, int64_t offset, int64_t length, uint64_t digest,
                 unsigned char* scratch, size_t size);

// The view of the named entry points below.
FileView& DefaultFileView();

// FileView::ReadLineA, ReadLineW and LastLineIsOpen over the default view.
int ReadLineA(const char* path, char* line, int capacity);
int ReadLineW(const char* path, uint16_t* line, int capacity);
int LastLineIsOpen();

// Largest read request of the heap path (262,144 bytes by default).
// Tests and fuzzers lower it so that refills happen on small files.
void SetLineReaderBufferLimit(size_t bytes);
// Test hook: make the heap buffer unavailable so the direct path is taken.
void SetLineReaderForceDirect(bool force);
