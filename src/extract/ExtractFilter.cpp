// The extraction's load filter (see ExtractFilter.h). Each rule mirrors one
// look-up of the extraction in Vexmeta.cpp: a look-up that finds the first node
// of a name, comparing names as it does, sees the same node in the filtered
// tree as in the whole one, because every node before it that it could have
// found is kept too. No node kind other than elements and attributes is named
// like anything looked up, so only those two are compared by name.
#include "extract/ExtractFilter.h"

#include <utility>

#include "base/Ascii.h"
#include "extract/SvgNames.h"

namespace {

using namespace svgnames;

constexpr std::uint32_t Bit(std::size_t AIndex) {
  return std::uint32_t{1} << AIndex;
}

// The svg root's names beyond its values: each has a bit after theirs.
constexpr std::size_t cImageBit = std::size(cRootValues);
constexpr std::size_t cMetadataBit = cImageBit + 1;
constexpr std::size_t cCommentBit = cMetadataBit + 1;
static_assert(cCommentBit < 32);

constexpr std::string_view cWorkValues[] = {cTitle, cDescription, cDate};

bool IsNamed(TXmlElementType AType) {
  return AType == xeElement || AType == xeAttribute;
}

// The lengths of a list of names as a bit mask: most names in a drawing have a
// length none of the looked-up names has, and are passed over at that.
constexpr std::uint64_t LengthBit(std::size_t ALength) {
  return ALength < 64 ? std::uint64_t{1} << ALength : 0;
}

constexpr std::uint64_t cSvgLengths = [] {
  std::uint64_t mask = LengthBit(cImage.size()) | LengthBit(cMetadata.size());
  for (const TRootValue& value : cRootValues) mask |= LengthBit(value.Name.size());
  return mask;
}();

constexpr std::uint64_t cWorkLengths =
    LengthBit(cTitle.size()) | LengthBit(cDescription.size()) | LengthBit(cDate.size());

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

bool TExtractFilter::TakeName(TContainer& AParent, TXmlElementType AType, std::string_view AName,
                              std::string_view ALookedFor, std::uint32_t ABit, TRole ARole) {
  if ((AParent.Taken & Bit(ABit)) != 0 || !ascii::EqualsIgnoreCase(AName, ALookedFor)) return false;
  AParent.Taken |= Bit(ABit);
  if (AType == xeElement) Accepted(ARole);
  return true;
}

bool TExtractFilter::AcceptInSvg(TContainer& AParent, TXmlElementType AType,
                                 std::string_view AName) {
  if (AType == xeComment) {
    // The application may come from the root's first comment.
    if ((AParent.Taken & Bit(cCommentBit)) != 0) return false;
    AParent.Taken |= Bit(cCommentBit);
    return true;
  }
  if (!IsNamed(AType) || (cSvgLengths & LengthBit(AName.size())) == 0) return false;
  for (std::size_t i = 0; i < std::size(cRootValues); ++i)
    if (TakeName(AParent, AType, AName, cRootValues[i].Name, static_cast<std::uint32_t>(i),
                 roValue))
      return true;
  if (FParseImageNode && TakeName(AParent, AType, AName, cImage, cImageBit, roImage)) return true;
  return TakeName(AParent, AType, AName, cMetadata, cMetadataBit, roMetadata);
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
    return Accepted(svg ? roSvg : roFirstElement);
  }

  TContainer* parent = ContainerOf(AParent);
  if (parent == nullptr) return false;
  switch (parent->Role) {
    case roFirstElement:
      // Only whether it has any node is asked: keep its first, whatever it is.
      if (AParent->NodeCount() != 0) return false;
      if (AType == xeElement) Accepted(roNothing);
      return true;
    case roSvg:
      return AcceptInSvg(*parent, AType, AName);
    case roImage:
      if (AType != xeAttribute || parent->Taken != 0 || !XmlNamesMatch(AName, cImageLink))
        return false;
      parent->Taken = 1;
      return true;
    case roMetadata:
      return IsNamed(AType) && TakeName(*parent, AType, AName, cRdf, 0, roRdf);
    case roRdf:
      return IsNamed(AType) && TakeName(*parent, AType, AName, cWork, 0, roWork);
    case roWork:
      if (!IsNamed(AType) || (cWorkLengths & LengthBit(AName.size())) == 0) return false;
      for (std::size_t i = 0; i < std::size(cWorkValues); ++i)
        if (TakeName(*parent, AType, AName, cWorkValues[i], static_cast<std::uint32_t>(i), roValue))
          return true;
      return false;
    case roValue:
      // An element's value is the text of its own text, CDATA and white-space
      // nodes.
      return AType == xeCharData || AType == xeCData || AType == xeWhiteSpace;
    case roNothing:
      return false;
  }
  return false;
}
