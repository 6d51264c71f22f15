// What the extraction reads from a drawing, as one table that both its users
// read: the extraction (SvgExtractor.cpp) follows the rows, and the load
// filter (ExtractFilter.cpp) keeps exactly the nodes the rows can find.
//
// Each row finds, from the node of an earlier row (or from the root element),
// the first node along a path of names: at every step the first node of the
// node list (attributes and child elements alike) whose name equals the part
// with ASCII letter case folded. A row may make the found node's value a
// record text: the fields found at a path (SvgFields.h) each give one such row.
// The root element itself is the first element named exactly
// "svg" or "svg:svg".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extract/SvgFields.h"

namespace svglookups {

constexpr std::string_view cSvg = "svg";
constexpr std::string_view cPrefixedSvg = "svg:svg";

enum TLookupKind : std::uint8_t {
  lkValue,      // the found node's value becomes Text
  lkStep,       // the found node is where later rows start
  lkImage,      // the embedded-image test's node, looked at only when that test is on
  lkImageLink,  // the first attribute of this name of the image node, compared as the
                // reader compares names; its value tells whether the image is embedded
};

struct TLookup {
  std::string_view Path;  // names separated by "\"
  std::int8_t From;       // the row whose node the path starts at; -1: the root element
  TLookupKind Kind;
  std::u16string TVexmeta::*Text = nullptr;  // lkValue: the record text it fills
};

// The rows no field has: the embedded-image test's nodes, and the RDF work
// description (the first metadata, its first rdf:RDF, that one's first
// cc:Work) where the fsWork fields start.
inline constexpr TLookup cStructureRows[] = {
    {"image", -1, lkImage},
    {"xlink:href", 0, lkImageLink},
    {"metadata\\rdf:RDF\\cc:Work", -1, lkStep},
};
constexpr std::int8_t cWorkRow = 2;

constexpr std::size_t LookedUpFieldCount() {
  std::size_t n = 0;
  for (const TFieldRow& field : cFieldRows) n += field.Source == fsRoot || field.Source == fsWork;
  return n;
}

// The structure rows, then one value row per field found at a path, in field
// order.
inline constexpr auto cLookups = [] {
  std::array<TLookup, std::size(cStructureRows) + LookedUpFieldCount()> rows{};
  std::size_t n = 0;
  for (const TLookup& row : cStructureRows) rows[n++] = row;
  for (const TFieldRow& field : cFieldRows) {
    if (field.Source == fsRoot) rows[n++] = {field.Path, -1, lkValue, field.Text};
    if (field.Source == fsWork) rows[n++] = {field.Path, cWorkRow, lkValue, field.Text};
  }
  return rows;
}();
static_assert(cLookups[cWorkRow].Kind == lkStep && cLookups[1].From == 0,
              "the structure rows are where the rows that start at them say");
constexpr std::size_t cLookupCount = std::size(cLookups);
static_assert(cLookupCount < 32, "the filter keeps one bit per row");

constexpr bool RowsAreInOrder() {
  for (std::size_t i = 0; i < cLookupCount; ++i)
    if (cLookups[i].From >= static_cast<std::int8_t>(i)) return false;
  return true;
}
static_assert(RowsAreInOrder(), "a row starts at an earlier row's node");

// The parts of a path, and how many there are.
constexpr std::size_t PartCount(std::string_view APath) {
  std::size_t n = 1;
  for (char c : APath) n += c == '\\' ? 1 : 0;
  return n;
}
constexpr std::string_view Part(std::string_view APath, std::size_t AIndex) {
  for (; AIndex > 0; --AIndex) APath.remove_prefix(APath.find('\\') + 1);
  return APath.substr(0, APath.find('\\'));
}

// Each row's path split into its parts once, for the filter, which compares
// names with them for every node it is offered.
constexpr std::size_t cMaxParts = 3;
struct TLookupSteps {
  std::string_view Parts[cMaxParts];
  std::uint8_t Count = 0;
};
inline constexpr std::array<TLookupSteps, cLookupCount> cLookupSteps = [] {
  std::array<TLookupSteps, cLookupCount> steps{};
  for (std::size_t i = 0; i < cLookupCount; ++i) {
    steps[i].Count = static_cast<std::uint8_t>(PartCount(cLookups[i].Path));
    for (std::size_t p = 0; p < steps[i].Count && p < cMaxParts; ++p)
      steps[i].Parts[p] = Part(cLookups[i].Path, p);
  }
  return steps;
}();
static_assert(
    [] {
      for (const TLookup& row : cLookups)
        if (PartCount(row.Path) > cMaxParts) return false;
      return true;
    }(),
    "a path has at most cMaxParts parts");

}  // namespace svglookups
