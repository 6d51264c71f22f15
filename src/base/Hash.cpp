// Bob Jenkins' lookup3 hash, hashlittle: the cache's path keys are made with it
// (see Hash.h).
#include "base/Hash.h"

#include <bit>
#include <cstring>

namespace {

// Words are read with memcpy: the key may sit at any address and end anywhere.
// The hash reads little-endian words, which is how they lie in memory on every
// platform the plugin is built for.
static_assert(std::endian::native == std::endian::little,
              "hashlittle reads words as they lie in memory");

std::uint32_t Load32(const unsigned char* AP) {
  std::uint32_t v;
  std::memcpy(&v, AP, sizeof(v));
  return v;
}

void Mix(std::uint32_t& AA, std::uint32_t& AB, std::uint32_t& AC) {
  AA -= AC;
  AA ^= std::rotl(AC, 4);
  AC += AB;
  AB -= AA;
  AB ^= std::rotl(AA, 6);
  AA += AC;
  AC -= AB;
  AC ^= std::rotl(AB, 8);
  AB += AA;
  AA -= AC;
  AA ^= std::rotl(AC, 16);
  AC += AB;
  AB -= AA;
  AB ^= std::rotl(AA, 19);
  AA += AC;
  AC -= AB;
  AC ^= std::rotl(AB, 4);
  AB += AA;
}

void Final(std::uint32_t& AA, std::uint32_t& AB, std::uint32_t& AC) {
  AC ^= AB;
  AC -= std::rotl(AB, 14);
  AA ^= AC;
  AA -= std::rotl(AC, 11);
  AB ^= AA;
  AB -= std::rotl(AA, 25);
  AC ^= AB;
  AC -= std::rotl(AB, 16);
  AA ^= AC;
  AA -= std::rotl(AC, 4);
  AB ^= AA;
  AB -= std::rotl(AA, 14);
  AC ^= AB;
  AC -= std::rotl(AB, 24);
}

}  // namespace

std::uint32_t hashlittle(const void* AKey, std::size_t ALength, std::uint32_t AInitval) {
  const auto* k = static_cast<const unsigned char*>(AKey);
  // The length enters the seed as its low 32 bits, as the reference does.
  std::uint32_t a = 0xdeadbeefu + static_cast<std::uint32_t>(ALength) + AInitval;
  std::uint32_t b = a;
  std::uint32_t c = a;

  while (ALength > 12) {
    a += Load32(k);
    b += Load32(k + 4);
    c += Load32(k + 8);
    Mix(a, b, c);
    ALength -= 12;
    k += 12;
  }
  // The last 1 to 12 bytes, byte by byte: nothing is read past the end.
  switch (ALength) {
    case 12:
      c += static_cast<std::uint32_t>(k[11]) << 24;
      [[fallthrough]];
    case 11:
      c += static_cast<std::uint32_t>(k[10]) << 16;
      [[fallthrough]];
    case 10:
      c += static_cast<std::uint32_t>(k[9]) << 8;
      [[fallthrough]];
    case 9:
      c += k[8];
      [[fallthrough]];
    case 8:
      b += static_cast<std::uint32_t>(k[7]) << 24;
      [[fallthrough]];
    case 7:
      b += static_cast<std::uint32_t>(k[6]) << 16;
      [[fallthrough]];
    case 6:
      b += static_cast<std::uint32_t>(k[5]) << 8;
      [[fallthrough]];
    case 5:
      b += k[4];
      [[fallthrough]];
    case 4:
      a += static_cast<std::uint32_t>(k[3]) << 24;
      [[fallthrough]];
    case 3:
      a += static_cast<std::uint32_t>(k[2]) << 16;
      [[fallthrough]];
    case 2:
      a += static_cast<std::uint32_t>(k[1]) << 8;
      [[fallthrough]];
    case 1:
      a += k[0];
      break;
    case 0:
      return c;  // zero-length input: no final mixing
  }
  Final(a, b, c);
  return c;
}
