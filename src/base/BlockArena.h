// A bump allocator over a list of blocks. Allocations are never freed one by
// one: Release drops every block at once. Blocks start at AFirstBlock bytes and
// double up to AMaxBlock; a request larger than a quarter of the next block
// gets a block of its own, so the current block keeps its room.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class TBlockArena {
 public:
  TBlockArena(std::size_t AFirstBlock, std::size_t AMaxBlock)
      : FFirstBlock(AFirstBlock), FMaxBlock(AMaxBlock), FNextBlock(AFirstBlock) {}
  TBlockArena(const TBlockArena&) = delete;
  TBlockArena& operator=(const TBlockArena&) = delete;

  // ASize bytes aligned to AAlign (a power of two no larger than max_align_t);
  // never null (raises std::bad_alloc).
  void* Allocate(std::size_t ASize, std::size_t AAlign);
  void Release();
  // Drops every allocation but keeps the first block for what comes next, so an
  // arena used again and again for small work costs no allocation.
  void Reset();
  std::size_t BytesReserved() const { return FReserved; }

 private:
  std::byte* NewBlock(std::size_t ASize);

  std::vector<std::unique_ptr<std::byte[]>> FBlocks;
  std::byte* FCur = nullptr;  // free space of the newest shared block: [FCur, FEnd)
  std::byte* FEnd = nullptr;
  std::byte* FFirst = nullptr;  // the first shared block, of AFirstBlock bytes; kept by Reset
  std::size_t FReserved = 0;    // bytes of all blocks
  std::size_t FFirstBlock;
  std::size_t FMaxBlock;
  std::size_t FNextBlock;  // size of the next shared block
};
