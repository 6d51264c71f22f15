// Tests of the item hash cache: bucket sizing, recency and eviction, slot
// recycling, protected items, the setters and their refusals, and a long random
// run checked step by step against a plain list-based model.
#include "cache/ItemCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// What the test cache keeps in each item's data.
struct TTestData {
  std::uint64_t Serial;
  std::uint32_t Magic;
  std::uint32_t Protected;  // nonzero: CanEvictItem answers false
};
constexpr std::uint32_t cLive = 0x4C495645;
constexpr std::uint32_t cDead = 0x44454144;

TTestData& At(void* AData) {
  return *static_cast<TTestData*>(AData);
}

// A cache that records every hook call per slot and can look inside itself
// without disturbing the recency order.
class TRecordingCache : public TAbstractItemCache {
 public:
  struct TSlotState {
    bool Live = false;
    int Inits = 0;
    int Finalizations = 0;  // live -> finalized transitions
    int RepeatFinalizes = 0;
  };

  explicit TRecordingCache(std::uint32_t AHashSize = 59,
                           std::uint32_t AItemSize = sizeof(TTestData))
      : TAbstractItemCache(AItemSize, AHashSize) {}
  ~TRecordingCache() override { Clear(); }

  std::map<void*, TSlotState> Slots;
  int EvictQuestions = 0;
  std::vector<std::string> Errors;  // hook misuse seen (checked by the tests)
  int Live = 0;

  // Kept as the hooks run: under the sanitizer freed addresses are not reused
  // soon, so Slots grows with the run and must not be walked every step.
  int LiveSlots() const { return Live; }
  int TotalFinalizeCalls() const {
    int n = 0;
    for (const auto& [data, s] : Slots) n += s.Finalizations + s.RepeatFinalizes;
    return n;
  }

  // The first item of the key in its chain, as GetItem would find it, without moving it.
  void* Peek(std::int64_t AKey) const {
    const TCacheID id = TCacheID::FromInt(AKey);
    for (PCacheItem item = FHash[BucketOf(id)]; item != nullptr; item = item->NextHash) {
      if (SameID(item->ID, id)) return DataOf(item);
    }
    return nullptr;
  }
  std::vector<void*> UsedInRecencyOrder() const {
    std::vector<void*> out;
    for (PCacheItem item = FFirstItem; item != nullptr && item != FUnusedItem; item = item->Next) {
      out.push_back(DataOf(item));
    }
    return out;
  }
  std::vector<void*> UnusedInOrder() const {
    std::vector<void*> out;
    for (PCacheItem item = FUnusedItem; item != nullptr; item = item->Next) {
      out.push_back(DataOf(item));
    }
    return out;
  }
  std::uint32_t Bucket(TCacheID AId) const { return BucketOf(AId); }

  // Links both ways, the unused tail, Count, and bucket membership of every slot.
  ::testing::AssertionResult StructureIsSound() const {
    std::vector<PCacheItem> used;
    std::vector<PCacheItem> unused;
    PCacheItem previous = nullptr;
    bool inTail = false;
    for (PCacheItem item = FFirstItem; item != nullptr; item = item->Next) {
      if (item->Previous != previous) return ::testing::AssertionFailure() << "broken Previous";
      if (item == FUnusedItem) inTail = true;
      (inTail ? unused : used).push_back(item);
      previous = item;
    }
    if (previous != FLastItem) return ::testing::AssertionFailure() << "FLastItem wrong";
    if (FUnusedItem != nullptr && !inTail) {
      return ::testing::AssertionFailure() << "FUnusedItem not in list";
    }
    if (static_cast<int>(used.size()) != FCount) {
      return ::testing::AssertionFailure()
             << "FCount " << FCount << " but " << used.size() << " used items";
    }
    if (FHash.size() != FHashSize) return ::testing::AssertionFailure() << "bucket array size";
    std::size_t chained = 0;
    for (std::uint32_t b = 0; b < FHashSize; ++b) {
      for (PCacheItem item = FHash[b]; item != nullptr; item = item->NextHash) {
        if (BucketOf(item->ID) != b) return ::testing::AssertionFailure() << "wrong bucket";
        if (std::find(used.begin(), used.end(), item) == used.end()) {
          return ::testing::AssertionFailure() << "chained slot is not a used item";
        }
        if (++chained > used.size()) return ::testing::AssertionFailure() << "chain cycle";
      }
    }
    if (chained != used.size()) return ::testing::AssertionFailure() << "item not in a chain";
    return ::testing::AssertionSuccess();
  }

 protected:
  bool CanEvictItem(void* AData) override {
    ++EvictQuestions;
    if (!Slots[AData].Live) Errors.push_back("CanEvictItem on a slot that holds no item");
    return At(AData).Protected == 0;
  }
  void InitItem(void* AData) override {
    TSlotState& s = Slots[AData];
    if (s.Live) Errors.push_back("InitItem on a slot that was never finalized");
    if (reinterpret_cast<std::uintptr_t>(AData) % alignof(std::max_align_t) != 0) {
      Errors.push_back("misaligned data");
    }
    s.Live = true;
    ++Live;
    ++s.Inits;
    if (ItemSize() >= sizeof(TTestData)) At(AData) = TTestData{0, cLive, 0};
  }
  void FinalizeItem(void* AData) override {
    TSlotState& s = Slots[AData];
    if (s.Live) {
      s.Live = false;
      --Live;
      ++s.Finalizations;
      if (ItemSize() >= sizeof(TTestData)) {
        if (At(AData).Magic != cLive) Errors.push_back("finalized data was not initialized");
        At(AData).Magic = cDead;
      }
    } else {
      ++s.RepeatFinalizes;
    }
  }
};

TCacheID Key(std::int64_t AI) {
  return TCacheID::FromInt(AI);
}

void* AddTagged(TRecordingCache& ACache, std::int64_t AKey, std::uint64_t ASerial,
                bool AIsProtected = false) {
  void* data = ACache.AddItem(Key(AKey));
  At(data).Serial = ASerial;
  At(data).Protected = AIsProtected ? 1 : 0;
  return data;
}

TEST(CacheID, HalvesOverlayTheInteger) {
  const TCacheID id = TCacheID::FromInt(-2);
  EXPECT_EQ(id.c1, 0xFFFFFFFEu);
  EXPECT_EQ(id.c2, 0xFFFFFFFFu);
  EXPECT_EQ(TCacheID::FromHalves(1, 2).i, 0x0000000200000001);
}

TEST(ItemCache, CreateRoundsHashSize) {
  struct TCase {
    std::uint32_t Requested, Expected;
  } cases[] = {{0, 59}, {1, 59}, {59, 59}, {60, 61}, {61, 61}, {521, 521}, {1000, 1001}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Requested);
    TItemCache cache(8, c.Requested);
    EXPECT_EQ(cache.HashSize(), c.Expected);
    EXPECT_EQ(cache.ItemSize(), 8u);
    EXPECT_EQ(cache.MaxCount(), 2147483647);
    EXPECT_EQ(cache.Count(), 0);
  }
}

TEST(ItemCache, DataIsAlignedForAnyObjectForEveryItemSize) {
  for (std::uint32_t size : {0u, 1u, 3u, 8u, 17u}) {
    SCOPED_TRACE(size);
    TItemCache cache(size, 59);
    for (int k = 0; k < 5; ++k) {
      void* data = cache.AddItem(Key(k));
      ASSERT_NE(data, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % alignof(std::max_align_t), 0u);
      if (size > 0) std::memset(data, 0xAB, size);  // the whole data area is writable
    }
  }
}

TEST(ItemCache, FullCacheEvictsLeastRecentlyUsedSlotInPlace) {
  TRecordingCache cache;
  cache.SetMaxCount(2);
  void* one = AddTagged(cache, 1, 1);
  void* two = AddTagged(cache, 2, 2);
  EXPECT_EQ(cache.GetItem(Key(1)), one);
  void* three = AddTagged(cache, 3, 3);
  EXPECT_EQ(three, two) << "key 3 must take over the slot of key 2";
  EXPECT_EQ(cache.Slots[two].Inits, 2);
  EXPECT_EQ(cache.Slots[two].Finalizations, 1);
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_EQ(cache.GetItem(Key(2)), nullptr);
  EXPECT_EQ(cache.GetItem(Key(1)), one);
  EXPECT_EQ(cache.Slots.size(), 2u) << "a full cache allocates no slot";
  EXPECT_TRUE(cache.StructureIsSound());
  EXPECT_TRUE(cache.Errors.empty());
}

TEST(ItemCache, InvalidatedSlotsAreRecycledFirstInvalidatedFirst) {
  TRecordingCache cache;
  void* a = AddTagged(cache, 10, 1);
  void* b = AddTagged(cache, 20, 2);
  AddTagged(cache, 30, 3);
  EXPECT_FALSE(cache.InvalidateItem(Key(99)));
  EXPECT_EQ(cache.Count(), 3);

  EXPECT_TRUE(cache.InvalidateItem(Key(20)));
  EXPECT_TRUE(cache.InvalidateItem(Key(10)));
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(cache.GetItem(Key(20)), nullptr);
  EXPECT_EQ(cache.GetItem(Key(10)), nullptr);
  EXPECT_FALSE(cache.InvalidateItem(Key(20))) << "an unused slot is not an item";
  EXPECT_EQ(cache.UnusedInOrder(), (std::vector<void*>{b, a}));
  EXPECT_EQ(cache.Slots[b].Finalizations, 1);
  EXPECT_TRUE(cache.StructureIsSound());

  EXPECT_EQ(cache.AddItem(Key(40)), b);
  EXPECT_EQ(cache.AddItem(Key(50)), a);
  EXPECT_EQ(cache.Slots.size(), 3u) << "no slot was allocated";
  EXPECT_EQ(cache.Count(), 3);
  EXPECT_TRUE(cache.StructureIsSound());
  EXPECT_TRUE(cache.Errors.empty());
}

TEST(ItemCache, KeysSharingABucketAreAllFound) {
  TRecordingCache cache;
  const TCacheID swapped[] = {TCacheID::FromHalves(0, 1), TCacheID::FromHalves(1, 0)};
  EXPECT_EQ(cache.Bucket(swapped[0]), cache.Bucket(swapped[1]));
  // 59 apart in the low half: same bucket too.
  const TCacheID apart[] = {TCacheID::FromHalves(5, 0), TCacheID::FromHalves(64, 0)};
  EXPECT_EQ(cache.Bucket(apart[0]), cache.Bucket(apart[1]));
  // The bucket rule is unsigned: a negative key does not give a negative index.
  EXPECT_EQ(cache.Bucket(TCacheID::FromInt(-1)), 0u);

  std::vector<std::pair<TCacheID, void*>> stored;
  for (TCacheID id : {swapped[0], swapped[1], apart[0], apart[1], TCacheID::FromInt(-1)}) {
    stored.emplace_back(id, cache.AddItem(id));
  }
  for (const auto& [id, data] : stored) {
    SCOPED_TRACE(id.i);
    EXPECT_EQ(cache.GetItem(id), data);
  }
  EXPECT_TRUE(cache.DeleteItem(swapped[0]));
  EXPECT_EQ(cache.GetItem(swapped[0]), nullptr);
  EXPECT_EQ(cache.GetItem(swapped[1]), stored[1].second);
  EXPECT_TRUE(cache.StructureIsSound());
}

TEST(ItemCache, DuplicateKeysStackLatestFirst) {
  TRecordingCache cache;
  void* first = AddTagged(cache, 7, 1);
  void* second = AddTagged(cache, 7, 2);
  EXPECT_NE(first, second);
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_EQ(cache.GetItem(Key(7)), second);
  EXPECT_TRUE(cache.DeleteItem(Key(7)));
  EXPECT_EQ(cache.GetItem(Key(7)), first);
  EXPECT_TRUE(cache.DeleteItem(Key(7)));
  EXPECT_FALSE(cache.DeleteItem(Key(7)));
  EXPECT_EQ(cache.Count(), 0);
  EXPECT_EQ(cache.LiveSlots(), 0);
  EXPECT_TRUE(cache.StructureIsSound());
}

TEST(ItemCache, EvictionOfADuplicateRemovesTheVictimNotTheFirstOfItsKey) {
  TRecordingCache cache;
  void* older = AddTagged(cache, 7, 1);
  void* newer = AddTagged(cache, 7, 2);
  AddTagged(cache, 8, 3);
  // The older item of key 7 is least recently used; trimming must drop exactly it.
  cache.SetMaxCount(2);
  EXPECT_FALSE(cache.Slots[older].Live);
  EXPECT_TRUE(cache.Slots[newer].Live);
  EXPECT_EQ(cache.GetItem(Key(7)), newer);
  // Now key 7 is most recent; a full add evicts key 8.
  EXPECT_EQ(cache.Peek(8), cache.UsedInRecencyOrder().back());
  AddTagged(cache, 9, 4);
  EXPECT_EQ(cache.Peek(8), nullptr);
  EXPECT_EQ(cache.GetItem(Key(7)), newer);
  EXPECT_TRUE(cache.StructureIsSound());
  EXPECT_TRUE(cache.Errors.empty());
}

TEST(ItemCache, RefusedSettingsRaiseAndChangeNothing) {
  struct TCase {
    std::int32_t MaxCount;
  } cases[] = {{0}, {-1}, {-2147483647 - 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.MaxCount);
    TItemCache cache(8, 59);
    cache.SetMaxCount(5);
    try {
      cache.SetMaxCount(c.MaxCount);
      ADD_FAILURE() << "no error raised";
    } catch (const ECacheAssertion& e) {
      EXPECT_STREQ(e.what(), "MaxCount must be greater than zero.");
    }
    EXPECT_EQ(cache.MaxCount(), 5);
  }

  TItemCache cache(8, 59);
  cache.AddItem(Key(1));
  try {
    cache.SetItemSize(16);
    ADD_FAILURE() << "no error raised";
  } catch (const std::logic_error& e) {  // callers may catch the standard base
    EXPECT_STREQ(e.what(), "ItemSize can only be set when cache is empty.");
  }
  EXPECT_EQ(cache.ItemSize(), 8u);
  EXPECT_EQ(cache.Count(), 1);
  cache.Clear();
  cache.SetItemSize(16);
  EXPECT_EQ(cache.ItemSize(), 16u);
}

TEST(ItemCache, LoweringMaxCountFreesUnusedSlotsThenLeastRecentlyUsed) {
  TRecordingCache cache;
  cache.SetMaxCount(10);
  std::vector<void*> data;
  for (int k = 1; k <= 7; ++k) data.push_back(AddTagged(cache, k, k));
  ASSERT_TRUE(cache.InvalidateItem(Key(6)));
  ASSERT_TRUE(cache.InvalidateItem(Key(7)));
  ASSERT_EQ(cache.Count(), 5);
  const int finalizeCallsBefore = cache.TotalFinalizeCalls();

  cache.SetMaxCount(3);
  EXPECT_EQ(cache.MaxCount(), 3);
  EXPECT_EQ(cache.Count(), 3);
  EXPECT_TRUE(cache.UnusedInOrder().empty());
  EXPECT_EQ(cache.UsedInRecencyOrder(), (std::vector<void*>{data[4], data[3], data[2]}));
  EXPECT_EQ(cache.GetItem(Key(1)), nullptr);
  EXPECT_EQ(cache.GetItem(Key(2)), nullptr);
  // Two evicted items finalized; the unused slots were not finalized again.
  EXPECT_EQ(cache.TotalFinalizeCalls() - finalizeCallsBefore, 2);
  EXPECT_TRUE(cache.StructureIsSound());
  EXPECT_TRUE(cache.Errors.empty());
}

// The rules for the two cases the basic algorithm leaves open.
TEST(ItemCache, UnusedSlotsAreDiscardedWhenTheyCouldNoLongerBeRecycledSafely) {
  {
    SCOPED_TRACE("MaxCount lowered to exactly Count");
    TRecordingCache cache;
    void* a = AddTagged(cache, 1, 1);
    AddTagged(cache, 2, 2);
    AddTagged(cache, 3, 3);
    ASSERT_TRUE(cache.InvalidateItem(Key(3)));
    cache.SetMaxCount(2);
    EXPECT_TRUE(cache.UnusedInOrder().empty());
    // Full: the least recently used item (key 1) is evicted in place.
    EXPECT_EQ(cache.AddItem(Key(4)), a);
    EXPECT_EQ(cache.Count(), 2);
    EXPECT_TRUE(cache.StructureIsSound());
  }
  {
    SCOPED_TRACE("MaxCount raised or kept above Count");
    TRecordingCache cache;
    AddTagged(cache, 1, 1);
    AddTagged(cache, 2, 2);
    ASSERT_TRUE(cache.InvalidateItem(Key(2)));
    cache.SetMaxCount(2);
    EXPECT_EQ(cache.UnusedInOrder().size(), 1u);
  }
  {
    SCOPED_TRACE("ItemSize changed");
    TRecordingCache cache(59, 8);
    cache.AddItem(Key(1));
    cache.AddItem(Key(2));
    ASSERT_TRUE(cache.InvalidateItem(Key(1)));
    ASSERT_TRUE(cache.InvalidateItem(Key(2)));
    cache.SetItemSize(8);  // same size: slots fit and stay
    EXPECT_EQ(cache.UnusedInOrder().size(), 2u);
    cache.SetItemSize(sizeof(TTestData));
    EXPECT_TRUE(cache.UnusedInOrder().empty());
    void* data = AddTagged(cache, 3, 3);  // a fresh slot of the new size
    At(data).Serial = ~0ull;
    EXPECT_TRUE(cache.StructureIsSound());
  }
}

TEST(ItemCache, ProtectedItemsAreNeverEvicted) {
  TRecordingCache cache;
  cache.SetMaxCount(2);
  AddTagged(cache, 1, 1, true);
  AddTagged(cache, 2, 2, true);
  AddTagged(cache, 3, 3, true);
  EXPECT_EQ(cache.Count(), 3) << "the cache grows past MaxCount rather than fail";
  void* d = AddTagged(cache, 4, 4);
  EXPECT_EQ(cache.Count(), 4);
  // Count stays at or above MaxCount with an unused slot at the tail.
  ASSERT_TRUE(cache.InvalidateItem(Key(1)));
  ASSERT_EQ(cache.UnusedInOrder().size(), 1u);
  // The walk starts at the last used item, skips the protected ones and
  // recycles key 4 in place; the unused slot is never asked about.
  EXPECT_EQ(cache.AddItem(Key(5)), d);
  EXPECT_EQ(cache.Count(), 3);
  EXPECT_EQ(cache.GetItem(Key(2)) != nullptr, true);
  EXPECT_EQ(cache.GetItem(Key(3)) != nullptr, true);
  // Trimming skips protected items too.
  cache.SetMaxCount(1);
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_NE(cache.Peek(2), nullptr);
  EXPECT_NE(cache.Peek(3), nullptr);
  EXPECT_TRUE(cache.StructureIsSound());
  EXPECT_TRUE(cache.Errors.empty());
}

TEST(ItemCache, ClearFinalizesEverySlotUsedAndUnused) {
  TRecordingCache cache;
  for (int k = 0; k < 6; ++k) AddTagged(cache, k, k);
  ASSERT_TRUE(cache.InvalidateItem(Key(2)));
  ASSERT_TRUE(cache.InvalidateItem(Key(4)));
  const int before = cache.TotalFinalizeCalls();
  cache.Clear();
  EXPECT_EQ(cache.TotalFinalizeCalls() - before, 6);
  EXPECT_EQ(cache.LiveSlots(), 0);
  for (const auto& [data, s] : cache.Slots) EXPECT_EQ(s.Finalizations, 1);
  EXPECT_EQ(cache.Count(), 0);
  EXPECT_EQ(cache.HashSize(), 59u);
  EXPECT_TRUE(cache.StructureIsSound());
  for (int k = 0; k < 6; ++k) EXPECT_EQ(cache.GetItem(Key(k)), nullptr);
  // Usable again.
  AddTagged(cache, 1, 1);
  EXPECT_EQ(cache.Count(), 1);
}

TEST(ItemCache, ChangingHashSizeRebucketsUsedItemsOnly) {
  TRecordingCache cache;
  std::map<std::int64_t, void*> stored;
  for (std::int64_t k = -20; k < 100; k += 3) stored[k] = cache.AddItem(Key(k * 0x100000001));
  for (std::uint32_t size : {521u, 60u, 0u, 1001u}) {
    SCOPED_TRACE(size);
    cache.SetHashSize(size);
    EXPECT_TRUE(cache.StructureIsSound());
    for (const auto& [k, data] : stored) EXPECT_EQ(cache.GetItem(Key(k * 0x100000001)), data);
  }
  for (const auto& [k, data] : stored) ASSERT_TRUE(cache.InvalidateItem(Key(k * 0x100000001)));
  cache.SetHashSize(61);
  EXPECT_TRUE(cache.StructureIsSound());
  for (const auto& [k, data] : stored) EXPECT_EQ(cache.GetItem(Key(k * 0x100000001)), nullptr);
}

TEST(ItemCache, DestructionWithoutClearFreesEverySlot) {
  // The leak checker of the sanitizer build proves the frees.
  TItemCache cache(32, 59);
  for (int k = 0; k < 50; ++k) cache.AddItem(Key(k));
  for (int k = 0; k < 10; ++k) cache.InvalidateItem(Key(k));
  cache.SetMaxCount(45);
  EXPECT_EQ(cache.Count(), 40);
}

// ---------------------------------------------------------------------------
// Random run against a model.

// The model: used items most recently used first, the unused slots in recycling
// order, and per key the order in which its items would be found.
class TModel {
 public:
  struct TEntry {
    std::int64_t Key;
    void* Data;
    bool Protected;
    std::uint64_t ChainRank;  // among equal keys the highest is found first
  };

  std::list<TEntry> Used;
  std::deque<void*> Unused;
  std::int32_t MaxCount = 2147483647;
  std::uint64_t Rank = 0;

  std::list<TEntry>::iterator Find(std::int64_t AKey) {
    auto best = Used.end();
    for (auto it = Used.begin(); it != Used.end(); ++it) {
      if (it->Key == AKey && (best == Used.end() || it->ChainRank > best->ChainRank)) best = it;
    }
    return best;
  }
  std::int32_t Count() const { return static_cast<std::int32_t>(Used.size()); }

  // Which slot AddItem must hand out: recycled unused slot (front), evicted item,
  // or null for a fresh allocation.
  enum class TAddKind { akFresh, akRecycle, akEvict, akOverflow };
  TAddKind LastAddKind = TAddKind::akFresh;
  void* ExpectedAddSlot() {
    const bool full = Count() >= MaxCount;
    if (full) {
      for (auto it = Used.rbegin(); it != Used.rend(); ++it) {
        if (!it->Protected) {
          LastAddKind = TAddKind::akEvict;
          return it->Data;
        }
      }
    }
    // Every item protected: past MaxCount through a recycled or fresh slot.
    LastAddKind = full             ? TAddKind::akOverflow
                  : Unused.empty() ? TAddKind::akFresh
                                   : TAddKind::akRecycle;
    return Unused.empty() ? nullptr : Unused.front();
  }
  void Add(std::int64_t AKey, void* AData, bool AIsProtected) {
    if (Count() >= MaxCount) {
      for (auto it = Used.rbegin(); it != Used.rend(); ++it) {
        if (!it->Protected) {
          Used.erase(std::next(it).base());
          Used.push_front({AKey, AData, AIsProtected, ++Rank});
          return;
        }
      }
    }
    if (!Unused.empty()) Unused.pop_front();
    Used.push_front({AKey, AData, AIsProtected, ++Rank});
  }
  void* Get(std::int64_t AKey) {
    auto it = Find(AKey);
    if (it == Used.end()) return nullptr;
    Used.splice(Used.begin(), Used, it);
    return it->Data;
  }
  bool Delete(std::int64_t AKey) {
    auto it = Find(AKey);
    if (it == Used.end()) return false;
    Used.erase(it);
    return true;
  }
  bool Invalidate(std::int64_t AKey) {
    auto it = Find(AKey);
    if (it == Used.end()) return false;
    Unused.push_back(it->Data);
    Used.erase(it);
    return true;
  }
  void Clear() {
    Used.clear();
    Unused.clear();
  }
  void SetMaxCount(std::int32_t AValue) {
    if (AValue <= Count()) Unused.clear();
    for (auto it = Used.end(); it != Used.begin() && Count() > AValue;) {
      --it;
      if (!it->Protected) it = Used.erase(it);
    }
    MaxCount = AValue;
  }
  void Rehash() {
    // Re-bucketing puts the most recently used item of each key first.
    for (auto it = Used.rbegin(); it != Used.rend(); ++it) it->ChainRank = ++Rank;
  }
};

TEST(ItemCache, RandomRunMatchesListModel) {
  std::mt19937_64 rng(20261210);
  auto pick = [&](std::uint64_t AN) { return rng() % AN; };
  // Keys with varied halves; many share buckets of a 59-bucket table.
  std::vector<std::int64_t> keys;
  for (std::uint32_t low = 0; low < 16; ++low) {
    for (std::uint32_t high : {0u, 1u, 0xFFFFFFFFu}) {
      keys.push_back(TCacheID::FromHalves(low * 59 + (high & 3), high).i);
    }
  }

  TRecordingCache cache;
  TModel model;
  std::uint64_t serial = 0;
  std::uint64_t evictions = 0, recycles = 0, overflows = 0;

  for (int step = 0; step < 200000; ++step) {
    const std::int64_t key = keys[pick(keys.size())];
    const std::uint64_t op = pick(1000);
    std::string what;
    if (op < 420) {
      what = "AddItem";
      const bool isProtected = pick(12) == 0;
      void* expected = model.ExpectedAddSlot();
      const TModel::TAddKind kind = model.LastAddKind;
      void* data = AddTagged(cache, key, ++serial, isProtected);
      if (expected != nullptr) {
        ASSERT_EQ(data, expected) << "step " << step;
      }
      evictions += kind == TModel::TAddKind::akEvict ? 1 : 0;
      recycles += kind == TModel::TAddKind::akRecycle ? 1 : 0;
      overflows += kind == TModel::TAddKind::akOverflow ? 1 : 0;
      model.Add(key, data, isProtected);
    } else if (op < 700) {
      what = "GetItem";
      ASSERT_EQ(cache.GetItem(Key(key)), model.Get(key)) << "step " << step;
    } else if (op < 800) {
      what = "DeleteItem";
      ASSERT_EQ(cache.DeleteItem(Key(key)), model.Delete(key)) << "step " << step;
    } else if (op < 930) {
      what = "InvalidateItem";
      ASSERT_EQ(cache.InvalidateItem(Key(key)), model.Invalidate(key)) << "step " << step;
    } else if (op < 933) {
      what = "Clear";
      cache.Clear();
      model.Clear();
    } else if (op < 990) {
      what = "SetMaxCount";
      std::int32_t value = static_cast<std::int32_t>(pick(14));  // 0 is refused
      if (pick(20) == 0) value = 2147483647;
      if (value <= 0) {
        ASSERT_THROW(cache.SetMaxCount(value), ECacheAssertion);
      } else {
        cache.SetMaxCount(value);
        model.SetMaxCount(value);
      }
    } else {
      what = "SetHashSize";
      const std::uint32_t sizes[] = {59, 60, 61, 97, 521};
      const std::uint32_t before = cache.HashSize();
      cache.SetHashSize(sizes[pick(5)]);
      if (cache.HashSize() != before) model.Rehash();
    }

    SCOPED_TRACE(testing::Message() << "step " << step << " after " << what);
    ASSERT_EQ(cache.Count(), model.Count());
    ASSERT_EQ(cache.MaxCount(), model.MaxCount);
    std::vector<void*> expectedUsed;
    for (const auto& e : model.Used) expectedUsed.push_back(e.Data);
    ASSERT_EQ(cache.UsedInRecencyOrder(), expectedUsed);
    ASSERT_EQ(cache.UnusedInOrder(), std::vector<void*>(model.Unused.begin(), model.Unused.end()));
    for (std::int64_t k : keys) {
      auto it = model.Find(k);
      ASSERT_EQ(cache.Peek(k), it == model.Used.end() ? nullptr : it->Data) << "key " << k;
    }
    // Every used item is live, every other slot ever seen is finalized.
    ASSERT_EQ(cache.LiveSlots(), cache.Count());
    for (void* data : expectedUsed) ASSERT_TRUE(cache.Slots[data].Live);
    ASSERT_TRUE(cache.Errors.empty()) << cache.Errors.front();
    if (step % 64 == 0) {
      ASSERT_TRUE(cache.StructureIsSound());
    }
  }
  // The run must have gone through every path.
  EXPECT_GT(evictions, 1000u);
  EXPECT_GT(recycles, 1000u);
  EXPECT_GT(overflows, 0u);

  cache.Clear();
  EXPECT_EQ(cache.LiveSlots(), 0);
  for (const auto& [data, s] : cache.Slots) ASSERT_EQ(s.Inits, s.Finalizations);
}

}  // namespace
