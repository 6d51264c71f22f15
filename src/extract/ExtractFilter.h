// The load filter of the extraction: it accepts exactly the nodes the
// extraction's look-ups can find (the first root element, the chosen svg root
// and the first node of each name looked up in it, the work description, the
// first comments) and declines the rest, so a drawing costs memory for what is
// read from it, not for its size.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "xml/XmlDocument.h"

class TExtractFilter final : public TXmlNodeFilter {
 public:
  explicit TExtractFilter(bool AParseImageNode) : FParseImageNode(AParseImageNode) {}
  bool Accept(const TXmlNode* AParent, TXmlElementType AType, std::string_view AName) override;

 private:
  // What an accepted container is read for, which decides what it keeps.
  enum TRole : std::uint8_t {
    roFirstElement,  // the document's first element: only whether it has a node
    roSvg,           // the chosen root
    roImage,         // its first "image": the first link attribute
    roMetadata,      // metadata, then rdf:RDF, then cc:Work: the first node of
    roRdf,           // the next name, and of the three values in cc:Work
    roWork,
    roValue,   // an element whose text is a value
    roNothing  // an accepted node whose content nobody reads
  };
  struct TContainer {
    const TXmlNode* Node;
    TRole Role;
    std::uint32_t Taken;  // bit i: the i-th name this role looks for has been found
  };

  TContainer* ContainerOf(const TXmlNode* AParent);
  bool AcceptInSvg(TContainer& AParent, TXmlElementType AType, std::string_view AName);
  // Accepts the first node of a name in the list, and no later one of it; an
  // accepted element gets ARole, or AValueRole for the names of a value list.
  bool TakeName(TContainer& AParent, TXmlElementType AType, std::string_view AName,
                std::string_view ALookedFor, std::uint32_t ABit, TRole ARole);
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
  TRole FPending = roNothing;
  bool FHasPending = false;
  // Few: the first element and its first child, the svg root, the values,
  // image and metadata found in it, rdf:RDF, cc:Work and its three values.
  static constexpr std::size_t cMaxContainers = 24;
  std::array<TContainer, cMaxContainers> FContainers{};
  std::size_t FCount = 0;
  TContainer* FLast = nullptr;  // the container found last
};
