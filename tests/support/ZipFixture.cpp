// The ZIP fixture writer (see ZipFixture.h): local headers and data, then the
// central directory, then the end record, all without data descriptors.
#include "support/ZipFixture.h"

#include <zlib.h>

#include "support/TestSupport.h"

namespace testing_support {

namespace {

void Put16(std::string& AOut, std::uint32_t AV) {
  AOut.push_back(static_cast<char>(AV & 0xFF));
  AOut.push_back(static_cast<char>((AV >> 8) & 0xFF));
}

void Put32(std::string& AOut, std::uint32_t AV) {
  Put16(AOut, AV & 0xFFFF);
  Put16(AOut, AV >> 16);
}

std::uint32_t Pick(std::int64_t AFault, std::uint32_t ARight) {
  return AFault < 0 ? ARight : static_cast<std::uint32_t>(AFault);
}

}  // namespace

std::string RawDeflate(std::string_view AData) {
  return Deflate(AData, -15);
}

std::string MakeZip(const std::vector<TZipFixtureEntry>& AEntries, std::string_view AComment) {
  std::string out;
  std::string directory;
  for (const TZipFixtureEntry& e : AEntries) {
    std::string packed = e.RawDeflated ? e.Data : e.Deflate ? RawDeflate(e.Data) : e.Data;
    const std::uint32_t crc = Pick(
        e.Crc, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.Data.data()),
                                                static_cast<uInt>(e.Data.size()))));
    const std::uint32_t method = Pick(e.Method, e.Deflate || e.RawDeflated ? 8 : 0);
    const std::uint32_t usize = Pick(e.UncompressedSize, static_cast<std::uint32_t>(e.Data.size()));
    const std::uint32_t csize = static_cast<std::uint32_t>(packed.size());
    const std::uint32_t offset = static_cast<std::uint32_t>(out.size());

    out += "PK\x03\x04";
    Put16(out, 20);
    Put16(out, e.Flags);
    Put16(out, method);
    Put16(out, 0);     // time
    Put16(out, 0x21);  // date: 1980-01-01
    Put32(out, crc);
    Put32(out, csize);
    Put32(out, usize);
    Put16(out, static_cast<std::uint32_t>(e.Name.size()));
    Put16(out, 0);
    out += e.Name;
    if (e.CutCompressed >= 0) packed.resize(static_cast<std::size_t>(e.CutCompressed));
    out += packed;

    directory += "PK\x01\x02";
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, e.Flags);
    Put16(directory, method);
    Put16(directory, 0);
    Put16(directory, 0x21);
    Put32(directory, crc);
    Put32(directory, Pick(e.CompressedSize, csize));
    Put32(directory, usize);
    Put16(directory, static_cast<std::uint32_t>(e.Name.size()));
    Put16(directory, 0);  // extra
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, Pick(e.LocalHeaderOffset, offset));
    directory += e.Name;
  }
  const std::uint32_t directoryOffset = static_cast<std::uint32_t>(out.size());
  out += directory;
  out += "PK\x05\x06";
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(AEntries.size()));
  Put16(out, static_cast<std::uint32_t>(AEntries.size()));
  Put32(out, static_cast<std::uint32_t>(directory.size()));
  Put32(out, directoryOffset);
  Put16(out, static_cast<std::uint32_t>(AComment.size()));
  out += AComment;
  return out;
}

}  // namespace testing_support
