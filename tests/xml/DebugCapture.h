// A debug owner that records every message it receives, for tests that assert
// on the (level, text, sender) a reader class reports.
#pragma once

#include <string>
#include <vector>

#include "xml/XmlDebug.h"

namespace xml_test {

struct Message {
  const void* Sender;
  TXmlWarnStyle Level;
  std::string Text;
};

class CapturingOwner : public TDebugComponent {
 public:
  explicit CapturingOwner(TDebugComponent* AOwner = nullptr) : TDebugComponent(AOwner) {
    SetOnDebugOut([this](const void* Sender, TXmlWarnStyle Level, const std::string& Text) {
      Messages.push_back({Sender, Level, Text});
    });
  }
  std::vector<Message> Messages;
};

}  // namespace xml_test
