#include "cachefile/cache_writer.h"

#include <gtest/gtest.h>

#include "app/byte_sink.h"
#include "catalogue/catalogue.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kEndMarker(8, '\0');

TEST(CacheWriter, WorkedExampleByteForByte) {
  std::string cache;
  EXPECT_EQ(csvToCache(kWorkedCsv, &cache),
            "Signature matches itemnamecache.wdb\n3 records loaded.\n");
  EXPECT_EQ(cache, kWorkedCache);
  EXPECT_EQ(cache.size(), 50u);
}

TEST(CacheWriter, HeaderAndNamesOnlyGiveHeaderAndEndMarker) {
  std::string cache;
  csvToCache("XTIW,1,enUS,4,2,\r\nEntryID,Entry Size,Text,\r\n", &cache);
  EXPECT_EQ(cache, header("XTIW", 1, "enUS", 4, 2) + kEndMarker);
}

// One creature record row in CSV and the bytes it must give.
TEST(CacheWriter, CellConversionsByFieldType) {
  struct Case {
    const char* name;
    std::string row;
    std::string record;
  };
  const std::string texts = std::string("A\"b\"") + '\0' + '\0' + "x,y" + '\0' + '\0' + '\0' + '\0';
  const std::string tenWords = word(1) + word(2) + word(3) + word(4) + word(5) + word(6) + word(7) +
                               word(8) + word(9) + word(10);
  const Case cases[] = {
      {"plain",
       "4294967295,-1,\"A\"b\"\",\"\",\"x,y\",\"\",\"\",\"\",1,2,3,4,5,6,7,8,9,10,0.1,1.5d2,300,",
       word(0xFFFFFFFF) + word(0xFFFFFFFF) + texts + tenWords + bytes({0xCD, 0xCC, 0xCC, 0x3D}) +
           bytes({0, 0, 0x16, 0x43}) + bytes({0x2C})},
      {"numbers as text", " 7,12abc,,,,,,,abc,,,,,,,,,,-0,x,-1,",
       word(7) + word(12) + std::string(6, '\0') + std::string(40, '\0') + bytes({0, 0, 0, 0x80}) +
           word(0) + bytes({0xFF})},
      {"missing cells", "5,",
       word(5) + word(0) + std::string(6, '\0') + std::string(40, '\0') + word(0) + word(0) +
           bytes({0})},
      {"cells beyond the layout", "5,6,,,,,,,,,,,,,,,,,,,,extra,more,",
       word(5) + word(6) + std::string(6, '\0') + std::string(40, '\0') + word(0) + word(0) +
           bytes({0})},
      {"an empty row writes nothing", "", ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    std::string cache;
    csvToCache("BOMW,0,enUS,76,0,\nnames,\n" + test.row + "\n", &cache);
    EXPECT_EQ(cache, header("BOMW", 0, "enUS", 76, 0) + test.record + kEndMarker);
  }
}

TEST(CacheWriter, EntrySizeIsWrittenAsTheCellHoldsIt) {
  std::string cache;
  csvToCache("XTIW,0,,4,0,\nnames,\n9,4,\"a much longer text than before\",\n", &cache);
  EXPECT_EQ(cache, header("XTIW", 0, bytes({0, 0, 0, 0}), 4, 0) + word(9) + word(4) +
                       "a much longer text than before" + '\0' + kEndMarker);
}

TEST(CacheWriter, BinaryDigitFieldsReadBack) {
  FormatDefinition d;
  d.startLayout("bits.wdb", "BITS");
  for (int type : std::initializer_list<int>{FT_BITS16, FT_BITS32, FT_BITS16 | FT_FLOAT}) {
    d.addField(static_cast<std::uint8_t>(type), "");
  }
  Conversion c;
  c.document.definition = &d;
  c.document.rows = {{}, {}, {"0010001101000101", "11111111111111110000000000000000", "2.5"}};
  StringSink sink;
  ASSERT_TRUE(c.document.formatCache(sink));
  EXPECT_EQ(sink.bytes(), std::string(20, '\0') + word(0x2345) + word(0xFFFF0000) +
                              word(0x40200000) + kEndMarker);
}

TEST(CacheOutputPath, GoesIntoTheCsvFilesDirectory) {
  const std::pair<const char*, const char*> cases[] = {
      {"itemcache.wdb.csv", "creaturecache.wdb"},
      {"some/dir/x.csv", "some/dir/creaturecache.wdb"},
      {"C:\\data\\x.csv", "C:\\data\\creaturecache.wdb"},
      {"a\\b/c.csv", "a\\b/creaturecache.wdb"},
      {"a/b\\c.csv", "a/b\\creaturecache.wdb"},
      {"/x.csv", "/creaturecache.wdb"},
  };
  for (const auto& [csvPath, output] : cases) {
    EXPECT_EQ(cacheOutputPath(csvPath, "creaturecache.wdb"), output);
  }
}

}  // namespace
}  // namespace cachesift::testing
