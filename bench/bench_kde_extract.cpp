// bench_kde_extract: one file through KDE's file-metadata framework as the
// indexer reads it (bench_consumers runs it per drawing): an application
// object, the extractor collection finding the build's plugin before any
// installed copy (QT_PLUGIN_PATH), the file typed by its name, and our
// extractor run on a result of its own. Prints the extraction's time.
//   bench_kde_extract FILE
#include <KFileMetaData/Extractor>
#include <KFileMetaData/ExtractorCollection>
#include <KFileMetaData/SimpleExtractionResult>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
  qputenv("QT_PLUGIN_PATH", VX_BENCH_KDE_PLUGIN_ROOT);
  QCoreApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: bench_kde_extract FILE\n");
    return 2;
  }
  const QString file = arguments[1];
  // The indexer types the hostile set's files by their names.
  const QString mime = file.endsWith(QStringLiteral(".svgz"))
                           ? QStringLiteral("image/svg+xml-compressed")
                           : QStringLiteral("image/svg+xml");
  KFileMetaData::ExtractorCollection collection;
  for (KFileMetaData::Extractor* extractor : collection.fetchExtractors(mime)) {
    if (extractor->extractorProperties().value(QStringLiteral("Id")).toString() !=
        QStringLiteral("vexmeta.svgextractor"))
      continue;
    KFileMetaData::SimpleExtractionResult result(file, mime,
                                                 KFileMetaData::ExtractionResult::ExtractMetaData);
    QElapsedTimer timer;
    timer.start();
    extractor->extract(&result);
    std::printf("time_ns %lld\n", static_cast<long long>(timer.nsecsElapsed()));
    return 0;
  }
  std::printf("failed: the framework offers no vexmeta.svgextractor for %s\n",
              qUtf8Printable(mime));
  return 1;
}
