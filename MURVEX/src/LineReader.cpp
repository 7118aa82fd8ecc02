#include "LineReader.h"

#include <cstdlib>
#include <cstring>

#include "AnsiConversion.h"
#include "MonitorError.h"

namespace {

// Read requests of 256 KiB, the buffer reused from refill to refill: it
// stays in the processor's cache between the system's copy and the line
// scan, and a pass costs no fresh memory. A buffer as large as the file
// (up to 128 MB) doubled both the time of a pass and the monitor's peak
// memory on large files.
constexpr size_t kDefaultBufferLimit = 262144;

size_t g_bufferLimit = kDefaultBufferLimit;
bool g_forceDirect = false;

FileSystem& Files() { return *CurrentPlatform().files; }

}  // namespace

int FileView::OpenDirectPath(const char* path) {
  size_t alignment = 1;
  FileHandle file = Files().OpenDirect(path, &alignment);
  if (file == kNoFile) {
    WriteMonitorError("[%s]はアクセス権がありません\n", path);
    return -1;
  }
  if (alignment == 0) alignment = 1;
  // One read request's worth, rounded down to whole blocks (one block at
  // least); no smaller buffer would be granted where this one is not.
  size_t size = g_bufferLimit < kDefaultBufferLimit ? g_bufferLimit : kDefaultBufferLimit;
  size_t request = size / alignment * alignment;
  if (request == 0) request = alignment;
  if (void* block = Files().AllocateAligned(request)) {
    direct_ = file;
    buffer_ = static_cast<unsigned char*>(block);
    bufferSize_ = request;
    return 0;
  }
  Files().Close(file);
  WriteMonitorError("システムリソースが不足しています\n", nullptr);
  return -1;
}

// Reads up to size bytes of the view into the buffer at `into`: the count;
// 0 at the view's end, where the file shrank, or on a failed read, and the
// pass ends there. Bytes written since the pass opened belong to the next
// pass: taking them would split a line that was being written at the moment
// this pass met its end.
int64_t FileView::ReadMore(unsigned char* into, size_t size) {
  // Every line of the last read goes to the screen before a read that may
  // block: on a slow disk a long listing shows its progress, read by read.
  if (Console* console = CurrentPlatform().console) console->Flush();
  FileHandle file = shared_ != kNoFile ? shared_ : direct_;
  int64_t got = viewLeft_ > 0 ? Files().ReadAt(file, consumed_, into, size) : 0;
  got = got <= 0 ? 0 : got < viewLeft_ ? got : viewLeft_;
  viewLeft_ -= got;
  consumed_ += got;
  if (got == 0) atEnd_ = true;
  return got;
}

// Fills the buffer from the view; false when nothing came.
bool FileView::Refill() {
  // The rest of the buffer joins the run digest before it is overwritten.
  if (runFrom_ != nullptr) runDigest_.Add(runFrom_, static_cast<size_t>(end_ - runFrom_));
  int64_t got = ReadMore(buffer_, bufferSize_);
  runFrom_ = got > 0 ? buffer_ : nullptr;
  if (got == 0) {
    cursor_ = nullptr;
    end_ = nullptr;
    return false;
  }
  cursor_ = buffer_;
  end_ = buffer_ + got;
  return true;
}

// The part both readers share: opening on the first call of a pass and
// closing once the view has been delivered.
bool FileView::BeginCall(const char* path, int capacity) {
  if (closed_) {
    // A line needs room for one byte and its terminator.
    if (capacity < 2) return false;
    if (Open(path) != 0) return false;
  }
  lastOpen_ = false;
  if (bytesLeft_ == 0 || (atEnd_ && cursor_ == nullptr)) {
    Close();
    return false;
  }
  return true;
}

FileView::~FileView() {
  Close();
  free(kept_);
}

int FileView::Open(const char* path, int64_t from) {
  Close();
  bytesLeft_ = 0;
  cursor_ = nullptr;
  end_ = nullptr;
  carry_ = -1;
  viewLeft_ = 0;
  atEnd_ = false;
  lastOpen_ = false;
  consumed_ = 0;
  runFrom_ = nullptr;
  runDigest_.Begin();
  FileStatus status;
  if (CurrentPlatform().files == nullptr || Files().Status(path, &status) != 0) {
    WriteMonitorError("[%s]は存在しません\n", path);
    return -1;
  }
  // A file that shrank below the start has nothing left for this pass.
  int64_t left = status.size > from ? status.size - from : 0;
  bytesLeft_ = left;
  viewLeft_ = left;
  consumed_ = from;
  if (status.size <= 0) return -1;
  size_t size = static_cast<uint64_t>(status.size) < g_bufferLimit ? static_cast<size_t>(status.size) : g_bufferLimit;
  // The heap buffer is kept from pass to pass: a pass after an append reads
  // a few kilobytes, and fresh pages for each would cost it more than that.
  if (kept_ != nullptr && (keptSize_ < size || g_forceDirect)) {
    free(kept_);
    kept_ = nullptr;
  }
  if (kept_ == nullptr && !g_forceDirect) {
    kept_ = static_cast<unsigned char*>(malloc(size));
    keptSize_ = size;
  }
  void* heap = kept_;
  if (heap == nullptr && from != 0) return -2;
  if (heap == nullptr) {
    closed_ = OpenDirectPath(path) != 0;
    return closed_ ? -1 : 0;
  }
  FileHandle file = Files().OpenShared(path);
  if (file == kNoFile) {
    WriteOpenError(path);
    return -1;
  }
  shared_ = file;
  buffer_ = static_cast<unsigned char*>(heap);
  bufferSize_ = size;
  closed_ = false;
  return 0;
}

void FileView::Close() {
  // The bytes delivered since the last refill join the run digest, which
  // then covers every byte up to EndOffset.
  if (runFrom_ != nullptr && end_ != nullptr) runDigest_.Add(runFrom_, static_cast<size_t>(end_ - runFrom_));
  runFrom_ = nullptr;
  if (shared_ != kNoFile) {
    Files().Close(shared_);
    shared_ = kNoFile;
  } else if (direct_ != kNoFile) {
    Files().Close(direct_);
    direct_ = kNoFile;
    Files().FreeAligned(buffer_, bufferSize_);
  }
  buffer_ = nullptr;
  closed_ = true;
}

bool FileView::HoldsRun(int64_t offset, int64_t length, uint64_t digest) {
  if (closed_ || shared_ == kNoFile || cursor_ != nullptr) return false;
  return SameBytesAt(Files(), shared_, offset, length, digest, buffer_, bufferSize_);
}

bool FileView::ResumesRun(int64_t offset, uint64_t digest) {
  if (closed_ || shared_ == kNoFile || cursor_ != nullptr || offset > consumed_) return false;
  runDigest_.Begin();
  for (int64_t at = offset; at < consumed_;) {
    size_t want = static_cast<uint64_t>(consumed_ - at) < bufferSize_ ? static_cast<size_t>(consumed_ - at) : bufferSize_;
    int64_t got = Files().ReadAt(shared_, at, buffer_, want);
    if (got <= 0) return false;
    runDigest_.Add(buffer_, static_cast<size_t>(got));
    at += got;
  }
  return runDigest_.Value() == digest;
}

bool SameBytesAt(FileSystem& files, FileHandle file, int64_t offset, int64_t length, uint64_t digest,
                 unsigned char* scratch, size_t size) {
  if (length <= 0 || size == 0) return false;
  // A run that fits is digested in one call, as it was recorded.
  if (static_cast<uint64_t>(length) <= size) {
    size_t wanted = static_cast<size_t>(length);
    size_t held = 0;
    while (held < wanted) {
      int64_t got = files.ReadAt(file, offset + static_cast<int64_t>(held), scratch + held, wanted - held);
      if (got <= 0) return false;
      held += static_cast<size_t>(got);
    }
    return DigestBytes(scratch, wanted) == digest;
  }
  BytesDigest pieces;
  for (int64_t at = 0; at < length;) {
    size_t want = static_cast<uint64_t>(length - at) < size ? static_cast<size_t>(length - at) : size;
    int64_t got = files.ReadAt(file, offset + at, scratch, want);
    if (got <= 0) return false;
    pieces.Add(scratch, static_cast<size_t>(got));
    at += got;
  }
  return pieces.Value() == digest;
}

int FileView::ReadLineA(const char* path, char* line, int capacity) {
  if (!BeginCall(path, capacity)) return 0;
  int count = 0;
  line[0] = '\0';
  bool complete = false;
  while (!complete) {
    if (cursor_ == nullptr && !Refill()) {
      if (count == 0) {
        Close();
        return 0;
      }
      lastOpen_ = true;  // the last line, without a line feed
      break;
    }
    // Up to the line feed or the piece limit (capacity - 1 bytes), in one
    // search and one copy rather than byte by byte: this is the hot loop of
    // every pass.
    unsigned char* at = cursor_;
    size_t room = capacity - 1 - count > 0 ? static_cast<size_t>(capacity - 1 - count) : 1;
    size_t available = static_cast<size_t>(end_ - at);
    size_t scan = available < room ? available : room;
    const void* lineFeed = std::memchr(at, '\n', scan);
    size_t take = lineFeed != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(lineFeed) - at) + 1 : scan;
    std::memcpy(line + count, at, take);
    count += static_cast<int>(take);
    at += take;
    complete = lineFeed != nullptr || take == room;
    cursor_ = complete ? at : nullptr;
  }
  bytesLeft_ -= count;
  line[count] = '\0';
  return count;
}

int FileView::ReadLineW(const char* path, uint16_t* line, int capacity, bool bigEndian) {
  if (!BeginCall(path, capacity)) return 0;
  int count = 0;
  line[0] = 0;
  bool complete = false;
  while (!complete) {
    if (cursor_ == nullptr && !Refill()) {
      // A lone byte at the very end makes no unit and is dropped.
      carry_ = -1;
      if (count == 0) {
        Close();
        return 0;
      }
      lastOpen_ = true;
      break;
    }
    unsigned char* at = cursor_;
    while (!complete && at < end_) {
      uint16_t unit;
      if (carry_ >= 0) {
        unit = static_cast<uint16_t>(carry_ | *at++ << 8);
        carry_ = -1;
      } else if (end_ - at >= 2) {
        unit = static_cast<uint16_t>(at[0] | at[1] << 8);
        at += 2;
      } else {
        // Half a unit: keep it until the next refill brings the other half.
        carry_ = *at++;
        break;
      }
      if (bigEndian) unit = static_cast<uint16_t>(unit << 8 | unit >> 8);
      line[count] = unit;
      complete = unit == 0x000A || count >= capacity - 2;
      ++count;
    }
    cursor_ = complete ? at : nullptr;
  }
  bytesLeft_ -= 2 * static_cast<int64_t>(count);
  line[count] = 0;
  return count;
}

int64_t FileView::Offset() const {
  if (closed_) return -1;
  return consumed_ - (cursor_ != nullptr ? end_ - cursor_ : 0);
}

uint64_t FileView::TakeRunDigest() {
  if (cursor_ != nullptr && runFrom_ != nullptr) runDigest_.Add(runFrom_, static_cast<size_t>(cursor_ - runFrom_));
  uint64_t digest = runDigest_.Value();
  runDigest_.Begin();
  runFrom_ = cursor_;
  return digest;
}

int FileView::SkipRunIfSame(const char* path, int64_t length, uint64_t digest) {
  if (closed_ && Open(path) != 0) return -1;
  // The run must lie whole in the buffer; the direct path reads only whole
  // aligned blocks, so it never moves what it holds.
  if (shared_ == kNoFile || length <= 0 || static_cast<uint64_t>(length) > bufferSize_) return 0;
  size_t wanted = static_cast<size_t>(length);
  size_t held = cursor_ != nullptr ? static_cast<size_t>(end_ - cursor_) : 0;
  if (held < wanted) {
    // What is left moves to the front and the rest of the buffer is read.
    if (held > 0) std::memmove(buffer_, cursor_, held);
    while (held < wanted) {
      int64_t got = ReadMore(buffer_ + held, bufferSize_ - held);
      if (got == 0) break;
      held += static_cast<size_t>(got);
    }
    cursor_ = held > 0 ? buffer_ : nullptr;
    end_ = held > 0 ? buffer_ + held : nullptr;
    runFrom_ = cursor_;
    if (held < wanted) return 0;
  }
  if (DigestBytes(cursor_, wanted) != digest) return 0;
  cursor_ += wanted;
  bytesLeft_ -= length;
  // The next run's digest starts after this one.
  runDigest_.Begin();
  runFrom_ = cursor_;
  return 1;
}

FileView& DefaultFileView() {
  static FileView view;
  return view;
}

int ReadLineA(const char* path, char* line, int capacity) { return DefaultFileView().ReadLineA(path, line, capacity); }

int ReadLineW(const char* path, uint16_t* line, int capacity) { return DefaultFileView().ReadLineW(path, line, capacity); }

int LastLineIsOpen() { return DefaultFileView().LastLineIsOpen(); }

void SetLineReaderBufferLimit(size_t bytes) { g_bufferLimit = bytes > 0 ? bytes : 1; }

void SetLineReaderForceDirect(bool force) { g_forceDirect = force; }
