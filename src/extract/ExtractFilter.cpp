// The extraction's load filter (see ExtractFilter.h), derived from the look-up
// table the extraction follows. A row's look-up finds the first node of a name,
// comparing names as the extraction does, so it sees the same node in the
// filtered tree as in the whole one, because every node before it that it
// could have found is kept too. No node kind other than elements and
// attributes is named like anything looked up, so only those two are compared
// by name.
#include "extract/ExtractFilter.h"

#include <utility>

#include "base/Ascii.h"
#include "extract/SvgLookups.h"

namespace {

using namespace svglookups;

constexpr std::uint32_t Bit(std::size_t AIndex) {
  return std::uint32_t{1} << AIndex;
}

bool IsNamed(TXmlElementType AType) {
  return AType == xeElement || AType == xeAttribute;
}

// The lengths of the names looked for in the svg root, as a bit mask: most names
// in a drawing have a length none of them has, and are passed over at that.
constexpr std::uint64_t LengthBit(std::size_t ALength) {
  return ALength < 64 ? std::uint64_t{1} << ALength : 0;
}

constexpr std::uint64_t cSvgRootLengths = [] {
  std::uint64_t mask = 0;
  for (const TLookup& row : cLookups)
    if (row.From < 0) mask |= LengthBit(Part(row.Path, 0).size());
  return mask;
}();

// The bit of the root's first comment, after the rows' bits.
constexpr std::size_t cCommentBit = cLookupCount;

}  // namespace

TExtractFilter::TContainer* TExtractFilter::ContainerOf(const TXmlNode* AParent) {
  // The parent is nearly always the container seen last.
  if (FLast != nullptr && FLast->Node == AParent) return FLast;
  for (std::size_t i = FCount; i-- > 0;)
    if (FContainers[i].Node == AParent) return FLast = &FContainers[i];
  if (!FHasPending || FCount == cMaxContainers) return nullptr;
  FHasPending = false;
  FContainers[FCount] = {AParent, FPending, 0};
  return FLast = &FContainers[FCount++];
}

bool TExtractFilter::Take(TContainer& AParent, std::size_t ARow, std::uint8_t AParts,
                          TXmlElementType AType, std::string_view AName) {
  const TLookup& row = cLookups[ARow];
  if ((AParent.Taken & Bit(ARow)) != 0) return false;
  if (row.Kind == lkImageLink) {
    // The image's link: an attribute, its name compared as the reader compares.
    if (AType != xeAttribute || !XmlNamesMatch(AName, row.Path)) return false;
  } else if (!IsNamed(AType) || !ascii::EqualsIgnoreCase(AName, cLookupSteps[ARow].Parts[AParts])) {
    return false;
  }
  AParent.Taken |= Bit(ARow);
  if (AType == xeElement) {
    const auto parts = static_cast<std::uint8_t>(AParts + 1);
    Accepted({kiRowStep, static_cast<std::int8_t>(ARow), parts});
  }
  return true;
}

bool TExtractFilter::AcceptIn(TContainer& AParent, TXmlElementType AType, std::string_view AName) {
  const TRole role = AParent.Role;
  switch (role.Kind) {
    case kiFirstElement:
      // Only whether it has any node is asked: keep its first, whatever it is.
      if (AParent.Node->NodeCount() != 0) return false;
      if (AType == xeElement) Accepted({});
      return true;
    case kiClosed:
      return false;
    case kiSvgRoot:
      if (AType == xeComment) {
        // The application may come from the root's first comment.
        if ((AParent.Taken & Bit(cCommentBit)) != 0) return false;
        AParent.Taken |= Bit(cCommentBit);
        return true;
      }
      if (!IsNamed(AType) || (cSvgRootLengths & LengthBit(AName.size())) == 0) return false;
      for (std::size_t i = 0; i < cLookupCount; ++i) {
        if (cLookups[i].From >= 0 || cLookupSteps[i].Parts[0].size() != AName.size() ||
            (cLookups[i].Kind == lkImage && !FParseImageNode))
          continue;
        if (Take(AParent, i, 0, AType, AName)) return true;
      }
      return false;
    case kiRowStep:
      break;
  }
  const auto row = static_cast<std::size_t>(role.Row);
  // Inside a row's path: only its next part.
  if (role.Parts < cLookupSteps[row].Count) return Take(AParent, row, role.Parts, AType, AName);
  // A row's own node: its value's text, or the rows that start at it.
  if (cLookups[row].Kind == lkValue)
    return AType == xeCharData || AType == xeCData || AType == xeWhiteSpace;
  for (std::size_t i = row + 1; i < cLookupCount; ++i)
    if (static_cast<std::size_t>(cLookups[i].From) == row && Take(AParent, i, 0, AType, AName))
      return true;
  return false;
}

bool TExtractFilter::Accept(const TXmlNode* AParent, TXmlElementType AType,
                            std::string_view AName) {
  if (AParent == nullptr) {
    // The root level: the first comment (the document's comment), the first
    // element (whether the document is empty) and the first one named as a
    // root the extraction chooses.
    if (AType == xeComment) return !std::exchange(FRootCommentTaken, true);
    if (AType != xeElement) return false;
    const bool svg = !FSvgTaken && (AName == cSvg || AName == cPrefixedSvg);
    const bool first = !FFirstElementTaken;
    if (!svg && !first) return false;
    FFirstElementTaken = true;
    FSvgTaken = FSvgTaken || svg;
    return Accepted({svg ? kiSvgRoot : kiFirstElement});
  }
  TContainer* parent = ContainerOf(AParent);
  return parent != nullptr && AcceptIn(*parent, AType, AName);
}
