// What the extraction reads from a drawing, as one table that both its users
// read: the extraction (SvgExtractor.cpp) follows the rows, and the load
// filter (ExtractFilter.cpp) keeps exactly the nodes the rows can find.
//
// Each row finds, from the node of an earlier row (or from the root element),
// the first node along a path of names. A row of the root's own values
// (lkValue without Elements) compares every node of the node list (attributes
// and child elements alike) with the part, ASCII letter case folded. A row of
// elements (Elements) compares child elements only: an element is the part
// when its name is the part's (its usual name, letter case folded), or when
// its local name (after its prefix) is the part's and it is in the part's
// namespace (cNamespaces), however that is bound: its prefix declared on the
// element itself or on one above it ("ns2:Work" is "cc:Work" where ns2 names
// the Creative Commons namespace), or, without a prefix, the default namespace
// in scope. Only the first cMaxCandidates children whose local name is the
// part's are looked at. The root element itself is the first element named
// exactly "svg" or "svg:svg".
//
// Besides the rows: the embedded-image test (image elements at any depth), the
// statements of who wrote the drawing, and the items of an RDF container
// (rdf:Alt, rdf:Bag, rdf:Seq) that a work's text may sit in. Where a hostile
// drawing could make the kept nodes many, the extraction reads only the first
// few (cMax...), so the filter keeps no more than those.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extract/SvgFields.h"
#include "extract/SvgRecord.h"

class TXmlNode;

namespace svglookups {

constexpr std::string_view cSvg = "svg";
constexpr std::string_view cPrefixedSvg = "svg:svg";

enum TLookupKind : std::uint8_t {
  lkValue,     // the found node's value becomes Text
  lkStep,      // the found node is where later rows start
  lkFallback,  // the found node's value becomes Text when the rows before left it empty
};

struct TLookup {
  std::string_view Path;  // names separated by "\"
  std::int8_t From;       // the row whose node the path starts at; -1: the root element
  TLookupKind Kind;
  std::u16string TVexmeta::*Text = nullptr;  // lkValue, lkFallback: the record text it fills
  bool Elements = false;  // elements only, found by name or by namespace (see above)
  bool Items = false;     // the text may sit in an RDF container's items
};

// The rows no field has: the RDF work description (the first metadata, its
// first rdf:RDF, that one's first cc:Work) where the fsWork fields start.
inline constexpr TLookup cStructureRows[] = {
    {"metadata\\rdf:RDF\\cc:Work", -1, lkStep, nullptr, true},
};
constexpr std::int8_t cWorkRow = 0;

constexpr std::size_t LookedUpFieldCount() {
  std::size_t n = 0;
  for (const TFieldRow& field : cFieldRows)
    n += (field.Source == fsRoot || field.Source == fsWork) + !field.Fallback.empty();
  return n;
}

// The structure rows, then one value row per field found at a path, in field
// order, then the fallbacks of the fields that have one.
inline constexpr auto cLookups = [] {
  std::array<TLookup, std::size(cStructureRows) + LookedUpFieldCount()> rows{};
  std::size_t n = 0;
  for (const TLookup& row : cStructureRows) rows[n++] = row;
  for (const TFieldRow& field : cFieldRows) {
    if (field.Source == fsRoot) rows[n++] = {field.Path, -1, lkValue, field.Text};
    if (field.Source == fsWork) rows[n++] = {field.Path, cWorkRow, lkValue, field.Text, true, true};
  }
  for (const TFieldRow& field : cFieldRows)
    if (!field.Fallback.empty()) rows[n++] = {field.Fallback, -1, lkFallback, field.Text, true};
  return rows;
}();
static_assert(cLookups[cWorkRow].Kind == lkStep, "the work row is where the rows say");
constexpr std::size_t cLookupCount = std::size(cLookups);
static_assert(cLookupCount < 32, "the filter keeps one bit per row");

constexpr bool RowsAreInOrder() {
  for (std::size_t i = 0; i < cLookupCount; ++i) {
    if (cLookups[i].From >= static_cast<std::int8_t>(i)) return false;
    if (cLookups[i].From >= 0 && cLookups[cLookups[i].From].Kind != lkStep) return false;
    // A fallback comes after the row it stands in for.
    if (cLookups[i].Kind == lkFallback) {
      bool before = false;
      for (std::size_t j = 0; j < i; ++j)
        before = before || (cLookups[j].Kind == lkValue && cLookups[j].Text == cLookups[i].Text);
      if (!before) return false;
    }
  }
  return true;
}
static_assert(RowsAreInOrder(), "a row starts at an earlier step's node");

// The parts of a path, and how many there are.
constexpr std::size_t PartCount(std::string_view APath) {
  std::size_t n = 1;
  for (char c : APath) n += c == '\\' ? 1 : 0;
  return n;
}
constexpr std::string_view Part(std::string_view APath, std::size_t AIndex) {
  for (; AIndex > 0; --AIndex) APath.remove_prefix(APath.find('\\') + 1);
  return APath.substr(0, APath.find('\\'));
}

// Each row's path split into its parts once, for the filter, which compares
// names with them for every node it is offered.
constexpr std::size_t cMaxParts = 3;
struct TLookupSteps {
  std::string_view Parts[cMaxParts];
  std::uint8_t Count = 0;
};
inline constexpr std::array<TLookupSteps, cLookupCount> cLookupSteps = [] {
  std::array<TLookupSteps, cLookupCount> steps{};
  for (std::size_t i = 0; i < cLookupCount; ++i) {
    steps[i].Count = static_cast<std::uint8_t>(PartCount(cLookups[i].Path));
    for (std::size_t p = 0; p < steps[i].Count && p < cMaxParts; ++p)
      steps[i].Parts[p] = Part(cLookups[i].Path, p);
  }
  return steps;
}();
static_assert(
    [] {
      for (const TLookup& row : cLookups)
        if (PartCount(row.Path) > cMaxParts) return false;
      return true;
    }(),
    "a path has at most cMaxParts parts");

// The namespaces elements are found by: a part's prefix (none: SVG) and the
// names the namespace has (Creative Commons has had two).
struct TNamespace {
  std::string_view Prefix;
  std::string_view Names[2];
};
inline constexpr TNamespace cNamespaces[] = {
    {"", {"http://www.w3.org/2000/svg", ""}},
    {"rdf", {"http://www.w3.org/1999/02/22-rdf-syntax-ns#", ""}},
    {"dc", {"http://purl.org/dc/elements/1.1/", ""}},
    {"cc", {"http://creativecommons.org/ns#", "http://web.resource.org/cc/"}},
};
// The declarations of an element that count: the first ones named "xmlns"
// (the default namespace) or "xmlns:..." (letter case folded), each value as
// far as the first bytes tell it.
constexpr std::string_view cDefaultDeclaration = "xmlns";
constexpr std::string_view cDeclarationPrefix = "xmlns:";
constexpr std::size_t cMaxDeclarations = 64;
constexpr std::size_t cDeclarationBytes = 64;
// The children whose local name is a part's that are looked at, per part.
constexpr std::size_t cMaxCandidates = 8;

// The embedded-image test: elements named "image" (found as the rows of
// elements are, their prefixes bound on the root element), at any depth
// inside the root, the first cMaxImages of them in document order; one embeds
// an image when the first attribute of either link name (compared as the
// reader compares names) begins with "data:image", of which the first
// cLinkBytes of the value as written are enough.
constexpr std::string_view cImage = "image";
constexpr std::string_view cImageLinks[] = {"xlink:href", "href"};
constexpr std::string_view cEmbeddedImage = "data:image";
constexpr std::size_t cMaxImages = 4096;
constexpr std::size_t cLinkBytes = 64;

// An RDF container in an element of Items: the first child element that is
// one of these parts; its items are those of its first cMaxItems children
// whose local name is "li" that are rdf:li, and the text is the first item's
// whose xml:lang is "x-default", else the first item's.
constexpr std::string_view cItemContainers[] = {"rdf:Alt", "rdf:Bag", "rdf:Seq"};
constexpr std::string_view cItem = "rdf:li";
constexpr std::string_view cItemLanguage = "xml:lang";
constexpr std::string_view cDefaultLanguage = "x-default";
constexpr std::size_t cMaxItems = 64;
constexpr std::size_t cLanguageBytes = 64;

// The text of an element: its first cMaxTextRuns text runs (the reader keeps
// the head of each, KeptTextBytes), one after the other.
constexpr std::size_t cMaxTextRuns = 16;
// How many bytes of a value or text run the reader keeps: more than a record
// text is made from (cRecordSourceBytes, after the blanks a value begins with).
constexpr std::size_t cKeptTextBytes = 2 * cRecordSourceBytes;

// A statement of who wrote the drawing: a comment or text that begins, after
// blanks and one of the optional openings, with one of the phrases (letter
// case ignored; a blank in them stands for one or more blanks or tabs). The
// writer is what follows the phrase on its line (a colon right after the
// phrase skipped), trimmed; "Generated at" needs " by" later on its line, and
// the writer follows that. A phrase ending in a letter is followed by no
// letter or digit ("Created byte" is none).
constexpr std::string_view cStatementOpenings[] = {"this file was ", "this drawing was ",
                                                   "this image was "};
constexpr std::string_view cStatementPhrases[] = {"created with", "created using",  "created by",
                                                  "generated by", "generated with", "generated at",
                                                  "produced by",  "made with",      "exported from",
                                                  "generator:",   "creator:"};
constexpr std::string_view cGeneratedAt = "generated at";
// The places a statement is looked for, in this order: comments before the
// root element, the root's comment children, the first cMaxMetadataTexts text
// runs directly in the root's first metadata, the root's first desc. Without
// one, an editor that records itself in the root names the drawing: its name
// and the version it wrote.
constexpr std::size_t cMaxMetadataTexts = 4;
constexpr std::string_view cMetadata = "metadata";
constexpr std::string_view cDesc = "desc";
static_assert(Part(cLookups[cWorkRow].Path, 0) == cMetadata, "the work is in the root's metadata");
struct TEditorMark {
  std::u16string TVexmeta::*Version;
  std::u16string_view Name;
};
inline constexpr TEditorMark cEditorMarks[] = {{&TVexmeta::InkscapeVersion, u"Inkscape "},
                                               {&TVexmeta::SodipodiVersion, u"Sodipodi "}};

// The writer a statement names, from the statement's text (as the reader
// gives it); false when the text is no statement or names nobody.
bool StatementWriter(std::string_view AText, std::string_view& AWriter);

// Whether the local name of AName (after its prefix) is that of APart, letter
// case folded: the element may be the part.
bool IsCandidate(std::string_view AName, std::string_view APart);
// Whether AName is APart's usual name (letter case folded), whatever binds
// its prefix.
bool HasUsualName(std::string_view AName, std::string_view APart);
// Whether an element named AName is the part APart (see above) among the
// children of AScope, a kept element whose declarations and those of the
// elements above it are in force (AScopeOnly: its own only), and those of
// AElement itself when given (the element, once its attributes are read).
bool ElementNamesPart(std::string_view AName, std::string_view APart, const TXmlNode* AScope,
                      bool AScopeOnly = false, const TXmlNode* AElement = nullptr);
// Whether an attribute's name is that of a namespace declaration.
bool IsDeclarationName(std::string_view AName);
// Whether an image element's links embed an image (see above).
bool EmbedsImage(const TXmlNode* AImage);

}  // namespace svglookups
