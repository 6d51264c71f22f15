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

void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

constexpr int kEntries = 1001;  // default CacheSize_x64 1000, plus one

std::u16string PathOf(int n) {
  const std::string text =
      "c:\\users\\someone\\pictures\\drawings\\icon-" + std::to_string(n) + ".svg";
  return std::u16string(text.begin(), text.end());
}

std::vector<TCacheID> Keys(int count, int first = 0) {
  std::vector<TCacheID> keys;
  for (int n = first; n < first + count; ++n) keys.push_back(CacheKey(PathOf(n)));
  return keys;
}

std::unique_ptr<TwdxCache> FullPluginCache(const std::vector<TCacheID>& keys) {
  auto cache = CreatePluginCache();
  cache->SetMaxCount(kEntries);
  for (const TCacheID& key : keys) {
    auto object = std::make_unique<TCacheObject>();
    object->Valid = true;
    cache->StoreObject(cache->AddItem(key), std::move(object));
  }
  return cache;
}

void ReportAllocations(benchmark::State& state, std::uint64_t before) {
  state.counters["allocs_per_op"] = benchmark::Counter(
      static_cast<double>(gAllocations.load() - before) / static_cast<double>(state.iterations()));
}

// The host asks for sixteen fields of one file in a row: the same key again.
void BM_HitSameKeyInFullCache(benchmark::State& state) {
  const auto keys = Keys(kEntries);
  auto cache = FullPluginCache(keys);
  const std::uint64_t before = gAllocations.load();
  for (auto _ : state) {
    void* data = cache->GetItem(keys[500]);
    benchmark::DoNotOptimize(EntryServes(data, 0, 0));
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_HitSameKeyInFullCache);

// Hits spread over all entries: every lookup moves an item to the front.
void BM_HitAnyKeyInFullCache(benchmark::State& state) {
  const auto keys = Keys(kEntries);
  auto cache = FullPluginCache(keys);
  std::size_t i = 0;
  const std::uint64_t before = gAllocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache->GetItem(keys[i]));
    i = (i + 7) % keys.size();
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_HitAnyKeyInFullCache);

// A new file in a full cache: the least recently used slot is recycled in place
// (its object freed), so no memory is taken.
void BM_AddEvictingInFullCache(benchmark::State& state) {
  const auto resident = Keys(kEntries);
  const auto incoming = Keys(4 * kEntries, kEntries);
  auto cache = FullPluginCache(resident);
  std::size_t i = 0;
  const std::uint64_t before = gAllocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache->AddItem(incoming[i]));
    i = (i + 1) % incoming.size();
  }
  ReportAllocations(state, before);
  if (cache->Count() != kEntries) state.SkipWithError("the cache grew");
}
BENCHMARK(BM_AddEvictingInFullCache);

// A value request's miss after a change: invalidate, then add into the same slot.
void BM_InvalidateThenAddInFullCache(benchmark::State& state) {
  const auto keys = Keys(kEntries);
  auto cache = FullPluginCache(keys);
  std::size_t i = 0;
  const std::uint64_t before = gAllocations.load();
  for (auto _ : state) {
    cache->InvalidateItem(keys[i]);
    benchmark::DoNotOptimize(cache->AddItem(keys[i]));
    i = (i + 13) % keys.size();
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_InvalidateThenAddInFullCache);

// The key of a typical path: the hash alone (lower-casing, where names ignore
// case, is the caller's).
void BM_CacheKey(benchmark::State& state) {
  const std::u16string path = PathOf(123456);
  for (auto _ : state) benchmark::DoNotOptimize(CacheKey(path));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(path.size() * sizeof(char16_t)));
}
BENCHMARK(BM_CacheKey);

}  // namespace

BENCHMARK_MAIN();
