// The item hash cache's operations: lookups with move-to-front in both the bucket
// chain and the recency list, adds that recycle unused slots before allocating
// and evict in place when full, and the setters that keep the invariants.
#include "cache/ItemCache.h"

#include <algorithm>
#include <limits>
#include <new>
#include <type_traits>

static_assert(alignof(TCacheItem) >= alignof(std::max_align_t),
              "slot data must be aligned for any object reference");
static_assert(sizeof(TCacheItem) % alignof(std::max_align_t) == 0,
              "data follows the header at an aligned offset");
static_assert(alignof(TCacheItem) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
              "plain operator new must give the slot's alignment");

TAbstractItemCache::TAbstractItemCache(std::uint32_t AItemSize, std::uint32_t AHashSize)
    : FItemSize(AItemSize) {
  SetHashSize(AHashSize);
}

TAbstractItemCache::~TAbstractItemCache() {
  FreeAllSlots();
}

bool TAbstractItemCache::CanEvictItem(void* /*AData*/) {
  return true;
}

PCacheItem TAbstractItemCache::AllocateSlot() const {
  // Detect and prevent integer overflow (a 32-bit size_t).
  if (std::uint64_t{FItemSize} + sizeof(TCacheItem) > std::numeric_limits<std::size_t>::max()) {
    throw std::bad_alloc();
  }
  // The slot is the cache's own storage: one block for links and data.
  void* block = ::operator new(sizeof(TCacheItem) + FItemSize);
  return ::new (block) TCacheItem{};
}

void TAbstractItemCache::FreeSlot(PCacheItem AItem) noexcept {
  static_assert(std::is_trivially_destructible_v<TCacheItem>);
  ::operator delete(AItem);
}

PCacheItem TAbstractItemCache::LastUsedItem() const {
  return FUnusedItem != nullptr ? FUnusedItem->Previous : FLastItem;
}

void TAbstractItemCache::UnlinkFromList(PCacheItem AItem) noexcept {
  if (AItem->Previous != nullptr) {
    AItem->Previous->Next = AItem->Next;
  } else {
    FFirstItem = AItem->Next;
  }
  if (AItem->Next != nullptr) {
    AItem->Next->Previous = AItem->Previous;
  } else {
    FLastItem = AItem->Previous;
  }
  AItem->Previous = nullptr;
  AItem->Next = nullptr;
}

void TAbstractItemCache::LinkAtFront(PCacheItem AItem) noexcept {
  AItem->Previous = nullptr;
  AItem->Next = FFirstItem;
  if (FFirstItem != nullptr) {
    FFirstItem->Previous = AItem;
  } else {
    FLastItem = AItem;
  }
  FFirstItem = AItem;
}

void TAbstractItemCache::LinkAtBack(PCacheItem AItem) noexcept {
  AItem->Next = nullptr;
  AItem->Previous = FLastItem;
  if (FLastItem != nullptr) {
    FLastItem->Next = AItem;
  } else {
    FFirstItem = AItem;
  }
  FLastItem = AItem;
}

void TAbstractItemCache::LinkIntoBucket(PCacheItem AItem) noexcept {
  PCacheItem& head = FHash[BucketOf(AItem->ID)];
  AItem->NextHash = head;
  head = AItem;
}

PCacheItem TAbstractItemCache::UnlinkFirstWithID(TCacheID AID) noexcept {
  PCacheItem* link = &FHash[BucketOf(AID)];
  while (*link != nullptr && !SameID((*link)->ID, AID)) link = &(*link)->NextHash;
  PCacheItem item = *link;
  if (item != nullptr) {
    *link = item->NextHash;
    item->NextHash = nullptr;
  }
  return item;
}

void TAbstractItemCache::UnlinkFromBucket(PCacheItem AItem) noexcept {
  PCacheItem* link = &FHash[BucketOf(AItem->ID)];
  while (*link != nullptr && *link != AItem) link = &(*link)->NextHash;
  if (*link != nullptr) *link = AItem->NextHash;
  AItem->NextHash = nullptr;
}

void TAbstractItemCache::RemoveUsedItem(PCacheItem AItem) noexcept {
  UnlinkFromList(AItem);
  FinalizeItem(DataOf(AItem));
  FreeSlot(AItem);
  --FCount;
}

void TAbstractItemCache::DiscardUnusedSlots() noexcept {
  if (FUnusedItem == nullptr) return;
  PCacheItem lastUsed = FUnusedItem->Previous;
  for (PCacheItem item = FUnusedItem; item != nullptr;) {
    PCacheItem next = item->Next;
    FreeSlot(item);
    item = next;
  }
  if (lastUsed != nullptr) {
    lastUsed->Next = nullptr;
  } else {
    FFirstItem = nullptr;
  }
  FLastItem = lastUsed;
  FUnusedItem = nullptr;
}

void TAbstractItemCache::FreeAllSlots() noexcept {
  for (PCacheItem item = FFirstItem; item != nullptr;) {
    PCacheItem next = item->Next;
    FreeSlot(item);
    item = next;
  }
  std::fill(FHash.begin(), FHash.end(), nullptr);
  FFirstItem = nullptr;
  FUnusedItem = nullptr;
  FLastItem = nullptr;
  FCount = 0;
}

void* TAbstractItemCache::GetItem(TCacheID AID) {
  PCacheItem& head = FHash[BucketOf(AID)];
  PCacheItem previous = nullptr;
  PCacheItem item = head;
  while (item != nullptr && !SameID(item->ID, AID)) {
    previous = item;
    item = item->NextHash;
  }
  if (item == nullptr) return nullptr;
  // Move-to-front in the chain: repeated lookups of one key stop at the head.
  if (previous != nullptr) {
    previous->NextHash = item->NextHash;
    item->NextHash = head;
    head = item;
  }
  if (item != FFirstItem) {
    UnlinkFromList(item);
    LinkAtFront(item);
  }
  return DataOf(item);
}

void* TAbstractItemCache::AddToFreeSlot(TCacheID AID) {
  PCacheItem item;
  if (FUnusedItem != nullptr) {
    item = FUnusedItem;
    FUnusedItem = item->Next;
    UnlinkFromList(item);  // its data was finalized when it was invalidated
  } else {
    item = AllocateSlot();  // may raise; nothing has changed yet
  }
  item->ID = AID;
  LinkIntoBucket(item);
  LinkAtFront(item);
  ++FCount;
  void* data = DataOf(item);
  InitItem(data);
  return data;
}

void* TAbstractItemCache::AddItem(TCacheID AID) {
  if (FCount < FMaxCount) return AddToFreeSlot(AID);
  // Full: recycle the least recently used evictable item in place. The walk
  // starts at the last used item; unused slots never hold live data.
  for (PCacheItem item = LastUsedItem(); item != nullptr; item = item->Previous) {
    void* data = DataOf(item);
    if (!CanEvictItem(data)) continue;
    UnlinkFromBucket(item);
    item->ID = AID;
    LinkIntoBucket(item);
    if (item != FFirstItem) {
      UnlinkFromList(item);
      LinkAtFront(item);
    }
    FinalizeItem(data);
    InitItem(data);
    return data;
  }
  // Every item is protected: grow past MaxCount rather than fail.
  return AddToFreeSlot(AID);
}

bool TAbstractItemCache::DeleteItem(TCacheID AID) {
  PCacheItem item = UnlinkFirstWithID(AID);
  if (item == nullptr) return false;
  RemoveUsedItem(item);
  return true;
}

bool TAbstractItemCache::DeleteLeastRecentlyUsed(const void* AKeep) {
  for (PCacheItem item = LastUsedItem(); item != nullptr; item = item->Previous) {
    void* data = DataOf(item);
    if (data == AKeep || !CanEvictItem(data)) continue;
    UnlinkFromBucket(item);
    RemoveUsedItem(item);
    return true;
  }
  return false;
}

bool TAbstractItemCache::InvalidateItem(TCacheID AID) {
  PCacheItem item = UnlinkFirstWithID(AID);
  if (item == nullptr) return false;
  UnlinkFromList(item);
  LinkAtBack(item);
  FinalizeItem(DataOf(item));
  if (FUnusedItem == nullptr) FUnusedItem = item;
  --FCount;
  return true;
}

void TAbstractItemCache::Clear() {
  std::fill(FHash.begin(), FHash.end(), nullptr);
  // Each slot leaves the list before its hook runs, so the list stays whole.
  while (FFirstItem != nullptr) {
    PCacheItem item = FFirstItem;
    FFirstItem = item->Next;
    FinalizeItem(DataOf(item));  // unused slots too; a second call does nothing
    FreeSlot(item);
  }
  FUnusedItem = nullptr;
  FLastItem = nullptr;
  FCount = 0;
}

void TAbstractItemCache::SetHashSize(std::uint32_t AValue) {
  const std::uint32_t size = AValue <= cMinHashSize ? cMinHashSize : (AValue | 1u);
  if (size == FHashSize) return;
  std::vector<PCacheItem> buckets(size, nullptr);  // may raise; nothing has changed yet
  FHash.swap(buckets);
  FHashSize = size;
  // From the back, each at its chain's head: the most recently used item of a
  // bucket ends up first.
  for (PCacheItem item = LastUsedItem(); item != nullptr; item = item->Previous) {
    LinkIntoBucket(item);
  }
}

void TAbstractItemCache::SetItemSize(std::uint32_t AValue) {
  if (FCount != 0) throw ECacheAssertion("ItemSize can only be set when cache is empty.");
  if (AValue == FItemSize) return;
  // Unused slots were sized for the old data.
  DiscardUnusedSlots();
  FItemSize = AValue;
}

void TAbstractItemCache::SetMaxCount(std::int32_t AValue) {
  if (AValue <= 0) throw ECacheAssertion("MaxCount must be greater than zero.");
  // At or below Count the next AddItem takes the full path, which never
  // recycles unused slots; give their memory back now.
  if (AValue <= FCount) DiscardUnusedSlots();
  for (PCacheItem item = FLastItem; item != nullptr && FCount > AValue;) {
    PCacheItem previous = item->Previous;
    if (CanEvictItem(DataOf(item))) {
      UnlinkFromBucket(item);
      RemoveUsedItem(item);
    }
    item = previous;
  }
  FMaxCount = AValue;
}

void TItemCache::InitItem(void* /*AData*/) {}

void TItemCache::FinalizeItem(void* /*AData*/) {}
