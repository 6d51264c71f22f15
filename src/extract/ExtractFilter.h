// The load filter of the extraction: it accepts exactly the nodes the rows of
// the look-up table (SvgLookups.h) can find, and the few the extraction looks
// at besides (the first root element and its first node, the chosen svg root,
// the first comments), and declines the rest, so a drawing costs memory for
// what is read from it, not for its size.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "extract/SvgLookups.h"
#include "xml/XmlDocument.h"

class TExtractFilter final : public TXmlNodeFilter {
 public:
  explicit TExtractFilter(bool AParseImageNode) : FParseImageNode(AParseImageNode) {}
  bool Accept(const TXmlNode* AParent, TXmlElementType AType, std::string_view AName) override;

 private:
  // What an accepted container is: the svg root, the node a row's path reaches
  // after some of its parts (all of them: the row's own node), or a node whose
  // content nobody reads but for its first node, or whose content nobody reads.
  enum TKind : std::uint8_t { kiSvgRoot, kiRowStep, kiFirstElement, kiClosed };
  struct TRole {
    TKind Kind = kiClosed;
    std::int8_t Row = -1;    // kiRowStep: the row
    std::uint8_t Parts = 0;  // kiRowStep: the parts of its path this node is at the end of
  };
  struct TContainer {
    const TXmlNode* Node;
    TRole Role;
    std::uint32_t Taken;  // the rows (bit i: row i) whose next part has been found in it
  };

  TContainer* ContainerOf(const TXmlNode* AParent);
  bool AcceptIn(TContainer& AParent, TXmlElementType AType, std::string_view AName);
  // Takes the offered node for row ARow's next part (at AParts + 1 parts) when
  // it is that part's first node in the container.
  bool Take(TContainer& AParent, std::size_t ARow, std::uint8_t AParts, TXmlElementType AType,
            std::string_view AName);
  bool Accepted(TRole ARole) {
    FPending = ARole;
    FHasPending = true;
    return true;
  }

  bool FParseImageNode;
  bool FFirstElementTaken = false;
  bool FSvgTaken = false;
  bool FRootCommentTaken = false;
  // The role of the element accepted last: the next offer with a parent not yet
  // known comes from inside it (its attributes and text run are offered first).
  TRole FPending;
  bool FHasPending = false;
  // Few: the first element and its first child, the svg root, and at most a
  // node per part of each row's path (an image link is an attribute).
  static constexpr std::size_t cMaxContainers = [] {
    std::size_t count = 3;
    for (const svglookups::TLookup& row : svglookups::cLookups)
      if (row.Kind != svglookups::lkImageLink) count += svglookups::PartCount(row.Path);
    return count;
  }();
  std::array<TContainer, cMaxContainers> FContainers{};
  std::size_t FCount = 0;
  TContainer* FLast = nullptr;  // the container found last
};
