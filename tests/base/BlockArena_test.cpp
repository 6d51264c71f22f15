// The block arena: alignment of every request, blocks of their own for large
// requests, and a release that starts over from the first block size.
#include "base/BlockArena.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

bool IsAligned(const void* AP, std::size_t AAlign) {
  return reinterpret_cast<std::uintptr_t>(AP) % AAlign == 0;
}

TEST(BlockArena, RequestsAreAlignedAndDistinct) {
  TBlockArena arena(256, 1024);
  struct TCase {
    std::size_t Size;
    std::size_t Align;
  };
  const TCase cases[] = {{1, 1}, {3, 8}, {1, 16}, {7, 4}, {40, 8}, {1, 1}, {24, 16}, {60, 8}};
  char* last = nullptr;
  for (int round = 0; round < 20; ++round) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "size " << c.Size << " align " << c.Align);
      auto* p = static_cast<char*>(arena.Allocate(c.Size, c.Align));
      ASSERT_TRUE(IsAligned(p, c.Align));
      if (last != nullptr) {
        EXPECT_NE(p, last);
      }
      p[0] = 'x';
      p[c.Size - 1] = 'y';
      last = p;
    }
  }
  // Blocks grow from 256 bytes and stop doubling at 1024.
  EXPECT_GE(arena.BytesReserved(), 20u * 158u);
  EXPECT_LE(arena.BytesReserved(), 256u + 512u + 1024u * 5u);
}

TEST(BlockArena, LargeRequestGetsItsOwnBlockAndKeepsTheCurrentOne) {
  TBlockArena arena(1024, 1024);
  auto* small = static_cast<char*>(arena.Allocate(8, 8));
  const std::size_t before = arena.BytesReserved();
  arena.Allocate(4096, 8);
  EXPECT_EQ(arena.BytesReserved(), before + 4096);
  // The next small request still comes from the first block, right behind.
  EXPECT_EQ(static_cast<char*>(arena.Allocate(8, 8)), small + 8);
}

TEST(BlockArena, ReleaseDropsEverything) {
  TBlockArena arena(64, 4096);
  for (int i = 0; i < 100; ++i) arena.Allocate(16, 8);
  EXPECT_GT(arena.BytesReserved(), 64u);
  arena.Release();
  EXPECT_EQ(arena.BytesReserved(), 0u);
  arena.Allocate(16, 8);
  EXPECT_EQ(arena.BytesReserved(), 64u);  // the first block size again
}

}  // namespace
