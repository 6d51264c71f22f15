// The string table. Symbols live in fixed pages (identifier i at index i - 1) and
// keep their bytes in an arena of fixed blocks that never move, so views stay valid
// until Clear. Content lookups go through an open-addressing hash index of
// identifiers, which keeps interning at constant expected cost.
#include "xml/XmlStringTable.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>

#include "base/BlockArena.h"
#include "base/Streams.h"

// One interned string. FFirst points into the table's arena; the hash lives in
// the index entry and the style, which only streamed symbols carry, in a list of
// the table, so a symbol takes 16 bytes.
class TXmlSymbol {
 public:
  const char* FFirst = nullptr;  // FCharCount bytes, no terminator
  std::int32_t FCharCount = 0;
  std::uint32_t FFreq = 0;

  std::string_view View() const { return {FFirst, static_cast<std::size_t>(FCharCount)}; }
};

namespace {

// Symbols are kept in pages of fixed size: growth never copies the symbols made so
// far, nor holds two copies of them at once. Only the first page starts small
// and doubles up to that size, so a small document sets up little.
constexpr std::size_t cPageBits = 12;
constexpr std::size_t cPageSize = std::size_t{1} << cPageBits;

inline std::uint64_t Load8(const char* AP) {
  std::uint64_t w;
  std::memcpy(&w, AP, 8);
  return w;
}

inline std::uint64_t Mix(std::uint64_t AX) {
  AX ^= AX >> 32;
  AX *= 0xD6E8FEB86659FD93ULL;
  AX ^= AX >> 32;
  return AX;
}

// A multiply/xor-shift hash over 8-byte words. Four independent lanes take 32
// bytes per step, so long values (path data) do not wait on one multiply chain.
std::uint32_t HashBytes(std::string_view AS) {
  const char* p = AS.data();
  std::size_t n = AS.size();
  constexpr std::uint64_t cK1 = 0x9FB21C651E98DF25ULL;
  constexpr std::uint64_t cK2 = 0xC2B2AE3D27D4EB4FULL;
  std::uint64_t a = 0x9E3779B97F4A7C15ULL ^ n;
  std::uint64_t b = 0xFF51AFD7ED558CCDULL;
  if (n >= 32) {
    std::uint64_t c = 0x165667B19E3779F9ULL;
    std::uint64_t d = 0x27D4EB2F165667C5ULL;
    do {
      a = (a ^ Load8(p)) * cK1;
      b = (b ^ Load8(p + 8)) * cK2;
      c = (c ^ Load8(p + 16)) * cK1;
      d = (d ^ Load8(p + 24)) * cK2;
      a ^= a >> 29;
      b ^= b >> 31;
      c ^= c >> 29;
      d ^= d >> 31;
      p += 32;
      n -= 32;
    } while (n >= 32);
    a ^= (c * cK2) ^ (c >> 31);
    b ^= (d * cK1) ^ (d >> 29);
  }
  while (n >= 16) {
    a = (a ^ Load8(p)) * cK1;
    b = (b ^ Load8(p + 8)) * cK2;
    a ^= a >> 29;
    b ^= b >> 31;
    p += 16;
    n -= 16;
  }
  if (n >= 8) {
    a = (a ^ Load8(p)) * cK1;
    a ^= a >> 29;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, n);
    b = (b ^ w) * cK2;
  }
  return static_cast<std::uint32_t>(Mix(a ^ (b * cK1)));
}

void WriteCardinal(TStream& AS, std::uint32_t AValue) {
  std::uint8_t bytes[5];
  std::size_t n = 0;
  while (AValue > 127) {
    bytes[n++] = static_cast<std::uint8_t>((AValue & 127) | 128);
    AValue >>= 7;
  }
  bytes[n++] = static_cast<std::uint8_t>(AValue);
  AS.Write(bytes, n);
}

void ReadExact(TStream& AS, void* ABuffer, std::size_t ACount) {
  if (ACount > 0 && AS.Read(ABuffer, ACount) != ACount) throw EStreamError("stream read error");
}

std::uint32_t ReadCardinal(TStream& AS) {
  std::uint32_t value = 0;
  unsigned shift = 0;
  for (;;) {
    std::uint8_t b = 0;
    ReadExact(AS, &b, 1);
    // Groups beyond 32 bits have nowhere to go; they are read and dropped.
    if (shift < 32) value |= static_cast<std::uint32_t>(b & 127) << shift;
    shift += 7;
    if ((b & 128) == 0) return value;
  }
}

}  // namespace

struct TXmlSymbolTable::Impl {
  // An index entry: the identifier (0 marks a free slot) with its hash, so that a
  // probe compares hashes without touching the symbols.
  struct TSlot {
    std::int32_t ID;
    std::uint32_t Hash;
  };
  std::vector<std::unique_ptr<TXmlSymbol[]>> FPages;
  std::size_t FFirstPageSize = 0;  // grows to kPageSize before a second page comes
  std::size_t FCount = 0;          // symbols; identifier i is at index i - 1
  // Styles by symbol index; empty while every style is 0, else FCount entries.
  std::vector<std::uint32_t> FStyles;
  std::vector<TSlot> FIndex;                 // hash slots, a power of two
  std::size_t FIndexed = 0;                  // identifiers in FIndex
  TBlockArena FBytes{64 * 1024, 64 * 1024};  // the symbols' bytes

  TXmlSymbol& At(std::size_t AIndex) {
    return FPages[AIndex >> cPageBits][AIndex & (cPageSize - 1)];
  }
  const TXmlSymbol& At(std::size_t AIndex) const {
    return FPages[AIndex >> cPageBits][AIndex & (cPageSize - 1)];
  }
  TXmlSymbol& ByID(std::int32_t AId) { return At(static_cast<std::size_t>(AId) - 1); }

  const char* Store(std::string_view AS) {
    if (AS.empty()) return "";
    char* at = static_cast<char*>(FBytes.Allocate(AS.size(), 1));
    std::memcpy(at, AS.data(), AS.size());
    return at;
  }

  // The slot holding the identifier of S, or the free slot where it would go.
  std::size_t Find(std::string_view AS, std::uint32_t AH) const {
    std::size_t mask = FIndex.size() - 1;
    std::size_t slot = AH & mask;
    for (;;) {
      const TSlot& e = FIndex[slot];
      if (e.ID == 0) return slot;
      if (e.Hash == AH) {
        const TXmlSymbol& sym = At(static_cast<std::size_t>(e.ID) - 1);
        if (sym.View() == AS) return slot;
      }
      slot = (slot + 1) & mask;
    }
  }

  // Keeps the load factor at or below one half; true when the index was rebuilt
  // (slots found before are stale then).
  bool ReserveIndex() {
    if ((FIndexed + 1) * 2 <= FIndex.size()) return false;
    std::vector<TSlot> old = std::move(FIndex);
    FIndex.assign(old.empty() ? 64 : old.size() * 2, TSlot{0, 0});
    std::size_t mask = FIndex.size() - 1;
    for (const TSlot& e : old) {
      if (e.ID == 0) continue;
      std::size_t slot = e.Hash & mask;
      while (FIndex[slot].ID != 0) slot = (slot + 1) & mask;
      FIndex[slot] = e;
    }
    return true;
  }

  void CheckRoom(std::string_view AS) const {
    if (AS.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) ||
        FCount >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw std::length_error("string table full");
  }

  std::uint32_t Style(std::size_t AIndex) const {
    return AIndex < FStyles.size() ? FStyles[AIndex] : 0;
  }

  // Appends a symbol with its own copy of S and returns its identifier.
  std::int32_t Push(std::string_view AS, std::uint32_t AStyle) {
    if (AStyle != 0 || !FStyles.empty()) {
      FStyles.resize(FCount, 0);
      FStyles.push_back(AStyle);
    }
    if (FCount == FFirstPageSize && FCount < cPageSize) {
      const std::size_t size = FFirstPageSize == 0 ? 64 : 2 * FFirstPageSize;
      auto page = std::make_unique<TXmlSymbol[]>(size);
      std::copy_n(FPages.empty() ? nullptr : FPages[0].get(), FCount, page.get());
      if (FPages.empty())
        FPages.push_back(std::move(page));
      else
        FPages[0] = std::move(page);
      FFirstPageSize = size;
    } else if ((FCount & (cPageSize - 1)) == 0 && (FCount >> cPageBits) == FPages.size()) {
      FPages.push_back(std::make_unique<TXmlSymbol[]>(cPageSize));
    }
    TXmlSymbol& sym = At(FCount);
    sym.FFirst = Store(AS);
    sym.FCharCount = static_cast<std::int32_t>(AS.size());
    sym.FFreq = 0;
    return static_cast<std::int32_t>(++FCount);
  }

  // Appends a symbol; indexes it unless its bytes are there.
  std::int32_t Append(std::string_view AS, std::uint32_t AStyle, bool& ADuplicate) {
    CheckRoom(AS);
    ReserveIndex();
    std::uint32_t h = HashBytes(AS);
    std::size_t slot = Find(AS, h);
    ADuplicate = FIndex[slot].ID != 0;
    std::int32_t id = Push(AS, AStyle);
    if (!ADuplicate) {
      FIndex[slot] = TSlot{id, h};
      ++FIndexed;
    }
    return id;
  }

  // The interning path: one hash and, for a new string, one probe more only
  // when the index had to grow.
  std::int32_t Intern(std::string_view AS) {
    std::uint32_t h = HashBytes(AS);
    if (!FIndex.empty()) {
      std::size_t slot = Find(AS, h);
      if (FIndex[slot].ID != 0) return FIndex[slot].ID;
      CheckRoom(AS);
      if (!ReserveIndex()) {
        std::int32_t id = Push(AS, 0);
        FIndex[slot] = TSlot{id, h};
        ++FIndexed;
        return id;
      }
    } else {
      CheckRoom(AS);
      ReserveIndex();
    }
    std::size_t slot = Find(AS, h);
    std::int32_t id = Push(AS, 0);
    FIndex[slot] = TSlot{id, h};
    ++FIndexed;
    return id;
  }
};

TXmlSymbolTable::TXmlSymbolTable(TDebugComponent* AOwner)
    : TDebugComponent(AOwner), FImpl(std::make_unique<Impl>()) {}

TXmlSymbolTable::~TXmlSymbolTable() = default;

std::int32_t TXmlSymbolTable::AddString(std::string_view AS) {
  if (AS.empty()) return 0;
  return FImpl->Intern(AS);
}

std::string_view TXmlSymbolTable::GetStringView(std::int32_t AId) {
  if (AId <= 0) return {};
  if (static_cast<std::size_t>(AId) > FImpl->FCount) {
    XmlDebugOut(*this, this, wsWarn, "string ID not found", {});
    return {};
  }
  return FImpl->ByID(AId).View();
}

std::string TXmlSymbolTable::GetString(std::int32_t AId) {
  return std::string(GetStringView(AId));
}

void TXmlSymbolTable::Clear() {
  // A table cleared for the next document keeps what a small one needs: its
  // first page of symbols, its first block of bytes, an index of moderate size.
  Impl& t = *FImpl;
  constexpr std::size_t cKeptIndex = 4096;
  if (t.FIndex.size() > cKeptIndex || t.FPages.size() > 1) {
    FImpl = std::make_unique<Impl>();
  } else {
    std::fill(t.FIndex.begin(), t.FIndex.end(), Impl::TSlot{0, 0});
    t.FIndexed = 0;
    t.FCount = 0;
    t.FStyles.clear();
    t.FBytes.Reset();
  }
  FPluralSymbolCount = 0;
}

std::int32_t TXmlSymbolTable::SymbolCount() const {
  return static_cast<std::int32_t>(FImpl->FCount);
}

std::uint32_t TXmlSymbolTable::SymbolStyle(std::int32_t AId) const {
  if (AId <= 0 || static_cast<std::size_t>(AId) > FImpl->FCount) return 0;
  return FImpl->Style(static_cast<std::size_t>(AId) - 1);
}

std::uint32_t TXmlSymbolTable::Frequency(std::int32_t AId) const {
  if (AId <= 0 || static_cast<std::size_t>(AId) > FImpl->FCount) return 0;
  return FImpl->ByID(AId).FFreq;
}

void TXmlSymbolTable::IncrementFrequency(std::int32_t AId) {
  if (AId <= 0 || static_cast<std::size_t>(AId) > FImpl->FCount) return;
  ++FImpl->ByID(AId).FFreq;
}

void TXmlSymbolTable::ClearFrequency() {
  for (std::size_t k = 0; k < FImpl->FCount; ++k) FImpl->At(k).FFreq = 0;
}

void TXmlSymbolTable::SortByFrequency(std::vector<std::int32_t>& ANewIDs) {
  Impl& t = *FImpl;
  auto list = [&t](std::ptrdiff_t AIndex) -> TXmlSymbol& {
    return t.At(static_cast<std::size_t>(AIndex));
  };
  const std::size_t count = t.FCount;
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
  struct TRange {
    std::ptrdiff_t Low, High;
  };
  std::vector<TRange> pending{{0, static_cast<std::ptrdiff_t>(count) - 1}};
  while (!pending.empty()) {
    TRange r = pending.back();
    pending.pop_back();
    std::ptrdiff_t i = r.Low;
    std::ptrdiff_t j = r.High;
    std::ptrdiff_t p = (r.Low + r.High) / 2;
    do {
      while (list(i).FFreq > list(p).FFreq) ++i;
      while (list(j).FFreq < list(p).FFreq) --j;
      if (i <= j) {
        std::swap(list(i), list(j));
        if (!t.FStyles.empty())
          std::swap(t.FStyles[static_cast<std::size_t>(i)], t.FStyles[static_cast<std::size_t>(j)]);
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
    TRange left{r.Low, j};
    TRange right{i, r.High};
    if (left.High - left.Low < right.High - right.Low) std::swap(left, right);
    if (left.Low < left.High) pending.push_back(left);
    if (right.Low < right.High) pending.push_back(right);
  }

  FPluralSymbolCount = 0;
  while (static_cast<std::size_t>(FPluralSymbolCount) < count &&
         list(FPluralSymbolCount).FFreq >= 2)
    ++FPluralSymbolCount;

  for (std::size_t k = 0; k < count; ++k)
    ANewIDs[static_cast<std::size_t>(oldID[k])] = static_cast<std::int32_t>(k + 1);
  for (Impl::TSlot& e : t.FIndex)
    if (e.ID != 0) e.ID = ANewIDs[static_cast<std::size_t>(e.ID)];
}

void TXmlSymbolTable::SaveToStream(TStream& AS, std::int32_t ACount) {
  WriteCardinal(AS, static_cast<std::uint32_t>(ACount));
  for (std::int32_t id = 1; id <= ACount; ++id) SaveSymbol(AS, id);
}

void TXmlSymbolTable::SaveSymbol(TStream& AS, std::int32_t ASymbolID) {
  if (ASymbolID <= 0) {
    XmlDebugOut(*this, this, wsFail, "symbol ID <= 0", {});
    return;
  }
  // An identifier beyond the table has no bytes to write.
  if (static_cast<std::size_t>(ASymbolID) > FImpl->FCount) {
    XmlDebugOut(*this, this, wsWarn, "string ID not found", {});
    return;
  }
  const TXmlSymbol& sym = FImpl->ByID(ASymbolID);
  WriteCardinal(AS, FImpl->Style(static_cast<std::size_t>(ASymbolID) - 1));
  WriteCardinal(AS, static_cast<std::uint32_t>(sym.FCharCount));
  if (sym.FCharCount > 0) AS.Write(sym.FFirst, static_cast<std::size_t>(sym.FCharCount));
}

void TXmlSymbolTable::LoadFromStream(TStream& AS) {
  Clear();
  auto count = static_cast<std::int32_t>(ReadCardinal(AS));
  for (std::int32_t k = 0; k < count; ++k) LoadSymbol(AS);
}

std::int32_t TXmlSymbolTable::LoadSymbol(TStream& AS) {
  std::uint32_t style = ReadCardinal(AS);
  std::uint32_t length = ReadCardinal(AS);
  // The length is a claim of the stream: the bytes are read in pieces so that a
  // false claim fails at the stream's end instead of sizing an allocation.
  std::string bytes;
  char piece[4096];
  while (bytes.size() < length) {
    std::size_t want = std::min<std::size_t>(sizeof piece, length - bytes.size());
    ReadExact(AS, piece, want);
    bytes.append(piece, want);
  }
  bool duplicate = false;
  std::int32_t id = FImpl->Append(bytes, style, duplicate);
  if (duplicate) XmlDebugOut(*this, this, wsFail, "duplicate symbol!", {});
  return id;
}
