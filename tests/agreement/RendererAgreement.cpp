// check_renderer_agreement: the plugin's calculated sizes held against a
// renderer's. For every .svg and .svgz under the folders given, the plugin
// (loaded as a file manager loads it) answers Calculated Width and Height at 96
// dpi, and librsvg gives the drawing's intrinsic size in pixels at 96 dpi,
// rounded as the plugin rounds (half to even). Printed: drawings compared,
// agreeing, differing (with examples), and drawings librsvg reads that the
// plugin refuses. Differences the README names (see NamedDifference) are listed
// apart; any other difference, or a refusal of a drawing with an intrinsic
// size, makes the exit status 1.
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "extract/SvgFields.h"
#include "host/LoadedPlugin.h"
#include "platform/HostPlatform.h"
#include "plugin/contplug.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t cFieldWidth = FieldIndex(&TVexmeta::Width);
constexpr std::int32_t cFieldHeight = FieldIndex(&TVexmeta::Height);
constexpr std::int32_t cFieldCalculatedWidth = FieldIndex(&TVexmeta::IntWidth);
constexpr std::int32_t cFieldCalculatedHeight = FieldIndex(&TVexmeta::IntHeight);
constexpr std::size_t cExamplesShown = 20;

using TPlugin = TLoadedPlugin;

struct TPluginAnswer {
  bool Known = false;  // the plugin reports some field: it reads the drawing
  std::string Width, Height;
  std::int32_t CalculatedWidth = 0, CalculatedHeight = 0;
};

std::optional<std::u16string> Text(const TPlugin& APlugin, const std::u16string& APath,
                                   std::int32_t AField, std::int32_t& AResult) {
  alignas(8) char16_t buffer[4096];
  AResult = APlugin.GetValueW(APath.c_str(), AField, 0, buffer, sizeof buffer, 0);
  if (AResult != ft_stringw) return std::nullopt;
  return std::u16string(buffer);
}

TPluginAnswer AskPlugin(const TPlugin& APlugin, const fs::path& AFile) {
  const std::u16string path = platform::Utf8ToUtf16(AFile.string());
  TPluginAnswer answer;
  for (std::int32_t field = 0; field < cFieldCount; ++field) {
    std::int32_t result = 0;
    const std::optional<std::u16string> text = Text(APlugin, path, field, result);
    answer.Known = answer.Known || result > 0;
    if (field == cFieldWidth && text) answer.Width = platform::Utf16ToUtf8(*text);
    if (field == cFieldHeight && text) answer.Height = platform::Utf16ToUtf8(*text);
    if (field == cFieldCalculatedWidth || field == cFieldCalculatedHeight) {
      std::int32_t number = 0;
      alignas(8) char buffer[16];
      if (APlugin.GetValueW(path.c_str(), field, 0, buffer, sizeof buffer, 0) == ft_numeric_32)
        std::memcpy(&number, buffer, sizeof number);
      (field == cFieldCalculatedWidth ? answer.CalculatedWidth : answer.CalculatedHeight) = number;
    }
  }
  return answer;
}

enum class TRenderer : std::uint8_t { rnCannotRead, rnNoIntrinsicSize, rnSize };

struct TRendererAnswer {
  TRenderer Kind = TRenderer::rnCannotRead;
  double Width = 0, Height = 0;
};

TRendererAnswer AskRenderer(const fs::path& AFile) {
  TRendererAnswer answer;
  GError* error = nullptr;
  RsvgHandle* handle = rsvg_handle_new_from_file(AFile.c_str(), &error);
  if (error != nullptr) g_error_free(error);
  if (handle == nullptr) return answer;
  rsvg_handle_set_dpi(handle, 96.0);
  answer.Kind = rsvg_handle_get_intrinsic_size_in_pixels(handle, &answer.Width, &answer.Height)
                    ? TRenderer::rnSize
                    : TRenderer::rnNoIntrinsicSize;
  g_object_unref(handle);
  return answer;
}

// Whole pixels as the plugin rounds them: half to even; no size at all is 0.
std::int32_t WholePixels(double AValue) {
  if (!(AValue > 0)) return 0;
  if (AValue >= 2147483647.0) return 2147483647;
  return static_cast<std::int32_t>(std::nearbyint(AValue));
}

bool EndsWithUnit(std::string_view AText, std::string_view AUnit) {
  while (!AText.empty() && (AText.back() == ' ' || AText.back() == '\t')) AText.remove_suffix(1);
  if (AText.size() <= AUnit.size()) return false;
  for (std::size_t i = 0; i < AUnit.size(); ++i) {
    char c = AText[AText.size() - AUnit.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != AUnit[i]) return false;
  }
  return true;
}

// The differences the README names, by the width and height as written; null
// for any other.
const char* NamedDifference(const TPluginAnswer& AAnswer) {
  for (const std::string* text : {&AAnswer.Width, &AAnswer.Height})
    if (EndsWithUnit(*text, "em") || EndsWithUnit(*text, "ex"))
      return "em and ex depend on the font size, which the plugin does not know";
  return nullptr;
}

bool IsDrawing(const fs::path& APath) {
  std::string ext = APath.extension().string();
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return ext == ".svg" || ext == ".svgz";
}

void Collect(const fs::path& AInput, std::vector<fs::path>& AFiles) {
  std::error_code ec;
  if (!fs::is_directory(AInput, ec)) {
    AFiles.push_back(AInput);
    return;
  }
  for (fs::recursive_directory_iterator it(AInput, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && IsDrawing(it->path())) AFiles.push_back(it->path());
}

void IgnoreLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

int main(int argc, char** argv) {
  fs::path pluginPath;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (arg.starts_with("-")) {
      std::fprintf(stderr, "usage: check_renderer_agreement [--plugin PATH] FOLDER...\n");
      return 2;
    } else {
      inputs.emplace_back(arg);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: check_renderer_agreement [--plugin PATH] FOLDER...\n");
    return 2;
  }
  if (pluginPath.empty())
    pluginPath =
        fs::path(platform::Utf16ToUtf8(platform::ModulePath())).parent_path().parent_path() /
        "Vexmeta.wdx64";

  TPlugin plugin;
  std::string error;
  plugin.Load(platform::Utf8ToUtf16(pluginPath.string()), &error);
  if (plugin.GetValueW == nullptr) {
    std::fprintf(stderr, "check_renderer_agreement: cannot load %s: %s\n", pluginPath.c_str(),
                 error.c_str());
    return 1;
  }
  // librsvg's own complaints about the drawings are not what is checked here.
  g_log_set_default_handler(IgnoreLog, nullptr);

  std::vector<fs::path> files;
  for (const fs::path& input : inputs) Collect(fs::absolute(input), files);
  std::sort(files.begin(), files.end());

  std::size_t readable = 0, compared = 0, agreeing = 0;
  std::vector<std::string> differing, named, refused, refusedWithSize;
  for (const fs::path& file : files) {
    const TRendererAnswer renderer = AskRenderer(file);
    if (renderer.Kind == TRenderer::rnCannotRead) continue;
    ++readable;
    const TPluginAnswer answer = AskPlugin(plugin, file);
    if (!answer.Known) {
      (renderer.Kind == TRenderer::rnSize ? refusedWithSize : refused).push_back(file.string());
      continue;
    }
    if (renderer.Kind != TRenderer::rnSize) continue;
    ++compared;
    const std::int32_t width = WholePixels(renderer.Width);
    const std::int32_t height = WholePixels(renderer.Height);
    if (width == answer.CalculatedWidth && height == answer.CalculatedHeight) {
      ++agreeing;
      continue;
    }
    char line[512];
    std::snprintf(line, sizeof line,
                  "%s: plugin %d x %d, librsvg %d x %d (%.3f x %.3f; written %s x %s)",
                  file.c_str(), answer.CalculatedWidth, answer.CalculatedHeight, width, height,
                  renderer.Width, renderer.Height, answer.Width.c_str(), answer.Height.c_str());
    if (const char* reason = NamedDifference(answer))
      named.push_back(std::string(line) + " [" + reason + "]");
    else
      differing.push_back(line);
  }

  auto list = [](const char* ATitle, const std::vector<std::string>& ALines) {
    std::printf("%s: %zu\n", ATitle, ALines.size());
    for (std::size_t i = 0; i < ALines.size() && i < cExamplesShown; ++i)
      std::printf("  %s\n", ALines[i].c_str());
    if (ALines.size() > cExamplesShown)
      std::printf("  ... and %zu more\n", ALines.size() - cExamplesShown);
  };
  std::printf("drawings: %zu, read by librsvg: %zu\n", files.size(), readable);
  std::printf("compared (librsvg gives an intrinsic size): %zu\n", compared);
  std::printf("agreeing: %zu\n", agreeing);
  list("differing", differing);
  list("differing as the README names", named);
  list("refused by the plugin, librsvg gives an intrinsic size", refusedWithSize);
  list("refused by the plugin, librsvg gives no intrinsic size", refused);
  return differing.empty() && refusedWithSize.empty() ? 0 : 1;
}
