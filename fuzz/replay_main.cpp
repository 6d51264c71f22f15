// Runs a fuzz target over stored inputs, so that the seeds replay in every test
// run without libFuzzer. Arguments are files or folders of files; a path that
// does not exist, or a folder without a file, fails the run, so a moved seed
// folder cannot turn the replay into a test of nothing.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize);

namespace {

int RunFile(const std::filesystem::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    int found = 0;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
        if (entry.is_regular_file()) found += RunFile(entry.path());
    } else if (std::filesystem::is_regular_file(arg)) {
      found += RunFile(arg);
    }
    if (found == 0) {
      std::fprintf(stderr, "no seed at %s\n", argv[i]);
      return 1;
    }
    runs += found;
  }
  // An empty input runs too, so a target without seeds is still exercised once.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("replayed %d inputs\n", runs + 1);
  return 0;
}
