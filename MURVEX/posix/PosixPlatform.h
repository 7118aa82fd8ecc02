// The POSIX console and change watcher, visible to tests of the layer.
#pragma once

#include <iconv.h>
#include <signal.h>

#include <string>

#include "MonitorPlatform.h"

// --color: colour sequences on a terminal unless the environment asks for
// none (auto), on any output (always), or none (never).
enum class ColourChoice { kAuto, kAlways, kNever };

class TerminalConsole : public Console {
 public:
  TerminalConsole(int outputFd, int errorFd);
  ~TerminalConsole() override;
  void Write(const char* text, size_t length) override;
  void SetColour(int attribute) override;
  void SetTitle(const char* title) override;
  void Clear() override;
  void Flush() override;
  void WriteError(const char* text) override;
  // How lines are marked from now on. Without a choice: colours on a
  // terminal (none on a dumb one), nothing elsewhere, whatever else the
  // environment says.
  void ChooseColours(ColourChoice choice);
  // UTF-8 text (a message, the help) in the character set of the terminal
  // on standard output (toError false) or standard error; the text itself
  // for a UTF-8 terminal, a file or a pipe.
  std::string InTerminalCharset(const std::string& utf8, bool toError) const;

 private:
  void AppendShown(const char* text, size_t length, std::string& out);
  void AppendText(const char* text, size_t length);
  void EndRow(std::string& out);
  void TouchTerminal();
  int outputFd_;
  int errorFd_;
  std::string buffer_;
  // Colours, title and clears go to a terminal only; a file or a pipe
  // gets the numbered lines alone.
  bool isTerminal_;
  bool errorIsTerminal_;
  size_t writeSize_;  // buffered bytes that make a write
  // Changed lines marked in colour (0), in reverse video (1), or not (2).
  int marks_;
  // This console has changed the terminal: it puts it back when it goes,
  // and its signal handlers do so when the process is stopped.
  bool touched_ = false;
  bool endsLine_ = true;  // the last text written ended a line
  // TERM=dumb: no escape sequence at all, unless colours are asked for.
  bool dumb_;
  // UTF-8 to the character set of the locale, where that is not UTF-8 and
  // either output is a terminal; (iconv_t)-1 otherwise.
  iconv_t toTerminal_ = reinterpret_cast<iconv_t>(-1);
  // The row being written: nothing on it yet; its display column, counted
  // from the end of its first Write (the line's number), for tabs; colours
  // on it other than the listing's, to be reset before its line feed; and
  // the changed lines' colour, to be set again before the next row's text.
  bool rowStart_ = true;
  size_t column_ = 0;
  bool rowColoured_ = false;
  bool colourPending_ = false;
  int colourIndex_ = -1;  // column of kColourSequences set last; -1 none
  std::string shown_;     // a Write's text on its way to the character set
  struct sigaction previousActions_[4];  // SIGINT, SIGTERM, SIGHUP, SIGTSTP
};

class InotifyWatcher : public ChangeWatcher {
 public:
  ~InotifyWatcher() override { Stop(); }
  int Start(const char* folder, const char* file) override;
  int Wait(int timeoutMs) override;
  void Stop() override;
  int64_t CpuUs() override;
  // While it waits, also looks at the output fd: when nobody can read it
  // any more (a closed pipe, a terminal hung up), the process ends as on a
  // write to a closed pipe.
  void EndWithReaderOf(int fd) { readerOf_ = fd; }

 private:
  void WatchTheFile();
  bool Concerns(const struct inotify_event& event);

  int fd_ = -1;
  int readerOf_ = -1;
  int folderWatch_ = -1;
  int fileWatch_ = -1;
  bool watchAgain_ = false;  // the name changed, or no file was under it
  std::string file_;    // the watched path, and its last part
  std::string name_;
};

// The console and watcher of the real monitor (NativePlatform.cpp).
TerminalConsole& NativeTerminal();

// The file services of this platform (FileSystem.cpp).
FileSystem& PosixFileSystem();

// Test hook: the name iconv is asked for code page 932 by ("CP932"); a name
// it does not know stands for a system without that converter.
void SetCodePageConverterName(const char* name);

// Messages: the system's Japanese texts, or English ones (Messages.cpp).
// ChooseMessageLanguage decides once from the locale's variables (LC_ALL,
// LC_MESSAGES, LANG: Japanese when the first set begins with "ja");
// Localised gives the text to use for one of the system's texts, a static
// string (the text itself when it has no English one).
void ChooseMessageLanguage();
bool JapaneseMessages();
const char* Localised(const char* japanese);
