// The consumers bench_consumers reads through a host program of their own, one
// run per drawing: the file managers' column extensions (bench_files_<fm>
// --one) and GNOME Files' Drawing section (bench_files_nautilus --section),
// KDE's extractor through its framework (bench_kde_extract), the desktop
// search's module through its extractor (tracker3 extract) and Thunar's
// Drawing page (bench_thunar_page), and how to start each on a file. A
// consumer whose module is not built, or whose host is not installed, says
// why it is skipped. Which ones are built comes from the build (VX_BENCH_*
// definitions); in a Windows build none is.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct TConsumerHost {
  std::string Name;     // as --consumers takes it
  std::string Skipped;  // why it cannot be measured here; empty when it can
  std::filesystem::path Program;
  std::vector<std::string> Arguments;  // the file comes after them
  bool ReportsTime = false;            // prints "time_ns N": the reading alone
  int MaxAnswerCode = 0;               // the exit codes up to it are answers
  bool NeedsDisplay = false;           // an X display: bench_consumers makes one
};

// Every such consumer in the table's order: nautilus, nautilus-page, nemo,
// caja, kde, tracker, thunar.
// AScratch is a folder the hosts may prepare files in (the extractor's folders
// of rules and modules); the environment they need is set in this process, for
// the children it starts.
std::vector<TConsumerHost> ConsumerHosts(const std::filesystem::path& AScratch);

// A program's path by its name, from the search path; empty when not found.
std::filesystem::path FindProgram(const std::string& AName);

}  // namespace bench
