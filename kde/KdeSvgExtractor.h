// The extractor the KDE file-metadata framework loads for .svg and .svgz files:
// the desktop search indexer and the file manager's helpers run it to learn a
// drawing's width, height, generator and date (and, for .svgz, which the
// framework's XML extractor cannot read, its title and description).
#pragma once

#include <KFileMetaData/ExtractorPlugin>

class TKdeSvgExtractor : public KFileMetaData::ExtractorPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.kde.kf5.kfilemetadata.ExtractorPlugin" FILE "KdeSvgExtractor.json")
  Q_INTERFACES(KFileMetaData::ExtractorPlugin)

 public:
  explicit TKdeSvgExtractor(QObject* AParent = nullptr);

  QStringList mimetypes() const override;
  // Adds the facts of the drawing at the result's input path, or nothing when
  // the file is not a drawing the engine reads. Never raises.
  void extract(KFileMetaData::ExtractionResult* AResult) override;
};
