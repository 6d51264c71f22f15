// The plugin's cache entries: TwdxCache's hooks that own one TCacheObject per
// item, the path key (lookup3 hashlittle of the UTF-16LE key text) and the check
// whether a cached entry still describes the file.
#include "cache/CacheObject.h"

#include <bit>
#include <cstring>

#include "base/Hash.h"
#include "extract/SvgFields.h"

static_assert(sizeof(TCacheObject*) <= TwdxCache::cItemSize, "an item holds one reference");

TwdxCache::TwdxCache(std::uint32_t AItemSize, std::uint32_t AHashSize)
    : TItemCache(AItemSize, AHashSize) {
  if (AItemSize < sizeof(TCacheObject*)) {
    throw ECacheAssertion("ItemSize must hold an object reference.");
  }
}

// The base destructor cannot reach FinalizeItem; free the objects here.
TwdxCache::~TwdxCache() {
  Clear();
}

TCacheObject* TwdxCache::ObjectOf(const void* AData) {
  TCacheObject* object = nullptr;
  if (AData != nullptr) std::memcpy(&object, AData, sizeof(object));
  return object;
}

std::size_t TCacheObject::Bytes() const {
  std::size_t bytes = sizeof(TCacheObject);
  for (const TRecordText& text : cRecordTexts) {
    // A text longer than the string's own buffer has one on the heap.
    const std::u16string& value = Vexmeta.*text.Member;
    if (value.capacity() > std::u16string().capacity())
      bytes += (value.capacity() + 1) * sizeof(char16_t);
  }
  return bytes;
}

std::unique_ptr<TCacheObject> TwdxCache::TakeObject(void* AData) {
  std::unique_ptr<TCacheObject> object(ObjectOf(AData));
  TCacheObject* none = nullptr;
  std::memcpy(AData, &none, sizeof(none));
  if (object) FBytes -= object->Bytes();
  return object;
}

void TwdxCache::StoreObject(void* AData, std::unique_ptr<TCacheObject> AObject) {
  TakeObject(AData);  // an earlier object goes
  FBytes += AObject->Bytes();
  TCacheObject* object = AObject.release();
  std::memcpy(AData, &object, sizeof(object));
  TrimToMaxBytes(AData);
}

void TwdxCache::SetMaxBytes(std::size_t AValue) {
  FMaxBytes = AValue;
  TrimToMaxBytes(nullptr);
}

void TwdxCache::TrimToMaxBytes(const void* AKeep) {
  while (FBytes > FMaxBytes && DeleteLeastRecentlyUsed(AKeep)) {
  }
}

void TwdxCache::InitItem(void* AData) {
  std::memset(AData, 0, ItemSize());
}

// The reference is cleared before the object is freed, so a second call on the
// same data finds nothing.
void TwdxCache::FinalizeItem(void* AData) {
  TakeObject(AData);
}

static_assert(std::endian::native == std::endian::little,
              "the path key hashes the code units as they lie in memory: UTF-16LE");

TCacheID CacheKey(std::u16string_view AKeyText) {
  // The code units in memory are the text's UTF-16LE bytes.
  const std::uint32_t h = hashlittle(AKeyText.data(), AKeyText.size() * sizeof(char16_t), 0);
  // Sign extension: the high half repeats bit 31, which decides the bucket.
  return TCacheID::FromHalves(h, (h & 0x80000000u) != 0 ? 0xFFFFFFFFu : 0u);
}

bool EntryServes(const void* AData, double ATime, std::int64_t ASize) {
  const TCacheObject* object = TwdxCache::ObjectOf(AData);
  // == is false for NaN on either side, so an unordered time never serves.
  return object != nullptr && object->FileDateTime == ATime && object->FileSize == ASize;
}

std::unique_ptr<TwdxCache> CreatePluginCache() {
  return std::make_unique<TwdxCache>(8, 521);
}
