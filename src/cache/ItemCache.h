// The item hash cache: a bounded in-memory cache of fixed-size items keyed by a
// 64-bit identifier, with chained buckets for lookup and one recency list for
// eviction. It knows nothing of what the items hold; subclasses decide through
// three virtual hooks. Not thread-safe: callers serialise all calls on one cache.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

// The key: 64 bits seen as one signed integer or as two unsigned 32-bit halves.
// Reading the view that was not written last is the documented union behaviour
// of the compilers we build with (GCC, Clang, MinGW). The three names are the
// design's own, hence lower case.
union TCacheID {
  std::int64_t i;  // NOLINT(readability-identifier-naming)
  struct {
    std::uint32_t c1;  // NOLINT(readability-identifier-naming): low half
    std::uint32_t c2;  // NOLINT(readability-identifier-naming): high half
  };

  static TCacheID FromInt(std::int64_t AValue) {
    TCacheID id;
    id.i = AValue;
    return id;
  }
  static TCacheID FromHalves(std::uint32_t ALow, std::uint32_t AHigh) {
    TCacheID id;
    id.c1 = ALow;
    id.c2 = AHigh;
    return id;
  }
};
static_assert(sizeof(TCacheID) == 8, "TCacheID is exactly 64 bits");
static_assert(std::endian::native == std::endian::little,
              "c1 must overlay the low half of i, c2 the high half");

inline bool SameID(TCacheID ALeft, TCacheID ARight) {
  return ALeft.i == ARight.i;
}

struct TCacheItem;
using PCacheItem = TCacheItem*;  // NOLINT(readability-identifier-naming): its design name

// One slot. A slot is a single allocation: this header followed at
// sizeof(TCacheItem) by ItemSize bytes of data; the header's alignment puts
// the data where any object reference may live.
struct alignas(std::max_align_t) TCacheItem {
  TCacheID ID;          // key of a used item; stale in an unused slot
  PCacheItem Previous;  // towards the front (more recently used); null for the first
  PCacheItem Next;      // towards the back (less recently used); null for the last
  PCacheItem NextHash;  // next item of the same bucket; null at the end; null when unused
};

// The error of a setter called with a value the cache must refuse.
class ECacheAssertion : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A caller keeps a Data pointer only until its next call that can evict or
// remove items (AddItem, DeleteItem, InvalidateItem, Clear, SetMaxCount).
//
// Two rules keep the invariants where the plain algorithm would not:
// - Lowering MaxCount to Count or below discards the unused slots, and changing
//   ItemSize discards them too (they may be too small for the new size).
// - The eviction walk of a full cache starts at the last USED item, never at an
//   unused slot: Count may stand at or above MaxCount while unused slots exist
//   (protected items let Count grow past MaxCount, then one is invalidated).
// Eviction and the MaxCount trim remove the very slot they walked to, not the
// first item of its key, so duplicate keys cannot make them drop the wrong one.
class TAbstractItemCache {
 public:
  // Create(ItemSize, HashSize): MaxCount 2147483647, empty.
  TAbstractItemCache(std::uint32_t AItemSize, std::uint32_t AHashSize);
  // Frees every slot. Hooks cannot run from here (the subclass is gone), so a
  // subclass whose FinalizeItem releases anything calls Clear in its destructor.
  virtual ~TAbstractItemCache();

  TAbstractItemCache(const TAbstractItemCache&) = delete;
  TAbstractItemCache& operator=(const TAbstractItemCache&) = delete;

  // The Data of the item with this key (the latest added of equal keys), moved to
  // the front of its bucket and of the recency list; null when absent.
  void* GetItem(TCacheID AID);
  // A new item for the key; never null. Does not look for an existing item.
  void* AddItem(TCacheID AID);
  // Removes and frees the item; false when absent.
  bool DeleteItem(TCacheID AID);
  // Turns the item into an unused slot kept for the next AddItem; false when absent.
  bool InvalidateItem(TCacheID AID);
  // Removes and frees the least recently used evictable item, never the one
  // whose data is AKeep; false when there is none.
  bool DeleteLeastRecentlyUsed(const void* AKeep);
  // Finalizes and frees every slot. HashSize, ItemSize and MaxCount stay.
  void Clear();

  std::int32_t Count() const { return FCount; }
  std::uint32_t HashSize() const { return FHashSize; }
  std::uint32_t ItemSize() const { return FItemSize; }
  std::int32_t MaxCount() const { return FMaxCount; }

  // 59 or less becomes 59; larger values are made odd. Re-buckets the used items.
  void SetHashSize(std::uint32_t AValue);
  // Raises ECacheAssertion unless the cache is empty.
  void SetItemSize(std::uint32_t AValue);
  // Raises ECacheAssertion for 0 or less; below Count, drops least recently
  // used evictable items.
  void SetMaxCount(std::int32_t AValue);

  static constexpr std::uint32_t cMinHashSize = 59;

 protected:
  // False protects the item from eviction by AddItem and from SetMaxCount.
  virtual bool CanEvictItem(void* AData);
  // Gives a slot that has just received its key defined contents.
  virtual void InitItem(void* AData) = 0;
  // Releases what the data holds. Must accept data it has already finalized and
  // then do nothing: Clear calls it for unused slots too. Must not raise.
  virtual void FinalizeItem(void* AData) = 0;

  static void* DataOf(PCacheItem AItem) {
    return reinterpret_cast<std::byte*>(AItem) + sizeof(TCacheItem);
  }
  std::uint32_t BucketOf(TCacheID AID) const { return (AID.c1 ^ AID.c2) % FHashSize; }

  // Read by subclasses that inspect the structure (diagnostics, tests).
  std::int32_t FCount = 0;              // used items; unused slots not counted
  std::vector<PCacheItem> FHash;        // FHashSize heads of NextHash chains
  std::uint32_t FHashSize = 0;          // bucket count: 59, or odd above 59
  std::uint32_t FItemSize = 0;          // data bytes per slot
  PCacheItem FFirstItem = nullptr;      // most recently used; null when empty
  PCacheItem FUnusedItem = nullptr;     // first unused slot; all after it are unused
  PCacheItem FLastItem = nullptr;       // back of the recency list
  std::int32_t FMaxCount = 2147483647;  // Count at which AddItem starts to evict

 private:
  PCacheItem AllocateSlot() const;
  static void FreeSlot(PCacheItem AItem) noexcept;
  // Frees the unused tail without finalizing (its data already was).
  void DiscardUnusedSlots() noexcept;
  // Frees every slot without hooks.
  void FreeAllSlots() noexcept;

  PCacheItem LastUsedItem() const;
  void UnlinkFromList(PCacheItem AItem) noexcept;
  void LinkAtFront(PCacheItem AItem) noexcept;
  void LinkAtBack(PCacheItem AItem) noexcept;
  void LinkIntoBucket(PCacheItem AItem) noexcept;
  // Unlinks the first item of this key from its chain; null when absent.
  PCacheItem UnlinkFirstWithID(TCacheID AID) noexcept;
  // Unlinks exactly this item from its chain.
  void UnlinkFromBucket(PCacheItem AItem) noexcept;
  // Finalizes, unlinks and frees a used item that is already out of its chain.
  void RemoveUsedItem(PCacheItem AItem) noexcept;
  // Step 1 of AddItem: recycles the first unused slot or allocates one.
  void* AddToFreeSlot(TCacheID AID);
};

// The concrete cache: data hooks that do nothing.
class TItemCache : public TAbstractItemCache {
 public:
  using TAbstractItemCache::TAbstractItemCache;

 protected:
  void InitItem(void* AData) override;
  void FinalizeItem(void* AData) override;
};
