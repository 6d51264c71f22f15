// A debug owner that records every message it receives, for tests that assert
// on the (level, text, sender) a reader class reports.
#pragma once

#include <string>
#include <vector>

#include "xml/XmlDebug.h"

namespace xml_test {

struct TMessage {
  const void* Sender;
  TXmlWarnStyle Level;
  std::string Text;
};

class TCapturingOwner : public TDebugComponent {
 public:
  explicit TCapturingOwner(TDebugComponent* AOwner = nullptr) : TDebugComponent(AOwner) {
    SetOnDebugOut([this](const void* ASender, TXmlWarnStyle ALevel, const std::string& AText) {
      Messages.push_back({ASender, ALevel, AText});
    });
  }
  std::vector<TMessage> Messages;
};

}  // namespace xml_test
