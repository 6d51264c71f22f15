// The extract module of the desktop search indexer (tracker-miners 3.4): the
// extractor hands it one .svg or .svgz file at a time and it describes the
// drawing's content in the indexer's vocabulary. It reads the file through the
// extraction layer, opening nothing but that file with plain read-only calls,
// which the extractor's sandbox allows; the calls of the extractor's own
// library are looked up in its process (TrackerExtractApi.h).
#include <gmodule.h>

#include <cstdint>
#include <optional>
#include <string>

#include "TrackerExtractApi.h"
#include "extract/Dimensions.h"
#include "extract/IsoDate.h"
#include "extract/SvgExtractor.h"
#include "extract/SvgFields.h"
#include "platform/Platform.h"

namespace {

using tracker_api::TExtractApi;

// How a field becomes a property of the drawing's content.
enum TTrackerForm : std::uint8_t {
  tfText,    // the text, when not empty (xsd:string)
  tfPixels,  // the pixels at 96 dpi, when width and height are both known (xsd:integer)
  tfDate,    // the text as an ISO 8601 date or date-time (xsd:dateTime, given in UTC)
};

struct TTrackerRow {
  const char* Property;  // in the indexer's ontology
  std::int32_t Field;    // the row of cFieldRows the value comes from
  TTrackerForm Form;
};

constexpr TTrackerRow cTrackerRows[] = {
    {"nfo:width", FieldIndex(&TVexmeta::IntWidth), tfPixels},
    {"nfo:height", FieldIndex(&TVexmeta::IntHeight), tfPixels},
    {"nie:title", FieldIndex(&TVexmeta::MetadataTitle), tfText},
    {"nie:description", FieldIndex(&TVexmeta::MetadataDescription), tfText},
    {"nie:generator", FieldIndex(&TVexmeta::Application), tfText},
    {"nie:contentCreated", FieldIndex(&TVexmeta::MetadataDate), tfDate},
};

static_assert(cFieldRows[FieldIndex(&TVexmeta::IntWidth)].Dpi[0] == 96 &&
                  cFieldRows[FieldIndex(&TVexmeta::IntHeight)].Dpi[0] == 96,
              "nfo:width and nfo:height are pixels at 96 dpi");

GQuark ErrorDomain() {
  return g_quark_from_static_string("vexmeta-svg-extract");
}

// The extractor's calls, when its series is the one the module was built for
// and every call is there; null otherwise. Looked up once, on first use.
const TExtractApi* ExtractApi(GError** AError) {
  static const std::optional<TExtractApi> api = []() -> std::optional<TExtractApi> {
    // The SPARQL library in use is of the built series: at least its first
    // release, and below the next.
    if (tracker_check_version(tracker_api::cBuiltMajor, tracker_api::cBuiltMinor, 0) != nullptr ||
        tracker_check_version(tracker_api::cBuiltMajor, tracker_api::cBuiltMinor + 1, 0) == nullptr)
      return std::nullopt;
    // The process's global symbols, the extractor's library among them; the
    // handle is never closed, as the library is never unloaded.
    GModule* process = g_module_open(nullptr, G_MODULE_BIND_LAZY);
    if (process == nullptr) return std::nullopt;
    TExtractApi found;
    gpointer getFile = nullptr, getMimetype = nullptr, setResource = nullptr;
    if (!g_module_symbol(process, "tracker_extract_info_get_file", &getFile) ||
        !g_module_symbol(process, "tracker_extract_info_get_mimetype", &getMimetype) ||
        !g_module_symbol(process, "tracker_extract_info_set_resource", &setResource))
      return std::nullopt;
    found.GetFile = reinterpret_cast<tracker_api::TGetFile>(getFile);
    found.GetMimetype = reinterpret_cast<tracker_api::TGetMimetype>(getMimetype);
    found.SetResource = reinterpret_cast<tracker_api::TSetResource>(setResource);
    return found;
  }();
  if (api) return &*api;
  g_set_error(AError, ErrorDomain(), 1,
              "Vexmeta's SVG module was built for the extractor of the %u.%u series, which is "
              "not the one installed; it is not used",
              tracker_api::cBuiltMajor, tracker_api::cBuiltMinor);
  return nullptr;
}

// The drawing's text in UTF-8, or empty.
std::string TextOf(const TVexmeta& ARecord, const TFieldRow& AField) {
  std::string text = platform::Utf16ToUtf8(ARecord.*AField.Text);
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) ? text
                                                                                 : std::string();
}

void SetDate(TrackerResource* AResource, const char* AProperty, const std::u16string& AText) {
  const std::optional<std::uint64_t> time = FileTimeOfIsoDate(AText);
  if (!time) return;
  const std::int64_t units = static_cast<std::int64_t>(*time - cUnixEpochFileTime);
  // Whole seconds towards minus infinity, then the rest in microseconds.
  std::int64_t seconds = units / 10'000'000;
  std::int64_t rest = units % 10'000'000;
  if (rest < 0) {
    seconds -= 1;
    rest += 10'000'000;
  }
  GDateTime* whole = g_date_time_new_from_unix_utc(seconds);
  if (whole == nullptr) return;
  GDateTime* date = g_date_time_add(whole, rest / 10);
  g_date_time_unref(whole);
  if (date == nullptr) return;
  // As text, as the extractor's own modules give dates: its 3.4 series cannot
  // write a date-time value set as one.
  if (gchar* text = g_date_time_format_iso8601(date); text != nullptr) {
    tracker_resource_set_string(AResource, AProperty, text);
    g_free(text);
  }
  g_date_time_unref(date);
}

// The content resource of the drawing at ARecord, named by the file's URI as
// the extractor names a file's content.
TrackerResource* ResourceOf(GFile* AFile, const TVexmeta& ARecord) {
  char* uri = g_file_get_uri(AFile);
  TrackerResource* resource = tracker_resource_new(uri);
  g_free(uri);
  tracker_resource_add_uri(resource, "rdf:type", "nfo:VectorImage");
  const bool sized = ARecord.IntWidth > 0 && ARecord.IntHeight > 0;
  for (const TTrackerRow& row : cTrackerRows) {
    const TFieldRow& field = cFieldRows[row.Field];
    switch (row.Form) {
      case tfText:
        if (std::string text = TextOf(ARecord, field); !text.empty())
          tracker_resource_set_string(resource, row.Property, text.c_str());
        break;
      case tfPixels:
        if (sized) tracker_resource_set_int(resource, row.Property, FieldPixels(field, ARecord, 0));
        break;
      case tfDate:
        SetDate(resource, row.Property, ARecord.*field.Text);
        break;
    }
  }
  return resource;
}

// The facts of the drawing in the local file AFile; false with an error when
// it is not a drawing the engine reads.
bool ReadDrawing(GFile* AFile, TVexmeta& ARecord, GError** AError) {
  char* path = g_file_get_path(AFile);
  if (path == nullptr) {
    g_set_error(AError, ErrorDomain(), 2, "Only local files are read");
    return false;
  }
  const std::u16string name = platform::FileNameToUtf16(path);
  g_free(path);
  TSvgExtractor extractor;
  TExtractOptions options;
  // The embedded-image fact has no property here; no other fact depends on it.
  options.ParseImageNode = false;
  switch (extractor.ReadFile(name, options, ARecord)) {
    case TFileRead::frDrawing:
      return true;
    case TFileRead::frUnreadable:
      g_set_error(AError, ErrorDomain(), 3, "The file could not be read");
      return false;
    default:
      g_set_error(AError, ErrorDomain(), 4, "The file holds no SVG drawing, or it is damaged");
      return false;
  }
}

}  // namespace

gboolean tracker_extract_module_init(GError** AError) {
  try {
    return ExtractApi(AError) != nullptr;
  } catch (...) {
    g_set_error(AError, ErrorDomain(), 5, "Vexmeta's SVG module could not be set up");
    return FALSE;
  }
}

gboolean tracker_extract_get_metadata(TrackerExtractInfo* AInfo, GError** AError) {
  try {
    const TExtractApi* api = ExtractApi(AError);
    if (api == nullptr || AInfo == nullptr) return FALSE;
    GFile* file = api->GetFile(AInfo);
    if (file == nullptr) return FALSE;
    TVexmeta record;
    if (!ReadDrawing(file, record, AError)) return FALSE;
    TrackerResource* resource = ResourceOf(file, record);
    api->SetResource(AInfo, resource);
    g_object_unref(resource);
    return TRUE;
  } catch (...) {
    // Nothing may end the extractor: the file gets no facts.
    g_set_error(AError, ErrorDomain(), 5, "Vexmeta's SVG module failed on this file");
    return FALSE;
  }
}
