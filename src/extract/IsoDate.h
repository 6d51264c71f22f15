// Dates as the metadata writes them: an ISO 8601 date or date and time read
// strictly into one point in time, for every consumer that maps the Metadata
// Date field to its framework's date type (a Windows property, a search index).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// An ISO 8601 date ("2024-05-17") or date and time ("2024-05-17T08:30",
// seconds and a fraction optional, "T" or a blank between them) with an
// optional zone ("Z", "+02:00", "+0200", "+02"), as a count of 100 ns units
// since 1601-01-01 UTC (a Windows FILETIME); a time without a zone, and a date
// alone (at midnight), are taken as UTC. Blanks around it are ignored. Nothing
// for anything else, an impossible date or time, or a date before 1601.
std::optional<std::uint64_t> FileTimeOfIsoDate(std::u16string_view AText);

// The 100 ns units from 1601-01-01 to the Unix epoch, 1970-01-01 UTC.
constexpr std::uint64_t cUnixEpochFileTime = 116'444'736'000'000'000;
