// The reader's debug-message sink. Reader classes never raise for bad input; they
// report (level, text) here and go on. A message travels from its reporter up the
// chain of owner components to the first one with an OnDebugOut handler, or is
// dropped. Reporters format a message only when HasDebugHandler() says someone
// will receive it, so an unhandled message costs one walk of the owner chain.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

enum TXmlWarnStyle : std::uint8_t { wsInfo = 0, wsHint = 1, wsWarn = 2, wsFail = 3 };
static_assert(sizeof(TXmlWarnStyle) == 1);

// Sender is the object that reported the message.
using TXmlDebugEvent =
    std::function<void(const void* ASender, TXmlWarnStyle AWarnStyle, const std::string& AMessage)>;

// A component: may have an owner component and may carry a handler.
class TDebugComponent {
 public:
  explicit TDebugComponent(TDebugComponent* AOwner = nullptr) : FOwnerComponent(AOwner) {}
  virtual ~TDebugComponent() = default;
  TDebugComponent(const TDebugComponent&) = delete;
  TDebugComponent& operator=(const TDebugComponent&) = delete;

  TDebugComponent* OwnerComponent() const { return FOwnerComponent; }
  const TXmlDebugEvent& OnDebugOut() const { return FOnDebugOut; }
  void SetOnDebugOut(TXmlDebugEvent AHandler) { FOnDebugOut = std::move(AHandler); }

  // Hands the message to the first handler along the owner chain, or drops it.
  virtual void DoDebugOut(const void* ASender, TXmlWarnStyle AWarnStyle, std::string_view AMessage);
  // True when some component of the owner chain has a handler.
  bool HasDebugHandler() const;

 private:
  TDebugComponent* FOwnerComponent;
  TXmlDebugEvent FOnDebugOut;
};

// A persistent object that reports to the component it belongs to.
class TDebugPersistent {
 public:
  explicit TDebugPersistent(TDebugComponent* AOwner) : FOwner(AOwner) {}
  virtual ~TDebugPersistent() = default;

  TDebugComponent* Owner() const { return FOwner; }
  virtual void DoDebugOut(const void* ASender, TXmlWarnStyle AWarnStyle, std::string_view AMessage);
  bool HasDebugHandler() const { return FOwner != nullptr && FOwner->HasDebugHandler(); }

 protected:
  TDebugComponent* FOwner;
};

// One argument of a message: a text (%s) or an integer (%d).
class TXmlFormatArg {
 public:
  TXmlFormatArg(std::string_view s) : FText(s), FIsText(true) {}    // NOLINT: implicit by design
  TXmlFormatArg(const std::string& s) : FText(s), FIsText(true) {}  // NOLINT
  TXmlFormatArg(const char* s) : FText(s), FIsText(true) {}         // NOLINT
  TXmlFormatArg(char c) : FChar(c), FIsChar(true) {}                // NOLINT: one byte as a text
  TXmlFormatArg(std::int64_t v) : FNumber(v) {}                     // NOLINT
  TXmlFormatArg(std::int32_t v) : FNumber(v) {}                     // NOLINT
  TXmlFormatArg(std::uint32_t v) : FNumber(v) {}                    // NOLINT

  void AppendTo(std::string& AOut) const;

 private:
  std::string_view FText;
  std::int64_t FNumber = 0;
  char FChar = 0;
  bool FIsText = false;
  bool FIsChar = false;
};

// Fills %s and %d placeholders in order ("%%" gives one "%").
std::string FormatDebugText(std::string_view AFormat, std::initializer_list<TXmlFormatArg> AArgs);

// Formats and reports only when a handler will receive the message.
template <class Reporter>
void XmlDebugOut(Reporter& AReporter, const void* ASender, TXmlWarnStyle AWarnStyle,
                 std::string_view AFormat, std::initializer_list<TXmlFormatArg> AArgs) {
  if (!AReporter.HasDebugHandler()) return;
  AReporter.DoDebugOut(ASender, AWarnStyle, FormatDebugText(AFormat, AArgs));
}
