// The process-wide keyed text table: key text -> value text, both copied.
//
// Observable behaviour is that of a chained hash table of 1000 buckets
// (bucket = HashKey(key) % 1000, newest entry first in its chain, walked
// bucket 0..999). Lookups, inserts and removals are O(1) on average whatever
// the number of keys.
#pragma once

#include <cstdint>

// Sum of the key read as little-endian 64-bit groups (a short last group is
// zero-extended). Empty key: 0. The bucket is the result modulo 1000.
uint64_t HashKey(const char* key);

// Copies key and value into the table, replacing an entry with the same key.
// 0 on success; -1 when key or value is null or memory runs out (the table
// then holds no half-made entry and stays usable).
int TableInsert(const char* key, const char* value);

// The stored value, owned by the table and valid until the key is removed,
// replaced or the table cleared; null when not found or no key given.
const char* TableFind(const char* key);

// 0 when the entry was removed; -1 when the table is not initialised or holds
// no such key. A null key does what TableClear does.
int TableRemove(const char* key);

// Releases every entry and makes the table uninitialised again.
// 0 when it was initialised; -1 (nothing happens) when it was not.
int TableClear();

// Called once per entry in walk order; return nonzero to go on, 0 to stop.
// valueLength is the value's length plus one. The table must not change
// during a walk.
typedef int (*TableWalkStep)(const char* key, const char* value, int valueLength, void* context);

// Walks every entry from the first in walk order (bucket 0 to 999, newest
// first within a bucket); every walk starts at the beginning.
void TableWalk(TableWalkStep step, void* context);

// Decimal text of n: no leading zeros, '-' for negatives.
// Static buffer, overwritten by the next call.
const char* DecimalKey(int32_t n);
