// TReadOnlyFile on every platform: it goes through the file calls installed
// when it was opened, the system's unless a test put others in their place
// (see TFileCalls in Platform.h). Opening reads one pointer; a read costs one
// indirect call.
#include <atomic>
#include <new>

#include "platform/Platform.h"

namespace platform {
namespace {

// Null: the system's calls. Constant-initialised, so ready before any code runs.
constinit std::atomic<const TFileCalls*> gFileCalls{nullptr};

}  // namespace

const TFileCalls* SetFileCalls(const TFileCalls* ACalls) {
  const TFileCalls* before = gFileCalls.exchange(ACalls, std::memory_order_acq_rel);
  return before != nullptr ? before : &SystemFileCalls();
}

std::unique_ptr<TReadOnlyFile> TReadOnlyFile::Open(std::u16string_view APath) {
  const TFileCalls* installed = gFileCalls.load(std::memory_order_acquire);
  const TFileCalls& calls = installed != nullptr ? *installed : SystemFileCalls();
  std::intptr_t handle = 0;
  std::int64_t size = 0;
  if (!calls.Open(APath, handle, size)) return nullptr;
  std::unique_ptr<TReadOnlyFile> file(new (std::nothrow) TReadOnlyFile(calls, handle, size));
  if (!file) calls.Close(handle);
  return file;
}

TReadOnlyFile::~TReadOnlyFile() {
  FCalls.Close(FHandle);
}

}  // namespace platform
