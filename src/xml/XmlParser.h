// The reading head of the XML reader. It pulls the source stream in chunks,
// detects the encoding from the first bytes, decodes each chunk once into one
// UTF-8 buffer (line ends normalised to LF) and hands the node parsers bytes,
// strings and markup classes out of that buffer. Positions count decoded bytes.
//
// Invariant: bytes of the UTF-8 buffer below its end stay valid until the next
// Flush; the buffer may move when it grows or drops flushed text, so reads keep
// positions across fetches, and a view returned by a read lives only until the
// next call on the parser.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/Blanks.h"
#include "base/ByteBuffer.h"
#include "xml/XmlDebug.h"
#include "xml/XmlElementType.h"
#include "xml/XmlEncoding.h"

class TStream;

// The byte classes of the reads: blanks (TAB, LF, CR, SPACE) and the other bytes
// that end a name ("/", ">", "[").
namespace xmlbytes {

struct TByteClasses {
  std::uint8_t Class[256] = {};  // 1 blank, 2 other name stop, 0 anything else
  constexpr TByteClasses() {
    for (std::uint32_t c = 0; c < 256; ++c) Class[c] = blanks::IsXmlSpace(c) ? 1 : 0;
    Class[static_cast<unsigned char>('/')] = 2;
    Class[static_cast<unsigned char>('>')] = 2;
    Class[static_cast<unsigned char>('[')] = 2;
  }
};
inline constexpr TByteClasses cByteClasses;

inline bool IsBlank(std::uint8_t AC) {
  return cByteClasses.Class[AC] == 1;
}
inline bool IsNameStop(std::uint8_t AC) {
  return cByteClasses.Class[AC] != 0;
}

// Whether a terminator's compare folds letter case (markup's do not).
constexpr bool HasLetter(std::string_view AText) {
  for (char c : AText)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return false;
}

// Where ATerminator first begins in AText at or after AFrom (npos: nowhere),
// compared byte for byte: found by its last byte, which in markup's
// terminators (">", "-->", "]]>", "?>") is rarer than the first, and mostly
// close ahead.
inline std::size_t FindTerminator(std::string_view AText, std::size_t AFrom,
                                  std::string_view ATerminator) {
  const std::size_t size = ATerminator.size();
  const std::size_t n = AText.size();
  if (size == 0 || AFrom > n || n - AFrom < size) return std::string_view::npos;
  const char* const p = AText.data();
  const char last = ATerminator.back();
  // The first terminator is the one whose last byte comes first.
  for (std::size_t at = AFrom + size - 1; at < n; ++at) {
    if (p[at] != last) {
      const void* hit = at + 1 < n ? std::memchr(p + at + 1, last, n - at - 1) : nullptr;
      if (hit == nullptr) break;
      at = static_cast<std::size_t>(static_cast<const char*>(hit) - p);
    }
    std::size_t k = 1;
    while (k < size && p[at - k] == ATerminator[size - 1 - k]) ++k;
    if (k == size) return at + 1 - size;
  }
  return std::string_view::npos;
}

}  // namespace xmlbytes

// The parser input's two buffers. A document lends its own to each load, so that
// loading one small document after another allocates nothing new.
struct TXmlParserBuffers {
  TByteBuffer Raw;
  TByteBuffer Utf8;
};

class TXmlParser : public TDebugPersistent {
 public:
  // Reads the first chunk at once; nothing is decoded until ReadBOM. With
  // ABuffers the parser works in those buffers and hands them back when it
  // goes, unless they grew large.
  TXmlParser(TStream& ASource, std::int32_t AChunkSize, TDebugComponent* AOwner,
             TXmlParserBuffers* ABuffers = nullptr);
  ~TXmlParser() override;

  void ReadBOM();
  bool IsBinaryXml() const;

  // Decoded bytes at and after the position, fetching chunks while there are none.
  std::int32_t MakeDataAvailable();
  // Byte 0 at the end of the stream (the position does not move there).
  char NextChar() {
    if (FUtf8CurrentIdx >= FUtf8LastIdx && MakeDataAvailable() < 1) return 0;
    return static_cast<char>(FUtf8Buffer[static_cast<std::size_t>(FUtf8CurrentIdx++)]);
  }
  // Moves back one byte; stays at the oldest byte the buffer still holds.
  void MoveBack() {
    if (FUtf8CurrentIdx > FUtf8DeadIdx) --FUtf8CurrentIdx;
  }
  // Steps back over AChar, the byte the latest read returned; nothing when that
  // read found no byte (it did not move, so a step back would re-read the byte
  // before it).
  void MoveBackOver(char AChar) {
    if (AChar != 0 || !FInputEnded) MoveBack();
  }
  // Moves back to an earlier position whose text nothing has let go of since
  // (a read that keeps its text, such as NextCharSkipBlanks(ABlanks)).
  void MoveBackTo(std::int64_t APosition) {
    FUtf8CurrentIdx = std::max(IndexAt(APosition), FUtf8DeadIdx);
  }
  bool CheckString(std::string_view AS);
  char NextCharSkipBlanks(std::string& ABlanks);
  // The views below live until the next call on the parser.
  std::string_view ReadStringUntilChar(char AChar);
  std::string_view ReadQuotedString(char AQuote) { return ReadStringUntilChar(AQuote); }
  // Reads up to and over ATerminator as ReadStringUntil does, but keeps at most
  // AMax bytes of the text in AHead (with AFirstLine: of its first line, after
  // the blanks it begins with) and lets go of the rest as it passes: a text of
  // any length costs the head. AHead is empty when the input ends first.
  void ReadHeadUntil(std::string_view ATerminator, std::size_t AMax, bool AFirstLine,
                     std::string& AHead);
  // The same up to and over AChar as ReadStringUntilChar reads: the head is
  // what it would give, cut to AMax bytes.
  void ReadHeadUntilChar(char AChar, std::size_t AMax, std::string& AHead);
  std::string_view ReadStringUntil(std::string_view ATerminator) {
    // Mostly the text and its terminator lie in the buffer whole.
    if (!xmlbytes::HasLetter(ATerminator)) {
      const std::string_view held = Buffered();
      const std::size_t at = xmlbytes::FindTerminator(held, 0, ATerminator);
      if (at != std::string_view::npos) {
        FUtf8CurrentIdx += static_cast<std::int32_t>(at + ATerminator.size());
        return held.substr(0, at);
      }
    }
    return ReadStringUntilSlow(ATerminator);
  }
  std::string_view ReadStringUntilBlankOrEndTag() {
    // Names are short: most end within the buffer.
    for (std::int32_t i = FUtf8CurrentIdx; i < FUtf8LastIdx; ++i) {
      if (xmlbytes::IsNameStop(FUtf8Buffer[static_cast<std::size_t>(i)])) {
        const std::string_view name = View(FUtf8CurrentIdx, i);
        FUtf8CurrentIdx = i;
        return name;
      }
    }
    return ReadStringUntilBlankOrEndTagSlow();
  }
  TXmlElementType ReadOpenTag() {
    // Most markup is an element or an end tag.
    if (FUtf8CurrentIdx < FUtf8LastIdx) {
      const std::uint8_t c = FUtf8Buffer[static_cast<std::size_t>(FUtf8CurrentIdx)];
      if (c == '/') {
        ++FUtf8CurrentIdx;
        return xeEndTag;
      }
      if (c != '!' && c != '?') return xeElement;
      // And the most of the rest, comments.
      if (c == '!' && FUtf8LastIdx - FUtf8CurrentIdx > 2 &&
          FUtf8Buffer[static_cast<std::size_t>(FUtf8CurrentIdx) + 1] == '-' &&
          FUtf8Buffer[static_cast<std::size_t>(FUtf8CurrentIdx) + 2] == '-') {
        FUtf8CurrentIdx += 3;
        return xeComment;
      }
    }
    return ReadOpenTagSlow();
  }
  void Flush() {
    if (FUtf8CurrentIdx <= FUtf8FirstIdx) return;
    FUtf8DeadIdx = FUtf8FirstIdx;
    if (FUtf8DeadIdx >= cCompactBytes) Compact();
  }

  // The decoded bytes at and after the position that are in the buffer now (a
  // view that lives until the next read), and a move forward within them: the
  // skims read common markup straight from here.
  std::string_view Buffered() const { return View(FUtf8CurrentIdx, FUtf8LastIdx); }
  void Consume(std::size_t ACount) { FUtf8CurrentIdx += static_cast<std::int32_t>(ACount); }

  // The skips move exactly as the reads of the same name do and set the same
  // end state, but keep no text: they flush what they pass, so text that is
  // never looked at costs no memory, and views from earlier reads end.
  char NextCharSkipBlanks() {
    // Most markup stands one blank or none apart.
    for (std::int32_t i = FUtf8CurrentIdx; i < FUtf8LastIdx; ++i) {
      const std::uint8_t c = FUtf8Buffer[static_cast<std::size_t>(i)];
      if (!xmlbytes::IsBlank(c)) {
        FUtf8CurrentIdx = i + 1;
        return static_cast<char>(c);
      }
    }
    return ScanBlanks(nullptr);
  }
  void SkipUntilChar(char AChar) {
    if (FUtf8CurrentIdx < FUtf8LastIdx) {
      const std::uint8_t* buf = FUtf8Buffer.Data();
      // The byte is mostly a few bytes ahead, closer than a search pays off.
      const std::int32_t near = std::min(FUtf8LastIdx, FUtf8CurrentIdx + 4);
      for (std::int32_t i = FUtf8CurrentIdx; i < near; ++i) {
        if (buf[i] == static_cast<std::uint8_t>(AChar)) {
          FUtf8CurrentIdx = i + 1;
          return;
        }
      }
      const void* hit = std::memchr(buf + FUtf8CurrentIdx, static_cast<unsigned char>(AChar),
                                    static_cast<std::size_t>(FUtf8LastIdx - FUtf8CurrentIdx));
      if (hit != nullptr) {
        FUtf8CurrentIdx =
            static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - buf) + 1;
        return;
      }
    }
    ScanPastChar(AChar, true);
  }
  void SkipUntil(std::string_view ATerminator);
  void SkipUntilBlankOrEndTag() {
    for (std::int32_t i = FUtf8CurrentIdx; i < FUtf8LastIdx; ++i) {
      if (xmlbytes::IsNameStop(FUtf8Buffer[static_cast<std::size_t>(i)])) {
        FUtf8CurrentIdx = i;
        return;
      }
    }
    ScanToNameStop(true);
  }

  TXmlStringEncoding Encoding() const { return FEncoding; }
  void SetEncoding(TXmlStringEncoding AEncoding) { FEncoding = AEncoding; }
  std::int32_t CodePage() const { return FCodePage; }
  // Stores the code page and decodes the latest raw chunk again.
  void SetCodePage(std::int32_t ACodePage);
  std::int64_t Position() const { return FUtf8BasePosition + FUtf8CurrentIdx; }
  // The line of the position. Lines are counted for messages: while no handler
  // receives messages, text let go is not counted and the number runs low.
  std::int64_t LineNumber() const;
  // True once a read has needed a byte and found none. A read that stops on
  // the very last byte has not ended the input yet: the end is found where the
  // next read needs a byte.
  bool InputEnded() const { return FInputEnded; }
  const TXmlBomInfo& BomInfo() const { return FBomInfo; }

 private:
  // Raw and UTF-8 buffers with their indices, base position and line number,
  // input-ended and pending-CR flags. The raw buffer holds only the latest chunk
  // (FRawFirstIdx is 0); the UTF-8 buffer holds the text since the last Flush,
  // behind up to cCompactBytes of flushed text that waits to be moved out.
  TXmlBomInfo FBomInfo;
  TStream* FSource;
  TXmlParserBuffers* FLent;  // where the buffers go back to, if they were lent
  std::int32_t FChunkSize;
  TByteBuffer FRawBuffer;
  TByteBuffer FUtf8Buffer;
  TXmlStringEncoding FEncoding = seUTF8;
  std::int32_t FCodePage = 0;
  std::int32_t FRawFirstIdx = 0;
  std::int32_t FRawLastIdx = 0;
  std::int32_t FUtf8FirstIdx = 0;
  // A flush drops the consumed text only logically; the bytes move to the front
  // once this much has been dropped, so a flush costs no copy per element.
  static constexpr std::int32_t cCompactBytes = 64 * 1024;

  std::int32_t FUtf8DeadIdx = 0;  // bytes below it are flushed but not yet moved out
  std::int32_t FUtf8CurrentIdx = 0;
  std::int32_t FUtf8LastIdx = 0;
  std::int64_t FUtf8BasePosition = 0;
  std::int64_t FBaseLineNumber = 0;
  bool FInputEnded = false;
  bool FLastChar0D = false;
  bool FChunkStartCR = false;           // FLastChar0D before the latest chunk was decoded
  char16_t FPendingHigh = 0;            // UTF-16: a high surrogate waiting for the next chunk
  char16_t FChunkStartHigh = 0;         // FPendingHigh before the latest chunk was decoded
  mutable std::int32_t FLineIdx = 0;    // line ends below this index are counted ...
  mutable std::int64_t FLineCount = 0;  // ... in this count

  std::string_view ReadStringUntilBlankOrEndTagSlow();
  std::string_view ReadStringUntilSlow(std::string_view ATerminator);
  TXmlElementType ReadOpenTagSlow();
  void DecodeChunk();
  bool FetchChunk();
  // At the end of the input: decodes what a UTF-16 surrogate left pending;
  // false when nothing was.
  bool EndPendingCharacter();
  // The scans behind the reads and the skips; ADrop lets go of the text passed.
  // MakeDataAvailable after letting go of the text before the position.
  std::int32_t MakeDataAvailable(bool ADrop);
  // Moves to the next byte that ends a name; false (reported) when the input
  // ends first.
  bool ScanToNameStop(bool ADrop);
  // Blanks up to the next other byte, which is returned (0 at the end);
  // ABlanks, when given, receives them (and nothing is let go).
  char ScanBlanks(std::string* ABlanks);
  // Moves behind the next AChar; false when the input ends first.
  bool ScanPastChar(char AChar, bool ADrop);
  // Moves behind the next ATerminator, AEnd receiving where it begins; false
  // (reported) when the input ends first.
  bool ScanPast(std::string_view ATerminator, bool ADrop, std::int64_t& AEnd);
  void Advance(std::int32_t ACount);
  // Moves the flushed bytes out of the buffer; indices shift, positions stay.
  void Compact();
  // The buffer index of a position; reads that may fetch keep positions.
  std::int32_t IndexAt(std::int64_t APosition) const;
  std::string_view View(std::int32_t AFirst, std::int32_t ALast) const;
};
