// The KDE extractor's work: a drawing is read through the extraction layer just
// as the content plugin reads it (the same source loading, parse and rule for
// compressed data), without the plugin's settings or cache, since the framework
// asks once per file. Each call has its own reader, so threads may share the
// plugin object.
#include "KdeSvgExtractor.h"

#include <KFileMetaData/Properties>
#include <KFileMetaData/Types>
#include <QDateTime>
#include <QFile>
#include <QVariant>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Utf16.h"
#include "extract/SvgExtractor.h"
#include "extract/SvgFields.h"
#include "platform/Platform.h"

using KFileMetaData::ExtractionResult;
namespace Property = KFileMetaData::Property;

namespace {

// The one place that runs the engine. A drawing read from compressed data counts
// only when that data is intact to its end. The embedded-image fact is not
// reported here, so the image node is not kept; no other fact depends on it.
bool ReadDrawing(const QString& APath, TVexmeta& ARecord) {
  TSvgExtractor extractor;
  TExtractOptions options;
  options.ParseImageNode = false;
  // The name's bytes on disk: Qt decoded them with the locale's character set.
  const QByteArray name = QFile::encodeName(APath);
  const std::u16string path =
      platform::FileNameToUtf16({name.constData(), static_cast<std::size_t>(name.size())});
  return extractor.ReadFile(path, options, ARecord) == TFileRead::frDrawing;
}

// Qt keeps a lone surrogate as it is; the engine's well-formed text does not.
QString Text(const std::u16string& AText) {
  return QString::fromStdU16String(utf16::WellFormed(AText));
}

// The metadata date as a date-time when it is an ISO 8601 date or date-time
// (invalid otherwise). The record shows its "T" as a blank, which the ISO
// reading accepts as well.
QDateTime DateTimeOf(const std::u16string& ADate) {
  return QDateTime::fromString(Text(ADate), Qt::ISODate);
}

}  // namespace

TKdeSvgExtractor::TKdeSvgExtractor(QObject* AParent) : ExtractorPlugin(AParent) {}

QStringList TKdeSvgExtractor::mimetypes() const {
  return {QStringLiteral("image/svg+xml"), QStringLiteral("image/svg+xml-compressed")};
}

void TKdeSvgExtractor::extract(ExtractionResult* AResult) {
  try {
    if (AResult == nullptr || !(AResult->inputFlags() & ExtractionResult::ExtractMetaData)) return;
    TVexmeta record;
    if (!ReadDrawing(AResult->inputUrl(), record)) return;

    std::vector<std::pair<Property::Property, QVariant>> facts;
    // Both sides or neither: a file manager would show a missing side as "0".
    if (record.IntWidth > 0 && record.IntHeight > 0) {
      facts.emplace_back(Property::Width, record.IntWidth);
      facts.emplace_back(Property::Height, record.IntHeight);
    }
    if (!record.Application.empty())
      facts.emplace_back(Property::Generator, Text(record.Application));
    if (QDateTime date = DateTimeOf(record.MetadataDate); date.isValid())
      facts.emplace_back(Property::CreationDate, date);
    // Every extractor of a type runs and the index keeps every value it adds: a
    // plain drawing's RDF title and description come from the framework's XML
    // extractor, which reads neither compressed drawings nor a drawing's own
    // title and desc elements.
    const bool compressed = AResult->inputMimetype() == QLatin1String("image/svg+xml-compressed");
    if (!record.MetadataTitle.empty() &&
        (compressed || (record.FromFallback & FallbackBit(&TVexmeta::MetadataTitle)) != 0))
      facts.emplace_back(Property::Title, Text(record.MetadataTitle));
    if (!record.MetadataDescription.empty() &&
        (compressed || (record.FromFallback & FallbackBit(&TVexmeta::MetadataDescription)) != 0))
      facts.emplace_back(Property::Description, Text(record.MetadataDescription));

    AResult->addType(KFileMetaData::Type::Image);
    for (const auto& [property, value] : facts) AResult->add(property, value);
  } catch (...) {
    // Nothing may end the indexer or the file manager's helper that runs this.
  }
}
