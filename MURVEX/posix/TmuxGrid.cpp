#include "TmuxGrid.h"

#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The manager's grid: four columns by three rows of monitors a screen.
constexpr size_t kColumns = 4;
constexpr size_t kRows = 3;

using Arguments = std::vector<std::string>;

// Whether murvex runs in a tmux pane, as tmux itself tells it.
bool InsideTmux() {
  const char* tmux = getenv("TMUX");
  return tmux != nullptr && *tmux != '\0';
}

// The path of the tmux program on PATH, or "" when there is none.
std::string FindTmux() {
  const char* path = getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= folders.size();) {
    size_t end = folders.find(':', at);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(at, end - at);
    std::string program = (folder.empty() ? "." : folder) + "/tmux";
    if (access(program.c_str(), X_OK) == 0) return program;
    at = end + 1;
  }
  return "";
}

// Runs tmux with arguments; 0 with its standard output (last line end
// removed) in *output, or -1 when it could not run or failed (tmux has said
// why on standard error).
int RunTmux(const std::string& tmux, const Arguments& arguments, std::string* output) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv{const_cast<char*>(tmux.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(tmux.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  output->clear();
  char block[512];
  for (ssize_t got; (got = read(fds[0], block, sizeof block)) != 0;) {
    if (got > 0) output->append(block, static_cast<size_t>(got));
    else if (errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  while (!output->empty() && output->back() == '\n') output->pop_back();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

// text in single quotes for the shell that tmux runs each pane's command in.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// text as tmux shows it where it expands formats (a start folder, a pane
// title): every '#' doubled, so no #(command) runs and no #{...} is filled.
std::string FormatLiteral(const std::string& text) {
  std::string literal;
  for (char c : text) literal += c == '#' ? std::string("##") : std::string(1, c);
  return literal;
}

std::string BareName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class Grid {
 public:
  Grid(std::string tmux, const GridOptions& options) : tmux_(std::move(tmux)) {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    program_ = length > 0 ? std::string(self, static_cast<size_t>(length)) : "murvex";
    char here[PATH_MAX];
    if (getcwd(here, sizeof here) != nullptr) folder_ = here;
    monitor_ = "exec " + Quoted(program_) + " --stay-on-exit";
    if (options.lines != nullptr) monitor_ += " -n " + Quoted(options.lines);
    if (options.encoding != nullptr) monitor_ += " --encoding=" + Quoted(options.encoding);
    if (options.retry) monitor_ += " -F";
    ColourChoice colour = options.colour;
    // The panes run with tmux's environment: the user's wish for no colour
    // is handed on, and the language of the messages.
    const char* noColour = getenv("NO_COLOR");
    if (colour == ColourChoice::kAuto && noColour != nullptr && *noColour != '\0') colour = ColourChoice::kNever;
    if (colour == ColourChoice::kAlways) monitor_ += " --color=always";
    if (colour == ColourChoice::kNever) monitor_ += " --color=never";
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = getenv(name);
      if (value != nullptr) environment_.insert(environment_.end(), {"-e", std::string(name) + "=" + value});
    }
  }

  // Opens one window (in front unless detached) with files[first, first +
  // count) in it. The rows are made first, while each is one pane the
  // window's width, then each row is cut into its columns; tmux numbers the
  // panes in that order too. 0 or -1.
  int OpenWindow(const std::vector<const char*>& files, size_t first, size_t count, bool detached) {
    size_t columns = count < kColumns ? count : kColumns;
    size_t rows = (count + columns - 1) / columns;
    std::vector<std::string> rowStarts;
    for (size_t row = 0; row < rows; ++row) {
      Arguments where = row == 0 ? NewWindow(detached)
                                 // Each new row takes its share of what the rows above left.
                                 : Arguments{"split-window", "-v", "-t", rowStarts.back(), "-l", Share(rows - row)};
      std::string pane = OpenPane(where, files[first + row * columns]);
      if (pane.empty()) return -1;
      rowStarts.push_back(pane);
    }
    for (size_t row = 0; row < rows; ++row) {
      size_t inRow = row + 1 < rows ? columns : count - row * columns;
      std::string pane = rowStarts[row];
      for (size_t column = 1; column < inRow; ++column) {
        pane = OpenPane({"split-window", "-h", "-t", pane, "-l", Share(inRow - column)},
                        files[first + row * columns + column]);
        if (pane.empty()) return -1;
      }
    }
    if (firstWindow_.empty()) firstWindow_ = window_;
    return Tmux({"set-option", "-w", "-t", window_, "pane-border-status", "top"});
  }

  int Tmux(const Arguments& arguments) {
    std::string ignored;
    return RunTmux(tmux_, arguments, &ignored);
  }
  const std::string& Session() const { return session_; }
  const std::string& FirstWindow() const { return firstWindow_; }
  const std::string& Program() const { return tmux_; }

 private:
  Arguments NewWindow(bool detached) {
    if (session_.empty() && !InsideTmux()) {
      // Outside tmux: a session of the terminal's size, attached later.
      Arguments arguments = {"new-session", "-d"};
      winsize size{};
      if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        arguments.insert(arguments.end(), {"-x", std::to_string(size.ws_col), "-y", std::to_string(size.ws_row)});
      }
      return arguments;
    }
    Arguments arguments = {"new-window"};
    if (detached) arguments.push_back("-d");
    // After the first window, the others go into the same session.
    if (!session_.empty()) arguments.insert(arguments.end(), {"-t", session_ + ":"});
    return arguments;
  }
  // Opens a pane by `where` (a new window or a split) with the monitor of
  // file in it, titled with its bare name; its id, or "" when tmux failed.
  std::string OpenPane(Arguments arguments, const char* file) {
    const std::string path = Absolute(file);
    arguments.insert(arguments.end(), {"-P", "-F", "#{session_id} #{window_id} #{pane_id}", "-c", FormatLiteral(folder_)});
    arguments.insert(arguments.end(), environment_.begin(), environment_.end());
    arguments.push_back(monitor_ + " -- " + Quoted(path));
    std::string ids;
    if (RunTmux(tmux_, arguments, &ids) != 0) return "";
    size_t space = ids.find(' '), last = ids.rfind(' ');
    if (space == std::string::npos || last == space) return "";
    session_ = ids.substr(0, space);
    window_ = ids.substr(space + 1, last - space - 1);
    std::string pane = ids.substr(last + 1);
    return Tmux({"select-pane", "-t", pane, "-T", FormatLiteral(BareName(path))}) == 0 ? pane : "";
  }
  // The size of the pane split off, for `left` equal parts of which it
  // takes all but one.
  static std::string Share(size_t left) { return std::to_string(100 * (left) / (left + 1)) + "%"; }
  std::string Absolute(const std::string& path) const {
    return path.empty() || path[0] == '/' || folder_.empty() ? path : folder_ + "/" + path;
  }

  std::string tmux_, program_, folder_, monitor_;
  Arguments environment_;
  std::string session_, window_, firstWindow_;  // ids of the last pane's, and of the first window
};

}  // namespace

int OpenGrid(const std::vector<const char*>& files, const GridOptions& options) {
  std::string tmux = FindTmux();
  if (tmux.empty()) {
    fputs(Localised("複数のファイルは tmux の画面に並べて表示します。tmux をインストールしてください（sudo apt install tmux）\n"), stderr);
    return 1;
  }
  const bool inside = InsideTmux();
  Grid grid(tmux, options);
  const size_t perWindow = kColumns * kRows;
  for (size_t first = 0; first < files.size(); first += perWindow) {
    size_t count = files.size() - first < perWindow ? files.size() - first : perWindow;
    // Inside tmux the first window opens in front; the others behind it.
    if (grid.OpenWindow(files, first, count, first > 0) != 0) {
      if (!inside && !grid.Session().empty()) grid.Tmux({"kill-session", "-t", grid.Session()});
      fputs(Localised("tmux で画面を開けませんでした\n"), stderr);
      return 1;
    }
  }
  if (inside) return 0;
  // The process becomes the session's client, on this terminal.
  grid.Tmux({"select-window", "-t", grid.FirstWindow()});
  std::string session = grid.Session();
  execl(tmux.c_str(), tmux.c_str(), "attach-session", "-t", session.c_str(), static_cast<char*>(nullptr));
  fputs(Localised("tmux で画面を開けませんでした\n"), stderr);
  return 1;
}
