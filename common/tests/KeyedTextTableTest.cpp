#include "KeyedTextTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

class KeyedTextTableTest : public ::testing::Test {
 protected:
  void SetUp() override { TableClear(); }
  void TearDown() override { TableClear(); }

  static std::vector<std::string> WalkKeys(size_t stopAfter = 0) {
    struct Context {
      std::vector<std::string> keys;
      size_t stopAfter;
    } context{{}, stopAfter};
    TableWalk(
        [](const char* key, const char*, int, void* raw) {
          auto* c = static_cast<Context*>(raw);
          c->keys.push_back(key);
          return (c->stopAfter != 0 && c->keys.size() >= c->stopAfter) ? 0 : 1;
        },
        &context);
    return context.keys;
  }
};

TEST_F(KeyedTextTableTest, HashesKeysAsLittleEndianGroups) {
  EXPECT_EQ(HashKey(""), 0u);
  EXPECT_EQ(HashKey("0"), 48u);
  EXPECT_EQ(HashKey("10"), 12337u);
  EXPECT_EQ(HashKey("100"), 3158065u);
  EXPECT_EQ(HashKey("12345678"), 0x3837363534333231ull);
  EXPECT_EQ(HashKey("12345678") % 1000, 505u);
  EXPECT_EQ(HashKey("123456789"), 0x3837363534333231ull + 0x39);
  EXPECT_EQ(HashKey("13") % 1000, 105u);
}

TEST_F(KeyedTextTableTest, WalksBucketsInOrderNewestFirstWithinABucket) {
  for (int i = 0; i < 20; ++i) ASSERT_EQ(TableInsert(DecimalKey(i), "v"), 0);
  std::vector<std::string> expected = {"0", "1", "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",
                                       "13", "17", "10", "14", "18", "11", "15", "19", "12", "16"};
  EXPECT_EQ(WalkKeys(), expected);
}

TEST_F(KeyedTextTableTest, WalksThirteenKeysInNumericOrder) {
  for (int i = 0; i < 13; ++i) TableInsert(DecimalKey(i), "v");
  std::vector<std::string> expected;
  for (int i = 0; i < 13; ++i) expected.push_back(DecimalKey(i));
  EXPECT_EQ(WalkKeys(), expected);
}

TEST_F(KeyedTextTableTest, ReinsertedKeyMovesToTheFrontOfItsBucket) {
  // 3, 336 and 395 share bucket 51.
  ASSERT_EQ(HashKey("336") % 1000, HashKey("3") % 1000);
  TableInsert("3", "v");
  TableInsert("336", "v");
  TableInsert("395", "v");
  EXPECT_EQ(WalkKeys(), (std::vector<std::string>{"395", "336", "3"}));
  TableInsert("3", "again");
  EXPECT_EQ(WalkKeys(), (std::vector<std::string>{"3", "395", "336"}));
  TableRemove("395");
  EXPECT_EQ(WalkKeys(), (std::vector<std::string>{"3", "336"}));
  TableInsert("336", "again");
  EXPECT_EQ(WalkKeys(), (std::vector<std::string>{"336", "3"}));
}

TEST_F(KeyedTextTableTest, EveryWalkStartsAtTheFirstEntry) {
  for (int i = 0; i < 5; ++i) TableInsert(DecimalKey(i), "v");
  EXPECT_EQ(WalkKeys(2), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(WalkKeys(1), (std::vector<std::string>{"0"}));
}

TEST_F(KeyedTextTableTest, ReplacesTheValueOfAnExistingKey) {
  ASSERT_EQ(TableInsert("5", "first"), 0);
  ASSERT_EQ(TableInsert("5", "second"), 0);
  EXPECT_STREQ(TableFind("5"), "second");
  EXPECT_EQ(WalkKeys().size(), 1u);
  EXPECT_EQ(TableRemove("5"), 0);
  EXPECT_EQ(TableRemove("5"), -1);
  EXPECT_EQ(TableFind("5"), nullptr);
}

TEST_F(KeyedTextTableTest, RefusesMissingKeyOrValueAndAcceptsEmptyOnes) {
  EXPECT_EQ(TableInsert(nullptr, "v"), -1);
  EXPECT_EQ(TableInsert("k", nullptr), -1);
  EXPECT_EQ(TableClear(), -1) << "a refused insert must not prepare the table";
  ASSERT_EQ(TableInsert("", ""), 0);
  EXPECT_STREQ(TableFind(""), "");
  struct Seen {
    int valueLength = -1;
  } seen;
  TableWalk(
      [](const char* key, const char*, int valueLength, void* raw) {
        static_cast<Seen*>(raw)->valueLength = valueLength;
        return 1;
      },
      &seen);
  EXPECT_EQ(seen.valueLength, 1);
  EXPECT_EQ(TableFind(nullptr), nullptr);
}

TEST_F(KeyedTextTableTest, ValueCopyCarriesLengthAndAnExtraTerminator) {
  char value[] = "hello";
  TableInsert("k", value);
  value[0] = 'J';  // the table keeps its own copy
  const char* stored = TableFind("k");
  ASSERT_NE(stored, nullptr);
  EXPECT_STREQ(stored, "hello");
  EXPECT_EQ(stored[6], '\0');
}

TEST_F(KeyedTextTableTest, ClearMakesTheTableUninitialisedAgain) {
  EXPECT_EQ(TableClear(), -1);
  EXPECT_EQ(TableRemove("1"), -1);
  TableInsert("1", "a");
  EXPECT_EQ(TableClear(), 0);
  EXPECT_EQ(TableFind("1"), nullptr);
  EXPECT_EQ(TableRemove("1"), -1);
  EXPECT_EQ(TableClear(), -1);
  EXPECT_TRUE(WalkKeys().empty());
  EXPECT_EQ(TableInsert("1", "b"), 0);
  EXPECT_STREQ(TableFind("1"), "b");
}

TEST_F(KeyedTextTableTest, RemoveWithoutKeyClearsTheTable) {
  TableInsert("1", "a");
  TableInsert("2", "b");
  EXPECT_EQ(TableRemove(nullptr), 0);
  EXPECT_EQ(TableFind("2"), nullptr);
  EXPECT_EQ(TableRemove(nullptr), -1);
}

TEST_F(KeyedTextTableTest, KeysAreCaseSensitiveAndExact) {
  TableInsert("abc", "lower");
  EXPECT_EQ(TableFind("ABC"), nullptr);
  EXPECT_EQ(TableFind("ab"), nullptr);
  EXPECT_EQ(TableFind("abcd"), nullptr);
  EXPECT_STREQ(TableFind("abc"), "lower");
}

// Many keys, removed in an interleaved order, exercise index growth and the
// probe-run repair after removals.
TEST_F(KeyedTextTableTest, StaysConsistentThroughManyInsertsAndRemovals) {
  const int count = 50000;
  for (int i = 1; i <= count; ++i) {
    std::string value = DecimalKey(i * 3);  // DecimalKey's buffer is shared
    ASSERT_EQ(TableInsert(DecimalKey(i), value.c_str()), 0);
  }
  TableInsert("name-a", "x");
  TableInsert("-5", "negative");
  for (int i = 1; i <= count; i += 3) ASSERT_EQ(TableRemove(DecimalKey(i)), 0);
  for (int i = 1; i <= count; ++i) {
    const char* found = TableFind(DecimalKey(i));
    if (i % 3 == 1) {
      EXPECT_EQ(found, nullptr) << i;
    } else {
      ASSERT_NE(found, nullptr) << i;
      std::string expected = DecimalKey(i * 3);
      EXPECT_EQ(expected, found);
    }
  }
  EXPECT_STREQ(TableFind("name-a"), "x");
  EXPECT_STREQ(TableFind("-5"), "negative");
  size_t walked = WalkKeys().size();
  EXPECT_EQ(walked, static_cast<size_t>(count - (count + 2) / 3 + 2));
}

// Values of every size class, replaced and removed at random, against a
// plain map: freed room is reused without touching the values still stored,
// and values handed out earlier stay where they were.
TEST_F(KeyedTextTableTest, ReusedRoomNeverDisturbsStoredValues) {
  std::map<std::string, std::string> model;
  uint64_t state = 12345;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  ASSERT_EQ(TableInsert("pinned", "stays put"), 0);
  const char* pinned = TableFind("pinned");
  for (int step = 0; step < 20000; ++step) {
    std::string key = DecimalKey(static_cast<int32_t>(next() % 500));
    if (next() % 4 == 0) {
      EXPECT_EQ(TableRemove(key.c_str()), model.erase(key) ? 0 : -1) << step;
      continue;
    }
    // Mostly line-sized values, some empty, some far larger than a line.
    size_t length = next() % 10 == 0 ? next() % 9000 : next() % 120;
    std::string value(length, static_cast<char>('a' + next() % 26));
    ASSERT_EQ(TableInsert(key.c_str(), value.c_str()), 0) << step;
    model[key] = value;
  }
  EXPECT_EQ(TableFind("pinned"), pinned);
  EXPECT_STREQ(pinned, "stays put");
  model["pinned"] = "stays put";
  struct Seen {
    std::map<std::string, std::string> entries;
    bool lengthsRight = true;
  } seen;
  TableWalk(
      [](const char* key, const char* value, int valueLength, void* raw) {
        auto* s = static_cast<Seen*>(raw);
        s->entries[key] = value;
        s->lengthsRight &= valueLength == static_cast<int>(std::strlen(value)) + 1;
        return 1;
      },
      &seen);
  EXPECT_EQ(seen.entries, model);
  EXPECT_TRUE(seen.lengthsRight);
  for (const auto& [key, value] : model) {
    const char* stored = TableFind(key.c_str());
    ASSERT_NE(stored, nullptr) << key;
    EXPECT_EQ(value, stored);
    EXPECT_EQ(stored[value.size() + 1], '\0') << key;
  }
}

TEST(DecimalKeyTest, WritesSignedDecimalWithoutLeadingZeros) {
  EXPECT_STREQ(DecimalKey(0), "0");
  EXPECT_STREQ(DecimalKey(7), "7");
  EXPECT_STREQ(DecimalKey(10), "10");
  EXPECT_STREQ(DecimalKey(-42), "-42");
  EXPECT_STREQ(DecimalKey(2147483647), "2147483647");
  EXPECT_STREQ(DecimalKey(-2147483647 - 1), "-2147483648");
}

}  // namespace

// Allocation failure injected at every possible step of an insert.
extern void* (*g_tableAllocate)(size_t);

namespace {

int g_allocationsLeft = 0;
void* FailingAllocate(size_t size) { return g_allocationsLeft-- > 0 ? std::malloc(size) : nullptr; }

TEST(KeyedTextTableMemoryTest, InsertThatRunsOutOfMemoryLeavesNoHalfMadeEntry) {
  TableClear();
  // 716 entries fill the first index (1024 cells) to its limit: the next new key needs
  // a larger index, so every allocation step of that insert can fail.
  for (int i = 0; i < 716; ++i) ASSERT_EQ(TableInsert(DecimalKey(i), "v"), 0);
  for (int failAt = 0; failAt < 3; ++failAt) {
    g_allocationsLeft = failAt;
    g_tableAllocate = FailingAllocate;
    int result = TableInsert("new", "value");
    g_tableAllocate = std::malloc;
    if (result == 0) {
      EXPECT_STREQ(TableFind("new"), "value");
      TableRemove("new");
      continue;
    }
    EXPECT_EQ(TableFind("new"), nullptr) << failAt;
    EXPECT_EQ(TableRemove("new"), -1) << failAt;
    int walked = 0;
    TableWalk([](const char* key, const char* value, int, void* count) {
      ++*static_cast<int*>(count);
      return key != nullptr && value != nullptr ? 1 : 0;
    }, &walked);
    EXPECT_EQ(walked, 716) << failAt;
    EXPECT_EQ(TableInsert("new", "later"), 0) << "the table stays usable";
    EXPECT_STREQ(TableFind("new"), "later");
    TableRemove("new");
  }
  // Replacing an existing key under memory failure keeps the old value. A
  // short value may fit in memory the table already holds, so the
  // replacement is one that needs a block of its own.
  const std::string replacement(100000, 'r');
  g_allocationsLeft = 0;
  g_tableAllocate = FailingAllocate;
  EXPECT_EQ(TableInsert("5", replacement.c_str()), -1);
  g_tableAllocate = std::malloc;
  EXPECT_STREQ(TableFind("5"), "v");
  EXPECT_EQ(TableClear(), 0);
}

// Inserts that need fresh memory while none is left fail one by one and
// leave no trace; the entries stored before them stay whole.
TEST(KeyedTextTableMemoryTest, InsertsFailCleanlyWhenTheTableNeedsMoreRoom) {
  TableClear();
  ASSERT_EQ(TableInsert("0", "first"), 0);
  const std::string value(100, 'x');
  g_allocationsLeft = 0;
  g_tableAllocate = FailingAllocate;
  int stored = 0;
  while (stored < 1000000 && TableInsert(DecimalKey(stored + 1), value.c_str()) == 0) ++stored;
  int failedKey = stored + 1;
  EXPECT_EQ(TableInsert(DecimalKey(failedKey), value.c_str()), -1) << "a failure is not passing";
  g_tableAllocate = std::malloc;
  ASSERT_LT(stored, 1000000) << "the table never asked for memory";
  EXPECT_EQ(TableFind(DecimalKey(failedKey)), nullptr);
  EXPECT_STREQ(TableFind("0"), "first");
  for (int i = 1; i <= stored; ++i) ASSERT_EQ(value, TableFind(DecimalKey(i))) << i;
  EXPECT_EQ(TableInsert(DecimalKey(failedKey), value.c_str()), 0);
  EXPECT_EQ(value, TableFind(DecimalKey(failedKey)));
  EXPECT_EQ(TableClear(), 0);
}

}  // namespace
