// kde_extract_dump: prints what KDE's file-metadata framework learns about each
// file given, as its consumers ask it: the file's MIME type, then for every
// extractor the framework fetches for that type its id, the types and the
// properties it adds. The test command runs it to check the installed
// extractor; without QT_PLUGIN_PATH it sees only the installed plugins.
#include <KFileMetaData/Extractor>
#include <KFileMetaData/ExtractorCollection>
#include <KFileMetaData/PropertyInfo>
#include <KFileMetaData/SimpleExtractionResult>
#include <KFileMetaData/TypeInfo>
#include <QCoreApplication>
#include <QDateTime>
#include <QMimeDatabase>
#include <QStringList>
#include <cstdio>

using KFileMetaData::ExtractionResult;

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList files = application.arguments().mid(1);
  if (files.isEmpty()) {
    std::fprintf(stderr, "usage: kde_extract_dump FILE...\n");
    return 2;
  }
  KFileMetaData::ExtractorCollection collection;
  const QMimeDatabase mimes;
  for (const QString& file : files) {
    const QString mime = mimes.mimeTypeForFile(file).name();
    std::printf("%s (%s)\n", qUtf8Printable(file), qUtf8Printable(mime));
    const QList<KFileMetaData::Extractor*> extractors = collection.fetchExtractors(mime);
    if (extractors.isEmpty()) std::printf("  no extractor\n");
    for (KFileMetaData::Extractor* extractor : extractors) {
      KFileMetaData::SimpleExtractionResult result(file, mime, ExtractionResult::ExtractMetaData);
      extractor->extract(&result);
      std::printf("  %s\n",
                  qUtf8Printable(extractor->extractorProperties().value("Id").toString()));
      for (KFileMetaData::Type::Type type : result.types())
        std::printf("    type: %s\n", qUtf8Printable(KFileMetaData::TypeInfo(type).name()));
      const KFileMetaData::PropertyMultiMap properties = result.properties(KFileMetaData::MultiMap);
      for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        const QVariant& value = it.value();
        const QString shown = value.type() == QVariant::DateTime
                                  ? value.toDateTime().toString(Qt::ISODate)
                                  : value.toString();
        std::printf("    %s: %s\n", qUtf8Printable(KFileMetaData::PropertyInfo(it.key()).name()),
                    qUtf8Printable(shown));
      }
    }
  }
  return 0;
}
