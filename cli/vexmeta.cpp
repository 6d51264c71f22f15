// vexmeta: a command-line host for the plugin. It loads Vexmeta.wdx64 by path as
// a file manager does, resolves its exports, and prints the detect string,
// the field table, or the fields of the files and folders it is given (those
// an expression selects, with --where), asking for the files on several
// threads and printing them in the order of the walk.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "FileFeed.h"
#include "WhereExpr.h"
#include "base/Ascii.h"
#include "host/LoadedPlugin.h"
#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t cHostTextBytes = 2048;   // what a file manager passes for names
constexpr std::int32_t cHostValueBytes = 8192;  // and for values

// Exit statuses: a file that failed is 1, a wrong command line is 2. With
// --where they are grep's: 0 when a file matched, 1 when none did, 2 when
// anything failed (a file, a folder, the plugin, the command line), whatever
// matched.
constexpr int cExitFailed = 1;
constexpr int cExitUsage = 2;
constexpr int cExitNoMatch = 1;
constexpr int cExitError = 2;

// The most threads -j takes.
constexpr int cMaxJobs = 256;

const char cUsage[] =
    "usage: vexmeta [options] [file or folder ...]\n"
    "\n"
    "Loads the content plugin as a file manager does and prints what it reports.\n"
    "Folders are walked recursively for the files the plugin's detect string names\n"
    "(.svg and .svgz); files are asked for whatever their extension.\n"
    "\n"
    "options:\n"
    "  -f, --field NAME  print only this field; repeat it for more, in the order\n"
    "                    wanted. NAME is a field's name (any case) or index;\n"
    "                    NAME:UNIT picks one unit, as in \"Calculated Width:90\"\n"
    "  --json            one JSON object per file, as a JSON array\n"
    "  --csv             comma-separated values with a header row\n"
    "  --where EXPR      only the files whose fields match EXPR, for example\n"
    "                    'Calculated Width >= 1000 and not Have Embedded Image'\n"
    "                    (fields by name, any case, NAME:UNIT for a unit;\n"
    "                    = != < <= > >= ~ not and or, parentheses)\n"
    "  --names           print only the files' names, one a line\n"
    "  -0                the same, each name ended by a NUL byte (for xargs -0)\n"
    "  -j, --jobs N      read the files on N threads (default: one per core);\n"
    "                    the output is the same whatever N\n"
    "  --plugin PATH     the plugin library (default: Vexmeta.wdx64 beside this\n"
    "                    program, else the installed one)\n"
    "  --fields          print the plugin's field table\n"
    "  --detect          print the plugin's detect string\n"
    "  --version         print the version\n"
    "  -h, --help        this text\n"
    "\n"
    "Without --json or --csv the fields are printed as an aligned table, one row per\n"
    "file. A field with units (the calculated sizes) gets one column per unit.\n"
    "A file that is missing, cannot be read or is not a drawing the plugin knows is\n"
    "reported on standard error and left out; the exit status is then 1. A wrong\n"
    "command line exits with 2. With --where the exit status is 0 when a file\n"
    "matched, 1 when none did, and 2 when anything failed.\n";

using TPlugin = TLoadedPlugin;

// One row of the plugin's field table.
struct TField {
  std::string Name;
  std::int32_t Type;
  std::string Units;                  // as reported: "96|90"
  std::vector<std::string> UnitList;  // split at the bars
};

struct TColumn {
  std::string Title;
  std::int32_t Field;
  std::int32_t Unit;
  std::int32_t Type;
};

enum class TFormat { fmTable, fmJson, fmCsv, fmNames };

struct TOptions {
  fs::path PluginPath;
  bool ShowFields = false;
  bool ShowDetect = false;
  bool ShowHelp = false;
  bool ShowVersion = false;
  TFormat Output = TFormat::fmTable;
  char NameEnd = '\n';  // what ends each name of --names
  std::optional<std::string> Where;
  int Jobs = 0;  // 0: one per core
  std::vector<std::string> FieldSpecs;
  std::vector<fs::path> Inputs;
};

std::u16string ToUtf16(const std::string& AS) {
  return platform::Utf8ToUtf16(AS);
}
std::string ToUtf8(std::u16string_view AS) {
  return platform::Utf16ToUtf8(AS);
}

// A path as the plugin and the platform layer take it: a Windows path as it
// is; a POSIX one, which is bytes, with the bytes that are no UTF-8 escaped
// (see platform::FileNameToUtf16), so that every name reaches the file.
template <typename TChar>
std::u16string HostName(const std::basic_string<TChar>& AName) {
  if constexpr (std::is_same_v<TChar, char>) {
    return platform::FileNameToUtf16(AName);
  } else {
    return std::u16string(AName.begin(), AName.end());
  }
}

template <typename Path>
std::u16string HostPath(const Path& APath) {
  return HostName(APath.native());
}

template <typename Path = fs::path>
Path PathFromHost(std::u16string_view APath) {
  if constexpr (std::is_same_v<typename Path::value_type, char>) {
    return Path(platform::FileNameFromUtf16(APath));
  } else {
    return Path(typename Path::string_type(APath.begin(), APath.end()));
  }
}

// A path as the table, CSV and messages print it: on POSIX systems its bytes as
// they are, so a terminal shows a name as its other programs do; on Windows
// UTF-8. JSON output makes it valid UTF-8 (see JsonEscape).
template <typename Path>
std::string PrintedName(const Path& APath) {
  if constexpr (std::is_same_v<typename Path::value_type, char>) {
    return APath.native();
  } else {
    std::u8string name = APath.u8string();
    return std::string(name.begin(), name.end());
  }
}

// A file to ask for, as the system names it: paths are made only where a file
// is reported, so a walk of many files makes none.
using TNativeName = fs::path::string_type;

// (Templates, so that only the branch of this platform's name is compiled.)
template <typename TChar>
std::string PrintedName(const std::basic_string<TChar>& AName) {
  if constexpr (std::is_same_v<TChar, char>) {
    return AName;
  } else {
    return PrintedName(fs::path(AName));
  }
}

// The path of the file AName (relative to the working folder AWorking, given
// with a separator at its end: APrefix) as a file manager passes it, absolute.
template <typename TChar>
std::basic_string<TChar> AbsoluteName(const std::basic_string<TChar>& AName,
                                      const fs::path& AWorking,
                                      const std::basic_string<TChar>& APrefix) {
  if constexpr (std::is_same_v<TChar, char>) {
    return !AName.empty() && AName.front() == '/' ? AName : APrefix + AName;
  } else {
    const fs::path path(AName);
    return path.is_absolute() ? AName : (AWorking / path).native();
  }
}

// The count of files done, on a line of standard error rewritten in place.
// It is cleared before any message and when the run ends, so that neither a
// message nor what follows the run starts behind it.
class TProgress {
 public:
  explicit TProgress(bool AShown) : FShown(AShown) {}
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;
  ~TProgress() { Clear(); }

  void Show(std::size_t ADone, std::size_t ATotal) {
    if (!FShown) return;
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%zu / %zu files", ADone, ATotal);
    std::fprintf(stderr, "\r%s", text);
    FWidth = n > 0 ? n : 0;
  }
  void Clear() {
    if (FWidth == 0) return;
    std::fprintf(stderr, "\r%*s\r", FWidth, "");
    FWidth = 0;
  }

 private:
  bool FShown;
  int FWidth = 0;  // of the line shown now; 0 when none is
};

void Report(const fs::path& APath, const char* AReason) {
  std::fprintf(stderr, "vexmeta: %s: %s\n", PrintedName(APath).c_str(), AReason);
}

int UsageError(const std::string& AMessage) {
  std::fprintf(stderr, "vexmeta: %s\n", AMessage.c_str());
  return cExitUsage;
}

// Reads the command line; a usage error is reported and gives false.
bool ParseOptions(int AArgc, char** AArgv, TOptions& AOptions) {
  bool onlyInputs = false;
  for (int i = 1; i < AArgc; ++i) {
    std::string arg = AArgv[i];
    if (onlyInputs || arg == "-" || arg.empty() || arg[0] != '-') {
      AOptions.Inputs.emplace_back(AArgv[i]);
      continue;
    }
    if (arg == "--") {
      onlyInputs = true;
      continue;
    }
    // Options with a value take it from the next argument or after "=".
    std::optional<std::string> value;
    std::size_t equals = arg.find('=');
    if (arg.starts_with("--") && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    // -jN is -j N.
    if (arg.size() > 2 && arg.starts_with("-j") && !arg.starts_with("--")) {
      value = arg.substr(2);
      arg = "-j";
    }
    bool takesValue = arg == "-f" || arg == "--field" || arg == "--plugin" || arg == "--where" ||
                      arg == "-j" || arg == "--jobs";
    if (takesValue && !value) {
      if (i + 1 >= AArgc) {
        UsageError("option " + arg + " needs a value (vexmeta --help lists the options)");
        return false;
      }
      value = AArgv[++i];
    }
    if (value && !takesValue) {
      UsageError("option " + arg + " takes no value (vexmeta --help lists the options)");
      return false;
    }
    if (arg == "-h" || arg == "--help") {
      AOptions.ShowHelp = true;
    } else if (arg == "--version") {
      AOptions.ShowVersion = true;
    } else if (arg == "-f" || arg == "--field") {
      AOptions.FieldSpecs.push_back(*value);
    } else if (arg == "--plugin") {
      AOptions.PluginPath = fs::path(*value);
    } else if (arg == "--fields") {
      AOptions.ShowFields = true;
    } else if (arg == "--detect") {
      AOptions.ShowDetect = true;
    } else if (arg == "--json") {
      AOptions.Output = TFormat::fmJson;
    } else if (arg == "--csv") {
      AOptions.Output = TFormat::fmCsv;
    } else if (arg == "--names" || arg == "-0") {
      AOptions.Output = TFormat::fmNames;
      if (arg == "-0") AOptions.NameEnd = '\0';
    } else if (arg == "--where") {
      if (AOptions.Where) {
        UsageError("--where is given twice (join the conditions with \"and\" or \"or\")");
        return false;
      }
      AOptions.Where = *value;
    } else if (arg == "-j" || arg == "--jobs") {
      const std::string& n = *value;
      const bool number =
          !n.empty() && n.size() <= 4 &&
          std::all_of(n.begin(), n.end(), [](char AC) { return AC >= '0' && AC <= '9'; });
      AOptions.Jobs = number ? std::stoi(n) : 0;
      if (AOptions.Jobs < 1 || AOptions.Jobs > cMaxJobs) {
        UsageError("option " + arg + " takes a number of threads from 1 to " +
                   std::to_string(cMaxJobs) + ", not \"" + n + "\"");
        return false;
      }
    } else {
      UsageError("unknown option " + arg + " (vexmeta --help lists the options)");
      return false;
    }
  }
  return true;
}

bool LoadPlugin(const fs::path& APath, TPlugin& APlugin, bool AQuiet) {
  std::string error;
  if (APlugin.Load(HostPath(APath), &error)) return true;
  if (!AQuiet)
    std::fprintf(stderr, "vexmeta: cannot load %s: %s\n", PrintedName(APath).c_str(),
                 error.c_str());
  return false;
}

// Vexmeta.wdx64 beside the program; when there is none, the installed plugin,
// which a packaged vexmeta in a folder of programs needs.
fs::path DefaultPluginPath(const char* AArgv0) {
  std::u16string self = platform::ModulePath();
  fs::path dir = self.empty() ? fs::path(AArgv0).parent_path() : PathFromHost(self).parent_path();
  fs::path beside = dir / "Vexmeta.wdx64";
#ifdef VX_INSTALLED_PLUGIN
  std::error_code ec;
  if (!fs::exists(beside, ec) && fs::exists(VX_INSTALLED_PLUGIN, ec))
    return fs::path(VX_INSTALLED_PLUGIN);
#endif
  return beside;
}

std::vector<std::string> SplitUnits(const std::string& AUnits) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (!AUnits.empty()) {
    std::size_t bar = AUnits.find('|', start);
    out.push_back(AUnits.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

std::vector<TField> ReadFieldTable(const TPlugin& APlugin) {
  std::vector<TField> fields;
  for (std::int32_t i = 0;; ++i) {
    char name[cHostTextBytes] = {};
    char units[cHostTextBytes] = {};
    std::int32_t type = APlugin.GetSupportedField(i, name, units, cHostTextBytes);
    if (type == ft_nomorefields) break;
    fields.push_back({name, type, units, SplitUnits(units)});
  }
  return fields;
}

void AddColumn(std::vector<TColumn>& AColumns, const std::vector<TField>& AFields,
               std::int32_t AIndex, std::int32_t AUnit) {
  const TField& field = AFields[static_cast<std::size_t>(AIndex)];
  TColumn column{field.Name, AIndex, AUnit, field.Type};
  if (!field.UnitList.empty())
    column.Title += " (" + field.UnitList[static_cast<std::size_t>(AUnit)] + ")";
  // A column asked for twice is printed once: JSON members need distinct names.
  for (const TColumn& c : AColumns)
    if (c.Field == column.Field && c.Unit == column.Unit) return;
  AColumns.push_back(std::move(column));
}

// The field a name (any case) or an index names, or -1.
std::int32_t FindField(const std::vector<TField>& AFields, const std::string& ASpec) {
  if (!ASpec.empty() && ASpec.size() <= 9 &&
      std::all_of(ASpec.begin(), ASpec.end(), [](char AC) { return AC >= '0' && AC <= '9'; })) {
    std::size_t index = std::stoul(ASpec);
    return index < AFields.size() ? static_cast<std::int32_t>(index) : -1;
  }
  for (std::size_t i = 0; i < AFields.size(); ++i)
    if (ascii::EqualsIgnoreCase(AFields[i].Name, ASpec)) return static_cast<std::int32_t>(i);
  return -1;
}

// The columns to print: every field and unit, or those the -f options name.
// A name or unit that matches nothing is reported and gives false.
bool SelectColumns(const std::vector<TField>& AFields, const std::vector<std::string>& ASpecs,
                   std::vector<TColumn>& AColumns) {
  auto addAllUnits = [&](std::int32_t AIndex) {
    std::size_t units =
        std::max<std::size_t>(1, AFields[static_cast<std::size_t>(AIndex)].UnitList.size());
    for (std::size_t u = 0; u < units; ++u)
      AddColumn(AColumns, AFields, AIndex, static_cast<std::int32_t>(u));
  };
  if (ASpecs.empty()) {
    for (std::size_t i = 0; i < AFields.size(); ++i) addAllUnits(static_cast<std::int32_t>(i));
    return true;
  }
  for (const std::string& spec : ASpecs) {
    std::int32_t index = FindField(AFields, spec);
    if (index >= 0) {
      addAllUnits(index);
      continue;
    }
    std::size_t colon = spec.rfind(':');
    if (colon != std::string::npos) index = FindField(AFields, spec.substr(0, colon));
    if (index < 0) {
      UsageError("no field \"" + spec + "\" (vexmeta --fields lists them)");
      return false;
    }
    const TField& field = AFields[static_cast<std::size_t>(index)];
    const std::string unit = spec.substr(colon + 1);
    auto found =
        std::find_if(field.UnitList.begin(), field.UnitList.end(),
                     [&](const std::string& AU) { return ascii::EqualsIgnoreCase(AU, unit); });
    if (found == field.UnitList.end()) {
      std::string units;
      for (const std::string& u : field.UnitList) units += (units.empty() ? "" : ", ") + u;
      UsageError("field \"" + field.Name + "\" has no unit \"" + spec.substr(colon + 1) + "\"" +
                 (units.empty() ? " (it has no units)" : " (its units: " + units + ")"));
      return false;
    }
    AddColumn(AColumns, AFields, index, static_cast<std::int32_t>(found - field.UnitList.begin()));
  }
  return true;
}

void PrintFieldTable(const std::vector<TField>& AFields) {
  for (std::size_t i = 0; i < AFields.size(); ++i)
    std::printf("%2zu  %-22s type %-3d units \"%s\"\n", i, AFields[i].Name.c_str(), AFields[i].Type,
                AFields[i].Units.c_str());
}

void PrintHelp(const TOptions& AOptions, const char* AArgv0) {
  std::fputs(cUsage, stdout);
  fs::path pluginPath =
      AOptions.PluginPath.empty() ? DefaultPluginPath(AArgv0) : AOptions.PluginPath;
  TPlugin plugin;
  if (!LoadPlugin(pluginPath, plugin, true)) {
    std::printf("\nThe plugin %s could not be loaded to list its fields.\n",
                PrintedName(pluginPath).c_str());
    return;
  }
  std::printf("\nfields (index, name, units):\n");
  std::vector<TField> fields = ReadFieldTable(plugin);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::string units;
    for (const std::string& u : fields[i].UnitList) units += (units.empty() ? "units " : ", ") + u;
    if (units.empty())
      std::printf("  %2zu  %s\n", i, fields[i].Name.c_str());
    else
      std::printf("  %2zu  %-22s %s\n", i, fields[i].Name.c_str(), units.c_str());
  }
}

// Asks for one field with a host-sized buffer; nothing when the plugin has no value.
std::optional<std::string> RequestValue(const TPlugin& APlugin, const std::u16string& APath,
                                        std::int32_t AField, std::int32_t AUnit,
                                        std::int32_t AFlags = 0) {
  // Not cleared: the plugin writes what it answers, a text with its terminator.
  alignas(8) char buffer[cHostValueBytes];
  std::int32_t result =
      APlugin.GetValueW(APath.c_str(), AField, AUnit, buffer, cHostValueBytes, AFlags);
  switch (result) {
    case ft_numeric_32: {
      std::int32_t v;
      std::memcpy(&v, buffer, sizeof v);
      return std::to_string(v);
    }
    case ft_boolean: {
      std::int32_t v;
      std::memcpy(&v, buffer, sizeof v);
      return v != 0 ? "true" : "false";
    }
    case ft_stringw: {
      // The text up to its terminator, copied alone.
      std::size_t units = 0;
      while (units < sizeof buffer / 2 && (buffer[2 * units] != 0 || buffer[2 * units + 1] != 0))
        ++units;
      std::u16string text(units, u'\0');
      std::memcpy(text.data(), buffer, units * sizeof(char16_t));
      return ToUtf8(text);
    }
    default:
      return std::nullopt;
  }
}

// Why a file cannot be asked for, or null. The plugin answers "no value" alike
// for a missing, an unreadable and a foreign file; these checks tell them apart.
const char* FileProblem(const fs::path& APath) {
  std::error_code ec;
  fs::file_status status = fs::status(APath, ec);
  if (status.type() == fs::file_type::not_found) return "no such file";
  if (ec) return "cannot be read";
  if (fs::is_directory(status)) return "is a directory";
  if (!fs::is_regular_file(status)) return "not a regular file";
  if (!platform::TReadOnlyFile::Open(HostPath(APath))) return "cannot be read";
  return nullptr;
}

// Whether a name ends in an extension the detect string names, as a path's
// extension is taken: from the last dot, unless that dot begins the name.
bool NameMatchesDetectString(const fs::path::string_type& AName) {
  const std::size_t dot = AName.rfind(fs::path::value_type('.'));
  if (dot == fs::path::string_type::npos || dot == 0 || AName.size() - dot > 5) return false;
  std::string ext;
  for (std::size_t i = dot; i < AName.size(); ++i) {
    if (static_cast<std::uint32_t>(AName[i]) >= 0x80) return false;
    ext.push_back(static_cast<char>(AName[i]));
  }
  return ascii::EqualsIgnoreCase(ext, ".svg") || ascii::EqualsIgnoreCase(ext, ".svgz");
}

// A folder being walked: its entries that matter, sorted by name, and the next.
struct TWalkFolder {
  fs::path Path;
  std::vector<platform::TFolderEntry> Entries;
  std::size_t Next = 0;
};

// Walks a folder and the folders below it (not following links to folders) for
// the entries the detect string names, in the order of their paths: each
// folder's entries sorted by name, and what a folder holds at the folder's
// place among them, so that no path is compared with another. A folder or
// entry that cannot be read is reported and the walk goes on; false when
// anything was reported.
bool WalkFolder(const fs::path& ARoot, const std::function<void(TNativeName)>& AFound) {
  bool ok = true;
  std::vector<TWalkFolder> open;
  const auto enter = [&](fs::path AFolder) {
    TWalkFolder folder{std::move(AFolder), {}, 0};
    if (!platform::ListFolder(folder.Path, folder.Entries)) {
      Report(folder.Path, "cannot be read");
      ok = false;
    }
    std::erase_if(folder.Entries, [](const platform::TFolderEntry& AEntry) {
      return AEntry.Kind == platform::TEntryKind::ekOther && !NameMatchesDetectString(AEntry.Name);
    });
    std::sort(folder.Entries.begin(), folder.Entries.end(),
              [](const platform::TFolderEntry& AA, const platform::TFolderEntry& AB) {
                return AA.Name < AB.Name;
              });
    open.push_back(std::move(folder));
  };
  enter(ARoot);
  while (!open.empty()) {
    TWalkFolder& folder = open.back();
    if (folder.Next == folder.Entries.size()) {
      open.pop_back();
      continue;
    }
    const platform::TFolderEntry& entry = folder.Entries[folder.Next++];
    switch (entry.Kind) {
      case platform::TEntryKind::ekFolder:
        // Moves the open folders: neither folder nor entry is used after.
        enter(folder.Path / entry.Name);
        break;
      case platform::TEntryKind::ekUnknown:
        Report(folder.Path / entry.Name, "cannot be read");
        ok = false;
        break;
      case platform::TEntryKind::ekOther:
        // As the path folder / name is written: a separator unless the
        // folder's path ends in one (or names a drive alone).
        TNativeName name = folder.Path.native();
        if (folder.Path.has_filename()) name += fs::path::preferred_separator;
        name += entry.Name;
        AFound(std::move(name));
        break;
    }
  }
  return ok;
}

// The files an argument names: itself, or what a folder holds, in the order
// of their paths.
bool CollectFiles(const fs::path& AInput, const std::function<void(TNativeName)>& AFound) {
  std::error_code ec;
  if (!fs::is_directory(AInput, ec)) {
    AFound(AInput.native());
    return true;
  }
  return WalkFolder(AInput, AFound);
}

// Appends AText to AOut as the inside of a JSON string: quote, backslash and
// control characters escaped, runs of other bytes copied whole.
void AppendJsonEscaped(std::string& AOut, std::string_view AText) {
  // Names may hold bytes that are no UTF-8; JSON text must be UTF-8. ASCII is.
  std::string utf8;
  if (!std::all_of(AText.begin(), AText.end(),
                   [](char AC) { return static_cast<unsigned char>(AC) < 0x80; })) {
    utf8 = ToUtf8(ToUtf16(std::string(AText)));
    AText = utf8;
  }
  std::size_t run = 0;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const auto c = static_cast<unsigned char>(AText[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    AOut.append(AText.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"':
        AOut += "\\\"";
        break;
      case '\\':
        AOut += "\\\\";
        break;
      case '\n':
        AOut += "\\n";
        break;
      case '\r':
        AOut += "\\r";
        break;
      case '\t':
        AOut += "\\t";
        break;
      default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\u%04x", c);
        AOut += hex;
      }
    }
  }
  AOut.append(AText.substr(run));
}

std::string CsvEscape(const std::string& AS) {
  if (AS.find_first_of(",\"\r\n") == std::string::npos) return AS;
  std::string out = "\"";
  for (char c : AS) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

// Table cells are one line each, and what a drawing or a file name holds never
// drives the terminal: line breaks and every other control character are shown
// as blanks.
std::string TableCell(std::string AS) {
  for (char& c : AS)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return AS;
}

// The terminal cells a cell's text takes: CJK characters take two, combining
// marks none.
std::size_t DisplayWidth(const std::string& AS) {
  if (std::all_of(AS.begin(), AS.end(),
                  [](char AC) { return static_cast<unsigned char>(AC) < 0x80; }))
    return AS.size();
  return platform::DisplayWidth(ToUtf16(AS));
}

using TRow = std::vector<std::optional<std::string>>;

void PrintRows(const std::vector<TColumn>& AColumns, const std::vector<std::string>& ANames,
               const std::vector<TRow>& ARows, TFormat AFormat) {
  if (AFormat == TFormat::fmJson) {
    // Each row is made in one string and written at once.
    std::vector<std::string> titles;
    for (const TColumn& column : AColumns) {
      titles.emplace_back(", \"");
      AppendJsonEscaped(titles.back(), column.Title);
      titles.back() += "\": ";
    }
    std::fputs("[\n", stdout);
    std::string line;
    for (std::size_t r = 0; r < ARows.size(); ++r) {
      line.assign("  {\"File\": \"");
      AppendJsonEscaped(line, ANames[r]);
      line += '"';
      for (std::size_t c = 0; c < AColumns.size(); ++c) {
        const std::optional<std::string>& v = ARows[r][c];
        line += titles[c];
        if (!v) {
          line += "null";
        } else if (AColumns[c].Type == ft_stringw) {
          line += '"';
          AppendJsonEscaped(line, *v);
          line += '"';
        } else {
          line += *v;
        }
      }
      line += r + 1 < ARows.size() ? "},\n" : "}\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fputs("]\n", stdout);
    return;
  }
  if (AFormat == TFormat::fmCsv) {
    std::printf("File");
    for (const TColumn& column : AColumns) std::printf(",%s", CsvEscape(column.Title).c_str());
    std::printf("\n");
    for (std::size_t r = 0; r < ARows.size(); ++r) {
      std::printf("%s", CsvEscape(ANames[r]).c_str());
      for (const auto& v : ARows[r]) std::printf(",%s", CsvEscape(v.value_or("")).c_str());
      std::printf("\n");
    }
    return;
  }
  // A table with no file to show is no table: not even its header is printed.
  if (ARows.empty()) return;
  std::vector<std::string> header{"File"};
  for (const TColumn& column : AColumns) header.push_back(column.Title);
  std::vector<std::size_t> widths(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) widths[c] = DisplayWidth(header[c]);
  std::vector<std::vector<std::string>> cells;
  for (std::size_t r = 0; r < ARows.size(); ++r) {
    std::vector<std::string> line{TableCell(ANames[r])};
    for (const auto& v : ARows[r]) line.push_back(TableCell(v.value_or("")));
    for (std::size_t c = 0; c < line.size(); ++c)
      widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    cells.push_back(std::move(line));
  }
  auto printLine = [&](const std::vector<std::string>& ALine) {
    std::string out;
    for (std::size_t c = 0; c < ALine.size(); ++c) {
      out += ALine[c];
      if (c + 1 < ALine.size()) out.append(widths[c] - DisplayWidth(ALine[c]) + 2, ' ');
    }
    std::printf("%s\n", out.c_str());
  };
  printLine(header);
  for (const auto& line : cells) printLine(line);
}

// What each file is asked for: the columns, and the fields the expression
// reads (WhereColumns[i]: the column of WhereUses[i], or -1 when it is none).
struct TReadPlan {
  const std::vector<TColumn>* Columns;
  const std::vector<TField>* Fields;
  std::vector<where::TFieldUse> WhereUses;
  std::vector<int> WhereColumns;
};

struct TFileResult {
  bool Known = false;    // the plugin reads the file as a drawing
  bool Matched = false;  // and the expression, if any, selects it
  TRow Row;
};

// Asks the plugin for one file. Every request after the first says it is for
// the same file, as the first found it, so that the plugin looks it up once.
TFileResult ReadOne(const TPlugin& APlugin, const std::u16string& APath, const TReadPlan& APlan,
                    const where::TExpression* AExpression) {
  TFileResult result;
  std::int32_t flags = 0;
  auto request = [&](std::int32_t AField, std::int32_t AUnit) {
    std::optional<std::string> value = RequestValue(APlugin, APath, AField, AUnit, flags);
    flags = cContentSameFile;
    return value;
  };
  for (const TColumn& column : *APlan.Columns) {
    result.Row.push_back(request(column.Field, column.Unit));
    result.Known = result.Known || result.Row.back().has_value();
  }
  std::vector<std::optional<std::string>> values;
  for (std::size_t i = 0; i < APlan.WhereUses.size(); ++i) {
    const int column = APlan.WhereColumns[i];
    values.push_back(column >= 0 ? result.Row[static_cast<std::size_t>(column)]
                                 : request(APlan.WhereUses[i].Field, APlan.WhereUses[i].Unit));
    result.Known = result.Known || values.back().has_value();
  }
  // The plugin has no value at all for a file it cannot read as a drawing;
  // the fields asked for may all be empty in a drawing, so every field is
  // asked (the plugin answers them from its cache).
  for (std::size_t i = 0; !result.Known && i < APlan.Fields->size(); ++i)
    result.Known = request(static_cast<std::int32_t>(i), 0).has_value();
  result.Matched = result.Known && (AExpression == nullptr || AExpression->Matches(values));
  return result;
}

// Asks for every file on AJobs threads (0: one per core), this one among
// them; the results stand in the files' order, whatever the threads' order.
using TFeed = TFileFeed<TNativeName, TFileResult>;

// Walks the inputs into AFeed and reads their files on AJobs threads: the
// others read what the walk has found so far, started as files come, and this
// one reads along once the walk has ended. False when the walk reported
// anything.
bool WalkAndRead(const TPlugin& APlugin, const std::vector<fs::path>& AInputs, TFeed& AFeed,
                 const TReadPlan& APlan, const where::TExpression* AExpression, int AJobs) {
  if (AJobs <= 0)
    AJobs = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));

  // Relative names are asked for as absolute paths, as a file manager passes them.
  std::error_code cwdError;
  const fs::path cwd = fs::current_path(cwdError);
  const TNativeName cwdPrefix = (cwd / fs::path()).native();
  std::atomic<std::size_t> done{0};
  std::atomic<bool> failed{false};
  // AProgress: the line this thread keeps, shown again each time the count
  // passes a hundred, whichever thread's file it was (null: none).
  auto work = [&](TProgress* AProgress) {
    std::size_t shownHundreds = 0;
    try {
      TNativeName file;
      TFileResult* result = nullptr;
      while (AFeed.Take(file, result)) {
        *result = ReadOne(APlugin, HostName(cwdError ? file : AbsoluteName(file, cwd, cwdPrefix)),
                          APlan, AExpression);
        const std::size_t count = ++done;
        if (AProgress != nullptr && count / 100 != shownHundreds) {
          shownHundreds = count / 100;
          AProgress->Show(count, AFeed.Count());
        }
      }
    } catch (...) {
      // Out of memory: the files not asked for are reported as failed.
      failed = true;
      AFeed.Stop();
    }
  };
  std::vector<std::thread> workers;
  const auto found = [&](TNativeName AName) {
    AFeed.Add(std::move(AName));
    // One more thread while there are files for it, up to AJobs with this one.
    if (workers.size() + 1 < static_cast<std::size_t>(AJobs) && workers.size() < AFeed.Count()) {
      try {
        workers.emplace_back(work, nullptr);
      } catch (...) {
        AJobs = static_cast<int>(workers.size()) + 1;  // no thread to be had: fewer do the work
      }
    }
  };
  bool ok = true;
  try {
    for (const fs::path& input : AInputs) ok = CollectFiles(input, found) && ok;
  } catch (...) {
    AFeed.Stop();
    for (std::thread& worker : workers) worker.join();
    throw;
  }
  AFeed.Close();
  TProgress progress(platform::StderrIsTerminal() && AFeed.Count() >= 200);
  work(&progress);
  for (std::thread& worker : workers) worker.join();
  progress.Show(done, AFeed.Count());
  progress.Clear();
  if (failed) std::fprintf(stderr, "vexmeta: out of memory\n");
  return ok;
}

int Run(int AArgc, char** AArgv) {
  TOptions options;
  if (!ParseOptions(AArgc, AArgv, options)) return cExitUsage;
  if (options.ShowHelp) {
    PrintHelp(options, AArgv[0]);
    return 0;
  }
  if (options.ShowVersion) {
    std::printf("vexmeta %s\n", VX_VERSION);
    return 0;
  }
  bool listing = options.ShowFields || options.ShowDetect;
  if (listing && !options.Inputs.empty()) return UsageError("--fields and --detect take no files");
  if (!listing && options.Inputs.empty()) {
    std::fputs("vexmeta: no file or folder given\n\n", stderr);
    std::fputs(cUsage, stderr);
    return cExitUsage;
  }
  if (options.PluginPath.empty()) options.PluginPath = DefaultPluginPath(AArgv[0]);

  TPlugin plugin;
  if (!LoadPlugin(options.PluginPath, plugin, false)) return cExitFailed;
  if (options.ShowDetect) {
    char detect[cHostTextBytes] = {};
    plugin.GetDetectString(detect, cHostTextBytes);
    std::printf("%s\n", detect);
  }
  std::vector<TField> fields = ReadFieldTable(plugin);
  if (options.ShowFields) PrintFieldTable(fields);
  if (listing) return 0;
  std::vector<TColumn> columns;
  if (!SelectColumns(fields, options.FieldSpecs, columns)) return cExitUsage;
  // Names alone need no column.
  if (options.Output == TFormat::fmNames) columns.clear();

  // The expression is read before any file is.
  std::optional<where::TExpression> expression;
  if (options.Where) {
    std::vector<where::TFieldName> names;
    for (const TField& field : fields)
      names.push_back({field.Name, field.UnitList, field.Type == ft_boolean});
    where::TParseError error;
    expression = where::TExpression::Parse(*options.Where, names, error);
    if (!expression) {
      std::fprintf(stderr, "vexmeta: --where: %s",
                   where::DescribeError(*options.Where, error).c_str());
      return cExitUsage;
    }
  }

  // What the expression reads, as the columns' values where it reads a column.
  TReadPlan plan{&columns, &fields, {}, {}};
  if (expression) {
    for (const where::TFieldUse& use : expression->Uses()) {
      auto column = std::find_if(columns.begin(), columns.end(), [&](const TColumn& AC) {
        return AC.Field == use.Field && AC.Unit == use.Unit;
      });
      plan.WhereColumns.push_back(
          column == columns.end() ? -1 : static_cast<int>(column - columns.begin()));
      plan.WhereUses.push_back(use);
    }
  }

  TFeed files;
  bool ok = WalkAndRead(plugin, options.Inputs, files, plan, expression ? &*expression : nullptr,
                        options.Jobs);

  std::vector<std::string> names;
  std::vector<TRow> rows;
  for (std::size_t f = 0; f < files.Count(); ++f) {
    TFileResult& result = files.Result(f);
    if (!result.Known) {
      // Only now is it worth finding out why: most files are drawings.
      const fs::path file(files.Name(f));
      const char* problem = FileProblem(file);
      Report(file, problem ? problem : "not a drawing the plugin knows");
      ok = false;
      continue;
    }
    if (!result.Matched) continue;
    names.push_back(PrintedName(files.Name(f)));
    rows.push_back(std::move(result.Row));
  }
  if (options.Output == TFormat::fmNames) {
    for (const std::string& name : names) {
      std::fwrite(name.data(), 1, name.size(), stdout);
      std::fputc(options.NameEnd, stdout);
    }
  } else {
    PrintRows(columns, names, rows, options.Output);
  }
  if (expression) return !ok ? cExitError : (names.empty() ? cExitNoMatch : 0);
  return ok ? 0 : cExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vexmeta: %s\n", e.what());
    return cExitFailed;
  }
}
