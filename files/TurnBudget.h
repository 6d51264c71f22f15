// The time a file manager's main thread may spend answering at once, shared by
// every file it asks for in one turn of its main loop: a folder of hundreds of
// drawings is asked for in one go, and a budget per file would hold the window
// for the sum of them. What is left of a turn bounds each read; once it is
// spent, files go to the worker until the main loop has run again.
#pragma once

#include <glib.h>

#include <cstdint>

namespace files_budget {

// The main thread's time for reads at once in one turn of its main loop: less
// than a frame of a 60 Hz screen, which leaves the file manager the rest of it.
constexpr std::int64_t cTurnBudgetNs = 10'000'000;

// The environment variable that sets another budget for a turn, in whole
// milliseconds from 0 (0: every file goes to the worker); read when a turn
// starts. A seam for tests, which must not depend on the machine's speed.
constexpr char cTurnBudgetVariable[] = "VEXMETA_ANSWER_AT_ONCE_MS";

// Lives on the main thread and is used there only.
//
// A turn lasts until control returns to the main loop. Its start (the first
// question after the last turn ended) adds a one-shot idle source of high
// priority to the default main context, and the turn ends when that source is
// dispatched: that happens only once the dispatch that asked has returned to
// the main loop, whatever the file manager called from (an idle, an I/O
// callback, a signal handler several calls deep) and however long it asked in
// a row, and also from a nested main loop, during which the window is served
// too. A clock window or a count of calls could not tell one long dispatch
// from several short ones.
class TTurnBudget {
 public:
  TTurnBudget() = default;
  ~TTurnBudget();  // removes the source that ends the turn
  TTurnBudget(const TTurnBudget&) = delete;
  TTurnBudget& operator=(const TTurnBudget&) = delete;

  // What is left of this turn's time in nanoseconds (0 once it is spent);
  // starts a turn when none is running.
  std::int64_t Left();
  // Takes ANs, measured on the main thread's clock, off this turn's time.
  void Spend(std::int64_t ANs);

 private:
  static gboolean EndTurn(gpointer AData);

  std::int64_t FLeftNs = 0;  // >= 0; meaningful while FEndSource != 0
  guint FEndSource = 0;      // the idle source that ends the running turn; 0: none runs
};

// The budget of a turn: cTurnBudgetNs, or what cTurnBudgetVariable names.
std::int64_t TurnBudgetNs();

}  // namespace files_budget
