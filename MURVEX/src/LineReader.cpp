#include "LineReader.h"

#include <cstdlib>
#include <cstring>

#include "AnsiConversion.h"
#include "LineDigest.h"
#include "MonitorError.h"
#include "MonitorPlatform.h"

namespace {

// Read requests of 256 KiB, the buffer reused from refill to refill: it
// stays in the processor's cache between the system's copy and the line
// scan, and a pass costs no fresh memory. A buffer as large as the file
// (up to 128 MB) doubled both the time of a pass and the monitor's peak
// memory on large files.
constexpr size_t kDefaultBufferLimit = 262144;
constexpr size_t kDirectStep = 1000000;

// One process-wide reader: one file is read at a time.
struct LineReaderState {
  FileHandle direct;      // direct path; kNoFile while the heap path is in use
  FileHandle shared;      // heap path; kNoFile otherwise
  int64_t bytesLeft;      // size at open less every byte delivered this pass
  unsigned char* buffer;
  size_t bufferSize;      // every read request asks for exactly this many bytes
  unsigned char* cursor;  // null: the buffer must be refilled before scanning
  unsigned char* end;     // one past the last byte the last refill delivered
  int64_t lastRead;
  int carry;              // ReadLineW: low byte of a unit split by a refill, or -1
  int64_t viewLeft;       // bytes of the pass's view not yet read into the buffer
  bool atEnd;             // a refill found the view's end: the pass ends there
  bool lastOpen;          // the line last returned ran into that end without its line end
  int64_t consumed;       // bytes of the view read into the buffer this pass
  unsigned char* runFrom; // first byte not yet in the run digest; null: the next refill's first
};

constexpr LineReaderState kClosedReader = {kNoFile, kNoFile, 0, nullptr, 0, nullptr, nullptr, 0, -1, 0, false, false, 0, nullptr};
LineReaderState g_reader = kClosedReader;
bool g_isClosed = true;
size_t g_bufferLimit = kDefaultBufferLimit;
bool g_forceDirect = false;

FileSystem& Files() { return *CurrentPlatform().files; }

int OpenDirectPath(const char* path) {
  size_t alignment = 1;
  FileHandle file = Files().OpenDirect(path, &alignment);
  if (file == kNoFile) {
    WriteMonitorError("[%s]はアクセス権がありません\n", path);
    return -1;
  }
  if (alignment == 0) alignment = 1;
  auto aligned = [alignment](size_t size) { return size / alignment * alignment; };
  // The largest locked buffer the system grants, trying ever smaller sizes.
  size_t size = g_bufferLimit < kDefaultBufferLimit ? g_bufferLimit : kDefaultBufferLimit;
  if (aligned(size) == 0) size = alignment;
  for (;;) {
    size_t request = aligned(size);
    if (request == 0) break;
    void* block = Files().AllocateAligned(request);
    if (block != nullptr) {
      g_reader.direct = file;
      g_reader.buffer = static_cast<unsigned char*>(block);
      g_reader.bufferSize = request;
      return 0;
    }
    if (size <= kDirectStep) break;
    size -= kDirectStep;
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
int64_t ReadMore(unsigned char* into, size_t size) {
  // Every line of the last read goes to the screen before a read that may
  // block: on a slow disk a long listing shows its progress, read by read.
  if (Console* console = CurrentPlatform().console) console->Flush();
  FileHandle file = g_reader.shared != kNoFile ? g_reader.shared : g_reader.direct;
  int64_t got = g_reader.viewLeft > 0 ? Files().Read(file, into, size) : 0;
  got = got <= 0 ? 0 : got < g_reader.viewLeft ? got : g_reader.viewLeft;
  g_reader.viewLeft -= got;
  g_reader.consumed += got;
  if (got == 0) g_reader.atEnd = true;
  return got;
}

// Fills the buffer from the view; false when nothing came.
bool Refill() {
  // The rest of the buffer joins the run digest before it is overwritten.
  if (g_reader.runFrom != nullptr) {
    AddToBytesDigest(g_reader.runFrom, static_cast<size_t>(g_reader.end - g_reader.runFrom));
  }
  g_reader.lastRead = ReadMore(g_reader.buffer, g_reader.bufferSize);
  g_reader.runFrom = g_reader.lastRead > 0 ? g_reader.buffer : nullptr;
  if (g_reader.lastRead == 0) {
    g_reader.cursor = nullptr;
    g_reader.end = nullptr;
    return false;
  }
  g_reader.cursor = g_reader.buffer;
  g_reader.end = g_reader.buffer + g_reader.lastRead;
  return true;
}

// The part both readers share: opening on the first call of a pass and
// closing once the view has been delivered.
bool BeginCall(const char* path, int capacity) {
  if (g_isClosed) {
    // A line needs room for one byte and its terminator.
    if (capacity < 2) return false;
    if (OpenLineReader(path) != 0) return false;
    g_isClosed = false;
  }
  g_reader.lastOpen = false;
  if (g_reader.bytesLeft == 0 || (g_reader.atEnd && g_reader.cursor == nullptr)) {
    CloseLineReader();
    return false;
  }
  return true;
}

}  // namespace

int OpenLineReader(const char* path) {
  g_reader = kClosedReader;
  BeginBytesDigest();
  FileStatus status;
  if (CurrentPlatform().files == nullptr || Files().Status(path, &status) != 0) {
    WriteMonitorError("[%s]は存在しません\n", path);
    return -1;
  }
  g_reader.bytesLeft = status.size;
  g_reader.viewLeft = status.size;
  if (status.size <= 0) return -1;
  size_t size = static_cast<uint64_t>(status.size) < g_bufferLimit
                    ? static_cast<size_t>(status.size)
                    : g_bufferLimit;
  void* heap = g_forceDirect ? nullptr : malloc(size);
  if (heap == nullptr) return OpenDirectPath(path);
  FileHandle file = Files().OpenShared(path);
  if (file == kNoFile) {
    WriteMonitorError("[%s]はオープンできません\n", path);
    free(heap);
    return -1;
  }
  g_reader.shared = file;
  g_reader.buffer = static_cast<unsigned char*>(heap);
  g_reader.bufferSize = size;
  return 0;
}

void CloseLineReader() {
  if (g_isClosed) return;
  if (g_reader.shared != kNoFile) {
    Files().Close(g_reader.shared);
    g_reader.shared = kNoFile;
    free(g_reader.buffer);
  } else {
    Files().Close(g_reader.direct);
    g_reader.direct = kNoFile;
    Files().FreeAligned(g_reader.buffer, g_reader.bufferSize);
  }
  g_reader.buffer = nullptr;
  g_isClosed = true;
}

int ReadLineA(const char* path, char* line, int capacity) {
  if (!BeginCall(path, capacity)) return 0;
  int count = 0;
  line[0] = '\0';
  bool complete = false;
  while (!complete) {
    if (g_reader.cursor == nullptr && !Refill()) {
      if (count == 0) {
        CloseLineReader();
        return 0;
      }
      g_reader.lastOpen = true;  // the last line, without a line feed
      break;
    }
    // Up to the line feed or the piece limit (capacity - 1 bytes), in one
    // search and one copy rather than byte by byte: this is the hot loop of
    // every pass.
    unsigned char* at = g_reader.cursor;
    size_t room = capacity - 1 - count > 0 ? static_cast<size_t>(capacity - 1 - count) : 1;
    size_t available = static_cast<size_t>(g_reader.end - at);
    size_t scan = available < room ? available : room;
    const void* lineFeed = std::memchr(at, '\n', scan);
    size_t take = lineFeed != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(lineFeed) - at) + 1 : scan;
    std::memcpy(line + count, at, take);
    count += static_cast<int>(take);
    at += take;
    complete = lineFeed != nullptr || take == room;
    g_reader.cursor = complete ? at : nullptr;
  }
  g_reader.bytesLeft -= count;
  line[count] = '\0';
  return count;
}

int ReadLineW(const char* path, uint16_t* line, int capacity) {
  if (!BeginCall(path, capacity)) return 0;
  int count = 0;
  line[0] = 0;
  bool complete = false;
  while (!complete) {
    if (g_reader.cursor == nullptr && !Refill()) {
      // A lone byte at the very end makes no unit and is dropped.
      g_reader.carry = -1;
      if (count == 0) {
        CloseLineReader();
        return 0;
      }
      g_reader.lastOpen = true;
      break;
    }
    unsigned char* at = g_reader.cursor;
    while (!complete && at < g_reader.end) {
      uint16_t unit;
      if (g_reader.carry >= 0) {
        unit = static_cast<uint16_t>(g_reader.carry | *at++ << 8);
        g_reader.carry = -1;
      } else if (g_reader.end - at >= 2) {
        unit = static_cast<uint16_t>(at[0] | at[1] << 8);
        at += 2;
      } else {
        // Half a unit: keep it until the next refill brings the other half.
        g_reader.carry = *at++;
        break;
      }
      line[count] = unit;
      complete = unit == 0x000A || count >= capacity - 2;
      ++count;
    }
    g_reader.cursor = complete ? at : nullptr;
  }
  g_reader.bytesLeft -= 2 * static_cast<int64_t>(count);
  line[count] = 0;
  return count;
}

int LastLineIsOpen() { return g_reader.lastOpen ? 1 : 0; }

int64_t LineReaderOffset() {
  if (g_isClosed) return -1;
  return g_reader.consumed - (g_reader.cursor != nullptr ? g_reader.end - g_reader.cursor : 0);
}

uint64_t TakeRunDigest() {
  if (g_reader.cursor != nullptr && g_reader.runFrom != nullptr) {
    AddToBytesDigest(g_reader.runFrom, static_cast<size_t>(g_reader.cursor - g_reader.runFrom));
  }
  uint64_t digest = BytesDigest();
  BeginBytesDigest();
  g_reader.runFrom = g_reader.cursor;
  return digest;
}

int SkipRunIfSame(const char* path, int64_t length, uint64_t digest) {
  if (g_isClosed) {
    if (OpenLineReader(path) != 0) return -1;
    g_isClosed = false;
  }
  // The run must lie whole in the buffer; the direct path reads only whole
  // aligned blocks, so it never moves what it holds.
  if (g_reader.shared == kNoFile || length <= 0 || static_cast<uint64_t>(length) > g_reader.bufferSize) return 0;
  size_t wanted = static_cast<size_t>(length);
  size_t held = g_reader.cursor != nullptr ? static_cast<size_t>(g_reader.end - g_reader.cursor) : 0;
  if (held < wanted) {
    // What is left moves to the front and the rest of the buffer is read.
    if (held > 0) std::memmove(g_reader.buffer, g_reader.cursor, held);
    while (held < wanted) {
      int64_t got = ReadMore(g_reader.buffer + held, g_reader.bufferSize - held);
      if (got == 0) break;
      held += static_cast<size_t>(got);
    }
    g_reader.cursor = held > 0 ? g_reader.buffer : nullptr;
    g_reader.end = held > 0 ? g_reader.buffer + held : nullptr;
    g_reader.runFrom = g_reader.cursor;
    if (held < wanted) return 0;
  }
  if (DigestBytes(g_reader.cursor, wanted) != digest) return 0;
  g_reader.cursor += wanted;
  g_reader.bytesLeft -= length;
  // The next run's digest starts after this one.
  BeginBytesDigest();
  g_reader.runFrom = g_reader.cursor;
  return 1;
}

void SetLineReaderBufferLimit(size_t bytes) { g_bufferLimit = bytes > 0 ? bytes : 1; }

void SetLineReaderForceDirect(bool force) { g_forceDirect = force; }
