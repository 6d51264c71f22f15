// Display names of the element types.
#include "xml/XmlElementType.h"

const char* ElementTypeName(TXmlElementType AType) {
  static const char* const cNames[] = {
      "Element",     "Attribute",   "Text",       "Comment",    "CData",      "ConditionalSection",
      "Declaration", "Stylesheet",  "DocType",    "DtdElement", "DtdAttList", "DtdEntity",
      "DtdNotation", "Instruction", "WhiteSpace", "QuotedText", "EndTag",     "Error"};
  return AType <= xeError ? cNames[AType] : "Error";
}
