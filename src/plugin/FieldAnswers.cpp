// Field enumeration and answers into host buffers (see FieldAnswers.h).
#include "plugin/FieldAnswers.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "base/Utf16.h"
#include "extract/Dimensions.h"
#include "plugin/contplug.h"

std::int32_t HostFieldType(TFieldKind AKind) {
  switch (AKind) {
    case fkText:
      return ft_stringw;
    case fkFlag:
      return ft_boolean;
    case fkPixels:
      return ft_numeric_32;
  }
  return ft_nomorefields;
}

void CopyHostText(char* ADest, const char* ASource, std::int32_t AMaxLen) {
  if (ADest == nullptr || AMaxLen <= 0) return;
  std::size_t n = std::strlen(ASource);
  std::size_t room = static_cast<std::size_t>(AMaxLen) - 1;
  if (n > room) n = room;
  std::memcpy(ADest, ASource, n);
  ADest[n] = '\0';
}

std::int32_t GetSupportedField(std::int32_t AFieldIndex, char* AFieldName, char* AUnits,
                               std::int32_t AMaxLen) {
  if (AFieldIndex < 0 || AFieldIndex >= cFieldCount) return ft_nomorefields;
  const TFieldRow& field = cFieldRows[AFieldIndex];
  // The table's names are literals, so each view ends in a zero byte.
  CopyHostText(AFieldName, field.Name.data(), AMaxLen);
  CopyHostText(AUnits, field.Units.data(), AMaxLen);
  return HostFieldType(field.Kind);
}

void WriteText(std::u16string_view AText, void* AFieldValue, std::int32_t AMaxLen) {
  const std::int32_t room = AMaxLen / 2 - 2;
  const std::size_t count =
      room < 0 ? 0 : utf16::FittingUnits(AText, static_cast<std::size_t>(room));
  if (AMaxLen < 2) return;
  auto* out = static_cast<unsigned char*>(AFieldValue);
  const std::u16string shown = utf16::WellFormed(AText.substr(0, count));
  std::memcpy(out, shown.data(), count * sizeof(char16_t));
  const char16_t zero = 0;
  std::memcpy(out + count * sizeof(char16_t), &zero, sizeof zero);
}

std::int32_t AnswerField(const TFieldRow& AField, const TVexmeta& ARecord, std::int32_t AUnitIndex,
                         bool AParseImageNode, void* AFieldValue, std::int32_t AMaxLen) {
  std::int32_t number = 0;
  switch (AField.Kind) {
    case fkText: {
      const std::u16string& text = ARecord.*AField.Text;
      if (text.empty()) return ft_fieldempty;
      WriteText(text, AFieldValue, AMaxLen);
      return ft_stringw;
    }
    case fkFlag:
      if (!AParseImageNode) return ft_fieldempty;
      number = ARecord.*AField.Flag ? 1 : 0;
      break;
    case fkPixels:
      number = FieldPixels(AField, ARecord, AUnitIndex);
      if (number <= 0) return ft_fieldempty;
      break;
  }
  if (AMaxLen < static_cast<std::int32_t>(sizeof number)) return ft_fieldempty;
  std::memcpy(AFieldValue, &number, sizeof number);
  return HostFieldType(AField.Kind);
}
