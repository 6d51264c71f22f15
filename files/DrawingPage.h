// What the Drawing page of a file's properties dialog shows, whatever the
// toolkit: the facts of a drawing as labelled lines, in field order. Every file
// manager's page (a model of items, a grid of labels) is made from this list.
#pragma once

#include <string>
#include <vector>

struct TVexmeta;

namespace files_page {

// One line of the page.
struct TPageFact {
  std::string Label;  // the field's name in the user's language
  std::string Value;  // as the drawing gives it, never empty
};

// The page's name in the dialog, the line shown while the drawing is read, and
// the line that replaces it when the read finds no drawing after all.
constexpr const char* cPageTitle = "Drawing";
constexpr const char* cReadingText = "Reading\u2026";
constexpr const char* cNoDrawingText = "No drawing could be read from this file.";

// The facts ARecord has, labelled in the language of ASection (a Vexmeta.lng
// section, null for English): every field with a value in field order, texts
// as the record holds them (width, height and viewBox as written), the flag as
// a check mark, and the calculated sizes as one Dimensions line "W × H px" when
// both are known (else each one known as "N px").
std::vector<TPageFact> PageFacts(const TVexmeta& ARecord, const char* ASection);

}  // namespace files_page
