// The real murvex on a real file, its terminal read through a
// pseudo-terminal: what the user sees, colours included.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "MonitorOnTerminal.h"

namespace {

std::string TempPath(const char* name) {
  std::string path = std::string(::testing::TempDir()) + "murvex-e2e-" + name + "-" + std::to_string(getpid()) + ".log";
  return path;
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

TEST(TerminalEndToEndTest, ListsTheFileThenShowsOnlyAppendedLinesHighlighted) {
  std::string path = TempPath("append");
  { std::ofstream(path, std::ios::binary) << "first\nsecond\n"; }
  MonitorOnTerminal monitor(path);
  ASSERT_TRUE(monitor.WaitFor("[0002]second")) << monitor.Screen();
  EXPECT_NE(monitor.Screen().find(kFirstListing + "\x1b]0;murvex-e2e-append"), std::string::npos) << monitor.Screen();
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

}  // namespace
