// The string table: every name and raw value of a document is interned once and
// nodes keep 32-bit identifiers. Identifiers are handed out in order of first use
// (1, 2, 3, ...; 0 is the empty text). Content lookups use a hash index, so
// interning costs constant expected time however many strings are stored.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/XmlDebug.h"

class TStream;

class TXmlSymbol;

class TXmlSymbolTable : public TDebugComponent {
 public:
  explicit TXmlSymbolTable(TDebugComponent* AOwner);
  ~TXmlSymbolTable() override;

  // 0 for the empty text; otherwise the identifier of the symbol with the same
  // bytes, created when there is none.
  std::int32_t AddString(std::string_view AS);
  // Empty for ID <= 0; reports "string ID not found" (wsWarn) above SymbolCount.
  std::string GetString(std::int32_t AId);
  // The same without a copy; the view lives until the table is cleared.
  std::string_view GetStringView(std::int32_t AId);
  void Clear();
  std::int32_t SymbolCount() const;
  // The tag stored and streamed with a symbol, and its use count (0 for an ID
  // outside 1..SymbolCount).
  std::uint32_t SymbolStyle(std::int32_t AId) const;
  std::uint32_t Frequency(std::int32_t AId) const;

  // Use counts and renumbering (binary format only).
  void IncrementFrequency(std::int32_t AId);
  void ClearFrequency();
  // ANewIDs must hold at least SymbolCount() + 1 entries.
  void SortByFrequency(std::vector<std::int32_t>& ANewIDs);
  std::int32_t PluralSymbolCount() const { return FPluralSymbolCount; }

  // Stream form (binary format only).
  void SaveToStream(TStream& AS, std::int32_t ACount);
  void SaveSymbol(TStream& AS, std::int32_t ASymbolID);
  void LoadFromStream(TStream& AS);
  std::int32_t LoadSymbol(TStream& AS);

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
  std::int32_t FPluralSymbolCount = 0;
};
