// Speed of the item hash cache at the plugin's default size (1,001 entries in
// 521 buckets): a hit, an add that evicts, and the path key. Global operator new
// is replaced to count allocations; the allocs_per_op counter shows that a full
// cache allocates nothing per add.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cache/CacheObject.h"
#include "cache/ItemCache.h"

namespace {
std::atomic<std::uint64_t> gAllocations{0};
}  // namespace

// GCC sees malloc behind the replaced new and free behind the replaced delete
// once both are inlined, and takes the pair for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t ASize) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(ASize == 0 ? 1 : ASize)) return p;
  throw std::bad_alloc();
}
void operator delete(void* AP) noexcept {
  std::free(AP);
}
void operator delete(void* AP, std::size_t) noexcept {
  std::free(AP);
}

namespace {

constexpr int cEntries = 1001;  // default CacheSize_x64 1000, plus one

std::u16string PathOf(int AN) {
  const std::string text =
      "c:\\users\\someone\\pictures\\drawings\\icon-" + std::to_string(AN) + ".svg";
  return std::u16string(text.begin(), text.end());
}

std::vector<TCacheID> Keys(int ACount, int AFirst = 0) {
  std::vector<TCacheID> keys;
  for (int n = AFirst; n < AFirst + ACount; ++n) keys.push_back(CacheKey(PathOf(n)));
  return keys;
}

std::unique_ptr<TwdxCache> FullPluginCache(const std::vector<TCacheID>& AKeys) {
  auto cache = CreatePluginCache();
  cache->SetMaxCount(cEntries);
  for (const TCacheID& key : AKeys) {
    auto object = std::make_unique<TCacheObject>();
    object->Valid = true;
    cache->StoreObject(cache->AddItem(key), std::move(object));
  }
  return cache;
}

void ReportAllocations(benchmark::State& AState, std::uint64_t ABefore) {
  AState.counters["allocs_per_op"] =
      benchmark::Counter(static_cast<double>(gAllocations.load() - ABefore) /
                         static_cast<double>(AState.iterations()));
}

// The host asks for sixteen fields of one file in a row: the same key again.
void BM_HitSameKeyInFullCache(benchmark::State& AState) {
  const auto keys = Keys(cEntries);
  auto cache = FullPluginCache(keys);
  const std::uint64_t before = gAllocations.load();
  for (auto _ : AState) {
    void* data = cache->GetItem(keys[500]);
    benchmark::DoNotOptimize(EntryServes(data, 0, 0));
  }
  ReportAllocations(AState, before);
}
BENCHMARK(BM_HitSameKeyInFullCache);

// Hits spread over all entries: every lookup moves an item to the front.
void BM_HitAnyKeyInFullCache(benchmark::State& AState) {
  const auto keys = Keys(cEntries);
  auto cache = FullPluginCache(keys);
  std::size_t i = 0;
  const std::uint64_t before = gAllocations.load();
  for (auto _ : AState) {
    benchmark::DoNotOptimize(cache->GetItem(keys[i]));
    i = (i + 7) % keys.size();
  }
  ReportAllocations(AState, before);
}
BENCHMARK(BM_HitAnyKeyInFullCache);

// A new file in a full cache: the least recently used slot is recycled in place
// (its object freed), so no memory is taken.
void BM_AddEvictingInFullCache(benchmark::State& AState) {
  const auto resident = Keys(cEntries);
  const auto incoming = Keys(4 * cEntries, cEntries);
  auto cache = FullPluginCache(resident);
  std::size_t i = 0;
  const std::uint64_t before = gAllocations.load();
  for (auto _ : AState) {
    benchmark::DoNotOptimize(cache->AddItem(incoming[i]));
    i = (i + 1) % incoming.size();
  }
  ReportAllocations(AState, before);
  if (cache->Count() != cEntries) AState.SkipWithError("the cache grew");
}
BENCHMARK(BM_AddEvictingInFullCache);

// A value request's miss after a change: invalidate, then add into the same slot.
void BM_InvalidateThenAddInFullCache(benchmark::State& AState) {
  const auto keys = Keys(cEntries);
  auto cache = FullPluginCache(keys);
  std::size_t i = 0;
  const std::uint64_t before = gAllocations.load();
  for (auto _ : AState) {
    cache->InvalidateItem(keys[i]);
    benchmark::DoNotOptimize(cache->AddItem(keys[i]));
    i = (i + 13) % keys.size();
  }
  ReportAllocations(AState, before);
}
BENCHMARK(BM_InvalidateThenAddInFullCache);

// The key of a typical path: the hash alone (lower-casing, where names ignore
// case, is the caller's).
void BM_CacheKey(benchmark::State& AState) {
  const std::u16string path = PathOf(123456);
  for (auto _ : AState) benchmark::DoNotOptimize(CacheKey(path));
  AState.SetBytesProcessed(static_cast<std::int64_t>(AState.iterations()) *
                           static_cast<std::int64_t>(path.size() * sizeof(char16_t)));
}
BENCHMARK(BM_CacheKey);

}  // namespace

BENCHMARK_MAIN();
