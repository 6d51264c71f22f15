// A growable byte buffer whose new bytes are not zeroed: the parser input fills
// what it asks for before it reads it, so a large chunk buffer costs one
// allocation and no pass over its bytes. Growth doubles and keeps the bytes held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

class TByteBuffer {
 public:
  TByteBuffer() = default;
  // A buffer moved from is empty, with no bytes to grow into.
  TByteBuffer(TByteBuffer&& AOther) noexcept
      : FData(std::move(AOther.FData)),
        FSize(std::exchange(AOther.FSize, 0)),
        FCapacity(std::exchange(AOther.FCapacity, 0)) {}
  TByteBuffer& operator=(TByteBuffer&& AOther) noexcept {
    FData = std::move(AOther.FData);
    FSize = std::exchange(AOther.FSize, 0);
    FCapacity = std::exchange(AOther.FCapacity, 0);
    return *this;
  }

  std::uint8_t* Data() { return FData.get(); }
  const std::uint8_t* Data() const { return FData.get(); }
  std::size_t Size() const { return FSize; }
  std::size_t Capacity() const { return FCapacity; }
  std::uint8_t& operator[](std::size_t AIndex) { return FData[AIndex]; }
  std::uint8_t operator[](std::size_t AIndex) const { return FData[AIndex]; }

  // Keeps the first bytes up to ASize; bytes beyond the old size are indeterminate.
  void Resize(std::size_t ASize) {
    if (ASize > FCapacity) {
      const std::size_t capacity = ASize > 2 * FCapacity ? ASize : 2 * FCapacity;
      auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
      if (FSize != 0) std::memcpy(grown.get(), FData.get(), FSize);
      FData = std::move(grown);
      FCapacity = capacity;
    }
    FSize = ASize;
  }

  // Drops the first ACount bytes (at most Size); the rest moves to the front.
  void EraseFront(std::size_t ACount) {
    if (ACount > FSize) ACount = FSize;
    std::memmove(FData.get(), FData.get() + ACount, FSize - ACount);
    FSize -= ACount;
  }

 private:
  std::unique_ptr<std::uint8_t[]> FData;
  std::size_t FSize = 0;
  std::size_t FCapacity = 0;
};
