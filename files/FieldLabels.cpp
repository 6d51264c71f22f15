// The field names in the user's language: the table made from Vexmeta.lng and
// the language names GLib gives for the user's session.
#include "FieldLabels.h"

#include <glib.h>

#include <cstring>

namespace {

struct TLanguageLine {
  const char* Section;  // the .lng section: a Windows three-letter language code
  const char* Key;      // the field's name as the field table spells it, or its units
  const char* Value;
};
#include "FieldLabels.inc"

// The language names the system gives (g_get_language_names) for each section.
// Plain "zh" names no script, so only the regions that write Simplified Chinese
// pick it.
struct TLanguageCode {
  const char* Language;
  const char* Section;
};
constexpr TLanguageCode cLanguageCodes[] = {
    {"de", "DEU"}, {"fr", "FRA"}, {"es", "ESP"}, {"it", "ITA"},    {"pl", "PLK"},    {"ru", "RUS"},
    {"uk", "UKR"}, {"cs", "CSY"}, {"ja", "JPN"}, {"zh_CN", "CHS"}, {"zh_SG", "CHS"},
};

}  // namespace

namespace files_labels {

const char* UserSection() {
  for (const gchar* const* name = g_get_language_names(); *name != nullptr; ++name)
    for (const TLanguageCode& code : cLanguageCodes)
      if (std::strcmp(*name, code.Language) == 0) return code.Section;
  return nullptr;
}

std::string Translated(const char* ASection, std::string_view AKey) {
  if (ASection != nullptr)
    for (const TLanguageLine& line : cLanguageLines)
      if (std::strcmp(line.Section, ASection) == 0 && AKey == line.Key) return line.Value;
  return std::string(AKey);
}

}  // namespace files_labels
