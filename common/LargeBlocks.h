// A hint for the few large blocks that hold the monitor's line table.
#pragma once

#include <cstddef>

// Tells the system that block (size bytes, from the C heap) will be filled
// and kept: where it can, the system then backs it with large pages, so
// filling it takes a fraction of the page faults. No result; harmless where
// the system has no such hint.
void AdviseLargeBlock(void* block, size_t size);
