// The field names in the user's language, from Vexmeta.lng, which the build
// turns into a table (FieldLabels.inc): the one source of the labels of the
// list-view columns and of the Drawing page in every file manager.
#pragma once

#include <string>
#include <string_view>

namespace files_labels {

// The .lng section of the user's first language that has one, or null for
// English.
const char* UserSection();

// AKey (a field's name as the field table spells it, or its units) in the
// language of ASection; AKey itself for English or a key the section lacks.
std::string Translated(const char* ASection, std::string_view AKey);

}  // namespace files_labels
