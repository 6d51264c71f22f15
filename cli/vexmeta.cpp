// vexmeta: a command-line host for the plugin. It loads Vexmeta.wdx64 by path as
// a file manager does, resolves the five exports, and prints the detect string,
// the field table, or every field of the files and folders it is given.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Platform.h"
#include "plugin/contplug.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kHostTextBytes = 2048;   // what a file manager passes for names
constexpr std::int32_t kHostValueBytes = 8192;  // and for values

const char kUsage[] =
    "usage: vexmeta [options] [file or folder ...]\n"
    "\n"
    "Loads the content plugin as a file manager does and prints what it reports.\n"
    "Folders are walked recursively for the files the plugin's detect string names\n"
    "(.svg and .svgz); files are asked for whatever their extension.\n"
    "\n"
    "options:\n"
    "  --plugin PATH   the plugin library (default: Vexmeta.wdx64 beside this program)\n"
    "  --fields        print the plugin's field table\n"
    "  --detect        print the plugin's detect string\n"
    "  --json          one JSON object per file, as a JSON array\n"
    "  --csv           comma-separated values with a header row\n"
    "  --help          this text\n"
    "\n"
    "Without --json or --csv the fields are printed as an aligned table, one row per\n"
    "file. Fields with units (the calculated sizes) get one column per unit.\n";

struct Plugin {
  std::unique_ptr<platform::DynamicLibrary> Library;
  TContentGetDetectString GetDetectString = nullptr;
  TContentGetSupportedField GetSupportedField = nullptr;
  TContentGetValueW GetValueW = nullptr;
  TContentGetValue GetValue = nullptr;
  TContentSendStateInformationW SendStateInformation = nullptr;
};

struct Column {
  std::string Title;
  std::int32_t Field;
  std::int32_t Unit;
  std::int32_t Type;
};

enum class Format { Table, Json, Csv };

std::u16string ToUtf16(const std::string& s) {
  return platform::Utf8ToUtf16(s);
}
std::string ToUtf8(std::u16string_view s) {
  return platform::Utf16ToUtf8(s);
}

bool LoadPlugin(const std::string& path, Plugin& plugin) {
  std::string error;
  plugin.Library = platform::DynamicLibrary::Open(ToUtf16(path), &error);
  if (!plugin.Library) {
    std::fprintf(stderr, "vexmeta: cannot load %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  auto resolve = [&](auto& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(plugin.Library->Symbol(name));
    if (slot == nullptr)
      std::fprintf(stderr, "vexmeta: %s does not export %s\n", path.c_str(), name);
    return slot != nullptr;
  };
  bool ok = resolve(plugin.GetDetectString, "ContentGetDetectString");
  ok = resolve(plugin.GetSupportedField, "ContentGetSupportedField") && ok;
  ok = resolve(plugin.GetValueW, "ContentGetValueW") && ok;
  ok = resolve(plugin.GetValue, "ContentGetValue") && ok;
  ok = resolve(plugin.SendStateInformation, "ContentSendStateInformationW") && ok;
  return ok;
}

std::string DefaultPluginPath(const char* argv0) {
  std::u16string self = platform::ModulePath();
  fs::path dir =
      self.empty() ? fs::path(argv0).parent_path() : fs::path(ToUtf8(self)).parent_path();
  return (dir / "Vexmeta.wdx64").string();
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

std::vector<Column> ReadColumns(const Plugin& plugin, bool print) {
  std::vector<Column> columns;
  for (std::int32_t i = 0;; ++i) {
    char name[kHostTextBytes] = {};
    char units[kHostTextBytes] = {};
    std::int32_t type = plugin.GetSupportedField(i, name, units, kHostTextBytes);
    if (type == ft_nomorefields) break;
    if (print) std::printf("%2d  %-22s type %-3d units \"%s\"\n", i, name, type, units);
    std::vector<std::string> unitList = SplitUnits(units);
    if (unitList.empty()) {
      columns.push_back({name, i, 0, type});
    } else {
      for (std::size_t u = 0; u < unitList.size(); ++u)
        columns.push_back(
            {std::string(name) + " (" + unitList[u] + ")", i, static_cast<std::int32_t>(u), type});
    }
  }
  return columns;
}

// Asks for one field with a host-sized buffer; empty when the plugin has no value.
std::string RequestValue(const Plugin& plugin, const std::u16string& path, const Column& column) {
  alignas(8) char buffer[kHostValueBytes] = {};
  std::int32_t result =
      plugin.GetValueW(path.c_str(), column.Field, column.Unit, buffer, kHostValueBytes, 0);
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
      std::u16string text;
      for (std::size_t i = 0; i + 1 < sizeof buffer; i += 2) {
        char16_t unit;
        std::memcpy(&unit, buffer + i, sizeof unit);
        if (unit == 0) break;
        text.push_back(unit);
      }
      return ToUtf8(text);
    }
    default:
      return {};
  }
}

bool MatchesDetectString(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return ext == ".SVG" || ext == ".SVGZ";
}

void CollectFiles(const std::string& arg, std::vector<fs::path>& files) {
  std::error_code ec;
  fs::path path(arg);
  if (fs::is_directory(path, ec)) {
    std::vector<fs::path> found;
    for (fs::recursive_directory_iterator
             it(path, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec) && MatchesDetectString(it->path())) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  } else {
    files.push_back(path);
  }
}

std::string JsonEscape(const std::string& s) {
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

std::size_t DisplayWidth(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

void PrintRows(const std::vector<Column>& columns, const std::vector<std::string>& names,
               const std::vector<std::vector<std::string>>& rows, Format format) {
  if (format == Format::Json) {
    std::printf("[\n");
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::printf("  {\"File\": \"%s\"", JsonEscape(names[r]).c_str());
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string& v = rows[r][c];
        if (v.empty()) {
          std::printf(", \"%s\": null", JsonEscape(columns[c].Title).c_str());
        } else if (columns[c].Type == ft_stringw) {
          std::printf(", \"%s\": \"%s\"", JsonEscape(columns[c].Title).c_str(),
                      JsonEscape(v).c_str());
        } else {
          std::printf(", \"%s\": %s", JsonEscape(columns[c].Title).c_str(), v.c_str());
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
      for (const std::string& v : rows[r]) std::printf(",%s", CsvEscape(v).c_str());
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
    for (const std::string& v : rows[r]) line.push_back(TableCell(v));
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

}  // namespace

int main(int argc, char** argv) {
  std::string pluginPath;
  bool showFields = false;
  bool showDetect = false;
  Format format = Format::Table;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (arg == "--fields") {
      showFields = true;
    } else if (arg == "--detect") {
      showDetect = true;
    } else if (arg == "--json") {
      format = Format::Json;
    } else if (arg == "--csv") {
      format = Format::Csv;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
      std::fprintf(stderr, "vexmeta: unknown option %s\n\n%s", arg.c_str(), kUsage);
      return 2;
    } else if (arg != "--") {
      inputs.push_back(arg);
    }
  }
  if (!showFields && !showDetect && inputs.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (pluginPath.empty()) pluginPath = DefaultPluginPath(argv[0]);

  Plugin plugin;
  if (!LoadPlugin(pluginPath, plugin)) return 1;

  if (showDetect) {
    char detect[kHostTextBytes] = {};
    plugin.GetDetectString(detect, kHostTextBytes);
    std::printf("%s\n", detect);
  }
  std::vector<Column> columns = ReadColumns(plugin, showFields);
  if (inputs.empty()) return 0;

  std::vector<fs::path> files;
  for (const std::string& input : inputs) CollectFiles(input, files);

  bool progress = platform::StderrIsTerminal() && files.size() >= 200;
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
  for (std::size_t f = 0; f < files.size(); ++f) {
    std::string name = files[f].string();
    std::u16string path = ToUtf16(fs::absolute(files[f]).string());
    std::vector<std::string> row;
    for (const Column& column : columns) row.push_back(RequestValue(plugin, path, column));
    names.push_back(name);
    rows.push_back(std::move(row));
    if (progress && (f % 100 == 0 || f + 1 == files.size()))
      std::fprintf(stderr, "\r%zu / %zu files", f + 1, files.size());
  }
  if (progress) std::fprintf(stderr, "\n");
  PrintRows(columns, names, rows, format);
  return 0;
}
