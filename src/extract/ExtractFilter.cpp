// The extraction's load filter (see ExtractFilter.h), derived from the look-up
// table the extraction follows. A row's look-up finds the first node of a name,
// comparing names as the extraction does, so it sees the same node in the
// filtered tree as in the whole one, because every node before it that it
// could have found is kept too. Namespace prefixes are resolved from the
// declarations of the kept elements above the offered one, which are kept
// before anything inside them is offered. Images are looked for inside every
// kept element of the root and inside whatever it holds; a kept image becomes
// a child of the nearest kept element, which keeps the images in document
// order, all the extraction asks of them.
#include "extract/ExtractFilter.h"

#include <array>
#include <string>
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

bool IsText(TXmlElementType AType) {
  return AType == xeCharData || AType == xeCData || AType == xeWhiteSpace;
}

// The lengths of the names the root's own rows look for, as a bit mask: most
// attributes of a drawing have a length none of them has, and are passed over
// at that.
constexpr std::uint64_t LengthBit(std::size_t ALength) {
  return ALength < 64 ? std::uint64_t{1} << ALength : 0;
}

constexpr std::uint64_t cRootValueLengths = [] {
  std::uint64_t mask = 0;
  for (const TLookup& row : cLookups)
    if (row.From < 0 && !row.Elements) mask |= LengthBit(Part(row.Path, 0).size());
  return mask;
}();

// The rows of the root's own values, which its attributes are offered to.
constexpr std::size_t cRootValueRowCount = [] {
  std::size_t n = 0;
  for (const TLookup& row : cLookups) n += row.From < 0 && !row.Elements;
  return n;
}();
constexpr auto cRootValueRows = [] {
  std::array<std::size_t, cRootValueRowCount> rows{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < cLookupCount; ++i)
    if (cLookups[i].From < 0 && !cLookups[i].Elements) rows[n++] = i;
  return rows;
}();

// The names without a prefix that a child element of the root may have to be
// read: its rows' first parts and the image. One with a prefix may be any.
constexpr std::size_t cRootChildNameCount = [] {
  std::size_t n = 1;
  for (const TLookup& row : cLookups)
    n += row.From < 0 && Part(row.Path, 0).find(':') == std::string_view::npos;
  return n;
}();
constexpr auto cRootChildNames = [] {
  std::array<std::string_view, cRootChildNameCount> names{};
  std::size_t n = 0;
  names[n++] = cImage;
  for (const TLookup& row : cLookups)
    if (row.From < 0 && Part(row.Path, 0).find(':') == std::string_view::npos)
      names[n++] = Part(row.Path, 0);
  return names;
}();

constexpr std::uint64_t cRootChildLengths = [] {
  std::uint64_t mask = 0;
  for (std::string_view name : cRootChildNames) mask |= LengthBit(name.size());
  return mask;
}();

bool MayNameRootChild(std::string_view AName) {
  if (AName.find(':') != std::string_view::npos) return true;
  if ((cRootChildLengths & LengthBit(AName.size())) == 0) return false;
  for (std::string_view name : cRootChildNames)
    if (ascii::EqualsIgnoreCase(AName, name)) return true;
  return false;
}

}  // namespace

bool TExtractFilter::TakeText(TContainer& AContainer, std::size_t AMax) {
  if (AContainer.Texts >= AMax) return false;
  ++AContainer.Texts;
  return true;
}

TExtractFilter::TContainer* TExtractFilter::ContainerOf(const TXmlNode* AParent) {
  // The parent is nearly always the container seen last.
  if (FLastNode == AParent && FLastNode != nullptr) return &FContainers[FLast];
  const auto known = FIndex.find(AParent);
  if (known != FIndex.end()) {
    FLastNode = AParent;
    FLast = known->second;
    return &FContainers[FLast];
  }
  if (!FHasPending) return nullptr;
  FHasPending = false;
  FContainers.push_back({FPending});
  FIndex.emplace(AParent, FContainers.size() - 1);
  if (FPending.Kind == kiSvgRoot) FRoot = AParent;
  FLastNode = AParent;
  FLast = FContainers.size() - 1;
  return &FContainers[FLast];
}

bool TExtractFilter::CheckLastImage() {
  // The image kept last is whole by now: when it embeds one, the answer is known.
  if (EmbedsImage(std::exchange(FLastImage, nullptr))) FSeeking = false;
  return FSeeking;
}

bool TExtractFilter::TakeImage(std::string_view AName) {
  if ((AName.size() != cImage.size() && AName.find(':') == std::string_view::npos) ||
      !SeeksImages() || !ElementNamesPart(AName, cImage, FRoot, true))
    return false;
  FSeeking = ++FImages < cMaxImages;
  FLastImage = nullptr;  // known once its attributes are offered
  return Accepted({kiImage});
}

bool TExtractFilter::Take(const TXmlNode* /*AParent*/, TContainer& AContainer, std::size_t ARow,
                          std::uint8_t AParts, TXmlElementType AType, std::string_view AName) {
  const TLookup& row = cLookups[ARow];
  if ((AContainer.Taken & Bit(ARow)) != 0) return false;
  const std::string_view part = cLookupSteps[ARow].Parts[AParts];
  if (row.Elements) {
    // Whether an element is the part may rest on declarations on itself, not
    // read yet: the first few that may be are kept, up to one of its usual name.
    if (AType != xeElement || !IsCandidate(AName, part) ||
        AContainer.Candidates[ARow] >= cMaxCandidates)
      return false;
    ++AContainer.Candidates[ARow];
    if (HasUsualName(AName, part)) AContainer.Taken |= Bit(ARow);
  } else if (!IsNamed(AType) || !ascii::EqualsIgnoreCase(AName, part)) {
    return false;
  } else {
    AContainer.Taken |= Bit(ARow);
  }
  if (AType == xeElement) {
    const auto parts = static_cast<std::uint8_t>(AParts + 1);
    Accepted({kiRowStep, static_cast<std::int8_t>(ARow), parts});
  }
  return true;
}

bool TExtractFilter::AcceptComment(bool ARootLevel, std::string_view AText) {
  // Only the first statement of each place is read: a comment's before the
  // root, else one of the root's own comments.
  if (FDocumentStatement || (ARootLevel && FRootStatement)) return false;
  std::string decoded;
  std::string_view text = AText;
  if (AText.find('&') != std::string_view::npos) {
    decoded = DecodeRawValue(AText, esLF);
    text = decoded;
  }
  std::string_view writer;
  if (!StatementWriter(text, writer)) return false;
  (ARootLevel ? FRootStatement : FDocumentStatement) = true;
  return true;
}

bool TExtractFilter::AcceptAttribute(TContainer& AContainer, std::string_view AName) {
  FValueBytes = cKeptTextBytes;
  const TRole role = AContainer.Role;
  switch (role.Kind) {
    case kiImage:
      for (std::size_t i = 0; i < std::size(cImageLinks); ++i) {
        if (AContainer.Linked[i] || !XmlNamesMatch(AName, cImageLinks[i])) continue;
        AContainer.Linked[i] = true;
        FValueBytes = cLinkBytes;
        return true;
      }
      return false;
    case kiItem:
      if (AContainer.LanguageTaken || !XmlNamesMatch(AName, cItemLanguage)) return false;
      AContainer.LanguageTaken = true;
      FValueBytes = cLanguageBytes;
      return true;
    default:
      break;
  }
  // Namespace declarations, where children are found by name.
  if (IsDeclarationName(AName)) {
    if (AContainer.Declarations >= cMaxDeclarations) return false;
    ++AContainer.Declarations;
    FValueBytes = cDeclarationBytes;
    return true;
  }
  if (role.Kind != kiSvgRoot || (cRootValueLengths & LengthBit(AName.size())) == 0) return false;
  for (std::size_t i : cRootValueRows)
    if (cLookupSteps[i].Parts[0].size() == AName.size() &&
        Take(nullptr, AContainer, i, 0, xeAttribute, AName))
      return true;
  return false;
}

bool TExtractFilter::AcceptElement(const TXmlNode* AParent, TContainer& AContainer,
                                   std::string_view AName) {
  const TRole role = AContainer.Role;
  switch (role.Kind) {
    case kiSvgRoot:
      // Most elements of a drawing are its root's, and are passed over at their length.
      if (!MayNameRootChild(AName)) return false;
      for (std::size_t i = 0; i < cLookupCount; ++i)
        if (cLookups[i].From < 0 && Take(AParent, AContainer, i, 0, xeElement, AName)) return true;
      break;
    case kiRowStep: {
      const auto row = static_cast<std::size_t>(role.Row);
      if (role.Parts < cLookupSteps[row].Count) {
        // Inside a row's path: only its next part.
        if (Take(AParent, AContainer, row, role.Parts, xeElement, AName)) return true;
      } else if (cLookups[row].Kind == lkStep) {
        for (std::size_t i = row + 1; i < cLookupCount; ++i)
          if (static_cast<std::size_t>(cLookups[i].From) == row &&
              Take(AParent, AContainer, i, 0, xeElement, AName))
            return true;
      } else if (cLookups[row].Items && !AContainer.ItemsTaken &&
                 AContainer.ItemsCandidates < cMaxCandidates) {
        // The first RDF container of a row's node holds its text.
        for (std::string_view container : cItemContainers) {
          if (!IsCandidate(AName, container)) continue;
          ++AContainer.ItemsCandidates;
          AContainer.ItemsTaken = HasUsualName(AName, container);
          return Accepted({kiItems});
        }
      }
      break;
    }
    case kiItems:
      if (AContainer.Items < cMaxItems && IsCandidate(AName, cItem)) {
        ++AContainer.Items;
        return Accepted({kiItem, -1, 0, HasUsualName(AName, cItem)});
      }
      break;
    default:
      break;
  }
  return TakeImage(AName);
}

bool TExtractFilter::AcceptIn(const TXmlNode* AParent, TContainer& AContainer,
                              TXmlElementType AType, std::string_view AName) {
  const TRole role = AContainer.Role;
  switch (role.Kind) {
    case kiFirstElement:
      // Only whether it has any node is asked: keep its first, whatever it is.
      if (AParent->NodeCount() != 0) return false;
      if (AType == xeElement) Accepted({});
      return true;
    case kiClosed:
      return false;
    case kiSvgRoot:
      if (AType == xeComment) return AcceptComment(true, AName);
      break;
    case kiRowStep: {
      // A row's own node: its value's text; the root's metadata: its plain
      // text, where a statement may be.
      const auto row = static_cast<std::size_t>(role.Row);
      if (IsText(AType) && role.Parts == cLookupSteps[row].Count && cLookups[row].Kind != lkStep)
        return TakeText(AContainer, cMaxTextRuns);
      if (IsText(AType) && row == cWorkRow && role.Parts == 1)
        return TakeText(AContainer, cMaxMetadataTexts);
      break;
    }
    case kiItem:
      if (IsText(AType)) {
        // The texts an item of its name or of another may be chosen for: the
        // first item's, and the first x-default one's. Whether an item of
        // another name is an rdf:li is known only to the extraction, so those
        // up to the first of its name are kept.
        if (AContainer.KeepsText < 0) {
          TContainer* items = ContainerOf(AParent->Parent());
          bool keeps = true;
          if (items != nullptr) {
            const bool fallback = AParent->AttributeValueByName(cItemLanguage) == cDefaultLanguage;
            keeps = !items->FirstTaken || (fallback && !items->DefaultTaken);
            if (keeps && role.UsualName) {
              items->FirstTaken = true;
              items->DefaultTaken = items->DefaultTaken || fallback;
            }
          }
          ContainerOf(AParent);  // the item is the container seen last again
          AContainer.KeepsText = keeps ? 1 : 0;
        }
        return AContainer.KeepsText == 1 && TakeText(AContainer, cMaxTextRuns);
      }
      break;
    default:
      break;
  }
  if (AType == xeAttribute) return AcceptAttribute(AContainer, AName);
  if (AType == xeElement) return AcceptElement(AParent, AContainer, AName);
  return false;
}

bool TExtractFilter::Accept(const TXmlNode* AParent, TXmlElementType AType,
                            std::string_view AName) {
  if (AParent == nullptr) {
    // The root level: a statement in a comment before the root, the first
    // element (whether the document is empty) and the first one named as a
    // root the extraction chooses.
    if (AType == xeComment) return !FSvgTaken && AcceptComment(false, AName);
    if (AType != xeElement) return false;
    const bool svg = !FSvgTaken && (AName == cSvg || AName == cPrefixedSvg);
    const bool first = !FFirstElementTaken;
    if (!svg && !first) return false;
    FFirstElementTaken = true;
    FSvgTaken = FSvgTaken || svg;
    return Accepted({svg ? kiSvgRoot : kiFirstElement});
  }
  TContainer* container = ContainerOf(AParent);
  if (container == nullptr) return false;
  if (AType == xeElement) {
    // Most elements of a drawing are its root's and none the extraction reads:
    // passed over at their name's length, and looked into (LooksInto follows).
    const bool accepted = (container->Role.Kind != kiSvgRoot || MayNameRootChild(AName)) &&
                          AcceptIn(AParent, *container, AType, AName);
    FLooksInto = !accepted && Holds(container->Role.Kind) && SeeksImages();
    return accepted;
  }
  const bool accepted = AcceptIn(AParent, *container, AType, AName);
  // An image's links are offered before anything else inside it.
  if (accepted && AType == xeAttribute && container->Role.Kind == kiImage) FLastImage = AParent;
  return accepted;
}

bool TExtractFilter::LooksInto(const TXmlNode* /*AParent*/, std::string_view /*AName*/) {
  // Asked of the element declined last, whose answer that offer found.
  return FLooksInto;
}

bool TExtractFilter::AcceptInside(const TXmlNode* /*AParent*/, std::string_view AName) {
  const bool accepted = TakeImage(AName);
  FLooksInto = !accepted && SeeksImages();
  return accepted;
}

bool TExtractFilter::TakesInsideOnly(std::string_view& AName) {
  // Inside, only images are taken, and none once they are no longer looked for.
  AName = SeeksImages() ? cImage : std::string_view();
  return true;
}

std::size_t TExtractFilter::KeptValueBytes(const TXmlNode* /*AParent*/,
                                           std::string_view /*AName*/) {
  return std::exchange(FValueBytes, cKeptTextBytes);
}

std::size_t TExtractFilter::KeptTextBytes(const TXmlNode* /*AParent*/) {
  return cKeptTextBytes;
}

void TExtractFilter::Reset(bool AParseImageNode) {
  // What a usual drawing's load fills; more is let go of.
  constexpr std::size_t cKeptContainers = 256;
  std::vector<TContainer> containers = std::move(FContainers);
  std::unordered_map<const TXmlNode*, std::size_t> index = std::move(FIndex);
  *this = TExtractFilter(AParseImageNode);
  if (containers.capacity() <= cKeptContainers && index.bucket_count() <= 2 * cKeptContainers) {
    containers.clear();
    index.clear();
    FContainers = std::move(containers);
    FIndex = std::move(index);
  }
}
