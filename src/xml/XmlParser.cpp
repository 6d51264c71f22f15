// The parser input: chunked reading, encoding detection, decoding of each chunk
// into one UTF-8 buffer, and the byte, string and markup reads the node parsers
// use. Scans run over the decoded bytes in bulk and fetch only at chunk ends.
#include "xml/XmlParser.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/Ascii.h"
#include "base/Streams.h"

namespace {

// The encoding-detection rules, tried in order; only the first Len bytes count.
const TXmlBomInfo cBomInfo[] = {
    {{0x3C, 0x3F, 0x78, 0x6D}, 4, seAnsi, false},
    {{0xEF, 0xBB, 0xBF, 0x00}, 3, seUTF8, true},
    {{0x00, 0x00, 0xFE, 0xFF}, 4, seUTF32BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 4, seUTF32LE, true},
    {{0x00, 0x00, 0xFF, 0xFE}, 4, seUCS4_2143, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 4, seUCS4_3412, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 2, seUTF16BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 2, seUTF16LE, true},
    {{0x00, 0x00, 0x00, 0x3C}, 4, seUTF32BE, false},
    {{0x3C, 0x00, 0x00, 0x00}, 4, seUTF32LE, false},
    {{0x00, 0x00, 0x3C, 0x00}, 4, seUCS4_2143, false},
    {{0x00, 0x3C, 0x00, 0x00}, 4, seUCS4_3412, false},
    {{0x00, 0x3C, 0x00, 0x3F}, 4, seUTF16BE, false},
    {{0x3C, 0x00, 0x3F, 0x00}, 4, seUTF16LE, false},
    {{0x4C, 0x6F, 0xA7, 0x94}, 4, seEBCDIC, false},
};
static_assert(std::size(cBomInfo) == 15);

constexpr std::int32_t cMaxIndex = std::numeric_limits<std::int32_t>::max();

using xmlbytes::IsBlank;
using xmlbytes::IsNameStop;

// The line ends (LF) in n bytes, eight bytes per step: a byte equal to LF turns
// into a zero byte, whose high bit the add-and-or leaves clear. Byte lanes sum up
// to 255 steps before they are folded into the total.
std::int64_t CountLineEnds(const std::uint8_t* AP, std::size_t AN) {
  constexpr std::uint64_t cLow7 = 0x7F7F7F7F7F7F7F7FULL;
  constexpr std::uint64_t cLf = 0x0A0A0A0A0A0A0A0AULL;
  constexpr std::uint64_t cOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t cEvenBytes = 0x00FF00FF00FF00FFULL;
  std::int64_t total = 0;
  while (AN >= 8) {
    const std::size_t words = std::min<std::size_t>(AN / 8, 255);
    std::uint64_t lanes = 0;
    for (std::size_t k = 0; k < words; ++k) {
      std::uint64_t x;
      std::memcpy(&x, AP + 8 * k, 8);
      x ^= cLf;
      lanes += (~(((x & cLow7) + cLow7) | x) >> 7) & cOnes;
    }
    AP += 8 * words;
    AN -= 8 * words;
    const std::uint64_t pairs = (lanes & cEvenBytes) + ((lanes >> 8) & cEvenBytes);
    total += static_cast<std::int64_t>((pairs * 0x0001000100010001ULL) >> 48);
  }
  for (; AN > 0; --AN, ++AP) total += *AP == 10 ? 1 : 0;
  return total;
}

void SwapBytePairs(std::uint8_t* AP, std::size_t ACount) {
  for (std::size_t i = 0; i + 1 < ACount; i += 2) std::swap(AP[i], AP[i + 1]);
}

}  // namespace

TXmlParser::TXmlParser(TStream& ASource, std::int32_t AChunkSize, TDebugComponent* AOwner,
                       TXmlParserBuffers* ABuffers)
    : TDebugPersistent(AOwner),
      FSource(&ASource),
      FLent(ABuffers),
      FChunkSize(std::max<std::int32_t>(AChunkSize, 1)) {
  if (FLent != nullptr) {
    FRawBuffer = std::move(FLent->Raw);
    FUtf8Buffer = std::move(FLent->Utf8);
    FRawBuffer.Resize(0);
    FUtf8Buffer.Resize(0);
  }
  FRawBuffer.Resize(static_cast<std::size_t>(FChunkSize));
  FRawLastIdx = static_cast<std::int32_t>(FSource->Read(FRawBuffer.Data(), FRawBuffer.Size()));
}

TXmlParser::~TXmlParser() {
  if (FLent == nullptr) return;
  // The buffers stay for the next load unless a large document grew them; also
  // when the load ended early, by an exception.
  constexpr std::size_t cKeptBuffer = 256 * 1024;
  FLent->Raw = FRawBuffer.Capacity() > cKeptBuffer ? TByteBuffer() : std::move(FRawBuffer);
  FLent->Utf8 = FUtf8Buffer.Capacity() > cKeptBuffer ? TByteBuffer() : std::move(FUtf8Buffer);
}

void TXmlParser::ReadBOM() {
  if (FRawLastIdx <= 4) {
    // Too short to detect anything: these bytes are never decoded.
    XmlDebugOut(*this, this, wsWarn, "stream terminated prematurely at pos %d", {FRawLastIdx});
    FEncoding = seAnsi;
    FRawFirstIdx = FRawLastIdx = 0;
    return;
  }
  const TXmlBomInfo* match = nullptr;
  for (const TXmlBomInfo& row : cBomInfo) {
    if (std::memcmp(FRawBuffer.Data(), row.BOM.data(), static_cast<std::size_t>(row.Len)) == 0) {
      match = &row;
      break;
    }
  }
  if (match == nullptr) {
    XmlDebugOut(*this, this, wsWarn, "unknown encoding", {});
    FEncoding = seUTF8;
    DecodeChunk();
    return;
  }
  FBomInfo = *match;
  FEncoding = match->Encoding;
  if (FEncoding != seAnsi && FEncoding != seUTF8 && FEncoding != seUTF16BE &&
      FEncoding != seUTF16LE) {
    XmlDebugOut(*this, this, wsFail, "unsupported encoding (%s)", {EncodingName(FEncoding)});
    FRawFirstIdx = FRawLastIdx = 0;
    return;
  }
  if (match->HasBOM) {
    FRawBuffer.EraseFront(static_cast<std::size_t>(match->Len));
    FRawLastIdx -= match->Len;
    XmlDebugOut(*this, this, wsInfo, "BOM with encoding %s", {EncodingName(FEncoding)});
  }
  DecodeChunk();
}

bool TXmlParser::IsBinaryXml() const {
  return FRawLastIdx > 4 && std::memcmp(FRawBuffer.Data(), "$BXM", 4) == 0;
}

void TXmlParser::DecodeChunk() {
  FChunkStartCR = FLastChar0D;
  FChunkStartHigh = FPendingHigh;
  const std::uint8_t* raw = FRawBuffer.Data() + FRawFirstIdx;
  const auto count = static_cast<std::size_t>(FRawLastIdx - FRawFirstIdx);
  const auto first = static_cast<std::size_t>(FUtf8FirstIdx);
  std::size_t written = 0;
  auto grow = [this, first](std::size_t ARoom) {
    if (FUtf8Buffer.Size() < first + ARoom) FUtf8Buffer.Resize(first + ARoom);
    return FUtf8Buffer.Data() + first;
  };
  switch (FEncoding) {
    case seAnsi:
    case seUTF8:
      if (FEncoding == seUTF8 || FCodePage == 0 || FCodePage == 65001)
        written = Utf8BytesToUtf8(raw, grow(count), count, FLastChar0D);
      else
        written = CodePageBytesToUtf8(raw, grow(3 * count), count, FCodePage, FLastChar0D);
      break;
    case seUTF16LE:
      written =
          Utf16UnitsToUtf8(raw, grow(3 * (count / 2) + 3), count / 2, FLastChar0D, FPendingHigh);
      break;
    case seUTF16BE: {
      // Swapped for decoding and back, so the kept chunk decodes the same again.
      std::uint8_t* units = FRawBuffer.Data() + FRawFirstIdx;
      SwapBytePairs(units, count);
      written =
          Utf16UnitsToUtf8(units, grow(3 * (count / 2) + 3), count / 2, FLastChar0D, FPendingHigh);
      SwapBytePairs(units, count);
      break;
    }
    default:
      break;  // the other encodings decode to nothing
  }
  FUtf8LastIdx = FUtf8FirstIdx + static_cast<std::int32_t>(written);
}

bool TXmlParser::FetchChunk() {
  // Indices are 32-bit: a stretch of text that would pass that limit without a
  // flush ends the input instead of overflowing.
  const std::int64_t room = 3 * std::int64_t{FChunkSize};
  if (std::int64_t{FUtf8LastIdx} - FUtf8DeadIdx + room > cMaxIndex) return false;
  // The limit counts the text since the last flush; flushed bytes still in front
  // make way when they are all that stands in the way.
  if (std::int64_t{FUtf8LastIdx} + room > cMaxIndex) Compact();
  // Only the latest raw chunk is needed (a new code page decodes it again), so
  // each chunk is read to the front of the raw buffer.
  FRawBuffer.Resize(static_cast<std::size_t>(FChunkSize));
  std::size_t n = FSource->Read(FRawBuffer.Data(), FRawBuffer.Size());
  if (n == 0) return EndPendingCharacter();
  FRawFirstIdx = 0;
  FRawLastIdx = static_cast<std::int32_t>(n);
  FUtf8FirstIdx = FUtf8LastIdx;
  DecodeChunk();
  return true;
}

bool TXmlParser::EndPendingCharacter() {
  // A high surrogate that the input leaves without its partner is one U+FFFD,
  // decoded from an empty last chunk.
  if (FPendingHigh == 0 || (FEncoding != seUTF16LE && FEncoding != seUTF16BE)) return false;
  FRawFirstIdx = FRawLastIdx = 0;
  FUtf8FirstIdx = FUtf8LastIdx;
  FChunkStartCR = FLastChar0D;
  FChunkStartHigh = FPendingHigh;
  const auto first = static_cast<std::size_t>(FUtf8FirstIdx);
  if (FUtf8Buffer.Size() < first + 3) FUtf8Buffer.Resize(first + 3);
  FLastChar0D = false;
  FUtf8LastIdx +=
      static_cast<std::int32_t>(Utf16PendingToUtf8(FUtf8Buffer.Data() + first, FPendingHigh));
  return true;
}

std::int32_t TXmlParser::MakeDataAvailable() {
  while (FUtf8LastIdx - FUtf8CurrentIdx < 1) {
    // The one place where the input ends: a read needs a byte and none comes.
    if (FInputEnded || !FetchChunk()) {
      FInputEnded = true;
      break;
    }
  }
  return FUtf8LastIdx - FUtf8CurrentIdx;
}

bool TXmlParser::CheckString(std::string_view AS) {
  const std::int64_t saved = Position();
  for (char expected : AS) {
    if (FUtf8CurrentIdx >= FUtf8LastIdx && MakeDataAvailable() < 1) return false;
    std::uint8_t c = FUtf8Buffer[static_cast<std::size_t>(FUtf8CurrentIdx)];
    if (ascii::ToLower(c) != ascii::ToLower(static_cast<std::uint8_t>(expected))) {
      FUtf8CurrentIdx = IndexAt(saved);
      return false;
    }
    Advance(1);
  }
  return true;
}

std::int32_t TXmlParser::MakeDataAvailable(bool ADrop) {
  // A flush keeps the latest chunk, so the byte before the position (which a
  // caller may step back over) stays.
  if (ADrop) Flush();
  return MakeDataAvailable();
}

char TXmlParser::ScanBlanks(std::string* ABlanks) {
  for (;;) {
    if (FUtf8CurrentIdx >= FUtf8LastIdx && MakeDataAvailable(ABlanks == nullptr) < 1) return 0;
    const std::uint8_t* buf = FUtf8Buffer.Data();
    std::int32_t i = FUtf8CurrentIdx;
    while (i < FUtf8LastIdx && IsBlank(buf[i])) ++i;
    if (ABlanks != nullptr)
      ABlanks->append(reinterpret_cast<const char*>(buf) + FUtf8CurrentIdx,
                      static_cast<std::size_t>(i - FUtf8CurrentIdx));
    FUtf8CurrentIdx = i;
    if (i < FUtf8LastIdx) {
      Advance(1);
      return static_cast<char>(buf[i]);
    }
  }
}

char TXmlParser::NextCharSkipBlanks(std::string& ABlanks) {
  ABlanks.clear();
  return ScanBlanks(&ABlanks);
}

bool TXmlParser::ScanPastChar(char AChar, bool ADrop) {
  for (;;) {
    const std::uint8_t* buf = FUtf8Buffer.Data();
    const void* hit = FUtf8CurrentIdx < FUtf8LastIdx
                          ? std::memchr(buf + FUtf8CurrentIdx, static_cast<unsigned char>(AChar),
                                        static_cast<std::size_t>(FUtf8LastIdx - FUtf8CurrentIdx))
                          : nullptr;
    if (hit != nullptr) {
      FUtf8CurrentIdx = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - buf);
      Advance(1);
      return true;
    }
    FUtf8CurrentIdx = FUtf8LastIdx;
    if (MakeDataAvailable(ADrop) < 1) return false;
  }
}

std::string_view TXmlParser::ReadStringUntilChar(char AChar) {
  const std::int64_t start = Position();
  const bool found = ScanPastChar(AChar, false);
  return View(IndexAt(start), FUtf8CurrentIdx - (found ? 1 : 0));
}

bool TXmlParser::ScanPast(std::string_view ATerminator, bool ADrop, std::int64_t& AEnd) {
  const auto lead = static_cast<unsigned char>(ATerminator.front());
  for (;;) {
    if (FUtf8CurrentIdx >= FUtf8LastIdx && MakeDataAvailable(ADrop) < 1) {
      XmlDebugOut(*this, this, wsWarn, "stream terminated prematurely at pos %d", {Position()});
      return false;
    }
    const std::uint8_t* buf = FUtf8Buffer.Data();
    const void* hit = std::memchr(buf + FUtf8CurrentIdx, lead,
                                  static_cast<std::size_t>(FUtf8LastIdx - FUtf8CurrentIdx));
    if (hit == nullptr) {
      FUtf8CurrentIdx = FUtf8LastIdx;
      continue;
    }
    FUtf8CurrentIdx = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - buf);
    AEnd = Position();
    // Mostly the terminator lies in the buffer whole, and is compared there.
    const auto size = static_cast<std::int32_t>(ATerminator.size());
    if (FUtf8LastIdx - FUtf8CurrentIdx >= size) {
      const bool found =
          ascii::EqualsIgnoreCase(View(FUtf8CurrentIdx, FUtf8CurrentIdx + size), ATerminator);
      FUtf8CurrentIdx += found ? size : 1;
      if (found) return true;
      continue;
    }
    if (CheckString(ATerminator)) return true;
    // A mismatch restores the position onto the lead byte; the end of the
    // stream inside the compare leaves it at the end, which the loop reports.
    if (Position() == AEnd) Advance(1);
  }
}

std::string_view TXmlParser::ReadStringUntilSlow(std::string_view ATerminator) {
  if (ATerminator.empty()) return {};
  const std::int64_t start = Position();
  std::int64_t end = 0;
  if (!ScanPast(ATerminator, false, end)) return {};
  return View(IndexAt(start), IndexAt(end));
}

void TXmlParser::ReadHeadUntil(std::string_view ATerminator, std::size_t AMax, bool AFirstLine,
                               std::string& AHead) {
  AHead.clear();
  if (ATerminator.empty()) return;
  if (AFirstLine) MoveBackOver(NextCharSkipBlanks());
  const char lead = ATerminator.front();
  while (AHead.size() < AMax) {
    const char c = NextChar();
    if (c == 0 && FInputEnded) break;
    if (c == lead) {
      MoveBack();
      const std::int64_t at = Position();
      if (CheckString(ATerminator)) return;
      // The end of the stream inside the compare: reported below.
      if (Position() != at) break;
      NextChar();
    }
    if (AFirstLine && (c == '\n' || c == '\r')) break;
    AHead.push_back(c);
  }
  std::int64_t end = 0;
  if (!ScanPast(ATerminator, true, end)) AHead.clear();
}

void TXmlParser::ReadHeadUntilChar(char AChar, std::size_t AMax, std::string& AHead) {
  AHead.clear();
  for (;;) {
    const std::uint8_t* buf = FUtf8Buffer.Data();
    const auto available = static_cast<std::size_t>(std::max(FUtf8LastIdx - FUtf8CurrentIdx, 0));
    const void* hit = available > 0 ? std::memchr(buf + FUtf8CurrentIdx,
                                                  static_cast<unsigned char>(AChar), available)
                                    : nullptr;
    const std::size_t run = hit != nullptr
                                ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) -
                                                           buf - FUtf8CurrentIdx)
                                : available;
    const std::size_t take = std::min(run, AMax - std::min(AMax, AHead.size()));
    AHead.append(reinterpret_cast<const char*>(buf + FUtf8CurrentIdx), take);
    if (hit != nullptr) {
      FUtf8CurrentIdx = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - buf);
      Advance(1);
      return;
    }
    FUtf8CurrentIdx = FUtf8LastIdx;
    if (MakeDataAvailable(true) < 1) return;
  }
}

void TXmlParser::SkipUntil(std::string_view ATerminator) {
  const std::string_view held = Buffered();
  const std::size_t at = ATerminator.empty() || xmlbytes::HasLetter(ATerminator)
                             ? std::string_view::npos
                             : xmlbytes::FindTerminator(held, 0, ATerminator);
  if (at != std::string_view::npos) {
    FUtf8CurrentIdx += static_cast<std::int32_t>(at + ATerminator.size());
    return;
  }
  std::int64_t end = 0;
  if (!ATerminator.empty()) ScanPast(ATerminator, true, end);
}

bool TXmlParser::ScanToNameStop(bool ADrop) {
  for (;;) {
    const std::uint8_t* buf = FUtf8Buffer.Data();
    std::int32_t i = FUtf8CurrentIdx;
    while (i < FUtf8LastIdx && !IsNameStop(buf[i])) ++i;
    FUtf8CurrentIdx = i;
    if (i < FUtf8LastIdx) return true;
    if (MakeDataAvailable(ADrop) < 1) {
      XmlDebugOut(*this, this, wsWarn, "stream terminated prematurely at pos %d", {Position()});
      return false;
    }
  }
}

std::string_view TXmlParser::ReadStringUntilBlankOrEndTagSlow() {
  const std::int64_t start = Position();
  if (!ScanToNameStop(false)) return {};
  return View(IndexAt(start), FUtf8CurrentIdx);
}

TXmlElementType TXmlParser::ReadOpenTagSlow() {
  if (FUtf8CurrentIdx >= FUtf8LastIdx && MakeDataAvailable() < 1) return xeError;
  char c = NextChar();
  switch (c) {
    case '!': {
      const bool atEnd = FUtf8CurrentIdx >= FUtf8LastIdx && MakeDataAvailable() < 1;
      const auto b = ascii::ToLower(static_cast<std::uint8_t>(NextChar()));
      switch (b) {
        case '-':
          return CheckString("-") ? xeComment : xeError;
        case '[':
          return CheckString("cdata[") ? xeCData : xeError;
        case 'd':
          return CheckString("octype") ? xeDocType : xeError;
        case 'e': {
          const bool element = CheckString("lement");
          const bool entity = CheckString("ntity");
          return entity ? xeDtdEntity : element ? xeDtdElement : xeError;
        }
        case 'a':
          return CheckString("ttlist") ? xeDtdAttList : xeError;
        case 'n':
          return CheckString("otation") ? xeDtdNotation : xeError;
        default:
          // At the end of the stream there is no byte to show.
          if (atEnd)
            XmlDebugOut(*this, this, wsFail, "illegal tag (\"%s\") at pos %d", {"", Position()});
          else
            XmlDebugOut(*this, this, wsFail, "illegal tag (\"%s\") at pos %d",
                        {static_cast<char>(b), Position()});
          return xeError;
      }
    }
    case '/':
      return xeEndTag;
    case '?':
      if (!CheckString("xml")) return xeInstruction;
      return CheckString("-stylesheet") ? xeStylesheet : xeDeclaration;
    default:
      MoveBack();
      return xeElement;
  }
}

void TXmlParser::Compact() {
  if (FUtf8DeadIdx == 0) return;
  std::uint8_t* buf = FUtf8Buffer.Data();
  // Line numbers serve messages only: without a receiver they are not kept up.
  if (HasDebugHandler())
    FBaseLineNumber += CountLineEnds(buf, static_cast<std::size_t>(FUtf8DeadIdx));
  FUtf8BasePosition += FUtf8DeadIdx;
  std::memmove(buf, buf + FUtf8DeadIdx, static_cast<std::size_t>(FUtf8LastIdx - FUtf8DeadIdx));
  FUtf8CurrentIdx -= FUtf8DeadIdx;
  FUtf8LastIdx -= FUtf8DeadIdx;
  FUtf8FirstIdx -= FUtf8DeadIdx;
  FUtf8DeadIdx = 0;
  FLineIdx = 0;
  FLineCount = 0;
}

void TXmlParser::SetCodePage(std::int32_t ACodePage) {
  FCodePage = ACodePage;
  // The chunk decodes again from the line-end and surrogate state it started with.
  FLastChar0D = FChunkStartCR;
  FPendingHigh = FChunkStartHigh;
  DecodeChunk();
  // The latest chunk's bytes may have changed under the counted lines.
  if (FLineIdx > FUtf8FirstIdx) {
    FLineIdx = 0;
    FLineCount = 0;
  }
  // The read position keeps its offset, but never lies beyond the new text.
  FUtf8CurrentIdx = std::min(FUtf8CurrentIdx, FUtf8LastIdx);
}

std::int64_t TXmlParser::LineNumber() const {
  // Line ends are counted from the last counted index, forward or back, so that
  // a report costs no scan of the text before it.
  const std::uint8_t* buf = FUtf8Buffer.Data();
  if (FUtf8CurrentIdx >= FLineIdx)
    FLineCount +=
        CountLineEnds(buf + FLineIdx, static_cast<std::size_t>(FUtf8CurrentIdx - FLineIdx));
  else
    FLineCount -=
        CountLineEnds(buf + FUtf8CurrentIdx, static_cast<std::size_t>(FLineIdx - FUtf8CurrentIdx));
  FLineIdx = FUtf8CurrentIdx;
  return FBaseLineNumber + FLineCount;
}

std::int32_t TXmlParser::IndexAt(std::int64_t APosition) const {
  return static_cast<std::int32_t>(APosition - FUtf8BasePosition);
}

void TXmlParser::Advance(std::int32_t ACount) {
  // No fetch here: the end of the stream is found only by a read that needs a
  // byte, so consuming the last byte (a closing ">") does not yet count as the
  // end, and the content loops see the end where they next read.
  FUtf8CurrentIdx += ACount;
}

std::string_view TXmlParser::View(std::int32_t AFirst, std::int32_t ALast) const {
  return {reinterpret_cast<const char*>(FUtf8Buffer.Data()) + AFirst,
          static_cast<std::size_t>(ALast - AFirst)};
}
