// ReadLineA and ReadLineW over arbitrary bytes, capacities, read-buffer sizes
// (so refills cut lines and 16-bit units), short and failing reads, and a
// size at open that is off from the bytes there (a writer at work). Each
// pass must deliver exactly what the line rules say, twice in a row, and
// leave nothing open; so must a pass that moves over runs of whole lines
// recorded by the pass before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "LineReader.h"
#include "RunTable.h"
#include "MemoryFiles.h"

namespace {

using Piece = std::vector<uint16_t>;  // bytes or units, widened

// The line rules on the bytes a pass can read: its view is the first `size`
// bytes (the size at open), as far as they can be read; lines end after a
// line feed or at capacity - 1 elements, the last wherever the view ends.
std::vector<Piece> ExpectedPass(const std::string& readable, int64_t size, int capacity, bool wide) {
  std::vector<Piece> pieces;
  if (capacity < 2 || size <= 0) return pieces;
  size_t unitBytes = wide ? 2 : 1;
  size_t viewSize = static_cast<uint64_t>(size) < readable.size() ? static_cast<size_t>(size) : readable.size();
  size_t at = 0;
  for (;;) {
    Piece piece;
    while (at + unitBytes <= viewSize) {
      uint16_t element = static_cast<unsigned char>(readable[at]);
      if (wide) element = static_cast<uint16_t>(element | static_cast<unsigned char>(readable[at + 1]) << 8);
      at += unitBytes;
      piece.push_back(element);
      if (element == 0x0A || piece.size() >= static_cast<size_t>(capacity - 1)) break;
    }
    if (piece.empty()) break;
    pieces.push_back(piece);
  }
  return pieces;
}

// `recording`: each line is counted into the runs, as the change cycle does.
std::vector<Piece> ActualPass(int capacity, bool wide, RunTable* recording = nullptr) {
  std::vector<Piece> pieces;
  size_t room = capacity > 0 ? static_cast<size_t>(capacity) : 1;
  // Exactly capacity elements: the reader must stay inside them.
  std::vector<char> bytes(room);
  std::vector<uint16_t> units(room);
  for (int guard = 0;; ++guard) {
    if (guard > 1 << 20) abort();  // a pass that never ends
    int count = wide ? ReadLineW("f", units.data(), capacity) : ReadLineA("f", bytes.data(), capacity);
    if (count == 0) break;
    if (count < 0 || count > capacity - 1) abort();
    Piece piece;
    for (int i = 0; i < count; ++i) {
      piece.push_back(wide ? units[static_cast<size_t>(i)] : static_cast<unsigned char>(bytes[static_cast<size_t>(i)]));
    }
    if ((wide ? units[static_cast<size_t>(count)] : bytes[static_cast<size_t>(count)]) != 0) abort();
    pieces.push_back(piece);
    if (recording != nullptr) recording->CountLine(DefaultFileView());
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  MemoryFiles& files = FreshMemoryPlatform().files;

  bool wide = input.ConsumeBool();
  uint8_t capacityChoice = input.ConsumeIntegral<uint8_t>();
  int capacity = capacityChoice < 6 ? capacityChoice - 3 : capacityChoice < 250 ? capacityChoice : 65535;
  size_t bufferLimit = input.ConsumeIntegralInRange<size_t>(1, 40);
  bool direct = input.ConsumeIntegralInRange<int>(0, 7) == 0;
  files.refuseAligned = direct && input.ConsumeIntegralInRange<int>(0, 7) == 0;
  files.alignment = size_t{1} << input.ConsumeIntegralInRange<int>(0, 4);
  files.refuseOpen = input.ConsumeIntegralInRange<int>(0, 31) == 0;
  int sizeSkew = input.ConsumeIntegralInRange<int>(-8, 8);
  files.shortReads = input.ConsumeIntegral<uint32_t>();
  bool failing = input.ConsumeIntegralInRange<int>(0, 7) == 0;
  size_t failFrom = input.ConsumeIntegral<uint16_t>();
  files.bytes = input.ConsumeRemainingBytesAsString();
  int64_t fileSize = static_cast<int64_t>(files.bytes.size()) + sizeSkew;
  files.statusSize = fileSize < 0 ? 0 : fileSize;
  files.failFrom = failing ? failFrom : SIZE_MAX;

  SetLineReaderBufferLimit(bufferLimit);
  SetLineReaderForceDirect(direct);

  std::string readable = files.bytes.substr(0, failing && failFrom < files.bytes.size() ? failFrom : files.bytes.size());
  bool opens = capacity > 0 && files.statusSize > 0 && !files.refuseOpen && !files.refuseAligned;
  std::vector<Piece> expected = opens ? ExpectedPass(readable, files.statusSize, capacity, wide) : std::vector<Piece>();
  for (int pass = 0; pass < 2; ++pass) {
    if (ActualPass(capacity, wide) != expected) {
      fprintf(stderr, "pass %d differs from the line rules\n", pass);
      abort();
    }
    if (files.opens != files.closes || files.alignedBlocks != 0) {
      fprintf(stderr, "pass %d left the file or its buffer open\n", pass);
      abort();
    }
  }
  // A pass that records runs of whole lines, then one that moves over the
  // unchanged runs: the lines moved over and the lines read are the lines of
  // the pass, in order. Small runs, so that they cross refills and pieces.
  SetRunMinimum(1 + static_cast<int64_t>((bufferLimit * 7 + capacityChoice) % 48));
  RunTable runs;
  runs.Forget(DefaultFileView());
  std::vector<Piece> recorded = ActualPass(capacity, wide, &runs);
  int32_t skipped = runs.SkipUnchanged(DefaultFileView(), "f");
  std::vector<Piece> rest = ActualPass(capacity, wide, &runs);
  bool whole = skipped >= 0 && static_cast<size_t>(skipped) <= recorded.size() &&
               rest == std::vector<Piece>(recorded.begin() + skipped, recorded.end());
  if (recorded != expected || !whole || files.opens != files.closes || files.alignedBlocks != 0) {
    fprintf(stderr, "a pass over runs differs from the line rules\n");
    abort();
  }
  // A pass that trusts the runs unread and reads after the last of them
  // (the file grew): the lines after it, or, when it cannot, nothing moved.
  // The lines after the last run are taken as they were when their bytes hold.
  runs.Forget(DefaultFileView());
  recorded = ActualPass(capacity, wide, &runs);
  runs.EndPass(DefaultFileView());
  size_t count = runs.Count();
  int32_t moved = runs.MoveOverUnread(DefaultFileView(), "f", count, true);
  rest = moved >= 0 ? ActualPass(capacity, wide, &runs) : std::vector<Piece>();
  bool after = moved == RunTable::kNotMoved ? runs.Count() == count
                                            : moved >= 0 && static_cast<size_t>(moved) <= recorded.size() &&
                                                  rest == std::vector<Piece>(recorded.begin() + moved, recorded.end());
  if (!after || files.opens != files.closes || files.alignedBlocks != 0) {
    fprintf(stderr, "a pass after the runs differs from the line rules\n");
    abort();
  }
  return 0;
}
