// The Drawing page of a file manager's properties dialog, read back from the
// module loaded as the file manager loads it (PageHost.h): what it shows for
// every example and fixture is the host tool's report, files that are no
// drawing get no page, a drawing that takes long shows "Reading…" and then its
// facts, and a dialog closed or a module shut down before the read ends is
// never touched. Built once per file manager, with that file manager's host.
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "PageHost.h"
#include "support/HostileSet.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;
using namespace page_test;
using testing_support::TTempDir;

namespace {

#define VX_PREPARE_HOST()                                    \
  if (const std::string why = PrepareHost(); !why.empty()) { \
    GTEST_SKIP() << why;                                     \
  }

std::unique_ptr<TPageView> OpenOne(const std::string& APath, const std::string& AMimeType) {
  return OpenPage({{UriOf(APath), AMimeType}});
}

// A drawing of 16 MiB of elements, the dearest text, in a few KiB of gzip:
// many times the time a window's thread gives a read.
std::string DearDrawing() {
  return testing_support::GzipFilled(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"3in\" height=\"2in\" id=\"dear\">"
      "<title>Dear</title>",
      "<g/>", 16u << 20);
}

}  // namespace

// Every example and fixture, typed by name as the file manager types it: the
// page shows what the host tool reports, line by line; a file the host tool
// reads as no drawing gets no page.
TEST(DrawingPage, ShowsWhatTheHostToolReports) {
  VX_PREPARE_HOST();
  std::vector<std::string> paths;
  for (const char* folder : {"examples", "tests/fixtures"})
    for (const auto& entry : fs::directory_iterator(fs::path(VX_SOURCE_DIR) / folder))
      if (entry.path().extension() == ".svg" || entry.path().extension() == ".svgz")
        paths.push_back(entry.path().string());
  ASSERT_GT(paths.size(), 10u);
  const auto report = HostReport(paths);
  ASSERT_GT(report.size(), 10u);
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    auto page = OpenOne(path, MimeByName(path));
    auto host = report.find(path);
    if (host == report.end()) {
      EXPECT_EQ(page, nullptr);
      continue;
    }
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Title(), "Drawing");
    ASSERT_TRUE(AwaitFilled(*page));
    const TLines lines = page->Lines();
    EXPECT_EQ(lines, ExpectedLines(host->second));
    if (fs::path(path).parent_path().filename() == "examples") {
      std::printf("  %s:", fs::path(path).filename().c_str());
      for (const auto& [label, value] : lines) std::printf(" %s=%s;", label.c_str(), value.c_str());
      std::printf("\n");
    }
    page->Close();
  }
}

// How a file is stored, typed and chosen decides whether it gets a page.
TEST(DrawingPage, OnlyOneLocalDrawingGetsAPage) {
  VX_PREPARE_HOST();
  TTempDir dir;
  const std::string drawing =
      testing_support::ReadFile(fs::path(VX_SOURCE_DIR) / "examples/editor-drawing.svg");
  const auto host = HostReport({VX_SOURCE_DIR "/examples/editor-drawing.svg"});
  ASSERT_EQ(host.size(), 1u);
  const TLines facts = ExpectedLines(host.begin()->second);
  ASSERT_GT(facts.size(), 5u);

  dir.Write("gzip.svgz", testing_support::Gzip(drawing));
  dir.Write("zip.svgz",
            testing_support::MakeZip({testing_support::Entry("zip.svg", drawing, true)}));
  dir.Write("by-type", drawing);
  dir.Write("UPPER.SVG", drawing);
  dir.Write("notes.txt", "Not a drawing\n");
  dir.Write("broken.svg", "Not a drawing either\n");
  dir.Write("empty.svg", "");
  dir.Write("truncated.svgz", testing_support::Gzip(drawing).substr(0, 40));
  ASSERT_EQ(std::system(("mkfifo '" + (dir.Path() / "pipe.svg").string() + "'").c_str()), 0);

  struct TCase {
    const char* Name;
    const char* MimeType;
    bool Page;
  };
  const TCase cases[] = {
      {"gzip.svgz", "image/svg+xml-compressed", true},
      {"gzip.svgz", "application/octet-stream", true},  // by name
      {"zip.svgz", "application/zip", true},
      {"by-type", "image/svg+xml", true},
      {"UPPER.SVG", "application/octet-stream", true},
      {"notes.txt", "text/plain", false},
      {"by-type", "text/plain", false},  // neither type nor name
      {"broken.svg", "image/svg+xml", false},
      {"empty.svg", "image/svg+xml", false},
      {"truncated.svgz", "image/svg+xml-compressed", false},
      {"pipe.svg", "inode/fifo", false},
      {"missing.svg", "image/svg+xml", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " as " + c.MimeType);
    auto page = OpenOne((dir.Path() / c.Name).string(), c.MimeType);
    ASSERT_EQ(page != nullptr, c.Page);
    if (page == nullptr) continue;
    ASSERT_TRUE(AwaitFilled(*page));
    EXPECT_EQ(page->Lines(), facts);
    page->Close();
  }

  // Files that are not local are not read; two files share a dialog of their
  // common facts, where a drawing's page has no place.
  const std::string local = UriOf(VX_SOURCE_DIR "/examples/editor-drawing.svg");
  const std::vector<std::vector<TDialogFile>> none = {
      {{"sftp://example.invalid/drawing.svg", "image/svg+xml"}},
      {{"trash:///drawing.svgz", "image/svg+xml-compressed"}},
      {{local, "image/svg+xml"}, {local, "image/svg+xml"}},
  };
  for (const auto& files : none) {
    SCOPED_TRACE(files[0].Uri + ", " + std::to_string(files.size()) + " file(s)");
    EXPECT_EQ(OpenPage(files), nullptr);
  }
}

// The hostile set in the dialog: every item typed as the file manager types it
// gets a page of well-formed lines, or none; a name with no regular file
// behind it gets none, and nothing the toolkit is handed makes it complain
// about its text.
TEST(DrawingPage, HostileSetGivesWellFormedPagesOrNone) {
  VX_PREPARE_HOST();
  TTempDir dir;
  std::string error;
  const auto items = testing_support::WriteHostileSet(dir.Path(), error);
  ASSERT_FALSE(items.empty()) << error;
  const testing_support::TChangingFile changing(dir.Path());
  static std::mutex lock;
  static std::vector<std::string> complaints;
  const auto keep = [](const gchar* ADomain, GLogLevelFlags, const gchar* AMessage, gpointer) {
    const std::lock_guard<std::mutex> held(lock);
    complaints.push_back(std::string(ADomain != nullptr ? ADomain : "") + ": " + AMessage);
  };
  const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL);
  std::vector<std::pair<const char*, guint>> handlers;
  for (const char* domain : {"Gtk", "Pango", "GLib", "GLib-GObject"})
    handlers.emplace_back(domain, g_log_set_handler(domain, levels, keep, nullptr));

  std::size_t pages = 0;
  for (const auto& item : items) {
    SCOPED_TRACE(item.Name + ": " + item.What);
    const std::string path = (dir.Path() / item.Name).string();
    auto page = OpenOne(path, MimeByName(path));
    if (item.Kind == testing_support::THostileKind::hkNotAFile) {
      EXPECT_EQ(page, nullptr);
      continue;
    }
    if (page == nullptr) continue;
    ++pages;
    ASSERT_TRUE(AwaitFilled(*page));
    for (const auto& [label, value] : page->Lines()) {
      EXPECT_TRUE(testing_support::IsWellFormedUtf8(label)) << label;
      EXPECT_TRUE(testing_support::IsWellFormedUtf8(value)) << label;
    }
    page->Close();
  }
  DrainMainLoop();
  std::printf("  %zu of %zu items got a page\n", pages, items.size());
  EXPECT_GT(pages, items.size() / 2);
  for (const auto& [domain, id] : handlers) g_log_remove_handler(domain, id);
  const std::lock_guard<std::mutex> held(lock);
  EXPECT_EQ(complaints, std::vector<std::string>());
}

// A read the dialog cannot wait for: the page says it is reading, and the
// worker's read fills it, through the main loop, with what the host tool
// reports. A dear file that turns out to hold no drawing says so.
TEST(DrawingPage, DearDrawingIsReadingFirstThenItsFacts) {
  VX_PREPARE_HOST();
  TTempDir dir;
  const fs::path dear = dir.Write("dear.svgz", DearDrawing());
  const auto host = HostReport({dear.string()});
  ASSERT_EQ(host.size(), 1u);

  auto page = OpenOne(dear.string(), "image/svg+xml-compressed");
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(IsReading(page->Lines()));
  ASSERT_TRUE(AwaitFilled(*page));
  const TLines lines = page->Lines();
  EXPECT_EQ(lines, ExpectedLines(host.begin()->second));
  EXPECT_NE(std::find(lines.begin(), lines.end(), TLines::value_type("Titel (Metadaten)", "Dear")),
            lines.end());
  page->Close();

  // Damaged at its end, past the budget: no drawing after all.
  std::string damaged = DearDrawing();
  damaged.resize(damaged.size() - 12);
  const fs::path broken = dir.Write("damaged.svgz", damaged);
  auto brokenPage = OpenOne(broken.string(), "image/svg+xml-compressed");
  ASSERT_NE(brokenPage, nullptr);
  ASSERT_TRUE(AwaitFilled(*brokenPage));
  const TLines brokenLines = brokenPage->Lines();
  ASSERT_EQ(brokenLines.size(), 1u);
  EXPECT_EQ(brokenLines[0].second, "No drawing could be read from this file.");
  brokenPage->Close();
}

// A dialog closed while the worker reads is never touched: the read's end
// finds the page gone (the sanitizer build catches any touch of it).
TEST(DrawingPage, DialogClosedWhileReadingIsNeverTouched) {
  VX_PREPARE_HOST();
  TTempDir dir;
  const fs::path dear = dir.Write("dear.svgz", DearDrawing());
  auto page = OpenOne(dear.string(), "image/svg+xml-compressed");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(IsReading(page->Lines()));
  page->Close();
  page.reset();
  EXPECT_TRUE(AwaitLog("dear.svgz: page closed before the read ended"));

  // The worker serves the next dialog as before.
  auto next = OpenOne(dear.string(), "image/svg+xml-compressed");
  ASSERT_NE(next, nullptr);
  ASSERT_TRUE(AwaitFilled(*next));
  EXPECT_GT(next->Lines().size(), 3u);
  next->Close();
}

// The module shut down while the worker reads: the read in progress is waited
// for and the page is never filled (ctest runs each case in a process of its
// own, so the others keep the module).
TEST(DrawingPageShutdown, LeavesAnOpenPageAsItIs) {
  VX_PREPARE_HOST();
  TTempDir dir;
  const fs::path dear = dir.Write("dear.svgz", DearDrawing());
  auto page = OpenOne(dear.string(), "image/svg+xml-compressed");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(IsReading(page->Lines()));
  ShutdownModule();
  DrainMainLoop();
  EXPECT_TRUE(IsReading(page->Lines()));
  page->Close();
}
