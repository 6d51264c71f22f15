// Test helpers for the document reader: load a text with chosen options while
// capturing every message, and print a tree in a compact form so that table-driven
// tests can compare whole shapes (kinds, names, raw values) in one string.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/XmlNodes.h"

namespace xml_test {

struct TLoadedMessage {
  const void* Sender;
  TXmlWarnStyle Level;
  std::string Text;
};

struct TLoadOptions {
  bool Fix = false;
  bool Preserve = false;
  bool DropComments = false;
  bool SwitchEncoding = false;  // SetParserEncodingAfterReadDeclaration
};

// A document whose own handler records all messages of a load.
class TXmlLoad {
 public:
  TXmlLoad() : Doc(std::make_unique<TXmlDocument>()) {
    Doc->SetOnDebugOut([this](const void* ASender, TXmlWarnStyle ALevel, const std::string& AText) {
      Messages.push_back({ASender, ALevel, AText});
    });
  }
  explicit TXmlLoad(std::string_view AText, TLoadOptions AOptions = {}) : TXmlLoad() {
    Load(AText, AOptions);
  }

  void Load(std::string_view AText, TLoadOptions AOptions = {}) {
    Doc->SetFixStructuralErrors(AOptions.Fix);
    Doc->SetXmlFormat(AOptions.Preserve ? xfPreserve : xfCompact);
    Doc->SetDropCommentsOnParse(AOptions.DropComments);
    Doc->SetParserEncodingAfterReadDeclaration = AOptions.SwitchEncoding;
    Messages.clear();
    Doc->ReadFromString(AText);
  }

  // "W:text" per message, joined by " | "; AMinLevel drops the lower levels.
  std::string MessageText(TXmlWarnStyle AMinLevel = wsInfo) const;
  // Messages without those of the parser input's encoding detection.
  std::string NodeMessages() const;
  // The root nodes in the compact form of Shape, joined by ",".
  std::string Tree() const;

  std::unique_ptr<TXmlDocument> Doc;
  std::vector<TLoadedMessage> Messages;
};

// Compact form of a node and its subtree:
//   element    name(children)            (no parentheses without children)
//   attribute  @name=raw                 whitespace  W"raw"
//   text       T"raw"                    comment     C"raw"
//   CDATA      D"raw"                    instruction P"raw"
//   quoted     Q"raw" / Q'raw'           declaration ?xml(...) / ?xml-stylesheet(...)
//   doctype    !DOCTYPE name(...)        DTD         !ELEMENT name(...) etc.
// Line feeds in raw values print as \n.
std::string Shape(const TXmlNode* ANode);

// One row of a load table: a text and options, the tree and messages it gives.
struct TLoadCase {
  const char* Input;
  TLoadOptions Options;
  const char* Tree;
  const char* Messages;  // every message but the encoding detection's
};

// Loads each row and compares its tree and messages.
void ExpectLoads(const std::vector<TLoadCase>& ACases);

// Loads a UTF-8 text after converting it to UTF-16LE with a byte-order mark.
std::string ToUtf16LeWithBom(std::string_view AUtf8);

}  // namespace xml_test
