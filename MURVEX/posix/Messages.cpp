// The monitor's messages in the user's language: the system's own Japanese
// texts, or English ones. A table of two columns rather than a gettext
// catalogue: a handful of texts, two languages, and nothing to install or
// to find at run time (a Japanese locale need not even be generated).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ConsoleText.h"
#include "PosixPlatform.h"

namespace {

struct Message {
  const char* japanese;  // the key, as the code writes it
  const char* english;
};

// Each English text takes the path (or value) where its Japanese one does.
constexpr Message kMessages[] = {
    {"[%s]はオープンできません\n", "murvex: cannot open %s\n"},
    {"[%s]は存在しません\n", "murvex: %s: no such file\n"},
    {"[%s]はアクセス権がありません\n", "murvex: %s: permission denied\n"},
    {"システムリソースが不足しています\n", "murvex: not enough memory to read the file\n"},
    {"[%s]は監視できません\n", "murvex: cannot watch the folder %s; looking at the file twice a second instead\n"},
    {"[%s]の監視が中断された\n", "murvex: watching the folder %s broke off\n"},
    {"[%s]のフォルダーを待っています\n", "murvex: the folder %s is gone; waiting for it to come back\n"},
    {"[%s]の出現を待っています\n", "murvex: %s cannot be read yet; waiting for it\n"},
    {"[%s]は大きさが0と報告されるため、変化を監視できません\n",
     "murvex: %s reports a size of 0 yet has content (as in /proc or /sys): its changes cannot be seen\n"},
    {"何かキーを押すと閉じます\n", "murvex: press a key to close this pane\n"},
    {"ASCII以外の文字は表示できません\n",
     "murvex: iconv has no CP932 converter: characters other than ASCII show as blanks\n"},
    {"[%s]はフォルダーです\n", "murvex: %s is a folder, not a file\n"},
    {"[%s]は通常のファイルではありません\n", "murvex: %s is not a regular file\n"},
    {"[%s]はテキストファイルではありません\n",
     "murvex: %s looks binary (a NUL or 0xFF byte, and no byte order mark)\n"},
    {"[%s]は不明なオプションです\n", "murvex: unknown option %s\n"},
    {"[%s]には値が必要です\n", "murvex: option %s needs a value\n"},
    {"[%s]は行数として正しくありません\n", "murvex: %s is not a number of lines\n"},
    {"[%s]は --color の値として正しくありません（auto、always、never）\n",
     "murvex: --color takes auto, always or never, not %s\n"},
    {"[%s]は読める文字コードではありません\n", "murvex: --encoding: %s is no character set murvex can read\n"},
    {"[%s]は --follow の値として正しくありません（name、descriptor）\n",
     "murvex: --follow takes name or descriptor, not %s\n"},
    {"詳しくは murvex --help を見てください\n", "Try 'murvex --help' for more information.\n"},
    {"複数のファイルは tmux の画面に並べて表示します。tmux をインストールしてください（sudo apt install tmux）\n",
     "murvex: several files open side by side in tmux, which is not installed; install it\n"
     "(sudo apt install tmux), or watch each file in a terminal of its own\n"},
    {"tmux で画面を開けませんでした\n", "murvex: tmux could not open the grid\n"},
    {"--- ファイルを最初から表示し直します ---\n", "--- the file is listed again from the top ---\n"},
};

// Set once by ChooseMessageLanguage; until then (tests of the portable
// monitor) the system's own texts.
bool g_english = false;

}  // namespace

void ChooseMessageLanguage() {
  // The locale's order of precedence for messages; the first one set counts.
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = getenv(name);
    if (locale != nullptr && *locale != '\0') break;
  }
  g_english = locale == nullptr || strncmp(locale, "ja", 2) != 0;
}

bool JapaneseMessages() { return !g_english; }

const char* Localised(const char* japanese) {
  if (!g_english) return japanese;
  for (const Message& message : kMessages) {
    if (strcmp(message.japanese, japanese) == 0) return message.english;
  }
  return japanese;
}

std::string MessageToConsole(const std::string& utf8) { return Localised(utf8.c_str()); }

std::string OpenFailureReason(const char* path) {
  if (!g_english) return std::string();
  // Not blocking: opening a pipe would wait for a writer.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return strerror(errno);
  struct stat info;
  std::string reason = fstat(fd, &info) != 0 ? strerror(errno)
                       : S_ISDIR(info.st_mode) ? strerror(EISDIR)
                       : !S_ISREG(info.st_mode) ? "not a regular file"
                                                : "";
  close(fd);
  return reason;
}
