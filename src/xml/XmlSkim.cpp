// Markup a filtered load declines: read exactly as the node parsers read it (the
// same parser calls in the same order, so the input ends up at the same place
// and breaks off at the same markup), but without making nodes, interning
// names or values, or reporting messages. A declined element's content keeps
// only a count of its open elements, so neither its size nor its depth costs
// memory.
#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "base/Ascii.h"
#include "xml/XmlEscapes.h"
#include "xml/XmlReaderInternal.h"

namespace xmlread {

namespace {

bool IsAttributeListEnd(char C) {
  return C == '!' || C == '/' || C == '>' || C == '?';
}

// Blanks, leaving the input on the first other byte.
void SkipBlanks(TXmlParser& P) {
  P.MoveBackOver(P.NextCharSkipBlanks());
}

// An attribute list as the containers read it; hands each attribute's name and
// raw value to AOnAttribute when one is given. Returns the terminator read, or
// 0 at the end of the input.
template <class OnAttribute>
char SkimAttributes(TXmlParser& P, TXmlDocument& D, OnAttribute&& AOnAttribute) {
  char C = 0;
  do {
    C = P.NextCharSkipBlanks();
    if (P.InputEnded()) return 0;
    if (IsAttributeListEnd(C)) return C;
    if (IsQuoteChar(C)) continue;
    P.MoveBack();
    if constexpr (std::is_same_v<std::decay_t<OnAttribute>, std::nullptr_t>) {
      P.SkipUntilChar('=');
      SkimQuotedText(P, D);
    } else {
      // Names are short; the copy outlives the value's read.
      std::string Name(TrimWhite(P.ReadStringUntilChar('=')));
      std::string_view Raw = ReadQuotedText(P, D);
      AOnAttribute(Name, Raw);
    }
  } while (!P.InputEnded());
  return C;
}

// One item of a declined element's content read straight from the buffer: the
// text run and the markup after it, when both lie in the buffer whole and the
// markup takes a common shape. It moves the position exactly as the reads of
// the item would (those never run out of input here, so the end of the input
// cannot come into it); for anything else it leaves the position alone and the
// item is read the slow way.
enum TQuickItem : std::uint8_t {
  qiUndecided,  // nothing consumed
  qiRead,       // a comment, CDATA, instruction or complete child element
  qiOpened,     // a child element's start tag; its content follows
  qiClosed      // an end tag
};

const char* Find(const char* AFrom, const char* AEnd, char AChar) {
  return AFrom < AEnd
             ? static_cast<const char*>(std::memchr(AFrom, static_cast<unsigned char>(AChar),
                                                    static_cast<std::size_t>(AEnd - AFrom)))
             : nullptr;
}

// The end of the first ATerminator at or after AFrom, or null.
const char* FindAfter(const char* AFrom, const char* AEnd, std::string_view ATerminator) {
  const std::string_view Text(AFrom,
                              static_cast<std::size_t>(std::max<std::ptrdiff_t>(AEnd - AFrom, 0)));
  const std::size_t At = Text.find(ATerminator);
  return At == std::string_view::npos ? nullptr : AFrom + At + ATerminator.size();
}

bool LowerEquals(const char* AFrom, const char* AEnd, std::string_view ALower) {
  if (AEnd - AFrom < static_cast<std::ptrdiff_t>(ALower.size())) return false;
  for (std::size_t i = 0; i < ALower.size(); ++i)
    if (ascii::ToLower(AFrom[i]) != ALower[i]) return false;
  return true;
}

// An element's attribute list from C on, as SkimAttributes reads it; C ends
// behind it. qiOpened when ">" ended it, qiRead when the element is complete
// (self-closed, or a broken start tag), qiUndecided when the buffer ends first.
TQuickItem QuickAttributes(const char*& C, const char* End, const TXmlDocument& D) {
  using xmlbytes::IsBlank;
  for (;;) {
    while (C < End && IsBlank(static_cast<std::uint8_t>(*C))) ++C;
    if (C >= End) return qiUndecided;
    const char Ch = *C++;
    if (Ch == '>') return qiOpened;
    if (Ch == '/') {
      if (C >= End) return qiUndecided;
      ++C;  // the byte after "/" is read whatever it is
      return qiRead;
    }
    if (Ch == '!' || Ch == '?') return qiRead;  // a broken start tag ends the element
    if (IsQuoteChar(Ch)) continue;
    // An attribute: its name runs to "=", its value is quoted.
    C = Find(C - 1, End, '=');
    if (C == nullptr) return qiUndecided;
    ++C;
    while (C < End && IsBlank(static_cast<std::uint8_t>(*C))) ++C;
    if (C >= End) return qiUndecided;
    const char Quote = *C++;
    if (!IsQuoteChar(Quote)) {
      if (D.FixStructuralErrors()) return qiUndecided;
      continue;
    }
    C = Find(C, End, Quote);
    if (C == nullptr) return qiUndecided;
    ++C;
  }
}

TQuickItem QuickItem(TXmlParser& P, const TXmlDocument& D) {
  using xmlbytes::IsNameStop;
  const std::string_view B = P.Buffered();
  const char* const Start = B.data();
  const char* const End = Start + B.size();
  const char* Lt = Find(Start, End, '<');
  if (Lt == nullptr || Lt + 1 >= End) return qiUndecided;
  const char* Q = Lt + 1;
  const char* Next = nullptr;
  TQuickItem Item = qiRead;
  switch (*Q) {
    case '/':
      Next = Find(Q + 1, End, '>');
      if (Next == nullptr) return qiUndecided;
      ++Next;
      Item = qiClosed;
      break;
    case '!':
      // Comments and CDATA; anything else after "<!" breaks element content off.
      if (LowerEquals(Q + 1, End, "--"))
        Next = FindAfter(Q + 3, End, "-->");
      else if (LowerEquals(Q + 1, End, "[cdata["))
        Next = FindAfter(Q + 8, End, "]]>");
      if (Next == nullptr) return qiUndecided;
      break;
    case '?':
      // An instruction; "<?xml" (a declaration) breaks element content off.
      if (End - Q < 4 || LowerEquals(Q + 1, End, "xml")) return qiUndecided;
      Next = FindAfter(Q + 1, End, "?>");
      if (Next == nullptr) return qiUndecided;
      break;
    default: {
      // A child element: its name, then its attribute list.
      const char* C = Q;
      while (C < End && !IsNameStop(static_cast<std::uint8_t>(*C))) ++C;
      Item = QuickAttributes(C, End, D);
      if (Item == qiUndecided) return qiUndecided;
      Next = C;
      break;
    }
  }
  P.Consume(static_cast<std::size_t>(Next - Start));
  return Item;
}

// What a content loop does once a child has been read whole: it reads on
// unless the input has ended or the load was aborted.
bool ReadsOn(const TXmlParser& P, const TXmlDocument& D) {
  return !(D.AbortParsing() || P.InputEnded());
}

// One declaration of an internal subset.
void SkimDtdDeclaration(TXmlParser& P, TXmlDocument& D, TXmlElementType AType) {
  SkipBlanks(P);
  P.ReadStringUntilBlankOrEndTag();
  SkipBlanks(P);
  if (AType != xeDtdEntity) {
    P.SkipUntil(">");
    return;
  }
  // The quoted literals of an entity declaration, up to "!", "/" or ">".
  do {
    const char C = P.NextCharSkipBlanks();
    if (P.InputEnded() || C == '!' || C == '/' || C == '>') return;
    P.MoveBack();
    SkimQuotedText(P, D);
  } while (!P.InputEnded());
}

// The internal subset after "[": the content loop of a document type.
void SkimInternalSubset(TXmlParser& P, TXmlDocument& D) {
  for (;;) {
    P.Flush();
    // The text run of a document type: blanks, and junk up to the next blank.
    char C = 0;
    for (;;) {
      C = P.NextCharSkipBlanks();
      if (P.InputEnded() || C == '<' || C == ']') break;
      P.ReadStringUntilBlankOrEndTag();
    }
    if (P.InputEnded()) return;
    P.MoveBack();
    const char Ch = P.NextChar();
    if (Ch == '<') {
      const TXmlElementType T = P.ReadOpenTag();
      if ((cDocTypeContentTypes & TypeBit(T)) == 0) return;
      if (T == xeComment || T == xeInstruction)
        SkimLeaf(P, T);
      else
        SkimDtdDeclaration(P, D, T);
    } else if (Ch == ']') {
      return;
    }
    if (!ReadsOn(P, D)) return;
  }
}

}  // namespace

std::string_view ReadQuotedText(TXmlParser& P, TXmlDocument& D) {
  char Q = P.NextCharSkipBlanks();
  if (!IsQuoteChar(Q)) {
    if (!D.FixStructuralErrors()) return {};
    P.MoveBackOver(Q);
    Q = ' ';
  }
  return P.ReadStringUntilChar(Q);
}

void SkimQuotedText(TXmlParser& P, TXmlDocument& D) {
  char Q = P.NextCharSkipBlanks();
  if (!IsQuoteChar(Q)) {
    if (!D.FixStructuralErrors()) return;
    P.MoveBackOver(Q);
    Q = ' ';
  }
  P.SkipUntilChar(Q);
}

void SkimLeaf(TXmlParser& P, TXmlElementType AType) {
  switch (AType) {
    case xeComment:
      P.SkipUntil("-->");
      break;
    case xeCData:
      P.SkipUntil("]]>");
      break;
    case xeInstruction:
      P.SkipUntil("?>");
      break;
    default:
      break;
  }
}

bool SkimElement(TXmlParser& P, TXmlDocument& D) {
  // The start tag after the name: self-closed, broken or opened.
  const std::string_view B = P.Buffered();
  const char* C = B.data();
  const TQuickItem Tag = QuickAttributes(C, B.data() + B.size(), D);
  if (Tag != qiUndecided) {
    P.Consume(static_cast<std::size_t>(C - B.data()));
    if (Tag == qiRead) return true;
  } else {
    const char End = SkimAttributes(P, D, nullptr);
    if (End == '/') {
      P.NextChar();
      return true;
    }
    if (End != '>') return true;
  }

  // The content, with Depth elements open. Whatever breaks a content loop off
  // (an illegal tag, the end of the input) breaks off every loop around it, up
  // to and beyond the declined element.
  std::uint64_t Depth = 1;
  for (;;) {
    // Nothing read so far is looked at again: let it go, item by item.
    P.Flush();
    switch (QuickItem(P, D)) {
      case qiUndecided:
        break;
      case qiOpened:
        ++Depth;
        continue;
      case qiClosed:
        if (--Depth == 0) return true;
        if (!ReadsOn(P, D)) return false;
        continue;
      case qiRead:
        if (!ReadsOn(P, D)) return false;
        continue;
    }
    P.SkipUntilChar('<');
    if (P.InputEnded()) return false;
    P.MoveBack();
    P.NextChar();
    const TXmlElementType T = P.ReadOpenTag();
    if ((cElementContentTypes & TypeBit(T)) == 0) return false;
    if (T == xeEndTag) {
      P.SkipUntilChar('>');
      if (--Depth == 0) return true;
    } else if (T == xeElement) {
      P.Flush();
      P.ReadStringUntilBlankOrEndTag();
      const char Ch = SkimAttributes(P, D, nullptr);
      if (Ch == '>') {
        ++Depth;
        continue;
      }
      if (Ch == '/') P.NextChar();
    } else {
      SkimLeaf(P, T);
    }
    if (!ReadsOn(P, D)) return false;
  }
}

void SkimDeclaration(TXmlParser& P, TXmlDocument& D, std::string* AEncoding) {
  char C;
  if (AEncoding == nullptr) {
    C = SkimAttributes(P, D, nullptr);
  } else {
    // The declaration's encoding is the value of its first attribute of that name.
    bool Found = false;
    C = SkimAttributes(P, D, [&](std::string_view AName, std::string_view ARaw) {
      if (Found || !XmlNamesMatch(AName, "encoding")) return;
      Found = true;
      *AEncoding = DecodeRawValue(ARaw, D.EolStyle());
    });
    if (!Found) AEncoding->clear();
  }
  if (C != '?' || P.NextChar() != '>') return;
  // One line end after "?>" belongs to the declaration.
  char Ch = P.NextChar();
  if (Ch != '\r') P.MoveBackOver(Ch);
  Ch = P.NextChar();
  if (Ch != '\n') P.MoveBackOver(Ch);
}

namespace {

// A document type after its opener, with its internal subset.
void SkimDocType(TXmlParser& P, TXmlDocument& D) {
  SkipBlanks(P);
  P.ReadStringUntilBlankOrEndTag();
  char C = P.NextCharSkipBlanks();
  if (C != '>' && C != '[') {
    P.MoveBackOver(C);
    if (P.CheckString("SYSTEM")) {
      SkimQuotedText(P, D);
    } else if (P.CheckString("PUBLIC")) {
      SkimQuotedText(P, D);
      SkimQuotedText(P, D);
    } else {
      return;
    }
    C = P.NextCharSkipBlanks();
  }
  if (C == '[') {
    SkimInternalSubset(P, D);
    P.NextCharSkipBlanks();
  }
}

}  // namespace

void SkimRootNode(TXmlParser& P, TXmlDocument& D, TXmlElementType AType) {
  switch (AType) {
    case xeStylesheet:
      SkimDeclaration(P, D, nullptr);
      break;
    case xeDocType:
      SkimDocType(P, D);
      break;
    case xeDtdElement:
    case xeDtdAttList:
    case xeDtdEntity:
    case xeDtdNotation:
      SkimDtdDeclaration(P, D, AType);
      break;
    default:
      SkimLeaf(P, AType);
      break;
  }
}

}  // namespace xmlread
