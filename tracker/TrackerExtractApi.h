// The calls of the desktop search extractor's own library (libtracker-extract,
// installed without headers) that the module uses, as tracker-miners 3.4
// defines them, and the entry points the extractor looks up in a module. The
// library is already loaded in the extractor's process when a module is, so the
// module links nothing of it: it looks the calls up there (ResolveExtractApi)
// and declines to work when one is missing or the installed series is not the
// one it was built for.
#pragma once

#include <gio/gio.h>
#include <glib.h>
#include <gmodule.h>
#include <libtracker-sparql/tracker-sparql.h>

extern "C" {

// NOLINTBEGIN(readability-identifier-naming): the extractor's own names
// Opaque: the extractor's record of one file it asks a module about.
typedef struct _TrackerExtractInfo TrackerExtractInfo;

// The module's entry points, looked up by these names: the extraction of one
// file (FALSE with an error: nothing extracted), and the optional set-up, run
// once when the module is loaded (FALSE with an error: the module is not used).
G_MODULE_EXPORT gboolean tracker_extract_get_metadata(TrackerExtractInfo* AInfo, GError** AError);
G_MODULE_EXPORT gboolean tracker_extract_module_init(GError** AError);
// NOLINTEND(readability-identifier-naming)
}

namespace tracker_api {

// GFile* tracker_extract_info_get_file(TrackerExtractInfo*): the file, owned by the info.
using TGetFile = GFile* (*)(TrackerExtractInfo*);
// const gchar* tracker_extract_info_get_mimetype(TrackerExtractInfo*)
using TGetMimetype = const gchar* (*)(TrackerExtractInfo*);
// void tracker_extract_info_set_resource(TrackerExtractInfo*, TrackerResource*):
// the info takes a reference of its own.
using TSetResource = void (*)(TrackerExtractInfo*, TrackerResource*);

struct TExtractApi {
  TGetFile GetFile = nullptr;
  TGetMimetype GetMimetype = nullptr;
  TSetResource SetResource = nullptr;
};

// The series of the extractor the module was built for (its library's calls and
// the way it names a file's content): the SPARQL library's major and minor
// version, released together with the extractor's.
constexpr guint cBuiltMajor = VX_TRACKER_MAJOR;
constexpr guint cBuiltMinor = VX_TRACKER_MINOR;

}  // namespace tracker_api
