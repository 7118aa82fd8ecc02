// The terminal as the monitor's console: text in the terminal's character
// set with its control characters shown visibly (but for the log's own
// colours), tabs as spaces, colours and clears as ANSI sequences, all
// through one buffer. The sequences go to a terminal only, never into a
// file or a pipe (colours do with --color=always); whatever way the process
// ends, and while it is stopped, the terminal has its own colours and the
// title it had.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PosixPlatform.h"
#include "ShownText.h"
#include "Utf8Forms.h"

namespace {

// Bytes gathered before they are written: 64 KiB to a terminal; a file or a
// pipe takes larger writes, fewer calls (the line reader's flush before each
// read still sends every line on its way as soon as it is read).
constexpr size_t kTerminalWrite = size_t{64} << 10;
constexpr size_t kOtherWrite = size_t{1} << 20;
// A pipe of the default 64 KiB holds one write: the monitor then waits for
// the reader at every write. A larger one lets both work at the same time.
constexpr int kPipeSize = 1 << 20;
// Writes in a row that take nothing before the rest is given up: such a
// descriptor may never take more, and the monitor must not spin on it.
constexpr int kMaxEmptyWrites = 100;

// The signals that end the monitor from outside and can be caught, then
// the one that stops it (Ctrl+Z).
constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGTSTP};

// The sequence of each colour attribute, by how lines are marked: in
// colours, the listing in the terminal's own; in reverse video, without a
// colour; or not at all. Index: ColourIndex.
const char* const kColourSequences[][3] = {
    // first listing, listing, changed
    {"\x1b[0m", "\x1b[0m", "\x1b[0;97;45m"},
    {"\x1b[0m", "\x1b[0m", "\x1b[0;7m"},
    {"", "", ""},
};

// The terminal the monitor has changed, for whichever way out comes first,
// and what it shows, for Ctrl+Z and the continue after it. Set by the
// console that changes it (TouchTerminal, SetColour, SetTitle) and its
// Flush; read by PutTerminalBack and OnStop, in a signal handler or when
// that console goes.
volatile sig_atomic_t g_changedTerminal = -1;  // its descriptor; -1 once put back
volatile sig_atomic_t g_titlePushed = 0;       // the title found was saved on its stack
volatile sig_atomic_t g_atLineStart = 1;       // what reached it last ended a line
// A signal that comes while the console writes waits for the write to
// return: only then is it known where the cursor stands.
volatile sig_atomic_t g_writing = 0;           // a Flush is writing
volatile sig_atomic_t g_caught = 0;            // the signal that came meanwhile; 0 none
volatile sig_atomic_t g_colourMarks = 0;       // row of kColourSequences in use
volatile sig_atomic_t g_colourShown = -1;      // column of the colour set last; -1 none
char g_titleSequence[4200];                    // the title set, as its sequence
volatile sig_atomic_t g_titleLength = 0;       // its bytes; 0 for no title set

int ColourIndex(int attribute) {
  switch (attribute) {
    case kColourFirstListing:
      return 0;
    case kColourListing:
      return 1;
    default:
      return 2;
  }
}

// Writes a few bytes from a signal handler: poll and write only. A terminal
// that takes nothing for half a second (output stopped, nobody reading) is
// left as it is rather than holding the process.
void WriteFromHandler(int fd, const char* bytes, size_t length) {
  pollfd ready{fd, POLLOUT, 0};
  if (length > 0 && poll(&ready, 1, 500) == 1 && (ready.revents & POLLOUT) != 0) {
    ssize_t ignored = write(fd, bytes, length);
    (void)ignored;
  }
}

// Default colours, a fresh line and the title found at start, written to
// fd. Async-signal-safe: fixed bytes, poll and write only.
void WriteRestore(int fd) {
  char sequence[32];
  size_t length = 0;
  auto add = [&](const char* text) {
    while (*text != '\0') sequence[length++] = *text++;
  };
  // Colours first: a line feed that scrolls would paint the new row in them.
  add("\x1b[0m");
  if (!g_atLineStart) add("\r\n");
  if (g_titlePushed) add("\x1b[23;0t");
  WriteFromHandler(fd, sequence, length);
  g_atLineStart = 1;
  g_titlePushed = 0;
}

// The terminal put back, once, for good.
void PutTerminalBack() {
  int fd = g_changedTerminal;
  if (fd < 0) return;
  g_changedTerminal = -1;
  WriteRestore(fd);
}

// Ends the process the way the signal would have, after putting the
// terminal back: the exit status still says which signal it was.
void OnEndingSignal(int signal) {
  if (g_writing) {
    g_caught = signal;
    return;
  }
  PutTerminalBack();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void OnStop(int);

void CatchStop() {
  struct sigaction action = {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  for (int signal : kHandledSignals) sigaddset(&action.sa_mask, signal);
  sigaction(SIGTSTP, &action, nullptr);
}

// Ctrl+Z: the terminal is put back as at the end, then the process stops
// the way it would have; when it continues, here, the monitor's colour and
// title come back.
void OnStop(int) {
  if (g_writing) {
    if (g_caught == 0) g_caught = SIGTSTP;
    return;
  }
  int savedErrno = errno;
  int fd = g_changedTerminal;
  if (fd >= 0) WriteRestore(fd);
  signal(SIGTSTP, SIG_DFL);
  sigset_t stop, before;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, &before);
  raise(SIGTSTP);
  sigprocmask(SIG_SETMASK, &before, nullptr);
  CatchStop();
  if (fd >= 0 && g_changedTerminal == fd) {
    char sequence[sizeof g_titleSequence + 32];
    size_t length = 0;
    auto add = [&](const char* text, size_t count) {
      memcpy(sequence + length, text, count);
      length += count;
    };
    if (g_colourShown >= 0) {
      const char* colour = kColourSequences[g_colourMarks][g_colourShown];
      add(colour, strlen(colour));
    }
    if (g_titleLength > 0) {
      add("\x1b[22;0t", 7);
      add(g_titleSequence, static_cast<size_t>(g_titleLength));
      g_titlePushed = 1;
    }
    WriteFromHandler(fd, sequence, length);
  }
  errno = savedErrno;
}

// Writes data; the count written. A descriptor left non-blocking by
// another program that shares the terminal says EAGAIN when it is full: the
// rest waits until it takes output again, as a blocking write would have.
// Stops early on an error, on a caught signal, or when it makes no progress.
size_t WriteAll(int fd, const char* data, size_t length) {
  size_t written = 0;
  int empty = 0;
  while (written < length && g_caught == 0) {
    ssize_t done = write(fd, data + written, length - written);
    if (done > 0) {
      written += static_cast<size_t>(done);
      empty = 0;
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    if (done < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    if (done == 0 && ++empty > kMaxEmptyWrites) break;
    pollfd ready{fd, POLLOUT, 0};
    int polled;
    do {
      polled = poll(&ready, 1, -1);
    } while (polled < 0 && errno == EINTR && g_caught == 0);
    // Nobody will ever read it.
    if (polled < 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
  }
  return written;
}

// Whether the cursor stands at a row's start after the first `count`
// bytes of text went out, given where it stood before: after a line feed
// with nothing but sequences since.
bool AtRowStartAfter(const char* text, size_t count, bool before) {
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == '\n') at = i + 1;
  }
  bool start = at > 0 || before;
  for (size_t i = at; i < count && start; ++i) {
    if (text[i] != '\x1b') return false;
    // A sequence: CSI up to its final byte, OSC up to its BEL.
    char kind = i + 1 < count ? text[i + 1] : '\0';
    char end = kind == ']' ? '\x07' : '\0';
    for (i += 2; i < count; ++i) {
      if (end != '\0' ? text[i] == end : (text[i] >= '@' && text[i] <= '~')) break;
    }
  }
  return start;
}

// The longest parameter list of a log's colour sequence passed on; a
// longer one is shown as text.
constexpr size_t kLongestColourParameters = 64;

// The length of the colour sequence (SGR: ESC [ digits ; : m) at text, or
// 0 when none starts there.
size_t ColourSequenceLength(const char* text, size_t length) {
  if (length < 3 || text[0] != '\x1b' || text[1] != '[') return 0;
  size_t end = 2;
  while (end < length && end - 2 <= kLongestColourParameters &&
         ((text[end] >= '0' && text[end] <= '9') || text[end] == ';' || text[end] == ':')) {
    ++end;
  }
  return end < length && text[end] == 'm' && end - 2 <= kLongestColourParameters ? end + 1 : 0;
}

// The character set of the locale, as iconv names it, when it is not UTF-8;
// empty for UTF-8. The C and POSIX locales count as UTF-8: a terminal
// without a locale set (most containers) reads UTF-8. A locale not
// generated on this system still names the terminal's set in its name.
std::string LocaleCharset() {
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    name = getenv(variable);
    if (name != nullptr && *name != '\0') break;
    name = nullptr;
  }
  if (name == nullptr) return "";
  std::string charset;
  locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
  if (locale != static_cast<locale_t>(nullptr)) {
    charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
  } else if (const char* dot = strchr(name, '.')) {
    charset.assign(dot + 1, strcspn(dot + 1, "@"));
  }
  std::string key;
  for (char c : charset) {
    if (c != '-' && c != '_') key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  if (key.empty() || key == "UTF8" || key == "ANSIX3.41968" || key == "ASCII" || key == "USASCII") return "";
  return charset;
}

// Appends UTF-8 text converted by `convert`; a character the set lacks (or
// a malformed form) is one '?'.
void AppendConverted(iconv_t convert, const char* text, size_t length, std::string& out) {
  iconv(convert, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text);
  size_t inLeft = length;
  while (inLeft > 0) {
    char block[4096];
    char* at = block;
    size_t room = sizeof block;
    size_t done = iconv(convert, &in, &inLeft, &at, &room);
    out.append(block, static_cast<size_t>(at - block));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    out += '?';
    uint32_t code;
    size_t taken = NextUtf8Form(reinterpret_cast<const unsigned char*>(in), inLeft, &code);
    in += taken;
    inLeft -= taken;
    iconv(convert, nullptr, nullptr, nullptr, nullptr);
  }
}

// Appends text with every control character in its visible form, but for
// line feeds when keepLineFeeds (a message's own line ends).
void AppendVisible(const char* text, size_t length, bool keepLineFeeds, std::string& out) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < length;) {
    uint32_t code = bytes[i];
    size_t taken = 1;
    if (code >= 0x80) taken = NextUtf8Form(bytes + i, length - i, &code);
    if (IsControlCode(code) && !(keepLineFeeds && code == '\n')) {
      AppendVisibleControl(out, code);
    } else {
      out.append(text + i, taken);
    }
    i += taken;
  }
}

// Printable ASCII, tab and line feed only: such text needs
// no control-byte escapes. Most log lines are like this.
#ifdef __SSE2__
// Of 16 bytes at text: a bit for each that may pass as it is.
int PlainBytes(const char* text) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  // Signed compares: bytes from 0x80 up are negative and fail the first.
  __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x1F)), _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x7F)));
  __m128i lineBytes = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
  return _mm_movemask_epi8(_mm_or_si128(printable, lineBytes));
}
#endif

bool IsPlainAscii(const char* text, size_t length) {
  size_t i = 0;
#ifdef __SSE2__
  if (length >= 16) {
    for (; i + 16 <= length; i += 16) {
      if (PlainBytes(text + i) != 0xFFFF) return false;
    }
    // The last bytes by one more block that overlaps the one before.
    return i == length || PlainBytes(text + length - 16) == 0xFFFF;
  }
#endif
  for (; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 || byte > 0x7E) && byte != '\t' && byte != '\n') return false;
  }
  return true;
}

}  // namespace

TerminalConsole::TerminalConsole(int outputFd, int errorFd)
    : outputFd_(outputFd),
      errorFd_(errorFd),
      isTerminal_(isatty(outputFd) == 1),
      errorIsTerminal_(isatty(errorFd) == 1),
      writeSize_(isTerminal_ ? kTerminalWrite : kOtherWrite),
      marks_(isTerminal_ ? 0 : 2) {
  const char* term = getenv("TERM");
  dumb_ = isTerminal_ && term != nullptr && strcmp(term, "dumb") == 0;
  if (dumb_) marks_ = 2;
  if (isTerminal_ || errorIsTerminal_) {
    std::string charset = LocaleCharset();
    if (!charset.empty()) toTerminal_ = iconv_open(charset.c_str(), "UTF-8");
  }
#ifdef F_SETPIPE_SZ
  struct stat status;
  if (!isTerminal_ && fstat(outputFd, &status) == 0 && S_ISFIFO(status.st_mode)) {
    // Where the system allows it; the pipe works as it is otherwise.
    if (fcntl(outputFd, F_GETPIPE_SZ) < kPipeSize) fcntl(outputFd, F_SETPIPE_SZ, kPipeSize);
  }
#endif
}

TerminalConsole::~TerminalConsole() {
  Flush();
  if (toTerminal_ != reinterpret_cast<iconv_t>(-1)) iconv_close(toTerminal_);
  if (touched_) {
    // Put back before the handlers go: a signal in between finds nothing
    // left to do.
    PutTerminalBack();
    for (size_t i = 0; i < sizeof kHandledSignals / sizeof kHandledSignals[0]; ++i) {
      sigaction(kHandledSignals[i], &previousActions_[i], nullptr);
    }
  }
}

void TerminalConsole::ChooseColours(ColourChoice choice) {
  if (choice == ColourChoice::kAlways) {
    marks_ = 0;
  } else if (!isTerminal_) {
    marks_ = 2;
  } else if (dumb_) {
    // Not even reverse video: a dumb terminal takes no sequence at all.
    marks_ = 2;
  } else if (choice == ColourChoice::kNever) {
    marks_ = 1;
  } else {
    // https://no-color.org: any value but an empty one.
    const char* noColour = getenv("NO_COLOR");
    marks_ = noColour != nullptr && *noColour != '\0' ? 1 : 0;
  }
}

std::string TerminalConsole::InTerminalCharset(const std::string& utf8, bool toError) const {
  if (toTerminal_ == reinterpret_cast<iconv_t>(-1) || !(toError ? errorIsTerminal_ : isTerminal_)) return utf8;
  std::string converted;
  AppendConverted(toTerminal_, utf8.data(), utf8.size(), converted);
  return converted;
}

// The reset before the line feed keeps a terminal that scrolls from
// painting the new row in the line's colours (background colour erase);
// a changed line's colour comes back before the next row's text.
void TerminalConsole::EndRow(std::string& out) {
  if (rowColoured_) out += "\x1b[0m";
  out += '\n';
  rowColoured_ = false;
  colourPending_ = colourIndex_ == 2;
  rowStart_ = true;
  column_ = 0;
}

// Text as the screen shows it: control characters as cat -v shows them
// (C0 and DEL as ^[ and ^?, C1 as M-^[), so none reaches the terminal as
// itself; the log's own colour sequences passed on in the listing's
// colours, left out where colours are not wanted or a changed line is
// marked, and shown as text in a file or a pipe (as ever); on a terminal,
// tabs as spaces to the next multiple of eight columns.
void TerminalConsole::AppendShown(const char* text, size_t length, std::string& out) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  bool numbering = rowStart_;
  bool endedRow = false;
  bool expandTabs = isTerminal_;
  bool passColours = marks_ == 0 && colourIndex_ != 2;
  bool colourText = marks_ == 2 && !isTerminal_;
  for (size_t i = 0; i < length;) {
    unsigned char byte = bytes[i];
    if (byte == '\n') {
      EndRow(out);
      endedRow = true;
      ++i;
      continue;
    }
    if (colourPending_) {
      out += kColourSequences[marks_][colourIndex_];
      colourPending_ = false;
      rowColoured_ = marks_ != 2;
    }
    rowStart_ = false;
    if (byte >= 0x20 && byte < 0x7F) {
      size_t end = i + 1;
      while (end < length && bytes[end] >= 0x20 && bytes[end] < 0x7F) ++end;
      out.append(text + i, end - i);
      column_ += end - i;
      i = end;
      continue;
    }
    if (byte == '\t' && expandTabs) {
      AppendTab(out, &column_);
      ++i;
      continue;
    }
    size_t colour = byte == 0x1B && !colourText ? ColourSequenceLength(text + i, length - i) : 0;
    if (colour > 0) {
      if (passColours) {
        out.append(text + i, colour);
        rowColoured_ = true;
      }
      i += colour;
      continue;
    }
    uint32_t code = byte;
    size_t taken = 1;
    if (byte >= 0x80) taken = NextUtf8Form(bytes + i, length - i, &code);
    if (byte == '\t') {
      out += '\t';
    } else if (IsControlCode(code)) {
      column_ += static_cast<size_t>(AppendVisibleControl(out, code));
    } else {
      out.append(text + i, taken);
      if (expandTabs) column_ += static_cast<size_t>(CharacterColumns(code));
    }
    i += taken;
  }
  // The line's text starts after its number.
  if (numbering && !endedRow) column_ = 0;
}

// The shown text into the buffer, in the terminal's character set.
void TerminalConsole::AppendText(const char* text, size_t length) {
  if (toTerminal_ == reinterpret_cast<iconv_t>(-1) || !isTerminal_) {
    AppendShown(text, length, buffer_);
    return;
  }
  shown_.clear();
  AppendShown(text, length, shown_);
  AppendConverted(toTerminal_, shown_.data(), shown_.size(), buffer_);
}

// The first change to the terminal, made only once the start has been
// accepted: from here on every way out puts the terminal back.
void TerminalConsole::TouchTerminal() {
  if (touched_) return;
  touched_ = true;
  g_changedTerminal = outputFd_;
  g_titlePushed = 0;
  g_titleLength = 0;
  g_colourShown = -1;
  g_colourMarks = marks_;
  g_atLineStart = endsLine_;
  struct sigaction action = {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kHandledSignals) sigaddset(&action.sa_mask, signal);
  static_assert(sizeof kHandledSignals / sizeof kHandledSignals[0] ==
                sizeof previousActions_ / sizeof previousActions_[0]);
  for (size_t i = 0; i < sizeof kHandledSignals / sizeof kHandledSignals[0]; ++i) {
    sigaction(kHandledSignals[i], nullptr, &previousActions_[i]);
    // Started ignoring it (nohup, a background job, a shell without job
    // control): it stays ignored.
    if (previousActions_[i].sa_handler == SIG_IGN) continue;
    if (kHandledSignals[i] == SIGTSTP) {
      CatchStop();
    } else {
      sigaction(kHandledSignals[i], &action, nullptr);
    }
  }
}

void TerminalConsole::Write(const char* text, size_t length) {
  if (length == 0) return;
  endsLine_ = text[length - 1] == '\n';
  // Most lines: nothing to change, nor any column to count.
  if (IsPlainAscii(text, length) && !colourPending_ && !(rowColoured_ && memchr(text, '\n', length) != nullptr) &&
      !(isTerminal_ && memchr(text, '\t', length) != nullptr)) {
    buffer_.append(text, length);
    // Columns count for the tabs of a terminal only.
    const char* lineFeed = isTerminal_ ? static_cast<const char*>(memrchr(text, '\n', length)) : nullptr;
    if (lineFeed != nullptr) {
      column_ = static_cast<size_t>(text + length - lineFeed - 1);
    } else {
      column_ = rowStart_ ? 0 : column_ + length;
    }
    rowStart_ = endsLine_;
  } else {
    AppendText(text, length);
  }
  if (buffer_.size() >= writeSize_) Flush();
}

void TerminalConsole::SetColour(int attribute) {
  if (marks_ == 2) return;
  // Colours into a file or a pipe (--color=always) leave no terminal to put back.
  if (isTerminal_) TouchTerminal();
  int index = ColourIndex(attribute);
  buffer_ += kColourSequences[marks_][index];
  colourIndex_ = index;
  colourPending_ = false;
  rowColoured_ = index == 2;
  if (touched_) g_colourShown = index;
  Flush();
}

void TerminalConsole::SetTitle(const char* title) {
  if (!isTerminal_ || dumb_) return;
  TouchTerminal();
  if (!g_titlePushed) {
    // The title found is saved on the terminal's title stack, to be put back.
    buffer_ += "\x1b[22;0t";
    g_titlePushed = 1;
  }
  // A control character would end the sequence early, or start another.
  std::string shown;
  AppendVisible(title, strlen(title), false, shown);
  std::string sequence = "\x1b]0;" + InTerminalCharset(shown, false) + '\x07';
  buffer_ += sequence;
  // Kept for the continue after Ctrl+Z; a title too long for it is not set again.
  g_titleLength = 0;
  if (sequence.size() <= sizeof g_titleSequence) {
    memcpy(g_titleSequence, sequence.data(), sequence.size());
    g_titleLength = static_cast<sig_atomic_t>(sequence.size());
  }
  Flush();
}

void TerminalConsole::Clear() {
  if (!isTerminal_) return;
  if (dumb_) {
    // No clear: a line of its own says where the listing starts again.
    if (!rowStart_) Write("\n", 1);
    const char* notice = Localised("--- ファイルを最初から表示し直します ---\n");
    Write(notice, strlen(notice));
    Flush();
    return;
  }
  TouchTerminal();
  endsLine_ = true;
  rowStart_ = true;
  column_ = 0;
  // The screen only: the scrollback keeps what was shown before.
  buffer_ += "\x1b[H\x1b[2J";
  Flush();
}

void TerminalConsole::Flush() {
  if (!touched_) {
    WriteAll(outputFd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return;
  }
  // A signal that cut the write short is acted on now the cursor is known.
  // After Ctrl+Z and the continue the rest goes out; only a signal that ends
  // the monitor drops it.
  size_t done = 0;
  int caught;
  do {
    g_writing = 1;
    size_t written = WriteAll(outputFd_, buffer_.data() + done, buffer_.size() - done);
    g_writing = 0;
    bool whole = done + written == buffer_.size();
    g_atLineStart = whole ? endsLine_ : AtRowStartAfter(buffer_.data() + done, written, g_atLineStart);
    done += written;
    caught = g_caught;
    g_caught = 0;
    if (caught == SIGTSTP) OnStop(caught);
  } while (caught == SIGTSTP && done < buffer_.size());
  buffer_.clear();
  if (caught != 0 && caught != SIGTSTP) OnEndingSignal(caught);
}

// Messages come in UTF-8; a control character in them (a name's) is shown
// visibly, as in the listing.
void TerminalConsole::WriteError(const char* text) {
  Flush();
  std::string shown;
  AppendVisible(text, strlen(text), true, shown);
  shown = InTerminalCharset(shown, true);
  // On the same screen a message shows in the terminal's own colours, never
  // in the changed row it may cut into; the colour comes back with the text.
  if (touched_ && errorIsTerminal_ && rowColoured_) {
    shown = "\x1b[0m" + shown;
    rowColoured_ = false;
    colourPending_ = colourIndex_ == 2;
  }
  WriteAll(errorFd_, shown.data(), shown.size());
  if (errorIsTerminal_) {
    rowStart_ = true;
    column_ = 0;
  }
  // Messages end their line; on the same screen the cursor is then at the
  // start of one.
  if (touched_ && errorIsTerminal_) g_atLineStart = endsLine_ = true;
}
