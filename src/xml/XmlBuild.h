// What the parsers and the node classes need of a document besides its public
// face (XmlDocument.h): making nodes in its arena, the load's filter and
// events, the tags of nodes, and the list of single tags a repairing load
// collects. Only the reader's own files and its tests include this.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "xml/XmlDocument.h"
#include "xml/XmlNodes.h"

class TXmlBuild {
 public:
  // Creates a node of class T owned by ADoc: the only way nodes are made.
  template <class T>
  static T* CreateNode(TXmlDocument& ADoc) {
    static_assert(std::is_base_of_v<TXmlNode, T>);
    return Arena(ADoc).New<T>(&ADoc);
  }
  static TXmlNodeArena& Arena(TXmlDocument& ADoc);

  // Whether the load makes a node (see TXmlNodeFilter). A load with structural
  // repair moves nodes after reading them, so it makes every node.
  static bool Accepts(const TXmlDocument& ADoc, const TXmlNode* AParent, TXmlElementType AType,
                      std::string_view AName) {
    return ADoc.FNodeFilter == nullptr || ADoc.FFixStructuralErrors ||
           ADoc.FNodeFilter->Accept(AParent, AType, AName);
  }

  // The load's events.
  static void NodeNew(TXmlDocument& ADoc, TXmlNode* ANode) {
    if (ADoc.FOnNodeNew) ADoc.FOnNodeNew(&ADoc, ANode);
  }
  static void NodeLoaded(TXmlDocument& ADoc, TXmlNode* ANode) {
    if (ADoc.FOnNodeLoaded) ADoc.FOnNodeLoaded(&ADoc, ANode);
  }
  static void Progress(TXmlDocument& ADoc, std::int64_t APosition) {
    if (ADoc.FOnProgress) ADoc.FOnProgress(&ADoc, APosition);
  }

  // The single-tag name list of a parse with FixStructuralErrors (null
  // otherwise); adding keeps it sorted and skips a name that is there (letter
  // case ignored).
  static std::vector<std::string>* SingleTagNames(TXmlDocument& ADoc) {
    return ADoc.FSingleTagNames.get();
  }
  static void AddSingleTagName(TXmlDocument& ADoc, std::string_view AName);
  static bool IsSingleTagName(const TXmlDocument& ADoc, std::string_view AName);

  // The tags of the document's nodes (TXmlNode::Tag): few nodes carry one, so
  // they are kept in the document rather than in every node.
  static void* NodeTag(const TXmlDocument& ADoc, const TXmlNode* ANode);
  static void SetNodeTag(TXmlDocument& ADoc, const TXmlNode* ANode, void* ATag);
};
