#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CommandRunner.h"
#include "RuntimeArguments.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::vector<std::string> Tokens(const char* source, const char* delimiters) {
  std::vector<std::string> tokens;
  char token[kTokenSize];
  while ((source = NextToken(source, token, delimiters)) != nullptr) tokens.push_back(token);
  EXPECT_STREQ(token, "");
  return tokens;
}

using Strings = std::vector<std::string>;

TEST(NextTokenTest, SplitsAtDelimitersSkippingRepeats) {
  EXPECT_EQ(Tokens("  a  bc d ", " "), (Strings{"a", "bc", "d"}));
  EXPECT_EQ(Tokens("C:\\x;;D:\\y z", "; "), (Strings{"C:\\x", "D:\\y", "z"}));
  EXPECT_EQ(Tokens("", " "), Strings{});
  EXPECT_EQ(Tokens("   ", " "), Strings{});
}

TEST(NextTokenTest, QuotesKeepBlanksAndAreRemovedAnywhereInToken) {
  EXPECT_EQ(Tokens("ab\"c d\"e f", " "), (Strings{"abc de", "f"}));
  EXPECT_EQ(Tokens("\"C:\\Program Files\\x.exe\" \"a\"", " "), (Strings{"C:\\Program Files\\x.exe", "a"}));
}

TEST(NextTokenTest, EmptyQuotedTokenEndsTheSplitting) {
  EXPECT_EQ(Tokens("a \"\" b c", " "), Strings{"a"});
  EXPECT_EQ(Tokens("a \"\"", " "), Strings{"a"});
}

TEST(NextTokenTest, ReturnsPositionOfStoppingDelimiter) {
  const char* source = "ab cd";
  char token[kTokenSize];
  EXPECT_EQ(NextToken(source, token, " "), source + 2);
  EXPECT_STREQ(token, "ab");
  EXPECT_EQ(NextToken(source + 2, token, " "), source + 5);
  EXPECT_STREQ(token, "cd");
}

TEST(NextTokenTest, NeverSplitsAtSecondByteOfDoubleByteCharacter) {
  // 0x95 0x5C is one character whose second byte is a backslash.
  EXPECT_EQ(Tokens("C:\\\x95\x5C\\a", ":\\"), (Strings{"C", "\x95\x5C", "a"}));
  // 0x83 0x20 is not a blank.
  EXPECT_EQ(Tokens("\x83\x20x y", " "), (Strings{"\x83\x20x", "y"}));
  // A blank after a lead-range byte that is itself a second byte still splits.
  EXPECT_EQ(Tokens("\x81\x81 x", " "), (Strings{"\x81\x81", "x"}));
}

TEST(NextTokenTest, CutsLongTokenAt259BytesAndContinuesWithTheRest) {
  std::string longWord(300, 'a');
  longWord[259] = 'b';
  Strings tokens = Tokens(longWord.c_str(), " ");
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0], std::string(259, 'a'));
  EXPECT_EQ(tokens[1], "b" + std::string(40, 'a'));
}

class FakeEnvironment : public CommandEnvironment {
 public:
  std::map<std::string, std::string> variables;
  std::set<std::string> readable;
  std::vector<std::string> tried;
  std::vector<std::string> directories;
  std::string folder = "C:\\Apps\\";

  const char* Variable(const char* name) override {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  }
  bool IsReadable(const char* path) override {
    tried.push_back(path);
    return readable.count(path) != 0;
  }
  void ChangeDirectory(const char* path) override { directories.push_back(path); }
  const char* ExecutableFolder() override { return folder.c_str(); }
};

class BuildCommandLineTest : public ::testing::Test {
 protected:
  FakeEnvironment environment;
  BuiltCommand built{};

  std::string Build(const char* command, int show = 1) {
    EXPECT_EQ(BuildCommandLine(command, show, environment, &built), 0) << command;
    return built.commandLine;
  }
};

TEST_F(BuildCommandLineTest, WorkedExamples) {
  EXPECT_EQ(Build("\"C:\\Apps\\MURVEX.exe\" \"D:\\logs\\app.log\""), "C:\\Apps\\MURVEX.exe D:\\logs\\app.log");
  EXPECT_EQ(built.creationFlags, 0x20UL);
  EXPECT_FALSE(built.hidden);

  EXPECT_EQ(Build("\"C:\\Program Files\\x\\MURVEX.exe\" \"D:\\my logs\\a.log\""),
            "\"C:\\Program Files\\x\\MURVEX.exe\" \"D:\\my logs\\a.log\"");

  environment.variables["PATH"] = "C:\\Windows\\system32;C:\\Windows";
  environment.readable.insert("C:\\Windows\\system32\\TASKKILL.exe");
  EXPECT_EQ(Build("TASKKILL.exe /F /IM MURVEX.EXE", 0), "C:\\Windows\\system32\\TASKKILL.exe /F /IM MURVEX.EXE");
  EXPECT_EQ(built.creationFlags, 0x08000000UL);
  EXPECT_TRUE(built.hidden);

  EXPECT_EQ(Build("tool.exe a"), "C:\\Apps\\tool.exe a");

  environment.variables["windir"] = "C:\\Windows";
  EXPECT_EQ(Build("D:\\jobs\\run.bat x"), "C:\\Windows\\SYSTEM32\\CMD.EXE /C run.bat x");
  EXPECT_EQ(environment.directories, Strings{"D:\\jobs\\"});
}

TEST_F(BuildCommandLineTest, ShowValueReachesTheStartupRecordAndAnUnknownFolderFindsNothing) {
  const char* start = "\"C:\\Apps\\MURVEX.exe\" \"D:\\a.log\"";
  struct Case {
    int show, showWindow;
    unsigned long flags;
  };
  for (Case c : {Case{0, 0, 0x08000000UL}, Case{1, -1, 0x20UL}, Case{7 /* SW_SHOWMINNOACTIVE */, 7, 0x20UL}}) {
    Build(start, c.show);
    EXPECT_EQ(built.showWindow, c.showWindow) << c.show;
    EXPECT_EQ(built.creationFlags, c.flags) << c.show;
  }
  // No program of that name from wherever the manager stands.
  environment.folder = "";
  EXPECT_EQ(BuildCommandLine("tool.exe a", 1, environment, &built), -1);
  EXPECT_EQ(Build(start), "C:\\Apps\\MURVEX.exe D:\\a.log");
}

TEST_F(BuildCommandLineTest, RefusesCommandsShorterThanFourBytes) {
  environment.variables["windir"] = "C:\\Windows";
  EXPECT_EQ(BuildCommandLine(nullptr, 1, environment, &built), -1);
  EXPECT_EQ(BuildCommandLine("", 1, environment, &built), -1);
  EXPECT_EQ(BuildCommandLine("abc", 1, environment, &built), -1);
  EXPECT_TRUE(environment.directories.empty());
  EXPECT_EQ(Build("abcd"), "C:\\Windows\\SYSTEM32\\CMD.EXE /C abcd");
}

TEST_F(BuildCommandLineTest, ExeSuffixInAnyCaseSelectsProgramMode) {
  environment.variables["windir"] = "C:\\W";
  EXPECT_EQ(Build("C:\\a\\b.exe"), "C:\\a\\b.exe");
  EXPECT_EQ(Build("C:\\a\\b.Exe"), "C:\\a\\b.Exe");
  EXPECT_EQ(Build("C:\\a\\bexe"), "C:\\a\\bexe");
  EXPECT_EQ(Build("C:\\a\\b.ex"), "C:\\W\\SYSTEM32\\CMD.EXE /C b.ex");
}

TEST_F(BuildCommandLineTest, InterpreterModeNeedsWindir) {
  EXPECT_EQ(BuildCommandLine("D:\\jobs\\run.bat x", 1, environment, &built), -1);
  EXPECT_TRUE(environment.directories.empty());
}

TEST_F(BuildCommandLineTest, InterpreterWithBareFirstTokenStaysInCurrentDirectory) {
  environment.variables["windir"] = "C:\\Windows";
  EXPECT_EQ(Build("dir /b \"a b\""), "C:\\Windows\\SYSTEM32\\CMD.EXE /C dir /b \"a b\"");
  EXPECT_EQ(environment.directories, Strings{".\\"});
}

TEST_F(BuildCommandLineTest, QuotesOnlyArgumentsThatHoldBlanks) {
  EXPECT_EQ(Build("C:\\a\\x.exe \"plain\" \"two words\" bare"), "C:\\a\\x.exe plain \"two words\" bare");
}

TEST_F(BuildCommandLineTest, EmptyQuotedArgumentDropsTheRest) {
  EXPECT_EQ(Build("C:\\a\\x.exe one \"\" two three"), "C:\\a\\x.exe one");
}

TEST_F(BuildCommandLineTest, ProgramPathWithBlankIsQuotedEvenWhenItNamesCmd) {
  EXPECT_EQ(Build("\"C:\\cmd tools\\x.exe\" a"), "\"C:\\cmd tools\\x.exe\" a");
}

TEST_F(BuildCommandLineTest, PathElementsSplitAtBlanksAndGetOneBackslash) {
  environment.variables["PATH"] = "C:\\Program Files\\bin;D:\\tools\\";
  Build("tool.exe");
  EXPECT_EQ(environment.tried,
            (Strings{"C:\\Program\\tool.exe", "Files\\bin\\tool.exe", "D:\\tools\\tool.exe"}));
  EXPECT_STREQ(built.commandLine, "C:\\Apps\\tool.exe");
}

TEST_F(BuildCommandLineTest, MissingPathSearchesCurrentDirectory) {
  environment.readable.insert(".\\tool.exe");
  EXPECT_EQ(Build("tool.exe"), ".\\tool.exe");
}

TEST_F(BuildCommandLineTest, KeepsAtMostSixteenTokens) {
  std::string command = "C:\\a\\x.exe";
  std::string expected = command;
  for (int i = 1; i <= 20; ++i) {
    command += " " + std::to_string(i);
    if (i < 16) expected += " " + std::to_string(i);
  }
  EXPECT_EQ(Build(command.c_str()), expected);
}

TEST_F(BuildCommandLineTest, RefusesRatherThanCutsOverlongPaths) {
  environment.variables["windir"] = std::string(250, 'w');
  EXPECT_EQ(BuildCommandLine("run.bat x", 1, environment, &built), -1);
  environment.variables["windir"] = "C:\\Windows";
  std::string tooLong = "D:\\jobs\\run.bat " + std::string(500, 'a');
  EXPECT_EQ(BuildCommandLine(tooLong.c_str(), 1, environment, &built), -1);
  EXPECT_TRUE(environment.directories.empty());

  environment.folder = "C:\\" + std::string(250, 'f') + "\\";
  EXPECT_EQ(BuildCommandLine("tool.exe", 1, environment, &built), -1);
}

TEST_F(BuildCommandLineTest, SkipsPathCandidatesTooLongForTheBuffer) {
  std::string longDir = "C:\\" + std::string(252, 'd');
  environment.variables["PATH"] = longDir + ";C:\\bin";
  environment.readable.insert("C:\\bin\\tool.exe");
  EXPECT_EQ(Build("tool.exe"), "C:\\bin\\tool.exe");
  EXPECT_EQ(environment.tried, Strings{"C:\\bin\\tool.exe"});
}

TEST_F(BuildCommandLineTest, RefusesCommandLineBeyond527Bytes) {
  std::string arg(200, 'a');
  std::string command = "C:\\a\\x.exe " + arg + " " + arg;
  EXPECT_EQ(Build(command.c_str()).size(), 10u + 2 * 201);
  command += " " + arg;
  EXPECT_EQ(BuildCommandLine(command.c_str(), 1, environment, &built), -1);
}

TEST(StartCommandTest, QuotesBothPathsAndRefusesWhatWouldNotFit) {
  char command[kStartCommandSize];
  ASSERT_EQ(FormatStartCommand(command, sizeof command, "C:\\bin\\MURVEX.exe", "D:\\my logs\\a.log"), 0);
  EXPECT_STREQ(command, "\"C:\\bin\\MURVEX.exe\" \"D:\\my logs\\a.log\"");
  // Two paths of 259 bytes always fit; a longer one would come back from
  // the tokenizer cut in two.
  std::string program(259, 'p'), watched(259, 'w');
  EXPECT_EQ(FormatStartCommand(command, sizeof command, program.c_str(), watched.c_str()), 0);
  EXPECT_EQ(FormatStartCommand(command, sizeof command, program.c_str(), (watched + "w").c_str()), -1);
  EXPECT_STREQ(command, "");
}

// A planted list entry may hold anything: it reaches the monitor as exactly
// one argument, split back by the C runtime's rules, or is refused.
TEST_F(BuildCommandLineTest, EveryListEntryReachesTheMonitorAsOneArgumentOrIsRefused) {
  const char* program = "C:\\Program Files\\Kestrin\\MURVEX.exe";
  const std::string sixteen = "a b c d e f g h i j k l m n o p q";
  const std::string entries[] = {
      "D:\\logs\\a.log", "D:\\my logs\\a.log", "D:\\tab\there.log", "D:\\end in backslash \\",
      "D:\\two\\\\ \\\\", "D:\\x\xE3\x81\x81\\ y.log", "D:\\my \xE3\x81\x81\\", "D:\\caf\xC3\xA9 \xE3\x83\xAD\xE3\x82\xB0.log", "D:\\" + sixteen, "\\\\server\\share\\b.log",
      std::string(259, 'w')};
  char command[kStartCommandSize];
  for (const std::string& entry : entries) {
    SCOPED_TRACE(entry);
    ASSERT_EQ(FormatStartCommand(command, sizeof command, program, entry.c_str()), 0);
    EXPECT_EQ(SplitLikeTheCRuntime(Build(command).c_str()), (Strings{program, entry}));
  }
  for (const std::string& refused : {std::string("D:\\a\" b \"c.log"), std::string("x\"") + sixteen, std::string(260, 'w')}) {
    EXPECT_EQ(FormatStartCommand(command, sizeof command, program, refused.c_str()), -1) << refused;
  }
}

TEST_F(BuildCommandLineTest, StopRunsTheSystemsTaskKillNeverOneAlongPathOrBesideTheManager) {
  char command[kCommandLineSize];
  environment.variables["PATH"] = "C:\\Program Files\\bin;C:\\Windows\\system32";
  environment.readable = {"Files\\bin\\TASKKILL.exe", "C:\\Apps\\TASKKILL.exe"};
  ASSERT_EQ(FormatStopCommand(command, sizeof command, "C:\\Windows\\system32", "Taro Yamada"), 0);
  EXPECT_EQ(Build(command, 0),
            "C:\\Windows\\system32\\TASKKILL.exe /F /FI \"USERNAME eq Taro Yamada\" /IM MURVEX.EXE");
  EXPECT_TRUE(environment.tried.empty());
  EXPECT_EQ(FormatStopCommand(command, sizeof command, "", "taro"), -1);
  EXPECT_EQ(FormatStopCommand(command, sizeof command, std::string(kCommandLineSize, 's').c_str(), "taro"), -1);
  // Unfiltered it would end other users' monitors too.
  EXPECT_EQ(FormatStopCommand(command, sizeof command, "C:\\Windows\\system32", ""), -1);
  EXPECT_EQ(FormatStopCommand(command, sizeof command, "C:\\Windows\\system32", "a\" /FI \"PID ne 0"), -1);
  EXPECT_STREQ(command, "");
}

#ifdef _WIN32
TEST(RunCommandTest, RefusesShortCommandAndMissingProgram) {
  EXPECT_EQ(RunCommand("abc", 1), -1);
  EXPECT_EQ(RunCommand("C:\\no\\such\\program.exe", 0), -1);
}

TEST(RunCommandTest, RunsBatchFileHiddenInItsOwnFolder) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("kestrin_run_" + std::to_string(std::random_device{}()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::ofstream(folder / "make.bat") << "@echo done> done.txt\n";
  fs::path before = fs::current_path();

  std::string command = "\"" + (folder / "make.bat").string() + "\"";
  ASSERT_EQ(RunCommand(command.c_str(), 0), 0);
  EXPECT_TRUE(fs::equivalent(fs::current_path(), folder));

  // Never waits for the process: poll for its effect, with a generous bound under wine.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(folder / "done.txt") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(fs::exists(folder / "done.txt"));
  fs::current_path(before);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

std::string g_goFile;

TEST(RunCommandTest, WaitingHandlesTheThreadsMessagesUntilTheProcessEnds) {
  namespace fs = std::filesystem;
  fs::path folder = fs::temp_directory_path() / ("kestrin_wait_" + std::to_string(std::random_device{}()));
  ASSERT_TRUE(fs::create_directory(folder));
  std::ofstream(folder / "wait.bat") << ":wait\r\n@if not exist go.txt goto wait\r\n";
  g_goFile = (folder / "go.txt").string();
  fs::path before = fs::current_path();

  // The process ends only once a timer of the waiting thread has fired.
  UINT_PTR timer = SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR, DWORD) { std::ofstream(g_goFile) << "go"; });
  std::string command = "\"" + (folder / "wait.bat").string() + "\"";
  EXPECT_EQ(RunCommandAndWait(command.c_str(), 0, 20000), 0);
  KillTimer(nullptr, timer);
  std::ofstream(g_goFile) << "go";  // ends it in any case
  fs::current_path(before);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}
#endif

}  // namespace
