// Element and content parsing, and the leaves (attributes, quoted literals,
// comments, CDATA sections, instructions): each construct has one reading, which
// builds nodes for kept markup and reads dropped markup the same way without
// building anything. The content loop keeps its open elements on an explicit
// stack, so nesting depth costs heap, not machine stack; a dropped element's
// content only counts its open elements, so neither its size nor its depth
// costs memory. Results travel up the stack exactly as nested calls would
// return them (the "level mismatch" unwinding included).
#include <cstring>
#include <utility>
#include <vector>

#include "xml/XmlNodes.h"
#include "xml/XmlParser.h"
#include "xml/XmlReader.h"

namespace xmlread {

namespace {

bool IsAttributeListEnd(char C) {
  return C == '!' || C == '/' || C == '>' || C == '?';
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

// The hint for blanks other than one space between attributes or literals.
void ReportBlanks(TXmlParser& P, TXmlContainerNode& AInto) {
  XmlDebugOut(AInto, &AInto, wsHint, "non-default chardata at line %d (pos %d)",
              {P.LineNumber(), P.Position()});
}

}  // namespace

void ReadQuotedText(TXmlParser& P, TXmlDocument& D, TXmlQuotedText* AInto) {
  char Q = P.NextCharSkipBlanks();
  if (IsQuoteChar(Q)) {
    if (AInto) AInto->SetQuoteStyle(Q == '"' ? qsQuote : qsApos);
  } else {
    if (AInto) XmlDebugOut(*AInto, AInto, wsWarn, "quote char expected at pos %d", {P.Position()});
    // Without a quote the literal is empty; a repairing load reads it to the
    // next blank.
    if (!D.FixStructuralErrors()) return;
    P.MoveBackOver(Q);
    Q = ' ';
  }
  if (AInto)
    AInto->SetRawValue(P.ReadQuotedString(Q));
  else
    P.SkipUntilChar(Q);
}

char ReadAttributeList(TXmlParser& P, TXmlDocument& D, TXmlContainerNode* AInto) {
  // An element's attributes are offered to the load's filter; the pseudo-
  // attributes of declarations are not.
  const bool Offered = AInto != nullptr && AInto->ElementType() == xeElement;
  std::string Blanks;
  char C = 0;
  do {
    if (AInto == nullptr) {
      C = P.NextCharSkipBlanks();
    } else {
      C = P.NextCharSkipBlanks(Blanks);
      if (!Blanks.empty() && Blanks != " ") {
        ReportBlanks(P, *AInto);
        if (D.PreserveWhiteSpace() && (!Offered || D.Accepts(AInto, xeWhiteSpace, {}))) {
          auto* W = D.CreateNode<TXmlWhiteSpace>();
          W->SetRawValue(Blanks);
          AInto->NodeAdd(W);
          AInto->SetDirectNodeCountToCount();
        }
      }
    }
    if (P.InputEnded()) return 0;
    if (IsAttributeListEnd(C)) return C;
    if (IsQuoteChar(C)) {
      if (AInto) XmlDebugOut(*AInto, AInto, wsWarn, "illegal quote at pos %d", {P.Position()});
      continue;
    }
    P.MoveBack();
    if (AInto == nullptr) {
      P.SkipUntilChar('=');
      ReadQuotedText(P, D, nullptr);
      continue;
    }
    // The view lives until the next read: the filter sees it and the name is
    // stored before the value is read.
    const std::string_view Name = TrimWhite(P.ReadStringUntilChar('='));
    if (Offered && !D.Accepts(AInto, xeAttribute, Name)) {
      ReadQuotedText(P, D, nullptr);
      continue;
    }
    auto* A = D.CreateNode<TXmlAttribute>();
    AInto->AttributeAdd(A);
    D.DoNodeNew(A);
    A->SetName(Name);
    ReadQuotedText(P, D, A->CoreValue());
    D.DoNodeLoaded(A);
  } while (!P.InputEnded());
  return C;
}

char ReadQuotedTextList(TXmlParser& P, TXmlDocument& D, TXmlContainerNode* AInto) {
  std::string Blanks;
  char C = 0;
  do {
    if (AInto == nullptr) {
      C = P.NextCharSkipBlanks();
    } else {
      C = P.NextCharSkipBlanks(Blanks);
      if (!Blanks.empty() && Blanks != " ") ReportBlanks(P, *AInto);
    }
    if (P.InputEnded()) return 0;
    if (C == '!' || C == '/' || C == '>') return C;
    P.MoveBack();
    if (AInto == nullptr) {
      ReadQuotedText(P, D, nullptr);
      continue;
    }
    auto* Q = D.CreateNode<TXmlQuotedText>();
    AInto->NodeAdd(Q);
    D.DoNodeNew(Q);
    ReadQuotedText(P, D, Q);
    D.DoNodeLoaded(Q);
  } while (!P.InputEnded());
  return C;
}

namespace {

// The start tag of an element after its name. True when the element is complete
// (self-closed, or a broken start tag); false when ">" opened its content.
bool ReadStartTag(TXmlParser& P, TXmlDocument& D, TXmlElement* AInto) {
  const char C = ReadAttributeList(P, D, AInto);
  if (AInto) AInto->SetDirectNodeCountToCount();
  if (C == '/') {
    const char Next = P.NextChar();
    if (AInto == nullptr) return true;
    if (Next == '>') {
      AInto->SetClosingStyle(ncClose);
      D.DoProgress(P.Position());
    } else {
      XmlDebugOut(*AInto, AInto, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                  {Next, P.LineNumber(), P.Position()});
    }
    return true;
  }
  if (C == '>') return false;
  if (AInto)
    XmlDebugOut(*AInto, AInto, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                {C, P.LineNumber(), P.Position()});
  return true;
}

// A kept element's start, up to where its content begins.
bool StartElement(TXmlParser& P, TXmlDocument& D, TXmlElement& E, std::string_view AName) {
  E.SetValueIndex(-1);
  E.SetName(AName);
  D.DoNodeNew(&E);
  return ReadStartTag(P, D, &E);
}

// The end tag after "</" of the element whose content it ends; returns the node
// it closed (the element, or where the repair of a mismatch ended).
TXmlNode* ReadEndTag(TXmlParser& P, TXmlDocument& D, TXmlElement* AInto) {
  if (AInto == nullptr) {
    P.SkipUntilChar('>');
    return nullptr;
  }
  TXmlNode* Result = AInto;
  // The view lives until the next read; nothing below reads.
  const std::string_view EndName = TrimWhite(P.ReadStringUntilChar('>'));
  AInto->SetClosingStyle(ncFull);
  const std::string_view Name = AInto->NameView();
  if (Name != EndName) {
    XmlDebugOut(*AInto, AInto, wsWarn,
                "begin and end tag mismatch: \"%s\" and \"%s\" at line %d (pos %d)",
                {Name, EndName, P.LineNumber(), P.Position()});
    if (D.FixStructuralErrors()) Result = AInto->RepairEndTagMismatch(EndName);
  }
  AInto->PackNodes();
  return Result;
}

// The text run of element content, up to and over the next "<". Kept text that
// is not blanks only becomes a text node, when the filter takes it.
void ReadElementTextRun(TXmlParser& P, TXmlDocument& D, TXmlElement* AInto) {
  std::string_view T;
  const std::string_view B = P.Buffered();
  const void* Lt = AInto && D.NodeFilter() ? std::memchr(B.data(), '<', B.size()) : nullptr;
  if (Lt != nullptr) {
    // A filtered load offers a run that lies in the buffer whole only when it
    // makes a node: most runs between elements are blanks.
    const auto N = static_cast<std::size_t>(static_cast<const char*>(Lt) - B.data());
    T = TrimWhiteRight(B.substr(0, N));
    P.Consume(N + 1);
    if (T.empty() || !D.Accepts(AInto, xeCharData, {})) return;
  } else if (AInto == nullptr || !D.Accepts(AInto, xeCharData, {})) {
    P.SkipUntilChar('<');
    return;
  } else {
    T = TrimWhiteRight(P.ReadStringUntilChar('<'));
    if (T.empty()) return;
  }
  auto* Text = D.CreateNode<TXmlCharData>();
  Text->SetRawValue(T);
  const std::int32_t Index = AInto->NodeAdd(Text);
  if (AInto->ValueIndex() == -1) AInto->SetValueIndex(Index);
  D.DoNodeNew(Text);
  D.DoNodeLoaded(Text);
}

// The text run of an internal subset: blanks, and anything else (reported) up
// to the next blank, until "<" or "]", which is consumed.
void ReadDocTypeTextRun(TXmlParser& P, TXmlDocument& D, TXmlDocType* AInto) {
  std::string Blanks;
  for (;;) {
    const char C = AInto ? P.NextCharSkipBlanks(Blanks) : P.NextCharSkipBlanks();
    if (AInto && D.PreserveWhiteSpace() && !Blanks.empty() && Blanks != " ") {
      auto* W = D.CreateNode<TXmlWhiteSpace>();
      W->SetRawValue(Blanks);
      AInto->NodeAdd(W);
    }
    if (P.InputEnded() || C == '<' || C == ']') return;
    if (AInto)
      XmlDebugOut(*AInto, AInto, wsWarn, "illegal tag (\"%s\") at pos %d", {C, P.Position()});
    P.ReadStringUntilBlankOrEndTag();
  }
}

// One open container of the content loop. The bottom frame is the container
// the loop was called on; above it, child elements whose content is being read.
// A dropped frame (no node) stands for a dropped element and every element
// opened inside it.
struct TContentFrame {
  TXmlContainerNode* Node;  // null: dropped markup
  std::uint32_t Allowed;    // the markup its content accepts
  bool InDocType;           // an internal subset, not element content
  bool Offered;             // its children are offered to the load's filter
  TXmlNode* Child;          // the kept child element whose content is being read
  std::uint64_t Open;       // a dropped frame: its elements still open
};

TContentFrame FrameOf(TXmlDocument& D, TXmlContainerNode* ANode, std::uint32_t AAllowed) {
  const bool InDocType = (AAllowed & TypeBit(xeEndTag)) == 0;
  // Only an element's children are offered, never those of a document type.
  return {ANode, AAllowed, InDocType, ANode && D.NodeFilter() != nullptr && !InDocType, nullptr, 1};
}

enum TContentStep : std::uint8_t {
  csRead,     // an item was read; the frame reads on
  csOpened,   // a kept child element's start tag was read; its content follows
  csDropped,  // a dropped child element's start tag was read; its content follows
  csClosed,   // a dropped frame's last open element was closed by its end tag
  csEnded     // the frame's content is over (broken off, for a dropped frame)
};

// What a content loop does once an item has been read whole: it reads on
// unless the input has ended or the load was aborted.
TContentStep ReadOn(const TXmlParser& P, const TXmlDocument& D) {
  return D.AbortParsing() || P.InputEnded() ? csEnded : csRead;
}

// Reads one item of the frame's content: a text run, then one piece of markup.
TContentStep ReadContentItem(TContentFrame& F, TXmlParser& P, TXmlDocument& D, TXmlNode*& AResult) {
  TXmlContainerNode* const C = F.Node;
  // What an item is read from is let go once it is read, where nodes are made
  // one by one or not at all.
  if (F.Offered || C == nullptr) P.Flush();
  if (F.InDocType)
    ReadDocTypeTextRun(P, D, static_cast<TXmlDocType*>(C));
  else
    ReadElementTextRun(P, D, static_cast<TXmlElement*>(C));
  if (P.InputEnded()) {
    if (C) XmlDebugOut(*C, C, wsFail, "stream terminated prematurely at pos %d", {P.Position()});
    return csEnded;
  }
  P.MoveBack();
  const char Ch = P.NextChar();
  if (Ch == ']' && F.InDocType) return csEnded;
  if (Ch != '<') return ReadOn(P, D);

  const TXmlElementType T = P.ReadOpenTag();
  if ((F.Allowed & TypeBit(T)) == 0) {
    if (C)
      XmlDebugOut(*C, C, wsWarn, "illegal tag (\"%s\") at pos %d",
                  {::ElementTypeName(T), P.Position()});
    return csEnded;
  }
  if (T == xeEndTag) {
    AResult = ReadEndTag(P, D, static_cast<TXmlElement*>(C));
    if (C || --F.Open == 0) return C ? csEnded : csClosed;
    return ReadOn(P, D);
  }
  std::string_view Name;
  if (T == xeElement) Name = ReadElementName(P);
  // A child is kept when its container is and the filter takes it.
  TXmlNode* Node = nullptr;
  if (C && (!F.Offered || D.Accepts(C, T, Name))) {
    Node = NewNodeOfType(D, T);
    if (Node == nullptr) return csEnded;
    C->NodeAdd(Node);
  }
  if (T == xeElement) {
    if (Node == nullptr) {
      if (ReadStartTag(P, D, nullptr)) return ReadOn(P, D);
      // Inside dropped markup only the open elements are counted.
      if (C) return csDropped;
      ++F.Open;
      return csRead;
    }
    if (!StartElement(P, D, *static_cast<TXmlElement*>(Node), Name)) {
      F.Child = Node;
      return csOpened;
    }
  } else {
    if (Node) D.DoNodeNew(Node);
    TXmlNode* R = ReadMarkup(P, D, T, Name, Node);
    if (Node && R != Node) {
      AResult = R;
      return csEnded;
    }
  }
  if (Node) D.DoNodeLoaded(Node);
  return ReadOn(P, D);
}

void ReportLevelMismatch(TXmlContainerNode& C, TXmlNode* AChild, TXmlNode* AReturned,
                         TXmlParser& P) {
  if (!C.HasDebugHandler()) return;
  XmlDebugOut(C, &C, wsWarn,
              "level mismatch between subnode \"%s\" and endnode \"%s\" at line %d (pos %d)",
              {AChild->Name(), AReturned ? AReturned->Name() : std::string("nil"), P.LineNumber(),
               P.Position()});
}

// Hands the result of a finished child element to its parent's frame, as the
// parent's loop would take it from a nested parse. True when the parent reads
// on; false when its content is over too, with AResult as its result.
bool DeliverChild(TContentFrame& AParent, TXmlParser& P, TXmlDocument& D, TXmlNode*& AResult) {
  TXmlNode* Child = std::exchange(AParent.Child, nullptr);
  if (AResult != Child) {
    ReportLevelMismatch(*AParent.Node, Child, AResult, P);
    return false;
  }
  D.DoNodeLoaded(Child);
  AResult = nullptr;
  return ReadOn(P, D) == csRead;
}

}  // namespace

TXmlNode* ReadContent(TXmlParser& P, TXmlDocument& D, TXmlContainerNode* AInto,
                      std::uint32_t AAllowed) {
  std::vector<TContentFrame> Stack;
  Stack.push_back(FrameOf(D, AInto, AAllowed));
  for (;;) {
    TXmlNode* Result = nullptr;
    const TContentStep Step = ReadContentItem(Stack.back(), P, D, Result);
    switch (Step) {
      case csRead:
        continue;
      case csOpened:
        Stack.push_back(
            FrameOf(D, static_cast<TXmlElement*>(Stack.back().Child), cElementContentTypes));
        continue;
      case csDropped:
        Stack.push_back(FrameOf(D, nullptr, cElementContentTypes));
        continue;
      case csClosed:
      case csEnded:
        if (Stack.back().Node != nullptr) break;
        // A dropped frame: closed as a child element closes, after which its
        // kept parent reads on; or broken off, which breaks the parent off too.
        Stack.pop_back();
        if (Stack.empty()) return nullptr;
        if (Step == csClosed && ReadOn(P, D) == csRead) continue;
        break;
    }
    // The frame is over: its result goes down the stack until a frame reads
    // on, after the progress report that ends an element's parse.
    do {
      Stack.pop_back();
      if (Stack.empty()) return Result;
      D.DoProgress(P.Position());
    } while (!DeliverChild(Stack.back(), P, D, Result));
  }
}

namespace {

// A kept element after its name, or a dropped one: start tag and content.
TXmlNode* ReadElement(TXmlParser& P, TXmlDocument& D, TXmlElement* AInto, std::string_view AName) {
  const bool Complete = AInto ? StartElement(P, D, *AInto, AName) : ReadStartTag(P, D, nullptr);
  if (Complete) return AInto;
  TXmlNode* Result = ReadContent(P, D, AInto, cElementContentTypes);
  if (AInto) D.DoProgress(P.Position());
  return Result;
}

// A comment, CDATA section or instruction after its opener.
void ReadLeaf(TXmlParser& P, TXmlElementType AType, TXmlCharData* AInto) {
  if (AInto)
    AInto->SetRawValue(P.ReadStringUntil(LeafTerminator(AType)));
  else
    P.SkipUntil(LeafTerminator(AType));
}

// A declaration or style sheet after its opener: pseudo-attributes, then "?>"
// and one line end after it.
void ReadDeclaration(TXmlParser& P, TXmlDocument& D, TXmlDeclaration* AInto) {
  const char C = ReadAttributeList(P, D, AInto);
  char Next = C;
  if (C == '?') {
    Next = P.NextChar();
    if (Next == '>') {
      // One line end after "?>" belongs to the declaration.
      char Ch = P.NextChar();
      if (Ch != '\r') P.MoveBackOver(Ch);
      Ch = P.NextChar();
      if (Ch != '\n') P.MoveBackOver(Ch);
      return;
    }
  }
  if (AInto)
    XmlDebugOut(*AInto, AInto, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                {Next, P.LineNumber(), P.Position()});
}

}  // namespace

TXmlNode* ReadMarkup(TXmlParser& P, TXmlDocument& D, TXmlElementType AType, std::string_view AName,
                     TXmlNode* ANode) {
  switch (AType) {
    case xeElement:
      return ReadElement(P, D, static_cast<TXmlElement*>(ANode), AName);
    case xeComment:
    case xeCData:
    case xeInstruction:
      ReadLeaf(P, AType, static_cast<TXmlCharData*>(ANode));
      break;
    case xeDeclaration:
    case xeStylesheet:
      ReadDeclaration(P, D, static_cast<TXmlDeclaration*>(ANode));
      break;
    case xeDocType:
      ReadDocType(P, D, static_cast<TXmlDocType*>(ANode));
      break;
    case xeDtdElement:
    case xeDtdAttList:
    case xeDtdEntity:
    case xeDtdNotation:
      ReadDtdDeclaration(P, D, AType, static_cast<TXmlDtdElement*>(ANode));
      break;
    default:
      break;
  }
  return ANode;
}

}  // namespace xmlread

// ---------------------------------------------------------------------------
// The node classes' own readers, as the design gives them: each reads its
// markup through the one reading of its construct.

char TXmlContainerNode::ReadAttributeList(TXmlParser& P) {
  return xmlread::ReadAttributeList(P, *Document(), this);
}

TXmlNode* TXmlContainerNode::ReadContent(TXmlParser& P, std::uint32_t AAllowed) {
  return xmlread::ReadContent(P, *Document(), this, AAllowed);
}

char TXmlContainerNode::ReadQuotedTextList(TXmlParser& P) {
  return xmlread::ReadQuotedTextList(P, *Document(), this);
}

void TXmlContainerNode::SetDirectNodeCountToCount() {
  FDirectNodeCount = FNodes.Count();
}

TXmlNode* TXmlElement::ParseStream(TXmlParser& P) {
  return ParseNamed(P, xmlread::ReadElementName(P));
}

TXmlNode* TXmlElement::ParseNamed(TXmlParser& P, std::string_view AName) {
  return xmlread::ReadMarkup(P, *Document(), xeElement, AName, this);
}

void TXmlElement::ReadTextRun(TXmlParser& P) {
  xmlread::ReadElementTextRun(P, *Document(), this);
}

TXmlNode* TXmlElement::RepairEndTagMismatch(std::string_view AEndTagName) {
  TXmlDocument& Doc = *Document();
  std::int32_t Moves = 0;
  for (;;) {
    TXmlNode* Up = Parent();
    std::string ParentName = Up ? Up->Name() : std::string();
    if (ParentName == AEndTagName) {
      std::string Own = Name();
      XmlDebugOut(*this, this, wsHint,
                  "parent%d = \"%s\", this endtag = \"%s\": maybe \"%s\" should be closed",
                  {Moves, ParentName, AEndTagName, Own});
      Doc.AddSingleTagName(Own);
      break;
    }
    TXmlNode* Grand = Up ? Up->Parent() : nullptr;
    if (Grand != nullptr) {
      XmlDebugOut(*this, this, wsInfo,
                  "moving node \"%s\" from parent \"%s\" to grandparent \"%s\"",
                  {Name(), ParentName, Grand->Name()});
      Doc.AddSingleTagName(ParentName);
      Up->NodeExtract(this);
      Grand->NodeAdd(this);
    }
    ++Moves;
    // Without a grandparent nothing can move any more: the walk would repeat
    // unchanged, so it ends here as it does at the top.
    if (ParentName.empty() || Grand == nullptr) break;
  }
  return Parent();
}

void TXmlDocType::ReadTextRun(TXmlParser& P) {
  xmlread::ReadDocTypeTextRun(P, *Document(), this);
}

TXmlNode* TXmlAttribute::ParseStream(TXmlParser& P) {
  SetName(TrimWhite(P.ReadStringUntilChar('=')));
  FCoreValue.ParseStream(P);
  return this;
}

TXmlNode* TXmlQuotedText::ParseStream(TXmlParser& P) {
  xmlread::ReadQuotedText(P, *Document(), this);
  return this;
}

TXmlNode* TXmlComment::ParseStream(TXmlParser& P) {
  return xmlread::ReadMarkup(P, *Document(), xeComment, {}, this);
}

TXmlNode* TXmlCData::ParseStream(TXmlParser& P) {
  return xmlread::ReadMarkup(P, *Document(), xeCData, {}, this);
}

TXmlNode* TXmlInstruction::ParseStream(TXmlParser& P) {
  return xmlread::ReadMarkup(P, *Document(), xeInstruction, {}, this);
}

TXmlNode* TXmlDeclaration::ParseStream(TXmlParser& P) {
  return xmlread::ReadMarkup(P, *Document(), ElementType(), {}, this);
}
