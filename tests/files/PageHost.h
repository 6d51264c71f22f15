// The Drawing page as a test sees it in a file manager's properties dialog:
// each file manager's host (PageHostFiles.cpp for GNOME Files, Nemo and Caja,
// thunar/PageHostThunar.cpp for Thunar) loads the module as its file manager
// does, asks it for a dialog's pages and reads the page back as lines; the
// cases in DrawingPage_test.cpp run the same on every file manager. Helpers
// for what the page should show come from the host tool's report.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HostReport.h"

namespace page_test {

using TLines = std::vector<std::pair<std::string, std::string>>;  // label, value

// A page the module gave for a dialog.
class TPageView {
 public:
  virtual ~TPageView() = default;
  // The page's name in the dialog.
  virtual std::string Title() = 0;
  // Its lines as shown now; a line across the page has an empty label.
  virtual TLines Lines() = 0;
  // Closes the dialog: everything of the page is let go of, and finalized.
  virtual void Close() = 0;
};

// A file of a dialog: its URI and the MIME type the file manager gives it.
struct TDialogFile {
  std::string Uri;
  std::string MimeType;
};

// Whatever the host needs before it asks (a display for GTK): empty when it
// is ready, else why not, beginning with "skipped:" when the machine lacks
// something the test may do without.
std::string PrepareHost();
// The page the module offers for a dialog of these files, or null.
std::unique_ptr<TPageView> OpenPage(const std::vector<TDialogFile>& AFiles);
// Calls the module's shutdown entry point, as the file manager does on exit.
void ShutdownModule();

// --- common helpers (PageTestSupport.cpp)

std::string UriOf(const std::string& APath);
std::string MimeByName(const std::string& APath);
// The lines a page should show for a drawing the host tool reports, labelled
// in German from Vexmeta.lng (the tests run in German).
TLines ExpectedLines(const std::map<std::string, std::string>& AHost);
// Runs the main loop until the page no longer says it is reading (at most two
// minutes); false when it still does.
bool AwaitFilled(TPageView& APage);
bool IsReading(const TLines& ALines);
// Runs the main loop until the module logs a debug message containing AText
// (at most two minutes).
bool AwaitLog(const std::string& AText);
void DrainMainLoop();

}  // namespace page_test
