// The plugin's entries in the item hash cache: one TCacheObject per file, keyed
// by a hash of the path's key text. TwdxCache owns the objects in its items and
// frees each exactly once, when its item is evicted, deleted, invalidated or
// cleared; besides their count, it bounds the bytes they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "cache/ItemCache.h"
#include "extract/SvgRecord.h"

// The cached result for one file. Vexmeta is never read when Valid is false.
class TCacheObject {
 public:
  bool Valid = false;         // the file was read and parsed as an SVG document
  double FileDateTime = 0;    // last-write time when read (exact; compared with ==)
  std::int64_t FileSize = 0;  // size in bytes when read
  TVexmeta Vexmeta;

  // The memory the object holds: itself and its texts.
  std::size_t Bytes() const;
};

// Items hold one owning TCacheObject reference (ItemSize 8), or none.
class TwdxCache : public TItemCache {  // NOLINT(readability-identifier-naming): its design name
 public:
  static constexpr std::uint32_t cItemSize = 8;

  // Raises ECacheAssertion when AItemSize cannot hold a reference.
  TwdxCache(std::uint32_t AItemSize, std::uint32_t AHashSize);
  ~TwdxCache() override;

  // Items must keep room for their reference.
  void SetItemSize(std::uint32_t AValue) = delete;

  // What the objects of the cache may hold in all (Bytes of each), unless set:
  // 1,000 drawings with long texts in every field take far less. Beyond it the
  // least recently used entries go, whatever the item limit says.
  static constexpr std::size_t cMaxBytes = std::size_t{256} << 20;

  // The object an item holds, or null; AData is item data from GetItem/AddItem.
  static TCacheObject* ObjectOf(const void* AData);
  // Hands AObject to the item returned by AddItem; the cache owns it from here.
  // An object the item already held is freed. Entries used less recently than
  // this one go while the objects hold more than MaxBytes.
  void StoreObject(void* AData, std::unique_ptr<TCacheObject> AObject);

  std::size_t Bytes() const { return FBytes; }
  void SetMaxBytes(std::size_t AValue);

 protected:
  void InitItem(void* AData) override;
  void FinalizeItem(void* AData) override;

 private:
  // Takes the object out of the item data, which then holds none.
  std::unique_ptr<TCacheObject> TakeObject(void* AData);
  // Removes least recently used entries, never AKeep's, down to MaxBytes.
  void TrimToMaxBytes(const void* AKeep);

  std::size_t FBytes = 0;  // Bytes of every object held
  std::size_t FMaxBytes = cMaxBytes;
};

// The key of a path's key text: hashlittle of its UTF-16LE code units, sign-extended.
// The caller makes the text: the lower-cased path where file names ignore case,
// the path as given where they do not, so that names differing only in case
// there get entries of their own.
TCacheID CacheKey(std::u16string_view AKeyText);

// True when the item data holds an object read at this very time and size.
bool EntryServes(const void* AData, double ATime, std::int64_t ASize);

// The plugin cache: 8-byte items, 521 buckets, MaxCount 2147483647.
std::unique_ptr<TwdxCache> CreatePluginCache();
