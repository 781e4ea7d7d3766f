// Layouts derived for a new patch: made caches of each kind of change, read
// by a catalogue that holds only the layout before it.
#include <gtest/gtest.h>

#include <cstring>

#include "samples/sample_maker.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

// The layout before the patch. Its lines, from 0: the key and entry size
// (0, 1), then the fields from 2 on.
constexpr std::string_view kBefore = R"(builds 40000 to 40999
cache creaturecache.wdb BOMW
u32 Key
u32 Entry Size
bits 5 $n
bits 3 Small
textz0 $n Name
f32 Scale
repeat 3
  u32 Item #
end
u16 Wide
u32 $c
repeat $c list
  u32 Parts
end
text Note
)";

// The layout after the patch, for build 50000: kBefore with its lines from
// `from` replaced by `with`, up to line `to`.
std::string after(std::size_t from, std::size_t to, std::string_view with) {
  std::vector<std::string> lines;
  for (std::string_view text = kBefore; !text.empty();) {
    lines.emplace_back(text.substr(0, text.find('\n')));
    text.remove_prefix(lines.back().size() + 1);
  }
  std::string out = "builds 50000\n";
  for (std::size_t k = 1; k < lines.size(); ++k) {
    out += k == from + 2 ? std::string(with) : "";
    out += k >= from + 2 && k < to + 2 ? "" : lines[k] + "\n";
  }
  return out;
}

// A catalogue of the built-in layouts and the layout files of `texts`.
FormatCatalogue catalogueOf(std::initializer_list<std::string_view> texts) {
  std::vector<LayoutFileText> files;
  for (const LayoutFileText& file : layoutFiles()) {
    if (file.name.ends_with("built-in.layout")) {
      files.push_back(file);
    }
  }
  for (const std::string_view text : texts) {
    files.push_back({"made.layout", text});
  }
  FormatCatalogue catalogue;
  EXPECT_TRUE(fillCatalogue(catalogue, files).empty());
  return catalogue;
}

// `text` with its first `from` made `to`.
std::string edit(std::string text, std::string_view from, std::string_view to) {
  return text.replace(text.find(from), from.size(), to);
}

struct Derived {
  std::string console;
  std::string csv;
  std::string back;
};
Derived derive(const std::string& cache, const FormatCatalogue& before) {
  const Converted csv = cacheToCsv(cache, &before);
  return {csv.console, csv.file, csvToCache(csv.file, &before).file};
}

const std::string kFrom =
    "Signature matches creaturecache.wdb\nNo layout fits every record; a layout is derived from "
    "the layout of client builds 40000 to 40999, with ";

TEST(DerivedLayouts, EachKindOfChangeIsFoundAndComesBack) {
  const FormatCatalogue before = catalogueOf({kBefore});
  const struct {
    std::string layout, changes, lines;
  } cases[] = {
      // A bit after the length's bits reads alike anywhere before the text: the later place.
      {after(3, 3, "bits 1 New\n"), "; +4 bits 1",
       "1 change:\n  Added \"bits 1 Derived 1\" after \"bits 3 Small\", before \"textz0 $n "
       "Name\".\n"},
      // A length one bit narrower: no field added or dropped reads the texts.
      {after(2, 3, "bits 4 $n\n"), "; 2 bits 4",
       "1 change:\n  Changed \"bits 5 $n\" to \"bits 4 $n\", after \"u32 Entry Size\", before "
       "\"bits 3 Small\".\n"},
      {after(5, 5, "u32 New\n"), "; +5 u32",
       "1 change:\n  Added \"u32 Derived 1\" after \"textz0 $n Name\", before \"f32 Scale\".\n"},
      // A word whose values are likelier floats is a float.
      {after(10, 10, "f32 New\n"), "; +10 f32",
       "1 change:\n  Added \"f32 Derived 1\" after \"u16 Wide\", before \"u32 $c\".\n"},
      {after(9, 9, "u8 New\n"), "; +10 u8",
       "1 change:\n  Added \"u8 Derived 1\" after \"u16 Wide\", before \"u32 $c\".\n"},
      {after(5, 6, ""), "; -5",
       "1 change:\n  Dropped \"f32 Scale\", after \"textz0 $n Name\", before \"repeat 3\".\n"},
      {after(9, 10, "u32 Wide\n"), "; 9 u32",
       "1 change:\n  Changed \"u16 Wide\" to \"u32 Wide\", after \"end\", before \"u32 $c\".\n"},
      {after(6, 7, "repeat 4\n"), "; 6 x4",
       "1 change:\n  Changed \"repeat 3\" to \"repeat 4\", after \"f32 Scale\", before \"u32 "
       "Item #\".\n"},
      {after(10, 10, "u32 $d\n") + "repeat $d list\n  u32 More\nend\n", "; +10 list 15",
       "1 change:\n  Added the count \"u32 $derived1\" after \"u16 Wide\", before \"u32 $c\"; and "
       "its list \"u32 Derived 1\" after \"text Note\", at the record's end.\n"},
      // Wide made a u32 reads as a u16 added after it.
      {edit(edit(after(3, 3, "bits 1 New\n"), "u16 Wide", "u32 New 2"), "f32 Scale\n", ""),
       "; +4 bits 1; +10 u16; -5",
       "3 changes:\n  Added \"bits 1 Derived 1\" after \"bits 3 Small\", before \"textz0 $n "
       "Name\".\n"
       "  Added \"u16 Derived 2\" after \"u16 Wide\", before \"u32 $c\".\n"
       "  Dropped \"f32 Scale\", after \"textz0 $n Name\", before \"repeat 3\".\n"},
  };
  for (const auto& [layout, changes, lines] : cases) {
    SCOPED_TRACE(layout);
    const FormatCatalogue patched = madeCatalogue(layout);
    const std::string cache = samples::makeCache(patched.definitions().front(), 200, 7);
    const Derived derived = derive(cache, before);
    EXPECT_EQ(derived.console, kFrom + lines + "200 records loaded.\n");
    EXPECT_NE(derived.csv.find(",257,layout 40000" + changes + ",\r\n"), std::string::npos)
        << derived.csv.substr(0, 200);
    EXPECT_EQ(derived.back, cache);
  }
}

// A derived layout file reads as the layout it says, and the CSV's first row
// names it as changesText() writes them: both give the same layout back.
TEST(DerivedLayouts, TheWrittenFileAndTheMarkGiveTheSameLayout) {
  const FormatCatalogue before = catalogueOf({kBefore});
  const std::string cache =
      samples::makeCache(madeCatalogue(after(5, 5, "u32 New\n")).definitions().front(), 50, 3);
  const LayoutChoice choice = loadCacheBytes(cache, before).choice;
  ASSERT_EQ(choice.by, ChosenBy::kDerived);
  const FormatCatalogue kept = madeCatalogue(derivedLayoutFile(*choice.derived));
  const std::string csv = cacheToCsv(cache, &kept).file;
  const std::string marked = cacheToCsv(cache, &before).file;
  EXPECT_EQ(csv.substr(csv.find('\n')), marked.substr(marked.find('\n')));
  EXPECT_EQ(readChanges(changesText(choice.derived->changes)), choice.derived->changes);
  for (std::string_view bad : {"; +", "; 3", "; +3 list 2", "; -x", "; +3 u32 $a", "+3 u32",
                               "; +2 u8; +2 u8; +2 u8; +2 u8"}) {
    EXPECT_EQ(readChanges(bad), std::nullopt) << bad;
  }
}

// Beyond three changes the records stay bytes, with the line that says
// where they stop fitting; a build's own layout is never changed.
TEST(DerivedLayouts, BeyondReachOrOfTheBuildsOwnLayoutRecordsStayBytes) {
  const FormatCatalogue before = catalogueOf({kBefore});
  const std::string far = after(5, 10, "u64 A\nu8 B\ntext C\nu16 D\nf32 E\n");
  const std::string cache = samples::makeCache(madeCatalogue(far).definitions().front(), 20, 5);
  const Derived derived = derive(cache, before);
  EXPECT_TRUE(derived.console.starts_with(
      "Signature matches creaturecache.wdb\nNo layout of client build 50000; records are written "
      "as bytes.\n20 records loaded.\n         By the layout of client build 40000, the first"))
      << derived.console;
  EXPECT_EQ(derived.back, cache);
  std::string own = edit(after(5, 5, "u32 New\n"), "50000", "40500");
  const std::string ownCache = samples::makeCache(madeCatalogue(own).definitions().front(), 20, 5);
  EXPECT_TRUE(derive(ownCache, before)
                  .console.starts_with("Signature matches creaturecache.wdb\nLayout of client "
                                       "builds 40000 to 40999.\n20 records loaded.\n"));
}

// A derived layout must read 99 % of the records: of 100, two with a byte
// more leave the word added to 98, and the layout before it stays, reading
// the one record that it happens to fit.
TEST(DerivedLayouts, ALayoutForFewerThanNinetyNinePercentIsNotDerived) {
  const std::string made =
      samples::makeCache(madeCatalogue(after(5, 5, "u32 New\n")).definitions().front(), 100, 4);
  std::string cache = made.substr(0, 24);
  std::size_t at = 24;
  for (int record = 0; made.compare(at, 8, std::string(8, '\0')) != 0; ++record) {
    std::uint32_t size;
    std::memcpy(&size, made.data() + at + 4, 4);
    const std::string longer = record < 2 ? std::string(1, '\0') : "";
    cache += made.substr(at, 4) + word(size + static_cast<std::uint32_t>(longer.size())) +
             made.substr(at + 8, size) + longer;
    at += 8 + size;
  }
  cache += made.substr(at);
  const Derived derived = derive(cache, catalogueOf({kBefore}));
  EXPECT_TRUE(derived.console.starts_with(
      "Signature matches creaturecache.wdb\nLayout of client builds 40000 to 40999, the one that "
      "fits these records best.\n100 records loaded.\nWARNING: 99 records do not fit"))
      << derived.console;
  EXPECT_EQ(derived.back, cache);
}

// Of layouts that derive, that of the fewest changes wins, then the nearer.
TEST(DerivedLayouts, FewestChangesThenTheNearestLayout) {
  const std::string cache =
      samples::makeCache(madeCatalogue(after(5, 5, "u32 New\n")).definitions().front(), 30, 9);
  const std::string one = edit(std::string(kBefore), "40000 to 40999", "30000");
  const std::string two = edit(edit(after(5, 6, ""), "50000", "45000"), "u16 Wide", "u8 Wide");
  const std::string alike = edit(std::string(kBefore), "40000 to 40999", "45000");
  for (const auto& [near, far, line] :
       {std::tuple{two, one, "layout of client build 30000, with 1 change"},
        std::tuple{alike, one, "layout of client build 45000, with 1 change"}}) {
    const FormatCatalogue catalogue = catalogueOf({near, far});
    const Derived derived = derive(cache, catalogue);
    EXPECT_NE(derived.console.find(line), std::string::npos) << derived.console;
    EXPECT_EQ(derived.back, cache);
  }
}

}  // namespace
}  // namespace cachesift::testing
