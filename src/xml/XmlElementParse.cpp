// Element and content parsing, and the leaves (attributes, quoted literals,
// comments, CDATA sections, instructions): each construct has one reading, which
// builds nodes for kept markup and reads dropped markup the same way without
// building anything. The content loop keeps its open elements on an explicit
// stack, so nesting depth costs heap, not machine stack; a dropped element's
// content only counts its open elements, so neither its size nor its depth
// costs memory. Results travel up the stack exactly as nested calls would
// return them (the "level mismatch" unwinding included).
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "base/Blanks.h"
#include "xml/XmlNodes.h"
#include "xml/XmlParser.h"
#include "xml/XmlReader.h"

namespace xmlread {

namespace {

bool IsAttributeListEnd(char AC) {
  return AC == '!' || AC == '/' || AC == '>' || AC == '?';
}

// What a comment, CDATA section or instruction runs to.
std::string_view LeafTerminator(TXmlElementType AType) {
  switch (AType) {
    case xeComment:
      return "-->";
    case xeCData:
      return "]]>";
    default:
      return "?>";
  }
}

// The next byte after blanks, between the attributes or literals of a list.
// Kept markup reports blanks other than one space, and hands them to AKeep
// (a whitespace node, where white space is preserved).
template <class TKeepBlanks>
char NextListByte(TXmlParser& AParser, TXmlContainerNode* AInto, TKeepBlanks&& AKeep) {
  if (AInto == nullptr) return AParser.NextCharSkipBlanks();
  // Mostly one space or none stands before the next byte.
  const std::string_view held = AParser.Buffered();
  const std::size_t at = !held.empty() && held[0] == ' ' ? 1 : 0;
  if (held.size() > at && !xmlbytes::IsBlank(static_cast<std::uint8_t>(held[at]))) {
    AParser.Consume(at + 1);
    return held[at];
  }
  std::string blanks;
  const char c = AParser.NextCharSkipBlanks(blanks);
  if (!blanks.empty() && blanks != " ") {
    XmlDebugOut(*AInto, AInto, wsHint, "non-default chardata at line %d (pos %d)",
                {AParser.LineNumber(), AParser.Position()});
    AKeep(blanks);
  }
  return c;
}

}  // namespace

char ReadAttributeList(TXmlParser& AParser, TXmlDocument& ADoc, TXmlContainerNode* AInto,
                       std::string* AEncoding) {
  bool encodingFound = false;
  // An element's attributes are offered to the load's filter; the pseudo-
  // attributes of declarations are not.
  const bool offered = AInto != nullptr && AInto->ElementType() == xeElement;
  char c = 0;
  do {
    c = NextListByte(AParser, AInto, [&](const std::string& ABlanks) {
      if (ADoc.PreserveWhiteSpace() &&
          (!offered || TXmlBuild::Accepts(ADoc, AInto, xeWhiteSpace, {}))) {
        auto* w = TXmlBuild::CreateNode<TXmlWhiteSpace>(ADoc);
        w->SetRawValue(ABlanks);
        AInto->NodeAdd(w);
        AInto->SetDirectNodeCountToCount();
      }
    });
    if (AParser.InputEnded()) return 0;
    if (IsAttributeListEnd(c)) return c;
    if (IsQuoteChar(c)) {
      if (AInto)
        XmlDebugOut(*AInto, AInto, wsWarn, "illegal quote at pos %d", {AParser.Position()});
      continue;
    }
    AParser.MoveBack();
    if (AInto == nullptr && (AEncoding == nullptr || encodingFound)) {
      AParser.SkipUntilChar('=');
      ReadQuotedText(AParser, ADoc, nullptr);
      continue;
    }
    if (AInto == nullptr) {
      // A dropped declaration still tells its encoding: the value of its first
      // pseudo-attribute of that name.
      const std::string_view name = blanks::TrimWhite(AParser.ReadStringUntilChar('='));
      const bool encoding = !encodingFound && XmlNamesMatch(name, "encoding");
      if (!encoding) {
        ReadQuotedText(AParser, ADoc, nullptr);
        continue;
      }
      encodingFound = true;
      std::string raw;
      ReadQuotedText(AParser, ADoc, nullptr, static_cast<std::size_t>(-1), &raw);
      *AEncoding = DecodeRawValue(raw, ADoc.EolStyle());
      continue;
    }
    // The view lives until the next read: the filter sees it and the name is
    // stored before the value is read.
    const std::string_view name = blanks::TrimWhite(AParser.ReadStringUntilChar('='));
    if (offered && !TXmlBuild::Accepts(ADoc, AInto, xeAttribute, name)) {
      ReadQuotedText(AParser, ADoc, nullptr);
      continue;
    }
    const std::size_t keep = offered && ADoc.NodeFilter() != nullptr && !ADoc.FixStructuralErrors()
                                 ? ADoc.NodeFilter()->KeptValueBytes(AInto, name)
                                 : static_cast<std::size_t>(-1);
    auto* a = TXmlBuild::CreateNode<TXmlAttribute>(ADoc);
    AInto->AttributeAdd(a);
    TXmlBuild::NodeNew(ADoc, a);
    a->SetName(name);
    ReadQuotedText(AParser, ADoc, a->CoreValue(), keep);
    TXmlBuild::NodeLoaded(ADoc, a);
  } while (!AParser.InputEnded());
  return c;
}

char ReadQuotedTextList(TXmlParser& AParser, TXmlDocument& ADoc, TXmlContainerNode* AInto) {
  char c = 0;
  do {
    c = NextListByte(AParser, AInto, [](const std::string&) {});
    if (AParser.InputEnded()) return 0;
    if (c == '!' || c == '/' || c == '>') return c;
    AParser.MoveBack();
    if (AInto == nullptr) {
      ReadQuotedText(AParser, ADoc, nullptr);
      continue;
    }
    auto* q = TXmlBuild::CreateNode<TXmlQuotedText>(ADoc);
    AInto->NodeAdd(q);
    TXmlBuild::NodeNew(ADoc, q);
    ReadQuotedText(AParser, ADoc, q);
    TXmlBuild::NodeLoaded(ADoc, q);
  } while (!AParser.InputEnded());
  return c;
}

namespace {

// The start tag of an element after its name. True when the element is complete
// (self-closed, or a broken start tag); false when ">" opened its content.
bool ReadStartTag(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElement* AInto) {
  if (AInto == nullptr && !ADoc.FixStructuralErrors()) {
    // A dropped start tag is skimmed when the held text holds it whole (a
    // repairing load reads a literal without quotes otherwise).
    bool complete = false;
    const std::size_t end = SkimStartTag(AParser.Buffered(), 0, complete);
    if (end != std::string_view::npos) {
      AParser.Consume(end);
      return complete;
    }
  }
  const char c = ReadAttributeList(AParser, ADoc, AInto, nullptr);
  if (AInto) AInto->SetDirectNodeCountToCount();
  if (c == '/') {
    const char next = AParser.NextChar();
    if (AInto == nullptr) return true;
    if (next == '>') {
      AInto->SetClosingStyle(ncClose);
      TXmlBuild::Progress(ADoc, AParser.Position());
    } else {
      XmlDebugOut(*AInto, AInto, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                  {next, AParser.LineNumber(), AParser.Position()});
    }
    return true;
  }
  if (c == '>') return false;
  if (AInto)
    XmlDebugOut(*AInto, AInto, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                {c, AParser.LineNumber(), AParser.Position()});
  return true;
}

// A kept element's start, up to where its content begins.
bool StartElement(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElement& AE,
                  std::string_view AName) {
  AE.SetValueIndex(-1);
  AE.SetName(AName);
  TXmlBuild::NodeNew(ADoc, &AE);
  return ReadStartTag(AParser, ADoc, &AE);
}

// The end tag after "</" of the element whose content it ends; returns the node
// it closed (the element, or where the repair of a mismatch ended).
TXmlNode* ReadEndTag(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElement* AInto) {
  if (AInto == nullptr) {
    AParser.SkipUntilChar('>');
    return nullptr;
  }
  TXmlNode* result = AInto;
  // The view lives until the next read; nothing below reads.
  const std::string_view endName = blanks::TrimWhite(AParser.ReadStringUntilChar('>'));
  AInto->SetClosingStyle(ncFull);
  const std::string_view name = AInto->NameView();
  if (name != endName) {
    XmlDebugOut(*AInto, AInto, wsWarn,
                "begin and end tag mismatch: \"%s\" and \"%s\" at line %d (pos %d)",
                {name, endName, AParser.LineNumber(), AParser.Position()});
    if (ADoc.FixStructuralErrors()) result = AInto->RepairEndTagMismatch(endName);
  }
  AInto->PackNodes();
  return result;
}

}  // namespace

TXmlCharData* ReadTextRun(TXmlParser& AParser, TXmlDocument& ADoc, const TXmlNode* AParent,
                          bool AKept, TTextTrim ATrim) {
  const auto trim = [ATrim](std::string_view AText) {
    switch (ATrim) {
      case ttEnd:
        return blanks::TrimWhiteRight(AText);
      case ttBothEnds:
        return blanks::TrimWhite(AText);
      case ttNone:
        break;
    }
    return AText;
  };
  std::string_view t;
  std::string head;
  const std::string_view b = AParser.Buffered();
  // Mostly markup follows markup: the run is empty, whatever is kept.
  if (!b.empty() && b[0] == '<') {
    AParser.Consume(1);
    return nullptr;
  }
  const void* lt =
      AKept && ADoc.NodeFilter() && !b.empty() ? std::memchr(b.data(), '<', b.size()) : nullptr;
  // A filtered load keeps the head of a run in an element (the filter's
  // KeptTextBytes); a head that is white space only makes no node.
  const auto kept = [&] {
    return AParent != nullptr ? ADoc.NodeFilter()->KeptTextBytes(AParent)
                              : static_cast<std::size_t>(-1);
  };
  if (lt != nullptr) {
    // A filtered load offers a run that lies in the buffer whole only when it
    // makes a node: most runs between elements are blanks.
    const auto n = static_cast<std::size_t>(static_cast<const char*>(lt) - b.data());
    t = trim(b.substr(0, n));
    AParser.Consume(n + 1);
    if (t.empty() || !TXmlBuild::Accepts(ADoc, AParent, xeCharData, {})) return nullptr;
    t = trim(b.substr(0, std::min(n, kept())));
    if (t.empty()) return nullptr;
  } else if (!AKept || !TXmlBuild::Accepts(ADoc, AParent, xeCharData, {})) {
    AParser.SkipUntilChar('<');
    return nullptr;
  } else if (ADoc.NodeFilter() != nullptr && kept() != static_cast<std::size_t>(-1)) {
    AParser.ReadHeadUntilChar('<', kept(), head);
    t = trim(head);
    if (t.empty()) return nullptr;
  } else {
    t = trim(AParser.ReadStringUntilChar('<'));
    if (t.empty()) return nullptr;
  }
  auto* text = TXmlBuild::CreateNode<TXmlCharData>(ADoc);
  text->SetRawValue(t);
  return text;
}

namespace {

// The text run of element content: its text node, if any, is the element's
// value when it is the first.
void ReadElementTextRun(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElement* AInto) {
  TXmlCharData* text = ReadTextRun(AParser, ADoc, AInto, AInto != nullptr, ttEnd);
  if (text == nullptr) return;
  const std::int32_t index = AInto->NodeAdd(text);
  if (AInto->ValueIndex() == -1) AInto->SetValueIndex(index);
  TXmlBuild::NodeNew(ADoc, text);
  TXmlBuild::NodeLoaded(ADoc, text);
}

// The text run of an internal subset: blanks, and anything else (reported) up
// to the next blank, until "<" or "]", which is consumed.
void ReadDocTypeTextRun(TXmlParser& AParser, TXmlDocument& ADoc, TXmlDocType* AInto) {
  std::string blanks;
  for (;;) {
    const char c = AInto ? AParser.NextCharSkipBlanks(blanks) : AParser.NextCharSkipBlanks();
    if (AInto && ADoc.PreserveWhiteSpace() && !blanks.empty() && blanks != " ") {
      auto* w = TXmlBuild::CreateNode<TXmlWhiteSpace>(ADoc);
      w->SetRawValue(blanks);
      AInto->NodeAdd(w);
    }
    if (AParser.InputEnded() || c == '<' || c == ']') return;
    if (AInto)
      XmlDebugOut(*AInto, AInto, wsWarn, "illegal tag (\"%s\") at pos %d", {c, AParser.Position()});
    AParser.SkipUntilBlankOrEndTag();
  }
}

// One open container of the content loop. The bottom frame is the container
// the loop was called on; above it, child elements whose content is being read.
// A dropped frame (no node) stands for a dropped element and every element
// opened inside it; one the filter looks into (LookIn) for such elements whose
// child elements are offered as LookIn's.
struct TContentFrame {
  TXmlContainerNode* Node;              // null: dropped markup
  std::uint32_t Allowed;                // the markup its content accepts
  bool InDocType;                       // an internal subset, not element content
  bool Offered;                         // its children are offered to the load's filter
  TXmlNode* Child;                      // the kept child element whose content is being read
  std::uint64_t Open;                   // a dropped frame: its elements still open
  TXmlContainerNode* LookIn = nullptr;  // a dropped frame: where its child elements go
};

TContentFrame FrameOf(TXmlDocument& ADoc, TXmlContainerNode* ANode, std::uint32_t AAllowed) {
  const bool inDocType = (AAllowed & TypeBit(xeEndTag)) == 0;
  // Only an element's children are offered, never those of a document type.
  return {ANode,   AAllowed, inDocType, ANode && ADoc.NodeFilter() != nullptr && !inDocType,
          nullptr, 1};
}

enum TContentStep : std::uint8_t {
  csRead,     // an item was read; the frame reads on
  csOpened,   // a kept child element's start tag was read; its content follows
  csDropped,  // a dropped child element's start tag was read; its content follows
  csLookIn,   // the same for a child element the filter looks into
  csClosed,   // a dropped frame's last open element was closed by its end tag
  csEnded     // the frame's content is over (broken off, for a dropped frame)
};

// What a content loop does once an item has been read whole: it reads on
// unless the input has ended or the load was aborted.
TContentStep ReadOn(const TXmlParser& AParser, const TXmlDocument& ADoc) {
  return ADoc.AbortParsing() || AParser.InputEnded() ? csEnded : csRead;
}

// Reads one item of the frame's content: a text run, then one piece of markup.
TContentStep ReadContentItem(TContentFrame& AF, TXmlParser& AParser, TXmlDocument& ADoc,
                             TXmlNode*& AResult) {
  TXmlContainerNode* const c = AF.Node;
  // What an item is read from is let go once it is read, where nodes are made
  // one by one or not at all.
  if (AF.Offered || c == nullptr) AParser.Flush();
  // Dropped content is skimmed up to the first item that it leaves to the
  // readings: where the filter looks, an element it may take inside.
  if (c == nullptr && !AF.InDocType && !AParser.InputEnded() && !ADoc.FixStructuralErrors()) {
    TSkimNames names{AF.LookIn ? snNone : snAll, {}};
    if (AF.LookIn && ADoc.NodeFilter()->TakesInsideOnly(names.Name))
      names.Kind = names.Name.empty() ? snAll : snAllButNamed;
    std::size_t at = 0;
    const bool closed = SkimContent(AParser.Buffered(), names, AF.Open, at);
    AParser.Consume(at);
    if (closed) return csClosed;
  }
  if (AF.InDocType)
    ReadDocTypeTextRun(AParser, ADoc, static_cast<TXmlDocType*>(c));
  else
    ReadElementTextRun(AParser, ADoc, static_cast<TXmlElement*>(c));
  if (AParser.InputEnded()) {
    if (c)
      XmlDebugOut(*c, c, wsFail, "stream terminated prematurely at pos %d", {AParser.Position()});
    return csEnded;
  }
  AParser.MoveBack();
  const char ch = AParser.NextChar();
  if (ch == ']' && AF.InDocType) return csEnded;
  if (ch != '<') return ReadOn(AParser, ADoc);

  const TXmlElementType t = AParser.ReadOpenTag();
  if ((AF.Allowed & TypeBit(t)) == 0) {
    if (c)
      XmlDebugOut(*c, c, wsWarn, "illegal tag (\"%s\") at pos %d",
                  {::ElementTypeName(t), AParser.Position()});
    return csEnded;
  }
  if (t == xeEndTag) {
    AResult = ReadEndTag(AParser, ADoc, static_cast<TXmlElement*>(c));
    if (c || --AF.Open == 0) return c ? csEnded : csClosed;
    return ReadOn(AParser, ADoc);
  }
  // Inside dropped markup a name is passed over, not kept: it may be long.
  // Where the filter looks, child elements are offered to LookIn.
  TXmlContainerNode* const lookIn = AF.LookIn;
  std::string_view name;
  bool commentRead = false;
  std::string commentHead;
  if (t == xeElement) {
    if (c || lookIn)
      name = ReadElementName(AParser);
    else
      AParser.SkipUntilBlankOrEndTag();
  } else if (t == xeComment && c && AF.Offered) {
    ReadCommentHead(AParser, commentHead);
    name = commentHead;
    commentRead = true;
  }
  // A child is kept when its container is and the filter takes it.
  TXmlNode* node = nullptr;
  TXmlContainerNode* const into = c ? c : t == xeElement ? lookIn : nullptr;
  if (into && (c ? !AF.Offered || TXmlBuild::Accepts(ADoc, c, t, name)
                 : ADoc.NodeFilter()->AcceptInside(lookIn, name))) {
    node = NewNodeOfType(ADoc, t);
    if (node == nullptr) return csEnded;
    into->NodeAdd(node);
  }
  if (t == xeElement) {
    if (node == nullptr) {
      const bool looked = into != nullptr && (lookIn || AF.Offered) &&
                          ADoc.NodeFilter() != nullptr && ADoc.NodeFilter()->LooksInto(into, name);
      if (ReadStartTag(AParser, ADoc, nullptr)) return ReadOn(AParser, ADoc);
      if (c) return looked ? csLookIn : csDropped;
      // Inside dropped markup only the open elements are counted.
      if (lookIn && !looked) return csDropped;
      ++AF.Open;
      return csRead;
    }
    if (!StartElement(AParser, ADoc, *static_cast<TXmlElement*>(node), name)) {
      AF.Child = node;
      return csOpened;
    }
  } else if (commentRead) {
    if (node) TXmlBuild::NodeNew(ADoc, node);
    SetCommentText(node, name);
  } else {
    if (node) TXmlBuild::NodeNew(ADoc, node);
    TXmlNode* r = ReadMarkup(AParser, ADoc, t, name, node);
    if (node && r != node) {
      AResult = r;
      return csEnded;
    }
  }
  if (node) TXmlBuild::NodeLoaded(ADoc, node);
  return ReadOn(AParser, ADoc);
}

void ReportLevelMismatch(TXmlContainerNode& AC, TXmlNode* AChild, TXmlNode* AReturned,
                         TXmlParser& AParser) {
  if (!AC.HasDebugHandler()) return;
  XmlDebugOut(AC, &AC, wsWarn,
              "level mismatch between subnode \"%s\" and endnode \"%s\" at line %d (pos %d)",
              {AChild->Name(), AReturned ? AReturned->Name() : std::string("nil"),
               AParser.LineNumber(), AParser.Position()});
}

// Hands the result of a finished child element to its parent's frame, as the
// parent's loop would take it from a nested parse. True when the parent reads
// on; false when its content is over too, with AResult as its result.
bool DeliverChild(TContentFrame& AParent, TXmlParser& AParser, TXmlDocument& ADoc,
                  TXmlNode*& AResult) {
  TXmlNode* child = std::exchange(AParent.Child, nullptr);
  // No child: a frame looked into above broke off, which breaks this one off.
  if (child == nullptr) return false;
  if (AResult != child) {
    ReportLevelMismatch(AParent.Node ? *AParent.Node : *AParent.LookIn, child, AResult, AParser);
    return false;
  }
  TXmlBuild::NodeLoaded(ADoc, child);
  AResult = nullptr;
  return ReadOn(AParser, ADoc) == csRead;
}

}  // namespace

TXmlNode* ReadContent(TXmlParser& AParser, TXmlDocument& ADoc, TXmlContainerNode* AInto,
                      std::uint32_t AAllowed) {
  std::vector<TContentFrame> stack;
  stack.push_back(FrameOf(ADoc, AInto, AAllowed));
  for (;;) {
    TXmlNode* result = nullptr;
    const TContentStep step = ReadContentItem(stack.back(), AParser, ADoc, result);
    switch (step) {
      case csRead:
        continue;
      case csOpened:
        stack.push_back(
            FrameOf(ADoc, static_cast<TXmlElement*>(stack.back().Child), cElementContentTypes));
        continue;
      case csDropped:
        stack.push_back(FrameOf(ADoc, nullptr, cElementContentTypes));
        continue;
      case csLookIn: {
        TContentFrame frame = FrameOf(ADoc, nullptr, cElementContentTypes);
        frame.LookIn = stack.back().Node;
        stack.push_back(frame);
        continue;
      }
      case csClosed:
      case csEnded:
        if (stack.back().Node != nullptr) break;
        // A dropped frame: closed as a child element closes, after which its
        // kept parent reads on; or broken off, which breaks the parent off too.
        stack.pop_back();
        if (stack.empty()) return nullptr;
        if (step == csClosed && ReadOn(AParser, ADoc) == csRead) continue;
        break;
    }
    // The frame is over: its result goes down the stack until a frame reads
    // on, after the progress report that ends an element's parse.
    do {
      stack.pop_back();
      if (stack.empty()) return result;
      TXmlBuild::Progress(ADoc, AParser.Position());
    } while (!DeliverChild(stack.back(), AParser, ADoc, result));
  }
}

namespace {

// A kept element after its name, or a dropped one: start tag and content.
TXmlNode* ReadElement(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElement* AInto,
                      std::string_view AName) {
  const bool complete =
      AInto ? StartElement(AParser, ADoc, *AInto, AName) : ReadStartTag(AParser, ADoc, nullptr);
  if (complete) return AInto;
  TXmlNode* result = ReadContent(AParser, ADoc, AInto, cElementContentTypes);
  if (AInto) TXmlBuild::Progress(ADoc, AParser.Position());
  return result;
}

// A comment, CDATA section or instruction after its opener.
void ReadLeaf(TXmlParser& AParser, TXmlElementType AType, TXmlCharData* AInto) {
  if (AInto)
    AInto->SetRawValue(AParser.ReadStringUntil(LeafTerminator(AType)));
  else
    AParser.SkipUntil(LeafTerminator(AType));
}

// A declaration or style sheet after its opener: pseudo-attributes, then "?>"
// and one line end after it.
void ReadDeclaration(TXmlParser& AParser, TXmlDocument& ADoc, TXmlDeclaration* AInto,
                     std::string* AEncoding) {
  if (AInto == nullptr && AEncoding != nullptr) AEncoding->clear();
  const char c = ReadAttributeList(AParser, ADoc, AInto, AInto ? nullptr : AEncoding);
  char next = c;
  if (c == '?') {
    next = AParser.NextChar();
    if (next == '>') {
      // One line end after "?>" belongs to the declaration.
      char ch = AParser.NextChar();
      if (ch != '\r') AParser.MoveBackOver(ch);
      ch = AParser.NextChar();
      if (ch != '\n') AParser.MoveBackOver(ch);
      return;
    }
  }
  if (AInto)
    XmlDebugOut(*AInto, AInto, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                {next, AParser.LineNumber(), AParser.Position()});
}

}  // namespace

TXmlNode* ReadMarkup(TXmlParser& AParser, TXmlDocument& ADoc, TXmlElementType AType,
                     std::string_view AName, TXmlNode* ANode, std::string* AEncoding) {
  switch (AType) {
    case xeElement:
      return ReadElement(AParser, ADoc, static_cast<TXmlElement*>(ANode), AName);
    case xeCData:
      // A filtered load keeps the head of a section in an element, as of a
      // text run.
      if (ANode != nullptr && ANode->Parent() != nullptr && ADoc.NodeFilter() != nullptr) {
        const std::size_t kept = ADoc.NodeFilter()->KeptTextBytes(ANode->Parent());
        if (kept != static_cast<std::size_t>(-1)) {
          std::string head;
          AParser.ReadHeadUntil(LeafTerminator(AType), kept, false, head);
          static_cast<TXmlCharData*>(ANode)->SetRawValue(head);
          break;
        }
      }
      ReadLeaf(AParser, AType, static_cast<TXmlCharData*>(ANode));
      break;
    case xeComment:
    case xeInstruction:
      ReadLeaf(AParser, AType, static_cast<TXmlCharData*>(ANode));
      break;
    case xeDeclaration:
      ReadDeclaration(AParser, ADoc, static_cast<TXmlDeclaration*>(ANode), AEncoding);
      break;
    case xeStylesheet:
      ReadDeclaration(AParser, ADoc, static_cast<TXmlDeclaration*>(ANode), nullptr);
      break;
    case xeDocType:
      ReadDocType(AParser, ADoc, static_cast<TXmlDocType*>(ANode));
      break;
    case xeDtdElement:
    case xeDtdAttList:
    case xeDtdEntity:
    case xeDtdNotation:
      ReadDtdDeclaration(AParser, ADoc, AType, static_cast<TXmlDtdElement*>(ANode));
      break;
    default:
      break;
  }
  return ANode;
}

void SetCommentText(TXmlNode* ANode, std::string_view AText) {
  if (ANode != nullptr) static_cast<TXmlCharData*>(ANode)->SetRawValue(AText);
}

}  // namespace xmlread

// ---------------------------------------------------------------------------
// What the readings need of the node classes.

void TXmlContainerNode::SetDirectNodeCountToCount() {
  FDirectNodeCount = FNodes.Count();
}

TXmlNode* TXmlElement::RepairEndTagMismatch(std::string_view AEndTagName) {
  TXmlDocument& doc = *Document();
  std::int32_t moves = 0;
  for (;;) {
    TXmlNode* up = Parent();
    std::string parentName = up ? up->Name() : std::string();
    if (parentName == AEndTagName) {
      std::string own = Name();
      XmlDebugOut(*this, this, wsHint,
                  "parent%d = \"%s\", this endtag = \"%s\": maybe \"%s\" should be closed",
                  {moves, parentName, AEndTagName, own});
      TXmlBuild::AddSingleTagName(doc, own);
      break;
    }
    TXmlNode* grand = up ? up->Parent() : nullptr;
    if (grand != nullptr) {
      XmlDebugOut(*this, this, wsInfo,
                  "moving node \"%s\" from parent \"%s\" to grandparent \"%s\"",
                  {Name(), parentName, grand->Name()});
      TXmlBuild::AddSingleTagName(doc, parentName);
      up->NodeExtract(this);
      grand->NodeAdd(this);
    }
    ++moves;
    // Without a grandparent nothing can move any more: the walk would repeat
    // unchanged, so it ends here as it does at the top.
    if (parentName.empty() || grand == nullptr) break;
  }
  return Parent();
}
