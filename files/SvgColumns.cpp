// The list-view columns of GNOME Files, Nemo and Caja: one column per field of
// the drawing's record and one "Dimensions" column, filled through the file
// managers' info provider. Built once per file manager (FileManagerApi.h maps the
// names); it reads drawings through the extraction layer, with no cache, since
// the file managers ask again when a file changes.
#include <gio/gio.h>
#include <glib-object.h>
#include <glib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "DrawingPageProvider.h"
#include "FieldLabels.h"
#include "FileInfoPath.h"
#include "FileManagerApi.h"
#include "TurnBudget.h"
#include "extract/Dimensions.h"
#include "extract/SvgExtractor.h"
#include "extract/SvgFields.h"
#include "platform/Platform.h"

namespace {

using namespace files_api;

using files_labels::Translated;
using files_labels::UserSection;
using files_paths::DrawingPath;

// ---------------------------------------------------------------------------
// Columns and values.

constexpr std::string_view cAttributePrefix = "vexmeta_";
constexpr const char* cDimensions = "vexmeta_dimensions";
constexpr const char* cEmbeddedMark = "\u2713";  // a check mark: the flag is on
constexpr const char* cTimes = " \u00D7 ";

// A field's attribute: our prefix and its name in lower case, "_" for blanks
// ("vexmeta_calculated_width").
std::string AttributeOf(const TFieldRow& ARow) {
  std::string attribute(cAttributePrefix);
  for (char c : ARow.Name) attribute += c == ' ' ? '_' : static_cast<char>(g_ascii_tolower(c));
  return attribute;
}

// The file managers sort an extension's column by comparing its texts byte by
// byte, so a number is padded with leading blanks to the width of the largest
// one: then "  96" comes before "1024", as 96 before 1024. The columns of
// numbers are right-aligned, which keeps the blanks out of sight.
constexpr std::size_t cNumberWidth = 10;  // digits of the largest 32-bit value

std::string SortableNumber(std::int32_t AValue) {
  std::string digits = std::to_string(AValue);
  if (digits.size() < cNumberWidth) digits.insert(0, cNumberWidth - digits.size(), ' ');
  return digits;
}

// One column per field, in field order, then Dimensions.
struct TColumnSpec {
  std::string Attribute;
  std::string Label;
  std::string Description;
  bool Number;
};

std::vector<TColumnSpec> ColumnSpecs() {
  const char* section = UserSection();
  std::vector<TColumnSpec> specs;
  std::string widthLabel;
  std::string heightLabel;
  std::string unitName;
  for (const TFieldRow& row : cFieldRows) {
    std::string label = Translated(section, row.Name);
    std::string description = label;
    if (row.Kind == fkPixels) {
      // The first unit, the resolution the record holds (96 dpi).
      std::string units = Translated(section, row.Units);
      unitName = units.substr(0, units.find('|'));
      description += ", " + unitName;
      if (row.Pixels == &TVexmeta::IntWidth) widthLabel = label;
      if (row.Pixels == &TVexmeta::IntHeight) heightLabel = label;
    }
    specs.push_back({AttributeOf(row), label, description, row.Kind == fkPixels});
  }
  specs.push_back({cDimensions, Translated(section, "Dimensions"),
                   widthLabel + cTimes + heightLabel + ", " + unitName, false});
  return specs;
}

// A text as a one-line cell shows it: each line break in it a blank (the
// engine gives texts trimmed, with LF line breaks here).
std::string OneLine(const std::u16string& AText) {
  std::string line = platform::Utf16ToUtf8(AText);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

// Every attribute of a file: empty without a record, so the file manager shows
// an empty cell rather than "unknown".
void AddValues(TFileInfo* AFile, const TVexmeta* ARecord) {
  for (const TFieldRow& row : cFieldRows) {
    std::string value;
    if (ARecord != nullptr) {
      switch (row.Kind) {
        case fkText:
          value = OneLine(ARecord->*row.Text);
          break;
        case fkFlag:
          if (ARecord->*row.Flag) value = cEmbeddedMark;
          break;
        case fkPixels:
          if (std::int32_t pixels = FieldPixels(row, *ARecord, 0); pixels > 0)
            value = SortableNumber(pixels);
          break;
      }
    }
    AddStringAttribute(AFile, AttributeOf(row).c_str(), value.c_str());
  }
  std::string dimensions;
  if (ARecord != nullptr) {
    const std::int32_t width =
        FieldPixels(cFieldRows[FieldIndex(&TVexmeta::IntWidth)], *ARecord, 0);
    const std::int32_t height =
        FieldPixels(cFieldRows[FieldIndex(&TVexmeta::IntHeight)], *ARecord, 0);
    if (width > 0 && height > 0)
      dimensions = std::to_string(width) + cTimes + std::to_string(height);
  }
  AddStringAttribute(AFile, cDimensions, dimensions.c_str());
}

// ---------------------------------------------------------------------------
// The module's state: the columns, the extractors and the reads in progress.

// A read put off to the worker. The main loop owns it: it is made by
// update_file_info and freed by its delivery (or at shutdown); the worker only
// reads the file into Record.
struct TJob {
  TInfoProvider* Provider;
  TFileInfo* File;
  GClosure* Closure;
  std::string Path;
  TSvgExtractor* Reader = nullptr;  // the worker's, set before the hand-over
  TVexmeta Record;
  bool Drawing = false;
  std::atomic<bool> Cancelled{false};
  // Whose the job is: 0 the main loop's, 1 the worker's, 2 the main loop's
  // again. GLib's queue and idle source hand it over under locks of their own;
  // the stage, stored before each hand-over and loaded after it, orders the
  // job's fields in C++ terms too (and for ThreadSanitizer, which cannot see
  // GLib's locks).
  std::atomic<int> Stage{0};
};

struct TModuleState {
  GType ProviderType = 0;
  TSvgExtractor AtOnce;  // reads on the main loop
  TSvgExtractor Worker;  // reads on the worker thread
  // Jobs the worker is in: the last one's release, loaded at shutdown after
  // the pool has waited for it, orders the worker's use of the state before
  // the state is freed (for ThreadSanitizer too, which cannot see GLib's wait).
  std::atomic<int> Reading{0};
  GThreadPool* Pool = nullptr;
  std::unordered_set<TJob*> Pending;  // on the main loop only
  // The main loop's time for reads at once, per turn.
  files_budget::TTurnBudget Turn;
};

TModuleState* gState = nullptr;

// The columns are made once and never released: Nemo 5.6.4 frees a column
// wrongly when its last reference goes, and the file managers ask for the
// columns again for every view.
std::vector<TColumn*>* gColumns = nullptr;

void FreeJob(TJob* AJob) {
  g_object_unref(AJob->File);
  g_object_unref(AJob->Provider);
  g_closure_unref(AJob->Closure);
  delete AJob;
}

gboolean DeliverJob(gpointer AData) {
  auto* job = static_cast<TJob*>(AData);
  (void)job->Stage.load(std::memory_order_acquire);
  try {
    if (gState != nullptr) gState->Pending.erase(job);
    if (!job->Cancelled.load()) {
      AddValues(job->File, job->Drawing ? &job->Record : nullptr);
      g_debug("%s: answered later (%s)", job->Path.c_str(),
              job->Drawing ? "drawing" : "no drawing");
      UpdateComplete(job->Closure, job->Provider, reinterpret_cast<TOperationHandle*>(job),
                     cComplete);
    } else {
      g_debug("%s: cancelled, not answered", job->Path.c_str());
    }
  } catch (...) {
    // Nothing may end the file manager: the file keeps what it had.
  }
  FreeJob(job);
  return G_SOURCE_REMOVE;
}

void RunJob(gpointer AData, gpointer AUserData) {
  auto* job = static_cast<TJob*>(AData);
  auto* state = static_cast<TModuleState*>(AUserData);
  (void)job->Stage.load(std::memory_order_acquire);
  state->Reading.fetch_add(1, std::memory_order_acq_rel);
  try {
    if (!job->Cancelled.load()) {
      const TExtractOptions options;  // the engine's own limits bound the read
      job->Drawing = job->Reader->ReadFile(platform::FileNameToUtf16(job->Path), options,
                                           job->Record) == TFileRead::frDrawing;
    }
  } catch (...) {
    job->Drawing = false;
  }
  // The job is the main loop's again from here on.
  job->Stage.store(2, std::memory_order_release);
  g_idle_add_full(G_PRIORITY_DEFAULT, DeliverJob, job, nullptr);
  state->Reading.fetch_sub(1, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// The provider's interfaces.

GList* GetColumns(TColumnProvider* /*AProvider*/) {
  try {
    if (gColumns == nullptr) {
      auto* columns = new std::vector<TColumn*>();
      for (const TColumnSpec& spec : ColumnSpecs()) {
        // Named as its attribute: the name a file manager's settings list
        // visible columns by.
        TColumn* column = NewColumn(spec.Attribute.c_str(), spec.Attribute.c_str(),
                                    spec.Label.c_str(), spec.Description.c_str());
        if (spec.Number) g_object_set(column, "xalign", 1.0, nullptr);
        columns->push_back(column);
      }
      gColumns = columns;
    }
    GList* list = nullptr;
    for (TColumn* column : *gColumns) list = g_list_prepend(list, g_object_ref(column));
    return g_list_reverse(list);
  } catch (...) {
    return nullptr;
  }
}

TOperationResult UpdateFileInfo(TInfoProvider* AProvider, TFileInfo* AFile, GClosure* AClosure,
                                TOperationHandle** AHandle) {
  try {
    if (AHandle != nullptr) *AHandle = nullptr;
    const std::string path = DrawingPath(AFile);
    if (path.empty() || gState == nullptr) {
      AddValues(AFile, nullptr);
      return cComplete;
    }
    // At once when the read fits what is left of this turn's time for reads at
    // once, and never longer than a window's thread may spend on one file;
    // otherwise, and for every file after the turn's time is spent, on the
    // worker. A caller that cannot wait is answered at once in any case.
    const bool canWait = AClosure != nullptr && AHandle != nullptr;
    const std::int64_t left = canWait ? gState->Turn.Left() : cAnswerAtOnceNs;
    if (left > 0) {
      TVexmeta record;
      TExtractOptions options;
      options.TimeBudgetNs = std::min(left, cAnswerAtOnceNs);
      const gint64 start = g_get_monotonic_time();
      const TFileRead read =
          gState->AtOnce.ReadFile(platform::FileNameToUtf16(path), options, record);
      gState->Turn.Spend((g_get_monotonic_time() - start) * 1000);
      if (read != TFileRead::frOverBudget || !canWait) {
        const bool drawing = read == TFileRead::frDrawing;
        AddValues(AFile, drawing ? &record : nullptr);
        g_debug("%s: answered at once (%s)", path.c_str(), drawing ? "drawing" : "no drawing");
        return cComplete;
      }
    }
    auto* job = new TJob{AProvider, AFile, AClosure, path, &gState->Worker, {}};
    g_object_ref(AProvider);
    g_object_ref(AFile);
    g_closure_ref(AClosure);
    gState->Pending.insert(job);
    *AHandle = reinterpret_cast<TOperationHandle*>(job);
    g_debug("%s: put off to the worker", path.c_str());
    job->Stage.store(1, std::memory_order_release);
    g_thread_pool_push(gState->Pool, job, nullptr);
    return cInProgress;
  } catch (...) {
    return cFailed;
  }
}

void CancelUpdate(TInfoProvider* /*AProvider*/, TOperationHandle* AHandle) {
  auto* job = reinterpret_cast<TJob*>(AHandle);
  // A handle of an answer already given is no longer known, and ignored.
  if (gState != nullptr && gState->Pending.count(job) != 0) job->Cancelled.store(true);
}

#if defined(VX_FM_NAME_AND_DESC)
// What the file manager's list of extensions shows: "name:::description", the
// description one line.
GList* GetNameAndDesc(NemoNameAndDescProvider* /*AProvider*/) {
  return g_list_append(nullptr, g_strdup("Vexmeta:::List-view columns with the facts of SVG "
                                         "drawings: sizes, title, description, application"));
}

void InitNameAndDescProvider(gpointer AIface, gpointer /*AData*/) {
  static_cast<NemoNameAndDescProviderInterface*>(AIface)->get_name_and_desc = GetNameAndDesc;
}
#endif

void InitColumnProvider(gpointer AIface, gpointer /*AData*/) {
  static_cast<TColumnProviderIface*>(AIface)->get_columns = GetColumns;
}

void InitInfoProvider(gpointer AIface, gpointer /*AData*/) {
  auto* iface = static_cast<TInfoProviderIface*>(AIface);
  iface->update_file_info = UpdateFileInfo;
  iface->cancel_update = CancelUpdate;
}

}  // namespace

// ---------------------------------------------------------------------------
// The module's entry points, the only symbols it exports.

extern "C" {

__attribute__((visibility("default"))) void VX_FM_MODULE_INITIALIZE(GTypeModule* AModule) {
  try {
    if (gState != nullptr) return;
    auto* state = new TModuleState();
    static const GTypeInfo cInfo = {
        sizeof(GObjectClass), nullptr, nullptr, nullptr, nullptr, nullptr,
        sizeof(GObject),      0,       nullptr, nullptr};
    const std::string typeName = std::string("Vexmeta") + cModulePrefix + "Columns";
    state->ProviderType = g_type_module_register_type(AModule, G_TYPE_OBJECT, typeName.c_str(),
                                                      &cInfo, static_cast<GTypeFlags>(0));
    static const GInterfaceInfo cColumns = {InitColumnProvider, nullptr, nullptr};
    static const GInterfaceInfo cInfoProvider = {InitInfoProvider, nullptr, nullptr};
    g_type_module_add_interface(AModule, state->ProviderType, ColumnProviderType(), &cColumns);
    g_type_module_add_interface(AModule, state->ProviderType, InfoProviderType(), &cInfoProvider);
#if defined(VX_FM_NAME_AND_DESC)
    static const GInterfaceInfo cNameAndDesc = {InitNameAndDescProvider, nullptr, nullptr};
    g_type_module_add_interface(AModule, state->ProviderType, NEMO_TYPE_NAME_AND_DESC_PROVIDER,
                                &cNameAndDesc);
#endif
    RegisterDrawingPages(AModule, state->ProviderType);
    // One worker: the file manager asks for one file at a time.
    state->Pool = g_thread_pool_new(RunJob, state, 1, FALSE, nullptr);
    gState = state;
    g_debug("loaded by %s", cTitle);
  } catch (...) {
    // Without its state the module offers no types.
  }
}

__attribute__((visibility("default"))) void VX_FM_MODULE_SHUTDOWN(void) {
  try {
    TModuleState* state = gState;
    if (state == nullptr) return;
    // Reads queued are dropped and the one running is waited for; answers not
    // yet delivered are never given.
    g_thread_pool_free(state->Pool, TRUE, TRUE);
    while (state->Reading.load(std::memory_order_acquire) != 0) {
      // The pool has waited for the worker: this loop never turns.
    }
    StopDrawingPages();
    gState = nullptr;
    for (TJob* job : state->Pending) {
      g_idle_remove_by_data(job);
      FreeJob(job);
    }
    delete state;
  } catch (...) {
  }
}

__attribute__((visibility("default"))) void VX_FM_MODULE_LIST_TYPES(const GType** ATypes,
                                                                    int* ACount) {
  static GType types[1];
  types[0] = gState != nullptr ? gState->ProviderType : 0;
  *ATypes = types;
  *ACount = gState != nullptr ? 1 : 0;
}

}  // extern "C"
