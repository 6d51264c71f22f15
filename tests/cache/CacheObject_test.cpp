// Tests of the plugin's cache entries: path keys and their sign extension, the
// entry check, and that TwdxCache frees every object exactly once (frees are
// counted by the replaced global operator delete below).
#include "cache/CacheObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

namespace {

// Addresses whose frees are counted. Only a handful of objects are watched at a
// time, and each is unwatched once its free has been checked, so a later
// allocation at the same address cannot be counted against it.
constexpr int cMaxWatched = 8;
std::atomic<const void*> gWatched[cMaxWatched];
std::atomic<int> gFrees[cMaxWatched];

void NoteFree(const void* AP) {
  if (AP == nullptr) return;
  for (int i = 0; i < cMaxWatched; ++i) {
    if (gWatched[i].load(std::memory_order_relaxed) == AP) gFrees[i].fetch_add(1);
  }
}

}  // namespace

// The replacements pair malloc with free; the compiler cannot see that and
// warns where it inlines a delete of what new returned.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t ASize) {
  if (void* p = std::malloc(ASize == 0 ? 1 : ASize)) return p;
  throw std::bad_alloc();
}
void operator delete(void* AP) noexcept {
  NoteFree(AP);
  std::free(AP);
}
void operator delete(void* AP, std::size_t) noexcept {
  NoteFree(AP);
  std::free(AP);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// Watches named objects for the length of one test.
class TFreeWatch {
 public:
  TFreeWatch() { Reset(); }
  ~TFreeWatch() { Reset(); }
  void Watch(int ASlot, const TCacheObject* AObject) {
    gFrees[ASlot] = 0;
    gWatched[ASlot] = AObject;
  }
  int Frees(int ASlot) const { return gFrees[ASlot]; }
  // Checks the count and stops watching, before the address can be reused.
  void ExpectFreedOnce(int ASlot) {
    EXPECT_EQ(gFrees[ASlot], 1) << "object " << ASlot;
    gWatched[ASlot] = nullptr;
  }

 private:
  static void Reset() {
    for (int i = 0; i < cMaxWatched; ++i) {
      gWatched[i] = nullptr;
      gFrees[i] = 0;
    }
  }
};

std::u16string U(const char* AAscii) {
  return std::u16string(AAscii, AAscii + std::strlen(AAscii));
}

// The cache part of one value request: serve a matching entry, else replace it.
// Returns the object that serves and whether it was built now.
struct TServed {
  TCacheObject* Object;
  bool Built;
};
TServed Request(TwdxCache& ACache, std::u16string_view APath, double ATime, std::int64_t ASize) {
  const TCacheID key = CacheKey(APath);
  void* data = ACache.GetItem(key);
  if (data != nullptr && EntryServes(data, ATime, ASize)) return {TwdxCache::ObjectOf(data), false};
  if (data != nullptr) ACache.InvalidateItem(key);
  auto object = std::make_unique<TCacheObject>();
  object->Valid = true;
  object->FileDateTime = ATime;
  object->FileSize = ASize;
  object->Vexmeta.Width = std::u16string(APath);
  TCacheObject* raw = object.get();
  ACache.StoreObject(ACache.AddItem(key), std::move(object));
  return {raw, true};
}

TEST(CacheKey, HashesTheTextAsGivenThenSignExtends) {
  const TCacheID known = CacheKey(u"c:\\pictures\\a.svg");
  EXPECT_EQ(known.c1, 0xd2de90deu);
  EXPECT_EQ(known.c2, 0xFFFFFFFFu);
  // Letter case is the caller's business: the key tells every spelling apart.
  for (const char16_t* other :
       {u"C:\\Pictures\\A.svg", u"c:\\pictures\\a.SVG", u"c:\\pictures\\A.svg"}) {
    EXPECT_NE(CacheKey(other).i, known.i);
  }
  EXPECT_NE(CacheKey(u"/data/Pair.svg").i, CacheKey(u"/data/pair.svg").i);
  // Both halves follow bit 31 over many paths: zero or all ones.
  int high = 0;
  for (int n = 0; n < 200; ++n) {
    const TCacheID key = CacheKey(u"/data/drawing-" + U(std::to_string(n).c_str()) + u".svg");
    EXPECT_EQ(key.c2, (key.c1 & 0x80000000u) != 0 ? 0xFFFFFFFFu : 0u);
    EXPECT_EQ(key.i, static_cast<std::int64_t>(static_cast<std::int32_t>(key.c1)));
    high += key.c2 != 0 ? 1 : 0;
  }
  EXPECT_GT(high, 0);
  EXPECT_LT(high, 200);
  EXPECT_NE(CacheKey(u"c:\\a.svg").i, CacheKey(u"c:\\b.svg").i);
}

TEST(CacheObject, EntryServesOnlyTheSameTimeAndSize) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct TCase {
    const char* Label;
    bool HasObject;
    bool Valid;
    double StoredTime, Time;
    std::int64_t StoredSize, Size;
    bool Serves;
  } cases[] = {
      {"same", true, true, 45000.5, 45000.5, 1234, 1234, true},
      {"invalid entry serves too", true, false, 45000.5, 45000.5, 1234, 1234, true},
      {"time changed by a millisecond", true, true, 45000.5, 45000.5 + 1.0 / 86400000, 1234, 1234,
       false},
      {"size changed", true, true, 45000.5, 45000.5, 1234, 1235, false},
      {"64-bit size", true, true, 1, 1, std::int64_t{1} << 40, (std::int64_t{1} << 40) + 1, false},
      {"unordered time", true, true, nan, nan, 1, 1, false},
      {"zero time (failed conversion)", true, true, 0, 0, 1, 1, true},
      {"item without object", false, true, 1, 1, 1, 1, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TwdxCache cache(8, 521);
    void* data = cache.AddItem(CacheKey(u"c:\\x.svg"));
    if (c.HasObject) {
      auto object = std::make_unique<TCacheObject>();
      object->Valid = c.Valid;
      object->FileDateTime = c.StoredTime;
      object->FileSize = c.StoredSize;
      cache.StoreObject(data, std::move(object));
    }
    EXPECT_EQ(EntryServes(data, c.Time, c.Size), c.Serves);
  }
  EXPECT_FALSE(EntryServes(nullptr, 0, 0));
}

TEST(CacheObject, PluginCacheShape) {
  std::unique_ptr<TwdxCache> cache = CreatePluginCache();
  EXPECT_EQ(cache->ItemSize(), 8u);
  EXPECT_EQ(cache->HashSize(), 521u);
  EXPECT_EQ(cache->MaxCount(), 2147483647);
  EXPECT_EQ(cache->Count(), 0);
  // A new item holds no object.
  void* data = cache->AddItem(CacheKey(u"c:\\a.svg"));
  EXPECT_EQ(TwdxCache::ObjectOf(data), nullptr);
  // Items too small for a reference are refused.
  EXPECT_THROW(TwdxCache(4, 59), ECacheAssertion);
}

// Long texts in every field of every entry cannot pile up: beyond MaxBytes the
// least recently used entries go, even far below the item limit, and what the
// objects hold is counted back when they go.
TEST(TwdxCache, BytesAreBoundedByEvictingTheLeastRecentlyUsed) {
  TFreeWatch watch;
  auto cache = CreatePluginCache();
  cache->SetMaxCount(1000);
  auto entry = [&](const std::u16string& APath, int AIndex) {
    auto object = std::make_unique<TCacheObject>();
    object->Vexmeta.MetadataTitle.assign(4000, u'x');
    watch.Watch(AIndex, object.get());
    cache->StoreObject(cache->AddItem(CacheKey(APath)), std::move(object));
  };
  const std::u16string paths[] = {u"/a.svg", u"/b.svg", u"/c.svg", u"/d.svg"};
  for (int i = 0; i < 3; ++i) entry(paths[i], i);
  const std::size_t three = cache->Bytes();
  EXPECT_GT(three, 3u * 8000);
  cache->SetMaxBytes(three);
  EXPECT_NE(cache->GetItem(CacheKey(paths[0])), nullptr);  // a is now the most recent
  entry(paths[3], 3);
  EXPECT_EQ(cache->Count(), 3);
  watch.ExpectFreedOnce(1);  // b, the least recently used, went
  EXPECT_EQ(cache->GetItem(CacheKey(paths[1])), nullptr);
  EXPECT_LE(cache->Bytes(), three);

  cache->SetMaxBytes(1);  // even the newest may go when nothing else is left
  EXPECT_EQ(cache->Count(), 0);
  EXPECT_EQ(cache->Bytes(), 0u);
}

TEST(TwdxCache, MaxCountTwoKeepsTheTwoLatestFiles) {
  TFreeWatch watch;
  auto cache = CreatePluginCache();
  cache->SetMaxCount(2);
  const std::u16string a = u"c:\\pictures\\a.svg", b = u"c:\\pictures\\b.svg",
                       c = u"c:\\pictures\\c.svg";
  TServed first = Request(*cache, a, 1, 10);
  watch.Watch(0, first.Object);
  TServed second = Request(*cache, b, 1, 20);
  watch.Watch(1, second.Object);
  TServed again = Request(*cache, a, 1, 10);
  EXPECT_FALSE(again.Built) << "a's sign-extended key is found again";
  EXPECT_EQ(again.Object, first.Object);
  TServed third = Request(*cache, c, 1, 30);
  watch.Watch(2, third.Object);
  EXPECT_TRUE(third.Built);

  EXPECT_EQ(cache->Count(), 2);
  watch.ExpectFreedOnce(1);
  EXPECT_EQ(watch.Frees(0), 0);
  EXPECT_EQ(watch.Frees(2), 0);
  EXPECT_EQ(TwdxCache::ObjectOf(cache->GetItem(CacheKey(a))), first.Object);
  EXPECT_EQ(TwdxCache::ObjectOf(cache->GetItem(CacheKey(c))), third.Object);
  EXPECT_EQ(cache->GetItem(CacheKey(b)), nullptr);

  cache->Clear();
  watch.ExpectFreedOnce(0);
  watch.ExpectFreedOnce(2);
  EXPECT_EQ(cache->Count(), 0);
  EXPECT_TRUE(Request(*cache, a, 1, 10).Built) << "after Clear the file is read again";
}

TEST(TwdxCache, StaleEntryIsReplacedInItsOwnSlotAndFreedOnce) {
  TFreeWatch watch;
  auto cache = CreatePluginCache();
  const std::u16string path = u"C:\\Pictures\\A.svg";
  TServed old = Request(*cache, path, 100.25, 5);
  watch.Watch(0, old.Object);
  void* slot = cache->GetItem(CacheKey(path));

  EXPECT_FALSE(Request(*cache, path, 100.25, 5).Built) << "same key, same time and size";
  TServed fresh = Request(*cache, path, 100.5, 5);  // the last-write time changed
  EXPECT_TRUE(fresh.Built);
  watch.ExpectFreedOnce(0);
  watch.Watch(1, fresh.Object);
  EXPECT_EQ(cache->GetItem(CacheKey(path)), slot) << "the invalidated slot was reused";
  EXPECT_EQ(cache->Count(), 1);

  // An invalidated slot goes through Clear once more: its object is not freed twice.
  TServed other = Request(*cache, u"c:\\b.svg", 1, 1);
  watch.Watch(2, other.Object);
  ASSERT_TRUE(cache->InvalidateItem(CacheKey(u"c:\\b.svg")));
  watch.ExpectFreedOnce(2);
  watch.Watch(2, other.Object);
  cache->Clear();
  EXPECT_EQ(watch.Frees(2), 0);
  watch.ExpectFreedOnce(1);
}

TEST(TwdxCache, DestructionFreesEveryStoredObject) {
  TFreeWatch watch;
  auto cache = CreatePluginCache();
  cache->SetMaxCount(3);
  for (int n = 0; n < 5; ++n) {
    TServed s = Request(*cache, u"c:\\" + U(std::to_string(n).c_str()) + u".svg", 1, n);
    if (n >= 2) watch.Watch(n - 2, s.Object);
  }
  ASSERT_TRUE(cache->InvalidateItem(CacheKey(u"c:\\2.svg")));
  watch.ExpectFreedOnce(0);
  cache.reset();
  watch.ExpectFreedOnce(1);
  watch.ExpectFreedOnce(2);
}

TEST(TwdxCache, StoringIntoAnOccupiedItemFreesTheEarlierObject) {
  TFreeWatch watch;
  TwdxCache cache(8, 59);
  void* data = cache.AddItem(CacheKey(u"c:\\a.svg"));
  auto first = std::make_unique<TCacheObject>();
  watch.Watch(0, first.get());
  cache.StoreObject(data, std::move(first));
  cache.StoreObject(data, std::make_unique<TCacheObject>());
  watch.ExpectFreedOnce(0);
}

}  // namespace
