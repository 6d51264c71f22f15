// vexmeta: a command-line host for the plugin. It loads Vexmeta.wdx64 by path as
// a file manager does, resolves its exports, and prints the detect string,
// the field table, or the fields of the files and folders it is given.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "base/Ascii.h"
#include "host/LoadedPlugin.h"
#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kHostTextBytes = 2048;   // what a file manager passes for names
constexpr std::int32_t kHostValueBytes = 8192;  // and for values

// Exit statuses: a file that failed is 1, a wrong command line is 2.
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
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
    "command line exits with 2.\n";

using Plugin = TLoadedPlugin;

// One row of the plugin's field table.
struct Field {
  std::string Name;
  std::int32_t Type;
  std::string Units;                  // as reported: "96|90"
  std::vector<std::string> UnitList;  // split at the bars
};

struct Column {
  std::string Title;
  std::int32_t Field;
  std::int32_t Unit;
  std::int32_t Type;
};

enum class Format { Table, Json, Csv };

struct Options {
  fs::path PluginPath;
  bool ShowFields = false;
  bool ShowDetect = false;
  bool ShowHelp = false;
  bool ShowVersion = false;
  Format Output = Format::Table;
  std::vector<std::string> FieldSpecs;
  std::vector<fs::path> Inputs;
};

std::u16string ToUtf16(const std::string& s) {
  return platform::Utf8ToUtf16(s);
}
std::string ToUtf8(std::u16string_view s) {
  return platform::Utf16ToUtf8(s);
}

// A path as the plugin and the platform layer take it: a Windows path as it
// is; a POSIX one, which is bytes, with the bytes that are no UTF-8 escaped
// (see platform::FileNameToUtf16), so that every name reaches the file.
template <typename Path>
std::u16string HostPath(const Path& path) {
  if constexpr (std::is_same_v<typename Path::value_type, char>) {
    return platform::FileNameToUtf16(path.native());
  } else {
    return std::u16string(path.native().begin(), path.native().end());
  }
}

template <typename Path = fs::path>
Path PathFromHost(std::u16string_view path) {
  if constexpr (std::is_same_v<typename Path::value_type, char>) {
    return Path(platform::FileNameFromUtf16(path));
  } else {
    return Path(typename Path::string_type(path.begin(), path.end()));
  }
}

// A path as the table, CSV and messages print it: on POSIX systems its bytes as
// they are, so a terminal shows a name as its other programs do; on Windows
// UTF-8. JSON output makes it valid UTF-8 (see JsonEscape).
template <typename Path>
std::string PrintedName(const Path& path) {
  if constexpr (std::is_same_v<typename Path::value_type, char>) {
    return path.native();
  } else {
    std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
  }
}

// The count of files done, on a line of standard error rewritten in place.
// It is cleared before any message and when the run ends, so that neither a
// message nor what follows the run starts behind it.
class Progress {
 public:
  explicit Progress(bool AShown) : FShown(AShown) {}
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { Clear(); }

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

void Report(const fs::path& path, const char* reason) {
  std::fprintf(stderr, "vexmeta: %s: %s\n", PrintedName(path).c_str(), reason);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "vexmeta: %s\n", message.c_str());
  return kExitUsage;
}

// Reads the command line; a usage error is reported and gives false.
bool ParseOptions(int argc, char** argv, Options& options) {
  bool onlyInputs = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyInputs || arg == "-" || arg.empty() || arg[0] != '-') {
      options.Inputs.emplace_back(argv[i]);
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
    bool takesValue = arg == "-f" || arg == "--field" || arg == "--plugin";
    if (takesValue && !value) {
      if (i + 1 >= argc) {
        UsageError("option " + arg + " needs a value (vexmeta --help lists the options)");
        return false;
      }
      value = argv[++i];
    }
    if (value && !takesValue) {
      UsageError("option " + arg + " takes no value (vexmeta --help lists the options)");
      return false;
    }
    if (arg == "-h" || arg == "--help") {
      options.ShowHelp = true;
    } else if (arg == "--version") {
      options.ShowVersion = true;
    } else if (arg == "-f" || arg == "--field") {
      options.FieldSpecs.push_back(*value);
    } else if (arg == "--plugin") {
      options.PluginPath = fs::path(*value);
    } else if (arg == "--fields") {
      options.ShowFields = true;
    } else if (arg == "--detect") {
      options.ShowDetect = true;
    } else if (arg == "--json") {
      options.Output = Format::Json;
    } else if (arg == "--csv") {
      options.Output = Format::Csv;
    } else {
      UsageError("unknown option " + arg + " (vexmeta --help lists the options)");
      return false;
    }
  }
  return true;
}

bool LoadPlugin(const fs::path& path, Plugin& plugin, bool quiet) {
  std::string error;
  if (plugin.Load(HostPath(path), &error)) return true;
  if (!quiet)
    std::fprintf(stderr, "vexmeta: cannot load %s: %s\n", PrintedName(path).c_str(), error.c_str());
  return false;
}

// Vexmeta.wdx64 beside the program; when there is none, the installed plugin,
// which a packaged vexmeta in a folder of programs needs.
fs::path DefaultPluginPath(const char* argv0) {
  std::u16string self = platform::ModulePath();
  fs::path dir = self.empty() ? fs::path(argv0).parent_path() : PathFromHost(self).parent_path();
  fs::path beside = dir / "Vexmeta.wdx64";
#ifdef VX_INSTALLED_PLUGIN
  std::error_code ec;
  if (!fs::exists(beside, ec) && fs::exists(VX_INSTALLED_PLUGIN, ec))
    return fs::path(VX_INSTALLED_PLUGIN);
#endif
  return beside;
}

std::vector<std::string> SplitUnits(const std::string& units) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (!units.empty()) {
    std::size_t bar = units.find('|', start);
    out.push_back(units.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

std::vector<Field> ReadFieldTable(const Plugin& plugin) {
  std::vector<Field> fields;
  for (std::int32_t i = 0;; ++i) {
    char name[kHostTextBytes] = {};
    char units[kHostTextBytes] = {};
    std::int32_t type = plugin.GetSupportedField(i, name, units, kHostTextBytes);
    if (type == ft_nomorefields) break;
    fields.push_back({name, type, units, SplitUnits(units)});
  }
  return fields;
}

void AddColumn(std::vector<Column>& columns, const std::vector<Field>& fields, std::int32_t index,
               std::int32_t unit) {
  const Field& field = fields[static_cast<std::size_t>(index)];
  Column column{field.Name, index, unit, field.Type};
  if (!field.UnitList.empty())
    column.Title += " (" + field.UnitList[static_cast<std::size_t>(unit)] + ")";
  // A column asked for twice is printed once: JSON members need distinct names.
  for (const Column& c : columns)
    if (c.Field == column.Field && c.Unit == column.Unit) return;
  columns.push_back(std::move(column));
}

// The field a name (any case) or an index names, or -1.
std::int32_t FindField(const std::vector<Field>& fields, const std::string& spec) {
  if (!spec.empty() && spec.size() <= 9 &&
      std::all_of(spec.begin(), spec.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    std::size_t index = std::stoul(spec);
    return index < fields.size() ? static_cast<std::int32_t>(index) : -1;
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (ascii::EqualsIgnoreCase(fields[i].Name, spec)) return static_cast<std::int32_t>(i);
  return -1;
}

// The columns to print: every field and unit, or those the -f options name.
// A name or unit that matches nothing is reported and gives false.
bool SelectColumns(const std::vector<Field>& fields, const std::vector<std::string>& specs,
                   std::vector<Column>& columns) {
  auto addAllUnits = [&](std::int32_t index) {
    std::size_t units =
        std::max<std::size_t>(1, fields[static_cast<std::size_t>(index)].UnitList.size());
    for (std::size_t u = 0; u < units; ++u)
      AddColumn(columns, fields, index, static_cast<std::int32_t>(u));
  };
  if (specs.empty()) {
    for (std::size_t i = 0; i < fields.size(); ++i) addAllUnits(static_cast<std::int32_t>(i));
    return true;
  }
  for (const std::string& spec : specs) {
    std::int32_t index = FindField(fields, spec);
    if (index >= 0) {
      addAllUnits(index);
      continue;
    }
    std::size_t colon = spec.rfind(':');
    if (colon != std::string::npos) index = FindField(fields, spec.substr(0, colon));
    if (index < 0) {
      UsageError("no field \"" + spec + "\" (vexmeta --fields lists them)");
      return false;
    }
    const Field& field = fields[static_cast<std::size_t>(index)];
    const std::string unit = spec.substr(colon + 1);
    auto found =
        std::find_if(field.UnitList.begin(), field.UnitList.end(),
                     [&](const std::string& u) { return ascii::EqualsIgnoreCase(u, unit); });
    if (found == field.UnitList.end()) {
      std::string units;
      for (const std::string& u : field.UnitList) units += (units.empty() ? "" : ", ") + u;
      UsageError("field \"" + field.Name + "\" has no unit \"" + spec.substr(colon + 1) + "\"" +
                 (units.empty() ? " (it has no units)" : " (its units: " + units + ")"));
      return false;
    }
    AddColumn(columns, fields, index, static_cast<std::int32_t>(found - field.UnitList.begin()));
  }
  return true;
}

void PrintFieldTable(const std::vector<Field>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    std::printf("%2zu  %-22s type %-3d units \"%s\"\n", i, fields[i].Name.c_str(), fields[i].Type,
                fields[i].Units.c_str());
}

void PrintHelp(const Options& options, const char* argv0) {
  std::fputs(kUsage, stdout);
  fs::path pluginPath = options.PluginPath.empty() ? DefaultPluginPath(argv0) : options.PluginPath;
  Plugin plugin;
  if (!LoadPlugin(pluginPath, plugin, true)) {
    std::printf("\nThe plugin %s could not be loaded to list its fields.\n",
                PrintedName(pluginPath).c_str());
    return;
  }
  std::printf("\nfields (index, name, units):\n");
  std::vector<Field> fields = ReadFieldTable(plugin);
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
std::optional<std::string> RequestValue(const Plugin& plugin, const std::u16string& path,
                                        std::int32_t field, std::int32_t unit) {
  // Not cleared: the plugin writes what it answers, a text with its terminator.
  alignas(8) char buffer[kHostValueBytes];
  std::int32_t result = plugin.GetValueW(path.c_str(), field, unit, buffer, kHostValueBytes, 0);
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
      std::u16string text(sizeof buffer / 2, u'\0');
      std::memcpy(text.data(), buffer, sizeof buffer);
      text.resize(std::min(text.find(u'\0'), text.size()));
      return ToUtf8(text);
    }
    default:
      return std::nullopt;
  }
}

// Why a file cannot be asked for, or null. The plugin answers "no value" alike
// for a missing, an unreadable and a foreign file; these checks tell them apart.
const char* FileProblem(const fs::path& path) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return "no such file";
  if (ec) return "cannot be read";
  if (fs::is_directory(status)) return "is a directory";
  if (!fs::is_regular_file(status)) return "not a regular file";
  if (!platform::ReadOnlyFile::Open(HostPath(path))) return "cannot be read";
  return nullptr;
}

bool MatchesDetectString(const fs::path& path) {
  const std::string ext = PrintedName(path.extension());
  return ascii::EqualsIgnoreCase(ext, ".svg") || ascii::EqualsIgnoreCase(ext, ".svgz");
}

// Walks a folder and the folders below it (not following links to folders) for
// the entries the detect string names. A folder or entry that cannot be read is
// reported and the walk goes on; false when anything was reported.
bool WalkFolder(const fs::path& root, std::vector<fs::path>& found) {
  bool ok = true;
  std::vector<fs::path> pending{root};
  while (!pending.empty()) {
    fs::path dir = std::move(pending.back());
    pending.pop_back();
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
      // The entry's type comes with the folder listing where the file system
      // gives it, so most entries cost no call of their own.
      std::error_code entryError;
      const bool folder =
          !it->is_symlink(entryError) && !entryError && it->is_directory(entryError);
      if (entryError) {
        Report(it->path(), "cannot be read");
        ok = false;
      } else if (folder) {
        pending.push_back(it->path());
      } else if (MatchesDetectString(it->path())) {
        found.push_back(it->path());
      }
    }
    if (ec) {
      Report(dir, "cannot be read");
      ok = false;
    }
  }
  return ok;
}

// The files an argument names: itself, or what a folder holds, sorted.
bool CollectFiles(const fs::path& input, std::vector<fs::path>& files) {
  std::error_code ec;
  if (!fs::is_directory(input, ec)) {
    files.push_back(input);
    return true;
  }
  std::vector<fs::path> found;
  bool ok = WalkFolder(input, found);
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
  return ok;
}

std::string JsonEscape(const std::string& text) {
  // Names may hold bytes that are no UTF-8; JSON text must be UTF-8. ASCII is.
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::string s = ascii ? text : ToUtf8(ToUtf16(text));
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out;
}

std::string CsvEscape(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

// Table cells are one line each; line breaks inside values are shown as blanks.
std::string TableCell(std::string s) {
  for (char& c : s)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return s;
}

// The terminal cells a cell's text takes: CJK characters take two, combining
// marks none.
std::size_t DisplayWidth(const std::string& s) {
  if (std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return s.size();
  return platform::DisplayWidth(ToUtf16(s));
}

using Row = std::vector<std::optional<std::string>>;

void PrintRows(const std::vector<Column>& columns, const std::vector<std::string>& names,
               const std::vector<Row>& rows, Format format) {
  if (format == Format::Json) {
    std::printf("[\n");
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::printf("  {\"File\": \"%s\"", JsonEscape(names[r]).c_str());
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::optional<std::string>& v = rows[r][c];
        std::string title = JsonEscape(columns[c].Title);
        if (!v) {
          std::printf(", \"%s\": null", title.c_str());
        } else if (columns[c].Type == ft_stringw) {
          std::printf(", \"%s\": \"%s\"", title.c_str(), JsonEscape(*v).c_str());
        } else {
          std::printf(", \"%s\": %s", title.c_str(), v->c_str());
        }
      }
      std::printf("}%s\n", r + 1 < rows.size() ? "," : "");
    }
    std::printf("]\n");
    return;
  }
  if (format == Format::Csv) {
    std::printf("File");
    for (const Column& column : columns) std::printf(",%s", CsvEscape(column.Title).c_str());
    std::printf("\n");
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::printf("%s", CsvEscape(names[r]).c_str());
      for (const auto& v : rows[r]) std::printf(",%s", CsvEscape(v.value_or("")).c_str());
      std::printf("\n");
    }
    return;
  }
  std::vector<std::string> header{"File"};
  for (const Column& column : columns) header.push_back(column.Title);
  std::vector<std::size_t> widths(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) widths[c] = DisplayWidth(header[c]);
  std::vector<std::vector<std::string>> cells;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::vector<std::string> line{TableCell(names[r])};
    for (const auto& v : rows[r]) line.push_back(TableCell(v.value_or("")));
    for (std::size_t c = 0; c < line.size(); ++c)
      widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    cells.push_back(std::move(line));
  }
  auto printLine = [&](const std::vector<std::string>& line) {
    std::string out;
    for (std::size_t c = 0; c < line.size(); ++c) {
      out += line[c];
      if (c + 1 < line.size()) out.append(widths[c] - DisplayWidth(line[c]) + 2, ' ');
    }
    std::printf("%s\n", out.c_str());
  };
  printLine(header);
  for (const auto& line : cells) printLine(line);
}

int Run(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return kExitUsage;
  if (options.ShowHelp) {
    PrintHelp(options, argv[0]);
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
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (options.PluginPath.empty()) options.PluginPath = DefaultPluginPath(argv[0]);

  Plugin plugin;
  if (!LoadPlugin(options.PluginPath, plugin, false)) return kExitFailed;
  if (options.ShowDetect) {
    char detect[kHostTextBytes] = {};
    plugin.GetDetectString(detect, kHostTextBytes);
    std::printf("%s\n", detect);
  }
  std::vector<Field> fields = ReadFieldTable(plugin);
  if (options.ShowFields) PrintFieldTable(fields);
  if (listing) return 0;
  std::vector<Column> columns;
  if (!SelectColumns(fields, options.FieldSpecs, columns)) return kExitUsage;

  bool ok = true;
  std::vector<fs::path> files;
  for (const fs::path& input : options.Inputs) ok = CollectFiles(input, files) && ok;

  Progress progress(platform::StderrIsTerminal() && files.size() >= 200);
  // Relative names are asked for as absolute paths, as a file manager passes them.
  std::error_code cwdError;
  const fs::path cwd = fs::current_path(cwdError);
  std::vector<std::string> names;
  std::vector<Row> rows;
  for (std::size_t f = 0; f < files.size(); ++f) {
    if (f % 100 == 0 || f + 1 == files.size()) progress.Show(f + 1, files.size());
    const fs::path absolute = files[f].is_absolute() || cwdError ? files[f] : cwd / files[f];
    std::u16string path = HostPath(absolute);
    Row row;
    bool known = false;
    for (const Column& column : columns) {
      row.push_back(RequestValue(plugin, path, column.Field, column.Unit));
      known = known || row.back().has_value();
    }
    // The plugin has no value at all for a file it cannot read as a drawing;
    // the columns asked for may all be empty in a drawing, so every field is
    // asked (the plugin answers them from its cache).
    for (std::size_t i = 0; !known && i < fields.size(); ++i)
      known = RequestValue(plugin, path, static_cast<std::int32_t>(i), 0).has_value();
    if (!known) {
      // Only now is it worth finding out why: most files are drawings.
      progress.Clear();
      const char* problem = FileProblem(files[f]);
      Report(files[f], problem ? problem : "not a drawing the plugin knows");
      ok = false;
      continue;
    }
    names.push_back(PrintedName(files[f]));
    rows.push_back(std::move(row));
  }
  progress.Clear();
  PrintRows(columns, names, rows, options.Output);
  return ok ? 0 : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vexmeta: %s\n", e.what());
    return kExitFailed;
  }
}
