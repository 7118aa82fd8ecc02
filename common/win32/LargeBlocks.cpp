// Large pages on Windows need a privilege that users lack; no hint.
#include "LargeBlocks.h"

void AdviseLargeBlock(void*, size_t) {}
