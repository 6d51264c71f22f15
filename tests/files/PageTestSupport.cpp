// What the Drawing page should show, from the host tool's report and
// Vexmeta.lng, and the main loop and log waits the page tests share.
#include <gio/gio.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>

#include "PageHost.h"
#include "extract/SvgFields.h"
#include "support/TestSupport.h"

namespace page_test {

namespace {

// The tests run in German, a language Vexmeta.lng translates; set before
// anything asks GLib for the user's languages.
const bool cGerman = [] {
  g_setenv("LANGUAGE", "de", TRUE);
  g_setenv("LC_ALL", "C.UTF-8", TRUE);
  return true;
}();

// The [DEU] section of Vexmeta.lng, read here on its own.
const std::map<std::string, std::string>& German() {
  static const std::map<std::string, std::string> german = [] {
    std::map<std::string, std::string> names;
    const std::string lng =
        testing_support::ReadFile(std::filesystem::path(VX_SOURCE_DIR) / "packaging/Vexmeta.lng");
    std::size_t at = lng.find("[DEU]");
    EXPECT_NE(at, std::string::npos);
    const std::size_t end = lng.find("\n[", at);
    for (std::size_t line = lng.find('\n', at) + 1; line < end;) {
      const std::size_t next = std::min(lng.find('\n', line), end);
      std::string text = lng.substr(line, next - line);
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (auto eq = text.find('='); eq != std::string::npos)
        names[text.substr(0, eq)] = text.substr(eq + 1);
      line = next + 1;
    }
    return names;
  }();
  return german;
}

std::string GermanOf(const std::string& AName) {
  auto it = German().find(AName);
  return it != German().end() ? it->second : AName;
}

std::mutex gLogLock;
std::vector<std::string> gLog;

void KeepLog(const gchar* /*ADomain*/, GLogLevelFlags /*ALevel*/, const gchar* AMessage,
             gpointer /*AData*/) {
  const std::lock_guard<std::mutex> lock(gLogLock);
  gLog.emplace_back(AMessage);
}

const bool cLogKept = [] {
  g_log_set_handler("Vexmeta", G_LOG_LEVEL_DEBUG, KeepLog, nullptr);
  return true;
}();

bool Logged(const std::string& AText) {
  const std::lock_guard<std::mutex> lock(gLogLock);
  for (const std::string& line : gLog)
    if (line.find(AText) != std::string::npos) return true;
  return false;
}

template <typename TDone>
bool RunUntil(TDone ADone) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!ADone()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

}  // namespace

std::string UriOf(const std::string& APath) {
  char* uri = g_filename_to_uri(APath.c_str(), nullptr, nullptr);
  std::string text = uri != nullptr ? uri : "";
  g_free(uri);
  return text;
}

std::string MimeByName(const std::string& APath) {
  char* type = g_content_type_guess(APath.c_str(), nullptr, 0, nullptr);
  char* mime = g_content_type_get_mime_type(type);
  std::string text = mime != nullptr ? mime : "";
  g_free(mime);
  g_free(type);
  return text;
}

TLines ExpectedLines(const std::map<std::string, std::string>& AHost) {
  EXPECT_TRUE(cGerman && cLogKept);
  auto value = [&](const std::string& AKey) {
    auto it = AHost.find(AKey);
    return it != AHost.end() ? it->second : std::string();
  };
  const std::string width = value("Calculated Width (96)");
  const std::string height = value("Calculated Height (96)");
  TLines lines;
  bool sizes = false;
  for (const TFieldRow& row : cFieldRows) {
    const std::string name(row.Name);
    std::string shown;
    if (row.Kind == fkText) {
      shown = value(name);
    } else if (row.Kind == fkFlag) {
      if (value(name) == "true") shown = "\u2713";
    } else if (!width.empty() && !height.empty()) {
      if (!sizes) lines.emplace_back(GermanOf("Dimensions"), width + " \u00D7 " + height + " px");
      sizes = true;
      continue;
    } else {
      const std::string pixels = value(name + " (" + std::to_string(row.Dpi[0]) + ")");
      if (!pixels.empty()) shown = pixels + " px";
    }
    if (!shown.empty()) lines.emplace_back(GermanOf(name), shown);
  }
  return lines;
}

bool IsReading(const TLines& ALines) {
  return ALines.size() == 1 && ALines[0].second == "Reading\u2026";
}

bool AwaitFilled(TPageView& APage) {
  return RunUntil([&] { return !IsReading(APage.Lines()); });
}

bool AwaitLog(const std::string& AText) {
  return RunUntil([&] { return Logged(AText); });
}

void DrainMainLoop() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace page_test
