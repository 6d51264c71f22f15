// The host's side of the field table: each field's host type code, the field
// enumeration, and answers written into host buffers. The fields themselves,
// their names, kinds and units, are the rows of cFieldRows (SvgFields.h); only
// the mapping of a kind to a host type lives here.
#pragma once

#include <cstdint>
#include <string_view>

#include "extract/SvgFields.h"

// The host type code of a field of this kind (ft_stringw, ft_boolean,
// ft_numeric_32).
std::int32_t HostFieldType(TFieldKind AKind);

// Copies a zero-terminated text into a host buffer of AMaxLen bytes: at most
// AMaxLen - 1 bytes and a zero byte; nothing when there is no room at all.
void CopyHostText(char* ADest, const char* ASource, std::int32_t AMaxLen);

// The host's enumeration of fields: name and units of field AFieldIndex, and
// its type code; ft_nomorefields past the last.
std::int32_t GetSupportedField(std::int32_t AFieldIndex, char* AFieldName, char* AUnits,
                               std::int32_t AMaxLen);

// Writes a text value into the host's buffer of AMaxLen bytes: at most
// maxlen/2 - 2 code units and a terminator; the terminator is written only when
// the buffer has room for one code unit. The text is well-formed UTF-16: a cut
// never splits a surrogate pair and a lone surrogate shows as U+FFFD.
void WriteText(std::u16string_view AText, void* AFieldValue, std::int32_t AMaxLen);

// Answers one field of a record into the host's buffer: the field's type code,
// or ft_fieldempty when the field has no value (or the buffer cannot hold an
// integer, which is four bytes: a smaller buffer gets nothing rather than an
// overrun). A flag has a value only while AParseImageNode is on.
std::int32_t AnswerField(const TFieldRow& AField, const TVexmeta& ARecord, std::int32_t AUnitIndex,
                         bool AParseImageNode, void* AFieldValue, std::int32_t AMaxLen);
