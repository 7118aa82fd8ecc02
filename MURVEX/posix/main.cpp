#include <fcntl.h>
#include <getopt.h>
#include <iconv.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Monitor.h"
#include "PosixPlatform.h"
#include "ShownText.h"
#include "TextEncoding.h"
#include "TmuxGrid.h"

namespace {

const char kUsage[] =
    "Usage: murvex [OPTION]... FILE...\n"
    "Lists FILE with line numbers, then shows its new and changed lines as they come.\n"
    "Ctrl+C ends it. Two or more files open side by side in tmux, one monitor each.\n"
    "A FILE whose name begins with a dash is named as ./FILE.\n"
    "\n"
    "  -n, --lines=N     the first listing, and each after the file shrank, shows\n"
    "                    only the last N lines; every line is still watched\n"
    "  -F, --retry       wait for a FILE that does not exist yet or cannot be read\n"
    "                    yet, and list it when it appears\n"
    "  -f, --follow      accepted: the monitor always follows FILE by its name\n"
    "      --color=WHEN  mark changed lines with colour: auto (the default: on a\n"
    "                    terminal, unless NO_COLOR is set, when they are shown in\n"
    "                    reverse video, or TERM is dumb, when they are not\n"
    "                    marked), always, or never\n"
    "      --encoding=NAME  read FILE in the character set NAME (latin1, cp1252,\n"
    "                    euc-jp, shift_jis, utf-8, utf-16le, ...), not as detected\n"
    "  -h, --help        show this help and exit\n"
    "      --version     show the version and exit\n"
    "\n"
    "Exit status: 0 after --help or --version; 1 when the command line or a file\n"
    "is refused.\n"
    "See murvex(1).\n";

const char kUsageJapanese[] =
    "使い方: murvex [オプション]... ファイル...\n"
    "ファイルを行番号付きで表示し、その後は新しい行と変わった行を来るたびに表示します。\n"
    "Ctrl+C で終わります。二つ以上のファイルは tmux の画面に並べて一つずつ監視します。\n"
    "名前がダッシュで始まるファイルは ./ファイル と書きます。\n"
    "\n"
    "  -n, --lines=N     最初の一覧と、ファイルが縮んだ後の一覧は最後の N 行だけ\n"
    "                    （どの行も監視は続けます）\n"
    "  -F, --retry       まだないか読めないファイルを待ち、現れたら表示する\n"
    "  -f, --follow      受け付けるだけ（いつも名前でファイルを追います）\n"
    "      --color=WHEN  変わった行の色: auto（既定。端末にだけ。NO_COLOR があれば\n"
    "                    反転表示、TERM が dumb なら印なし）、always、never\n"
    "      --encoding=NAME  ファイルを文字コード NAME で読む（latin1、cp1252、\n"
    "                    euc-jp、shift_jis、utf-8、utf-16le など）。判定はしない\n"
    "  -h, --help        この説明を表示して終わる\n"
    "      --version     版を表示して終わる\n"
    "\n"
    "終了コード: --help と --version は 0。コマンド行かファイルを受け付けないときは 1。\n"
    "詳しくは murvex(1) を見てください。\n";

// The first bytes the encoding test looks at.
constexpr size_t kSampleSize = 1000000;

const char* Usage() { return JapaneseMessages() ? kUsageJapanese : kUsage; }

// One of the system's messages on standard error, in the user's language,
// with value in its slot; reason (English only) says more after it.
void Tell(const char* japanese, const char* value, const char* reason = nullptr) {
  std::string text = Localised(japanese);
  size_t slot = text.find("%s");
  if (slot != std::string::npos) text.replace(slot, 2, VisibleName(value));
  if (reason != nullptr && !JapaneseMessages()) text.insert(text.size() - 1, std::string(": ") + reason);
  NativeTerminal().WriteError(text.c_str());
}

// 0 when path names a text file the monitor can watch; otherwise says why on
// standard error and returns -1, or, with `wait`, 1 after saying that a file
// not there yet (missing, not readable, not a regular file) is awaited. The
// monitor checks again as it starts; this check is the one that names the
// reason.
int CheckFile(const char* path, bool wait) {
  // Not blocking: opening a pipe would wait for a writer.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const int openError = fd < 0 ? errno : 0;
  struct stat info;
  bool notYet = fd < 0 ? openError == ENOENT || openError == EACCES || openError == EPERM
                       : fstat(fd, &info) == 0 && !S_ISREG(info.st_mode);
  if (wait && notYet) {
    if (fd >= 0) close(fd);
    Tell("[%s]の出現を待っています\n", path);
    return 1;
  }
  if (fd < 0) {
    const int error = openError;
    if (error == ENOENT) {
      Tell("[%s]は存在しません\n", path);
    } else if (error == EACCES || error == EPERM) {
      Tell("[%s]はアクセス権がありません\n", path);
    } else {
      Tell("[%s]はオープンできません\n", path, strerror(error));
    }
    return -1;
  }
  int result = -1;
  if (fstat(fd, &info) != 0) {
    Tell("[%s]はオープンできません\n", path, strerror(errno));
  } else if (S_ISDIR(info.st_mode)) {
    Tell("[%s]はフォルダーです\n", path);
  } else if (!S_ISREG(info.st_mode)) {
    Tell("[%s]は通常のファイルではありません\n", path);
  } else {
    std::unique_ptr<unsigned char[]> sample(new unsigned char[kSampleSize]);
    size_t count = 0;
    while (count < kSampleSize) {
      ssize_t got = read(fd, sample.get() + count, kSampleSize - count);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      count += static_cast<size_t>(got);
    }
    // No change of a file whose status says 0 bytes while it reads bytes
    // (/proc, /sys) can be seen. A set named by --encoding holds whatever
    // bytes it holds.
    if (info.st_size == 0 && count > 0) {
      Tell("[%s]は大きさが0と報告されるため、変化を監視できません\n", path);
    } else if (ForcedTextEncoding() == TextEncoding::None && ClassifyTextBytes(sample.get(), count) == TextEncoding::None) {
      Tell("[%s]はテキストファイルではありません\n", path);
    } else {
      result = 0;
    }
  }
  close(fd);
  return result;
}

// --encoding=NAME: how the file is read, by the form iconv gives a line
// feed in NAME; the name iconv reads a byte encoding with goes to the
// console text. 0, or -1 for a set iconv does not know or whose line feed is
// not one byte or one 16-bit unit (UTF-32, UTF-7, ...).
int ForceEncoding(const char* name) {
  iconv_t convert = iconv_open(name, "UTF-8");
  if (convert == reinterpret_cast<iconv_t>(-1)) return -1;
  char lineFeed[] = "\n";
  char form[16];
  char* in = lineFeed;
  char* out = form;
  size_t inLeft = 1, outLeft = sizeof form;
  size_t done = iconv(convert, &in, &inLeft, &out, &outLeft);
  iconv_close(convert);
  std::string made(form, sizeof form - outLeft);
  // A mark some sets put first (UTF-16: the system's order) says the order.
  bool littleMark = made.compare(0, 2, "\xFF\xFE") == 0, bigMark = made.compare(0, 2, "\xFE\xFF") == 0;
  if (littleMark || bigMark) made.erase(0, 2);
  if (made.compare(0, 3, "\xEF\xBB\xBF") == 0) made.erase(0, 3);
  if (done == static_cast<size_t>(-1)) return -1;
  if (made == std::string("\x0A\x00", 2)) {
    ForceTextEncoding(TextEncoding::Utf16LeBom);
  } else if (made == std::string("\x00\x0A", 2)) {
    ForceTextEncoding(TextEncoding::Utf16BeBom);
  } else if (made == "\n") {
    iconv_t reading = iconv_open("UTF-8", name);
    if (reading == reinterpret_cast<iconv_t>(-1)) return -1;
    iconv_close(reading);
    std::string key;
    for (const char* at = name; *at != '\0'; ++at) {
      if (*at != '-' && *at != '_') key += static_cast<char>(*at >= 'a' && *at <= 'z' ? *at - 32 : *at);
    }
    ForceTextEncoding(key == "UTF8" ? TextEncoding::Utf8 : TextEncoding::Ansi);
    SetCodePageConverterName(name);
  } else {
    return -1;
  }
  return 0;
}

// A refused command line: the reason, then where to read more.
int RefuseCommandLine(const char* japanese, const char* value) {
  Tell(japanese, value);
  Tell("詳しくは murvex --help を見てください\n", "");
  return 1;
}

// Set by --stay-on-exit, which the grid gives each pane's monitor.
bool g_stayOnExit = false;

// The pane stays, with the monitor's last words on it, until a key is pressed.
void WaitForAKey() {
  fputs(Localised("何かキーを押すと閉じます\n"), stderr);
  termios saved;
  bool keys = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (keys) {
    termios single = saved;
    single.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    single.c_cc[VMIN] = 1;
    single.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &single);
  }
  char key;
  while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
  }
  if (keys) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

int RunMurvex(int argc, char** argv);

}  // namespace

int main(int argc, char** argv) {
  int exitCode = RunMurvex(argc, argv);
  if (g_stayOnExit) WaitForAKey();
  return exitCode;
}

namespace {

// The usual Unix command line around the monitor's own: options, help,
// version, refusals that say why, and several files in a tmux grid.
int RunMurvex(int argc, char** argv) {
  ChooseMessageLanguage();
  static const option kLongOptions[] = {
      {"lines", required_argument, nullptr, 'n'}, {"color", optional_argument, nullptr, 'c'},
      {"help", no_argument, nullptr, 'h'},        {"version", no_argument, nullptr, 'V'},
      {"encoding", required_argument, nullptr, 'e'},
      {"follow", optional_argument, nullptr, 'o'}, {"retry", no_argument, nullptr, 'F'},
      {"stay-on-exit", no_argument, nullptr, 'S'}, {nullptr, 0, nullptr, 0},
  };
  GridOptions options;
  bool help = false, version = false;
  opterr = 0;
  for (int option; (option = getopt_long(argc, argv, ":hn:fF", kLongOptions, nullptr)) != -1;) {
    const char* given = argv[optind - 1];
    switch (option) {
      case 'h':
        help = true;
        break;
      case 'V':
        version = true;
        break;
      case 'f':
        break;  // the monitor always follows its file, by name
      case 'o':
        // Following by name is how the monitor follows; a descriptor (tail's
        // -f) is taken as the same.
        if (optarg != nullptr && strcmp(optarg, "name") != 0 && strcmp(optarg, "descriptor") != 0) {
          return RefuseCommandLine("[%s]は --follow の値として正しくありません（name、descriptor）\n", optarg);
        }
        break;
      case 'F':
        options.retry = true;
        break;
      case 'S':
        g_stayOnExit = true;
        break;
      case 'n': {
        char* end = nullptr;
        errno = 0;
        long long count = strtoll(optarg, &end, 10);
        if (*optarg < '0' || *optarg > '9' || *end != '\0' || errno != 0 || count > INT32_MAX) {
          return RefuseCommandLine("[%s]は行数として正しくありません\n", optarg);
        }
        options.lines = optarg;
        LimitListings(count);
        break;
      }
      case 'c':
        if (optarg == nullptr || strcmp(optarg, "always") == 0) {
          options.colour = ColourChoice::kAlways;
        } else if (strcmp(optarg, "auto") == 0) {
          options.colour = ColourChoice::kAuto;
        } else if (strcmp(optarg, "never") == 0) {
          options.colour = ColourChoice::kNever;
        } else {
          return RefuseCommandLine("[%s]は --color の値として正しくありません（auto、always、never）\n", optarg);
        }
        break;
      case 'e':
        if (ForceEncoding(optarg) != 0) return RefuseCommandLine("[%s]は読める文字コードではありません\n", optarg);
        options.encoding = optarg;
        break;
      case ':':
        return RefuseCommandLine("[%s]には値が必要です\n", given);
      default: {
        // An unknown short option is named alone, not with its neighbours.
        std::string unknown = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : std::string(given);
        return RefuseCommandLine("[%s]は不明なオプションです\n", unknown.c_str());
      }
    }
  }
  if (help) {
    fputs(NativeTerminal().InTerminalCharset(Usage(), false).c_str(), stdout);
    return 0;
  }
  if (version) {
    puts("murvex " MURVEX_VERSION);
    return 0;
  }
  if (optind == argc) {
    fputs(NativeTerminal().InTerminalCharset(Usage(), true).c_str(), stderr);
    return 1;
  }
  // Every file checked, every refusal named, before anything opens.
  int refused = 0;
  for (int i = optind; i < argc; ++i) refused += CheckFile(argv[i], options.retry) < 0;
  if (refused > 0) return 1;
  if (argc - optind >= 2) return OpenGrid(std::vector<const char*>(argv + optind, argv + argc), options);

  NativeTerminal().ChooseColours(options.colour);
  WaitForTheFile(options.retry);
  char* monitorArgv[] = {argv[0], argv[optind], nullptr};
  int exitCode = MonitorMain(2, monitorArgv, NativePlatform());
  // The monitor returns for a refused start (1) or when its change wait
  // failed (0, as on Windows): here both are failures.
  return exitCode == 0 ? 1 : exitCode;
}

}  // namespace
