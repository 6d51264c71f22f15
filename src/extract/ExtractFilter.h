// The load filter of the extraction: it accepts exactly the nodes the rows of
// the look-up table (SvgLookups.h) can find, and the few the extraction looks
// at besides (the first root element and its first node, the chosen svg root,
// the statements of who wrote the drawing, namespace declarations, the items
// of an RDF container, image elements at any depth and their links), and
// declines the rest, so a drawing costs memory for what is read from it, not
// for its size; of each value and text it keeps a head (cKeptTextBytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "extract/SvgLookups.h"
#include "xml/XmlDocument.h"

class TExtractFilter final : public TXmlNodeFilter {
 public:
  explicit TExtractFilter(bool AParseImageNode) : FSeeking(AParseImageNode) {}
  // As a filter made afresh for the next load, keeping the memory of the
  // last one up to what a drawing of a usual size needs.
  void Reset(bool AParseImageNode);
  bool Accept(const TXmlNode* AParent, TXmlElementType AType, std::string_view AName) override;
  bool LooksInto(const TXmlNode* AParent, std::string_view AName) override;
  bool AcceptInside(const TXmlNode* AParent, std::string_view AName) override;
  std::size_t KeptValueBytes(const TXmlNode* AParent, std::string_view AName) override;
  std::size_t KeptTextBytes(const TXmlNode* AParent) override;
  bool TakesInsideOnly(std::string_view& AName) override;

 private:
  // What an accepted container is: the svg root, the node a row's path reaches
  // after some of its parts (all of them: the row's own node), the RDF
  // container in a row's node and one of its items, an image, or a node whose
  // content nobody reads but for its first node, or whose content nobody reads.
  enum TKind : std::uint8_t {
    kiSvgRoot,
    kiRowStep,
    kiItems,
    kiItem,
    kiImage,
    kiFirstElement,
    kiClosed
  };
  struct TRole {
    TKind Kind = kiClosed;
    std::int8_t Row = -1;    // kiRowStep: the row
    std::uint8_t Parts = 0;  // kiRowStep: the parts of its path this node is at the end of
    bool UsualName = false;  // kiItem: named rdf:li (not only in its namespace)
  };
  struct TContainer {
    TRole Role;
    std::uint32_t Taken = 0;        // the rows (bit i: row i) whose next part has been found in it
    std::uint8_t Declarations = 0;  // namespace declarations kept
    std::uint8_t Candidates[svglookups::cLookupCount] =
        {};                            // per row: children that may be its next part
    std::uint8_t Items = 0;            // kiItems: items kept
    std::uint8_t ItemsCandidates = 0;  // a row's node: children that may be its container
    bool ItemsTaken = false;           // a row's node: its RDF container is kept
    std::uint8_t Texts = 0;            // text runs kept
    bool FirstTaken = false;           // kiItems: the text of an item named rdf:li is kept
    bool DefaultTaken = false;         // kiItems: that of one named rdf:li with xml:lang x-default
    std::int8_t KeepsText = -1;        // kiItem: its text is kept (-1: not decided yet)
    bool Linked[2] = {};               // kiImage: a link of each name is kept
    bool LanguageTaken = false;        // kiItem: its xml:lang is kept
  };

  TContainer* ContainerOf(const TXmlNode* AParent);
  // Counts a text run kept in AContainer, of at most AMax.
  static bool TakeText(TContainer& AContainer, std::size_t AMax);
  bool AcceptIn(const TXmlNode* AParent, TContainer& AContainer, TXmlElementType AType,
                std::string_view AName);
  bool AcceptAttribute(TContainer& AContainer, std::string_view AName);
  bool AcceptElement(const TXmlNode* AParent, TContainer& AContainer, std::string_view AName);
  bool AcceptComment(bool ARootLevel, std::string_view AText);
  // Takes the offered element or attribute for row ARow's next part (at AParts
  // + 1 parts) when it is that part's first node in the container.
  bool Take(const TXmlNode* AParent, TContainer& AContainer, std::size_t ARow, std::uint8_t AParts,
            TXmlElementType AType, std::string_view AName);
  // Whether an image is still looked for, and whether AName is one.
  bool SeeksImages() { return FLastImage != nullptr ? CheckLastImage() : FSeeking; }
  bool CheckLastImage();
  bool TakeImage(std::string_view AName);
  // Whether a container's content is looked into for images.
  static bool Holds(TKind AKind) { return AKind != kiFirstElement && AKind != kiClosed; }
  bool Accepted(TRole ARole) {
    FPending = ARole;
    FHasPending = true;
    return true;
  }

  // Images are looked for: the test is on, no image kept embeds one, and
  // fewer than cMaxImages are kept.
  bool FSeeking;
  bool FFirstElementTaken = false;
  bool FSvgTaken = false;
  bool FDocumentStatement = false;       // a statement in a comment before the root is kept
  bool FRootStatement = false;           // one in a comment of the root is kept
  const TXmlNode* FRoot = nullptr;       // the svg root, once something inside it was offered
  const TXmlNode* FLastImage = nullptr;  // kept last, not yet looked at
  std::size_t FImages = 0;
  bool FLooksInto = false;  // whether the element declined last is looked into
  std::size_t FValueBytes = svglookups::cKeptTextBytes;  // of the attribute accepted last
  // The role of the element accepted last: the next offer with a parent not yet
  // known comes from inside it (its attributes and text run are offered first).
  TRole FPending;
  bool FHasPending = false;
  std::vector<TContainer> FContainers;
  std::unordered_map<const TXmlNode*, std::size_t> FIndex;
  const TXmlNode* FLastNode = nullptr;  // the container found last
  std::size_t FLast = 0;
};
