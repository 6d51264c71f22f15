// Preloaded into the desktop search extractor by the module's tests: the SPARQL
// library then answers every version check as a library of another series
// would, so the module must find the installed extractor is not one it was
// built for.
#include <glib.h>

// NOLINTBEGIN(readability-identifier-naming): the SPARQL library's name
extern "C" __attribute__((visibility("default"))) const gchar* tracker_check_version(guint, guint,
                                                                                     guint) {
  return "Tracker of another series";
}
// NOLINTEND(readability-identifier-naming)
