// The per-file fact record and its extraction from an SVG document.
// Every text is stored cut to cMaxRecordText UTF-16 code units: a host shows at
// most maxlen/2 - 2 code units of a text and passes buffers of a few KiB, so a
// record keeps what any buffer up to 8 KiB can show and no more. This bounds
// what 1,001 cached hostile drawings can pin in the host's memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TStream;
class TXmlDocument;
class TXmlNode;

constexpr std::size_t cMaxRecordText = 4095;

struct TVexmeta {
  std::u16string Width;
  std::u16string Height;
  std::u16string Version;
  std::u16string ViewBox;
  std::u16string Application;
  std::u16string ID;
  std::u16string InkscapeVersion;
  std::u16string SodipodiVersion;
  std::u16string SodipodiDocbase;
  std::u16string SodipodiDocname;
  std::u16string MetadataTitle;
  std::u16string MetadataDescription;
  std::u16string MetadataDate;
  std::int32_t IntWidth = 0;
  std::int32_t IntHeight = 0;
  bool EmbeddedImage = false;
};

// How the document is loaded: keeping only the nodes the extraction reads (what
// the plugin does), or the whole tree, which answers the same and serves to
// check that it does.
enum class TDocumentLoad : std::uint8_t { dlFiltered, dlWholeTree };

// Fills ARecord from the SVG document in AStream; false when the stream holds no
// SVG document. Never raises.
bool ParseSvgDocument(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
                      TDocumentLoad ALoad = TDocumentLoad::dlFiltered);

// The same for one drawing after another: the reader's memory (node and byte
// blocks, symbol pages, parser buffers) is kept from one drawing for the next,
// up to what a small one needs, since setting it up costs more than reading a
// small drawing. One extractor serves one thread at a time.
class TSvgExtractor {
 public:
  TSvgExtractor();
  ~TSvgExtractor();
  TSvgExtractor(const TSvgExtractor&) = delete;
  TSvgExtractor& operator=(const TSvgExtractor&) = delete;

  bool Parse(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
             TDocumentLoad ALoad = TDocumentLoad::dlFiltered);

 private:
  std::unique_ptr<TXmlDocument> FDocument;
};

// Node lookups of the extraction (ASCII letter case folded, see the .cpp).
TXmlNode* FindChildByName(TXmlNode* ANode, std::string_view AName);
std::u16string GetChildValue(TXmlNode* ANode, std::string_view AName);
TXmlNode* FindNodeByPath(TXmlNode* ANode, std::string_view APath);

// Cuts a text to cMaxRecordText code units, never leaving a lone high surrogate at the end.
void CutRecordText(std::u16string& AText);
