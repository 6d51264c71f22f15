// The debug-message sink: routing along the owner chain and the small formatter
// reporters use. Routing never raises; a message without a handler is dropped.
#include "xml/XmlDebug.h"

void TDebugComponent::DoDebugOut(const void* ASender, TXmlWarnStyle AWarnStyle,
                                 std::string_view AMessage) {
  for (const TDebugComponent* c = this; c != nullptr; c = c->FOwnerComponent) {
    if (c->FOnDebugOut) {
      c->FOnDebugOut(ASender, AWarnStyle, std::string(AMessage));
      return;
    }
  }
}

bool TDebugComponent::HasDebugHandler() const {
  for (const TDebugComponent* c = this; c != nullptr; c = c->FOwnerComponent)
    if (c->FOnDebugOut) return true;
  return false;
}

void TDebugPersistent::DoDebugOut(const void* ASender, TXmlWarnStyle AWarnStyle,
                                  std::string_view AMessage) {
  if (FOwner != nullptr) FOwner->DoDebugOut(ASender, AWarnStyle, AMessage);
}

void TXmlFormatArg::AppendTo(std::string& AOut) const {
  if (FIsChar)
    AOut.push_back(FChar);
  else if (FIsText)
    AOut.append(FText);
  else
    AOut.append(std::to_string(FNumber));
}

std::string FormatDebugText(std::string_view AFormat, std::initializer_list<TXmlFormatArg> AArgs) {
  std::string out;
  out.reserve(AFormat.size() + 16);
  const TXmlFormatArg* arg = AArgs.begin();
  for (std::size_t i = 0; i < AFormat.size(); ++i) {
    char c = AFormat[i];
    if (c != '%' || i + 1 >= AFormat.size()) {
      out.push_back(c);
      continue;
    }
    char spec = AFormat[i + 1];
    if (spec == '%') {
      out.push_back('%');
      ++i;
    } else if (spec == 's' || spec == 'd') {
      // A placeholder without an argument stays as written rather than reading past the list.
      if (arg != AArgs.end())
        (arg++)->AppendTo(out);
      else
        out.append(AFormat.substr(i, 2));
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}
