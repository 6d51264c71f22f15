// Message routing of the debug sink and the message formatter.
#include "xml/XmlDebug.h"

#include <gtest/gtest.h>

#include "DebugCapture.h"

namespace {

using xml_test::TCapturingOwner;

// A reporter in the way nodes and the parser input report.
class TReporter : public TDebugPersistent {
 public:
  using TDebugPersistent::TDebugPersistent;
  int Formatted = 0;
  void Report(TXmlWarnStyle ALevel) {
    if (!HasDebugHandler()) return;
    ++Formatted;
    DoDebugOut(this, ALevel, FormatDebugText("at pos %d", {std::int64_t{7}}));
  }
};

TEST(DebugSink, MessageReachesFirstHandlerUpTheChainWithReporterAsSender) {
  TCapturingOwner outer;             // owns the document
  TDebugComponent document(&outer);  // no handler of its own
  TReporter node(&document);
  node.Report(wsWarn);
  ASSERT_EQ(outer.Messages.size(), 1u);
  EXPECT_EQ(outer.Messages[0].Sender, &node);
  EXPECT_EQ(outer.Messages[0].Level, wsWarn);
  EXPECT_EQ(outer.Messages[0].Text, "at pos 7");

  // A handler nearer the reporter takes the message; the walk stops there.
  TCapturingOwner inner(&outer);
  TReporter node2(&inner);
  node2.Report(wsFail);
  EXPECT_EQ(inner.Messages.size(), 1u);
  EXPECT_EQ(outer.Messages.size(), 1u);
}

TEST(DebugSink, WithoutHandlerNothingIsFormattedOrDelivered) {
  TDebugComponent root;
  TDebugComponent document(&root);
  TReporter node(&document);
  TReporter orphan(nullptr);
  for (TXmlWarnStyle level : {wsInfo, wsHint, wsWarn, wsFail}) {
    node.Report(level);
    orphan.Report(level);
    document.DoDebugOut(&document, level, "dropped");
    orphan.DoDebugOut(&orphan, level, "dropped");
  }
  EXPECT_EQ(node.Formatted, 0);
  EXPECT_EQ(orphan.Formatted, 0);
  EXPECT_FALSE(document.HasDebugHandler());
}

TEST(DebugSink, FormatFillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatDebugText("illegal tag (\"%s\") at pos %d", {'f', std::int64_t{5}}),
            "illegal tag (\"f\") at pos 5");
  EXPECT_EQ(FormatDebugText("unknown %s \"%s\"", {"a", std::string("b")}), "unknown a \"b\"");
  EXPECT_EQ(FormatDebugText("%d%%", {std::int32_t{-3}}), "-3%");
  EXPECT_EQ(FormatDebugText("big %d", {std::int64_t{5000000000}}), "big 5000000000");
  // Too few arguments or an unknown placeholder leave the format text as it stands.
  EXPECT_EQ(FormatDebugText("missing %s and %d", {"x"}), "missing x and %d");
  EXPECT_EQ(FormatDebugText("100% %x", {}), "100% %x");
}

}  // namespace
