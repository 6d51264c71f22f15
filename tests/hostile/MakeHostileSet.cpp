// make_hostile_set FOLDER [--keep-changing]: writes the hostile set
// (tests/support/HostileSet.h) into FOLDER and lists it on standard output,
// one line per item: its name, its kind and what it is, separated by tabs.
// The kinds: "drawing" (a regular file: read it), "not-a-file" (nothing may be
// opened or waited on), "changing" (a drawing rewritten while it is read).
// With --keep-changing the program goes on rewriting changing.svg after the
// list, until its standard input ends; the list then ends with an empty line.
// A consumer's test starts it with its input from a pipe, reads the list up to
// that line, runs the consumer over every name and closes the pipe.
// Exit status 0, or 1 with a message when the set cannot be written, 2 for a
// wrong command line.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "support/HostileSet.h"

namespace {

const char* KindName(testing_support::THostileKind AKind) {
  switch (AKind) {
    case testing_support::THostileKind::hkDrawing:
      return "drawing";
    case testing_support::THostileKind::hkNotAFile:
      return "not-a-file";
    case testing_support::THostileKind::hkChanging:
      return "changing";
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const bool keepChanging = argc == 3 && std::strcmp(argv[2], "--keep-changing") == 0;
  if (argc != 2 && !keepChanging) {
    std::fprintf(stderr, "usage: make_hostile_set FOLDER [--keep-changing]\n");
    return 2;
  }
  std::string error;
  const auto items = testing_support::WriteHostileSet(argv[1], error);
  if (items.empty()) {
    std::fprintf(stderr, "make_hostile_set: %s\n", error.c_str());
    return 1;
  }
  for (const auto& item : items)
    std::printf("%s\t%s\t%s\n", item.Name.c_str(), KindName(item.Kind), item.What.c_str());
  std::fflush(stdout);
  if (keepChanging) {
    const testing_support::TChangingFile changing(argv[1]);
    std::printf("\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
  }
  return 0;
}
