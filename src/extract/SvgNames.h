// The names the extraction looks up, in one place: the look-ups of Vexmeta.cpp
// and the load filter of ExtractFilter.cpp, which keeps exactly the nodes those
// look-ups can find, both read them from here.
#pragma once

#include <string>
#include <string_view>

#include "extract/Vexmeta.h"

namespace svgnames {

// A record text taken from the value of the root's first node of that name (an
// attribute, or a child element's text).
struct TRootValue {
  std::string_view Name;
  std::u16string TVexmeta::*Text;
};

constexpr TRootValue cRootValues[] = {
    {"viewBox", &TVexmeta::ViewBox},
    {"width", &TVexmeta::Width},
    {"height", &TVexmeta::Height},
    {"version", &TVexmeta::Version},
    {"id", &TVexmeta::ID},
    {"inkscape:version", &TVexmeta::InkscapeVersion},
    {"sodipodi:version", &TVexmeta::SodipodiVersion},
    {"sodipodi:docbase", &TVexmeta::SodipodiDocbase},
    {"sodipodi:docname", &TVexmeta::SodipodiDocname},
};

// The root elements the extraction chooses from (names compared exactly).
constexpr std::string_view cSvg = "svg";
constexpr std::string_view cPrefixedSvg = "svg:svg";

// The embedded-image test: the root's first node of this name, and its link.
constexpr std::string_view cImage = "image";
constexpr std::string_view cImageLink = "xlink:href";

// The work description: metadata, then rdf:RDF, then cc:Work, each the first
// node of its name in the one before (the path FindNodeByPath follows, and its
// three parts for the filter); and the three values read from it.
constexpr std::string_view cWorkPath = "metadata\\rdf:RDF\\cc:Work";
constexpr std::string_view cMetadata = cWorkPath.substr(0, 8);
constexpr std::string_view cRdf = cWorkPath.substr(9, 7);
constexpr std::string_view cWork = cWorkPath.substr(17);
static_assert(cMetadata == "metadata" && cRdf == "rdf:RDF" && cWork == "cc:Work");
constexpr std::string_view cTitle = "dc:title";
constexpr std::string_view cDescription = "dc:description";
constexpr std::string_view cDate = "dc:date";

}  // namespace svgnames
