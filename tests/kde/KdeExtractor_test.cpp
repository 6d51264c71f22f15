// The KDE extractor as the framework's consumers run it: the extractor collection
// finds it through QT_PLUGIN_PATH, every extractor fetched for a file's MIME type
// runs on a SimpleExtractionResult, and what ours adds is compared with what the
// host tool reports for the same files. No property may come from two extractors.
#include <gtest/gtest.h>

#include <KFileMetaData/Extractor>
#include <KFileMetaData/ExtractorCollection>
#include <KFileMetaData/PropertyInfo>
#include <KFileMetaData/SimpleExtractionResult>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QProcess>
#include <QTextCodec>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/Utf16.h"
#include "extract/SvgExtractor.h"
#include "extract/SvgFields.h"
#include "support/HostileSet.h"
#include "support/TestSupport.h"
#include "support/ZipFixture.h"

namespace fs = std::filesystem;
using KFileMetaData::ExtractionResult;
using KFileMetaData::PropertyMultiMap;
using KFileMetaData::SimpleExtractionResult;
namespace Property = KFileMetaData::Property;
using testing_support::TTempDir;

namespace {

const QString cOurs = QStringLiteral("vexmeta.svgextractor");

// The collection of a process that runs extractors, as the indexer's is: an
// application object, and the build's plugin folder before any installed copy.
KFileMetaData::ExtractorCollection& Collection() {
  static const bool kPathSet = qputenv("QT_PLUGIN_PATH", VX_KDE_PLUGIN_ROOT);
  static int argc = 1;
  static char name[] = "test_kde";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
  static KFileMetaData::ExtractorCollection collection;
  (void)kPathSet;
  return collection;
}

struct TExtraction {
  QString Id;
  PropertyMultiMap Properties;
  QVector<KFileMetaData::Type::Type> Types;
};

QString MimeOf(const fs::path& AFile) {
  return QMimeDatabase().mimeTypeForFile(QString::fromStdString(AFile.string())).name();
}

// Runs every extractor the framework fetches for the file's MIME type, each on
// a result of its own.
std::vector<TExtraction> ExtractAll(
    const fs::path& AFile, ExtractionResult::Flags AFlags = ExtractionResult::ExtractMetaData |
                                                            ExtractionResult::ExtractPlainText) {
  const QString path = QString::fromStdString(AFile.string());
  const QString mime = MimeOf(AFile);
  std::vector<TExtraction> all;
  for (KFileMetaData::Extractor* extractor : Collection().fetchExtractors(mime)) {
    SimpleExtractionResult result(path, mime, AFlags);
    extractor->extract(&result);
    all.push_back({extractor->extractorProperties().value(QStringLiteral("Id")).toString(),
                   result.properties(KFileMetaData::MultiMap), result.types()});
  }
  return all;
}

const TExtraction* Ours(const std::vector<TExtraction>& AAll) {
  for (const TExtraction& extraction : AAll)
    if (extraction.Id == cOurs) return &extraction;
  return nullptr;
}

// "name=value (type)" for each property, in the map's order, so a mismatch shows
// both sides in full.
std::string Describe(const PropertyMultiMap& AProperties) {
  std::string text;
  for (auto it = AProperties.cbegin(); it != AProperties.cend(); ++it) {
    const QVariant& value = it.value();
    const QString shown = value.type() == QVariant::DateTime
                              ? value.toDateTime().toString(Qt::ISODateWithMs)
                              : value.toString();
    text += KFileMetaData::PropertyInfo(it.key()).name().toStdString() + "=" + shown.toStdString() +
            " (" + value.typeName() + ")\n";
  }
  return text;
}

const char cTitledDrawing[] =
    "<?xml version=\"1.0\"?>\n"
    "<!-- Generator: Tidewater Sketch 5 -->\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
    "xmlns:cc=\"http://creativecommons.org/ns#\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "width=\"50mm\" height=\"2in\" version=\"1.1\">\n"
    "  <metadata><rdf:RDF><cc:Work rdf:about=\"\">\n"
    "    <dc:title>Lock gates</dc:title>\n"
    "    <dc:description>Canal &amp; towpath</dc:description>\n"
    "    <dc:date>2021-06-05T08:30:00</dc:date>\n"
    "    <dc:creator><cc:Agent><dc:title>Ines</dc:title></cc:Agent></dc:creator>\n"
    "    <dc:subject><rdf:Bag><rdf:li>water</rdf:li></rdf:Bag></dc:subject>\n"
    "    <dc:language>en</dc:language>\n"
    "  </cc:Work></rdf:RDF></metadata>\n"
    "  <text>Lock 7</text>\n"
    "</svg>\n";

std::string DrawingDated(const std::string& ADate) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
         "xmlns:cc=\"http://creativecommons.org/ns#\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" width=\"10\" height=\"10\">"
         "<metadata><rdf:RDF><cc:Work rdf:about=\"\"><dc:title>Dated</dc:title><dc:date>" +
         ADate + "</dc:date></cc:Work></rdf:RDF></metadata></svg>";
}

// The fixtures beside the examples: every way of storing a drawing, sizes the
// engine cannot or will not give, and files the engine refuses.
struct TFixtures {
  TTempDir Dir;
  std::set<std::string> Refused;
  std::set<std::string> DateNotIso;

  TFixtures() {
    Dir.Write("titled.svg", cTitledDrawing);
    Dir.Write("titled-gzip.svgz", testing_support::Gzip(cTitledDrawing));
    Dir.Write(
        "titled-zip.svgz",
        testing_support::MakeZip({testing_support::Entry("titled-zip.svg", cTitledDrawing, true)}));
    // The drawing's own title and description, which only ours reads.
    Dir.Write("own-title.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"10\">"
              "<title>Sluice</title><desc>Own words</desc></svg>");
    Dir.Write("own-desc-rdf-title.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" "
              "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
              "xmlns:cc=\"http://creativecommons.org/ns#\" "
              "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><title>Own title</title>"
              "<desc>Own words</desc><metadata><rdf:RDF><cc:Work rdf:about=\"\">"
              "<dc:title>Work title</dc:title></cc:Work></rdf:RDF></metadata></svg>");
    Dir.Write("no-size.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\"><!-- Created with Penwick --></svg>");
    Dir.Write("percent-only.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"50%\" height=\"50%\"/>");
    Dir.Write("byte-order-mark.svg",
              "\xEF\xBB\xBF<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"3\"/>");
    Dir.Write("no-height.svg",
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"0\"/>");
    DateNotIso.insert(
        Dir.Write("undated.svgz", testing_support::Gzip(DrawingDated("last spring"))).string());
    const std::string cut = testing_support::Gzip(cTitledDrawing);
    // A stray end tag ends the parse long before the end of the data, whose
    // check value is wrong: the drawing counts only when its data is intact.
    std::string stopsEarly =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"/></g>";
    for (int i = 0; i < (1 << 18); ++i) stopsEarly += "<a>";
    stopsEarly = testing_support::Gzip(stopsEarly);
    stopsEarly[stopsEarly.size() - 6] ^= 0x55;
    for (const auto& [name, bytes] : std::map<std::string, std::string>{
             {"not-a-drawing.svg", "a shopping list, not a drawing"},
             {"text-before-markup.svg", "x<svg xmlns=\"http://www.w3.org/2000/svg\"/>"},
             {"cut-short.svgz", cut.substr(0, cut.size() - 6)},
             {"broken-after-the-end.svgz", stopsEarly},
         }) {
      Dir.Write(name, bytes);
      Refused.insert((Dir.Path() / name).string());
    }
  }

  std::vector<fs::path> Files() const {
    std::vector<fs::path> files;
    for (const fs::path& folder : {fs::path(VX_SOURCE_DIR) / "examples", Dir.Path()})
      for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
  }
};

// The host tool's --json report of the folders, by absolute file path.
std::map<std::string, QJsonObject> HostReport(const std::vector<fs::path>& AFolders) {
  QProcess tool;
  QStringList args{QStringLiteral("--json")};
  for (const fs::path& folder : AFolders) args << QString::fromStdString(folder.string());
  tool.start(QStringLiteral(VX_HOST_TOOL_PATH), args);
  std::map<std::string, QJsonObject> report;
  if (!tool.waitForFinished(60000)) {
    tool.kill();
    tool.waitForFinished(5000);
    ADD_FAILURE() << "the host tool did not finish";
    return report;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(tool.readAllStandardOutput(), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  for (const QJsonValue& row : document.array()) {
    const QJsonObject object = row.toObject();
    report[QFileInfo(object.value(QStringLiteral("File")).toString())
               .absoluteFilePath()
               .toStdString()] = object;
  }
  return report;
}

// Which of a drawing's title and description are its own elements' (the
// FromFallback bits of its record).
std::uint32_t OwnTexts(const fs::path& AFile) {
  TVexmeta record;
  TSvgExtractor extractor;
  extractor.ReadFile(QString::fromStdString(AFile.string()).toStdU16String(), {}, record);
  return record.FromFallback;
}

// What ours must add for a file the host tool reported, the creation date aside:
// a plain drawing's title and description only where they are its own.
PropertyMultiMap Expected(const QJsonObject& AFields, bool ACompressed, std::uint32_t AOwn) {
  PropertyMultiMap expected;
  const QJsonValue width = AFields.value(QStringLiteral("Calculated Width (96)"));
  const QJsonValue height = AFields.value(QStringLiteral("Calculated Height (96)"));
  if (!width.isNull() && !height.isNull()) {
    expected.insert(Property::Width, width.toInt());
    expected.insert(Property::Height, height.toInt());
  }
  auto text = [&](const char* AName, Property::Property AProperty) {
    const QJsonValue value = AFields.value(QLatin1String(AName));
    if (!value.isNull()) expected.insert(AProperty, value.toString());
  };
  text("Application", Property::Generator);
  if (ACompressed || (AOwn & FallbackBit(&TVexmeta::MetadataTitle)) != 0)
    text("Metadata Title", Property::Title);
  if (ACompressed || (AOwn & FallbackBit(&TVexmeta::MetadataDescription)) != 0)
    text("Metadata Description", Property::Description);
  return expected;
}

TEST(KdeExtractor, AddsWhatTheHostToolReports) {
  TFixtures fixtures;
  const std::map<std::string, QJsonObject> report =
      HostReport({fs::path(VX_SOURCE_DIR) / "examples", fixtures.Dir.Path()});
  const std::vector<fs::path> files = fixtures.Files();
  ASSERT_EQ(report.size() + fixtures.Refused.size(), files.size());

  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const std::vector<TExtraction> all = ExtractAll(file);
    const TExtraction* ours = Ours(all);
    ASSERT_NE(ours, nullptr) << "not fetched for " << MimeOf(file).toStdString();

    const auto row = report.find(file.string());
    if (row == report.end()) {
      EXPECT_TRUE(fixtures.Refused.count(file.string()));
      EXPECT_EQ(Describe(ours->Properties), "");
      EXPECT_TRUE(ours->Types.isEmpty());
      continue;
    }
    EXPECT_EQ(ours->Types, QVector<KFileMetaData::Type::Type>{KFileMetaData::Type::Image});
    PropertyMultiMap actual = ours->Properties;
    const QList<QVariant> dates = actual.values(Property::CreationDate);
    actual.remove(Property::CreationDate);
    EXPECT_EQ(Describe(actual),
              Describe(Expected(row->second, MimeOf(file) == "image/svg+xml-compressed",
                                OwnTexts(file))));
    // Every date here that reads as one is a date and time; the other forms are
    // checked on their own below.
    const QString date = row->second.value(QStringLiteral("Metadata Date")).toString();
    if (date.isEmpty() || fixtures.DateNotIso.count(file.string())) {
      EXPECT_TRUE(dates.isEmpty());
    } else {
      ASSERT_EQ(dates.size(), 1);
      EXPECT_EQ(dates.front().toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), date);
    }
  }
}

TEST(KdeExtractor, NoPropertyComesFromTwoExtractors) {
  TFixtures fixtures;
  bool sharedPlain = false;
  for (const fs::path& file : fixtures.Files()) {
    SCOPED_TRACE(file.string());
    const std::vector<TExtraction> all = ExtractAll(file);
    if (file.extension() == ".svg" && all.size() > 1) sharedPlain = true;
    std::map<Property::Property, QString> from;
    for (const TExtraction& extraction : all) {
      for (Property::Property property : extraction.Properties.uniqueKeys()) {
        EXPECT_EQ(extraction.Properties.count(property), 1)
            << extraction.Id.toStdString() << " adds "
            << KFileMetaData::PropertyInfo(property).name().toStdString() << " more than once";
        const auto [it, first] = from.emplace(property, extraction.Id);
        EXPECT_TRUE(first) << KFileMetaData::PropertyInfo(property).name().toStdString() << " from "
                           << it->second.toStdString() << " and " << extraction.Id.toStdString();
      }
    }
  }
  // Otherwise the check above had nothing to compare a plain drawing's facts with.
  EXPECT_TRUE(sharedPlain) << "no other extractor runs for plain drawings";
  const std::vector<TExtraction> plain = ExtractAll(fixtures.Dir.Path() / "titled.svg");
  bool titled = false;
  for (const TExtraction& extraction : plain)
    titled = titled || extraction.Properties.contains(Property::Title);
  EXPECT_TRUE(titled) << "a plain drawing's title comes from the framework's own extractor";
  // Its own title and description only from ours.
  const std::vector<TExtraction> own = ExtractAll(fixtures.Dir.Path() / "own-title.svg");
  const TExtraction* ours = Ours(own);
  ASSERT_NE(ours, nullptr);
  EXPECT_EQ(ours->Properties.values(Property::Title), QList<QVariant>{QStringLiteral("Sluice")});
  EXPECT_EQ(ours->Properties.values(Property::Description),
            QList<QVariant>{QStringLiteral("Own words")});
}

TEST(KdeExtractor, MetadataDateIsADateTimeOnlyInIsoForm) {
  const QDate day(2019, 3, 17);
  const QTime time(15, 14, 1);
  struct TCase {
    const char* Date;
    QDateTime Expected;  // invalid: no creation date
  };
  const TCase cases[] = {
      {"2019-03-17T15:14:01", QDateTime(day, time)},
      {"2019-03-17 15:14:01", QDateTime(day, time)},
      {"2019-03-17", QDateTime(day, QTime(0, 0))},
      {"2019-03-17T15:14", QDateTime(day, QTime(15, 14))},
      {"2019-03-17T15:14:01Z", QDateTime(day, time, Qt::UTC)},
      {"2019-03-17T15:14:01+02:00", QDateTime(day, time, Qt::OffsetFromUTC, 7200)},
      {"  2019-03-17T15:14:01\n", QDateTime(day, time)},
      {"", {}},
      {"last spring", {}},
      {"17/03/2019", {}},
      {"2019-13-01", {}},
      {"2019-03-17T25:00:00", {}},
      {"2019-03-17 and later", {}},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Date);
    for (const char* name : {"dated.svg", "dated.svgz"}) {
      SCOPED_TRACE(name);
      const std::string drawing = DrawingDated(c.Date);
      const fs::path file = dir.Write(
          name, std::string(name).ends_with('z') ? testing_support::Gzip(drawing) : drawing);
      const std::vector<TExtraction> all = ExtractAll(file);
      const TExtraction* ours = Ours(all);
      ASSERT_NE(ours, nullptr);
      const QList<QVariant> dates = ours->Properties.values(Property::CreationDate);
      if (!c.Expected.isValid()) {
        EXPECT_TRUE(dates.isEmpty());
        continue;
      }
      ASSERT_EQ(dates.size(), 1);
      EXPECT_EQ(dates.front().toDateTime(), c.Expected);
      EXPECT_EQ(dates.front().toDateTime().timeSpec(), c.Expected.timeSpec());
    }
  }
}

// What the framework passes and what the file is decide together: no metadata
// asked for, or no regular file behind the name, adds nothing and returns at once.
TEST(KdeExtractor, AddsNothingUnlessAskedForTheMetadataOfAFile) {
  TTempDir dir;
  const fs::path drawing = dir.Write("plain.svg", cTitledDrawing);
  const fs::path pipe = dir.Path() / "pipe.svg";
  ASSERT_EQ(std::system(("mkfifo '" + pipe.string() + "'").c_str()), 0);
  fs::create_directory(dir.Path() / "folder.svg");
  struct TCase {
    fs::path File;
    ExtractionResult::Flags Flags;
  };
  const TCase cases[] = {
      {drawing, ExtractionResult::ExtractPlainText},
      {drawing, ExtractionResult::ExtractNothing},
      {pipe, ExtractionResult::ExtractMetaData},
      {dir.Path() / "folder.svg", ExtractionResult::ExtractMetaData},
      {dir.Path() / "missing.svgz", ExtractionResult::ExtractMetaData},
  };
  int ran = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File.string() + " flags " + std::to_string(int(c.Flags)));
    const QString mime = c.File.extension() == ".svgz" ? QStringLiteral("image/svg+xml-compressed")
                                                       : QStringLiteral("image/svg+xml");
    for (KFileMetaData::Extractor* extractor : Collection().fetchExtractors(mime)) {
      if (extractor->extractorProperties().value(QStringLiteral("Id")).toString() != cOurs)
        continue;
      SimpleExtractionResult result(QString::fromStdString(c.File.string()), mime, c.Flags);
      extractor->extract(&result);
      ++ran;
      EXPECT_EQ(Describe(result.properties(KFileMetaData::MultiMap)), "");
      EXPECT_TRUE(result.types().isEmpty());
    }
  }
  EXPECT_EQ(ran, static_cast<int>(std::size(cases)));
}

// The framework hands over names as Qt decoded them from the locale's
// character set: the drawing is found by the bytes on disk in any locale.
TEST(KdeExtractor, NamesInTheLocalesCharacterSetAreFound) {
  TTempDir dir;
  const fs::path file = dir.Write("caf\xE9.svg", cTitledDrawing);
  QTextCodec* const before = QTextCodec::codecForLocale();
  QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
  const QString path = QFile::decodeName(QByteArray::fromStdString(file.string()));
  const QString mime = QStringLiteral("image/svg+xml");
  int ran = 0;
  for (KFileMetaData::Extractor* extractor : Collection().fetchExtractors(mime)) {
    if (extractor->extractorProperties().value(QStringLiteral("Id")).toString() != cOurs) continue;
    SimpleExtractionResult result(path, mime, ExtractionResult::ExtractMetaData);
    extractor->extract(&result);
    ++ran;
    EXPECT_EQ(result.properties(KFileMetaData::MultiMap).value(KFileMetaData::Property::Width),
              QVariant(189));
  }
  QTextCodec::setCodecForLocale(before);
  EXPECT_EQ(ran, 1);
}

}  // namespace

// The hostile set through the framework, each item as the indexer hands it to
// the extractor by its name's type: no crash or hang, every text it adds
// well-formed (Qt would keep a lone surrogate), nothing for what is no regular
// file.
TEST(KdeExtractor, HostileSetGivesWellFormedTextsOrNothing) {
  TTempDir dir;
  std::string error;
  const auto items = testing_support::WriteHostileSet(dir.Path(), error);
  ASSERT_FALSE(items.empty()) << error;
  const testing_support::TChangingFile changing(dir.Path());
  for (const auto& item : items) {
    SCOPED_TRACE(item.Name + ": " + item.What);
    const fs::path file = dir.Path() / item.Name;
    const QString mime = file.extension() == ".svgz" ? QStringLiteral("image/svg+xml-compressed")
                                                     : QStringLiteral("image/svg+xml");
    int ran = 0;
    for (KFileMetaData::Extractor* extractor : Collection().fetchExtractors(mime)) {
      if (extractor->extractorProperties().value(QStringLiteral("Id")).toString() != cOurs)
        continue;
      ++ran;
      SimpleExtractionResult result(QString::fromStdString(file.string()), mime,
                                    ExtractionResult::ExtractMetaData);
      extractor->extract(&result);
      const PropertyMultiMap properties = result.properties(KFileMetaData::MultiMap);
      if (item.Kind == testing_support::THostileKind::hkNotAFile) {
        EXPECT_EQ(Describe(properties), "");
      }
      for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        if (it.value().type() == QVariant::String) {
          EXPECT_TRUE(utf16::IsWellFormed(it.value().toString().toStdU16String()))
              << KFileMetaData::PropertyInfo(it.key()).name().toStdString();
        }
      }
    }
    EXPECT_EQ(ran, 1);
  }
}
