// The keyed text table.
//
// What callers can observe is fixed: 1000 buckets by HashKey, chains newest
// first, walk from bucket 0. That shape alone would make a lookup scan a
// chain of n / 1000 entries, which is quadratic for a monitor that keeps one
// entry per line of a file with millions of lines. So the buckets only keep
// the walk order (doubly linked, so removal is O(1)), and an open-addressing
// index finds an entry by its key in O(1).
//
// The monitor keeps every line of the watched file here, so the table is
// about as large as the file and its per-entry cost decides the monitor's
// memory. Key and value share one block cut from large arena chunks (no
// allocator header, no rounding); a removed block becomes a hole that the
// next block of exactly its size reuses, and only blocks above kLargeBlock
// get an allocation of their own. Holes of sizes nobody asks for again stay
// until TableClear, which the monitor runs at every full listing. Blocks
// never move, so a value handed out stays where it is. Per entry beyond the
// key and value bytes and their terminators: a 16-byte slot, the value's
// extra 0, and about 6 bytes of index at most 70% load.
#include "KeyedTextTable.h"

#include "LargeBlocks.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr unsigned kBucketCount = 1000;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr unsigned kSlotShift = 18;  // 4 MiB of slots per chunk
constexpr unsigned kSlotsPerChunk = 1u << kSlotShift;
// Arena chunks double from the smallest (a short watch list stays small) to
// the largest; large ones get the large-page hint.
constexpr size_t kSmallestArenaChunk = size_t{64} << 10;
constexpr size_t kLargestArenaChunk = size_t{32} << 20;
constexpr size_t kAdvisedBlock = size_t{4} << 20;
constexpr size_t kLargeBlock = 4096;           // larger blocks are allocated one by one
constexpr size_t kSmallestBlock = sizeof(char*);  // a hole holds the link to the next

// One stored entry. The block holds the key with its terminator, then the
// value with its terminator and one more 0.
struct Slot {
  char* block;
  uint32_t next;  // newer-to-older within the bucket; the free list when unused
  uint32_t previous;
};

// Process-wide state, changed only by the table operations, on one thread at
// a time (a long listing fills it from a thread of its own while nothing
// else uses it):
int g_initialised = 0;                 // 0: empty and unprepared; 1: buckets prepared
uint32_t g_bucketHeads[kBucketCount];  // newest entry of each bucket's chain
std::vector<Slot*> g_slotChunks;       // slot storage, chunk by chunk (never moves)
uint32_t g_slotsInUse = 0;             // slots handed out so far (used or freed)
uint32_t g_freeSlot = kNone;           // first freed slot, chained through next
uint32_t* g_index = nullptr;           // open addressing: slot numbers, kNone when empty
size_t g_indexMask = 0;                // capacity - 1 (capacity a power of two)
size_t g_entryCount = 0;
char* g_arenaChunks = nullptr;         // newest arena chunk; each starts with the link to the older
char* g_arenaAt = nullptr;             // unused part of the newest chunk
char* g_arenaEnd = nullptr;
size_t g_nextArenaChunk = kSmallestArenaChunk;  // size of the next chunk to allocate
char* g_holes[kLargeBlock + 1];        // freed blocks by exact size, linked through their first bytes
size_t g_largeBlocks = 0;              // blocks allocated one by one, still stored

}  // namespace

// Every allocation of the table goes through here; tests swap it to make
// memory run out part-way through an insert.
void* (*g_tableAllocate)(size_t) = std::malloc;

namespace {

Slot& SlotAt(uint32_t number) { return g_slotChunks[number >> kSlotShift][number & (kSlotsPerChunk - 1)]; }

const char* KeyOf(const char* block) { return block; }
const char* ValueOf(const char* block) { return block + std::strlen(block) + 1; }

size_t BlockSize(size_t keyLength, size_t valueLength) {
  size_t size = keyLength + 1 + valueLength + 2;
  return size < kSmallestBlock ? kSmallestBlock : size;
}

size_t BlockSizeOf(const char* block) {
  size_t keyLength = std::strlen(block);
  return BlockSize(keyLength, std::strlen(block + keyLength + 1));
}

void PushHole(char* block, size_t size) {
  std::memcpy(block, &g_holes[size], sizeof(char*));
  g_holes[size] = block;
}

// Room for a block of `size` bytes; null when no memory.
char* TakeBlock(size_t size) {
  if (size > kLargeBlock) {
    char* block = static_cast<char*>(g_tableAllocate(size));
    if (block != nullptr) ++g_largeBlocks;
    return block;
  }
  if (char* hole = g_holes[size]) {
    std::memcpy(&g_holes[size], hole, sizeof(char*));
    return hole;
  }
  if (static_cast<size_t>(g_arenaEnd - g_arenaAt) < size) {
    char* chunk = static_cast<char*>(g_tableAllocate(g_nextArenaChunk));
    if (chunk == nullptr) return nullptr;
    if (g_nextArenaChunk >= kAdvisedBlock) AdviseLargeBlock(chunk, g_nextArenaChunk);
    // The old chunk's tail is not lost: blocks of its size take it.
    size_t tail = static_cast<size_t>(g_arenaEnd - g_arenaAt);
    if (tail >= kSmallestBlock) PushHole(g_arenaAt, tail);
    std::memcpy(chunk, &g_arenaChunks, sizeof(char*));
    g_arenaChunks = chunk;
    g_arenaAt = chunk + sizeof(char*);
    g_arenaEnd = chunk + g_nextArenaChunk;
    if (g_nextArenaChunk < kLargestArenaChunk) g_nextArenaChunk *= 2;
  }
  char* block = g_arenaAt;
  g_arenaAt += size;
  return block;
}

void ReleaseBlock(char* block, size_t size) {
  if (size > kLargeBlock) {
    std::free(block);
    --g_largeBlocks;
  } else {
    PushHole(block, size);
  }
}

// Where the index looks first, and the key's length as a by-product (the
// lookups need it and it saves a second pass over the key). Keys that are
// canonical decimal numbers (all keys of this system) map to their number,
// so consecutive line numbers lie in consecutive index cells; any other key
// is mixed.
uint64_t IndexHash(const char* key, size_t* length) {
  const char* p = key;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  if (*p >= '1' && *p <= '9') {
    uint64_t n = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 19) {
      n = n * 10 + static_cast<uint64_t>(*p - '0');
      ++p;
      ++digits;
    }
    if (*p == '\0') {
      *length = static_cast<size_t>(p - key);
      return negative ? ~n : n;
    }
  }
  uint64_t h = 1469598103934665603ull;  // FNV-1a, then a finaliser
  const unsigned char* q = reinterpret_cast<const unsigned char*>(key);
  for (; *q; ++q) h = (h ^ *q) * 1099511628211ull;
  *length = static_cast<size_t>(reinterpret_cast<const char*>(q) - key);
  h ^= h >> 29;
  h *= 0xbf58476d1ce4e5b9ull;
  return h ^ (h >> 32);
}

size_t HomeOf(uint32_t number) {
  size_t length;
  return IndexHash(KeyOf(SlotAt(number).block), &length) & g_indexMask;
}

// How far the entry in `cell` lies from its home cell.
size_t DistanceAt(size_t cell) { return (cell - HomeOf(g_index[cell])) & g_indexMask; }

// Keys are short: a plain loop beats a call of memcmp.
bool SameKey(const char* stored, const char* key, size_t length) {
  for (size_t i = 0; i <= length; ++i) {
    if (stored[i] != key[i]) return false;
  }
  return true;
}

// Index cell holding key, or kNone. Robin Hood order: a resident nearer to
// its home than we are to ours means the key is absent.
// Also stores the key's length in *keyLength and, when asked, its index
// hash in *hash.
size_t FindCell(const char* key, size_t* keyLength, uint64_t* hash = nullptr) {
  size_t length;
  uint64_t keyHash = IndexHash(key, &length);
  *keyLength = length;
  if (hash != nullptr) *hash = keyHash;
  if (g_index == nullptr) return kNone;
  size_t cell = keyHash & g_indexMask;
  for (size_t distance = 0;; cell = (cell + 1) & g_indexMask, ++distance) {
    uint32_t number = g_index[cell];
    if (number == kNone) return kNone;
    if (SameKey(KeyOf(SlotAt(number).block), key, length)) return cell;
    if (DistanceAt(cell) < distance) return kNone;
  }
}

// Robin Hood insertion: an entry far from home takes the cell of one nearer
// to its own, which keeps probe runs short and lets removal stop early.
void PlaceInIndex(uint32_t number, size_t home) {
  size_t cell = home;
  for (size_t distance = 0;; cell = (cell + 1) & g_indexMask, ++distance) {
    if (g_index[cell] == kNone) {
      g_index[cell] = number;
      return;
    }
    size_t residentDistance = DistanceAt(cell);
    if (residentDistance < distance) {
      uint32_t resident = g_index[cell];
      g_index[cell] = number;
      number = resident;
      distance = residentDistance;
    }
  }
}

// Makes room for one more entry at no more than 70% load. false: no memory,
// nothing changed.
bool ReserveIndex() {
  size_t capacity = g_index ? g_indexMask + 1 : 0;
  if ((g_entryCount + 1) * 10 <= capacity * 7) return true;
  size_t newCapacity = capacity ? capacity * 2 : 1024;
  uint32_t* fresh = static_cast<uint32_t*>(g_tableAllocate(newCapacity * sizeof(uint32_t)));
  if (fresh == nullptr) return false;
  if (newCapacity * sizeof(uint32_t) >= kAdvisedBlock) AdviseLargeBlock(fresh, newCapacity * sizeof(uint32_t));
  std::memset(fresh, 0xFF, newCapacity * sizeof(uint32_t));
  uint32_t* old = g_index;
  g_index = fresh;
  g_indexMask = newCapacity - 1;
  for (size_t cell = 0; cell < capacity; ++cell) {
    if (old[cell] != kNone) PlaceInIndex(old[cell], HomeOf(old[cell]));
  }
  std::free(old);
  return true;
}

// Removes index cell `cell`: the entries after it that are away from home
// move back by one, so lookups never meet tombstones.
void EraseCell(size_t cell) {
  size_t hole = cell;
  for (size_t next = (hole + 1) & g_indexMask; g_index[next] != kNone && DistanceAt(next) != 0;
       next = (next + 1) & g_indexMask) {
    g_index[hole] = g_index[next];
    hole = next;
  }
  g_index[hole] = kNone;
}

// A slot number ready for use, or kNone when no memory.
uint32_t TakeSlot() {
  if (g_freeSlot != kNone) return g_freeSlot;
  if (g_slotsInUse == kNone) return kNone;
  if ((g_slotsInUse & (kSlotsPerChunk - 1)) == 0 && (g_slotsInUse >> kSlotShift) >= g_slotChunks.size()) {
    Slot* chunk = static_cast<Slot*>(g_tableAllocate(kSlotsPerChunk * sizeof(Slot)));
    if (chunk == nullptr) return kNone;
    // A short table never fills its first chunk: only later ones get the hint.
    if (!g_slotChunks.empty()) AdviseLargeBlock(chunk, kSlotsPerChunk * sizeof(Slot));
    try {
      g_slotChunks.push_back(chunk);
    } catch (const std::bad_alloc&) {
      std::free(chunk);
      return kNone;
    }
  }
  return g_slotsInUse;
}

void CommitSlot(uint32_t number) {
  if (number == g_freeSlot) {
    g_freeSlot = SlotAt(number).next;
  } else {
    ++g_slotsInUse;
  }
}

void UnlinkFromBucket(uint32_t number, unsigned bucket) {
  Slot& slot = SlotAt(number);
  if (slot.previous == kNone) {
    g_bucketHeads[bucket] = slot.next;
  } else {
    SlotAt(slot.previous).next = slot.next;
  }
  if (slot.next != kNone) SlotAt(slot.next).previous = slot.previous;
}

void ReleaseSlot(uint32_t number) {
  Slot& slot = SlotAt(number);
  ReleaseBlock(slot.block, BlockSizeOf(slot.block));
  slot.block = nullptr;
  slot.next = g_freeSlot;
  g_freeSlot = number;
}

// HashKey of a key whose length is known.
uint64_t SumOfGroups(const char* key, size_t length) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(key);
  uint64_t sum = 0;
  for (size_t group = 0; group < length; group += 8) {
    uint64_t word = 0;
    size_t count = length - group < 8 ? length - group : 8;
    for (size_t i = 0; i < count; ++i) word |= static_cast<uint64_t>(bytes[group + i]) << (8 * i);
    sum += word;
  }
  return sum;
}

unsigned BucketOf(const char* key, size_t length) {
  return static_cast<unsigned>(SumOfGroups(key, length) % kBucketCount);
}

void RemoveAtCell(size_t cell) {
  uint32_t number = g_index[cell];
  const char* key = KeyOf(SlotAt(number).block);
  UnlinkFromBucket(number, BucketOf(key, std::strlen(key)));
  EraseCell(cell);
  ReleaseSlot(number);
  --g_entryCount;
}

}  // namespace

uint64_t HashKey(const char* key) { return key == nullptr ? 0 : SumOfGroups(key, std::strlen(key)); }

int TableInsert(const char* key, const char* value) {
  if (key == nullptr || value == nullptr) return -1;
  if (!g_initialised) {
    for (uint32_t& head : g_bucketHeads) head = kNone;
    g_initialised = 1;
  }
  size_t keyLength;
  uint64_t hash;
  size_t existing = FindCell(key, &keyLength, &hash);
  size_t valueLength = std::strlen(value);
  if (valueLength >= 0x7FFFFFFE) return -1;

  // Everything that can fail comes first, so a failure leaves no trace.
  size_t blockSize = BlockSize(keyLength, valueLength);
  char* block = TakeBlock(blockSize);
  if (block == nullptr) return -1;
  if (existing == kNone && !ReserveIndex()) {
    ReleaseBlock(block, blockSize);
    return -1;
  }
  uint32_t number = TakeSlot();
  if (number == kNone) {
    ReleaseBlock(block, blockSize);
    return -1;
  }
  CommitSlot(number);

  std::memcpy(block, key, keyLength + 1);
  char* valueCopy = block + keyLength + 1;
  std::memcpy(valueCopy, value, valueLength + 1);
  valueCopy[valueLength + 1] = '\0';

  if (existing != kNone) RemoveAtCell(existing);
  unsigned bucket = BucketOf(key, keyLength);
  Slot& slot = SlotAt(number);
  slot.block = block;
  slot.previous = kNone;
  slot.next = g_bucketHeads[bucket];
  if (slot.next != kNone) SlotAt(slot.next).previous = number;
  g_bucketHeads[bucket] = number;
  PlaceInIndex(number, hash & g_indexMask);
  ++g_entryCount;
  return 0;
}

const char* TableFind(const char* key) {
  if (!g_initialised || key == nullptr) return nullptr;
  size_t keyLength;
  size_t cell = FindCell(key, &keyLength);
  return cell == kNone ? nullptr : SlotAt(g_index[cell]).block + keyLength + 1;
}

int TableRemove(const char* key) {
  if (key == nullptr) return TableClear();
  if (!g_initialised) return -1;
  size_t keyLength;
  size_t cell = FindCell(key, &keyLength);
  if (cell == kNone) return -1;
  RemoveAtCell(cell);
  return 0;
}

int TableClear() {
  if (!g_initialised) return -1;
  for (uint32_t& head : g_bucketHeads) {
    // Only blocks of their own need a visit; the arena goes chunk by chunk.
    for (uint32_t number = head; g_largeBlocks > 0 && number != kNone; number = SlotAt(number).next) {
      char* block = SlotAt(number).block;
      if (BlockSizeOf(block) > kLargeBlock) ReleaseBlock(block, kLargeBlock + 1);
    }
    head = kNone;
  }
  while (char* chunk = g_arenaChunks) {
    std::memcpy(&g_arenaChunks, chunk, sizeof(char*));
    std::free(chunk);
  }
  g_arenaAt = g_arenaEnd = nullptr;
  g_nextArenaChunk = kSmallestArenaChunk;
  for (char*& hole : g_holes) hole = nullptr;
  for (Slot* chunk : g_slotChunks) std::free(chunk);
  std::vector<Slot*>().swap(g_slotChunks);
  std::free(g_index);
  g_index = nullptr;
  g_indexMask = 0;
  g_slotsInUse = 0;
  g_freeSlot = kNone;
  g_entryCount = 0;
  g_initialised = 0;
  return 0;
}

void TableWalk(TableWalkStep step, void* context) {
  if (!g_initialised || step == nullptr) return;
  for (unsigned bucket = 0; bucket < kBucketCount; ++bucket) {
    for (uint32_t number = g_bucketHeads[bucket]; number != kNone; number = SlotAt(number).next) {
      const char* block = SlotAt(number).block;
      const char* value = ValueOf(block);
      int valueLength = static_cast<int>(std::strlen(value)) + 1;
      if (!step(KeyOf(block), value, valueLength, context)) return;
    }
  }
}

const char* DecimalKey(int32_t n) {
  // Two digits per division, written from the end: every line of every
  // pass of the monitor asks for its key.
  static const char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  static char text[16];
  uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  int length = 1 + (magnitude >= 10) + (magnitude >= 100) + (magnitude >= 1000) + (magnitude >= 10000) +
               (magnitude >= 100000) + (magnitude >= 1000000) + (magnitude >= 10000000) +
               (magnitude >= 100000000) + (magnitude >= 1000000000);
  char* out = text;
  if (n < 0) *out++ = '-';
  char* at = out + length;
  *at = '\0';
  while (magnitude >= 100) {
    at -= 2;
    std::memcpy(at, kPairs + 2 * (magnitude % 100), 2);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    at -= 2;
    std::memcpy(at, kPairs + 2 * magnitude, 2);
  } else {
    *--at = static_cast<char>('0' + magnitude);
  }
  return text;
}
