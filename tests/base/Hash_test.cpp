// Tests of lookup3's hashlittle: the reference's values, and that the bytes
// alone decide the hash, wherever they lie, with no byte past the end read.
#include "base/Hash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

TEST(Hashlittle, KnownValues) {
  const char16_t pathUnits[] = u"c:\\pictures\\a.svg";
  std::vector<unsigned char> path;
  for (char16_t u : std::u16string_view(pathUnits)) {
    path.push_back(static_cast<unsigned char>(u & 0xFF));
    path.push_back(static_cast<unsigned char>(u >> 8));
  }
  const std::string score = "Four score and seven years ago";
  struct TCase {
    const char* Label;
    const void* Bytes;
    std::size_t Length;
    std::uint32_t Initval, Expected;
  } cases[] = {
      {"empty", "", 0, 0, 0xdeadbeef},
      {"empty, seeded", "", 0, 0xdeadbeef, 0xbd5b7dde},
      {"30 ASCII bytes", score.data(), score.size(), 0, 0x17770551},
      {"30 ASCII bytes, seed 1", score.data(), score.size(), 1, 0xcd628161},
      {"UTF-16LE path", path.data(), path.size(), 0, 0xd2de90de},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    EXPECT_EQ(hashlittle(c.Bytes, c.Length, c.Initval), c.Expected);
  }
}

TEST(Hashlittle, SameBytesGiveSameHashAtAnyAddressAndNoByteBeyondIsRead) {
  std::vector<unsigned char> pattern(64);
  for (std::size_t i = 0; i < pattern.size(); ++i)
    pattern[i] = static_cast<unsigned char>(i * 37 + 11);
  for (std::size_t length = 0; length <= 40; ++length) {
    SCOPED_TRACE(length);
    // An exactly sized block: the sanitizer build reports any read past its end.
    auto exact = std::make_unique<unsigned char[]>(length + 1);
    std::memcpy(exact.get(), pattern.data(), length);
    const std::uint32_t reference = hashlittle(exact.get(), length, 0);
    for (std::size_t offset = 1; offset < 4; ++offset) {
      auto shifted = std::make_unique<unsigned char[]>(length + offset);
      std::memcpy(shifted.get() + offset, pattern.data(), length);
      EXPECT_EQ(hashlittle(shifted.get() + offset, length, 0), reference) << "offset " << offset;
    }
    // Every byte counts, the last one included.
    if (length > 0) {
      exact[length - 1] ^= 1;
      EXPECT_NE(hashlittle(exact.get(), length, 0), reference);
    }
  }
}

}  // namespace
