// A folder of large drawings opened in a file manager's list view, through the
// column extension as the file manager runs it: the module loaded by a
// GTypeModule, update_file_info called for every file of the folder in one
// dispatch of the main loop, then the main loop run until every file's values
// are delivered. Reports the main thread's longest stall (the longest dispatch
// of the main loop, the file manager's own calls included, with the main
// thread's processor time in it) and the time until the last column is filled. Built once per file
// manager, as the module is. With --one it reads one file so and prints the
// time until its columns are filled; with --section (GNOME Files), the time
// until the Drawing section of the file's properties dialog is filled
// (bench_consumers runs them per drawing).
//   bench_files_<fm> [--files 500] [--size-mib 1] [--repeat 3] [--module PATH]
//   bench_files_<fm> [--module PATH] --one FILE
//   bench_files_nautilus [--module PATH] --section FILE
#include <gio/gio.h>
#include <glib-object.h>
#include <glib.h>
#include <gmodule.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DrawingPage.h"
#include "FileManagerApi.h"

namespace fs = std::filesystem;
using namespace files_api;

namespace {

// ---------------------------------------------------------------------------
// The module, loaded as the file managers load theirs.

const char* gModulePath = VX_BENCH_MODULE_PATH;

struct TLoader {
  GTypeModule Parent;
};
struct TLoaderClass {
  GTypeModuleClass Parent;
};

GModule* gLibrary = nullptr;

gboolean LoaderLoad(GTypeModule* AModule) {
  gLibrary = g_module_open(gModulePath,
                           static_cast<GModuleFlags>(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
  gpointer initialize = nullptr;
  const std::string name = std::string(cModulePrefix) + "_module_initialize";
  if (gLibrary == nullptr || !g_module_symbol(gLibrary, name.c_str(), &initialize)) {
    std::fprintf(stderr, "failed: %s\n", g_module_error());
    return FALSE;
  }
  reinterpret_cast<void (*)(GTypeModule*)>(initialize)(AModule);
  return TRUE;
}

void LoaderUnload(GTypeModule* /*AModule*/) {}

void LoaderClassInit(gpointer AClass, gpointer /*AData*/) {
  auto* moduleClass = static_cast<GTypeModuleClass*>(AClass);
  moduleClass->load = LoaderLoad;
  moduleClass->unload = LoaderUnload;
}

// The info provider made from the module's one listed type, or null.
GObject* LoadProvider() {
  const GType loaderType = g_type_register_static_simple(
      G_TYPE_TYPE_MODULE, "VxBenchLoader", sizeof(TLoaderClass), LoaderClassInit, sizeof(TLoader),
      nullptr, static_cast<GTypeFlags>(0));
  auto* module = static_cast<GTypeModule*>(g_object_new(loaderType, nullptr));
  if (!g_type_module_use(module)) return nullptr;
  gpointer listTypes = nullptr;
  const std::string list = std::string(cModulePrefix) + "_module_list_types";
  if (!g_module_symbol(gLibrary, list.c_str(), &listTypes)) return nullptr;
  const GType* types = nullptr;
  int count = 0;
  reinterpret_cast<void (*)(const GType**, int*)>(listTypes)(&types, &count);
  if (count != 1 || !g_type_is_a(types[0], InfoProviderType())) return nullptr;
  return static_cast<GObject*>(g_object_new(types[0], nullptr));
}

// ---------------------------------------------------------------------------
// A file as the file manager describes it to the extension: its URI, and the
// dimensions it was given.

struct TFileState {
  std::string Uri;
  std::string Dimensions;
  bool Answered = false;
};

struct TBenchFile {
  GObject Parent;
  TFileState* State;
};

TFileState& StateOf(TFileInfo* AFile) {
  return *reinterpret_cast<TBenchFile*>(AFile)->State;
}

GFile* FileGetLocation(TFileInfo* AFile) {
  return g_file_new_for_uri(StateOf(AFile).Uri.c_str());
}
char* FileGetUri(TFileInfo* AFile) {
  return g_strdup(StateOf(AFile).Uri.c_str());
}
char* FileGetName(TFileInfo* AFile) {
  return g_path_get_basename(StateOf(AFile).Uri.c_str());
}
char* FileGetUriScheme(TFileInfo* /*AFile*/) {
  return g_strdup("file");
}
char* FileGetMimeType(TFileInfo* /*AFile*/) {
  return g_strdup("image/svg+xml");
}
gboolean FileIsMimeType(TFileInfo* /*AFile*/, const char* AMimeType) {
  return g_content_type_is_a("image/svg+xml", AMimeType);
}
gboolean FileIsGone(TFileInfo* /*AFile*/) {
  return FALSE;
}
void FileAddStringAttribute(TFileInfo* AFile, const char* AName, const char* AValue) {
  if (std::strcmp(AName, "vexmeta_dimensions") == 0) StateOf(AFile).Dimensions = AValue;
}
char* FileGetStringAttribute(TFileInfo* /*AFile*/, const char* /*AName*/) {
  return nullptr;
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

GType BenchFileType() {
  static const GType type = [] {
    const GType t =
        g_type_register_static_simple(G_TYPE_OBJECT, "VxBenchFile", sizeof(GObjectClass), nullptr,
                                      sizeof(TBenchFile), nullptr, static_cast<GTypeFlags>(0));
    static const GInterfaceInfo cInfo = {FileInfoInit, nullptr, nullptr};
    g_type_add_interface_static(t, FileInfoType(), &cInfo);
    return t;
  }();
  return type;
}

// ---------------------------------------------------------------------------
// The folder.

// A drawing of about ABytes as an editor writes one: metadata, then groups of
// paths with long data and some text.
std::string MakeDrawing(std::size_t ABytes, unsigned ASeed) {
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" height=\"297mm\" "
      "viewBox=\"0 0 210 297\" version=\"1.1\" id=\"root\">\n"
      "<metadata><rdf:RDF><cc:Work><dc:title>Bench</dc:title></cc:Work></rdf:RDF></metadata>\n";
  unsigned seed = ASeed;
  while (svg.size() < ABytes) {
    svg += "<g style=\"fill:#12ab34;stroke:none\">\n<path d=\"M";
    for (int i = 0; i < 60; ++i) {
      seed = seed * 1103515245u + 12345u;
      svg.append(" ").append(std::to_string(seed % 1000)).append(",");
      svg.append(std::to_string((seed >> 8) % 1000));
    }
    svg += " z\"/>\n<text x=\"1\" y=\"2\">Label " + std::to_string(seed) + "</text>\n</g>\n";
  }
  return svg + "</svg>\n";
}

// AFiles drawings of ASizeBytes each in a folder kept between runs.
std::vector<std::string> MakeFolder(int AFiles, std::size_t ASizeBytes) {
  const fs::path folder =
      fs::temp_directory_path() / ("vexmeta-bench-files-" + std::to_string(ASizeBytes));
  fs::create_directories(folder);
  std::vector<std::string> uris;
  for (int i = 0; i < AFiles; ++i) {
    const fs::path path = folder / ("drawing-" + std::to_string(i) + ".svg");
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size < ASizeBytes) {
      std::ofstream(path, std::ios::binary) << MakeDrawing(ASizeBytes, static_cast<unsigned>(i));
    }
    char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    uris.emplace_back(uri);
    g_free(uri);
  }
  return uris;
}

// ---------------------------------------------------------------------------
// One opening of the folder.

// The main thread's processor time in microseconds: on a busy machine a
// dispatch's wall time holds other programs' turns too.
gint64 ThreadCpuUs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return gint64{now.tv_sec} * G_USEC_PER_SEC + now.tv_nsec / 1000;
}

struct TRun {
  GObject* Provider;
  std::vector<TFileState> Files;
  int Answered = 0;
  int AtOnce = 0;
  gint64 LastAnswerUs = 0;
};

void OnComplete(TInfoProvider* /*AProvider*/, TOperationHandle* /*AHandle*/,
                TOperationResult /*AResult*/, gpointer AData) {
  auto* file = static_cast<TFileState*>(AData);
  file->Answered = true;
}

// The file manager's dispatch that asks for every file of the folder.
gboolean AskForEveryFile(gpointer AData) {
  auto* run = static_cast<TRun*>(AData);
  auto* provider = reinterpret_cast<TInfoProvider*>(run->Provider);
  auto* iface = static_cast<TInfoProviderIface*>(
      g_type_interface_peek(G_OBJECT_GET_CLASS(run->Provider), InfoProviderType()));
  for (TFileState& state : run->Files) {
    auto* object = static_cast<TBenchFile*>(g_object_new(BenchFileType(), nullptr));
    object->State = &state;
    auto* file = reinterpret_cast<TFileInfo*>(object);
    GClosure* closure = g_cclosure_new(G_CALLBACK(OnComplete), &state, nullptr);
    g_closure_set_marshal(closure, g_cclosure_marshal_generic);
    TOperationHandle* handle = nullptr;
    if (iface->update_file_info(provider, file, closure, &handle) != cInProgress) {
      state.Answered = true;
      ++run->AtOnce;
    }
    g_closure_unref(closure);
    g_object_unref(file);
  }
  return G_SOURCE_REMOVE;
}

struct TFigures {
  double LongestStallMs = 0;
  double LongestStallCpuMs = 0;  // the main thread's processor time in it
  double LastColumnMs = 0;
  int AtOnce = 0;
  int Answered = 0;
  int Filled = 0;
};

// Runs the default main context by hand so that only its dispatches are timed,
// not its waiting for the worker.
TFigures OpenFolder(GObject* AProvider, const std::vector<std::string>& AUris) {
  TRun run{AProvider, {}};
  run.Files.resize(AUris.size());
  for (std::size_t i = 0; i < AUris.size(); ++i) run.Files[i].Uri = AUris[i];

  GMainContext* context = g_main_context_default();
  g_main_context_acquire(context);
  std::vector<GPollFD> fds(16);
  const gint64 start = g_get_monotonic_time();
  g_idle_add(AskForEveryFile, &run);
  gint64 longest = 0;
  gint64 longestCpu = 0;
  gint64 last = start;
  const gint64 deadline = start + gint64{600} * G_USEC_PER_SEC;
  for (;;) {
    const bool allAnswered = std::all_of(run.Files.begin(), run.Files.end(),
                                         [](const TFileState& AFile) { return AFile.Answered; });
    if (allAnswered || g_get_monotonic_time() > deadline) break;
    gint priority = 0;
    g_main_context_prepare(context, &priority);
    gint timeout = 0;
    gint count = 0;
    while ((count = g_main_context_query(context, priority, &timeout, fds.data(),
                                         static_cast<gint>(fds.size()))) >
           static_cast<gint>(fds.size()))
      fds.resize(static_cast<std::size_t>(count));
    g_poll(fds.data(), static_cast<guint>(count), timeout);
    if (g_main_context_check(context, priority, fds.data(), count)) {
      const gint64 begin = g_get_monotonic_time();
      const gint64 beginCpu = ThreadCpuUs();
      g_main_context_dispatch(context);
      const gint64 end = g_get_monotonic_time();
      if (end - begin > longest) {
        longest = end - begin;
        longestCpu = ThreadCpuUs() - beginCpu;
      }
      last = end;
    }
  }
  g_main_context_release(context);

  TFigures figures;
  figures.LongestStallMs = static_cast<double>(longest) / 1000.0;
  figures.LongestStallCpuMs = static_cast<double>(longestCpu) / 1000.0;
  figures.LastColumnMs = static_cast<double>(last - start) / 1000.0;
  figures.AtOnce = run.AtOnce;
  for (const TFileState& file : run.Files) {
    if (file.Answered) ++figures.Answered;
    if (file.Answered && !file.Dimensions.empty()) ++figures.Filled;
  }
  return figures;
}

#ifdef VX_FILES_NAUTILUS
// GNOME Files' Drawing section of the file's properties dialog: the model asked
// for, then the main loop run until it no longer holds the one "Reading…" item.
// Its time in microseconds; none when the file gets no section.
gint64 ReadModel(GObject* AProvider, const std::string& AUri) {
  TFileState state{AUri, {}, false};
  auto* object = static_cast<TBenchFile*>(g_object_new(BenchFileType(), nullptr));
  object->State = &state;
  GList* files = g_list_append(nullptr, object);
  const gint64 start = g_get_monotonic_time();
  GList* models = nautilus_properties_model_provider_get_models(
      NAUTILUS_PROPERTIES_MODEL_PROVIDER(AProvider), files);
  auto reading = [](NautilusPropertiesModel* AModel) {
    GListModel* items = nautilus_properties_model_get_model(AModel);
    if (g_list_model_get_n_items(items) != 1) return false;
    auto* item = static_cast<NautilusPropertiesItem*>(g_list_model_get_item(items, 0));
    const bool one =
        std::strcmp(nautilus_properties_item_get_value(item), files_page::cReadingText) == 0;
    g_object_unref(item);
    return one;
  };
  if (models != nullptr) {
    while (reading(NAUTILUS_PROPERTIES_MODEL(models->data)))
      g_main_context_iteration(nullptr, TRUE);
  }
  const gint64 end = g_get_monotonic_time();
  g_list_free_full(models, g_object_unref);
  g_list_free_full(files, g_object_unref);
  return end - start;
}
#endif

// One file's columns, from the file manager's request until the answer, or
// GNOME Files' Drawing section of it: the time, and whether the columns'
// answer came. A drawing may have no dimensions: any answer counts.
int ReadOne(const char* APath, bool ASection) {
  GObject* provider = LoadProvider();
  char* uri = g_filename_to_uri(fs::absolute(APath).c_str(), nullptr, nullptr);
  if (provider == nullptr || uri == nullptr) {
    std::printf("failed: %s\n", provider == nullptr ? "no info provider" : "no URI for the file");
    return 1;
  }
  long long timeNs = 0;
  bool answered = true;
#ifdef VX_FILES_NAUTILUS
  if (ASection) timeNs = static_cast<long long>(ReadModel(provider, uri)) * 1000;
#endif
  if (!ASection) {
    const TFigures figures = OpenFolder(provider, {uri});
    timeNs = static_cast<long long>(figures.LastColumnMs * 1e6);
    answered = figures.Answered == 1;
  }
  g_free(uri);
  std::printf("time_ns %lld\n", timeNs);
  if (!answered) std::printf("failed: no answer\n");
  return answered ? 0 : 1;
}

}  // namespace

int main(int AArgc, char** AArgv) {
  int files = 500;
  double sizeMib = 1.0;
  int repeat = 3;
  for (int i = 1; i < AArgc; ++i) {
    const std::string arg = AArgv[i];
    const char* value = i + 1 < AArgc ? AArgv[i + 1] : nullptr;
    if (arg == "--files" && value != nullptr) {
      files = std::atoi(value);
    } else if (arg == "--size-mib" && value != nullptr) {
      sizeMib = std::atof(value);
    } else if (arg == "--repeat" && value != nullptr) {
      repeat = std::atoi(value);
    } else if (arg == "--module" && value != nullptr) {
      gModulePath = value;
    } else if (arg == "--one" && value != nullptr && i + 2 == AArgc) {
      return ReadOne(value, false);
#ifdef VX_FILES_NAUTILUS
    } else if (arg == "--section" && value != nullptr && i + 2 == AArgc) {
      return ReadOne(value, true);
#endif
    } else {
      std::printf(
          "usage: %s [--files 500] [--size-mib 1] [--repeat 3] [--module PATH]\n"
          "       %s [--module PATH] --one FILE\n"
          "Opens a folder of FILES drawings of SIZE MiB each through the %s extension as\n"
          "the file manager calls it; prints the main thread's longest stall and the\n"
          "time until the last column is filled. With --one, reads one file so and\n"
          "prints the time until its columns are filled (time_ns N); with --section\n"
          "(GNOME Files), until the Drawing section of its properties is.\n",
          AArgv[0], AArgv[0], cTitle);
      return arg == "--help" ? 0 : 2;
    }
    ++i;
  }
  if (files < 1 || sizeMib <= 0 || repeat < 1) {
    std::fprintf(stderr, "failed: bad arguments\n");
    return 2;
  }
  const auto size = static_cast<std::size_t>(sizeMib * 1024 * 1024);
  const std::vector<std::string> uris = MakeFolder(files, size);
  GObject* provider = LoadProvider();
  if (provider == nullptr) {
    std::fprintf(stderr, "failed: %s offers no info provider\n", gModulePath);
    return 1;
  }
  std::printf("%s extension (%s), %d drawings of %.2f MiB\n", cTitle, gModulePath, files, sizeMib);
  std::printf("%-5s %18s %14s %18s %8s %8s\n", "run", "longest stall (ms)", "its CPU (ms)",
              "last column (ms)", "at once", "filled");
  bool failed = false;
  for (int r = 1; r <= repeat; ++r) {
    const TFigures figures = OpenFolder(provider, uris);
    std::printf("%-5d %18.1f %14.1f %18.1f %8d %8d\n", r, figures.LongestStallMs,
                figures.LongestStallCpuMs, figures.LastColumnMs, figures.AtOnce, figures.Filled);
    if (figures.Filled != files) failed = true;
  }
  if (failed) std::printf("failed: a file's columns were not filled\n");
  return failed ? 1 : 0;
}
