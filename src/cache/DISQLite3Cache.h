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
// of the compilers we build with (GCC, Clang, MinGW).
union TDICacheID {
  std::int64_t i;
  struct {
    std::uint32_t c1;  // low half
    std::uint32_t c2;  // high half
  };

  static TDICacheID FromInt(std::int64_t AValue) {
    TDICacheID id;
    id.i = AValue;
    return id;
  }
  static TDICacheID FromHalves(std::uint32_t ALow, std::uint32_t AHigh) {
    TDICacheID id;
    id.c1 = ALow;
    id.c2 = AHigh;
    return id;
  }
};
static_assert(sizeof(TDICacheID) == 8, "TDICacheID is exactly 64 bits");
static_assert(std::endian::native == std::endian::little,
              "c1 must overlay the low half of i, c2 the high half");

inline bool SameID(TDICacheID a, TDICacheID b) {
  return a.i == b.i;
}

struct TDICacheItem;
using PDICacheItem = TDICacheItem*;

// One slot. A slot is a single allocation: this header followed at
// sizeof(TDICacheItem) by ItemSize bytes of data; the header's alignment puts
// the data where any object reference may live.
struct alignas(std::max_align_t) TDICacheItem {
  TDICacheID ID;          // key of a used item; stale in an unused slot
  PDICacheItem Previous;  // towards the front (more recently used); null for the first
  PDICacheItem Next;      // towards the back (less recently used); null for the last
  PDICacheItem NextHash;  // next item of the same bucket; null at the end; null when unused
};

// The error of a setter called with a value the cache must refuse.
class EDIAssertionFailure : public std::logic_error {
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
class TDIAbstractSQLite3Cache {
 public:
  // Create(ItemSize, HashSize): MaxCount 2147483647, empty.
  TDIAbstractSQLite3Cache(std::uint32_t AItemSize, std::uint32_t AHashSize);
  // Frees every slot. Hooks cannot run from here (the subclass is gone), so a
  // subclass whose FinalizeItem releases anything calls Clear in its destructor.
  virtual ~TDIAbstractSQLite3Cache();

  TDIAbstractSQLite3Cache(const TDIAbstractSQLite3Cache&) = delete;
  TDIAbstractSQLite3Cache& operator=(const TDIAbstractSQLite3Cache&) = delete;

  // The Data of the item with this key (the latest added of equal keys), moved to
  // the front of its bucket and of the recency list; null when absent.
  void* GetItem(TDICacheID AID);
  // A new item for the key; never null. Does not look for an existing item.
  void* AddItem(TDICacheID AID);
  // Removes and frees the item; false when absent.
  bool DeleteItem(TDICacheID AID);
  // Turns the item into an unused slot kept for the next AddItem; false when absent.
  bool InvalidateItem(TDICacheID AID);
  // Finalizes and frees every slot. HashSize, ItemSize and MaxCount stay.
  void Clear();

  std::int32_t Count() const { return FCount; }
  std::uint32_t HashSize() const { return FHashSize; }
  std::uint32_t ItemSize() const { return FItemSize; }
  std::int32_t MaxCount() const { return FMaxCount; }

  // 59 or less becomes 59; larger values are made odd. Re-buckets the used items.
  void SetHashSize(std::uint32_t AValue);
  // Raises EDIAssertionFailure unless the cache is empty.
  void SetItemSize(std::uint32_t AValue);
  // Raises EDIAssertionFailure for 0 or less; below Count, drops least recently
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

  static void* DataOf(PDICacheItem AItem) {
    return reinterpret_cast<std::byte*>(AItem) + sizeof(TDICacheItem);
  }
  std::uint32_t BucketOf(TDICacheID AID) const { return (AID.c1 ^ AID.c2) % FHashSize; }

  // Read by subclasses that inspect the structure (diagnostics, tests).
  std::int32_t FCount = 0;              // used items; unused slots not counted
  std::vector<PDICacheItem> FHash;      // FHashSize heads of NextHash chains
  std::uint32_t FHashSize = 0;          // bucket count: 59, or odd above 59
  std::uint32_t FItemSize = 0;          // data bytes per slot
  PDICacheItem FFirstItem = nullptr;    // most recently used; null when empty
  PDICacheItem FUnusedItem = nullptr;   // first unused slot; all after it are unused
  PDICacheItem FLastItem = nullptr;     // back of the recency list
  std::int32_t FMaxCount = 2147483647;  // Count at which AddItem starts to evict

 private:
  PDICacheItem AllocateSlot() const;
  static void FreeSlot(PDICacheItem AItem) noexcept;
  // Frees the unused tail without finalizing (its data already was).
  void DiscardUnusedSlots() noexcept;
  // Frees every slot without hooks.
  void FreeAllSlots() noexcept;

  PDICacheItem LastUsedItem() const;
  void UnlinkFromList(PDICacheItem AItem) noexcept;
  void LinkAtFront(PDICacheItem AItem) noexcept;
  void LinkAtBack(PDICacheItem AItem) noexcept;
  void LinkIntoBucket(PDICacheItem AItem) noexcept;
  // Unlinks the first item of this key from its chain; null when absent.
  PDICacheItem UnlinkFirstWithID(TDICacheID AID) noexcept;
  // Unlinks exactly this item from its chain.
  void UnlinkFromBucket(PDICacheItem AItem) noexcept;
  // Finalizes, unlinks and frees a used item that is already out of its chain.
  void RemoveUsedItem(PDICacheItem AItem) noexcept;
  // Step 1 of AddItem: recycles the first unused slot or allocates one.
  void* AddToFreeSlot(TDICacheID AID);
};

// The concrete cache: data hooks that do nothing.
class TDISQLite3Cache : public TDIAbstractSQLite3Cache {
 public:
  using TDIAbstractSQLite3Cache::TDIAbstractSQLite3Cache;

 protected:
  void InitItem(void* AData) override;
  void FinalizeItem(void* AData) override;
};
