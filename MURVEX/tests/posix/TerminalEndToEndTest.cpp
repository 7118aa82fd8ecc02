// The real murvex on a real file, its terminal read through a
// pseudo-terminal: what the user sees, colours included.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "MonitorOnTerminal.h"

namespace {

std::string TempPath(const char* name) {
  std::string path = std::string(::testing::TempDir()) + "murvex-e2e-" + name + "-" + std::to_string(getpid()) + ".log";
  return path;
}

// Waits (at most 5 s) until process pid waits in a write.
bool WaitsInAWrite(pid_t pid) {
  const std::string write = std::to_string(SYS_write) + " ";
  std::string call;
  for (int i = 0; i < 500 && call.rfind(write, 0) != 0; ++i) {
    usleep(10000);
    std::ifstream(("/proc/" + std::to_string(pid) + "/syscall").c_str()) >> call;
    call += " ";
  }
  return call.rfind(write, 0) == 0;
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

TEST(TerminalEndToEndTest, ListsTheFileThenShowsOnlyAppendedLinesHighlighted) {
  std::string path = TempPath("append");
  { std::ofstream(path, std::ios::binary) << "first\nsecond\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0002]second")) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find(kFirstListing + kSaveTitle + "\x1b]0;murvex-e2e-append"), std::string::npos)
      << monitor.Screen();
  size_t before = monitor.Screen().size();
  Append(path, "third\n");
  ASSERT_TRUE(monitor.WaitFor(kHighlight + "[0003]third", before)) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find("[0001]", before), std::string::npos) << "unchanged lines are not printed again";
  std::remove(path.c_str());
}

TEST(TerminalEndToEndTest, ClearsAndRelistsWhenTheFileLosesLines) {
  std::string path = TempPath("shrink");
  { std::ofstream(path, std::ios::binary) << "one\ntwo\nthree\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0003]three")) << monitor.Screen();
  size_t before = monitor.Screen().size();
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << "fresh\n"; }
  ASSERT_TRUE(monitor.WaitFor(kClear, before)) << monitor.Screen();
  size_t cleared = monitor.Screen().find(kClear, before);
  ASSERT_TRUE(monitor.WaitFor("[0001]fresh", cleared)) << monitor.Screen();
  // The screen only: what scrolled off stays in the terminal's history.
  EXPECT_EQ(monitor.Screen().find("\x1b[3J"), std::string::npos) << monitor.Screen();
  std::remove(path.c_str());
}

// -n 2: the first listing shows the last two lines, yet every line is
// watched: an edit of line 1 shows under its number; the relisting after a
// shrink shows the last two again.
TEST(TerminalEndToEndTest, ShowsOnlyTheLastLinesOfEachListingYetWatchesEveryLine) {
  std::string path = TempPath("lines");
  { std::ofstream(path, std::ios::binary) << "one\ntwo\nthree\nfour\nfive\n"; }
  MonitorOnTerminal monitor(std::vector<std::string>{"-n", "2", path});
  ASSERT_TRUE(monitor.WaitFor("[0005]five")) << monitor.Screen();
  EXPECT_EQ(ScreenAfterLastClear(monitor.Screen()), (std::map<int, std::string>{{4, "four\n"}, {5, "five\n"}}));
  size_t before = monitor.Screen().size();
  // In place: a truncating write would be seen empty, and relisted.
  { std::fstream(path, std::ios::binary | std::ios::in | std::ios::out) << "ONE"; }
  ASSERT_TRUE(monitor.WaitFor(kHighlight + "[0001]ONE", before)) << monitor.Screen();
  before = monitor.Screen().size();
  { std::ofstream(path, std::ios::binary) << "a\nb\nc\n"; }
  ASSERT_TRUE(monitor.WaitFor(kClear, before)) << monitor.Screen();
  ASSERT_TRUE(monitor.WaitFor("[0003]c", monitor.Screen().find(kClear, before))) << monitor.Screen();
  EXPECT_EQ(ScreenAfterLastClear(monitor.Screen()), (std::map<int, std::string>{{2, "b\n"}, {3, "c\n"}}));
  std::remove(path.c_str());
}

// Changed lines in white on magenta in the terminal's own colours, or, where
// colour is not wanted, in reverse video with no colour at all; a dumb
// terminal gets no escape sequence at all, unless colours are asked for.
TEST(TerminalEndToEndTest, MarksChangedLinesInColourOrReverseVideoAsTheUserAsks) {
  std::string path = TempPath("colours");
  struct Case {
    std::vector<std::string> options;
    std::map<std::string, std::string> environment;
    std::string mark;
  } cases[] = {
      {{}, {}, kHighlight},
      {{}, {{"NO_COLOR", "1"}}, kReverse},
      {{}, {{"TERM", "dumb"}}, ""},
      {{"--color=never"}, {}, kReverse},
      {{"--color=always"}, {{"NO_COLOR", "1"}}, kHighlight},
      {{"--color"}, {{"TERM", "dumb"}}, kHighlight},
  };
  for (const Case& c : cases) {
    { std::ofstream(path, std::ios::binary) << "first\n"; }
    Launch launch{c.options, c.environment};
    launch.arguments.push_back(path);
    MonitorOnTerminal monitor(launch);
    ASSERT_TRUE(monitor.WaitFor("[0001]first")) << monitor.Screen();
    Append(path, "second\n");
    EXPECT_TRUE(monitor.WaitFor(c.mark + "[0002]second")) << monitor.Screen();
    if (c.mark == kReverse) EXPECT_EQ(monitor.Screen().find(";4"), std::string::npos) << monitor.Screen();
    if (c.mark.empty()) EXPECT_EQ(monitor.Screen().find('\x1b'), std::string::npos) << monitor.Screen();
  }
  std::remove(path.c_str());
}

// murvex FILE | head -n 2: once the reader has gone the monitor ends, as
// GNU tools do on a closed pipe, though the file never changes again.
TEST(TerminalEndToEndTest, EndsSoonAfterItsReaderGoesAwayWhileTheFileIsQuiet) {
  std::string path = TempPath("reader");
  { std::ofstream(path, std::ios::binary) << "a\nb\nc\n"; }
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execl(MURVEX_BINARY, MURVEX_BINARY, path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string got;
  char block[64];
  for (ssize_t n; got.find("[0002]b\n") == std::string::npos && (n = read(fds[0], block, sizeof block)) > 0;) {
    got.append(block, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(100000);
  if (!WIFSIGNALED(status)) kill(pid, SIGKILL), waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << "still running after 5 s";
  std::remove(path.c_str());
}

// In an interactive shell: Ctrl+Z puts the terminal back before the job
// stops; fg brings the monitor's colour and title back, and it goes on.
TEST(TerminalEndToEndTest, CtrlZPutsTheTerminalBackAndFgBringsTheMonitorsLookBack) {
  std::string path = TempPath("stopped");
  { std::ofstream(path, std::ios::binary) << "first\n"; }
  Launch shell{{"--norc", "--noprofile", "-i"}, {{"PS1", "$ "}}};
  shell.program = "/bin/bash";
  MonitorOnTerminal terminal(shell);
  ASSERT_TRUE(terminal.WaitFor("$ ")) << terminal.Screen();
  terminal.Type(std::string(MURVEX_BINARY) + " " + path + "\n");
  ASSERT_TRUE(terminal.WaitFor("[0001]first")) << terminal.Screen();
  Append(path, "second\n");
  ASSERT_TRUE(terminal.WaitFor(kHighlight + "[0002]second")) << terminal.Screen();
  size_t before = terminal.Screen().size();
  terminal.Type("\x1a");
  ASSERT_TRUE(terminal.WaitFor("Stopped", before)) << terminal.Screen();
  std::string stopped = terminal.Screen().substr(before, terminal.Screen().find("Stopped", before) - before);
  EXPECT_NE(stopped.find(kResetColours), std::string::npos) << stopped;
  EXPECT_NE(stopped.find(kRestoreTitle), std::string::npos) << stopped;
  before = terminal.Screen().size();
  terminal.Type("fg\n");
  ASSERT_TRUE(terminal.WaitFor(kSaveTitle + "\x1b]0;murvex-e2e-stopped", before)) << terminal.Screen();
  // The colour of the last pass: the listing's.
  EXPECT_NE(terminal.Screen().find(kFirstListing, before), std::string::npos) << terminal.Screen();
  Append(path, "third\n");
  EXPECT_TRUE(terminal.WaitFor(kHighlight + "[0003]third", before)) << terminal.Screen();
  terminal.Type("\x03");
  terminal.Type("exit\n");
  std::remove(path.c_str());
}

TEST(TerminalEndToEndTest, ShowsEscapeBytesOfALogLineVisiblyNeverRaw) {
  std::string path = TempPath("escape");
  { std::ofstream(path, std::ios::binary) << "title \x1b]0;pwned\x07 end\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("end")) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find("\x1b]0;pwned"), std::string::npos) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find("^[]0;pwned^G end"), std::string::npos) << monitor.Screen();
  std::remove(path.c_str());
}

// A coloured log: its colours reach the terminal in a listing, each line
// ends with them reset; a changed line stays wholly highlighted.
TEST(TerminalEndToEndTest, ShowsTheLogsOwnColoursAndAChangedLineWhollyHighlighted) {
  std::string path = TempPath("sgr");
  { std::ofstream(path, std::ios::binary) << "\x1b[32mINFO\x1b[0m up \x1b[1;33mslow\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0001]\x1b[32mINFO\x1b[0m up \x1b[1;33mslow" + kResetColours + "\r\n")) << monitor.Screen();
  size_t before = monitor.Screen().size();
  Append(path, "\x1b[31mERROR\x1b[0m down\n");
  EXPECT_TRUE(monitor.WaitFor(kHighlight + "[0002]ERROR down" + kResetColours + "\r\n", before)) << monitor.Screen();
  std::remove(path.c_str());
}

// A name that carries sequences (a title, a clear) reaches the terminal
// with its control characters shown, in a message and in the title; under
// LANG=C the text stays UTF-8, and a C1 control in it stays visible.
TEST(TerminalEndToEndTest, NamesAndTextNeverSteerTheTerminalAndTheCLocaleKeepsUtf8) {
  MonitorOnTerminal missing(Launch{{"missing\x1b]0;T\x07\x1b[2J.log"}, {{"LC_ALL", ""}, {"LANG", "C"}}});
  EXPECT_EQ(missing.WaitForExit(), 1);
  EXPECT_EQ(missing.Screen(), "murvex: missing^[]0;T^G^[[2J.log: no such file\r\n");
  std::string path = TempPath("name\x1b]0;T\x07");
  // é, then the C1 control U+009B (an 8-bit terminal's CSI).
  { std::ofstream(path, std::ios::binary) << "caf\xC3\xA9 \xC2\x9B" "2J\n"; }
  MonitorOnTerminal monitor(Launch{{path}, {{"LC_ALL", ""}, {"LANG", "C"}}});
  ASSERT_TRUE(monitor.WaitFor("[0001]caf\xC3\xA9 M-^[2J\r\n")) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find("\x1b]0;murvex-e2e-name^[]0;T^G-"), std::string::npos) << monitor.Screen();
  std::remove(path.c_str());
}

// TERM=dumb: text alone; where the screen would be cleared, a line says the
// file is listed again.
TEST(TerminalEndToEndTest, ADumbTerminalGetsTextAloneAndARelistingSaidInALine) {
  std::string path = TempPath("dumb");
  { std::ofstream(path, std::ios::binary) << "one\ttab\ntwo\n"; }
  MonitorOnTerminal monitor(Launch{{path}, {{"TERM", "dumb"}}});
  ASSERT_TRUE(monitor.WaitFor("[0002]two\r\n")) << monitor.Screen();
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << "fresh\n"; }
  ASSERT_TRUE(monitor.WaitFor("--- the file is listed again from the top ---\r\n[0001]fresh\r\n")) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find("[0001]one     tab\r\n[0002]two\r\n"), 0u) << monitor.Screen();
  EXPECT_EQ(monitor.Screen().find('\x1b'), std::string::npos) << monitor.Screen();
  std::remove(path.c_str());
}

// Each file read in the encoding it is in: a stray Latin-1 byte fixes
// nothing for the UTF-8 after it; UTF-16BE with its mark; --encoding for
// what no detection can tell (Latin-1, UTF-16 without a mark).
TEST(TerminalEndToEndTest, ReadsEachFileInTheEncodingItIsIn) {
  std::string path = TempPath("encoding");
  const std::string utf16be("\xFE\xFF\x00" "c\x00\xE9\x65\xE5\x00\n", 10);  // mark, "cé日\n"
  const std::string utf16le("c\x00\xE9\x00\n\x00", 6);                         // "cé\n", no mark
  struct Case {
    std::vector<std::string> options;
    std::string bytes, shown;
  } cases[] = {
      {{}, "GET /search?q=caf\xE9 400\n\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9\n",
       "[0001]GET /search?q=caf  400\r\n[0002]\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9\r\n"},
      {{}, "caf\xE9 cr\xE8me 25\xB0" "C\n", "[0001]caf  cr me 25 C\r\n"},
      {{}, utf16be, "[0001]c\xC3\xA9\xE6\x97\xA5\r\n"},
      {{"--encoding=latin1"}, "caf\xE9 cr\xE8me 25\xB0" "C\n", "[0001]caf\xC3\xA9 cr\xC3\xA8me 25\xC2\xB0" "C\r\n"},
      {{"--encoding=utf-16le"}, utf16le, "[0001]c\xC3\xA9\r\n"},
      {{"--encoding=EUC-JP"}, "\xC6\xFC\xCB\xDC\n", "[0001]\xE6\x97\xA5\xE6\x9C\xAC\r\n"},
  };
  for (const Case& c : cases) {
    { std::ofstream(path, std::ios::binary) << c.bytes; }
    Launch launch{c.options};
    launch.arguments.push_back(path);
    MonitorOnTerminal monitor(launch);
    EXPECT_TRUE(monitor.WaitFor(c.shown)) << monitor.Screen();
  }
  MonitorOnTerminal refused(std::vector<std::string>{"--encoding=no-such-set", path});
  EXPECT_EQ(refused.WaitForExit(), 1);
  EXPECT_EQ(refused.Screen().find("murvex: --encoding: no-such-set is no character set murvex can read\r\n"), 0u)
      << refused.Screen();
  std::remove(path.c_str());
}

TEST(TerminalEndToEndTest, ShowsAUtf8LogWithoutAMarkAsWrittenWithCharactersCodePage932Lacks) {
  std::string path = TempPath("utf8");
  // "ログ開始", then é, an emoji and "们" (U+4EEC).
  const std::string first = "\xE3\x83\xAD\xE3\x82\xB0\xE9\x96\x8B\xE5\xA7\x8B\n";
  const std::string second = "caf\xC3\xA9 \xF0\x9F\x98\x80 \xE4\xBB\xAC\n";
  { std::ofstream(path, std::ios::binary) << first << second; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0002]")) << monitor.Screen();
  ASSERT_TRUE(monitor.WaitFor("\xE4\xBB\xAC")) << monitor.Screen();
  // The terminal turns each line feed into CR LF.
  EXPECT_NE(monitor.Screen().find("[0001]" + first.substr(0, first.size() - 1) + "\r\n[0002]" +
                                  second.substr(0, second.size() - 1)),
            std::string::npos)
      << monitor.Screen();
  std::remove(path.c_str());
}

// An unbuffered writer (python -u, a script's printf pieces) writes each line
// in several writes while the monitor reads: every line is shown exactly
// once, whole, in order, and nothing is cleared. A carriage return inside a
// line is shown as ^M.
TEST(TerminalEndToEndTest, AnUnbufferedWriterInPiecesShowsEveryLineOnceWholeInOrder) {
  std::string path = TempPath("pieces");
  // The writer starts once the first listing, which shows the file as
  // found, is on the screen.
  { std::ofstream(path, std::ios::binary) << "start\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0001]start\r\n")) << monitor.Screen();
  int file = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(file, 0);
  std::string expected = "[0001]start\n";
  for (int i = 2; i <= 3000; ++i) {
    std::string number = std::to_string(i);
    std::string end = " done in " + std::to_string(i % 13) + (i % 100 == 0 ? " ms\rdone\n" : " ms\n");
    for (const std::string& piece : {std::string("request "), number, end}) {
      ASSERT_EQ(write(file, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      usleep(100);  // the writer's own pace, so that passes meet lines half written
    }
    char prefix[16];
    snprintf(prefix, sizeof prefix, "[%04d]", i);
    std::string shown = end;
    if (i % 100 == 0) shown.replace(shown.find('\r'), 1, "^M");
    expected += prefix + ("request " + number) + shown;
  }
  close(file);
  ASSERT_TRUE(monitor.WaitFor("[3000]request 3000 done in 10 ms^Mdone" + kResetColours + "\r\n", 0, 30)) << monitor.Screen().substr(0, 2000);
  EXPECT_EQ(monitor.Screen().find(kClear), std::string::npos);
  std::string shown = ShownText(monitor.Screen());
  ASSERT_EQ(shown, expected) << "first difference at byte "
                             << std::mismatch(shown.begin(), shown.end(), expected.begin(), expected.end()).first -
                                    shown.begin();
  std::remove(path.c_str());
}

// Ctrl+C, SIGTERM, SIGHUP: the process still dies of the signal, and the
// terminal gets its colours and title back, the prompt a line of its own.
TEST(TerminalEndToEndTest, StoppedByCtrlCTermOrHangUpPutsTheTerminalBack) {
  std::string path = TempPath("stop");
  { std::ofstream(path, std::ios::binary) << "first\nno line end"; }
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    MonitorOnTerminal monitor(path);
    // A last line without its line end still ends its row.
    ASSERT_TRUE(monitor.WaitFor("[0002]no line end\r\n")) << monitor.Screen();
    size_t before = monitor.Screen().size();
    if (signal == SIGINT) {
      monitor.Type("\x03");
    } else {
      monitor.Signal(signal);
    }
    EXPECT_EQ(monitor.WaitForExit(), -1) << signal;
    EXPECT_EQ(monitor.KilledBy(), signal);
    std::string after;
    for (char c : monitor.Screen().substr(before)) {
      if (c != '\r') after += c;
    }
    const std::string putBack = kResetColours + kRestoreTitle;
    ASSERT_GE(after.size(), putBack.size()) << signal << " " << after;
    EXPECT_EQ(after.substr(after.size() - putBack.size()), putBack) << signal << " " << after;
  }
  std::remove(path.c_str());
}

// Another program left the terminal non-blocking: writes that find it full
// wait until it takes output again, so nothing is lost.
TEST(TerminalEndToEndTest, ATerminalLeftNonBlockingStillGetsEveryLine) {
  std::string path = TempPath("nonblocking");
  std::string all;
  for (int i = 1; i <= 20000; ++i) all += "line " + std::to_string(i) + " of a log that keeps going\n";
  { std::ofstream(path, std::ios::binary) << all; }
  Launch launch{{path}};
  launch.nonBlocking = true;
  MonitorOnTerminal monitor(launch);
  ASSERT_TRUE(monitor.WaitFor("[20000]line 20000 ", 0, 60)) << monitor.Screen().size();
  auto shown = ScreenAfterLastClear(monitor.Screen());
  ASSERT_EQ(shown.size(), 20000u);
  for (int i = 1; i <= 20000; ++i) {
    ASSERT_EQ(shown[i], "line " + std::to_string(i) + " of a log that keeps going\n") << i;
  }
  std::remove(path.c_str());
}

// Ctrl+Z while the listing waits on a full terminal, then fg: the rest of
// the write cut short still comes, every line under its number once.
TEST(TerminalEndToEndTest, CtrlZWhileAListingWaitsOnAFullTerminalLosesNoLine) {
  std::string path = TempPath("full");
  std::string bytes;
  for (int i = 1; i <= 50000; ++i) bytes += "line " + std::to_string(i) + "\n";
  { std::ofstream(path, std::ios::binary) << bytes; }
  Launch shell{{"--norc", "--noprofile", "-i"}, {{"PS1", "$ "}}};
  shell.program = "/bin/bash";
  MonitorOnTerminal terminal(shell);
  ASSERT_TRUE(terminal.WaitFor("$ ")) << terminal.Screen();
  // Ctrl+Z also makes the terminal itself drop what waits in its queue,
  // unless told not to: that loss is the terminal's, not the monitor's.
  terminal.Type("stty noflsh; " + std::string(MURVEX_BINARY) + " " + path + "\n");
  // The shell's child once it is the monitor; nothing is read meanwhile.
  const std::string children = "/proc/" + std::to_string(terminal.Pid()) + "/task/" + std::to_string(terminal.Pid()) + "/children";
  std::string monitor, name;
  for (int i = 0; i < 500 && name != "murvex"; ++i) {
    usleep(10000);
    monitor.clear(), name.clear();
    std::ifstream(children.c_str()) >> monitor;
    if (!monitor.empty()) std::ifstream(("/proc/" + monitor + "/comm").c_str()) >> name;
  }
  ASSERT_EQ(name, "murvex");
  ASSERT_TRUE(WaitsInAWrite(std::stoi(monitor)));
  terminal.Type("\x1a");
  ASSERT_TRUE(terminal.WaitFor("Stopped", 0, 30)) << terminal.Screen().size();
  terminal.Type("fg\n");
  ASSERT_TRUE(terminal.WaitFor("[50000]line 50000", 0, 60));
  std::vector<int> seen(50001);
  const std::string& screen = terminal.Screen();
  for (size_t at = 0; (at = screen.find("]line ", at)) != std::string::npos; at += 6) {
    size_t open = screen.rfind('[', at);
    if (open != std::string::npos && at - open >= 5 && at - open <= 6) ++seen[std::stoi(screen.substr(open + 1, at - open - 1))];
  }
  std::vector<int> missing;
  for (int i = 1; i <= 50000; ++i) {
    if (seen[i] != 1) missing.push_back(i);
  }
  EXPECT_TRUE(missing.empty()) << missing.size() << " lines missing or doubled, from " << missing.front();
  terminal.Type("\x03");
  terminal.Type("exit\n");
  std::remove(path.c_str());
}

// A signal that comes while a write waits on a full terminal cuts it short
// somewhere in a row: the terminal is still put back on a fresh row.
TEST(TerminalEndToEndTest, ASignalThatCutsAWriteShortStillLeavesTheCursorOnAFreshRow) {
  std::string path = TempPath("cut");
  { std::ofstream(path, std::ios::binary) << std::string(50000, 'x') + "\n" + std::string(50000, 'y') + "\n"; }
  MonitorOnTerminal monitor(path);
  // Nothing is read: the monitor's write waits on the full terminal.
  ASSERT_TRUE(WaitsInAWrite(monitor.Pid()));
  monitor.Signal(SIGTERM);
  EXPECT_EQ(monitor.WaitForExit(), -1);
  std::string shown;
  for (char c : monitor.Screen()) {
    if (c != '\r') shown += c;
  }
  const std::string putBack = kResetColours + "\n" + kRestoreTitle;
  ASSERT_GE(shown.size(), putBack.size());
  EXPECT_EQ(shown.substr(shown.size() - putBack.size()), putBack);
  std::remove(path.c_str());
}

// murvex FILE > out: the numbered lines alone, no colour, title or clear,
// and a line's escape byte still shown as ^[.
TEST(TerminalEndToEndTest, RedirectedToAFileWritesTheNumberedLinesAlone) {
  std::string path = TempPath("redirected");
  std::string out = TempPath("redirected-out");
  { std::ofstream(path, std::ios::binary) << "a\n\x1b[31mred\n"; }
  pid_t pid = fork();
  if (pid == 0) {
    int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null = open("/dev/null", O_WRONLY);
    dup2(file, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execl(MURVEX_BINARY, MURVEX_BINARY, path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  auto waitForFile = [&](const std::string& expected) {
    std::string got;
    for (int i = 0; i < 200 && got != expected; ++i) {
      std::ifstream in(out, std::ios::binary);
      got.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (got != expected) usleep(50000);
    }
    return got;
  };
  std::string expected = "[0001]a\n[0002]^[[31mred\n";
  EXPECT_EQ(waitForFile(expected), expected);
  Append(path, "c\n");
  expected += "[0003]c\n";
  EXPECT_EQ(waitForFile(expected), expected);
  // Replaced at once by another file: (a clear on a terminal) and the new
  // file listed from the top.
  { std::ofstream(path + ".new", std::ios::binary) << "x\n"; }
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  expected += "[0001]x\n";
  EXPECT_EQ(waitForFile(expected), expected);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(waitForFile(expected), expected);
  std::remove(path.c_str());
  std::remove(out.c_str());
}

}  // namespace
