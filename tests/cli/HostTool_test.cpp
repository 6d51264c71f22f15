// The host tool as a user runs it: the field table, files that fail reported on
// standard error while the others are printed, the exit status, field and unit
// selection, usage errors, the version and the help text, names that are no
// UTF-8, the table's columns lined up by display width, and the progress line. Each case runs the
// built tool through the shell, so these tests are built for POSIX systems only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/HostPlatform.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TTempDir;

namespace {

const char cDrawing[] =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" id=\"quay\" width=\"2in\" height=\"1in\">\n"
    "  <metadata><rdf:RDF><cc:Work rdf:about=\"\">\n"
    "    <dc:title>Quay, \"north\"</dc:title>\n"
    "  </cc:Work></rdf:RDF></metadata>\n"
    "</svg>\n";

struct TToolRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string Quote(const std::string& AText) {
  std::string out = "'";
  for (char c : AText) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs the tool with args, standard output and standard error kept apart.
TToolRun RunTool(const std::vector<std::string>& AArgs) {
  TTempDir dir;
  fs::path out = dir.Path() / "out", err = dir.Path() / "err", status = dir.Path() / "status";
  std::string command = Quote(VX_HOST_TOOL_PATH);
  for (const std::string& arg : AArgs) command.append(" ").append(Quote(arg));
  command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + "; echo $? >" +
             Quote(status.string());
  TToolRun run;
  if (std::system(command.c_str()) != 0) return run;
  run.Status = std::atoi(ReadFile(status).c_str());
  run.Out = ReadFile(out);
  run.Err = ReadFile(err);
  return run;
}

// A strict check of JSON text: one value, nothing after it but blanks.
class TJsonChecker {
 public:
  explicit TJsonChecker(const std::string& AText) : FText(AText) {}
  bool Valid() {
    bool ok = Value();
    Blanks();
    return ok && FPos == FText.size();
  }

 private:
  void Blanks() {
    while (FPos < FText.size() && std::string(" \t\r\n").find(FText[FPos]) != std::string::npos)
      ++FPos;
  }
  bool Take(char AC) {
    Blanks();
    if (FPos >= FText.size() || FText[FPos] != AC) return false;
    ++FPos;
    return true;
  }
  bool Literal(const char* AWord) {
    std::string w(AWord);
    if (FText.compare(FPos, w.size(), w) != 0) return false;
    FPos += w.size();
    return true;
  }
  bool String() {
    if (!Take('"')) return false;
    while (FPos < FText.size() && FText[FPos] != '"') {
      unsigned char c = static_cast<unsigned char>(FText[FPos++]);
      if (c < 0x20) return false;
      if (c == '\\') {
        if (FPos >= FText.size()) return false;
        char e = FText[FPos++];
        if (e == 'u') {
          if (FPos + 4 > FText.size()) return false;
          for (int i = 0; i < 4; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(FText[FPos++]))) return false;
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return Take('"');
  }
  template <typename Item>
  bool List(char AClose, Item AItem) {
    Blanks();
    if (FPos < FText.size() && FText[FPos] == AClose) return Take(AClose);
    do {
      if (!AItem()) return false;
    } while (Take(','));
    return Take(AClose);
  }
  bool Value() {
    Blanks();
    if (FPos >= FText.size()) return false;
    char c = FText[FPos];
    if (c == '"') return String();
    if (c == '[') return Take('[') && List(']', [&] { return Value(); });
    if (c == '{') return Take('{') && List('}', [&] { return String() && Take(':') && Value(); });
    if (Literal("true") || Literal("false") || Literal("null")) return true;
    std::size_t start = FPos;
    if (FText[FPos] == '-') ++FPos;
    while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos]))) ++FPos;
    return FPos > start && std::isdigit(static_cast<unsigned char>(FText[FPos - 1]));
  }

  const std::string& FText;
  std::size_t FPos = 0;
};

std::vector<std::string> Lines(const std::string& AText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < AText.size()) {
    std::size_t end = AText.find('\n', start);
    if (end == std::string::npos) end = AText.size();
    lines.push_back(AText.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A folder with a drawing, a file named like one that is none, and entries a
// walk meets that cannot be asked for: a link to nothing and a pipe.
struct TMixedFolder {
  TTempDir Dir;
  std::string Good, Foreign, Missing, Walked;
  TMixedFolder() {
    Good = Dir.Write("good.svg", cDrawing).string();
    Foreign = Dir.Write("notes.svg", "just some notes\n").string();
    Missing = (Dir.Path() / "missing.svg").string();
    Walked = (Dir.Path() / "walked").string();
    Dir.Write("walked/deep/inner.svgz", testing_support::Gzip(cDrawing));
    fs::create_symlink(Dir.Path() / "nowhere", Dir.Path() / "walked" / "dangling.svg");
    EXPECT_EQ(std::system(("mkfifo " + Quote(Walked + "/pipe.svg")).c_str()), 0);
  }
};

}  // namespace

TEST(HostTool, PrintsTheFieldTable) {
  TToolRun run = RunTool({"--fields", "--detect"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("EXT=\"SVG\" | EXT=\"SVGZ\""), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find(" 0  SVG Version            type 11  units \"\""), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find(" 5  Have Embedded Image    type 6   units \"\""), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("15  Calculated Height      type 1   units \"96|90\""), std::string::npos)
      << run.Out;
}

// Every file that fails gets its own message and status 1; the others are
// printed, and standard output holds nothing else.
TEST(HostTool, FailedFilesAreReportedAndTheOthersPrinted) {
  TMixedFolder folder;
  const std::string args[] = {folder.Missing, folder.Good, folder.Foreign, folder.Walked};
  std::vector<std::string> expectedErrors = {
      "vexmeta: " + folder.Missing + ": no such file",
      "vexmeta: " + folder.Foreign + ": not a drawing the plugin knows",
      "vexmeta: " + folder.Walked + "/dangling.svg: no such file",
      "vexmeta: " + folder.Walked + "/pipe.svg: not a regular file",
  };
  std::sort(expectedErrors.begin(), expectedErrors.end());

  TToolRun csv = RunTool({"--csv", "-f", "ID", args[0], args[1], args[2], args[3]});
  EXPECT_EQ(csv.Status, 1);
  std::vector<std::string> errors = Lines(csv.Err);
  std::sort(errors.begin(), errors.end());
  EXPECT_EQ(errors, expectedErrors);
  EXPECT_EQ(csv.Out,
            "File,ID\n" + folder.Good + ",quay\n" + folder.Walked + "/deep/inner.svgz,quay\n");

  TToolRun json = RunTool({"--json", args[0], args[1], args[2], args[3]});
  EXPECT_EQ(json.Status, 1);
  EXPECT_EQ(Lines(json.Err).size(), expectedErrors.size()) << json.Err;
  EXPECT_TRUE(TJsonChecker(json.Out).Valid()) << json.Out;
  EXPECT_NE(json.Out.find("\"Metadata Title\": \"Quay, \\\"north\\\"\""), std::string::npos)
      << json.Out;
  EXPECT_NE(json.Out.find("\"Calculated Width (90)\": 180"), std::string::npos) << json.Out;
  EXPECT_NE(json.Out.find("\"Sodipodi Version\": null"), std::string::npos) << json.Out;

  TToolRun good = RunTool({folder.Good});
  EXPECT_EQ(good.Status, 0);
  EXPECT_EQ(good.Err, "");
}

// When no file could be printed (a missing file, a folder with no drawing) the
// table is left out altogether; CSV keeps its header line and JSON its array.
TEST(HostTool, NoTableWhenNoFileIsPrinted) {
  TTempDir dir;
  fs::create_directories(dir.Path() / "empty");
  for (const std::string& input :
       {(dir.Path() / "missing.svg").string(), (dir.Path() / "empty").string()}) {
    SCOPED_TRACE(input);
    TToolRun table = RunTool({input});
    EXPECT_EQ(table.Out, "");
    EXPECT_EQ(RunTool({"--csv", "-f", "ID", input}).Out, "File,ID\n");
    EXPECT_EQ(RunTool({"--json", input}).Out, "[\n]\n");
  }
}

// Root reads everything, so there this case has nothing to show.
TEST(HostTool, UnreadableFileAndFolderAreReportedAndTheWalkGoesOn) {
  TTempDir dir;
  fs::path locked = dir.Path() / "walked" / "locked";
  fs::create_directories(locked);
  dir.Write("walked/locked/hidden.svg", cDrawing);
  auto readable = dir.Write("walked/open.svg", cDrawing);
  auto sealed = dir.Write("sealed.svg", cDrawing);
  fs::permissions(locked, fs::perms::none);
  fs::permissions(sealed, fs::perms::none);
  std::error_code ec;
  fs::directory_iterator probe(locked, ec);
  bool canTell = ec.value() != 0;
  TToolRun run;
  if (canTell)
    run = RunTool({"--csv", "-f", "0", sealed.string(), (dir.Path() / "walked").string()});
  fs::permissions(locked, fs::perms::owner_all);
  fs::permissions(sealed, fs::perms::owner_all);
  if (!canTell) GTEST_SKIP() << "this user reads any file";
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("vexmeta: " + sealed.string() + ": cannot be read\n"), std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("vexmeta: " + locked.string() + ": cannot be read\n"), std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Out, "File,SVG Version\n" + readable.string() + ",\n");
}

TEST(HostTool, FieldsAreChosenByNameOrIndexWithTheirUnits) {
  TTempDir dir;
  std::string file = dir.Write("quay.svg", cDrawing).string();
  struct TCase {
    std::vector<std::string> Fields;
    const char* Header;
    const char* Values;
  } cases[] = {
      {{"-f", "metadata title", "-f", "14:90", "--field", "CALCULATED HEIGHT"},
       "Metadata Title,Calculated Width (90),Calculated Height (96),Calculated Height (90)",
       "\"Quay, \"\"north\"\"\",180,96,90"},
      {{"--field=15:96", "-f", "6", "-f", "calculated width:90", "-f", "ID"},
       "Calculated Height (96),ID,Calculated Width (90)",
       "96,quay,180"},
      {{"-f", "Sodipodi Docname", "-f", "Have Embedded Image"},
       "Sodipodi Docname,Have Embedded Image",
       ",false"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Header);
    std::vector<std::string> args{"--csv"};
    args.insert(args.end(), c.Fields.begin(), c.Fields.end());
    args.push_back(file);
    TToolRun run = RunTool(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, std::string("File,") + c.Header + "\n" + file + "," + c.Values + "\n");
  }
}

// A wrong command line exits with 2 before any file is read, and prints
// nothing on standard output.
TEST(HostTool, UsageErrors) {
  TTempDir dir;
  std::string file = dir.Write("quay.svg", cDrawing).string();
  struct TCase {
    std::vector<std::string> Args;
    const char* Message;
  } cases[] = {
      {{"-f", "Colour", file}, "vexmeta: no field \"Colour\" (vexmeta --fields lists them)"},
      {{"-f", "16", file}, "vexmeta: no field \"16\""},
      {{"-f", "Calculated Width:72", file},
       "vexmeta: field \"Calculated Width\" has no unit \"72\" (its units: 96, 90)"},
      {{"-f", "Width:96", file}, "vexmeta: field \"Width\" has no unit \"96\" (it has no units)"},
      {{file, "-f"}, "vexmeta: option -f needs a value"},
      {{"--jsn", file}, "vexmeta: unknown option --jsn"},
      {{"--csv=1", file}, "vexmeta: option --csv takes no value"},
      {{"--fields", file}, "vexmeta: --fields and --detect take no files"},
      {{"-j", "0", file}, "vexmeta: option -j takes a number of threads from 1 to 256, not \"0\""},
      {{"--jobs=two", file}, "vexmeta: option --jobs takes a number of threads"},
      {{"--where", "ID", "--where", "Width", file}, "vexmeta: --where is given twice"},
      {{}, "vexmeta: no file or folder given\n\nusage: vexmeta"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    TToolRun run = RunTool(c.Args);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err.rfind(c.Message, 0), 0u) << run.Err;
    EXPECT_EQ(run.Out, "");
  }
}

TEST(HostTool, VersionAndHelp) {
  TToolRun version = RunTool({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "vexmeta " VX_PROJECT_VERSION "\n");

  TToolRun help = RunTool({"-h"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("usage: vexmeta", 0), 0u) << help.Out;
  EXPECT_NE(help.Out.find("-f, --field NAME"), std::string::npos) << help.Out;
  // The fields come from the loaded plugin.
  EXPECT_NE(help.Out.find("\n   0  SVG Version\n"), std::string::npos) << help.Out;
  EXPECT_NE(help.Out.find("\n  15  Calculated Height      units 96, 90\n"), std::string::npos)
      << help.Out;
  EXPECT_EQ(RunTool({"--help"}).Out, help.Out);
}

namespace {

std::string TitledDrawing(const std::string& AId, const std::string& ATitle) {
  return "<svg id=\"" + AId + "\"><metadata><rdf:RDF><cc:Work><dc:title>" + ATitle +
         "</dc:title></cc:Work></rdf:RDF></metadata></svg>";
}

}  // namespace

// Columns are padded by the cells a terminal gives each character: the widest
// title, ten ideographs, takes twenty.
TEST(HostTool, TableColumnsLineUpByDisplayWidth) {
  TTempDir dir;
  struct TCase {
    const char* Id;
    const char* Title;
    std::size_t Cells;
  } cases[] = {
      {"cjk",
       "\xE6\xB8\xAF\xE5\x8F\xA3\xE7\x9A\x84\xE9\xBB\x84\xE6\x98\x8F\xE6\x97\xB6\xE5\x88"
       "\x86\xE7\x9A\x84\xE8\x88\xB9\xE5\x8F\xAA",
       20},
      {"ascii", "Harbour", 7},
      {"mark", "Cafe\xCC\x81 noir", 9},                         // a combining accent
      {"emoji", "\xF0\x9F\x98\x80\xF0\x9F\x9A\xA2 boats", 10},  // two pictures
      {"wide", "\xEF\xBC\xA1\xEF\xBC\xA2 ab", 7},               // full-width letters
  };
  std::vector<std::string> args{"-f", "Metadata Title", "-f", "ID"};
  for (const TCase& c : cases)
    args.push_back(dir.Write(std::string(c.Id) + ".svg", TitledDrawing(c.Id, c.Title)).string());
  TToolRun run = RunTool(args);
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 1 + std::size(cases)) << run.Out;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Id);
    const std::string tail = std::string(c.Title) + std::string(20 - c.Cells + 2, ' ') + c.Id;
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.ends_with(tail);
    })) << run.Out;
  }
}

// Control characters in a value or a file name would drive the terminal: the
// table shows them as blanks, so the columns still line up.
TEST(HostTool, ControlCharactersInTheTableAreShownAsBlanks) {
  TTempDir dir;
  const std::string id = std::string("a\x1B]0;x\x07") + "b";  // sets the window title
  const std::string file = dir.Write("bell\x07.svg", TitledDrawing(id, "\x1B[31mred\x7F")).string();
  TToolRun run = RunTool({"-f", "Metadata Title", "-f", "ID", file});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.find_first_of("\x07\x1B\x7F"), std::string::npos) << run.Out;
  const std::vector<std::string> lines = Lines(run.Out);
  ASSERT_EQ(lines.size(), 2u) << run.Out;
  // The title's cell, nine wide, padded to its header's fourteen and two more.
  EXPECT_TRUE(lines[1].ends_with("bell .svg   [31mred " + std::string(7, ' ') + "a ]0;x b"))
      << run.Out;
}

// A Latin-1 name on a UTF-8 system, of a file and of a folder walked: read, and
// printed as its bytes are in the table and CSV; JSON shows U+FFFD for each
// byte that is no UTF-8, and stays valid.
TEST(HostTool, NamesThatAreNoUtf8AreReadAndPrintedAsTheyAre) {
  TTempDir dir;
  const std::string file = dir.Write("caf\xE9.svg", cDrawing).string();
  const std::string folder = (dir.Path() / "d\xE9j\xE0").string();
  dir.Write("d\xE9j\xE0/inner.svg", cDrawing);

  TToolRun csv = RunTool({"--csv", "-f", "ID", file, folder});
  EXPECT_EQ(csv.Status, 0) << csv.Err;
  EXPECT_EQ(csv.Out, "File,ID\n" + file + ",quay\n" + folder + "/inner.svg,quay\n");
  TToolRun table = RunTool({"-f", "ID", file});
  EXPECT_EQ(table.Status, 0) << table.Err;
  EXPECT_NE(table.Out.find(file + "  quay\n"), std::string::npos) << table.Out;

  TToolRun json = RunTool({"--json", "-f", "ID", folder});
  EXPECT_EQ(json.Status, 0) << json.Err;
  EXPECT_TRUE(TJsonChecker(json.Out).Valid()) << json.Out;
  EXPECT_EQ(platform::Utf16ToUtf8(platform::Utf8ToUtf16(json.Out)), json.Out) << "no UTF-8";
  EXPECT_NE(json.Out.find("d\xEF\xBF\xBDj\xEF\xBF\xBD/inner.svg"), std::string::npos) << json.Out;

  TToolRun missing = RunTool({(dir.Path() / "gon\xE9.svg").string()});
  EXPECT_EQ(missing.Err, "vexmeta: " + (dir.Path() / "gon\xE9.svg").string() + ": no such file\n");
}

// On a terminal the count of files done is shown for 200 files or more; it is
// cleared before a message and when the run ends, so nothing is left behind it.
TEST(HostTool, ProgressLineIsClearedBeforeMessagesAndAtTheEnd) {
  TTempDir dir;
  for (int i = 0; i < 210; ++i)
    dir.Write("f" + std::to_string(i) + ".svg", "<svg id=\"f" + std::to_string(i) + "\"/>");
  dir.Write("f150junk.svg", "no drawing");
  const fs::path typescript = dir.Path() / "typescript";
  const fs::path out = dir.Path() / "out";
  // script gives the tool a terminal on standard error and records what it shows.
  const std::string inner = Quote(VX_HOST_TOOL_PATH) + " -f ID " + Quote(dir.Path().string()) +
                            " >" + Quote(out.string());
  const std::string command = "script -q -e -c " + Quote(inner) + " " + Quote(typescript.string()) +
                              " </dev/null >/dev/null 2>&1";
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script";
  EXPECT_NE(std::system(command.c_str()), -1);
  const std::string shown = ReadFile(typescript);
  ASSERT_NE(shown.find(" / 211 files"), std::string::npos) << shown;
  auto clearedBefore = [&](std::size_t AAt) {
    std::size_t start = AAt;
    if (start == 0 || shown[--start] != '\r') return false;
    while (start > 0 && shown[start - 1] == ' ') --start;
    return start > 0 && start < AAt - 1 && shown[start - 1] == '\r';
  };
  const std::size_t message = shown.find("vexmeta: ");
  ASSERT_NE(message, std::string::npos) << shown;
  EXPECT_TRUE(clearedBefore(message)) << shown;
  const std::size_t last = shown.rfind(" files") + 6;
  const std::size_t end = shown.find_first_not_of(' ', last + 1);
  EXPECT_TRUE(shown[last] == '\r' && end != std::string::npos && end > last + 1 &&
              shown[end] == '\r')
      << shown;
  EXPECT_EQ(Lines(ReadFile(out)).size(), 211u);
}

// --where selects the files whose fields match; the exit status is grep's: 0
// for a match, 1 for none, 2 when any file failed, even beside a match. A bad
// expression is reported before any file is read.
TEST(HostTool, WhereSelectsFilesWithGrepsExitStatus) {
  TTempDir dir;
  const std::string wide =
      dir.Write("wide.svg",
                "<svg id=\"wide\" width=\"12in\" height=\"1in\"><title>Harbour "
                "North</title></svg>")
          .string();
  const std::string narrow = dir.Write("narrow.svg", cDrawing).string();
  const std::string folder = dir.Path().string();
  const std::string foreign = (dir.Path() / "more" / "notes.svg").string();

  TToolRun names = RunTool({"--names", "--where", "calculated width >= 1000", folder});
  EXPECT_EQ(names.Status, 0) << names.Err;
  EXPECT_EQ(names.Out, wide + "\n");
  TToolRun nul = RunTool({"-0", "--where", "Metadata Title ~ NORTH", folder});
  EXPECT_EQ(nul.Status, 0) << nul.Err;
  EXPECT_EQ(nul.Out, narrow + std::string(1, '\0') + wide + std::string(1, '\0'));
  TToolRun csv = RunTool(
      {"--csv", "-f", "ID", "--where", "not (ID = wide or Calculated Width:90 > 1000)", folder});
  EXPECT_EQ(csv.Status, 0) << csv.Err;
  EXPECT_EQ(csv.Out, "File,ID\n" + narrow + ",quay\n");
  TToolRun none = RunTool({"--csv", "-f", "ID", "--where", "Calculated Width < 10", folder});
  EXPECT_EQ(none.Status, 1);
  EXPECT_EQ(none.Out, "File,ID\n");

  dir.Write("more/notes.svg", "just some notes\n");
  TToolRun failed = RunTool({"--names", "--where", "ID = wide", folder});
  EXPECT_EQ(failed.Status, 2);
  EXPECT_EQ(failed.Out, wide + "\n");
  EXPECT_EQ(failed.Err, "vexmeta: " + foreign + ": not a drawing the plugin knows\n");

  // Not even the missing file is looked at.
  TToolRun bad = RunTool({"--where", "Calculated Width >= 1000 and Widht", "missing.svg"});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_EQ(bad.Out, "");
  EXPECT_EQ(bad.Err,
            "vexmeta: --where: no field \"Widht\" (vexmeta --fields lists them) (column 30)\n"
            "  Calculated Width >= 1000 and Widht\n"
            "                               ^\n");
}

// The files are read on several threads; what is printed, and in what order,
// is the same whatever their number.
TEST(HostTool, OutputIsTheSameOnAnyNumberOfThreads) {
  TMixedFolder folder;
  for (int i = 0; i < 40; ++i) {
    const std::string svg = "<svg id=\"d" + std::to_string(i) + "\" width=\"" +
                            std::to_string(i + 1) + "mm\" height=\"3pt\"/>";
    folder.Dir.Write("walked/many/d" + std::to_string(i) + (i % 4 == 0 ? ".svgz" : ".svg"),
                     i % 4 == 0 ? testing_support::Gzip(svg) : svg);
  }
  const TToolRun one = RunTool({"--json", "-j", "1", folder.Dir.Path().string()});
  EXPECT_EQ(one.Status, 1);
  EXPECT_TRUE(TJsonChecker(one.Out).Valid()) << one.Out;
  EXPECT_NE(one.Out.find("\"ID\": \"d39\""), std::string::npos);
  for (const char* jobs : {"-j2", "-j7", "--jobs=64"}) {
    SCOPED_TRACE(jobs);
    const TToolRun many = RunTool({"--json", jobs, folder.Dir.Path().string()});
    EXPECT_EQ(many.Status, one.Status);
    EXPECT_EQ(many.Out, one.Out);
    EXPECT_EQ(many.Err, one.Err);
  }
}
