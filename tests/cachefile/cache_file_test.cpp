#include <gtest/gtest.h>

#include "cachefile/cache_writer.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kNameMatch = "Signature matches itemnamecache.wdb\n";
const std::string kEndMarker(8, '\0');

// A "BDNW" record (id, entry size, name, slot) as the file holds it.
std::string nameRecord(std::uint32_t id, std::uint32_t entrySize, std::string_view name) {
  return word(id) + word(entrySize) + std::string(name) + '\0' + word(13);
}

TEST(CacheLoader, RefusesOrWarnsByTheHeader) {
  const std::string noLayout = "Header does not match any known WDB file.\n";
  const std::string tooShort = kNameMatch + "The file is too short to hold a WDB header.\n";
  for (const auto& [file, console] : std::initializer_list<std::pair<std::string, std::string>>{
           {"", noLayout},
           {"BDN", noLayout},
           {header("bdnw", 0, "", 8, 0), noLayout},
           {header("WNDB", 0, "", 8, 0), noLayout},
           {"BDNW", tooShort},
           {header("BDNW", 7, "abcd", 8, 1).substr(0, 19), tooShort}}) {
    EXPECT_EQ(cacheToCsv(file), (Converted{console, ""})) << file.size();
  }
  // The creature layout has 21 fields: recordBytes / 4 + 2 == 21 for 76 to 79,
  // and from 1016 on recordBytes says nothing about them.
  // clang-format off
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "-19"}, {75, "-1"}, {76, ""}, {79, ""}, {80, "1"}, {1015, "234"}, {1016, ""}, {0xFFFFFFFF, ""}};
  // clang-format on
  for (const auto& [recordBytes, newFields] : cases) {
    const std::string warning =
        "WARNING: Number of fields does not match definition,\n"
        "         Temporarily adjusting fieldsize, this may be an older/newer version.\n\n"
        "NEW FIELD INFO:\n\tNew fields: " +
        std::string(newFields) + "\n\n";
    EXPECT_EQ(cacheToCsv(header("BOMW", 0, "", recordBytes, 0)).console,
              "Signature matches creaturecache.wdb\n" + (*newFields != 0 ? warning : "") +
                  "0 records loaded.\n")
        << recordBytes;
  }
}

TEST(RecordDecoder, EndRules) {
  const std::string one = nameRecord(25, 15, "Blue Lamp"), two = nameRecord(26, 4, "");
  // clang-format off
  const std::pair<std::string, int> cases[] = {
      {"", 0}, {bytes({1, 0, 0, 0}), 0}, {kEndMarker, 0}, {one + two, 2} /* no end marker */,
      {one + bytes({0xFF}), 1}, {one + bytes({0xFF, 0xFF, 0xFF, 0xFF}), 1}, {one + kEndMarker + two, 1},
      {one + nameRecord(0, 99, "x"), 1}, {one + nameRecord(27, 0, "a"), 1},
      {one + nameRecord(27, 3, "a"), 1}, {one + nameRecord(27, 4, "a"), 2}};
  // clang-format on
  for (const auto& [body, records] : cases) {
    EXPECT_EQ(cacheToCsv(header("BDNW", 0, "", 8, 0) + body).console,
              kNameMatch + std::to_string(records) + " records loaded.\n")
        << body.size();
  }
  // A record cut off at any length short of whole: id only, part of the entry
  // size, part of the text (no NUL), part of the last number. The body's
  // buffer has exactly its size, so the sanitizers catch a read past it.
  const std::string cut = nameRecord(26, 15, "Red Lamp");
  for (std::size_t keep = 1; keep < cut.size(); ++keep) {
    EXPECT_EQ(cacheToCsv(header("BDNW", 0, "", 8, 0) + one + cut.substr(0, keep)).console,
              kNameMatch + "1 records loaded.\n")
        << keep;
  }
}

TEST(RecordDecoder, WarnsOfTextsTheCsvCannotCarry) {
  const std::string warning =
      "WARNING: 3 texts hold the byte 1A;\n"
      "         they will not come back from the CSV as they are.\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"Blue Lamp", "say \"hi\", then", "a\r\nb", "\",", "", "sixteen bytes, -\nafter\""}, ""},
      {{"a\x1A", "ok", "\x1A\x1A", "\"\n", "sixteen bytes, -\x1A"}, warning}};
  for (const auto& [texts, expected] : cases) {
    std::string cache = header("BDNW", 7, "abcd", 8, 1);
    for (const std::string& text : texts) {
      cache += nameRecord(25, 15, text);
    }
    EXPECT_EQ(cacheToCsv(cache).console,
              kNameMatch + std::to_string(texts.size()) + " records loaded.\n" + expected);
  }
}

TEST(RecordDecoder, StopsAt65535Records) {
  std::string file = header("NDRW", 0, "", 8, 0);
  for (std::uint32_t id = 1; id <= 65536; ++id) {
    file += word(id) + word(4) + word(0xFFFFFFFF) + word(id);
  }
  const Converted csv = cacheToCsv(file);
  EXPECT_EQ(csv.console, "Signature matches wowcache.wdb\n65535 records loaded.\n");
  EXPECT_TRUE(csv.file.ends_with("\n65534,4,4294967295,65534,\r\n65535,4,4294967295,65535,\r\n"));
}

TEST(CacheWriter, CellsByFieldType) {
  const std::string texts = std::string("A\"b\"") + '\0' + '\0' + "x,y" + '\0' + '\0' + '\0' + '\0';
  std::string tenWords;
  for (std::uint32_t i = 1; i <= 10; ++i) {
    tenWords += word(i);
  }
  const std::string zeros(46, '\0');  // six empty texts and ten zero words
  // One creature record row in CSV and the bytes it gives; an empty row none.
  const std::pair<std::string, std::string> cases[] = {
      {"4294967295,-1,\"A\"\"b\"\"\",\"\",\"x,y\",\"\",\"\",\"\",1,2,3,4,5,6,7,8,9,10,0.1,1.5d2,"
       "300,",
       word(0xFFFFFFFF) + word(0xFFFFFFFF) + texts + tenWords + bytes({0xCD, 0xCC, 0xCC, 0x3D}) +
           bytes({0, 0, 0x16, 0x43}) + bytes({0x2C})},
      {" 7,12abc,,,,,,,abc,,,,,,,,,,-0,x,-1,",
       word(7) + word(12) + zeros + bytes({0, 0, 0, 0x80}) + word(0) + bytes({0xFF})},
      {"5,", word(5) + word(0) + zeros + word(0) + word(0) + bytes({0})},
      {"\"5\",\"7\",", word(5) + word(7) + zeros + word(0) + word(0) + bytes({0})},
      {"5,6,,,,,,,,,,,,,,,,,,,,extra,", word(5) + word(6) + zeros + word(0) + word(0) + bytes({0})},
      {"", ""}};
  for (const auto& [row, record] : cases) {
    EXPECT_EQ(csvToCache("BOMW,0,enUS,76,0,\nnames,\n" + row + "\n").file,
              header("BOMW", 0, "enUS", 76, 0) + record + kEndMarker)
        << row;
  }
  EXPECT_EQ(csvToCache("XTIW,1,enUS,4,2,\r\nEntryID,Entry Size,Text,\r\n").file,
            header("XTIW", 1, "enUS", 4, 2) + kEndMarker);
}

TEST(CacheOutputPath, GoesIntoTheCsvFilesFolder) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"i.wdb.csv", "c.wdb"}, {"d/e/x.csv", "d/e/c.wdb"}, {"C:\\d\\x.csv", "C:\\d\\c.wdb"},
      {"a\\b/c.csv", "a\\b/c.wdb"}, {"a/b\\c.csv", "a/b\\c.wdb"}, {"/x.csv", "/c.wdb"}};
  // clang-format on
  for (const auto& [csvPath, output] : cases) {
    EXPECT_EQ(cacheOutputPath(csvPath, "c.wdb"), output);
  }
}

}  // namespace
}  // namespace cachesift::testing
