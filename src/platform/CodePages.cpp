// The one cache of code-page tables (see CodePages.h), and the byte-to-UTF-16
// conversion that reads it on every platform.
#include "platform/CodePages.h"

#include <mutex>

#include "platform/Platform.h"

namespace platform {

const TCodePageTable& CodePageTableFor(std::int32_t ACodePage) {
  // Tables are never freed while the library is loaded; the mutex guards only
  // the map.
  static std::mutex mutex;
  static std::map<std::int32_t, std::unique_ptr<TCodePageTable>> tables;
  std::lock_guard<std::mutex> guard(mutex);
  auto& slot = tables[ACodePage];
  if (!slot) slot = BuildCodePageTable(ACodePage);
  return *slot;
}

char16_t CodePageByteToUtf16(std::int32_t ACodePage, std::uint8_t AByte) {
  return CodePageTableFor(ACodePage).ToUnicode[AByte];
}

}  // namespace platform
