// The comparisons the look-up table's two users share (see SvgLookups.h): the
// extraction and the load filter must answer them alike, or the filtered load
// would keep other nodes than the extraction reads.
#include "extract/SvgLookups.h"

#include <algorithm>

#include "base/Ascii.h"
#include "base/Blanks.h"
#include "xml/XmlDocument.h"

namespace svglookups {

namespace {

// The value of the first of ANode's first cMaxDeclarations namespace
// declarations that declares APrefix (empty: the default namespace); false
// when none does.
bool FindDeclaration(const TXmlNode* ANode, std::string_view APrefix, std::string& AValue) {
  std::string scratch;
  std::size_t declarations = 0;
  const std::int32_t count = ANode->NodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    const TXmlNode* node = ANode->Nodes(i);
    if (node == nullptr || node->ElementType() != xeAttribute) continue;
    const std::string_view name = node->NameRef(scratch);
    if (!IsDeclarationName(name)) continue;
    if (++declarations > cMaxDeclarations) return false;
    const std::string_view declared = name.size() == cDefaultDeclaration.size()
                                          ? std::string_view()
                                          : name.substr(cDeclarationPrefix.size());
    if (declared == APrefix) {
      AValue = node->Value();
      return true;
    }
  }
  return false;
}

bool IsBlankOrTab(char AC) {
  return AC == ' ' || AC == '\t';
}

bool IsAlphaNumeric(char AC) {
  const char lower = ascii::ToLower(AC);
  return (AC >= '0' && AC <= '9') || (lower >= 'a' && lower <= 'z');
}

// Whether AText at APos begins with the words AWords (letter case ignored,
// each blank in them standing for one or more blanks or tabs); APos moves
// behind them when it does.
bool MatchWords(std::string_view AText, std::size_t& APos, std::string_view AWords) {
  std::size_t at = APos;
  for (char w : AWords) {
    if (w == ' ') {
      if (at >= AText.size() || !IsBlankOrTab(AText[at])) return false;
      while (at < AText.size() && IsBlankOrTab(AText[at])) ++at;
      continue;
    }
    if (at >= AText.size() || ascii::ToLower(AText[at]) != w) return false;
    ++at;
  }
  // A word is matched whole.
  if (IsAlphaNumeric(AWords.back()) && at < AText.size() && IsAlphaNumeric(AText[at])) return false;
  APos = at;
  return true;
}

}  // namespace

bool StatementWriter(std::string_view AText, std::string_view& AWriter) {
  std::size_t at = 0;
  while (at < AText.size() && blanks::IsWhite(AText[at])) ++at;
  // The line the statement is on.
  const std::size_t lineEnd = std::min(AText.find_first_of("\r\n", at), AText.size());
  const std::string_view line = AText.substr(0, lineEnd);
  for (std::string_view opening : cStatementOpenings)
    if (MatchWords(line, at, opening)) break;
  for (std::string_view phrase : cStatementPhrases) {
    std::size_t end = at;
    if (!MatchWords(line, end, phrase)) continue;
    if (phrase == cGeneratedAt) {
      // Anything up to " by" on the same line.
      for (;;) {
        end = line.find_first_of(" \t", end);
        if (end == std::string_view::npos) return false;
        while (end < line.size() && IsBlankOrTab(line[end])) ++end;
        if (MatchWords(line, end, "by")) break;
      }
    }
    if (end < line.size() && line[end] == ':' && phrase.back() != ':') ++end;
    AWriter = blanks::TrimWhite(line.substr(end));
    return !AWriter.empty();
  }
  return false;
}

bool IsDeclarationName(std::string_view AName) {
  return (AName.size() > cDeclarationPrefix.size() &&
          ascii::EqualsIgnoreCase(AName.substr(0, cDeclarationPrefix.size()),
                                  cDeclarationPrefix)) ||
         ascii::EqualsIgnoreCase(AName, cDefaultDeclaration);
}

bool IsCandidate(std::string_view AName, std::string_view APart) {
  const std::size_t colon = AName.find(':');
  const std::size_t partColon = APart.find(':');
  const std::string_view local = colon == std::string_view::npos ? AName : AName.substr(colon + 1);
  const std::string_view partLocal =
      partColon == std::string_view::npos ? APart : APart.substr(partColon + 1);
  return ascii::EqualsIgnoreCase(local, partLocal);
}

bool HasUsualName(std::string_view AName, std::string_view APart) {
  return ascii::EqualsIgnoreCase(AName, APart);
}

bool ElementNamesPart(std::string_view AName, std::string_view APart, const TXmlNode* AScope,
                      bool AScopeOnly, const TXmlNode* AElement) {
  if (HasUsualName(AName, APart)) return true;
  if (!IsCandidate(AName, APart)) return false;
  const std::size_t colon = AName.find(':');
  if (colon == 0) return false;
  const std::size_t partColon = APart.find(':');
  const std::string_view partPrefix =
      partColon == std::string_view::npos ? std::string_view() : APart.substr(0, partColon);
  const TNamespace* space = nullptr;
  for (const TNamespace& candidate : cNamespaces)
    if (candidate.Prefix == partPrefix) space = &candidate;
  if (space == nullptr) return false;
  // The nearest declaration of the prefix (none: the default namespace) binds it.
  const std::string_view prefix =
      colon == std::string_view::npos ? std::string_view() : AName.substr(0, colon);
  std::string value;
  const TXmlNode* node = AElement != nullptr ? AElement : AScope;
  while (node != nullptr) {
    if (FindDeclaration(node, prefix, value)) {
      for (std::string_view name : space->Names)
        if (!name.empty() && value == name) return true;
      return false;
    }
    if (node == AElement)
      node = AScope;
    else
      node = AScopeOnly ? nullptr : node->Parent();
  }
  return false;
}
bool EmbedsImage(const TXmlNode* AImage) {
  for (std::string_view link : cImageLinks)
    if (AImage->AttributeValueByName(link).starts_with(cEmbeddedImage)) return true;
  return false;
}

}  // namespace svglookups
