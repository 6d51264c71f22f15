// The fault plan applied to each read of a named file (see FaultyFiles.h).
#include "support/FaultyFiles.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

// The one object whose plan is installed. A file opened under it and closed
// after it went is closed by the system's calls.
TFaultyFiles* gActive = nullptr;

}  // namespace

TFaultyFiles::TFaultyFiles(std::u16string_view ANameEnd, const TFilePlan& APlan)
    : FBefore(nullptr), FSystem(platform::SystemFileCalls()), FNameEnd(ANameEnd), FPlan(APlan) {
  if (gActive != nullptr) throw std::logic_error("one TFaultyFiles at a time");
  gActive = this;
  FBefore = platform::SetFileCalls(&cCalls);
}

TFaultyFiles::~TFaultyFiles() {
  platform::SetFileCalls(FBefore);
  gActive = nullptr;
}

void TFaultyFiles::SetPlan(const TFilePlan& APlan) {
  std::lock_guard<std::mutex> guard(FMutex);
  FPlan = APlan;
}

int TFaultyFiles::Opens() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FOpens;
}

int TFaultyFiles::FailedReads() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return FFailedReads;
}

bool TFaultyFiles::Open(std::u16string_view APath, std::intptr_t& AHandle, std::int64_t& ASize) {
  TFaultyFiles& self = *gActive;
  std::lock_guard<std::mutex> guard(self.FMutex);
  if (!APath.ends_with(self.FNameEnd)) return self.FSystem.Open(APath, AHandle, ASize);
  ++self.FOpens;
  if (self.FPlan.FailOpen || !self.FSystem.Open(APath, AHandle, ASize)) return false;
  self.FOpen[AHandle] = TOpenFile{self.FPlan, ASize};
  return true;
}

std::int64_t TFaultyFiles::ReadAt(std::intptr_t AHandle, std::int64_t AOffset, void* ABuffer,
                                  std::size_t ACount) {
  if (gActive == nullptr)
    return platform::SystemFileCalls().ReadAt(AHandle, AOffset, ABuffer, ACount);
  TFaultyFiles& self = *gActive;
  std::lock_guard<std::mutex> guard(self.FMutex);
  const auto it = self.FOpen.find(AHandle);
  if (it == self.FOpen.end()) return self.FSystem.ReadAt(AHandle, AOffset, ABuffer, ACount);
  const TFilePlan& plan = it->second.Plan;
  const std::int64_t size = it->second.Size;

  if (plan.MaxRead > 0) ACount = std::min(ACount, plan.MaxRead);
  if (plan.FailAt >= 0) {
    if (AOffset >= plan.FailAt) {
      ++self.FFailedReads;
      return -1;
    }
    // The bytes before the failing offset come first, as a short read.
    ACount = std::min<std::uint64_t>(ACount, static_cast<std::uint64_t>(plan.FailAt - AOffset));
  }
  if (plan.EndAt >= 0) {
    if (AOffset >= plan.EndAt) return 0;
    ACount = std::min<std::uint64_t>(ACount, static_cast<std::uint64_t>(plan.EndAt - AOffset));
  }
  if (AOffset >= size && plan.GrowBy > 0) {
    // What another program appended: blanks, a valid tail of most text.
    const std::int64_t left = size + plan.GrowBy - AOffset;
    if (left <= 0) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(ACount, left));
    std::memset(ABuffer, ' ', n);
    return static_cast<std::int64_t>(n);
  }
  return self.FSystem.ReadAt(AHandle, AOffset, ABuffer, ACount);
}

void TFaultyFiles::Close(std::intptr_t AHandle) {
  if (gActive == nullptr) {
    platform::SystemFileCalls().Close(AHandle);
    return;
  }
  TFaultyFiles& self = *gActive;
  std::lock_guard<std::mutex> guard(self.FMutex);
  self.FOpen.erase(AHandle);
  self.FSystem.Close(AHandle);
}

}  // namespace testing_support
