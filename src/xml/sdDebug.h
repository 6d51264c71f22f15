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

enum TsdWarnStyle : std::uint8_t { wsInfo = 0, wsHint = 1, wsWarn = 2, wsFail = 3 };
static_assert(sizeof(TsdWarnStyle) == 1);

// Sender is the object that reported the message.
using TsdDebugEvent =
    std::function<void(const void* Sender, TsdWarnStyle WarnStyle, const std::string& AMessage)>;

// A component: may have an owner component and may carry a handler.
class TDebugComponent {
 public:
  explicit TDebugComponent(TDebugComponent* AOwner = nullptr) : FOwnerComponent(AOwner) {}
  virtual ~TDebugComponent() = default;
  TDebugComponent(const TDebugComponent&) = delete;
  TDebugComponent& operator=(const TDebugComponent&) = delete;

  TDebugComponent* OwnerComponent() const { return FOwnerComponent; }
  const TsdDebugEvent& OnDebugOut() const { return FOnDebugOut; }
  void SetOnDebugOut(TsdDebugEvent AHandler) { FOnDebugOut = std::move(AHandler); }

  // Hands the message to the first handler along the owner chain, or drops it.
  virtual void DoDebugOut(const void* Sender, TsdWarnStyle WarnStyle, std::string_view AMessage);
  // True when some component of the owner chain has a handler.
  bool HasDebugHandler() const;

 private:
  TDebugComponent* FOwnerComponent;
  TsdDebugEvent FOnDebugOut;
};

// A persistent object that reports to the component it belongs to.
class TDebugPersistent {
 public:
  explicit TDebugPersistent(TDebugComponent* AOwner) : FOwner(AOwner) {}
  virtual ~TDebugPersistent() = default;

  TDebugComponent* Owner() const { return FOwner; }
  virtual void DoDebugOut(const void* Sender, TsdWarnStyle WarnStyle, std::string_view AMessage);
  bool HasDebugHandler() const { return FOwner != nullptr && FOwner->HasDebugHandler(); }

 protected:
  TDebugComponent* FOwner;
};

// One argument of a message: a text (%s) or an integer (%d).
class TsdFormatArg {
 public:
  TsdFormatArg(std::string_view s) : text_(s), isText_(true) {}  // NOLINT: implicit by design
  TsdFormatArg(const std::string& s) : text_(s), isText_(true) {}  // NOLINT
  TsdFormatArg(const char* s) : text_(s), isText_(true) {}  // NOLINT
  TsdFormatArg(char c) : char_(c), isChar_(true) {}  // NOLINT: one byte as a text
  TsdFormatArg(std::int64_t v) : number_(v) {}  // NOLINT
  TsdFormatArg(std::int32_t v) : number_(v) {}  // NOLINT
  TsdFormatArg(std::uint32_t v) : number_(v) {}  // NOLINT

  void AppendTo(std::string& out) const;

 private:
  std::string_view text_;
  std::int64_t number_ = 0;
  char char_ = 0;
  bool isText_ = false;
  bool isChar_ = false;
};

// Fills %s and %d placeholders in order ("%%" gives one "%").
std::string sdFormat(std::string_view AFormat, std::initializer_list<TsdFormatArg> AArgs);

// Formats and reports only when a handler will receive the message.
template <class Reporter>
void sdDebugOut(Reporter& AReporter, const void* Sender, TsdWarnStyle WarnStyle,
                std::string_view AFormat, std::initializer_list<TsdFormatArg> AArgs) {
  if (!AReporter.HasDebugHandler()) return;
  AReporter.DoDebugOut(Sender, WarnStyle, sdFormat(AFormat, AArgs));
}
