// The plugin's cache entries: TwdxCache's hooks that own one TCacheObject per
// item, the path key (lookup3 hashlittle of the UTF-16LE key text) and the check
// whether a cached entry still describes the file.
#include "cache/CacheObject.h"

#include <bit>
#include <cstring>

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

namespace {

// Words are read with memcpy: the key may sit at any address and end anywhere.
// The hash reads little-endian words, which is how they lie in memory on every
// platform the plugin is built for.
static_assert(std::endian::native == std::endian::little,
              "hashlittle and the path key read words as they lie in memory");

std::uint32_t Load32(const unsigned char* AP) {
  std::uint32_t v;
  std::memcpy(&v, AP, sizeof(v));
  return v;
}

void Mix(std::uint32_t& AA, std::uint32_t& AB, std::uint32_t& AC) {
  AA -= AC;
  AA ^= std::rotl(AC, 4);
  AC += AB;
  AB -= AA;
  AB ^= std::rotl(AA, 6);
  AA += AC;
  AC -= AB;
  AC ^= std::rotl(AB, 8);
  AB += AA;
  AA -= AC;
  AA ^= std::rotl(AC, 16);
  AC += AB;
  AB -= AA;
  AB ^= std::rotl(AA, 19);
  AA += AC;
  AC -= AB;
  AC ^= std::rotl(AB, 4);
  AB += AA;
}

void Final(std::uint32_t& AA, std::uint32_t& AB, std::uint32_t& AC) {
  AC ^= AB;
  AC -= std::rotl(AB, 14);
  AA ^= AC;
  AA -= std::rotl(AC, 11);
  AB ^= AA;
  AB -= std::rotl(AA, 25);
  AC ^= AB;
  AC -= std::rotl(AB, 16);
  AA ^= AC;
  AA -= std::rotl(AC, 4);
  AB ^= AA;
  AB -= std::rotl(AA, 14);
  AC ^= AB;
  AC -= std::rotl(AB, 24);
}

}  // namespace

std::uint32_t hashlittle(const void* AKey, std::size_t ALength, std::uint32_t AInitval) {
  const auto* k = static_cast<const unsigned char*>(AKey);
  // The length enters the seed as its low 32 bits, as the reference does.
  std::uint32_t a = 0xdeadbeefu + static_cast<std::uint32_t>(ALength) + AInitval;
  std::uint32_t b = a;
  std::uint32_t c = a;

  while (ALength > 12) {
    a += Load32(k);
    b += Load32(k + 4);
    c += Load32(k + 8);
    Mix(a, b, c);
    ALength -= 12;
    k += 12;
  }
  // The last 1 to 12 bytes, byte by byte: nothing is read past the end.
  switch (ALength) {
    case 12:
      c += static_cast<std::uint32_t>(k[11]) << 24;
      [[fallthrough]];
    case 11:
      c += static_cast<std::uint32_t>(k[10]) << 16;
      [[fallthrough]];
    case 10:
      c += static_cast<std::uint32_t>(k[9]) << 8;
      [[fallthrough]];
    case 9:
      c += k[8];
      [[fallthrough]];
    case 8:
      b += static_cast<std::uint32_t>(k[7]) << 24;
      [[fallthrough]];
    case 7:
      b += static_cast<std::uint32_t>(k[6]) << 16;
      [[fallthrough]];
    case 6:
      b += static_cast<std::uint32_t>(k[5]) << 8;
      [[fallthrough]];
    case 5:
      b += k[4];
      [[fallthrough]];
    case 4:
      a += static_cast<std::uint32_t>(k[3]) << 24;
      [[fallthrough]];
    case 3:
      a += static_cast<std::uint32_t>(k[2]) << 16;
      [[fallthrough]];
    case 2:
      a += static_cast<std::uint32_t>(k[1]) << 8;
      [[fallthrough]];
    case 1:
      a += k[0];
      break;
    case 0:
      return c;  // zero-length input: no final mixing
  }
  Final(a, b, c);
  return c;
}

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
