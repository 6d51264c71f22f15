// The host tool's CSV report, run and read back (see HostReport.h).
#include "HostReport.h"

#include <glib.h>
#include <gtest/gtest.h>

std::map<std::string, std::map<std::string, std::string>> HostReport(
    const std::vector<std::string>& APaths) {
  std::vector<const char*> argv = {VX_HOST_TOOL_PATH, "--csv"};
  for (const std::string& path : APaths) argv.push_back(path.c_str());
  argv.push_back(nullptr);
  char* out = nullptr;
  GError* error = nullptr;
  const bool ran =
      g_spawn_sync(nullptr, const_cast<char**>(argv.data()), nullptr, G_SPAWN_STDERR_TO_DEV_NULL,
                   nullptr, nullptr, &out, nullptr, nullptr, &error);
  EXPECT_TRUE(ran) << (error != nullptr ? error->message : "");
  if (error != nullptr) g_error_free(error);
  const std::string text = out != nullptr ? out : "";
  g_free(out);

  // Comma-separated values, quoted with "" for a quote inside.
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\n') {
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
    } else if (c != '\r') {
      field += c;
    }
  }
  std::map<std::string, std::map<std::string, std::string>> report;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() != rows[0].size()) continue;
    std::map<std::string, std::string>& values = report[rows[r][0]];
    for (std::size_t c = 0; c < rows[0].size(); ++c) values[rows[0][c]] = rows[r][c];
  }
  return report;
}
