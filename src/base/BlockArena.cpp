// The block arena's one rule (see BlockArena.h).
#include "base/BlockArena.h"

#include <algorithm>
#include <cstdint>

std::byte* TBlockArena::NewBlock(std::size_t ASize) {
  FBlocks.push_back(std::make_unique_for_overwrite<std::byte[]>(ASize));
  FReserved += ASize;
  return FBlocks.back().get();
}

void* TBlockArena::Allocate(std::size_t ASize, std::size_t AAlign) {
  const std::size_t misalign = reinterpret_cast<std::uintptr_t>(FCur) & (AAlign - 1);
  const std::size_t pad = misalign == 0 ? 0 : AAlign - misalign;
  if (static_cast<std::size_t>(FEnd - FCur) < ASize + pad || FCur == nullptr) {
    // Blocks come from new[], which aligns for any fundamental type.
    if (ASize > FNextBlock / 4) return NewBlock(ASize);
    const std::size_t size = FNextBlock;
    if (FNextBlock < FMaxBlock) FNextBlock *= 2;
    FCur = NewBlock(size);
    FEnd = FCur + size;
    if (size == FFirstBlock && FFirst == nullptr) FFirst = FCur;
  } else {
    FCur += pad;
  }
  void* result = FCur;
  FCur += ASize;
  return result;
}

void TBlockArena::Reset() {
  auto first = std::find_if(FBlocks.begin(), FBlocks.end(),
                            [this](const auto& ABlock) { return ABlock.get() == FFirst; });
  if (first == FBlocks.end()) {
    Release();
    return;
  }
  std::unique_ptr<std::byte[]> kept = std::move(*first);
  FBlocks.clear();
  FBlocks.push_back(std::move(kept));
  FCur = FFirst;
  FEnd = FFirst + FFirstBlock;
  FReserved = FFirstBlock;
  FNextBlock = std::min(FFirstBlock * 2, std::max(FMaxBlock, FFirstBlock));
}

void TBlockArena::Release() {
  FBlocks.clear();
  FCur = FEnd = FFirst = nullptr;
  FReserved = 0;
  FNextBlock = FFirstBlock;
}
