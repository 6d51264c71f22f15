// The file manager extension as its file manager runs it, without a screen: a
// GTypeModule opens the built module and calls its initialize and list-types
// entry points, the provider is made from the type it lists, and its columns
// and answers are asked through the extension interface with a file-info object
// of the test's own. Answers given later complete through the main loop, which
// the test runs. What the columns show is held against the host tool's report.
// Built once per file manager, as the module is.
#include <gmodule.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FileManagerApi.h"
#include "HostReport.h"
#include "extract/SvgFields.h"
#include "support/FaultyFiles.h"
#include "support/HostileSet.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;
using namespace files_api;
using testing_support::TTempDir;

namespace {

// The labels are asked in German, a language Vexmeta.lng translates; set before
// anything asks GLib for the user's languages.
const bool cGerman = [] {
  g_setenv("LANGUAGE", "de", TRUE);
  g_setenv("LC_ALL", "C.UTF-8", TRUE);
  return true;
}();

// ---------------------------------------------------------------------------
// The module, loaded as the file managers load theirs.

using TInitialize = void (*)(GTypeModule*);
using TListTypes = void (*)(const GType**, int*);
using TShutdown = void (*)();

struct TLoader {
  GTypeModule Parent;
};
struct TLoaderClass {
  GTypeModuleClass Parent;
};

GModule* gLibrary = nullptr;

gboolean LoaderLoad(GTypeModule* AModule) {
#if defined(VX_FILES_LINKED)
  // The module's code is linked into this program (see ExtensionFaults): its
  // entry points are the program's own.
  gLibrary = g_module_open(nullptr, static_cast<GModuleFlags>(0));
#else
  gLibrary = g_module_open(VX_FILES_MODULE,
                           static_cast<GModuleFlags>(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
#endif
  if (gLibrary == nullptr) {
    ADD_FAILURE() << g_module_error();
    return FALSE;
  }
  gpointer initialize = nullptr;
  const std::string name = std::string(cModulePrefix) + "_module_initialize";
  if (!g_module_symbol(gLibrary, name.c_str(), &initialize)) {
    ADD_FAILURE() << "no " << name;
    return FALSE;
  }
  reinterpret_cast<TInitialize>(initialize)(AModule);
  return TRUE;
}

void LoaderUnload(GTypeModule* /*AModule*/) {}

void LoaderClassInit(gpointer AClass, gpointer /*AData*/) {
  auto* moduleClass = static_cast<GTypeModuleClass*>(AClass);
  moduleClass->load = LoaderLoad;
  moduleClass->unload = LoaderUnload;
}

template <typename TFunction>
TFunction Entry(const char* ASuffix) {
  gpointer symbol = nullptr;
  const std::string name = std::string(cModulePrefix) + ASuffix;
  EXPECT_TRUE(g_module_symbol(gLibrary, name.c_str(), &symbol)) << name;
  return reinterpret_cast<TFunction>(symbol);
}

// The provider the file manager makes from the module's one listed type; the
// module stays loaded for the program's lifetime, as in the file managers.
GObject* Provider() {
  static GObject* provider = [] {
    const GType loaderType = g_type_register_static_simple(
        G_TYPE_TYPE_MODULE, "VxTestLoader", sizeof(TLoaderClass), LoaderClassInit, sizeof(TLoader),
        nullptr, static_cast<GTypeFlags>(0));
    auto* module = static_cast<GTypeModule*>(g_object_new(loaderType, nullptr));
    if (!g_type_module_use(module)) return static_cast<GObject*>(nullptr);
    const GType* types = nullptr;
    int count = 0;
    Entry<TListTypes>("_module_list_types")(&types, &count);
    EXPECT_EQ(count, 1);
    if (count != 1) return static_cast<GObject*>(nullptr);
    EXPECT_TRUE(g_type_is_a(types[0], ColumnProviderType()));
    EXPECT_TRUE(g_type_is_a(types[0], InfoProviderType()));
    return static_cast<GObject*>(g_object_new(types[0], nullptr));
  }();
  return provider;
}

// ---------------------------------------------------------------------------
// A file as the file manager describes it to the extension.

struct TFileState {
  std::string Uri;
  std::string MimeType;
  std::map<std::string, std::string> Attributes;
  int AttributeCalls = 0;
};

struct TTestFile {
  GObject Parent;
  std::shared_ptr<TFileState>* State;
};

TFileState& StateOf(TFileInfo* AFile) {
  return **reinterpret_cast<TTestFile*>(AFile)->State;
}

GFile* FileGetLocation(TFileInfo* AFile) {
  return g_file_new_for_uri(StateOf(AFile).Uri.c_str());
}
char* FileGetUri(TFileInfo* AFile) {
  return g_strdup(StateOf(AFile).Uri.c_str());
}
char* FileGetName(TFileInfo* AFile) {
  GFile* location = FileGetLocation(AFile);
  char* name = g_file_get_basename(location);
  g_object_unref(location);
  return name;
}
char* FileGetUriScheme(TFileInfo* AFile) {
  return g_uri_parse_scheme(StateOf(AFile).Uri.c_str());
}
char* FileGetMimeType(TFileInfo* AFile) {
  return g_strdup(StateOf(AFile).MimeType.c_str());
}
gboolean FileIsMimeType(TFileInfo* AFile, const char* AMimeType) {
  return g_content_type_is_a(StateOf(AFile).MimeType.c_str(), AMimeType);
}
gboolean FileIsGone(TFileInfo* /*AFile*/) {
  return FALSE;
}
void FileAddStringAttribute(TFileInfo* AFile, const char* AName, const char* AValue) {
  TFileState& state = StateOf(AFile);
  ++state.AttributeCalls;
  state.Attributes[AName] = AValue;
}
char* FileGetStringAttribute(TFileInfo* AFile, const char* AName) {
  TFileState& state = StateOf(AFile);
  auto it = state.Attributes.find(AName);
  return it == state.Attributes.end() ? nullptr : g_strdup(it->second.c_str());
}

void FileInfoInit(gpointer AIface, gpointer /*AData*/) {
  auto* iface = static_cast<TFileInfoIface*>(AIface);
  iface->get_location = FileGetLocation;
  iface->get_uri = FileGetUri;
  iface->get_name = FileGetName;
  iface->get_uri_scheme = FileGetUriScheme;
  iface->get_mime_type = FileGetMimeType;
  iface->is_mime_type = FileIsMimeType;
  iface->is_gone = FileIsGone;
  iface->add_string_attribute = FileAddStringAttribute;
  iface->get_string_attribute = FileGetStringAttribute;
}

void TestFileFinalize(GObject* AObject) {
  delete reinterpret_cast<TTestFile*>(AObject)->State;
  G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(AObject)))->finalize(AObject);
}

void TestFileClassInit(gpointer AClass, gpointer /*AData*/) {
  static_cast<GObjectClass*>(AClass)->finalize = TestFileFinalize;
}

GType TestFileType() {
  static const GType type = [] {
    const GType t = g_type_register_static_simple(G_TYPE_OBJECT, "VxTestFile", sizeof(GObjectClass),
                                                  TestFileClassInit, sizeof(TTestFile), nullptr,
                                                  static_cast<GTypeFlags>(0));
    static const GInterfaceInfo cInfo = {FileInfoInit, nullptr, nullptr};
    g_type_add_interface_static(t, FileInfoType(), &cInfo);
    return t;
  }();
  return type;
}

// A file object for a URI and MIME type; the state outlives it for the test.
TFileInfo* NewFile(const std::string& AUri, const std::string& AMimeType,
                   std::shared_ptr<TFileState>& AState) {
  AState = std::make_shared<TFileState>();
  AState->Uri = AUri;
  AState->MimeType = AMimeType;
  auto* object = static_cast<TTestFile*>(g_object_new(TestFileType(), nullptr));
  object->State = new std::shared_ptr<TFileState>(AState);
  return reinterpret_cast<TFileInfo*>(object);
}

std::string UriOf(const fs::path& APath) {
  char* uri = g_filename_to_uri(APath.c_str(), nullptr, nullptr);
  std::string text = uri != nullptr ? uri : "";
  g_free(uri);
  return text;
}

// The MIME type the file managers give a file: its content type by name.
std::string MimeByName(const fs::path& APath) {
  char* type = g_content_type_guess(APath.filename().c_str(), nullptr, 0, nullptr);
  char* mime = g_content_type_get_mime_type(type);
  std::string text = mime != nullptr ? mime : "";
  g_free(mime);
  g_free(type);
  return text;
}

// ---------------------------------------------------------------------------
// Asking.

struct TRequest {
  std::shared_ptr<TFileState> State;
  TOperationResult Result = cFailed;
  TOperationHandle* Handle = nullptr;
  int Completions = 0;
  TOperationResult Completed = cFailed;
};

void OnComplete(TInfoProvider* /*AProvider*/, TOperationHandle* AHandle, TOperationResult AResult,
                gpointer AData) {
  auto* request = static_cast<TRequest*>(AData);
  EXPECT_EQ(AHandle, request->Handle);
  ++request->Completions;
  request->Completed = AResult;
}

// Calls update_file_info as the file managers do: a closure made for the call,
// and both it and the file let go of once the call returns (the extension keeps
// what it needs for an answer given later).
std::unique_ptr<TRequest> Ask(const std::string& AUri, const std::string& AMimeType) {
  auto request = std::make_unique<TRequest>();
  TFileInfo* file = NewFile(AUri, AMimeType, request->State);
  GClosure* closure = g_cclosure_new(G_CALLBACK(OnComplete), request.get(), nullptr);
  g_closure_set_marshal(closure, g_cclosure_marshal_generic);
  auto* provider = reinterpret_cast<TInfoProvider*>(Provider());
  auto* iface = static_cast<TInfoProviderIface*>(
      g_type_interface_peek(G_OBJECT_GET_CLASS(Provider()), InfoProviderType()));
  request->Result = iface->update_file_info(provider, file, closure, &request->Handle);
  g_closure_unref(closure);
  g_object_unref(file);
  return request;
}

// Runs the main loop until the request is answered, for at most two minutes.
void AwaitAnswer(const TRequest& ARequest) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (ARequest.Completions == 0 && std::chrono::steady_clock::now() < end)
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
}

// Dispatches what the main loop has ready, without waiting.
void DrainMainLoop() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

std::unique_ptr<TRequest> AskAndAwait(const fs::path& APath, const std::string& AMimeType) {
  auto request = Ask(UriOf(APath), AMimeType);
  EXPECT_NE(request->Result, cFailed) << APath;
  if (request->Result == cInProgress) {
    EXPECT_NE(request->Handle, nullptr);
    AwaitAnswer(*request);
    EXPECT_EQ(request->Completions, 1) << APath;
    EXPECT_EQ(request->Completed, cComplete) << APath;
  } else {
    EXPECT_EQ(request->Completions, 0) << APath;
  }
  return request;
}

// ---------------------------------------------------------------------------
// What the columns should show: the host tool's report.

std::string Attribute(const TFieldRow& ARow) {
  std::string name = "vexmeta_";
  for (char c : ARow.Name) name += c == ' ' ? '_' : static_cast<char>(g_ascii_tolower(c));
  return name;
}

std::string Trimmed(const std::string& AText) {
  const auto first = AText.find_first_not_of(' ');
  return first == std::string::npos ? "" : AText.substr(first);
}

// Every attribute as the extension should give it from the host tool's values
// (whose texts hold LF line breaks on Linux).
std::map<std::string, std::string> Expected(const std::map<std::string, std::string>& AHost) {
  std::map<std::string, std::string> expected;
  for (const TFieldRow& row : cFieldRows) {
    std::string key(row.Name);
    if (row.Kind == fkPixels) key += " (" + std::to_string(row.Dpi[0]) + ")";
    auto it = AHost.find(key);
    std::string value = it != AHost.end() ? it->second : "";
    if (row.Kind == fkFlag) value = value == "true" ? "\u2713" : "";
    // A one-line cell shows each line break of a text as a blank.
    if (row.Kind == fkText) std::replace(value.begin(), value.end(), '\n', ' ');
    expected[Attribute(row)] = value;
  }
  const std::string& width = expected["vexmeta_calculated_width"];
  const std::string& height = expected["vexmeta_calculated_height"];
  expected["vexmeta_dimensions"] =
      !width.empty() && !height.empty() ? width + " \u00D7 " + height : "";
  return expected;
}

// The attributes given, with the sizes' sorting blanks taken off.
std::map<std::string, std::string> Shown(const TFileState& AState) {
  std::map<std::string, std::string> shown = AState.Attributes;
  for (const TFieldRow& row : cFieldRows)
    if (row.Kind == fkPixels) shown[Attribute(row)] = Trimmed(shown[Attribute(row)]);
  return shown;
}

const std::map<std::string, std::string>& AllEmpty() {
  static const std::map<std::string, std::string> empty = Expected({});
  return empty;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(Extension, ColumnsOnePerFieldLabelledInTheUsersLanguage) {
  ASSERT_TRUE(cGerman);
  ASSERT_NE(Provider(), nullptr);
  auto* iface = static_cast<TColumnProviderIface*>(
      g_type_interface_peek(G_OBJECT_GET_CLASS(Provider()), ColumnProviderType()));
  // The German names, read from the one source of translations.
  std::map<std::string, std::string> german;
  {
    const std::string lng =
        testing_support::ReadFile(fs::path(VX_SOURCE_DIR) / "packaging/Vexmeta.lng");
    std::size_t at = lng.find("[DEU]");
    ASSERT_NE(at, std::string::npos);
    const std::size_t end = lng.find("\n[", at);
    for (std::size_t line = lng.find('\n', at) + 1; line < end;) {
      std::size_t next = std::min(lng.find('\n', line), end);
      std::string text = lng.substr(line, next - line);
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (auto eq = text.find('='); eq != std::string::npos)
        german[text.substr(0, eq)] = text.substr(eq + 1);
      line = next + 1;
    }
  }

  // Asked twice, as every new view asks: the same columns, alive after the list
  // and its references are dropped.
  for (int round = 0; round < 2; ++round) {
    GList* columns = iface->get_columns(reinterpret_cast<TColumnProvider*>(Provider()));
    ASSERT_EQ(g_list_length(columns), static_cast<guint>(cFieldCount + 1));
    std::set<std::string> names;
    GList* item = columns;
    for (int i = 0; i <= cFieldCount; ++i, item = item->next) {
      char* name = nullptr;
      char* attribute = nullptr;
      char* label = nullptr;
      float xalign = 0;
      g_object_get(item->data, "name", &name, "attribute", &attribute, "label", &label, "xalign",
                   &xalign, nullptr);
      EXPECT_TRUE(names.insert(name).second) << name;
      if (i < cFieldCount) {
        const TFieldRow& row = cFieldRows[i];
        EXPECT_EQ(attribute, Attribute(row));
        EXPECT_EQ(label, german.at(std::string(row.Name)));
        EXPECT_EQ(xalign, row.Kind == fkPixels ? 1.0F : 0.0F) << row.Name;
      } else {
        EXPECT_STREQ(attribute, "vexmeta_dimensions");
        EXPECT_EQ(label, german.at("Dimensions"));
      }
      g_free(name);
      g_free(attribute);
      g_free(label);
    }
    g_list_free_full(columns, g_object_unref);
  }
}

// Every example and fixture drawing, asked as the file manager asks (MIME type
// by name), shows what the host tool reports.
TEST(Extension, ExamplesShowWhatTheHostToolReports) {
  ASSERT_NE(Provider(), nullptr);
  std::vector<std::string> paths;
  for (const char* folder : {"examples", "tests/fixtures"})
    for (const auto& entry : fs::directory_iterator(fs::path(VX_SOURCE_DIR) / folder))
      if (entry.path().extension() == ".svg" || entry.path().extension() == ".svgz")
        paths.push_back(entry.path().string());
  ASSERT_GT(paths.size(), 10u);
  const auto report = HostReport(paths);
  ASSERT_EQ(report.size(), paths.size());
  std::vector<std::pair<std::string, int>> widths;
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    auto request = AskAndAwait(path, MimeByName(path));
    EXPECT_EQ(Shown(*request->State), Expected(report.at(path)));
    EXPECT_EQ(request->State->AttributeCalls, cFieldCount + 1);
    // A record of what the list view shows for the examples.
    if (fs::path(path).parent_path().filename() == "examples") {
      std::map<std::string, std::string>& shown = request->State->Attributes;
      std::printf("  %s (%s): %s | %s | %s | %s\n", fs::path(path).filename().c_str(),
                  request->Result == cInProgress ? "later" : "at once",
                  shown["vexmeta_dimensions"].c_str(), shown["vexmeta_svg_version"].c_str(),
                  shown["vexmeta_application"].c_str(), shown["vexmeta_metadata_title"].c_str());
    }
    const std::string& width = request->State->Attributes["vexmeta_calculated_width"];
    if (!width.empty()) widths.emplace_back(width, std::stoi(width));
  }
  // The file managers sort an extension's column by its texts, byte by byte:
  // the sizes' texts sort as their numbers do.
  std::sort(widths.begin(), widths.end());
  ASSERT_GT(widths.size(), 5u);
  for (std::size_t i = 1; i < widths.size(); ++i)
    EXPECT_LE(widths[i - 1].second, widths[i].second)
        << "\"" << widths[i - 1].first << "\" sorts before \"" << widths[i].first << "\"";
}

// How a file is stored or typed decides whether it is read, not what it shows.
TEST(Extension, DrawingsByTypeOrNameAndFilesThatAreNone) {
  ASSERT_NE(Provider(), nullptr);
  TTempDir dir;
  const std::string drawing =
      testing_support::ReadFile(fs::path(VX_SOURCE_DIR) / "examples/editor-drawing.svg");
  const auto host = HostReport({VX_SOURCE_DIR "/examples/editor-drawing.svg"});
  ASSERT_EQ(host.size(), 1u);
  const auto facts = Expected(host.begin()->second);

  dir.Write("gzip.svgz", testing_support::Gzip(drawing));
  dir.Write("zip.svgz",
            testing_support::MakeZip({testing_support::Entry("zip.svg", drawing, true)}));
  dir.Write("by-type", drawing);
  dir.Write("UPPER.SVG", drawing);
  dir.Write("notes.txt", "Not a drawing\n");
  dir.Write("broken.svg", "Not a drawing either\n");
  const fs::path pipe = dir.Path() / "pipe.svg";
  ASSERT_EQ(std::system(("mkfifo '" + pipe.string() + "'").c_str()), 0);

  struct TCase {
    const char* Name;
    const char* MimeType;
    bool Facts;
    bool Read = true;  // false: answered at once, unread
  };
  const TCase cases[] = {
      {"gzip.svgz", "image/svg+xml-compressed", true},
      {"gzip.svgz", "application/octet-stream", true},  // by name
      {"zip.svgz", "image/svg+xml-compressed", true},
      {"zip.svgz", "application/zip", true},
      {"by-type", "image/svg+xml", true},
      {"UPPER.SVG", "application/octet-stream", true},
      {"notes.txt", "text/plain", false, false},
      {"broken.svg", "image/svg+xml", false},
      {"pipe.svg", "inode/fifo", false},
      {"missing.svg", "image/svg+xml", false},
      {"by-type", "text/plain", false, false},  // neither type nor name
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " as " + c.MimeType);
    auto request = AskAndAwait(dir.Path() / c.Name, c.MimeType);
    // A file read may be answered later on a busy machine; one not read never is.
    if (!c.Read) {
      EXPECT_EQ(request->Result, cComplete);
    }
    EXPECT_EQ(Shown(*request->State), c.Facts ? facts : AllEmpty());
  }

  // A file that is not local gets every attribute empty at once, unread.
  for (const char* uri : {"sftp://example.invalid/drawing.svg", "trash:///drawing.svgz"}) {
    SCOPED_TRACE(uri);
    auto request = Ask(uri, "image/svg+xml");
    EXPECT_EQ(request->Result, cComplete);
    EXPECT_EQ(request->State->Attributes, AllEmpty());
  }
}

// A read the main loop cannot afford is put off to the worker and answered
// through the main loop, on the file object the extension kept; a cancelled one
// is never answered.
TEST(Extension, DearReadsAreAnsweredLaterOrNotAtAllWhenCancelled) {
  ASSERT_NE(Provider(), nullptr);
  TTempDir dir;
  // 8 MiB of elements, the dearest text, in a few KiB of gzip: several times
  // the time budget (about 8 ms a MiB in a release build).
  const std::string dear = testing_support::GzipFilled(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"3in\" height=\"2in\" id=\"dear\">"
      "<title>Dear</title>",
      "<g/>", 8u << 20);
  std::vector<std::string> paths;
  for (const char* name : {"dear-1.svgz", "dear-2.svgz", "dear-3.svgz"})
    paths.push_back(dir.Write(name, dear).string());
  const auto host = HostReport({paths[0]});
  ASSERT_EQ(host.size(), 1u);
  const auto facts = Expected(host.begin()->second);

  auto answered = AskAndAwait(paths[0], "image/svg+xml-compressed");
  EXPECT_EQ(answered->Result, cInProgress);
  EXPECT_EQ(Shown(*answered->State), facts);
  EXPECT_EQ(answered->State->Attributes.at("vexmeta_dimensions"), "288 \u00D7 192");

  // Cancelled at once; the next request's answer comes after the cancelled
  // one's would have (one worker, deliveries in order).
  auto cancelled = Ask(UriOf(paths[1]), "image/svg+xml-compressed");
  ASSERT_EQ(cancelled->Result, cInProgress);
  auto* iface = static_cast<TInfoProviderIface*>(
      g_type_interface_peek(G_OBJECT_GET_CLASS(Provider()), InfoProviderType()));
  iface->cancel_update(reinterpret_cast<TInfoProvider*>(Provider()), cancelled->Handle);
  auto after = AskAndAwait(paths[2], "image/svg+xml-compressed");
  EXPECT_EQ(after->Result, cInProgress);
  EXPECT_EQ(Shown(*after->State), facts);
  DrainMainLoop();
  EXPECT_EQ(cancelled->Completions, 0);
  EXPECT_TRUE(cancelled->State->Attributes.empty());

  // A handle already answered is ignored.
  iface->cancel_update(reinterpret_cast<TInfoProvider*>(Provider()), answered->Handle);
  DrainMainLoop();
  EXPECT_EQ(answered->Completions, 1);
}

// The files asked in one turn of the main loop share its time for reads at
// once; once that is spent, files go to the worker until the main loop has run.
// The budget is set through the test seam, read when a turn starts.
TEST(Extension, FilesOfATurnShareItsTimeForReadsAtOnce) {
  ASSERT_NE(Provider(), nullptr);
  struct TBudgetSeam {
    explicit TBudgetSeam(const char* AMilliseconds) { Set(AMilliseconds); }
    ~TBudgetSeam() {
      g_unsetenv("VEXMETA_ANSWER_AT_ONCE_MS");
      DrainMainLoop();
    }
    // Ends the running turn, so the next one starts with this budget.
    static void Set(const char* AMilliseconds) {
      g_setenv("VEXMETA_ANSWER_AT_ONCE_MS", AMilliseconds, TRUE);
      DrainMainLoop();
    }
  };
  TTempDir dir;
  const std::string drawing =
      testing_support::ReadFile(fs::path(VX_SOURCE_DIR) / "examples/editor-drawing.svg");
  std::vector<std::string> small;
  for (const char* name : {"small-1.svg", "small-2.svg", "small-3.svg"})
    small.push_back(dir.Write(name, drawing).string());
  // Far more than the turn's time below, as in the test above.
  const std::string dear =
      dir.Write("dear.svgz",
                testing_support::GzipFilled("<svg width=\"1\" height=\"1\">", "<g/>", 8u << 20))
          .string();
  const auto host = HostReport({small[0]});
  ASSERT_EQ(host.size(), 1u);
  const auto facts = Expected(host.begin()->second);

  {
    SCOPED_TRACE("no time for reads at once: every file to the worker, every value arrives");
    TBudgetSeam seam("0");
    std::vector<std::unique_ptr<TRequest>> requests;
    for (const std::string& path : small) {
      requests.push_back(Ask(UriOf(path), "image/svg+xml"));
      EXPECT_EQ(requests.back()->Result, cInProgress);
      EXPECT_TRUE(requests.back()->State->Attributes.empty());
    }
    for (const auto& request : requests) {
      AwaitAnswer(*request);
      EXPECT_EQ(request->Completions, 1);
      EXPECT_EQ(Shown(*request->State), facts);
    }
  }
  {
    SCOPED_TRACE("a read that does not fit spends the turn; the next file waits for the next");
    TBudgetSeam seam("5");
    auto first = Ask(UriOf(dear), "image/svg+xml-compressed");
    auto second = Ask(UriOf(small[0]), "image/svg+xml");
    EXPECT_EQ(first->Result, cInProgress);
    EXPECT_EQ(second->Result, cInProgress);
    EXPECT_TRUE(second->State->Attributes.empty());
    // Time enough for anything in the turns from here on.
    TBudgetSeam::Set("60000");
    AwaitAnswer(*second);
    EXPECT_EQ(Shown(*second->State), facts);
    auto third = Ask(UriOf(small[1]), "image/svg+xml");
    EXPECT_EQ(third->Result, cComplete);
    EXPECT_EQ(Shown(*third->State), facts);
    AwaitAnswer(*first);
    EXPECT_EQ(first->Completions, 1);
  }
}

#if defined(VX_FM_NAME_AND_DESC)
// Nemo's list of extensions shows the name and one-line description the
// provider gives, as "name:::description".
TEST(Extension, NemoListsItsNameAndDescription) {
  ASSERT_NE(Provider(), nullptr);
  ASSERT_TRUE(g_type_is_a(G_OBJECT_TYPE(Provider()), NEMO_TYPE_NAME_AND_DESC_PROVIDER));
  GList* list =
      nemo_name_and_desc_provider_get_name_and_desc(NEMO_NAME_AND_DESC_PROVIDER(Provider()));
  ASSERT_EQ(g_list_length(list), 1u);
  const std::string text = static_cast<const char*>(list->data);
  g_list_free_full(list, g_free);
  const std::size_t split = text.find(":::");
  ASSERT_NE(split, std::string::npos) << text;
  EXPECT_EQ(text.substr(0, split), "Vexmeta");
  const std::string description = text.substr(split + 3);
  EXPECT_FALSE(description.empty());
  EXPECT_EQ(description.find_first_of("\n\r"), std::string::npos) << description;
  EXPECT_EQ(description.find(":::"), std::string::npos) << description;
}
#endif

// Unloading the extension waits for the worker and drops answers not given
// (ctest runs each test in a process of its own, so the others keep theirs).
TEST(ExtensionShutdown, DropsAReadInProgress) {
  ASSERT_NE(Provider(), nullptr);
  TTempDir dir;
  const fs::path dear = dir.Write(
      "dear.svgz", testing_support::GzipFilled("<svg width=\"1\" height=\"1\">", "<g/>", 8u << 20));
  auto request = Ask(UriOf(dear), "image/svg+xml-compressed");
  EXPECT_EQ(request->Result, cInProgress);
  Entry<TShutdown>("_module_shutdown")();
  DrainMainLoop();
  EXPECT_EQ(request->Completions, 0);
}

// The hostile set as the file manager shows a folder of it: every item asked,
// while another thread rewrites the changing drawing. Every column of every
// item is answered (at once or later), every value is UTF-8 that GLib takes
// (g_utf8_validate), and what is no regular file gets empty cells.
TEST(ExtensionHostile, EveryItemAnswersWellFormedUtf8) {
  ASSERT_NE(Provider(), nullptr);
  TTempDir dir;
  std::string error;
  const auto items = testing_support::WriteHostileSet(dir.Path(), error);
  ASSERT_FALSE(items.empty()) << error;
  const testing_support::TChangingFile changing(dir.Path());
  for (const auto& item : items) {
    SCOPED_TRACE(item.Name + ": " + item.What);
    const fs::path path = dir.Path() / item.Name;
    for (const std::string& mime : {MimeByName(path), std::string("image/svg+xml")}) {
      auto request = AskAndAwait(path, mime);
      const auto shown = Shown(*request->State);
      EXPECT_EQ(shown.size(), AllEmpty().size());
      for (const auto& [attribute, value] : request->State->Attributes)
        EXPECT_TRUE(g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr))
            << attribute;
      if (item.Kind == testing_support::THostileKind::hkNotAFile) {
        EXPECT_EQ(shown, AllEmpty());
      }
    }
  }
}

#if defined(VX_FILES_LINKED)
// A read that fails on the extension's worker thread, injected through the file
// calls of the engine (linked into this program with the module's code): the
// file's cells are answered empty, nothing crashes, and the next time the file
// manager asks, the file is read afresh and shows its facts.
TEST(ExtensionFaults, AReadFailingOnTheWorkerGivesEmptyCellsAndTheNextAskReadsAgain) {
  ASSERT_NE(Provider(), nullptr);
  TTempDir dir;
  // 32 MiB of elements: the read at once gives up after its budget, some MiB
  // in, and the worker reads on to the fault at 24 MiB.
  std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"3in\" height=\"2in\">";
  text.resize(std::size_t{32} << 20, ' ');
  for (std::size_t i = 200; i + 4 <= text.size() - 6; i += 4) text.replace(i, 4, "<g/>");
  text.replace(text.size() - 6, 6, "</svg>");
  const fs::path dear = dir.Write("dear.svg", text);

  testing_support::TFilePlan failing;
  failing.Label = "fails at 24 MiB";
  failing.FailAt = std::int64_t{24} << 20;
  testing_support::TFaultyFiles faults(u"dear.svg", failing);
  auto failed = AskAndAwait(dear, "image/svg+xml");
  EXPECT_EQ(failed->Result, cInProgress);  // answered on the worker
  EXPECT_EQ(Shown(*failed->State), AllEmpty());
  EXPECT_GE(faults.FailedReads(), 1);

  faults.SetPlan({});
  const int opens = faults.Opens();
  auto again = AskAndAwait(dear, "image/svg+xml");
  EXPECT_GT(faults.Opens(), opens);
  EXPECT_EQ(again->State->Attributes.at("vexmeta_dimensions"), "288 \u00D7 192");
}
#endif
