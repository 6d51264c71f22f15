// The extraction: a drawing's facts, read from its file or from a stream into a
// TVexmeta record. It needs no state of any consumer: whoever calls it (the
// content plugin, another framework's extractor, a benchmark) passes in its
// options and its extractor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "extract/SvgRecord.h"

class TExtractFilter;
class TStream;
class TXmlDocument;
class TXmlNode;

// What a consumer decides about reading drawings.
struct TExtractOptions {
  bool ParseImageNode = true;       // look for an embedded raster image
  std::int64_t ReadLimitBytes = 0;  // read at most this many bytes of each drawing (0: all)
  // Give up on a drawing whose read runs past this many nanoseconds of the
  // caller's time (0: no limit), checked after every chunk read: the caller is
  // held at most the budget and one chunk's work.
  std::int64_t TimeBudgetNs = 0;
};

// The time a caller that must answer at once (a host's window thread) gives a
// read before it puts the answer off: about two frames of a 60 Hz screen, less
// than a user notices as a stall. On a busy machine an ordinary drawing of
// some 20 MiB, or 2 MiB of text that is nothing but elements, is read in it.
constexpr std::int64_t cAnswerAtOnceNs = 25'000'000;

// What reading a drawing's file came to.
enum class TFileRead : std::uint8_t {
  frDrawing,     // the record holds the drawing's facts
  frNoDrawing,   // unreadable, no SVG drawing, or damaged compressed data
  frOverBudget,  // given up: the time budget was spent (the record is unfinished)
  frUnreadable,  // the file could not be opened or read to the end as it was when
                 // opened (a failing disk, a file changing); the record is empty and
                 // nothing is known of the drawing: a later read may succeed
};

// How a document is loaded: keeping only the nodes the extraction reads (what
// every consumer does), or the whole tree, which answers the same and serves to
// check that it does.
enum class TDocumentLoad : std::uint8_t { dlFiltered, dlWholeTree };

// Reads drawing after drawing: the reader's memory (node and byte blocks,
// symbol pages, parser buffers) is kept from one drawing for the next, up to
// what a small one needs, since setting it up costs more than reading a small
// drawing. One extractor serves one thread at a time. Nothing here raises.
class TSvgExtractor {
 public:
  TSvgExtractor();
  ~TSvgExtractor();
  TSvgExtractor(const TSvgExtractor&) = delete;
  TSvgExtractor& operator=(const TSvgExtractor&) = delete;

  // The facts of the drawing in the file at APath (plain, gzip-compressed or
  // ZIP-wrapped). No drawing: the file holds no SVG drawing, or its compressed
  // data is damaged anywhere up to the read limit, even past where the facts
  // end. Unreadable: opening or reading the file failed. AFoundRegular: the caller has just found
  // APath to be a regular file, so it is not looked up again before it is opened.
  TFileRead ReadFile(std::u16string_view APath, const TExtractOptions& AOptions, TVexmeta& ARecord,
                     bool AFoundRegular = false);
  // The same for a drawing handed over as a stream of its file's bytes (see the
  // stream form of OpenSvgStream: AName names the file, or is empty); the
  // extractor owns the source from here on and releases it before returning.
  TFileRead ReadStream(std::unique_ptr<TStream> ASource, std::u16string_view AName,
                       const TExtractOptions& AOptions, TVexmeta& ARecord);
  // The facts of the drawing in AStream, read from its start; false when it
  // holds no SVG drawing.
  bool Parse(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
             TDocumentLoad ALoad = TDocumentLoad::dlFiltered);

 private:
  // Parse, except that a file below AStream that cannot be read raises
  // EFileReadError: that is no verdict on the drawing.
  bool ParseOrRaise(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode, TDocumentLoad ALoad);
  // Reads the SVG text that AOpen opens through source loading (null: no
  // drawing), the options' time budget counting from before it opens.
  template <class TOpen>
  TFileRead ReadSource(const TOpen& AOpen, const TExtractOptions& AOptions, TVexmeta& ARecord);

  std::unique_ptr<TXmlDocument> FDocument;
  std::unique_ptr<TExtractFilter> FFilter;  // each load's, made anew by a reset
};

// Parse with an extractor of its own, for a single drawing.
bool ParseSvgDocument(TStream& AStream, TVexmeta& ARecord, bool AParseImageNode,
                      TDocumentLoad ALoad = TDocumentLoad::dlFiltered);

// Node lookups of the extraction: names compared with ASCII letter case folded,
// attributes and child nodes alike, the first in list order wins.
TXmlNode* FindChildByName(TXmlNode* ANode, std::string_view AName);
std::u16string GetChildValue(TXmlNode* ANode, std::string_view AName);
// Follows a path of names separated by "\" (a trailing one is dropped); null
// for an empty part, a missing node or no parts.
TXmlNode* FindNodeByPath(TXmlNode* ANode, std::string_view APath);
