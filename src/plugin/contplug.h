// The host's content-plugin interface: the six entry points a file manager calls,
// and the codes and structure it understands. Host text is 8-bit ASCII or 16-bit UTF-16
// (char16_t, which is 16 bits on every platform, unlike wchar_t).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VX_EXPORT extern "C" __declspec(dllexport)
#define VX_CALL __stdcall
#else
#define VX_EXPORT extern "C" __attribute__((visibility("default")))
#define VX_CALL
#endif

// The host interface's own names, spelled as the host spells them.
// NOLINTBEGIN(readability-identifier-naming)

// Field types.
constexpr std::int32_t ft_numeric_32 = 1;
constexpr std::int32_t ft_boolean = 6;
constexpr std::int32_t ft_stringw = 11;

// Results.
constexpr std::int32_t ft_nomorefields = 0;  // ContentGetSupportedField: index outside the table
constexpr std::int32_t ft_delayed = 0;       // value requests: answer to delay-if-slow
constexpr std::int32_t ft_fieldempty = -3;   // value requests: no value

// Flags of a value request.
constexpr std::int32_t CONTENT_DELAYIFSLOW = 1;

// NOLINTEND(readability-identifier-naming)

// A flag of Vexmeta's own, which no file manager sets: the host has just asked
// for the same path (on any thread) and vouches that the file is still as that
// request found it, so the plugin answers from its cache entry for the path
// without looking the file up again; without an entry the request is answered
// as without the flag. The host tool sets it on every request for a file but
// the first, so a file's sixteen fields cost one look-up.
constexpr std::int32_t cContentSameFile = 0x40000000;

// NOLINTBEGIN(readability-identifier-naming)

// State notifications.
constexpr std::int32_t CONTST_READNEWDIR = 1;
constexpr std::int32_t CONTST_REFRESHPRESSED = 2;

// What a host tells a plugin once after loading it: the interface version it
// speaks and the path of its own settings file, 8-bit text terminated by a zero
// byte in an array of the host's path limit (260 bytes on Windows, possibly more
// elsewhere). size is the size of the whole structure as the host made it.
constexpr std::size_t cContentMaxPath = 260;
struct ContentDefaultParamStruct {
  std::int32_t size;  // NOLINT(readability-identifier-naming): the host's name
  std::uint32_t PluginInterfaceVersionLow;
  std::uint32_t PluginInterfaceVersionHi;
  char DefaultIniName[cContentMaxPath];
};
static_assert(offsetof(ContentDefaultParamStruct, DefaultIniName) == 12);
static_assert(sizeof(ContentDefaultParamStruct) == 272);

VX_EXPORT void VX_CALL ContentGetDetectString(char* DetectString, std::int32_t maxlen);
VX_EXPORT std::int32_t VX_CALL ContentGetSupportedField(std::int32_t FieldIndex, char* FieldName,
                                                        char* Units, std::int32_t maxlen);
VX_EXPORT std::int32_t VX_CALL ContentGetValueW(const char16_t* FileName, std::int32_t FieldIndex,
                                                std::int32_t UnitIndex, void* FieldValue,
                                                std::int32_t maxlen, std::int32_t flags);
VX_EXPORT std::int32_t VX_CALL ContentGetValue(const char* FileName, std::int32_t FieldIndex,
                                               std::int32_t UnitIndex, void* FieldValue,
                                               std::int32_t maxlen, std::int32_t flags);
VX_EXPORT void VX_CALL ContentSendStateInformationW(std::int32_t state, const char16_t* path);
VX_EXPORT void VX_CALL ContentSetDefaultParams(ContentDefaultParamStruct* dps);

// NOLINTEND(readability-identifier-naming)

// Function pointer types, for hosts that resolve the exports at run time.
using TContentGetDetectString = void(VX_CALL*)(char*, std::int32_t);
using TContentGetSupportedField = std::int32_t(VX_CALL*)(std::int32_t, char*, char*, std::int32_t);
using TContentGetValueW = std::int32_t(VX_CALL*)(const char16_t*, std::int32_t, std::int32_t, void*,
                                                 std::int32_t, std::int32_t);
using TContentGetValue = std::int32_t(VX_CALL*)(const char*, std::int32_t, std::int32_t, void*,
                                                std::int32_t, std::int32_t);
using TContentSendStateInformationW = void(VX_CALL*)(std::int32_t, const char16_t*);
using TContentSetDefaultParams = void(VX_CALL*)(ContentDefaultParamStruct*);
