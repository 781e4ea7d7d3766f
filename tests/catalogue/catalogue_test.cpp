// The nine built-in layouts are pinned whole by the conversion tests; these
// are the rules no built-in layout reaches.
#include <gtest/gtest.h>

#include "catalogue/format_definition.h"
#include "io/console.h"

namespace cachesift {
namespace {

TEST(FindBySignature, DuplicateSignaturesPrintTwiceAndGiveTheLater) {
  FormatCatalogue catalogue;
  FormatDefinition d;
  d.startLayout("first.wdb", "ABCD");
  catalogue.append(d);
  d.startLayout("second.wdb", "ABCD");
  catalogue.append(d);
  CapturingConsole console;
  EXPECT_EQ(catalogue.findBySignature({'A', 'B', 'C', 'D'}, console), &catalogue.definitions()[1]);
  EXPECT_EQ(catalogue.findBySignature({'A', 'B', 'C', 'd'}, console), nullptr);
  EXPECT_EQ(console.text(), "Signature matches first.wdb\nSignature matches second.wdb\n");
}

TEST(FormatDefinition, AddFieldStopsAt256) {
  FormatDefinition d;
  for (int i = 1; i < 300; ++i) {
    d.addField(FT_FLOAT, "f" + std::to_string(i));
  }
  EXPECT_EQ(d.fieldCount, 256u);
  EXPECT_EQ(d.nextField, 256u);
  EXPECT_EQ(d.fieldNames[255], "f256");
  EXPECT_EQ(d.fieldTypes[255], FT_FLOAT);
}

}  // namespace
}  // namespace cachesift
