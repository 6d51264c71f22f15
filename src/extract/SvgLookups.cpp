// The comparisons the look-up table's two users share (see SvgLookups.h): the
// extraction and the load filter must answer them alike, or the filtered load
// would keep other nodes than the extraction reads.
#include "extract/SvgLookups.h"

#include "base/Ascii.h"
#include "base/Blanks.h"
#include "xml/XmlDocument.h"

namespace svglookups {

namespace {

// The value of the first of ANode's first cMaxDeclarations namespace
// declarations that declares APrefix; false when none does.
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
    if (name.substr(cDeclarationPrefix.size()) == APrefix) {
      AValue = node->Value();
      return true;
    }
  }
  return false;
}

}  // namespace

bool GeneratorOfComment(std::string_view AText, std::string_view& ATool) {
  const std::string_view text = blanks::TrimWhite(AText);
  for (std::string_view phrase : cGeneratorPhrases) {
    if (!text.starts_with(phrase)) continue;
    ATool = blanks::TrimWhite(text.substr(phrase.size()));
    return true;
  }
  return false;
}

bool IsDeclarationName(std::string_view AName) {
  return AName.size() > cDeclarationPrefix.size() &&
         ascii::EqualsIgnoreCase(AName.substr(0, cDeclarationPrefix.size()), cDeclarationPrefix);
}

bool ElementNamesPart(std::string_view AName, std::string_view APart, const TXmlNode* AScope,
                      bool AScopeOnly) {
  if (ascii::EqualsIgnoreCase(AName, APart)) return true;
  const std::size_t colon = AName.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::size_t partColon = APart.find(':');
  const std::string_view partPrefix =
      partColon == std::string_view::npos ? std::string_view() : APart.substr(0, partColon);
  const std::string_view partLocal =
      partColon == std::string_view::npos ? APart : APart.substr(partColon + 1);
  if (!ascii::EqualsIgnoreCase(AName.substr(colon + 1), partLocal)) return false;
  const TNamespace* space = nullptr;
  for (const TNamespace& candidate : cNamespaces)
    if (candidate.Prefix == partPrefix) space = &candidate;
  if (space == nullptr) return false;
  // The nearest declaration of the prefix binds it.
  const std::string_view prefix = AName.substr(0, colon);
  std::string value;
  for (const TXmlNode* node = AScope; node != nullptr;
       node = AScopeOnly ? nullptr : node->Parent()) {
    if (!FindDeclaration(node, prefix, value)) continue;
    for (std::string_view name : space->Names)
      if (!name.empty() && value == name) return true;
    return false;
  }
  return false;
}

bool EmbedsImage(const TXmlNode* AImage) {
  for (std::string_view link : cImageLinks)
    if (AImage->AttributeValueByName(link).starts_with(cEmbeddedImage)) return true;
  return false;
}

}  // namespace svglookups
