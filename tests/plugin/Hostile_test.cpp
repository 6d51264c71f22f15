// The hostile set (support/HostileSet.h) through the loaded library, as a
// file manager asks: every field of every item, first with the delay-if-slow
// flag on the window's thread, then without it, while another thread rewrites
// the changing drawing. No crash, no hang (the test's time-out), every text
// well-formed UTF-16, nothing for what is no regular file, and the facts the
// frames of the bombs and the huge values carry.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/Utf16.h"
#include "extract/SvgFields.h"
#include "plugin/contplug.h"
#include "support/HostileSet.h"
#include "support/TestSupport.h"

using testing_support::THostileItem;
using testing_support::THostileKind;
using testing_support::TPluginHost;
using testing_support::TTempDir;

TEST(HostileSet, EveryItemThroughTheExports) {
  TTempDir dir;
  std::string error;
  const std::vector<THostileItem> items = testing_support::WriteHostileSet(dir.Path(), error);
  ASSERT_FALSE(items.empty()) << error;
  const testing_support::TChangingFile changing(dir.Path());
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());

  // Facts the items' frames carry, by item and field.
  const int width = FieldIndex(&TVexmeta::Width);
  const int height = FieldIndex(&TVexmeta::Height);
  const std::map<std::pair<std::string, int>, std::u16string> facts = {
      {{"huge-attribute.svg", height}, u"5"}, {{"gzip-bomb.svgz", width}, u"10"},
      {{"zip-bomb.svgz", width}, u"10"},      {{"entity-flood.svg", height}, u"20"},
      {{"invalid-utf8.svg", height}, u"20"},
  };

  for (const THostileItem& item : items) {
    SCOPED_TRACE(item.Name + ": " + item.What);
    const auto path = dir.Path() / item.Name;
    for (const std::int32_t flags : {CONTENT_DELAYIFSLOW, 0}) {
      for (int field = 0; field < cFieldCount; ++field) {
        for (int unit = 0; unit < (cFieldRows[field].Kind == fkPixels ? 2 : 1); ++unit) {
          const TPluginHost::TAnswer answer = host.Get(path, field, unit, 8192, flags);
          if (item.Kind == THostileKind::hkNotAFile) {
            // With the flag a name that leads to no file is put off, as a
            // missing file is.
            if (answer.Result != ft_delayed || flags == 0) {
              EXPECT_EQ(answer.Result, ft_fieldempty) << field;
            }
            continue;
          }
          if (answer.Result == ft_stringw) {
            EXPECT_TRUE(utf16::IsWellFormed(answer.Text)) << field;
            EXPECT_LE(answer.Text.size(), cMaxRecordText) << field;
          }
          if (flags == 0) {
            if (auto fact = facts.find({item.Name, field}); fact != facts.end()) {
              EXPECT_EQ(answer.Text, fact->second) << field;
            }
          }
        }
      }
    }
    // The 8-bit entry point, once per item.
    alignas(8) char buffer[8192];
    const std::int32_t result = host.GetValue(path.string().c_str(), FieldIndex(&TVexmeta::ID), 0,
                                              buffer, sizeof buffer, 0);
    if (item.Kind == THostileKind::hkNotAFile) {
      EXPECT_EQ(result, ft_fieldempty);
    }
  }
  EXPECT_GT(changing.Rewrites(), 0u);
}
