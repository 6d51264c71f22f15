// A child program for the platform tests of RunProcess and PeakResidentBytes:
// it echoes its arguments, exits with a chosen code, writes many bytes, names
// itself, or reports its memory high-water mark around touching some memory.
// Output is unterminated or NUL-separated, so no line-end translation touches it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/HostPlatform.h"

namespace {

const char cUsage[] =
    "usage: process_probe args ARG...   each argument, each followed by a NUL byte\n"
    "       process_probe exit CODE     exits with CODE\n"
    "       process_probe bytes COUNT   writes COUNT bytes\n"
    "       process_probe self          the program's own path\n"
    "       process_probe touch MIB     the peak resident bytes before and after\n"
    "                                   touching MIB mebibytes\n";

void Write(const std::string& AText) {
  std::fwrite(AText.data(), 1, AText.size(), stdout);
}

int Run(const std::vector<std::string>& AArgs) {
  if (AArgs.empty()) {
    std::fputs(cUsage, stderr);
    return 2;
  }
  const std::string& mode = AArgs[0];
  if (mode == "args") {
    for (std::size_t i = 1; i < AArgs.size(); ++i) {
      Write(AArgs[i]);
      std::fputc('\0', stdout);
    }
    return 0;
  }
  if (mode == "exit" && AArgs.size() == 2) return std::atoi(AArgs[1].c_str());
  if (mode == "bytes" && AArgs.size() == 2) {
    const std::size_t count = std::strtoull(AArgs[1].c_str(), nullptr, 10);
    Write(std::string(count, 'x'));
    return 0;
  }
  if (mode == "self") {
    Write(platform::Utf16ToUtf8(platform::ModulePath()));
    return 0;
  }
  if (mode == "touch" && AArgs.size() == 2) {
    const std::int64_t before = platform::PeakResidentBytes();
    const std::size_t bytes = std::strtoull(AArgs[1].c_str(), nullptr, 10) << 20;
    std::vector<char> block(bytes);
    // Writing every page makes it resident; the sum keeps the writes.
    for (std::size_t i = 0; i < block.size(); i += 4096) block[i] = static_cast<char>(i >> 12);
    long sum = 0;
    for (std::size_t i = 0; i < block.size(); i += 4096) sum += block[i];
    const std::int64_t after = platform::PeakResidentBytes();
    std::printf("%lld %lld %ld", static_cast<long long>(before), static_cast<long long>(after),
                sum);
    return 0;
  }
  std::fputs(cUsage, stderr);
  return 2;
}

}  // namespace

// Windows passes the arguments as UTF-16; the C runtime's narrow ones would lose
// what the ANSI code page cannot hold.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {  // NOLINT(readability-identifier-naming): the entry point
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring wide = argv[i];
    args.push_back(platform::Utf16ToUtf8(std::u16string(wide.begin(), wide.end())));
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
