#include "Monitor.h"

int main(int argc, char** argv) { return MonitorMain(argc, argv, NativePlatform()); }
