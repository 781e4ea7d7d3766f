// The layout files: every one built into the tool reads, and a fault in one
// is found with its line.
#include <gtest/gtest.h>

#include "catalogue/cache_name.h"
#include "catalogue/catalogue.h"
#include "catalogue/layout_text.h"
#include "support/test_support.h"

#include <array>

namespace cachesift::testing {
namespace {

TEST(LayoutFiles, EveryBuiltInFileReadsWithoutAFault) {
  FormatCatalogue catalogue;
  EXPECT_EQ(fillCatalogue(catalogue, layoutFiles()), std::vector<LayoutFault>{});
}

TEST(LayoutFiles, AFileThatCannotBeReadOrContradictsItselfIsRefused) {
  const std::string k = "builds 10000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\n";
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"cache a.wdb ABCD\n", "line 1: the file must start with a \"builds\" line"},
      {"# only a comment\n", "line 2: no \"builds\" line"},
      {"builds 9000 to 9600\n", "line 1: a range of builds may not cross 9506, where the header grew"},
      {"builds 9506 to 9600\ncache a.wdb ABCD\nu32 Key\nu32 Size\n", ""},
      {"builds 5 x\n", "line 1: \"builds\" takes a build, \"B to C\" or \"other\""},
      {"builds 5 to 4294967296\n", "line 1: \"builds\" takes a build, \"B to C\" or \"other\""},
      {"builds 1\ncache ../a.wdb ABCD\n", "line 2: \"cache\" takes a plain file name ending in .wdb, without a folder, a drive, a control character or a name that Windows reserves"},
      {"builds 1\ncache A.WDB ABCD\nu32 Key\nu32 Size\n", ""},
      {"builds 1\ncache a.wdb ABC\n", "line 2: \"cache\" takes a file name, a signature of four characters and a build's +N"},
      {"builds other\ncache a.wdb ABCD +4\n", "line 2: \"cache\" takes a file name, a signature of four characters and a build's +N"},
      {k + "cache b.wdb ABCD\n", "line 5: a second layout of ABCD"},
      {"builds 1\nu32 Key\n", "line 2: a field before the first \"cache\" line"},
      {"builds 1\ncache a.wdb ABCD\nu32 Key\n", "line 4: a layout needs its key and entry size"},
      {"builds 1\ncache a.wdb ABCD\nu16 Key\n", "line 3: the key is a u32, or in a build's layout \"hex N\" for N from 4 to 64"},
      {"builds 1\ncache a.wdb ABCD\nhex x Key\n", "line 3: the key is a u32, or in a build's layout \"hex N\" for N from 4 to 64"},
      {"builds other\ncache a.wdb ABCD\nhex 8 Key\n", "line 3: the key is a u32, or in a build's layout \"hex N\" for N from 4 to 64"},
      {"builds 1\ncache a.wdb ABCD\nu32 Key\nu8 Size\n", "line 4: the second field is the entry size, a u32"},
      {k + "float x\n", "line 5: unknown field kind \"float\""},
      {k + "u8 A\"B\n", "line 5: a field's line holds a control character, a comma or a double quote"},
      {k + "u8 A\x1A\n", "line 5: a field's line holds a control character, a comma or a double quote"},
      {k + "u8\tA\r\n# \"a, b\"\n", ""},
      {k + "bits 33 x\n", "line 5: \"bits\" takes a width from 1 to 32"},
      {k + "hex 0 x\n", "line 5: \"hex\" takes a byte count, or \"rest\" as a build's last field"},
      {k + "textz Name\n", "line 5: \"textz\" takes the field that gives its length"},
      {k + "text $n Name\n", "line 5: $n is no earlier field without a column in the same group"},
      {k + "u8 $n Shown\ntext $n Name\n", "line 6: $n is no earlier field without a column in the same group"},
      {k + "u8 $n\nrepeat 2\ntext $n A #\nend\n", "line 7: $n is no earlier field without a column in the same group"},
      {k + "u8 $n\ntext $n A\ntextz $n B\n", "line 7: $n already counts or measures another field"},
      {k + "u8 $n\nu8 $n\n", "line 6: a second field $n"},
      {k + "u8 $n\nu32 x\n", "line 7: $n counts or measures no later field"},
      {k + "f32 $x\n", "line 5: an id is $ and letters, digits or _, on an integer field"},
      {k + "u8 $a-b\n", "line 5: an id is $ and letters, digits or _, on an integer field"},
      {k + "u8 $Az_9 A\nif $Az_9 == 1\nend\n", ""},
      {k + "u8 $n\nrepeat $n max 1\nend\n", "line 7: a counted repeat needs a column, to show its elements"},
      {k + "bits 2 $n\nrepeat $n max 4\nu32 A #\nend\n", "line 6: max 4 is more than $n can count"},
      {k + "bits 2 $n\nrepeat $n max 3\nu32 A #\nend\n", ""},
      {k + "u8 $n\nrepeat $n\nend\n", "line 6: \"repeat $count\" takes \"max M\", the most elements that have columns, and \"list\" for a cell per field"},
      {k + "u8 $n\nrepeat $n max 2 lists\nu8 A #\nend\n", "line 6: \"repeat $count\" takes \"max M\", the most elements that have columns, and \"list\" for a cell per field"},
      {k + "repeat 2 list\nu8 A\nend\n", "line 5: \"repeat\" takes a number of times or \"$count max M\""},
      {k + "u8 $n\nrepeat $n max 2 list\ntext A\nend\n", "line 7: a list holds numbers with a column each, and nothing else"},
      {k + "u8 $n\nrepeat $n max 2 list\nu8 $m\nend\n", "line 7: a list holds numbers with a column each, and nothing else"},
      {k + "u8 $m\nrepeat $m max 2\nu8 $n\nrepeat $n max 2 list\nu8 A\nend\nend\n", "line 9: a column of a counted repeat needs its element's number, #, in its name"},
      {k + "repeat 2\nu8 $n\nrepeat $n max 4\nu32 A #\nend\nend\n", "line 8: a column of a counted repeat needs its element's number, #, in its name"},
      {k + "repeat two\n", "line 5: \"repeat\" takes a number of times or \"$count max M\""},
      {k + "repeat 1\nrepeat 683\nu8 A\nu8 B\nu8 C\nend\nend\n", "line 10: more than 2048 columns"},
      {k + "repeat 2047\nu16 A\nend\n", "line 8: more than 2048 columns"},
      {k + "repeat 2046\nu16 A\nend\n", ""},
      {k + "repeat 2\nu32 A\n", "line 7: a \"repeat\" or \"if\" is not closed by \"end\""},
      {k + "end\n", "line 5: \"end\" without \"repeat\" or \"if\""},
      {k + "u8 $q Q\nif $q = 1\nend\n", "line 6: \"if\" takes an earlier field's id, == or !=, and a number"},
      {k + "u8 $p P\nif $p != 1\nu8 $q Q\nend\nif $q == 1\nend\n", "line 9: \"if\" takes an earlier field's id, == or !=, and a number"},
      {k + "i8 $x X\nif $x == 255\nend\n", "line 6: 255 is more than $x can hold"},
      {k + "align x\n", "line 5: unknown field kind \"align\""},
      {k + "u8 $nZ\nrepeat $nZ max 1\nu8 A #\nend\nalign\n", ""},
      {"builds 1\ncache a.wdb ABCD +65535\nu32 Key\nu32 Size\n", ""},
      {k + "hex rest A\nu32 B\n", "line 6: nothing may follow \"hex rest\""},
      {"builds other\ncache a.wdb ABCD\nu32 Key\nu32 Size\nhex rest A\n", "line 5: \"hex\" takes a byte count, or \"rest\" as a build's last field"},
      {"builds other\ncache a.wdb ABCD\nu32 Key\nu32 Size\nu16 A\n", "line 6: the built-in layouts take u8, u32, i32, f32 and text only"}};
  // clang-format on
  for (const auto& [text, error] : cases) {
    const LayoutFile file = readLayoutFile(text);
    EXPECT_EQ(file.error.empty() ? "" : "line " + std::to_string(file.line) + ": " + file.error,
              error)
        << text;
    EXPECT_EQ(file.layouts.empty(), !error.empty()) << text;
  }
}

// A layout's cache name decides where a cache made from a CSV goes: only a
// plain file name, under POSIX's rules and Windows', is taken.
TEST(LayoutFiles, ACacheNameIsAPlainFileNameEndingInWdb) {
  for (const std::string_view name :
       {"creaturecache.wdb", "X.WDB", "a.b.WdB", ".hidden.wdb", "Ωmega 文件.wdb", "COM10.wdb",
        "conx.wdb", "nul_.wdb", "LPT.wdb", "com\xC2\xB9x.wdb"}) {
    EXPECT_TRUE(isPlainCacheName(name)) << name;
  }
  for (const std::string_view name :
       {"",           ".wdb",     "x.csv",           "x.wdb.",       "x.wdb ",      "x.wdbx",
        ".",          "..",       "...wdb",          ". .wdb",       "../evil.wdb", "..\\evil.wdb",
        "/tmp/x.wdb", "d/x.wdb",  "C:x.wdb",         "x:stream.wdb", "a\tb.wdb",    "a\nb.wdb",
        "a\x7F.wdb",  "a*.wdb",   "a?.wdb",          "a<b.wdb",      "a>b.wdb",     "a|b.wdb",
        "a\"b.wdb",   "CON.wdb",  "nul.wdb",         "Aux.x.wdb",    "prn .wdb",    "COM1.wdb",
        "com0.wdb",   "LPT9.wdb", "lpt\xC2\xB3.wdb", "conin$.wdb",   "CONOUT$.wdb"}) {
    EXPECT_FALSE(isPlainCacheName(name)) << name;
  }
  for (const FormatDefinition& layout : layouts()) {
    EXPECT_TRUE(isPlainCacheName(layout.fileName)) << layout.fileName;
  }
}

// A user's layout file: for the builds it names, its layouts come before the
// built-in ones; a faulty file, or a second layout of a build, is left out
// with a line that names the file.
TEST(LayoutFiles, AUsersLayoutsComeFirstForTheirBuilds) {
  const std::string f = "cache a.wdb ABCD\nu32 Key\nu32 Size\n";
  const std::string one = "builds 20000 to 29999\n" + f, u = "builds 25000\n" + f + "u8 X\n",
                    v = "builds 25000 to 25001\n" + f;
  const LayoutFileText builtIn[] = {{"one.layout", one}};
  const LayoutFileText user[] = {{"layouts/bad.layout", "builds 1\ncache a.wdb\n"},
                                 {"layouts/u.layout", u},
                                 {"layouts/v.layout", v}};
  FormatCatalogue catalogue;
  const std::vector<LayoutFault> faults = fillCatalogue(catalogue, builtIn, user);
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].message() + faults[1].message(),
            "Layout file layouts/bad.layout, line 2: \"cache\" takes a file name, a signature of "
            "four characters and a build's +N; the file is left out.\n"
            "Layout file layouts/v.layout: a second layout of a.wdb for build 25000; it is left "
            "out.\n");
  const std::array<char, 4> key{'A', 'B', 'C', 'D'};
  EXPECT_EQ(catalogue.findBySignature(key, 25000).layout->columns.size(), 3u);
  EXPECT_EQ(catalogue.findBySignature(key, 24999).layout->columns.size(), 2u);
  EXPECT_TRUE(catalogue.candidates(key, 25000)[0]->user);
  EXPECT_FALSE(catalogue.candidates(key, 25001)[0]->user);
  EXPECT_FALSE(catalogue.candidates(key, 24000)[0]->user);
}

// Two files may not both claim a cache of one build.
TEST(LayoutFiles, TwoLayoutsOfOneCacheAndBuildAreRefused) {
  const LayoutFileText files[] = {
      {"one.layout", "builds 5 to 9\ncache a.wdb ABCD\nu32 Key\nu32 Size\n"},
      {"two.layout", "builds 9\ncache a.wdb ABCD\nu32 Key\nu32 Size\n"}};
  FormatCatalogue catalogue;
  const std::vector<LayoutFault> two{{"two.layout", 0, "a second layout of a.wdb for build 9"}};
  EXPECT_EQ(fillCatalogue(catalogue, files), two);
  EXPECT_EQ(LayoutFault({"one.layout", 3, "a fault"}).message(), "one.layout, line 3: a fault\n");
}

}  // namespace
}  // namespace cachesift::testing
