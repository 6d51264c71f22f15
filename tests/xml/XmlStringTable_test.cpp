// The string table: identifiers in order of first use, interning by content,
// renumbering by use count and the stream form.
#include "xml/XmlStringTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DebugCapture.h"
#include "base/Streams.h"

namespace {

using xml_test::TCapturingOwner;

std::string Hex(std::string_view ABytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : ABytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

TEST(StringTable, IdentifiersInOrderOfFirstUse) {
  TCapturingOwner doc;
  TXmlSymbolTable table(&doc);
  EXPECT_EQ(table.AddString(""), 0);
  EXPECT_EQ(table.SymbolCount(), 0);
  EXPECT_EQ(table.AddString("svg"), 1);
  EXPECT_EQ(table.AddString("SVG"), 2);  // bytes compare exactly
  EXPECT_EQ(table.AddString("width"), 3);
  EXPECT_EQ(table.AddString("svg"), 1);
  EXPECT_EQ(table.AddString(std::string("wid") + "th"), 3);
  EXPECT_EQ(table.SymbolCount(), 3);
  EXPECT_EQ(table.GetString(2), "SVG");
  EXPECT_EQ(table.GetString(0), "");
  EXPECT_EQ(table.GetString(-5), "");
  EXPECT_TRUE(doc.Messages.empty());

  EXPECT_EQ(table.GetString(4), "");
  ASSERT_EQ(doc.Messages.size(), 1u);
  EXPECT_EQ(doc.Messages[0].Level, wsWarn);
  EXPECT_EQ(doc.Messages[0].Text, "string ID not found");
  EXPECT_EQ(doc.Messages[0].Sender, &table);

  table.Clear();
  EXPECT_EQ(table.SymbolCount(), 0);
  EXPECT_EQ(table.AddString("width"), 1);
}

TEST(StringTable, ManyStringsKeepTheirIdentifiersAndBytes) {
  TXmlSymbolTable table(nullptr);
  // Enough to grow the index and the arena several times, with a long string
  // that needs a block of its own, and bytes that hash alike in naive schemes.
  std::vector<std::string> strings;
  for (int i = 0; i < 20000; ++i)
    strings.push_back(std::string("M").append(std::to_string(i)).append(" L0,0z"));
  strings.push_back(std::string(100000, 'x'));
  strings.push_back(std::string("a\0b", 3));
  strings.push_back(std::string("a\0c", 3));
  for (std::size_t i = 0; i < strings.size(); ++i)
    ASSERT_EQ(table.AddString(strings[i]), static_cast<std::int32_t>(i + 1));
  std::string_view first = table.GetStringView(1);
  for (std::size_t i = 0; i < strings.size(); ++i) {
    ASSERT_EQ(table.AddString(strings[i]), static_cast<std::int32_t>(i + 1));
    ASSERT_EQ(table.GetString(static_cast<std::int32_t>(i + 1)), strings[i]);
  }
  EXPECT_EQ(first, strings[0]);  // views stay valid while the table grows
}

TEST(StringTable, SortByFrequencyRenumbers) {
  TXmlSymbolTable table(nullptr);
  table.AddString("one");
  table.AddString("two");
  table.AddString("three");
  table.IncrementFrequency(3);
  table.IncrementFrequency(3);
  table.IncrementFrequency(1);
  table.IncrementFrequency(99);  // out of range: ignored
  std::vector<std::int32_t> newIDs(4, 0);
  table.SortByFrequency(newIDs);
  EXPECT_EQ(newIDs[3], 1);
  EXPECT_EQ(newIDs[1], 2);
  EXPECT_EQ(newIDs[2], 3);
  EXPECT_EQ(table.PluralSymbolCount(), 1);
  EXPECT_EQ(table.GetString(1), "three");
  EXPECT_EQ(table.GetString(2), "one");
  EXPECT_EQ(table.Frequency(1), 2u);
  // Content lookups follow the new identifiers.
  EXPECT_EQ(table.AddString("three"), 1);
  EXPECT_EQ(table.AddString("two"), 3);
  EXPECT_EQ(table.AddString("four"), 4);

  table.ClearFrequency();
  EXPECT_EQ(table.Frequency(1), 0u);

  TXmlSymbolTable empty(nullptr);
  std::vector<std::int32_t> none(1, 0);
  empty.SortByFrequency(none);
  EXPECT_EQ(empty.PluralSymbolCount(), 0);
}

TEST(StringTable, SortByFrequencyFollowsTheInPlaceQuicksort) {
  // Equal counts end in the order the exchange sort leaves them, not in a stable order.
  TXmlSymbolTable table(nullptr);
  const std::uint32_t counts[] = {1, 3, 1, 3, 2, 0, 3};
  for (std::size_t i = 0; i < std::size(counts); ++i) {
    std::int32_t id = table.AddString(std::string("s").append(std::to_string(i + 1)));
    for (std::uint32_t k = 0; k < counts[i]; ++k) table.IncrementFrequency(id);
  }
  std::vector<std::int32_t> newIDs(8, 0);
  table.SortByFrequency(newIDs);
  std::string order;
  for (std::int32_t id = 1; id <= table.SymbolCount(); ++id) order += table.GetString(id) + " ";
  EXPECT_EQ(order, "s4 s7 s2 s5 s1 s3 s6 ");
  EXPECT_EQ(table.PluralSymbolCount(), 4);
  for (std::int32_t old = 1; old <= 7; ++old)
    EXPECT_EQ(table.GetString(newIDs[static_cast<std::size_t>(old)]),
              std::string("s").append(std::to_string(old)));
}

TEST(StringTable, StreamFormRoundTrips) {
  TCapturingOwner doc;
  TXmlSymbolTable table(&doc);
  table.AddString("a");
  table.AddString(std::string(200, 'z'));
  TMemoryStream stream;
  table.SaveToStream(stream, table.SymbolCount());
  std::string bytes(stream.Data());
  EXPECT_EQ(Hex(bytes.substr(0, 6)), "02 00 01 61 00 C8");
  EXPECT_EQ(Hex(bytes.substr(6, 1)), "01");  // 200 takes the two bytes C8 01

  stream.Seek(0);
  TXmlSymbolTable loaded(&doc);
  loaded.AddString("old");
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.SymbolCount(), 2);
  EXPECT_EQ(loaded.GetString(1), "a");
  EXPECT_EQ(loaded.GetString(2), std::string(200, 'z'));
  EXPECT_EQ(loaded.AddString("a"), 1);
  EXPECT_TRUE(doc.Messages.empty());

  TMemoryStream partial;
  table.SaveSymbol(partial, 0);
  EXPECT_EQ(partial.Size(), 0);
  ASSERT_EQ(doc.Messages.size(), 1u);
  EXPECT_EQ(doc.Messages[0].Text, "symbol ID <= 0");
  EXPECT_EQ(doc.Messages[0].Level, wsFail);
}

TEST(StringTable, LoadingKeepsStylesAndReportsDuplicates) {
  TCapturingOwner doc;
  TXmlSymbolTable table(&doc);
  // Three symbols: style 5 "ab", style 200 "cd", style 0 "ab" again.
  auto stream =
      TMemoryStream::View(std::string_view("\x03\x05\x02"
                                           "ab"
                                           "\xC8\x01\x02"
                                           "cd"
                                           "\x00\x02"
                                           "ab",
                                           14));
  table.LoadFromStream(*stream);
  EXPECT_EQ(table.SymbolCount(), 3);
  EXPECT_EQ(table.SymbolStyle(1), 5u);
  EXPECT_EQ(table.SymbolStyle(2), 200u);
  EXPECT_EQ(table.GetString(3), "ab");
  EXPECT_EQ(table.AddString("ab"), 1);  // lookups find the earlier one
  ASSERT_EQ(doc.Messages.size(), 1u);
  EXPECT_EQ(doc.Messages[0].Text, "duplicate symbol!");
  EXPECT_EQ(doc.Messages[0].Level, wsFail);

  TMemoryStream out;
  table.SaveToStream(out, 1);
  EXPECT_EQ(Hex(out.Data()), "01 05 02 61 62");

  // Styles travel with their symbols through renumbering, and a symbol added
  // later has style 0.
  EXPECT_EQ(table.AddString("ef"), 4);
  table.IncrementFrequency(2);
  table.IncrementFrequency(2);
  table.IncrementFrequency(4);
  std::vector<std::int32_t> newIDs;
  table.SortByFrequency(newIDs);
  const std::uint32_t styles[] = {5, 200, 0, 0};
  for (std::size_t old = 1; old <= 4; ++old) {
    SCOPED_TRACE(old);
    EXPECT_EQ(table.SymbolStyle(newIDs[old]), styles[old - 1]);
  }
  EXPECT_EQ(table.GetString(1), "cd");
  TMemoryStream sorted;
  table.SaveSymbol(sorted, 1);
  EXPECT_EQ(Hex(sorted.Data()), "C8 01 02 63 64");
}

TEST(StringTable, HostileStreamsFailAtTheirEnd) {
  const std::string_view streams[] = {
      std::string_view("\x01\x00\xFF\xFF\xFF\xFF\x0F"
                       "abc",
                       10),                         // claims 4 GiB of bytes
      std::string_view("\xFF\xFF\xFF\xFF\x07", 5),  // 2^31 - 1 symbols, none there
      std::string_view("\x01\x80\x80", 3),          // cardinal cut short
  };
  for (std::string_view bytes : streams) {
    SCOPED_TRACE(Hex(bytes));
    TXmlSymbolTable table(nullptr);
    auto stream = TMemoryStream::View(bytes);
    EXPECT_THROW(table.LoadFromStream(*stream), EStreamError);
  }
  // A count that reads negative loads nothing.
  TXmlSymbolTable table(nullptr);
  auto negative = TMemoryStream::View(std::string_view("\xFF\xFF\xFF\xFF\x0F", 5));
  table.LoadFromStream(*negative);
  EXPECT_EQ(table.SymbolCount(), 0);
}

}  // namespace
