// Faults of the file system, injected: while a TFaultyFiles lives, the files
// whose path ends with its name are read through a plan that makes the open or
// a read fail, reads come up short, or the file end early or go on past its
// size, as a failing disk or another program changing the file would. It puts
// its own table in place of the platform layer's file calls
// (platform::SetFileCalls); every other file is read as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace testing_support {

// What happens to a file opened under the plan. Offsets count from the file's
// start; -1 (or 0 for the counts) leaves that fault out.
struct TFilePlan {
  const char* Label = "";
  bool FailOpen = false;
  std::int64_t FailAt = -1;  // a read reaching this offset fails; the bytes before it are read
  std::int64_t EndAt = -1;   // the file ends here, whatever its size said (it shrank)
  std::int64_t GrowBy = 0;   // reads past its size find this many more bytes (it grew)
  std::size_t MaxRead = 0;   // no read gives more than this many bytes (short reads)
};

class TFaultyFiles {
 public:
  TFaultyFiles(std::u16string_view ANameEnd, const TFilePlan& APlan);
  ~TFaultyFiles();
  TFaultyFiles(const TFaultyFiles&) = delete;
  TFaultyFiles& operator=(const TFaultyFiles&) = delete;

  // The plan for the files opened from now on.
  void SetPlan(const TFilePlan& APlan);
  // Opens of the named files tried since the object was made (failed ones too).
  int Opens() const;
  // Reads of the named files that were made to fail.
  int FailedReads() const;

 private:
  static bool Open(std::u16string_view APath, std::intptr_t& AHandle, std::int64_t& ASize);
  static std::int64_t ReadAt(std::intptr_t AHandle, std::int64_t AOffset, void* ABuffer,
                             std::size_t ACount);
  static void Close(std::intptr_t AHandle);

  struct TOpenFile {
    TFilePlan Plan;
    std::int64_t Size = 0;
  };

  static constexpr platform::TFileCalls cCalls{Open, ReadAt, Close};

  const platform::TFileCalls* FBefore;
  const platform::TFileCalls& FSystem;
  std::u16string FNameEnd;
  mutable std::mutex FMutex;
  TFilePlan FPlan;
  std::map<std::intptr_t, TOpenFile> FOpen;
  int FOpens = 0;
  int FFailedReads = 0;
};

}  // namespace testing_support
