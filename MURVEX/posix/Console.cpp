// The terminal as the monitor's console: UTF-8 text with its control
// characters shown visibly, colours and clears as ANSI sequences, all
// through one buffer.
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>

#include "PosixPlatform.h"

namespace {

void WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    ssize_t done = write(fd, data, length);
    if (done < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += done;
    length -= static_cast<size_t>(done);
  }
}

bool IsControl(unsigned char byte) {
  return (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || byte == 0x7F;
}

// Printable ASCII, tab, carriage return and line feed only: such text needs
// no control-byte escapes. Most log lines are like this.
bool IsPlainAscii(const char* text, size_t length) {
  size_t i = 0;
#ifdef __SSE2__
  const __m128i belowSpace = _mm_set1_epi8(0x1F);
  const __m128i delete_ = _mm_set1_epi8(0x7F);
  for (; i + 16 <= length; i += 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    // Signed compares: bytes from 0x80 up are negative and fail the first.
    __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(bytes, belowSpace), _mm_cmplt_epi8(bytes, delete_));
    if (_mm_movemask_epi8(printable) != 0xFFFF) break;
  }
#endif
  for (; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 || byte > 0x7E) && byte != '\t' && byte != '\r' && byte != '\n') return false;
  }
  return true;
}

}  // namespace

TerminalConsole::TerminalConsole(int outputFd, int errorFd)
    : outputFd_(outputFd), errorFd_(errorFd) {}

TerminalConsole::~TerminalConsole() { Flush(); }

// Control characters shown as cat -v shows them: C0 and DEL as ^[ and ^?,
// C1 (U+0080 to U+009F, C2 80 to C2 9F) as M-^[, so none reaches the
// terminal as itself.
void TerminalConsole::AppendEscaped(const char* text, size_t length) {
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    bool c1 = byte == 0xC2 && i + 1 < length && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (!IsControl(byte) && !c1) continue;
    buffer_.append(text + start, i - start);
    if (c1) {
      buffer_ += "M-";
      byte = static_cast<unsigned char>(text[++i]) - 0x80;
    }
    buffer_ += '^';
    buffer_ += byte == 0x7F ? '?' : static_cast<char>(byte + 0x40);
    start = i + 1;
  }
  buffer_.append(text + start, length - start);
}

void TerminalConsole::Write(const char* text, size_t length) {
  if (IsPlainAscii(text, length)) {
    buffer_.append(text, length);
  } else {
    AppendEscaped(text, length);
  }
  if (buffer_.size() >= 65536) Flush();
}

void TerminalConsole::SetColour(int attribute) {
  switch (attribute) {
    case kColourListing:
      buffer_ += "\x1b[0;92;40m";
      break;
    case kColourChanged:
      buffer_ += "\x1b[0;97;45m";
      break;
    default:
      buffer_ += "\x1b[0;97;40m";
      break;
  }
  Flush();
}

void TerminalConsole::SetTitle(const char* title) {
  buffer_ += "\x1b]0;";
  // A control byte would end the sequence early.
  for (const char* at = title; *at != '\0'; ++at) {
    if (!IsControl(static_cast<unsigned char>(*at)) && *at != '\n' && *at != '\r') buffer_ += *at;
  }
  buffer_ += '\x07';
  Flush();
}

void TerminalConsole::Clear() {
  buffer_ += "\x1b[H\x1b[2J\x1b[3J";
  Flush();
}

void TerminalConsole::Flush() {
  WriteAll(outputFd_, buffer_.data(), buffer_.size());
  buffer_.clear();
}

// Messages come in UTF-8 with the path as given.
void TerminalConsole::WriteError(const char* text) {
  Flush();
  WriteAll(errorFd_, text, strlen(text));
}
