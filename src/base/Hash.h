// The hash the plugin's cache keys are made with: Bob Jenkins' lookup3
// hashlittle, which gives the same value for the same bytes as the reference
// does, on every platform the plugin is built for.
#pragma once

#include <cstddef>
#include <cstdint>

// lookup3's hashlittle of ALength bytes at AKey (words read little-endian, at
// any alignment, never a byte past the end), seeded with AInitval.
std::uint32_t hashlittle(const void* AKey, std::size_t ALength, std::uint32_t AInitval);
