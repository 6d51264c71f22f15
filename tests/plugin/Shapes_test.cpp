// The drawing shapes of bench_shapes, written small and asked through the loaded
// library as a host asks them: whatever its body, each shape reports the fields
// its frame carries, shape 1 its image after the whole body, the zero-byte shape
// nothing. Also that every shape comes out at exactly the size asked, which the
// benchmark's tables rely on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/SvgFields.h"
#include "plugin/SvgPlugin.h"
#include "support/ShapeWriter.h"
#include "support/TestSupport.h"

using testing_support::DrawingShapes;
using testing_support::TDrawingShape;
using testing_support::TPluginHost;
using testing_support::TShapeOutput;
using testing_support::TStringSink;
using testing_support::TTempDir;

namespace {

struct TExpected {
  std::int32_t Result;
  std::string Text;  // for text fields
  std::int32_t Number;
};

// Fields 0 to 15 of a shape, by what ShapeWriter.h says each shape carries.
std::vector<TExpected> ExpectedFields(const TDrawingShape& AShape) {
  if (AShape.Number == 9) return std::vector<TExpected>(cFieldCount, {ft_fieldempty, "", 0});
  const std::string n = std::to_string(AShape.Number);
  std::vector<TExpected> fields(cFieldCount);
  fields[FieldIndex(&TVexmeta::Version)] = {ft_stringw, "1.1", 0};
  fields[FieldIndex(&TVexmeta::Application)] = {ft_stringw, "bench_shapes", 0};
  fields[FieldIndex(&TVexmeta::Width)] = {ft_stringw, "210mm", 0};
  fields[FieldIndex(&TVexmeta::Height)] = {ft_stringw, "297mm", 0};
  fields[FieldIndex(&TVexmeta::ViewBox)] = {ft_stringw, "0 0 210 297", 0};
  fields[FieldIndex(&TVexmeta::EmbeddedImage)] = {ft_boolean, "", AShape.Number == 1 ? 1 : 0};
  fields[FieldIndex(&TVexmeta::ID)] = {ft_stringw, "shape-" + n, 0};
  fields[FieldIndex(&TVexmeta::InkscapeVersion)] = {ft_stringw, "1.2 (bench)", 0};
  fields[FieldIndex(&TVexmeta::SodipodiVersion)] = {ft_fieldempty, "", 0};
  fields[FieldIndex(&TVexmeta::SodipodiDocbase)] = {ft_fieldempty, "", 0};
  fields[FieldIndex(&TVexmeta::SodipodiDocname)] = {ft_stringw, "shape-" + n + ".svg", 0};
  fields[FieldIndex(&TVexmeta::MetadataTitle)] = {ft_stringw, "Shape " + n, 0};
  fields[FieldIndex(&TVexmeta::MetadataDescription)] = {ft_stringw, AShape.What, 0};
  fields[FieldIndex(&TVexmeta::MetadataDate)] = {ft_stringw, "2024-05-06 07:08:09", 0};
  fields[FieldIndex(&TVexmeta::IntWidth)] = {ft_numeric_32, "", 794};    // 210 mm at 96 dpi
  fields[FieldIndex(&TVexmeta::IntHeight)] = {ft_numeric_32, "", 1123};  // 297 mm
  return fields;
}

}  // namespace

TEST(Shapes, ComeOutAtExactlyTheSizeAsked) {
  for (const TDrawingShape& shape : DrawingShapes()) {
    for (std::uint64_t target : {std::uint64_t{65536}, std::uint64_t{65539}}) {
      SCOPED_TRACE(testing::Message() << "shape " << shape.Number << ", " << target << " bytes");
      TStringSink sink;
      TShapeOutput output;
      ASSERT_TRUE(testing_support::WriteShape(shape, target, sink, output));
      EXPECT_EQ(sink.Text().size(), target);
      EXPECT_EQ(output.InflatedBytes, target);
      EXPECT_GT(output.Count, 1000u);
    }
  }
  // Less than the frame gets the frame alone, still a whole document.
  TStringSink sink;
  TShapeOutput output;
  ASSERT_TRUE(testing_support::WriteShape(*testing_support::FindDrawingShape(1), 10, sink, output));
  EXPECT_EQ(output.Count, 0u);
  EXPECT_EQ(output.InflatedBytes, sink.Text().size());
  EXPECT_EQ(sink.Text().substr(sink.Text().size() - 7), "</svg>\n");
}

TEST(Shapes, EveryShapeReportsItsFields) {
  TPluginHost host;
  ASSERT_TRUE(host.Loaded());
  TTempDir dir;
  for (const TDrawingShape& shape : DrawingShapes()) {
    SCOPED_TRACE(testing::Message() << "shape " << shape.Number << " (" << shape.Name << ")");
    const auto file = dir.Path() / testing_support::ShapeFileName(shape);
    TShapeOutput output;
    std::string error;
    ASSERT_TRUE(testing_support::WriteShapeFile(
        shape, testing_support::ShapeTargetBytes(shape, 1.0), file, output, error))
        << error;
    const std::vector<TExpected> fields = ExpectedFields(shape);
    for (std::int32_t field = 0; field < cFieldCount; ++field) {
      SCOPED_TRACE(testing::Message() << "field " << field);
      const TExpected& expected = fields[static_cast<std::size_t>(field)];
      const TPluginHost::TAnswer answer = host.Get(file, field);
      EXPECT_EQ(answer.Result, expected.Result);
      if (expected.Result == ft_stringw) {
        EXPECT_EQ(platform::Utf16ToUtf8(answer.Text), expected.Text);
      } else if (expected.Result != ft_fieldempty) {
        EXPECT_EQ(answer.Number, expected.Number);
      }
    }
  }
}
