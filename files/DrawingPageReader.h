// When the Drawing page is filled: at once when the drawing is read within the
// time the engine gives a window's thread (as the list-view columns are),
// otherwise by a worker thread, the page being filled through the main loop
// when the read ends. A page closed before then is never touched: the read
// holds only a weak reference to it. Every call is made on the main loop.
#pragma once

#include <glib-object.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DrawingPage.h"

namespace files_page {

enum class TPageStart : std::uint8_t {
  psNoPage,  // no drawing, or the file could not be read: the file gets no page
  psFacts,   // read: the facts are given
  psLater,   // the read would hold the window's thread too long: ReadPageLater
};

// Reads the drawing at APath within the time budget, the facts labelled in the
// user's language.
TPageStart ReadPageAtOnce(const std::string& APath, std::vector<TPageFact>& AFacts);

// Fills ATarget with the facts read later, on the main loop; AFacts is null
// when the file turned out to hold no drawing that can be read.
using TPageFill = void (*)(GObject* ATarget, const std::vector<TPageFact>* AFacts);

// Reads the drawing at APath on the worker and calls AFill with ATarget when
// the read ends, unless ATarget is finalized before (then the read is skipped
// when it has not begun, and its result dropped).
void ReadPageLater(const std::string& APath, GObject* ATarget, TPageFill AFill);

// When the module is unloaded: waits for the read in progress and drops the
// others; no page is filled afterwards. Reads may start again after it.
void StopPageReads();

}  // namespace files_page
