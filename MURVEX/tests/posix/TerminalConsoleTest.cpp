// The terminal console on exact bytes: what reaches the terminal for plain
// ASCII and control bytes, alone and mixed; the Linux console text of
// lines in code page 932, UTF-8 and UTF-16; and what reaches a file or a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "ConsoleText.h"
#include "PosixPlatform.h"

namespace {

// Everything the console writes for one Write of text, read back from a pipe.
std::string Shown(const std::string& text) {
  int fds[2];
  if (pipe(fds) != 0) return "<no pipe>";
  {
    TerminalConsole console(fds[1], fds[1]);
    console.Write(text.data(), text.size());
    console.Flush();
  }
  close(fds[1]);
  std::string out;
  char block[4096];
  ssize_t got;
  while ((got = read(fds[0], block, sizeof block)) > 0) out.append(block, static_cast<size_t>(got));
  close(fds[0]);
  return out;
}

TEST(TerminalConsoleTest, PlainAsciiLinesPassUnchanged) {
  // Longer than one 16-byte block, with tab and line feed.
  const std::string line = "2026-03-01 00:00:00.037 INFO\thandled stock user ~{}|\\ n=0000000001\n";
  EXPECT_EQ(Shown(line), line);
  EXPECT_EQ(Shown(""), "");
}

TEST(TerminalConsoleTest, ControlBytesAreShownAsCaretEscapesAnywhereInALine) {
  // An escape byte must never reach the terminal as itself, whether it sits
  // in the first block of a long line, after it, or in a short line.
  std::string longLine(40, 'a');
  longLine[3] = '\x1b';
  longLine[35] = '\x7f';
  std::string expected(40, 'a');
  expected.replace(35, 1, "^?");
  expected.replace(3, 1, "^[");
  EXPECT_EQ(Shown(longLine), expected);
  EXPECT_EQ(Shown(std::string("x\x01y\n", 4)), "x^Ay\n");
  EXPECT_EQ(Shown(std::string(17, 'b') + '\x1b'), std::string(17, 'b') + "^[");
  // Lines are checked in blocks of 16, the last one overlapping: every
  // position of every length up to three blocks.
  for (size_t length = 1; length <= 48; ++length) {
    for (size_t at = 0; at < length; ++at) {
      std::string line(length, 'a');
      line[at] = '\x1b';
      std::string expected(length, 'a');
      expected.replace(at, 1, "^[");
      ASSERT_EQ(Shown(line), expected) << "length " << length << ", escape at " << at;
    }
  }
}

// Everything a console on a raw terminal writes (output and messages alike)
// while `use` drives it, in the locale `locale` (LC_ALL), up to and with
// the colours put back as it goes.
std::string OnTerminal(const std::function<void(TerminalConsole&)>& use, const char* locale = "C.UTF-8") {
  int master, slave;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "<no terminal>";
  termios raw;
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  setenv("TERM", "xterm-256color", 1);
  setenv("LC_ALL", locale, 1);
  {
    TerminalConsole console(slave, slave);
    use(console);
  }
  std::string out;
  char block[4096];
  pollfd ready{master, POLLIN, 0};
  while (poll(&ready, 1, 100) == 1) {
    ssize_t got = read(master, block, sizeof block);
    if (got <= 0) break;
    out.append(block, static_cast<size_t>(got));
  }
  close(slave);
  close(master);
  return out;
}

void Line(TerminalConsole& console, const std::string& number, const std::string& text) {
  console.Write(number.data(), number.size());
  console.Write(text.data(), text.size());
}

TEST(TerminalConsoleTest, OnATerminalTheLogsColoursPassAndEveryColouredRowIsResetBeforeItsLineFeed) {
  const std::string listing = "\x1b[0m", changed = "\x1b[0;97;45m";
  std::string shown = OnTerminal([](TerminalConsole& console) {
    console.SetColour(kColourListing);
    // Its own colours pass; a screen clear and a C1 CSI stay visible.
    Line(console, "[0001]", "\x1b[32mINFO\x1b[0m \x1b[1;38;5;196mup\x1b[2J\xC2\x9B" "2J\n");
    Line(console, "[0002]", "plain\n");
    console.SetColour(kColourChanged);
    // A changed line stays wholly highlighted: its own colours are left out.
    Line(console, "[0003]", "\x1b[31mred\n");
    Line(console, "[0004]", "x\r");
    console.Write("\n", 1);
    console.SetColour(kColourListing);
  });
  EXPECT_EQ(shown, listing + "[0001]\x1b[32mINFO\x1b[0m \x1b[1;38;5;196mup^[[2JM-^[2J" + listing + "\n[0002]plain\n" +
                       changed + "[0003]red" + listing + "\n" + changed + "[0004]x^M" + listing + "\n" + listing + listing);
  // Without colours the sequences go and the text stays; a file or a pipe
  // gets today's bytes.
  shown = OnTerminal([](TerminalConsole& console) {
    console.ChooseColours(ColourChoice::kNever);
    Line(console, "[0001]", "\x1b[32mINFO\x1b[0m\n");
  });
  EXPECT_EQ(shown, "[0001]INFO\n");
  EXPECT_EQ(Shown("\x1b[32mINFO\x1b[0m\tx\n"), "^[[32mINFO^[[0m\tx\n");
}

TEST(TerminalConsoleTest, OnATerminalTabsReachTheNextEighthColumnOfTheLinesTextWideCharactersCountingTwo) {
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"\tx\n", "        x\n"},
      {"ab\tc\td\n", "ab      c       d\n"},
      {"\xE6\x97\xA5\xE6\x9C\xAC\tx\n", "\xE6\x97\xA5\xE6\x9C\xAC    x\n"},  // 日本: four columns
      {"e\xCC\x81\tx\n", "e\xCC\x81       x\n"},                                // e and a combining accent
      {"\x01\tx\n", "^A      x\n"},                                                // ^A: two columns
      {"12345678\tx\n", "12345678        x\n"},
  };
  for (const Case& c : cases) {
    std::string shown = OnTerminal([&](TerminalConsole& console) { Line(console, "[0001]", c.text); });
    EXPECT_EQ(shown, "[0001]" + c.expected) << c.text;
  }
}

TEST(TerminalConsoleTest, NamesInTitlesAndMessagesShowTheirControlCharactersAndNoC1Control) {
  std::string shown = OnTerminal([](TerminalConsole& console) {
    console.SetTitle("a\x1b]0;T\x07\xC2\x9C\xC3\xA9");
    console.WriteError("murvex: x\x1b[2J\xC2\x9B" "2J: no such file\n");
  });
  EXPECT_EQ(shown, "\x1b[22;0t\x1b]0;a^[]0;T^GM-^\\\xC3\xA9\x07murvex: x^[[2JM-^[2J: no such file\n\x1b[0m\x1b[23;0t");
}

// A message that cuts into a changed row shows in the terminal's own
// colours; the row's colour comes back with the rest of its text.
TEST(TerminalConsoleTest, AMessageInAChangedRowShowsInTheTerminalsOwnColours) {
  std::string shown = OnTerminal([](TerminalConsole& console) {
    console.SetColour(kColourChanged);
    Line(console, "[0003]", "half");
    console.WriteError("murvex: cannot open x\n");
    console.Write("rest\n", 5);
  });
  size_t message = shown.find("murvex: cannot open x\n");
  ASSERT_NE(message, std::string::npos) << shown;
  EXPECT_EQ(shown.substr(message - 4, 4), "\x1b[0m") << shown;
  EXPECT_NE(shown.find("\x1b[0;97;45mrest", message), std::string::npos) << shown;
}

// In English a failed open names the system's reason; in the system's own
// Japanese texts none is added.
TEST(MessagesTest, AFailedOpenNamesTheSystemsReasonInEnglishOnly) {
  std::string folder = ::testing::TempDir() + "murvex-reason-" + std::to_string(getpid());
  mkdir(folder.c_str(), 0700);
  mkfifo((folder + "/pipe").c_str(), 0600);
  setenv("LC_ALL", "C.UTF-8", 1);
  ChooseMessageLanguage();
  EXPECT_EQ(OpenFailureReason((folder + "/none").c_str()), strerror(ENOENT));
  EXPECT_EQ(OpenFailureReason(folder.c_str()), strerror(EISDIR));
  EXPECT_EQ(OpenFailureReason((folder + "/pipe").c_str()), "not a regular file");
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  ChooseMessageLanguage();
  EXPECT_EQ(OpenFailureReason((folder + "/none").c_str()), "");
  unsetenv("LC_ALL");
  unlink((folder + "/pipe").c_str());
  rmdir(folder.c_str());
}

TEST(TerminalConsoleTest, TextAndMessagesGoOutInTheLocalesCharacterSetWhileTheCLocaleKeepsUtf8) {
  auto write = [](TerminalConsole& console) {
    Line(console, "[0001]", "caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\n");  // café € 日
    console.WriteError("\xE6\x97\xA5\xE6\x9C\xAC\n");                    // 日本
  };
  // Named by the locale even where it is not generated.
  EXPECT_EQ(OnTerminal(write, "fr_FR.ISO-8859-1"), "[0001]caf\xE9 ? ?\n??\n");
  EXPECT_EQ(OnTerminal(write, "ja_JP.eucJP"),  // é from JIS X 0212
            "[0001]caf\x8F\xAB\xB1 ? \xC6\xFC\n\xC6\xFC\xCB\xDC\n");
  const std::string utf8 = "[0001]caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\n\xE6\x97\xA5\xE6\x9C\xAC\n";
  EXPECT_EQ(OnTerminal(write, "C"), utf8);
  EXPECT_EQ(OnTerminal(write, "POSIX"), utf8);
  EXPECT_EQ(OnTerminal(write, "ja_JP.UTF-8"), utf8);
}

// The converted text up to its terminator; the length handed back must match.
std::string Shown(const char* (*convert)(const char*, size_t, size_t*), const std::string& line) {
  size_t length = 0;
  const char* text = convert(line.c_str(), line.size(), &length);
  EXPECT_EQ(length, strlen(text));
  return text;
}

TEST(ConsoleTextTest, CodePage932LinesAreConvertedToUtf8) {
  // "あ" (82 A0) and the half-width katakana "ｱ" (B1) among ASCII; the
  // double-byte character with a backslash as its second byte (83 5C, "ソ")
  // must stay one character.
  EXPECT_EQ(Shown(AnsiLineToConsole, "[0001]\x82\xa0 ok\n"), "[0001]\xe3\x81\x82 ok\n");
  EXPECT_EQ(Shown(AnsiLineToConsole, std::string(20, 'c') + "\xb1\n"), std::string(20, 'c') + "\xef\xbd\xb1\n");
  EXPECT_EQ(Shown(AnsiLineToConsole, "\x83\x5c\n"), "\xe3\x82\xbd\n");
}

TEST(ConsoleTextTest, Utf8LinesPassAsTheyAreWithCharactersCodePage932Lacks) {
  // é, an emoji and "们" (U+4EEC), none of them in code page 932.
  const std::string line = "caf\xC3\xA9 \xF0\x9F\x98\x80 \xE4\xBB\xAC\r\n";
  EXPECT_EQ(Shown(Utf8LineToConsole, line), line);
  EXPECT_EQ(Shown(Utf8LineToConsole, "\xEF\xBB\xBF" + line), line);
  // Malformed forms (stray, overlong, surrogate, cut off) are one space each.
  EXPECT_EQ(Shown(Utf8LineToConsole, "\x80\xC3\xA9\xC0\x80\xED\xA0\x80\xE4\xBB\n"), " \xC3\xA9   \n");
  // A stray byte anywhere in lines of up to three 16-byte blocks is found.
  for (size_t length = 1; length <= 48; ++length) {
    for (size_t at = 0; at < length; ++at) {
      std::string line(length, 'a');
      line[at] = '\x80';
      std::string expected(length, 'a');
      expected[at] = ' ';
      ASSERT_EQ(Shown(Utf8LineToConsole, line), expected) << "length " << length << ", stray byte at " << at;
    }
  }
}

TEST(ConsoleTextTest, Utf16LinesBecomeUtf8WithPairsWholeAndLoneHalvesAsSpaces) {
  const uint16_t line[] = {0xFEFF, 0x63, 0xE9, 0xD83D, 0xDE00, 0x4EEC, 0xD800, 0x41, 0xDC00, 0x0D, 0x0A, 0};
  size_t length = 0;
  const char* text = Utf16LineToConsole(line, 11, &length);
  EXPECT_EQ(std::string(text), "c\xC3\xA9\xF0\x9F\x98\x80\xE4\xBB\xAC A \r\n");
  EXPECT_EQ(length, strlen(text));
}

TEST(ConsoleTextTest, WithoutACodePage932ConverterAsciiPassesAndTheUserIsToldOnce) {
  SetPlatform(MonitorPlatform{nullptr, nullptr, nullptr});
  SetCodePageConverterName("no-such-code-page-murvex");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Shown(AnsiLineToConsole, "a\x82\xA0" "b\xB1\tc\r\n"), "a b \tc\r\n");
  EXPECT_EQ(Shown(AnsiLineToConsole, "\x93\xFA\n"), " \n");
  // "ASCII以外の文字は表示できません"
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ASCII\xE4\xBB\xA5\xE5\xA4\x96\xE3\x81\xAE\xE6\x96\x87\xE5\xAD\x97\xE3\x81\xAF"
            "\xE8\xA1\xA8\xE7\xA4\xBA\xE3\x81\xA7\xE3\x81\x8D\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\n");
  SetCodePageConverterName("CP932");
  EXPECT_EQ(Shown(AnsiLineToConsole, "\x82\xA0"), "\xE3\x81\x82");
}

// A file is no terminal, so the bytes are exactly the lines; the console
// holds at most 1 MiB of them before they go out on their own (a pipe is
// written the same way).
TEST(TerminalConsoleTest, TextGoesOutOnceOneMiBIsHeldWithoutWaitingForAFlush) {
  FILE* file = tmpfile();
  ASSERT_NE(file, nullptr);
  int fd = fileno(file);
  auto written = [&] {
    struct stat status;
    return fstat(fd, &status) == 0 ? static_cast<size_t>(status.st_size) : 0;
  };
  std::string all;
  TerminalConsole console(fd, fd);
  for (int number = 1; number <= 24000; ++number) {
    std::string line = "[" + std::to_string(10000 + number) + "]" + std::string(92, 'x') + "\n";
    console.Write(line.data(), line.size());
    all += line;
    ASSERT_LE(all.size() - written(), (1u << 20) + line.size()) << "held back after line " << number;
  }
  EXPECT_GT(written(), 0u);
  console.Flush();
  std::string out(all.size() + 1, '\0');
  ASSERT_EQ(pread(fd, &out[0], out.size(), 0), static_cast<ssize_t>(all.size()));
  out.resize(all.size());
  EXPECT_EQ(out, all);
  fclose(file);
}

// A pipe of the default size would hold a single write of the console, so
// it is made large enough for the console and its reader to overlap.
TEST(TerminalConsoleTest, AConsoleOnAPipeEnlargesThePipeWhereTheSystemAllows) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int before = fcntl(fds[1], F_GETPIPE_SZ);
  if (fcntl(fds[1], F_SETPIPE_SZ, 1 << 20) < 0) GTEST_SKIP() << "pipes of 1 MiB are not allowed here";
  ASSERT_GE(fcntl(fds[1], F_SETPIPE_SZ, before), 0);
  { TerminalConsole console(fds[1], fds[1]); }
  EXPECT_GE(fcntl(fds[1], F_GETPIPE_SZ), 1 << 20);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
