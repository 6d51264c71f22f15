// packaging/Vexmeta.lng, the field names in other languages that a file manager
// reads beside the library: UTF-8 with a byte-order mark, and every language
// section translates every field under the name the field table gives it,
// every unit list ("96|90") with as many units, and the extensions' Dimensions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "extract/SvgFields.h"
#include "support/TestSupport.h"

namespace {

using TSection = std::vector<std::pair<std::string, std::string>>;

// Sections in file order as name and lines; comments and blank lines dropped.
// A line outside a section or without "=" is kept with the key "?".
std::vector<std::pair<std::string, TSection>> ReadSections(const std::string& AText) {
  std::vector<std::pair<std::string, TSection>> sections;
  std::size_t start = 0;
  while (start < AText.size()) {
    std::size_t end = AText.find('\n', start);
    if (end == std::string::npos) end = AText.size();
    std::string line = AText.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[' && line.back() == ']') {
      sections.push_back({line.substr(1, line.size() - 2), {}});
      continue;
    }
    std::size_t equals = line.find('=');
    if (sections.empty() || equals == std::string::npos) {
      sections.push_back({"?", {{"?", line}}});
      continue;
    }
    sections.back().second.push_back({line.substr(0, equals), line.substr(equals + 1)});
  }
  return sections;
}

}  // namespace

TEST(LanguageFile, EverySectionTranslatesEveryField) {
  std::string bytes =
      testing_support::ReadFile(std::filesystem::path(VX_SOURCE_DIR) / "packaging/Vexmeta.lng");
  ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << "no UTF-8 byte-order mark";
  std::string text = bytes.substr(3);
  EXPECT_EQ(platform::Utf16ToUtf8(platform::Utf8ToUtf16(text)), text) << "not valid UTF-8";

  // The host looks a field's units up as one key, the list as the field table
  // gives it; the translation has the same number of units.
  std::vector<std::string> keysWanted;
  std::map<std::string, std::size_t> unitLists;
  for (const TFieldRow& field : cFieldRows) {
    keysWanted.emplace_back(field.Name);
    const std::string units(field.Units);
    if (!units.empty() && unitLists.count(units) == 0) {
      unitLists[units] = static_cast<std::size_t>(std::count(units.begin(), units.end(), '|')) + 1;
      keysWanted.push_back(units);
    }
  }
  // The file managers' extensions label their column of both sizes from the
  // same file; the host of the content plugin asks no key that names no field.
  keysWanted.emplace_back("Dimensions");
  std::sort(keysWanted.begin(), keysWanted.end());
  ASSERT_EQ(unitLists.count("96|90"), 1u);

  std::map<std::string, TSection> byName;
  for (const auto& [name, lines] : ReadSections(text)) {
    SCOPED_TRACE("[" + name + "]");
    EXPECT_TRUE(byName.emplace(name, lines).second) << "section given twice";
    std::vector<std::string> keys;
    for (const auto& [key, value] : lines) {
      keys.push_back(key);
      EXPECT_FALSE(value.empty() || value.front() == ' ' || value.back() == ' ')
          << key << "=" << value;
      auto list = unitLists.find(key);
      if (list == unitLists.end()) continue;
      std::size_t units = 0;
      for (std::size_t start = 0; start <= value.size(); ++units) {
        std::size_t bar = std::min(value.find('|', start), value.size());
        EXPECT_NE(bar, start) << key << "=" << value << ": an empty unit";
        start = bar + 1;
      }
      EXPECT_EQ(units, list->second) << key << "=" << value;
    }
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, keysWanted);
  }

  // German, French, Spanish, Italian, Polish, Russian, Ukrainian, Czech,
  // Japanese, Simplified Chinese; the second code of a pair is the one other
  // file managers look up, and says the same.
  const std::pair<const char*, const char*> languages[] = {
      {"DEU", nullptr}, {"FRA", nullptr}, {"ESP", "ESN"}, {"ITA", nullptr}, {"PLK", "POL"},
      {"RUS", nullptr}, {"UKR", nullptr}, {"CSY", "CZ"},  {"JPN", nullptr}, {"CHS", "CHN"},
  };
  for (const auto& [code, alias] : languages) {
    SCOPED_TRACE(code);
    ASSERT_EQ(byName.count(code), 1u);
    if (alias != nullptr) {
      EXPECT_EQ(byName[alias], byName[code]) << alias;
    }
  }
}
