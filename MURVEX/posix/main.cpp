#include <cstdio>
#include <cstring>

#include "Monitor.h"

namespace {

const char kUsage[] =
    "Usage: murvex FILE\n"
    "Lists FILE with line numbers, then shows its new and changed lines as they come.\n"
    "Ctrl+C ends it. A FILE whose name begins with a dash is named as ./FILE.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "See murvex(1).\n";

}  // namespace

// The usual Unix command line around the monitor's own: help, version, and
// the usage on a wrong argument count instead of a silent exit.
int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    puts("murvex " MURVEX_VERSION);
    return 0;
  }
  if (argc != 2) {
    fputs(kUsage, stderr);
    return 1;
  }
  return MonitorMain(argc, argv, NativePlatform());
}
