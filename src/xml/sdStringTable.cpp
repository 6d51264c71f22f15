// The string table. Symbols live in FByID (identifier i at index i - 1) and keep
// their bytes in an arena of fixed blocks that never move, so views stay valid
// until Clear. Content lookups go through an open-addressing hash index of
// identifiers, which keeps interning at constant expected cost.
#include "xml/sdStringTable.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "xml/sdStreams.h"

// One interned string. FFirst points into the table's arena.
class TsdSymbol {
 public:
  const char* FFirst = nullptr;  // FCharCount bytes, no terminator
  std::int32_t FCharCount = 0;
  std::uint32_t FFreq = 0;
  std::uint32_t FSymbolStyle = 0;
  std::uint32_t FHash = 0;
  bool FIndexed = false;  // false only for a duplicate read from a stream

  std::string_view View() const { return {FFirst, static_cast<std::size_t>(FCharCount)}; }
};

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::size_t kOwnBlockSize = kBlockSize / 4;  // longer strings get a block of their own

inline std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBULL;
  x ^= x >> 31;
  return x;
}

std::uint32_t HashBytes(std::string_view S) {
  const char* p = S.data();
  std::size_t n = S.size();
  std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ (n * 0xFF51AFD7ED558CCDULL);
  while (n >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0x9FB21C651E98DF25ULL;
    h ^= h >> 29;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    h = (h ^ w) * 0x9FB21C651E98DF25ULL;
  }
  return static_cast<std::uint32_t>(Mix(h));
}

void WriteCardinal(TStream& S, std::uint32_t AValue) {
  std::uint8_t bytes[5];
  std::size_t n = 0;
  while (AValue > 127) {
    bytes[n++] = static_cast<std::uint8_t>((AValue & 127) | 128);
    AValue >>= 7;
  }
  bytes[n++] = static_cast<std::uint8_t>(AValue);
  S.Write(bytes, n);
}

void ReadExact(TStream& S, void* ABuffer, std::size_t ACount) {
  if (ACount > 0 && S.Read(ABuffer, ACount) != ACount) throw EStreamError("stream read error");
}

std::uint32_t ReadCardinal(TStream& S) {
  std::uint32_t value = 0;
  unsigned shift = 0;
  for (;;) {
    std::uint8_t b = 0;
    ReadExact(S, &b, 1);
    // Groups beyond 32 bits have nowhere to go; they are read and dropped.
    if (shift < 32) value |= static_cast<std::uint32_t>(b & 127) << shift;
    shift += 7;
    if ((b & 128) == 0) return value;
  }
}

}  // namespace

struct TsdSymbolTable::Impl {
  std::vector<TsdSymbol> FByID;
  std::vector<std::int32_t> FIndex;  // identifiers by hash slot; 0 marks a free slot
  std::size_t FIndexed = 0;          // identifiers in FIndex
  std::vector<std::unique_ptr<char[]>> FBlocks;
  char* FFree = nullptr;  // next free byte of the current block
  std::size_t FRoom = 0;  // bytes left in the current block

  const char* Store(std::string_view S) {
    if (S.empty()) return "";
    if (S.size() > kOwnBlockSize) {
      FBlocks.push_back(std::make_unique_for_overwrite<char[]>(S.size()));
      std::memcpy(FBlocks.back().get(), S.data(), S.size());
      return FBlocks.back().get();
    }
    if (S.size() > FRoom) {
      FBlocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
      FFree = FBlocks.back().get();
      FRoom = kBlockSize;
    }
    char* at = FFree;
    std::memcpy(at, S.data(), S.size());
    FFree += S.size();
    FRoom -= S.size();
    return at;
  }

  // The slot holding the identifier of S, or the free slot where it would go.
  std::size_t Find(std::string_view S, std::uint32_t h) const {
    std::size_t mask = FIndex.size() - 1;
    std::size_t slot = h & mask;
    for (;;) {
      std::int32_t id = FIndex[slot];
      if (id == 0) return slot;
      const TsdSymbol& sym = FByID[static_cast<std::size_t>(id) - 1];
      if (sym.FHash == h && sym.View() == S) return slot;
      slot = (slot + 1) & mask;
    }
  }

  // Keeps the load factor at or below one half.
  void ReserveIndex() {
    if ((FIndexed + 1) * 2 <= FIndex.size()) return;
    std::vector<std::int32_t> old = std::move(FIndex);
    FIndex.assign(old.empty() ? 64 : old.size() * 2, 0);
    std::size_t mask = FIndex.size() - 1;
    for (std::int32_t id : old) {
      if (id == 0) continue;
      std::size_t slot = FByID[static_cast<std::size_t>(id) - 1].FHash & mask;
      while (FIndex[slot] != 0) slot = (slot + 1) & mask;
      FIndex[slot] = id;
    }
  }

  // Appends a symbol with its own copy of S; indexes it unless its bytes are there.
  std::int32_t Append(std::string_view S, std::uint32_t AStyle, bool& ADuplicate) {
    if (S.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) ||
        FByID.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw std::length_error("string table full");
    ReserveIndex();
    std::uint32_t h = HashBytes(S);
    std::size_t slot = Find(S, h);
    ADuplicate = FIndex[slot] != 0;
    TsdSymbol sym;
    sym.FFirst = Store(S);
    sym.FCharCount = static_cast<std::int32_t>(S.size());
    sym.FSymbolStyle = AStyle;
    sym.FHash = h;
    sym.FIndexed = !ADuplicate;
    FByID.push_back(sym);
    auto id = static_cast<std::int32_t>(FByID.size());
    if (!ADuplicate) {
      FIndex[slot] = id;
      ++FIndexed;
    }
    return id;
  }
};

TsdSymbolTable::TsdSymbolTable(TDebugComponent* AOwner)
    : TDebugComponent(AOwner), FImpl(std::make_unique<Impl>()) {}

TsdSymbolTable::~TsdSymbolTable() = default;

int TsdSymbolTable::CompareSymbols(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return A.size() < B.size() ? -1 : 1;
  std::size_t n = A.size();
  if (n == 0) return 0;
  auto at = [](std::string_view s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  if (at(A, 0) != at(B, 0)) return at(A, 0) < at(B, 0) ? -1 : 1;
  if (std::memcmp(A.data(), B.data(), n) == 0) return 0;
  // From both ends inward: n - 1, 1, n - 2, 2, ...
  std::size_t lo = 1;
  std::size_t hi = n - 1;
  for (;;) {
    if (at(A, hi) != at(B, hi)) return at(A, hi) < at(B, hi) ? -1 : 1;
    if (lo >= n) break;
    if (at(A, lo) != at(B, lo)) return at(A, lo) < at(B, lo) ? -1 : 1;
    ++lo;
    --hi;
  }
  return 0;
}

std::int32_t TsdSymbolTable::AddString(std::string_view S) {
  if (S.empty()) return 0;
  Impl& t = *FImpl;
  if (!t.FIndex.empty()) {
    std::size_t slot = t.Find(S, HashBytes(S));
    if (t.FIndex[slot] != 0) return t.FIndex[slot];
  }
  bool duplicate = false;
  return t.Append(S, 0, duplicate);
}

std::string_view TsdSymbolTable::GetStringView(std::int32_t ID) {
  if (ID <= 0) return {};
  if (static_cast<std::size_t>(ID) > FImpl->FByID.size()) {
    sdDebugOut(*this, this, wsWarn, "string ID not found", {});
    return {};
  }
  return FImpl->FByID[static_cast<std::size_t>(ID) - 1].View();
}

std::string TsdSymbolTable::GetString(std::int32_t ID) {
  return std::string(GetStringView(ID));
}

void TsdSymbolTable::Clear() {
  FImpl = std::make_unique<Impl>();
  FPluralSymbolCount = 0;
}

std::int32_t TsdSymbolTable::SymbolCount() const {
  return static_cast<std::int32_t>(FImpl->FByID.size());
}

std::uint32_t TsdSymbolTable::SymbolStyle(std::int32_t ID) const {
  if (ID <= 0 || static_cast<std::size_t>(ID) > FImpl->FByID.size()) return 0;
  return FImpl->FByID[static_cast<std::size_t>(ID) - 1].FSymbolStyle;
}

std::uint32_t TsdSymbolTable::Frequency(std::int32_t ID) const {
  if (ID <= 0 || static_cast<std::size_t>(ID) > FImpl->FByID.size()) return 0;
  return FImpl->FByID[static_cast<std::size_t>(ID) - 1].FFreq;
}

void TsdSymbolTable::IncrementFrequency(std::int32_t ID) {
  if (ID <= 0 || static_cast<std::size_t>(ID) > FImpl->FByID.size()) return;
  ++FImpl->FByID[static_cast<std::size_t>(ID) - 1].FFreq;
}

void TsdSymbolTable::ClearFrequency() {
  for (TsdSymbol& sym : FImpl->FByID) sym.FFreq = 0;
}

void TsdSymbolTable::SortByFrequency(std::vector<std::int32_t>& ANewIDs) {
  std::vector<TsdSymbol>& list = FImpl->FByID;
  const std::size_t count = list.size();
  if (ANewIDs.size() < count + 1) ANewIDs.resize(count + 1, 0);
  if (count == 0) {
    FPluralSymbolCount = 0;
    return;
  }
  // Each symbol's old identifier travels with it through the sort.
  std::vector<std::int32_t> oldID(count);
  for (std::size_t k = 0; k < count; ++k) oldID[k] = static_cast<std::int32_t>(k + 1);

  // The classic in-place quicksort on index ranges, highest count first, with
  // the ranges on an explicit stack instead of recursion.
  struct Range {
    std::ptrdiff_t Low, High;
  };
  std::vector<Range> pending{{0, static_cast<std::ptrdiff_t>(count) - 1}};
  while (!pending.empty()) {
    Range r = pending.back();
    pending.pop_back();
    std::ptrdiff_t i = r.Low;
    std::ptrdiff_t j = r.High;
    std::ptrdiff_t p = (r.Low + r.High) / 2;
    do {
      while (list[static_cast<std::size_t>(i)].FFreq > list[static_cast<std::size_t>(p)].FFreq) ++i;
      while (list[static_cast<std::size_t>(j)].FFreq < list[static_cast<std::size_t>(p)].FFreq) --j;
      if (i <= j) {
        std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
        std::swap(oldID[static_cast<std::size_t>(i)], oldID[static_cast<std::size_t>(j)]);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    // The recursive form sorts Low..j before i..High; as the ranges do not overlap
    // the result is the same in any order, so the smaller is done first.
    Range left{r.Low, j};
    Range right{i, r.High};
    if (left.High - left.Low < right.High - right.Low) std::swap(left, right);
    if (left.Low < left.High) pending.push_back(left);
    if (right.Low < right.High) pending.push_back(right);
  }

  FPluralSymbolCount = 0;
  while (static_cast<std::size_t>(FPluralSymbolCount) < count &&
         list[static_cast<std::size_t>(FPluralSymbolCount)].FFreq >= 2)
    ++FPluralSymbolCount;

  for (std::size_t k = 0; k < count; ++k)
    ANewIDs[static_cast<std::size_t>(oldID[k])] = static_cast<std::int32_t>(k + 1);
  for (std::int32_t& id : FImpl->FIndex)
    if (id != 0) id = ANewIDs[static_cast<std::size_t>(id)];
}

void TsdSymbolTable::SaveToStream(TStream& S, std::int32_t ACount) {
  WriteCardinal(S, static_cast<std::uint32_t>(ACount));
  for (std::int32_t id = 1; id <= ACount; ++id) SaveSymbol(S, id);
}

void TsdSymbolTable::SaveSymbol(TStream& S, std::int32_t ASymbolID) {
  if (ASymbolID <= 0) {
    sdDebugOut(*this, this, wsFail, "symbol ID <= 0", {});
    return;
  }
  // An identifier beyond the table has no bytes to write.
  if (static_cast<std::size_t>(ASymbolID) > FImpl->FByID.size()) {
    sdDebugOut(*this, this, wsWarn, "string ID not found", {});
    return;
  }
  const TsdSymbol& sym = FImpl->FByID[static_cast<std::size_t>(ASymbolID) - 1];
  WriteCardinal(S, sym.FSymbolStyle);
  WriteCardinal(S, static_cast<std::uint32_t>(sym.FCharCount));
  if (sym.FCharCount > 0) S.Write(sym.FFirst, static_cast<std::size_t>(sym.FCharCount));
}

void TsdSymbolTable::LoadFromStream(TStream& S) {
  Clear();
  auto count = static_cast<std::int32_t>(ReadCardinal(S));
  for (std::int32_t k = 0; k < count; ++k) LoadSymbol(S);
}

std::int32_t TsdSymbolTable::LoadSymbol(TStream& S) {
  std::uint32_t style = ReadCardinal(S);
  std::uint32_t length = ReadCardinal(S);
  // The length is a claim of the stream: the bytes are read in pieces so that a
  // false claim fails at the stream's end instead of sizing an allocation.
  std::string bytes;
  char piece[4096];
  while (bytes.size() < length) {
    std::size_t want = std::min<std::size_t>(sizeof piece, length - bytes.size());
    ReadExact(S, piece, want);
    bytes.append(piece, want);
  }
  bool duplicate = false;
  std::int32_t id = FImpl->Append(bytes, style, duplicate);
  if (duplicate) sdDebugOut(*this, this, wsFail, "duplicate symbol!", {});
  return id;
}
