// Element and content parsing, and the leaf nodes that read themselves (attributes,
// quoted literals, comments, CDATA sections, instructions). The content loop keeps
// its open elements on an explicit stack: a child element's start tag is read in
// place and its content continues on the same loop, so nesting depth costs heap,
// not machine stack. Results travel up the stack exactly as nested calls would
// return them (the "level mismatch" unwinding included).
#include <cstring>
#include <utility>
#include <vector>

#include "xml/XmlDocument.h"
#include "xml/XmlParser.h"
#include "xml/XmlReaderInternal.h"

using xmlread::IsQuoteChar;

namespace {

bool IsAttributeListEnd(char C) {
  return C == '!' || C == '/' || C == '>' || C == '?';
}

// The start tag of element E after its name (read with ReadElementName). True
// when the element is complete already (self-closed or broken start tag), with
// AResult set; false when ">" was read and the content follows.
bool ReadStartTag(TXmlElement& E, TXmlParser& P, std::string_view AName, TXmlNode*& AResult) {
  TXmlDocument& Doc = *E.Document();
  E.SetValueIndex(-1);
  E.SetName(AName);
  Doc.DoNodeNew(&E);
  char C = E.ReadAttributeList(P);
  E.SetDirectNodeCountToCount();
  AResult = &E;
  if (C == '/') {
    char Next = P.NextChar();
    if (Next == '>') {
      E.SetClosingStyle(ncClose);
      Doc.DoProgress(P.Position());
    } else {
      XmlDebugOut(E, &E, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
                  {Next, P.LineNumber(), P.Position()});
    }
    return true;
  }
  if (C == '>') return false;
  XmlDebugOut(E, &E, wsWarn, "illegal end tag (\"%s\") at line %d (streampos %d)",
              {C, P.LineNumber(), P.Position()});
  return true;
}

// The end-tag steps of the content loop for element E; returns the loop's result.
TXmlNode* ReadEndTag(TXmlElement& E, TXmlParser& P) {
  TXmlNode* Result = &E;
  // The view lives until the next read; nothing below reads.
  std::string_view EndName = TrimWhite(P.ReadStringUntilChar('>'));
  E.SetClosingStyle(ncFull);
  std::string_view Name = E.NameView();
  if (Name != EndName) {
    XmlDebugOut(E, &E, wsWarn, "begin and end tag mismatch: \"%s\" and \"%s\" at line %d (pos %d)",
                {Name, EndName, P.LineNumber(), P.Position()});
    if (E.Document()->FixStructuralErrors()) Result = E.RepairEndTagMismatch(EndName);
  }
  E.PackNodes();
  return Result;
}

void ReportLevelMismatch(TXmlContainerNode& C, TXmlNode* AChild, TXmlNode* AReturned,
                         TXmlParser& P) {
  if (!C.HasDebugHandler()) return;
  XmlDebugOut(C, &C, wsWarn,
              "level mismatch between subnode \"%s\" and endnode \"%s\" at line %d (pos %d)",
              {AChild->Name(), AReturned ? AReturned->Name() : std::string("nil"), P.LineNumber(),
               P.Position()});
}

}  // namespace

// ---------------------------------------------------------------------------
// Container readers

char TXmlContainerNode::ReadAttributeList(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  // An element's attributes are offered to the load's filter; the pseudo-
  // attributes of declarations are not.
  const TXmlNode* Offered = ElementType() == xeElement ? this : nullptr;
  std::string Blanks;
  char C = 0;
  do {
    C = P.NextCharSkipBlanks(Blanks);
    if (!Blanks.empty() && Blanks != " ") {
      XmlDebugOut(*this, this, wsHint, "non-default chardata at line %d (pos %d)",
                  {P.LineNumber(), P.Position()});
      if (Doc.PreserveWhiteSpace() && (!Offered || Doc.Accepts(this, xeWhiteSpace, {}))) {
        auto* W = Doc.CreateNode<TXmlWhiteSpace>();
        W->SetRawValue(Blanks);
        NodeAdd(W);
        ++FDirectNodeCount;
      }
    }
    if (P.InputEnded()) return 0;
    if (IsAttributeListEnd(C)) return C;
    if (IsQuoteChar(C)) {
      XmlDebugOut(*this, this, wsWarn, "illegal quote at pos %d", {P.Position()});
      continue;
    }
    P.MoveBack();
    std::string_view Name = TrimWhite(P.ReadStringUntilChar('='));
    if (Offered && !Doc.Accepts(this, xeAttribute, Name)) {
      xmlread::SkimQuotedText(P, Doc);
      continue;
    }
    auto* A = Doc.CreateNode<TXmlAttribute>();
    AttributeAdd(A);
    Doc.DoNodeNew(A);
    A->SetName(Name);
    A->CoreValue()->ParseStream(P);
    Doc.DoNodeLoaded(A);
  } while (!P.InputEnded());
  return C;
}

void TXmlContainerNode::SetDirectNodeCountToCount() {
  FDirectNodeCount = FNodes.Count();
}

namespace {

// One open container of the content loop: the bottom frame is the container the
// loop was called on, the ones above it are child elements whose content is
// being read.
struct TContentFrame {
  TXmlContainerNode* Node;
  std::uint32_t Allowed;  // the markup its content accepts
  TXmlNode* Child;        // the child element whose content is being read, if any
  bool Offered;           // its children are offered to the load's filter
};

TContentFrame FrameOf(TXmlContainerNode* ANode, std::uint32_t AAllowed) {
  // Only an element's children are offered, never those of a document type.
  return {ANode, AAllowed, nullptr,
          ANode->Document()->NodeFilter() != nullptr && ANode->ElementType() == xeElement};
}

enum TContentStep : std::uint8_t {
  csRead,    // an item was read; the frame reads on
  csOpened,  // a child element's start tag was read; its content follows
  csEnded    // the frame's content is over, with a result
};

// Reads one item of the frame's content: a text run, then one piece of markup.
TContentStep ReadContentItem(TContentFrame& F, TXmlParser& P, TXmlNode*& AResult) {
  TXmlContainerNode& C = *F.Node;
  TXmlDocument& Doc = *C.Document();
  // A filtered element's children are offered one by one: what its text and
  // declined children were read from is let go item by item.
  if (F.Offered) P.Flush();
  C.ReadTextRun(P);
  if (P.InputEnded()) {
    XmlDebugOut(C, &C, wsFail, "stream terminated prematurely at pos %d", {P.Position()});
    return csEnded;
  }
  P.MoveBack();
  const char Ch = P.NextChar();
  if (Ch == '<') {
    const TXmlElementType T = P.ReadOpenTag();
    if ((F.Allowed & xmlread::TypeBit(T)) == 0) {
      XmlDebugOut(C, &C, wsWarn, "illegal tag (\"%s\") at pos %d",
                  {::ElementTypeName(T), P.Position()});
      return csEnded;
    }
    if (T == xeEndTag) {
      auto* E = dynamic_cast<TXmlElement*>(&C);
      AResult = E ? ReadEndTag(*E, P) : &C;
      return csEnded;
    }
    // A child the load declines is read whole here; it ends as a child that
    // was made would end, or breaks this content off as one would.
    std::string_view Name;
    if (T == xeElement) Name = xmlread::ReadElementName(P);
    if (F.Offered && !Doc.Accepts(&C, T, Name)) {
      if (T == xeElement) {
        if (!xmlread::SkimElement(P, Doc)) return csEnded;
      } else {
        xmlread::SkimLeaf(P, T);
      }
      return Doc.AbortParsing() || P.InputEnded() ? csEnded : csRead;
    }
    TXmlNode* Node = xmlread::NewNodeOfType(Doc, T);
    if (Node == nullptr) return csEnded;
    C.NodeAdd(Node);
    TXmlNode* R = nullptr;
    if (T == xeElement) {
      if (!ReadStartTag(*static_cast<TXmlElement*>(Node), P, Name, R)) {
        F.Child = Node;
        return csOpened;
      }
    } else {
      Doc.DoNodeNew(Node);
      R = Node->ParseStream(P);
    }
    if (R != Node) {
      ReportLevelMismatch(C, Node, R, P);
      AResult = R;
      return csEnded;
    }
    Doc.DoNodeLoaded(Node);
  } else if (Ch == ']' && C.ElementType() == xeDocType) {
    return csEnded;
  }
  return Doc.AbortParsing() || P.InputEnded() ? csEnded : csRead;
}

// Hands the result of a finished child element to its parent's frame, as the
// parent's loop would take it from a nested parse. True when the parent reads
// on; false when its content is over too, with AResult as its result.
bool DeliverChild(TContentFrame& AParent, TXmlParser& P, TXmlNode*& AResult) {
  TXmlNode* Child = std::exchange(AParent.Child, nullptr);
  if (AResult != Child) {
    ReportLevelMismatch(*AParent.Node, Child, AResult, P);
    return false;
  }
  TXmlDocument& Doc = *AParent.Node->Document();
  Doc.DoNodeLoaded(Child);
  AResult = nullptr;
  return !(Doc.AbortParsing() || P.InputEnded());
}

}  // namespace

// The content loop. A child element's content is read on the same loop, on a
// frame of its own, so nesting depth costs heap, not machine stack.
TXmlNode* TXmlContainerNode::ReadContent(TXmlParser& P, std::uint32_t AAllowed) {
  TXmlDocument& Doc = *Document();
  std::vector<TContentFrame> Stack;
  Stack.push_back(FrameOf(this, AAllowed));
  for (;;) {
    TContentFrame& Top = Stack.back();
    TXmlNode* Result = nullptr;
    const TContentStep Step = ReadContentItem(Top, P, Result);
    if (Step == csRead) continue;
    if (Step == csOpened) {
      Stack.push_back(FrameOf(static_cast<TXmlElement*>(Top.Child), xmlread::cElementContentTypes));
      continue;
    }
    // The frame is over: its result goes down the stack until a frame reads
    // on, after the progress report that ends an element's parse.
    do {
      Stack.pop_back();
      if (Stack.empty()) return Result;
      Doc.DoProgress(P.Position());
    } while (!DeliverChild(Stack.back(), P, Result));
  }
}

char TXmlContainerNode::ReadQuotedTextList(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string Blanks;
  char C = 0;
  do {
    C = P.NextCharSkipBlanks(Blanks);
    if (!Blanks.empty() && Blanks != " ")
      XmlDebugOut(*this, this, wsHint, "non-default chardata at line %d (pos %d)",
                  {P.LineNumber(), P.Position()});
    if (P.InputEnded()) return 0;
    if (C == '!' || C == '/' || C == '>') return C;
    P.MoveBack();
    auto* Q = Doc.CreateNode<TXmlQuotedText>();
    NodeAdd(Q);
    Doc.DoNodeNew(Q);
    Q->ParseStream(P);
    Doc.DoNodeLoaded(Q);
  } while (!P.InputEnded());
  return C;
}

// ---------------------------------------------------------------------------
// Elements

TXmlNode* TXmlElement::ParseStream(TXmlParser& P) {
  return ParseNamed(P, xmlread::ReadElementName(P));
}

TXmlNode* TXmlElement::ParseNamed(TXmlParser& P, std::string_view AName) {
  TXmlNode* Result = nullptr;
  if (ReadStartTag(*this, P, AName, Result)) return Result;
  Result = ReadContent(P, xmlread::cElementContentTypes);
  Document()->DoProgress(P.Position());
  return Result;
}

void TXmlElement::ReadTextRun(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string_view T;
  const std::string_view B = P.Buffered();
  const void* Lt = Doc.NodeFilter() ? std::memchr(B.data(), '<', B.size()) : nullptr;
  if (Lt != nullptr) {
    // A filtered load offers a run that lies in the buffer whole only when it
    // makes a node: most runs between elements are blanks.
    const auto N = static_cast<std::size_t>(static_cast<const char*>(Lt) - B.data());
    T = TrimWhiteRight(B.substr(0, N));
    P.Consume(N + 1);
    if (T.empty() || !Doc.Accepts(this, xeCharData, {})) return;
  } else if (!Doc.Accepts(this, xeCharData, {})) {
    P.SkipUntilChar('<');
    return;
  } else {
    T = TrimWhiteRight(P.ReadStringUntilChar('<'));
    if (T.empty()) return;
  }
  auto* D = Doc.CreateNode<TXmlCharData>();
  D->SetRawValue(T);
  std::int32_t Index = NodeAdd(D);
  if (FValueIndex == -1) FValueIndex = Index;
  Doc.DoNodeNew(D);
  Doc.DoNodeLoaded(D);
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

// ---------------------------------------------------------------------------
// Leaves

TXmlNode* TXmlAttribute::ParseStream(TXmlParser& P) {
  SetName(TrimWhite(P.ReadStringUntilChar('=')));
  FCoreValue.ParseStream(P);
  return this;
}

TXmlNode* TXmlQuotedText::ParseStream(TXmlParser& P) {
  TXmlDocument& Doc = *Document();
  std::string Blanks;
  char Q = P.NextCharSkipBlanks(Blanks);
  if (Q == '"') {
    FQuoteStyle = qsQuote;
  } else if (Q == '\'') {
    FQuoteStyle = qsApos;
  } else {
    XmlDebugOut(*this, this, wsWarn, "quote char expected at pos %d", {P.Position()});
    if (!Doc.FixStructuralErrors()) return this;
    P.MoveBackOver(Q);
    Q = ' ';
  }
  SetRawValue(P.ReadStringUntilChar(Q));
  return this;
}

TXmlNode* TXmlComment::ParseStream(TXmlParser& P) {
  SetRawValue(P.ReadStringUntil("-->"));
  return this;
}

TXmlNode* TXmlCData::ParseStream(TXmlParser& P) {
  SetRawValue(P.ReadStringUntil("]]>"));
  return this;
}

TXmlNode* TXmlInstruction::ParseStream(TXmlParser& P) {
  SetRawValue(P.ReadStringUntil("?>"));
  return this;
}
