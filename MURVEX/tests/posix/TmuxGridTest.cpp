// Several files: the real murvex opens them in a real tmux, a server of
// the test's own (its socket in a private folder) that is killed after.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MonitorOnTerminal.h"

namespace fs = std::filesystem;

namespace {

class TmuxGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) / ("murvex-grid-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    // Where tmux puts its socket under TMUX_TMPDIR, private as it wants it.
    fs::path sockets = folder_ / "tmux" / ("tmux-" + std::to_string(getuid()));
    fs::create_directories(sockets);
    chmod(sockets.c_str(), 0700);
    socket_ = (sockets / "default").string();
  }
  void TearDown() override {
    Tmux("kill-server");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  // tmux's standard output for a command to the test's server.
  std::string Tmux(const std::string& command) {
    std::string output;
    FILE* pipe = popen(("tmux -S '" + socket_ + "' " + command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return output;
    char block[4096];
    for (size_t got; (got = fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, got);
    pclose(pipe);
    return output;
  }
  // Files 1.log, 2.log, ... each of one line naming it.
  std::vector<std::string> Files(int count) {
    std::vector<std::string> paths;
    for (int i = 1; i <= count; ++i) {
      paths.push_back((folder_ / (std::to_string(i) + ".log")).string());
      std::ofstream(paths.back(), std::ios::binary) << "file " << i << "\n";
    }
    return paths;
  }
  // Waits (at most 20 s) until the target window is complete (its border
  // status set, murvex's last step) with `count` panes; then the panes,
  // listed by `format`.
  std::vector<std::string> Panes(const std::string& target, size_t count, const std::string& format) {
    std::vector<std::string> panes;
    for (int i = 0; i < 200; ++i) {
      std::istringstream lines(Tmux("list-panes -t '" + target + "' -F '" + format + "'"));
      panes.clear();
      for (std::string line; std::getline(lines, line);) panes.push_back(line);
      if (panes.size() == count && Tmux("show-options -w -v -t '" + target + "' pane-border-status") == "top\n") break;
      usleep(100000);
    }
    return panes;
  }
  // Waits until every pane of the target shows its file's first line.
  bool EveryPaneShowsItsFile(const std::string& target, const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
      std::string pane = target + "." + std::to_string(i);
      std::string expected = "[0001]file " + names[i].substr(0, names[i].find('.'));
      int tries = 0;
      while (Tmux("capture-pane -p -t '" + pane + "'").find(expected) == std::string::npos) {
        if (++tries == 200) return false;
        usleep(100000);
      }
    }
    return true;
  }

  fs::path folder_;
  std::string socket_;
};

// Thirteen files outside tmux: a new session on the terminal, the first
// twelve in a window of four columns by three rows in the order given, the
// thirteenth in a second window; each pane titled with its file's name.
TEST_F(TmuxGridTest, OutsideTmuxANewSessionTilesTwelveFilesAWindowInOrder) {
  std::vector<std::string> files = Files(13);
  Launch launch{files, {{"TMUX", ""}, {"TMUX_TMPDIR", (folder_ / "tmux").string()}}};
  MonitorOnTerminal client(launch);
  std::vector<std::string> first = Panes("0:0", 12, "#{pane_title} #{pane_top} #{pane_left}");
  ASSERT_EQ(first.size(), 12u) << client.Screen();
  std::vector<int> rowTops, columnLefts;
  for (size_t i = 0; i < 12; ++i) {
    std::istringstream pane(first[i]);
    std::string title;
    int top = -1, left = -1;
    pane >> title >> top >> left;
    EXPECT_EQ(title, std::to_string(i + 1) + ".log");
    if (i % 4 == 0) rowTops.push_back(top);
    if (i < 4) columnLefts.push_back(left);
    EXPECT_EQ(top, rowTops[i / 4]) << first[i];
    EXPECT_EQ(left, columnLefts[i % 4]) << first[i];
  }
  EXPECT_TRUE(std::is_sorted(rowTops.begin(), rowTops.end()) && rowTops.front() < rowTops.back());
  EXPECT_TRUE(std::is_sorted(columnLefts.begin(), columnLefts.end()) && columnLefts.front() < columnLefts.back());
  EXPECT_EQ(Panes("0:1", 1, "#{pane_title}"), std::vector<std::string>{"13.log"});
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back(std::to_string(i) + ".log");
  EXPECT_TRUE(EveryPaneShowsItsFile("0:0", names)) << Tmux("capture-pane -p -t 0:0.0");
  // The terminal shows the session: the murvex process became its client.
  EXPECT_TRUE(client.WaitFor("[0001]file 1")) << client.Screen();
}

// Inside tmux: a new window in the current session, in front, and murvex
// returns at once. With -F a file not there yet is awaited in its pane.
TEST_F(TmuxGridTest, InsideTmuxANewWindowOpensInTheCurrentSession) {
  Tmux("-f /dev/null new-session -d -s work -x 120 -y 40");
  std::string inside = Tmux("display-message -p -t work '#{socket_path},#{pid},#{session_id}'");
  ASSERT_FALSE(inside.empty());
  inside.erase(inside.find('$'), 1);
  inside.pop_back();
  std::vector<std::string> files = Files(2);
  const std::string later = (folder_ / "3.log").string();
  std::string command = "TMUX='" + inside + "' " + MURVEX_BINARY + " -F " + files[0] + " " + files[1] + " " + later +
                        " 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Tmux("list-windows -t work -F '#{window_index}#{?window_active,*,}'"), "0\n1*\n");
  EXPECT_EQ(Panes("work:1", 3, "#{pane_title}"), (std::vector<std::string>{"1.log", "2.log", "3.log"}));
  std::ofstream(later, std::ios::binary) << "file 3\n";
  EXPECT_TRUE(EveryPaneShowsItsFile("work:1", {"1.log", "2.log", "3.log"}));
}

// One murvex in a pane of 40 by 5: tabs line up from the start of each
// line's text, a wide character counting two, and a highlighted line is
// highlighted across them; once the pane scrolls, no row is painted in the
// highlight beyond a line's text, as a client drawing the pane shows: tmux
// keeps the colour a line feed clears a new row in (background colour
// erase), though capture-pane leaves such cells out.
TEST_F(TmuxGridTest, TabsLineUpAndTheHighlightNeverSpillsOverTheRowsOfAScrollingPane) {
  std::string path = (folder_ / "tabs.log").string();
  std::ofstream(path, std::ios::binary) << "a\tb\n\xE6\x97\xA5\tc\n";
  Tmux("-f /dev/null new-session -d -s spill -x 40 -y 5 'env LC_ALL=C.UTF-8 " + std::string(MURVEX_BINARY) + " " + path + "'");
  Tmux("set-option -g window-size manual");
  auto capture = [&](const std::string& text) {
    std::string shown;
    for (int tries = 0; tries < 200 && (shown = Tmux("capture-pane -e -p -S -20 -t spill")).find(text) == std::string::npos; ++tries) {
      usleep(50000);
    }
    return shown;
  };
  EXPECT_NE(capture("[0002]").find("[0001]a       b\n[0002]\xE6\x97\xA5      c\n"), std::string::npos)
      << Tmux("capture-pane -e -p -S -20 -t spill");
  std::ofstream(path, std::ios::binary | std::ios::app) << "x\ty\n3\n4\n5\n6\n7\n8\n";
  std::string shown = capture("[0009]8");
  EXPECT_NE(shown.find("\x1b[97m\x1b[45m[0003]x       y\n"), std::string::npos) << shown;

  MonitorOnTerminal client(Launch{{"-S", socket_, "attach", "-t", "spill"}, {{"TMUX", ""}}, false, "/usr/bin/tmux"});
  ASSERT_TRUE(client.WaitFor("[0009]8")) << client.Screen();
  client.ReadFor(300);
  // Each erase of the client's drawing in the colours then set: never magenta.
  bool magenta = false;
  const std::string& drawn = client.Screen();
  for (size_t at = 0; (at = drawn.find("\x1b[", at)) != std::string::npos; ++at) {
    size_t end = drawn.find_first_of("ABCDEFGHJKLMPSTXZ@`dfhlmnrt", at + 2);
    if (end == std::string::npos) break;
    std::string parameters = drawn.substr(at + 2, end - at - 2);
    if (drawn[end] == 'm') {
      if (parameters.empty() || parameters == "0" || parameters.find("49") != std::string::npos) magenta = false;
      if (parameters.find("45") != std::string::npos) magenta = true;
    } else if (drawn[end] == 'K' || drawn[end] == 'J' || drawn[end] == 'X') {
      EXPECT_FALSE(magenta) << "erased in magenta at byte " << at << " of the drawing:\n" << drawn;
    }
  }
}

// tmux expands formats in a start folder and a pane title: a folder or a
// file named so must neither run a command nor change what is shown.
TEST_F(TmuxGridTest, AFolderOrFileNamedLikeATmuxFormatRunsNothingAndShowsAsNamed) {
  const fs::path mark = folder_ / "ran";
  setenv("MURVEX_GRID_MARK", mark.c_str(), 1);  // the server's environment
  Tmux("-f /dev/null new-session -d -s work -x 120 -y 40");
  std::string inside = Tmux("display-message -p -t work '#{socket_path},#{pid},#{session_id}'");
  ASSERT_FALSE(inside.empty());
  inside.erase(inside.find('$'), 1);
  inside.pop_back();
  const fs::path crafted = folder_ / "proj#(touch \"$MURVEX_GRID_MARK\")#{host}";
  fs::create_directories(crafted);
  const std::vector<std::string> names = {"g#{pane_id}#{host}.log", "x##(touch \"$MURVEX_GRID_MARK\").log"};
  for (const std::string& name : names) {
    std::ofstream(crafted / name, std::ios::binary) << "file " << name.substr(0, name.find('.')) << "\n";
  }
  std::string command = "cd '" + crafted.string() + "' && TMUX='" + inside + "' " + MURVEX_BINARY + " '" + names[0] +
                        "' '" + names[1] + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(Panes("work:1", 2, "#{pane_title}"), names);
  EXPECT_TRUE(EveryPaneShowsItsFile("work:1", names));
  EXPECT_EQ(Panes("work:1", 2, "#{pane_current_path}"), (std::vector<std::string>(2, crafted.string())));
  // A command the server runs after them has ended: so would theirs have.
  const fs::path after = folder_ / "after";
  Tmux("run-shell 'touch " + after.string() + "'");
  ASSERT_TRUE(fs::exists(after));
  EXPECT_FALSE(fs::exists(mark)) << "a name ran a command";
  unsetenv("MURVEX_GRID_MARK");
}

// Nothing opens when tmux is missing or a file is refused; each is said.
TEST_F(TmuxGridTest, WithoutTmuxOrWithARefusedFileNothingOpensAndTheUserIsTold) {
  std::vector<std::string> files = Files(2);
  fs::create_directories(folder_ / "empty");
  const std::pair<std::string, std::string> cases[] = {
      {"PATH=" + (folder_ / "empty").string() + " " + MURVEX_BINARY + " " + files[0] + " " + files[1],
       "tmux, which is not installed; install it\n(sudo apt install tmux)"},
      {std::string(MURVEX_BINARY) + " " + files[0] + " missing.log " + folder_.string(),
       "murvex: missing.log: no such file\nmurvex: " + folder_.string() + " is a folder, not a file\n"},
  };
  for (const auto& [command, message] : cases) {
    std::string err = (folder_ / "err").string();
    int status = std::system(("TMUX= TMUX_TMPDIR=" + (folder_ / "tmux").string() + " LC_ALL=C.UTF-8 " + command +
                              " 2>" + err + " </dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << command;
    std::ifstream in(err, std::ios::binary);
    std::string said((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(said.find(message), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(socket_)) << command;
  }
}

}  // namespace
