// The layout files: every one built in reads, and the form's faults are found.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/layout_text.h"

namespace cachesift::testing {
namespace {

TEST(LayoutFiles, EveryBuiltInFileReadsWithoutAFault) {
  FormatCatalogue catalogue;
  EXPECT_EQ(fillCatalogue(catalogue, layoutFiles()), "");
  EXPECT_EQ(layoutFiles().size(), 6u);
}

}  // namespace
}  // namespace cachesift::testing
