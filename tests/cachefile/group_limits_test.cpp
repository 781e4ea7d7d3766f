// How many records and group elements a build's own layouts take: every
// record, lists of any length, and column sets up to the game's own mosts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "cachefile/coding.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kEnd(8, '\0');

const FormatDefinition& layoutOf(std::string_view fileName, std::uint32_t build) {
  return *std::find_if(layouts().begin(), layouts().end(), [&](const FormatDefinition& layout) {
    return layout.fileName == fileName && layout.clientBuild == build;
  });
}

// A CSV of `layout`'s build with one record row: the key, and the cells named.
std::string csvOf(const FormatDefinition& layout, std::uint32_t key,
                  const std::map<std::string, std::string>& cells) {
  std::string csv = std::string(layout.signature.data(), 4) + "," +
                    std::to_string(layout.clientBuild) + ",enUS,0,0,0,\nnames,\n" +
                    std::to_string(key) + ",";
  for (std::size_t k = 1; k < layout.columns.size(); ++k) {
    const auto cell = cells.find(layout.columns[k].name);
    csv += (cell != cells.end() ? cell->second : "") + ",";
  }
  return csv + "\n";
}

// The CSV comes back as the cache it gives.
void expectRoundTrip(const std::string& csv) {
  const Converted cache = csvToCache(csv);
  ASSERT_FALSE(cache.file.empty()) << cache.console;
  const Converted back = cacheToCsv(cache.file);
  EXPECT_EQ(csvToCache(back.file).file, cache.file) << back.console;
}

TEST(GroupLimits, ABuildsLayoutReadsEveryRecordPastTheBuiltInLimit) {
  std::string cache = header("XTPW", 27404, "enUS", 0, 0) + word(0);
  for (std::uint32_t id = 1; id <= 70000; ++id) {
    cache += word(id) + word(15) + word(id) + std::string(11, '\0');
  }
  cache += kEnd;
  const Converted csv = cacheToCsv(cache);
  EXPECT_EQ(csv.console,
            "Signature matches pagetextcache.wdb\nLayout of client builds 27404 to 53262.\n"
            "70000 records loaded.\n");
  EXPECT_TRUE(csv.file.ends_with("\r\n70000,15,70000,0,0,0,\"\",\r\n"));
  EXPECT_EQ(csvToCache(csv.file).file, cache);
}

// A list costs no column: a thousand creature displays come back.
TEST(GroupLimits, AListFarLongerThanAnyRecordSeen) {
  std::string ids, scales;
  for (int i = 1; i <= 1000; ++i) {
    ids += std::to_string(i) + (i < 1000 ? " " : "");
    scales += std::string("1.5") + (i < 1000 ? " " : "");
  }
  expectRoundTrip(csvOf(
      layoutOf("creaturecache.wdb", 53262), 7,
      {{"Display Info IDs", ids}, {"Display Scales", scales}, {"Display Probabilities", scales}}));
}

// A quest of build 53262 with 24 objectives, the quest log's most, reads;
// with one more it keeps its bytes, and the console says why.
TEST(GroupLimits, ObjectivesUpToTheQuestLogsMost) {
  std::map<std::string, std::string> cells;
  for (int i = 1; i <= 24; ++i) {
    cells["Objective " + std::to_string(i) + " ID"] = "1";
  }
  const std::string csv = csvOf(layoutOf("questcache.wdb", 53262), 9, cells);
  expectRoundTrip(csv);
  // The objectives end the record when every text is empty: one more, its
  // ID 1 and the rest zeros, and the count 25.
  std::string cache = csvToCache(csv).file;
  const std::size_t fields = 24 + 8, count = cache.find(word(24), fields);
  cache.replace(count, 4, word(25));
  cache.replace(
      fields - 4, 4,
      word(decodeFixed32(reinterpret_cast<const unsigned char*>(&cache[fields - 4])) + 31));
  cache.insert(cache.size() - 8, word(1) + std::string(27, '\0'));
  const Converted csv25 = cacheToCsv(cache);
  EXPECT_EQ(csv25.console,
            "Signature matches questcache.wdb\nLayout of client build 53262.\n1 records loaded.\n"
            "WARNING: 1 records do not fit the layout;\n"
            "         they are written as bytes and come back unchanged.\n"
            "         The first, key 9, has 25 elements in the group that $objectives counts at "
            "byte 472, more than its most (24).\n");
  EXPECT_EQ(csvToCache(csv25.file).file, cache);
}

// Build 28768's quests fill the portrait texts, which tell the split of the
// text lengths of the layout of 29139: 11 bits for a text, 9 for a name.
TEST(GroupLimits, PortraitTextsOfTheQuestLayoutOf29139) {
  const FormatDefinition& layout = layoutOf("questcache.wdb", 29139);
  expectRoundTrip(csvOf(layout, 31889,
                        {{"Portrait Giver Text", std::string(2047, 'g')},
                         {"Portrait Giver Name", std::string(511, 'n')},
                         {"Portrait Turn In Text", std::string(2047, 't')},
                         {"Portrait Turn In Name", std::string(511, 'm')}}));
  EXPECT_EQ(csvToCache(csvOf(layout, 5, {{"Portrait Giver Name", std::string(512, 'n')}})).console,
            "Signature matches questcache.wdb\nLayout of client builds 29139 to 35283.\n"
            "3 records loaded.\nThe text on line 3, column 360 is longer than its length field "
            "can say (511 bytes at most).\n");
}

// Rows stay within what a spreadsheet shows well.
TEST(GroupLimits, RowsOfTheBuildsLayoutsStayShort) {
  for (const FormatDefinition& layout : layouts()) {
    const bool quest = layout.fileName == "questcache.wdb";
    if (layout.clientBuild >= 27404 && (quest || layout.fileName == "creaturecache.wdb")) {
      EXPECT_LE(layout.columns.size(), quest ? 400u : 60u) << layout.clientBuild;
    }
  }
}

// A CSV written when a counted group had fewer elements with columns comes
// back as it did: its cells are read under their names. Another names row
// is read by position, as always.
TEST(GroupLimits, ACsvOfAnEarlierMostComesBack) {
  const std::string layout =
      "builds 30000\ncache a.wdb ABCD\nu32 Key\nu32 Size\nu8 $n\nu8 $m\nrepeat $n max MOST\n"
      "u8 A #\nu8 $t\ntext $t T #\nend\nu8 B\nrepeat $m max MOST\nu8 C #\nend\n";
  const auto catalogue = [&](const char* most) {
    return madeCatalogue(std::regex_replace(layout, std::regex("MOST"), most));
  };
  const FormatCatalogue before = catalogue("1"), after = catalogue("3");
  const std::string cache = header("ABCD", 30000, "enUS", 0, 0) + word(0) + word(5) + word(8) +
                            bytes({1, 1, 4, 2, 'h', 'i', 9, 6}) + word(6) + word(5) +
                            bytes({1, 0, 8, 0, 0}) + kEnd;
  const Converted old = cacheToCsv(cache, &before);
  EXPECT_EQ(old.file,
            "ABCD,30000,enUS,0,0,0,\r\nKey,Size,A 1,T 1,B,C 1,\r\n5,8,4,\"hi\",9,6,\r\n"
            "6,5,8,\"\",0,,\r\n");
  EXPECT_EQ(csvToCache(old.file, &after),
            (Converted{"Signature matches a.wdb\nLayout of client build 30000.\n"
                       "The CSV has the columns of an earlier version of this layout, with fewer "
                       "elements in its groups; its cells are read under their names.\n"
                       "4 records loaded.\n",
                       cache}));
  // An empty line first: each complete row still gets the columns at its end.
  std::string spaced = old.file;
  spaced.insert(spaced.find("5,8,"), "\r\n");
  EXPECT_EQ(csvToCache(spaced, &after).file, cache);
  std::string renamed = old.file;
  renamed.replace(renamed.find("A 1"), 3, "A 9");
  EXPECT_EQ(csvToCache(renamed, &after).console,
            "Signature matches a.wdb\nLayout of client build 30000.\n4 records loaded.\n"
            "WARNING: 2 record rows do not have the layout's 12 cells;\n"
            "         missing cells are written as 0 or empty text, extra cells are dropped.\n");
}

}  // namespace
}  // namespace cachesift::testing
