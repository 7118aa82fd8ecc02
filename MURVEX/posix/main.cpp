#include "KeyedTextTable.h"
#include "Monitor.h"

int main(int argc, char** argv) {
  int exitCode = MonitorMain(argc, argv, NativePlatform());
  // The process ends with the cycle: hand the table's memory back first, so
  // that a leak check at exit finds nothing held.
  TableClear();
  return exitCode;
}
