// Value requests end to end, through the loaded library as a host calls it:
// fields of rich drawings, units, buffer cuts, the result cache (one read per
// file, re-reading after a change, eviction), state notifications, and files a
// host must survive (pipes, devices, huge attributes, concurrent callers).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "extract/SvgFields.h"
#include "plugin/SvgPlugin.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testing_support::TPluginCopy;
using testing_support::TPluginHost;
using testing_support::TTempDir;
using testing_support::U16;

namespace {

const char cRichDrawing[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
    "<!-- Created with  Vector Editor (https://example.org/) -->\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" id=\"svg2\" width=\"100mm\"\n"
    "   height=\"50mm\" viewBox=\"0 0 100 50\" inkscape:version=\"0.92.4 (5da689c313, "
    "2019-01-14)\"\n"
    "   sodipodi:version=\"0.32\" sodipodi:docbase=\"/home/ann/art\" "
    "sodipodi:docname=\"rich.svg\">\n"
    "  <metadata id=\"metadata7\"><rdf:RDF><cc:Work rdf:about=\"\">\n"
    "    <dc:format>image/svg+xml</dc:format>\n"
    "    <dc:title>Harbour at dusk</dc:title>\n"
    "    <dc:description>Boats &amp; lights</dc:description>\n"
    "    <dc:date>2019-03-17T15:14:01</dc:date>\n"
    "  </cc:Work></rdf:RDF></metadata>\n"
    "  <image xlink:href=\"data:image/png;base64,iVBORw0KGgo=\" width=\"1\" height=\"1\"/>\n"
    "  <g><rect width=\"10\" height=\"10\"/></g>\n"
    "</svg>\n";

std::u16string W(const char* AS) {
  return platform::Utf8ToUtf16(AS);
}

// Sets a file's time to a fixed instant, so that rewrites keep time and size.
void PinTime(const fs::path& APath, int ASecondsAgo = 3600) {
  fs::last_write_time(APath, fs::file_time_type::clock::now() - std::chrono::seconds(ASecondsAgo));
}

// Replaces a drawing's content with one of the same size, keeping its time, so
// that only a read of the file can tell.
void RewriteKeepingTime(const fs::path& APath, std::string_view AContent = "<svg id=\"new\"/>") {
  auto time = fs::last_write_time(APath);
  {
    std::ofstream out(APath, std::ios::binary | std::ios::trunc);
    out.write(AContent.data(), static_cast<std::streamsize>(AContent.size()));
  }
  fs::last_write_time(APath, time);
}

}  // namespace

TEST(ValueRequest, EveryFieldOfARichDrawing) {
  TPluginHost host;
  TTempDir dir;
  auto file = dir.Write("rich.svg", cRichDrawing);
  struct TCase {
    int Field;
    int Unit;
    std::int32_t Result;
    const char* Text;
    std::int32_t Number;
  } cases[] = {
      {FieldIndex(&TVexmeta::Version), 0, ft_stringw, "1.1", 0},
      {FieldIndex(&TVexmeta::Application), 0, ft_stringw, "Vector Editor (https://example.org/)",
       0},
      {FieldIndex(&TVexmeta::Width), 0, ft_stringw, "100mm", 0},
      {FieldIndex(&TVexmeta::Height), 0, ft_stringw, "50mm", 0},
      {FieldIndex(&TVexmeta::ViewBox), 0, ft_stringw, "0 0 100 50", 0},
      {FieldIndex(&TVexmeta::EmbeddedImage), 0, ft_boolean, "", 1},
      {FieldIndex(&TVexmeta::ID), 0, ft_stringw, "svg2", 0},
      {FieldIndex(&TVexmeta::InkscapeVersion), 0, ft_stringw, "0.92.4 (5da689c313, 2019-01-14)", 0},
      {FieldIndex(&TVexmeta::SodipodiVersion), 0, ft_stringw, "0.32", 0},
      {FieldIndex(&TVexmeta::SodipodiDocbase), 0, ft_stringw, "/home/ann/art", 0},
      {FieldIndex(&TVexmeta::SodipodiDocname), 0, ft_stringw, "rich.svg", 0},
      {FieldIndex(&TVexmeta::MetadataTitle), 0, ft_stringw, "Harbour at dusk", 0},
      {FieldIndex(&TVexmeta::MetadataDescription), 0, ft_stringw, "Boats & lights", 0},
      {FieldIndex(&TVexmeta::MetadataDate), 0, ft_stringw, "2019-03-17 15:14:01", 0},
      {FieldIndex(&TVexmeta::IntWidth), 0, ft_numeric_32, "", 378},
      {FieldIndex(&TVexmeta::IntWidth), 1, ft_numeric_32, "", 354},
      {FieldIndex(&TVexmeta::IntHeight), 0, ft_numeric_32, "", 189},
      {FieldIndex(&TVexmeta::IntHeight), 1, ft_numeric_32, "", 177},
      {FieldIndex(&TVexmeta::IntWidth), 2, ft_fieldempty, "", 0},
      {FieldIndex(&TVexmeta::IntHeight), 2, ft_fieldempty, "", 0},
      {FieldIndex(&TVexmeta::IntWidth), -1, ft_numeric_32, "", 378},
      {cFieldCount, 0, ft_fieldempty, "", 0},
      {-1, 0, ft_fieldempty, "", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "field " << c.Field << " unit " << c.Unit);
    auto answer = host.Get(file, c.Field, c.Unit);
    EXPECT_EQ(answer.Result, c.Result);
    if (c.Result == ft_stringw) {
      EXPECT_EQ(answer.Text, W(c.Text));
    } else if (c.Result == ft_numeric_32 || c.Result == ft_boolean) {
      EXPECT_EQ(answer.Number, c.Number);
    }
  }
}

namespace {

// Sets an environment variable of this process while the object lives.
class TScopedVariable {
 public:
  TScopedVariable(const char* AName, const std::string& AValue) : FName(AName) {
    platform::SetEnvironmentValue(FName, AValue);
  }
  ~TScopedVariable() { platform::SetEnvironmentValue(FName, std::nullopt); }
  TScopedVariable(const TScopedVariable&) = delete;
  TScopedVariable& operator=(const TScopedVariable&) = delete;

 private:
  const char* FName;
};

// Letters and digits, which compress to about three quarters of their size.
std::string Noise(std::size_t ABytes) {
  std::string noise;
  std::mt19937 random(7);
  const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  while (noise.size() < ABytes) noise.push_back(kAlphabet[random() % 62]);
  return noise;
}

// A few dozen KiB of gzip that inflate to AMiB MiB of elements: 64 MiB is far
// more than any machine reads within a flagged request's budget.
std::string InflatingToElements(const char* AId, std::size_t AMiB = 64) {
  return testing_support::GzipFilled(std::string("<svg id=\"") + AId + "\">", "<g><rect/></g>\n",
                                     AMiB << 20);
}

// Makes the plugin read the settings, and with them the time budget, again.
void RereadSettings(const TPluginHost& AHost) {
  ContentDefaultParamStruct params{};
  params.size = sizeof params;
  AHost.SetDefaultParams(&params);
}

}  // namespace

// A request the host may put off is answered as any request when the drawing
// is read within the budget, whatever its size: a plain drawing of several MiB,
// a gzip drawing of some hundred KiB, through either entry point. The budget is
// set far beyond what these reads take, so that the machine's speed shows in no
// answer; the missing file is put off.
TEST(DelayIfSlow, DrawingsReadWithinTheBudgetAreAnswered) {
  TScopedVariable budget(cAnswerAtOnceVariable, "600000");
  TPluginHost host;
  TTempDir dir;
  std::string paths;
  for (int i = 0; paths.size() < (std::size_t{6} << 20); ++i)
    paths += "<path id=\"p" + std::to_string(i) + "\" d=\"M 10 20 L 30 40 C 1 2 3 4 5 6 z\"/>\n";
  auto small = dir.Write("small.svg", "<svg id=\"small\"/>");
  auto plain = dir.Write("plain.svg", "<svg id=\"plain\">" + paths + "</svg>");
  auto packed = dir.Write("packed.svgz", testing_support::Gzip("<svg id=\"packed\"><!--" +
                                                               Noise(400 * 1024) + "--></svg>"));
  ASSERT_GT(fs::file_size(packed), 280u * 1024);
  for (const fs::path& file : {small, plain, packed}) PinTime(file);

  struct TCase {
    fs::path File;
    const char16_t* Id;  // null: put off
  } cases[] = {{small, u"small"},
               {plain, u"plain"},
               {packed, u"packed"},
               {dir.Path() / "missing.svg", nullptr}};
  for (int round = 0; round < 2; ++round) {  // the second time from the cache, or put off again
    for (const TCase& c : cases) {
      SCOPED_TRACE(c.File.filename().string());
      std::vector<char16_t> buffer(64, 0);
      const std::int32_t want = c.Id != nullptr ? ft_stringw : ft_delayed;
      EXPECT_EQ(host.GetValue(c.File.string().c_str(), FieldIndex(&TVexmeta::ID), 0, buffer.data(),
                              128, CONTENT_DELAYIFSLOW),
                want);
      const auto answer = host.Get(c.File, FieldIndex(&TVexmeta::ID), 0, 128, CONTENT_DELAYIFSLOW);
      EXPECT_EQ(answer.Result, want);
      if (c.Id != nullptr) {
        EXPECT_EQ(answer.Text, c.Id);
      }
    }
  }
  EXPECT_EQ(host.Get(dir.Path() / "missing.svg", FieldIndex(&TVexmeta::ID)).Result, ft_fieldempty);
}

// A drawing whose read runs past the budget is put off and not cached, and the
// plugin remembers it: the next flagged requests of other fields put it off
// without a try, for several such drawings, until a drawing changes. The budget is 1 ms while
// 16 MiB of elements are tried, far too little for them on any machine, then
// far more than a new try would need: each drawing is replaced by a cheap one
// of the same size and time, which only a new try would read.
TEST(DelayIfSlow, DrawingsOverTheBudgetArePutOffAndNotTriedAgain) {
  auto budget = std::make_unique<TScopedVariable>(cAnswerAtOnceVariable, "1");
  TPluginHost host;
  TTempDir dir;
  std::vector<fs::path> files;
  for (const char* name : {"first", "second", "third"}) {
    files.push_back(dir.Write(std::string(name) + ".svgz", InflatingToElements(name, 16)));
    PinTime(files.back());
  }
  const int id = FieldIndex(&TVexmeta::ID);
  for (const fs::path& file : files)
    EXPECT_EQ(host.Get(file, id, 0, 128, CONTENT_DELAYIFSLOW).Result, ft_delayed) << file;

  budget = std::make_unique<TScopedVariable>(cAnswerAtOnceVariable, "600000");
  RereadSettings(host);
  auto cheapOfSize = [](const fs::path& AFile, std::uintmax_t ASize) {
    const std::string svg = "<svg id=\"" + AFile.stem().string() + "\"/>";
    return svg + std::string(static_cast<std::size_t>(ASize) - svg.size(), ' ');
  };
  for (const fs::path& file : files)
    RewriteKeepingTime(file, cheapOfSize(file, fs::file_size(file)));
  // The third changes its size as well: a changed drawing is tried again.
  RewriteKeepingTime(files[2], cheapOfSize(files[2], fs::file_size(files[2]) + 1));
  const int version = FieldIndex(&TVexmeta::Version);
  for (const fs::path& file : {files[0], files[1]}) {
    SCOPED_TRACE(file.filename().string());
    EXPECT_EQ(host.Get(file, version, 0, 128, CONTENT_DELAYIFSLOW).Result, ft_delayed);
    EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::Width), 0, 128, CONTENT_DELAYIFSLOW).Result,
              ft_delayed);
  }
  EXPECT_EQ(host.Get(files[2], id, 0, 128, CONTENT_DELAYIFSLOW).Text, u"third");
  // Without the flag the drawing is read, and cached: the flag then finds it.
  EXPECT_EQ(host.Get(files[0], id).Text, u"first");
  EXPECT_EQ(host.Get(files[0], id, 0, 128, CONTENT_DELAYIFSLOW).Text, u"first");
  EXPECT_EQ(host.Get(files[1], FieldIndex(&TVexmeta::Height), 0, 128, CONTENT_DELAYIFSLOW).Result,
            ft_delayed);
}

// A drawing put off is shown when a properties dialog, which asks every field
// with the flag and never without it, is opened again: a field asked again with
// the flag is read whole, past the budget, and then every field is answered.
// A file list asks each of its columns once with the flag (two units of a field
// are two columns) and nothing of it is read then; its worker's request without
// the flag starts the count afresh. The 1 ms budget is far too little for 16 MiB
// of elements on any machine, so only a read without it answers.
TEST(DelayIfSlow, AFieldAskedAgainWithTheFlagIsReadWhole) {
  const TScopedVariable budget(cAnswerAtOnceVariable, "1");
  TPluginHost host;
  TTempDir dir;
  const fs::path dialog = dir.Write("dialog.svgz", InflatingToElements("dialog", 16));
  const fs::path list = dir.Write("list.svgz", InflatingToElements("list", 16));
  const int id = FieldIndex(&TVexmeta::ID);

  for (int field = 0; field < cFieldCount; ++field)
    EXPECT_EQ(host.Get(dialog, field, 0, 128, CONTENT_DELAYIFSLOW).Result, ft_delayed) << field;
  EXPECT_EQ(host.Get(dialog, id, 0, 128, CONTENT_DELAYIFSLOW).Text, u"dialog");
  for (int field = 0; field < cFieldCount; ++field)
    EXPECT_NE(host.Get(dialog, field, 0, 128, CONTENT_DELAYIFSLOW).Result, ft_delayed) << field;

  const int width = FieldIndex(&TVexmeta::IntWidth);
  for (auto [field, unit] :
       {std::pair{id, 0}, {width, 0}, {width, 1}, {FieldIndex(&TVexmeta::Version), 0}})
    EXPECT_EQ(host.Get(list, field, unit, 128, CONTENT_DELAYIFSLOW).Result, ft_delayed) << field;
  EXPECT_EQ(host.Get(list, id).Text, u"list");
  EXPECT_EQ(host.Get(list, id, 0, 128, CONTENT_DELAYIFSLOW).Text, u"list");
}

// While another thread reads a long drawing, a request with the flag for a file
// the cache holds is answered at once: the reader does not hold the lock.
TEST(DelayIfSlow, IsAnsweredWhileAnotherThreadReads) {
  TPluginHost host;
  TTempDir dir;
  auto small = dir.Write("small.svg", "<svg id=\"small\"/>");
  EXPECT_EQ(host.Get(small, FieldIndex(&TVexmeta::ID)).Text, u"small");
  // A few hundred KiB that inflate to 200 MiB of elements: seconds of parsing.
  auto slow = dir.Write(
      "slow.svgz",
      testing_support::GzipFilled("<svg id=\"slow\">", "<g><rect/></g>\n", std::size_t{200} << 20));

  std::atomic<bool> done{false};
  std::thread longRequest([&] {
    EXPECT_EQ(host.Get(slow, FieldIndex(&TVexmeta::ID)).Text, u"slow");
    done = true;
  });
  int answered = 0;
  auto longest = std::chrono::steady_clock::duration::zero();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    const auto start = std::chrono::steady_clock::now();
    const auto answer = host.Get(small, FieldIndex(&TVexmeta::ID), 0, 128, CONTENT_DELAYIFSLOW);
    longest = std::max(longest, std::chrono::steady_clock::now() - start);
    EXPECT_EQ(answer.Result, ft_stringw);
    EXPECT_EQ(answer.Text, u"small");
    ++answered;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  longRequest.join();
  EXPECT_GT(answered, 0);
  EXPECT_LT(longest, std::chrono::milliseconds(100));
}

TEST(ValueRequest, StringsAreCutToTheBuffer) {
  TPluginHost host;
  TTempDir dir;
  auto file = dir.Write("cut.svg", "<svg id=\"abcdefghij\"/>");
  struct TCase {
    std::int32_t Maxlen;
    const char* Text;
  } cases[] = {{10, "abc"}, {8, "ab"}, {6, "a"}, {4, ""}, {2, ""}, {4096, "abcdefghij"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Maxlen);
    std::vector<char16_t> buffer(64, u'#');
    std::u16string name = U16(file);
    EXPECT_EQ(
        host.GetValueW(name.c_str(), FieldIndex(&TVexmeta::ID), 0, buffer.data(), c.Maxlen, 0),
        ft_stringw);
    std::u16string want = W(c.Text);
    EXPECT_EQ(std::u16string(buffer.data(), want.size()), want);
    EXPECT_EQ(buffer[want.size()], u'\0');
    EXPECT_EQ(buffer[want.size() + 1], u'#');  // nothing past the terminator
  }
  // A buffer with no room for a code unit is left alone.
  char16_t tiny[4] = {u'#', u'#', u'#', u'#'};
  std::u16string name = U16(file);
  EXPECT_EQ(host.GetValueW(name.c_str(), FieldIndex(&TVexmeta::ID), 0, tiny, 1, 0), ft_stringw);
  EXPECT_EQ(tiny[0], u'#');
}

TEST(ValueRequest, EightBitPathGivesTheSameAnswers) {
  TPluginHost host;
  TTempDir dir;
  auto file = dir.Write("rich.svg", cRichDrawing);
  for (int field = 0; field < cFieldCount; ++field) {
    SCOPED_TRACE(field);
    std::vector<char> wide(512, 0);
    std::vector<char> narrow(512, 0);
    std::u16string name = U16(file);
    std::int32_t a = host.GetValueW(name.c_str(), field, 0, wide.data(), 512, 0);
    std::int32_t b = host.GetValue(file.string().c_str(), field, 0, narrow.data(), 512, 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(wide, narrow);
  }
}

// Where file names are case-sensitive, names differing only in case are two
// files with entries of their own, even at the same time and size; where they
// are not, every spelling names one file and one entry.
TEST(ValueRequest, NamesDifferingOnlyInCase) {
  TPluginHost host;
  TTempDir dir;
  auto upper = dir.Write("Pair.svg", "<svg id=\"old\"/>");
  PinTime(upper);
#ifdef _WIN32
  EXPECT_EQ(host.Get(upper, FieldIndex(&TVexmeta::ID)).Text, u"old");
  RewriteKeepingTime(upper);
  EXPECT_EQ(host.Get(dir.Path() / "pair.svg", FieldIndex(&TVexmeta::ID)).Text, u"old");
  EXPECT_EQ(host.Get(dir.Path() / "PAIR.SVG", FieldIndex(&TVexmeta::ID)).Text, u"old");
#else
  auto lower = dir.Write("pair.svg", "<svg id=\"low\"/>");
  fs::last_write_time(lower, fs::last_write_time(upper));
  EXPECT_EQ(host.Get(upper, FieldIndex(&TVexmeta::ID)).Text, u"old");
  EXPECT_EQ(host.Get(lower, FieldIndex(&TVexmeta::ID)).Text, u"low");
  EXPECT_EQ(host.Get(upper, FieldIndex(&TVexmeta::ID)).Text, u"old");
  EXPECT_EQ(host.Get(dir.Path() / "PAIR.svg", FieldIndex(&TVexmeta::ID)).Result, ft_fieldempty);
#endif
}

#ifndef _WIN32
// A host that never calls setlocale runs in the "C" locale and passes names as
// they are on disk: UTF-8.
TEST(ValueRequest, EightBitUtf8NamesInTheDefaultLocale) {
  TPluginHost host;
  TTempDir dir;
  for (const char* name : {"caf\xC3\xA9.svg", "\xE5\x9B\xB3\xE9\x9D\xA2.svg"}) {
    SCOPED_TRACE(name);
    auto file = dir.Write(name, "<svg id=\"found\"/>");
    std::vector<char16_t> buffer(64, 0);
    EXPECT_EQ(
        host.GetValue(file.string().c_str(), FieldIndex(&TVexmeta::ID), 0, buffer.data(), 128, 0),
        ft_stringw);
    EXPECT_EQ(std::u16string(buffer.data()), u"found");
  }
}

// Names that are no UTF-8 (Latin-1 bytes on a UTF-8 system) reach the file
// through both entry points, in the file's name and in its folder's, and so do
// the settings files beside a library and in the host's folder of that kind.
TEST(ValueRequest, NamesThatAreNoUtf8) {
  TTempDir dir;
  const fs::path folder = dir.Path() / "d\xE9j\xE0";
  auto file = dir.Write("d\xE9j\xE0/caf\xE9.svg", "<svg id=\"latin\" width=\"1\" height=\"1\"/>");
  fs::create_directories(folder / "lib\xE9");
  const fs::path library = folder / "lib\xE9" / "Vexmeta.wdx64";
  fs::copy_file(testing_support::BuiltPluginPath(), library);
  dir.Write("d\xE9j\xE0/lib\xE9/Vexmeta.ini", "[Vexmeta]\nParseImageNode=0\n");
  dir.Write("d\xE9j\xE0/Vexmeta.ini", "[Vexmeta]\nMaxKBytesRead=$10\nParseImageNode=1\n");

  TPluginHost host(library);
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::ID)).Text, u"latin");
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::EmbeddedImage)).Result,
            ft_fieldempty);  // the file beside it
  std::vector<char16_t> buffer(64, 0);
  EXPECT_EQ(host.GetValue(file.c_str(), FieldIndex(&TVexmeta::ID), 0, buffer.data(), 128, 0),
            ft_stringw);
  EXPECT_EQ(std::u16string(buffer.data()), u"latin");

  ContentDefaultParamStruct params{};
  params.size = sizeof params;
  const std::string hostIni = (folder / "host.ini").string();
  std::memcpy(params.DefaultIniName, hostIni.c_str(), hostIni.size() + 1);
  host.SetDefaultParams(&params);
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::EmbeddedImage)).Result,
            ft_boolean);  // the host's folder
}

// A host whose names are UTF-8 text passes a name that is no UTF-8 with a '?'
// for each byte it could not convert. When no file has the name as given, the
// one file of the folder whose name matches, each '?' standing for one such
// byte or for itself, is read; no such file, or several, leave the fields empty.
TEST(ValueRequest, NameWithAQuestionMarkForEachByteThatIsNoUtf8) {
  TPluginHost host;
  TTempDir dir;
  dir.Write("caf\xE9.svg", "<svg id=\"latin\"/>");
  dir.Write("caf\xC3\xA9.svg", "<svg id=\"utf8\"/>");  // matches no '?'
  dir.Write("two \xE9\xE8.svg", "<svg id=\"two\"/>");
  dir.Write("what?\xE9.svg", "<svg id=\"asked\"/>");
  dir.Write("x\xE9.svg", "<svg id=\"one\"/>");
  dir.Write("x\xE8.svg", "<svg id=\"other\"/>");
  dir.Write("cut \xE2\x82.svg", "<svg id=\"cut\"/>");  // a sequence cut short: two bytes
  dir.Write("plain?.svg", "<svg id=\"itself\"/>");
  struct TCase {
    const char* Asked;
    const char16_t* Id;  // null: empty
  } cases[] = {
      {"caf?.svg", u"latin"}, {"two ??.svg", u"two"},    {"what??.svg", u"asked"},
      {"cut ??.svg", u"cut"}, {"plain?.svg", u"itself"}, {"x?.svg", nullptr},  // two files match
      {"caf??.svg", nullptr},                                                  // one '?' too many
      {"two ?.svg", nullptr},                                                  // one too few
      {"none?.svg", nullptr},
  };
  for (int round = 0; round < 2; ++round) {  // the second time remembered or from the cache
    for (const TCase& c : cases) {
      SCOPED_TRACE(c.Asked);
      for (std::int32_t flags : {CONTENT_DELAYIFSLOW, 0}) {
        const auto answer =
            host.Get(dir.Path() / c.Asked, FieldIndex(&TVexmeta::ID), 0, 128, flags);
        if (c.Id != nullptr) {
          EXPECT_EQ(answer.Text, c.Id);
        } else {
          EXPECT_EQ(answer.Result, flags != 0 ? ft_delayed : ft_fieldempty);
        }
      }
    }
  }
  // The 8-bit entry point takes the host's '?' as well.
  std::vector<char16_t> buffer(64, 0);
  EXPECT_EQ(host.GetValue((dir.Path() / "caf?.svg").c_str(), FieldIndex(&TVexmeta::ID), 0,
                          buffer.data(), 128, 0),
            ft_stringw);
  EXPECT_EQ(std::u16string(buffer.data()), u"latin");
}

#endif

#ifdef _WIN32
// A drawing past the short path limit answers however its path is written: with
// "\\" or "/", and with "." and "..".
TEST(ValueRequest, LongPathWrittenAnyWay) {
  TPluginHost host;
  TTempDir dir;
  std::wstring folder = dir.Path().lexically_normal().wstring();
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  // Folders and file are made through the long-path form, which needs no limit lifted.
  std::vector<fs::path> made;
  for (int i = 0; i < 6; ++i) {
    folder += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + i));
    made.emplace_back(L"\\\\?\\" + folder);
    fs::create_directory(made.back());
  }
  const std::wstring file = folder + L"\\Long Drawing.svg";
  made.emplace_back(L"\\\\?\\" + file);
  std::ofstream(made.back(), std::ios::binary) << "<svg id=\"deep\"/>";
  ASSERT_GT(file.size(), 300u);

  const std::u16string backslashed(file.begin(), file.end());
  std::u16string slashed = backslashed;
  std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
  const std::size_t last = backslashed.rfind(u'\\');
  const std::u16string dotted =
      backslashed.substr(0, last) + u"\\.\\x\\..\\" + backslashed.substr(last + 1);
  for (const std::u16string& path : {backslashed, slashed, dotted}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(path));
    std::vector<char16_t> buffer(64, 0);
    EXPECT_EQ(host.GetValueW(path.c_str(), FieldIndex(&TVexmeta::ID), 0, buffer.data(), 128, 0),
              ft_stringw);
    EXPECT_EQ(std::u16string(buffer.data()), u"deep");
  }
  // The temporary folder's own clean-up does not use the long form.
  std::error_code ignored;
  for (auto it = made.rbegin(); it != made.rend(); ++it) fs::remove(*it, ignored);
}
#endif

TEST(ValueRequest, NonSvgFileIsReadOnceWhileTimeAndSizeStay) {
  TPluginHost host;
  TTempDir dir;
  // Same length as the drawing below, so only the content changes.
  auto file = dir.Write("fake.svg", "not a drawing at all!");
  PinTime(file);
  for (int field = 0; field < cFieldCount; ++field)
    EXPECT_EQ(host.Get(file, field).Result, ft_fieldempty);
  RewriteKeepingTime(file, "<svg version=\"2.0\"/>.");
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::Version)).Result,
            ft_fieldempty);  // the cached answer stands

  // A new time stamp makes the next request read the file again.
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(10));
  auto answer = host.Get(file, FieldIndex(&TVexmeta::Version));
  EXPECT_EQ(answer.Result, ft_stringw);
  EXPECT_EQ(answer.Text, u"2.0");
}

TEST(ValueRequest, ChangedSizeOrTruncationIsReadAgain) {
  TPluginHost host;
  TTempDir dir;
  auto file = dir.Write("t.svg", "<svg version=\"1.1\" width=\"10\" height=\"20\"/>");
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::Version)).Text, u"1.1");
  fs::resize_file(file, 12);  // cut in the middle of the start tag
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::Width)).Result, ft_fieldempty);
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::Version)).Result, ft_fieldempty);
}

// A host that vouches for the file (the host tool, for every request of a file
// but the first) is answered from the cache entry without a look-up; without
// an entry, the file is looked up and read as for any request.
TEST(ValueRequest, SameFileFlagIsAnsweredFromTheEntry) {
  TPluginHost host;
  TTempDir dir;
  const int id = FieldIndex(&TVexmeta::ID);
  auto file = dir.Write("vouched.svg", "<svg id=\"old\"/>");
  EXPECT_EQ(host.Get(file, id, 0, 128, cContentSameFile).Text, u"old");  // read: no entry yet
  dir.Write("vouched.svg", "<svg id=\"newer\"/>");
  EXPECT_EQ(host.Get(file, id, 0, 128, cContentSameFile).Text, u"old");
  EXPECT_EQ(host.Get(file, id).Text, u"newer");
  fs::remove(file);
  EXPECT_EQ(host.Get(file, id, 0, 128, cContentSameFile).Text, u"newer");
  EXPECT_EQ(host.Get(file, id).Result, ft_fieldempty);
  EXPECT_EQ(host.Get(dir.Path() / "missing.svg", id, 0, 128, cContentSameFile).Result,
            ft_fieldempty);
}

TEST(ValueRequest, EmbeddedImageFieldFollowsTheSetting) {
  TTempDir dir;
  auto plain = dir.Write("plain.svg", "<svg width=\"1\" height=\"1\"/>");
  {
    TPluginHost host;
    auto answer = host.Get(plain, FieldIndex(&TVexmeta::EmbeddedImage));
    EXPECT_EQ(answer.Result, ft_boolean);
    EXPECT_EQ(answer.Number, 0);
  }
  TPluginCopy copy("[Vexmeta]\nParseImageNode=0\n");
  TPluginHost host(copy.Library);
  auto rich = dir.Write("rich.svg", cRichDrawing);
  EXPECT_EQ(host.Get(rich, FieldIndex(&TVexmeta::EmbeddedImage)).Result, ft_fieldempty);
  EXPECT_EQ(host.Get(plain, FieldIndex(&TVexmeta::EmbeddedImage)).Result, ft_fieldempty);
  EXPECT_EQ(host.Get(rich, FieldIndex(&TVexmeta::ID)).Text, u"svg2");
}

TEST(ValueRequest, ReadLimitCutsTheDrawing) {
  TPluginCopy copy("[Vexmeta]\nMaxKBytesRead=1\n");
  TPluginHost host(copy.Library);
  TTempDir dir;
  std::string late = "<svg id=\"early\">" + std::string(2000, ' ') +
                     "<metadata><rdf:RDF><cc:Work>"
                     "<dc:title>late</dc:title></cc:Work></rdf:RDF></metadata></svg>";
  auto file = dir.Write("late.svg", late);
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::ID)).Text, u"early");
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::MetadataTitle)).Result, ft_fieldempty);
}

TEST(ValueRequest, LeastRecentlyUsedFileIsEvicted) {
  TPluginCopy copy("[Vexmeta]\nCacheSize_x64=1\n");  // two files at a time
  TPluginHost host(copy.Library);
  TTempDir dir;
  fs::path files[3];
  for (int i = 0; i < 3; ++i) {
    files[i] = dir.Write(std::string(1, static_cast<char>('a' + i)) + ".svg", "<svg id=\"old\"/>");
    PinTime(files[i]);
  }
  EXPECT_EQ(host.Get(files[0], FieldIndex(&TVexmeta::ID)).Text, u"old");  // A
  EXPECT_EQ(host.Get(files[1], FieldIndex(&TVexmeta::ID)).Text, u"old");  // B
  EXPECT_EQ(host.Get(files[0], FieldIndex(&TVexmeta::ID)).Text, u"old");  // A again
  EXPECT_EQ(host.Get(files[2], FieldIndex(&TVexmeta::ID)).Text, u"old");  // C evicts B
  RewriteKeepingTime(files[0]);
  RewriteKeepingTime(files[1]);
  EXPECT_EQ(host.Get(files[0], FieldIndex(&TVexmeta::ID)).Text, u"old");  // still cached
  EXPECT_EQ(host.Get(files[1], FieldIndex(&TVexmeta::ID)).Text, u"new");  // read again
}

TEST(StateNotification, ReadNewDirClearsOnlyAFullCache) {
  TPluginCopy copy("[Vexmeta]\nCacheSize_x64=1\n");
  TPluginHost host(copy.Library);
  TTempDir dir;
  auto a = dir.Write("a.svg", "<svg id=\"old\"/>");
  auto b = dir.Write("b.svg", "<svg id=\"old\"/>");
  PinTime(a);
  PinTime(b);
  EXPECT_EQ(host.Get(a, FieldIndex(&TVexmeta::ID)).Text, u"old");
  RewriteKeepingTime(a);
  host.SendStateInformation(CONTST_READNEWDIR, u"");  // one entry: not full
  EXPECT_EQ(host.Get(a, FieldIndex(&TVexmeta::ID)).Text, u"old");
  EXPECT_EQ(host.Get(b, FieldIndex(&TVexmeta::ID)).Text, u"old");
  host.SendStateInformation(CONTST_READNEWDIR, u"");  // two entries = CacheSize_x64 + 1: cleared
  EXPECT_EQ(host.Get(a, FieldIndex(&TVexmeta::ID)).Text, u"new");
}

TEST(StateNotification, RefreshClearsWhenTheLastFileIsBesideTheLibrary) {
  TPluginCopy copy("");
  TPluginHost host(copy.Library);
  TTempDir elsewhere;
  auto inside = copy.Dir.Write("in.svg", "<svg id=\"old\"/>");
  auto outside = elsewhere.Write("out.svg", "<svg id=\"old\"/>");
  PinTime(inside);
  PinTime(outside);
  EXPECT_EQ(host.Get(inside, FieldIndex(&TVexmeta::ID)).Text, u"old");
  EXPECT_EQ(host.Get(outside, FieldIndex(&TVexmeta::ID)).Text, u"old");
  RewriteKeepingTime(inside);
  RewriteKeepingTime(outside);
  host.SendStateInformation(CONTST_REFRESHPRESSED, u"");  // last file is elsewhere: nothing happens
  EXPECT_EQ(host.Get(outside, FieldIndex(&TVexmeta::ID)).Text, u"old");
  EXPECT_EQ(host.Get(inside, FieldIndex(&TVexmeta::ID)).Text, u"old");
  // A request put off (a large uncached drawing, a missing file) does not
  // change the last requested file name.
  auto large = elsewhere.Write("large.svgz", InflatingToElements("large"));
  EXPECT_EQ(host.Get(large, FieldIndex(&TVexmeta::ID), 0, 4096, CONTENT_DELAYIFSLOW).Result,
            ft_delayed);
  EXPECT_EQ(host.Get(elsewhere.Path() / "missing.svg", FieldIndex(&TVexmeta::ID), 0, 4096,
                     CONTENT_DELAYIFSLOW)
                .Result,
            ft_delayed);
  host.SendStateInformation(CONTST_REFRESHPRESSED,
                            u"");  // last file (in.svg) is beside the library
  EXPECT_EQ(host.Get(outside, FieldIndex(&TVexmeta::ID)).Text, u"new");
  host.SendStateInformation(CONTST_REFRESHPRESSED + 1, u"");  // unknown states do nothing
}

TEST(HostSafety, HugeAttributeIsKeptToWhatAHostCanShow) {
  TPluginHost host;
  TTempDir dir;
  std::string width(1 << 20, '7');
  auto file = dir.Write("huge.svg", "<svg width=\"" + width + "\" height=\"5\"/>");
  auto answer = host.Get(file, FieldIndex(&TVexmeta::Width), 0, 1 << 22);
  EXPECT_EQ(answer.Result, ft_stringw);
  EXPECT_EQ(answer.Text, std::u16string(4095, u'7'));
  auto small = host.Get(file, FieldIndex(&TVexmeta::Width), 0, 8192);
  EXPECT_EQ(small.Text.size(), 8192u / 2 - 2);
}

TEST(HostSafety, DirectoryNamedLikeADrawingIsEmpty) {
  TPluginHost host;
  TTempDir dir;
  fs::create_directory(dir.Path() / "folder.svg");
  for (int field = 0; field < cFieldCount; ++field)
    EXPECT_EQ(host.Get(dir.Path() / "folder.svg", field).Result, ft_fieldempty);
}

#ifndef _WIN32
TEST(HostSafety, PipesAndDevicesAreNeverOpened) {
  TPluginHost host;
  TTempDir dir;
  fs::path fifo = dir.Path() / "pipe.svg";
  ASSERT_EQ(std::system(("mkfifo '" + fifo.string() + "'").c_str()), 0);
  fs::create_symlink("/dev/zero", dir.Path() / "zero.svg");
  fs::create_symlink("/dev/null", dir.Path() / "null.svgz");
  for (const char* name : {"pipe.svg", "zero.svg", "null.svgz"}) {
    SCOPED_TRACE(name);
    for (int field = 0; field < cFieldCount; ++field)
      EXPECT_EQ(host.Get(dir.Path() / name, field).Result, ft_fieldempty);
  }
  // A link to a regular drawing is followed.
  auto real = dir.Write("real.svg", "<svg id=\"linked\"/>");
  fs::create_symlink(real, dir.Path() / "link.svg");
  EXPECT_EQ(host.Get(dir.Path() / "link.svg", FieldIndex(&TVexmeta::ID)).Text, u"linked");
}

TEST(HostSafety, SettingsFileThatIsAPipeCountsAsMissing) {
  TPluginCopy copy("");
  ASSERT_EQ(std::system(("mkfifo '" + (copy.Dir.Path() / "Vexmeta.ini").string() + "'").c_str()),
            0);
  auto start = std::chrono::steady_clock::now();
  TPluginHost host(copy.Library);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  TTempDir dir;
  auto file = dir.Write("x.svg", "<svg width=\"1\" height=\"1\"/>");
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::EmbeddedImage)).Result,
            ft_boolean);  // defaults in force
}
#endif

TEST(HostSafety, GzipBombIsCutAtTheCeiling) {
  TPluginHost host;
  TTempDir dir;
  // A few hundred KB that inflate to 300 MiB: a root element, then zero bytes.
  auto file = dir.Write(
      "bomb.svgz", testing_support::GzipFilled("<svg id=\"bomb\"/>", '\0', std::size_t{300} << 20));
  EXPECT_LT(fs::file_size(file), 1u << 20);
  auto answer = host.Get(file, FieldIndex(&TVexmeta::ID));
  EXPECT_EQ(answer.Result, ft_stringw);
  EXPECT_EQ(answer.Text, u"bomb");
}

TEST(HostSafety, PlainFileLargerThanTheCeilingIsReadUpToIt) {
  TPluginHost host;
  TTempDir dir;
  // A sparse 300 MiB file: the drawing's start, then a hole of zero bytes.
  auto file = dir.Write("sparse.svg", "<svg id=\"big\" width=\"3in\" height=\"1in\"/>");
  fs::resize_file(file, std::uintmax_t{300} << 20);
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::ID)).Text, u"big");
  EXPECT_EQ(host.Get(file, FieldIndex(&TVexmeta::IntWidth)).Number, 288);
}

TEST(Concurrency, ManyCallersGetTheSingleThreadedAnswers) {
  TTempDir dir;
  std::vector<fs::path> files;
  for (int i = 0; i < 12; ++i) {
    std::string svg = "<svg id=\"f" + std::to_string(i) + "\" width=\"" + std::to_string(10 + i) +
                      "mm\" height=\"" + std::to_string(5 + i) + "pt\" version=\"1." +
                      std::to_string(i) + "\"/>";
    files.push_back(
        dir.Write(std::string("f").append(std::to_string(i)).append(i % 3 == 0 ? ".svgz" : ".svg"),
                  i % 3 == 0 ? testing_support::Gzip(svg) : svg));
  }
  files.push_back(dir.Write("junk.svg", "junk"));

  TPluginCopy copy("[Vexmeta]\nCacheSize_x64=3\n");  // small, so entries churn
  TPluginHost host(copy.Library);
  std::map<std::pair<std::size_t, int>, TPluginHost::TAnswer> expected;
  for (std::size_t f = 0; f < files.size(); ++f)
    for (int field = 0; field < cFieldCount; ++field)
      for (int unit = 0; unit < 2; ++unit)
        expected[{f, field * 2 + unit}] = host.Get(files[f], field, unit);

  std::atomic<bool> stop{false};
  std::atomic<int> mismatches{0};
  std::thread notifier([&] {
    while (!stop) {
      host.SendStateInformation(CONTST_READNEWDIR, u"");
      host.SendStateInformation(CONTST_REFRESHPRESSED, u"");
      std::this_thread::yield();
    }
  });
  std::vector<std::thread> workers;
  for (int t = 0; t < 8; ++t) {
    workers.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t));
      for (int i = 0; i < 400; ++i) {
        std::size_t f = random() % files.size();
        int field = static_cast<int>(random() % 16);
        int unit = static_cast<int>(random() % 2);
        auto got = host.Get(files[f], field, unit);
        const auto& want = expected.at({f, field * 2 + unit});
        if (got.Result != want.Result || got.Text != want.Text || got.Number != want.Number)
          ++mismatches;
      }
    });
  }
  for (auto& w : workers) w.join();
  stop = true;
  notifier.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// Threads that ask for the same drawings at the same moment read them at once,
// outside the lock; each gets the file as it is, however their reads interleave
// with one another and with the cache being cleared, and every read leaves one
// entry. Each round rewrites the files (another size), so that every round's
// first requests are reads, racing.
TEST(Concurrency, ThreadsReadingTheSameFilesAtOnceGetItAsItIs) {
  TTempDir dir;
  std::vector<fs::path> files;
  for (int i = 0; i < 3; ++i)
    files.push_back(dir.Write("same" + std::to_string(i) + ".svg", "<svg/>"));
  // Two entries at most, and a new folder clears more than one: entries go
  // while others are read.
  TPluginCopy copy("[Vexmeta]\nCacheSize_x64=1\n");
  TPluginHost host(copy.Library);
  const int id = FieldIndex(&TVexmeta::ID);
  constexpr int cThreads = 6;
  std::atomic<int> mismatches{0};
  std::atomic<bool> stop{false};
  std::thread clearer([&] {
    while (!stop) {
      host.SendStateInformation(CONTST_READNEWDIR, u"");
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 20; ++round) {
    // A drawing with a padding of round's size: a new size for every round.
    for (std::size_t f = 0; f < files.size(); ++f) {
      std::ofstream out(files[f], std::ios::binary | std::ios::trunc);
      out << "<svg id=\"r" << round << "f" << f << "\">" << std::string(64 * round, ' ')
          << "</svg>";
    }
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < cThreads; ++t) {
      threads.emplace_back([&, t] {
        ++ready;
        while (ready < cThreads) std::this_thread::yield();
        for (int i = 0; i < 30; ++i) {
          const std::size_t f = static_cast<std::size_t>(t + i) % files.size();
          const std::string want = "r" + std::to_string(round) + "f" + std::to_string(f);
          if (host.Get(files[f], id).Text != W(want.c_str())) ++mismatches;
        }
      });
    }
    for (auto& thread : threads) thread.join();
  }
  stop = true;
  clearer.join();
  EXPECT_EQ(mismatches.load(), 0);
}
