// The load filter of the extraction: it accepts exactly the nodes the rows of
// the look-up table (SvgLookups.h) can find, and the few the extraction looks
// at besides (the first root element and its first node, the chosen svg root,
// the generator comments, namespace declarations, the items of an RDF
// container, image elements at any depth and their links), and declines the
// rest, so a drawing costs memory for what is read from it, not for its size.
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
  bool Accept(const TXmlNode* AParent, TXmlElementType AType, std::string_view AName) override;
  bool LooksInto(const TXmlNode* AParent, std::string_view AName) override;
  bool AcceptInside(const TXmlNode* AParent, std::string_view AName) override;
  std::size_t KeptValueBytes(const TXmlNode* AParent, std::string_view AName) override;
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
    std::uint8_t Item = 0;   // kiItem: its place among its container's items
  };
  struct TContainer {
    TRole Role;
    std::uint32_t Taken = 0;        // the rows (bit i: row i) whose next part has been found in it
    std::uint8_t Declarations = 0;  // namespace declarations kept
    std::uint8_t Items = 0;         // kiItems: items kept
    bool ItemsTaken = false;        // a row's node: its RDF container is kept
    bool DefaultTaken = false;      // kiItems: an x-default item's text is kept
    std::int8_t KeepsText = -1;     // kiItem: its text is kept (-1: not decided yet)
    bool Linked[2] = {};            // kiImage: a link of each name is kept
    bool LanguageTaken = false;     // kiItem: its xml:lang is kept
  };

  TContainer* ContainerOf(const TXmlNode* AParent);
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
  bool FDocumentGenerator = false;       // a generator comment of the document is kept
  bool FRootGenerator = false;           // one of the root is kept
  const TXmlNode* FRoot = nullptr;       // the svg root, once something inside it was offered
  const TXmlNode* FLastImage = nullptr;  // kept last, not yet looked at
  std::size_t FImages = 0;
  bool FLooksInto = false;  // whether the element declined last is looked into
  std::size_t FValueBytes = static_cast<std::size_t>(-1);  // of the attribute accepted last
  // The role of the element accepted last: the next offer with a parent not yet
  // known comes from inside it (its attributes and text run are offered first).
  TRole FPending;
  bool FHasPending = false;
  std::vector<TContainer> FContainers;
  std::unordered_map<const TXmlNode*, std::size_t> FIndex;
  const TXmlNode* FLastNode = nullptr;  // the container found last
  std::size_t FLast = 0;
};
