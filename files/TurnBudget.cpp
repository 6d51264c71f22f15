// The main thread's time for answers at once, one budget per turn of its main
// loop (see TurnBudget.h).
#include "TurnBudget.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/StrictInt.h"
#include "platform/Platform.h"

namespace files_budget {

std::int64_t TurnBudgetNs() {
  const std::optional<std::string> text = platform::EnvironmentValue(cTurnBudgetVariable);
  std::int32_t milliseconds = 0;
  if (text && TryStrToInt(*text, milliseconds) && milliseconds >= 0)
    return std::int64_t{milliseconds} * 1'000'000;
  return cTurnBudgetNs;
}

TTurnBudget::~TTurnBudget() {
  if (FEndSource != 0) g_source_remove(FEndSource);
}

std::int64_t TTurnBudget::Left() {
  if (FEndSource == 0) {
    FLeftNs = TurnBudgetNs();
    // Above every source the file managers use, so that the turn ends in the
    // first iteration after the one that started it.
    FEndSource = g_idle_add_full(G_PRIORITY_HIGH, EndTurn, this, nullptr);
  }
  return FLeftNs;
}

void TTurnBudget::Spend(std::int64_t ANs) {
  FLeftNs = std::max<std::int64_t>(FLeftNs - std::max<std::int64_t>(ANs, 0), 0);
}

gboolean TTurnBudget::EndTurn(gpointer AData) {
  static_cast<TTurnBudget*>(AData)->FEndSource = 0;
  return G_SOURCE_REMOVE;
}

}  // namespace files_budget
