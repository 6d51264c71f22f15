// Bounded inflation of deflate data read from a stream: the one zlib loop that
// gzip files and deflated ZIP entries share. Output grows only as data actually
// arrives and never past a given ceiling, so a small hostile input cannot make
// the host's process allocate more than that ceiling.
#pragma once

#include <cstdint>
#include <vector>

class TStream;

enum class TInflateResult : std::uint8_t {
  irEnded,    // the deflate stream ended (and its trailer, if any, checked out)
  irCut,      // the output reached the ceiling before the end; the rest was not inflated
  irCorrupt,  // bad data, or the input ended before the deflate stream did
};

// Inflates up to AInputBytes bytes read from AStream at its position, appending
// to AOutput until the stream ends or AOutput holds AMaxOutput bytes.
// AWindowBits is passed to inflateInit2 (32 + 15: zlib or gzip header detected;
// -15: raw deflate). Read errors of the stream are raised as EStreamError.
// Data that is corrupt after the cut is never looked at, so it yields irCut.
TInflateResult InflateFromStream(TStream& AStream, std::uint64_t AInputBytes, int AWindowBits,
                                 std::uint64_t AMaxOutput, std::vector<std::uint8_t>& AOutput);

// Appends to ABuffer the space for ACount more bytes, growing its capacity at
// most to ACeiling (never beyond what is asked for when the ceiling is near).
// Returns a pointer to the new space.
std::uint8_t* GrowBounded(std::vector<std::uint8_t>& ABuffer, std::size_t ACount,
                          std::uint64_t ACeiling);
