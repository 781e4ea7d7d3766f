#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <filesystem>

#include "app/cache_document.h"
#include "io/file_io.h"
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
           {header("BDNW", 7, "abcd", 8, 1).substr(0, 19), tooShort},
           {header("NTPW", 30000, "", 8, 0),
            "Signature matches petitioncache.wdb\nThe file is too short to hold a WDB "
            "header.\n"}}) {
    EXPECT_EQ(cacheToCsv(file), (Converted{console, ""})) << file.size();
  }
  EXPECT_EQ(cacheToCsv(header("BDNW", 7, "abcd", 8, 1)).console,
            kNameMatch + "0 records loaded.\n");
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

// A text is found by its 32-bit offset into the body: a body of 2^32 bytes or
// more is refused before anything is read of it.
TEST(CacheLoader, TakesABodyOfUpTo4GiBMinusOne) {
  const std::size_t most = std::size_t{0xFFFFFFFF} + 20;
  void* memory = ::mmap(nullptr, most + 1, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  std::memcpy(memory, header("BDNW", 7, "abcd", 8, 1).data(), 20);
  for (const std::size_t size : {most, most + 1}) {
    const LoadedCache cache = loadCacheBytes({static_cast<char*>(memory), size}, formatCatalogue());
    EXPECT_EQ(cache.ok, size == most);
    EXPECT_EQ(cache.console, kNameMatch + std::string(size == most ? "" : kTooLargeMessage));
  }
  ::munmap(memory, most + 1);
}

// The console after the count line when `bytes` after the last record are
// not all zeros.
std::string notConverted(std::size_t bytes) {
  return "WARNING: " + std::to_string(bytes) +
         " bytes after the last record were not converted;\n"
         "         a cache written back from the CSV will not hold them.\n";
}

TEST(RecordDecoder, EndRules) {
  const std::string one = nameRecord(25, 15, "Blue Lamp"), two = nameRecord(26, 4, "");
  // The body, the records taken, and the bytes after them that are warned of.
  // clang-format off
  const std::tuple<std::string, int, std::size_t> cases[] = {
      {"", 0, 0}, {bytes({1, 0, 0, 0}), 0, 4}, {kEndMarker, 0, 0}, {one + two, 2, 0} /* no end marker */,
      {one + bytes({0xFF}), 1, 1}, {one + bytes({0, 0, 0, 0, 0}), 1, 0}, {one + kEndMarker + two, 1, 21},
      {one + nameRecord(0, 99, "x"), 1, 14}, {one + nameRecord(27, 0, "a"), 1, 14},
      {one + nameRecord(27, 3, "a"), 1, 14}, {one + nameRecord(27, 4, "a"), 2, 0}};
  // clang-format on
  for (const auto& [body, records, after] : cases) {
    EXPECT_EQ(cacheToCsv(header("BDNW", 0, "", 8, 0) + body).console,
              kNameMatch + std::to_string(records) + " records loaded.\n" +
                  (after > 0 ? notConverted(after) : ""))
        << body.size();
  }
  // A record cut off at any length short of whole: id only, part of the entry
  // size, part of the text (no NUL), part of the last number. The body's
  // buffer has exactly its size, so the sanitizers catch a read past it.
  const std::string cut = nameRecord(26, 15, "Red Lamp");
  for (std::size_t keep = 1; keep < cut.size(); ++keep) {
    EXPECT_EQ(cacheToCsv(header("BDNW", 0, "", 8, 0) + one + cut.substr(0, keep)).console,
              kNameMatch + "1 records loaded.\n" + notConverted(keep))
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
  EXPECT_EQ(csv.console,
            "Signature matches wowcache.wdb\n65535 records loaded.\n" + notConverted(16));
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
  // A number that ends the file, with neither comma nor line end.
  EXPECT_EQ(csvToCache("BDNW,7,abcd,8,1,\nn,\n25,15,Lamp,12345678").file,
            header("BDNW", 7, "abcd", 8, 1) + word(25) + word(15) + "Lamp" + '\0' + word(12345678) +
                kEndMarker);
}

// A layout's name that is a path never reaches the file system, however the
// layout came to be: nothing is written, here or beside the CSV's folder.
TEST(CacheWriter, WritesOnlyUnderAPlainFileNameIntoTheCsvsFolder) {
  const auto folder = std::filesystem::path(::testing::TempDir()) / "plain-name";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "csv");
  for (const char* name : {"../evil.wdb", "CON.wdb"}) {
    FormatDefinition layout =
        madeCatalogue("builds other\ncache a.wdb BDNW\nu32 K\nu32 S\n").definitions().front();
    layout.fileName = name;
    FormatCatalogue catalogue;
    catalogue.append(layout);
    CapturingConsole console;
    CacheDocument document(console, catalogue);
    ASSERT_TRUE(document.loadCsvBytes("BDNW,7,abcd,8,1,\nn,\n"));
    document.rebuildHeader();
    EXPECT_FALSE(document.writeCache((folder / "csv" / "x.csv").string()));
    EXPECT_EQ(console.text(), "Signature matches " + std::string(name) +
                                  "\n2 records loaded.\nThe layout's cache file name is not a "
                                  "plain file name ending in .wdb; nothing is written.\n");
  }
  EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(folder), {}), 1);
}

// Build 12340's item names: a 24-byte header, records framed by entry size.
const std::string kHeader12340 = header("BDNW", 12340, "enUS", 0, 1) + word(257);
const std::string kLayout12340 =
    "Signature matches itemnamecache.wdb\nLayout of client build 12340.\n";

const std::string kAsBytes =
    "WARNING: 1 records do not fit the layout;\n"
    "         they are written as bytes and come back unchanged.\n";

TEST(FramedRecords, TheEntrySizesFrameTheRecords) {
  const std::string one = nameRecord(25, 14, "Blue Lamp"), two = nameRecord(26, 5, "");
  // The body, the records taken, the bytes after them that are warned of,
  // and where a record's fields do not take its entry size.
  // clang-format off
  const std::tuple<std::string, int, std::size_t, std::string> cases[] = {
      {one + two + kEndMarker, 2, 0, ""}, {one + two, 2, 0, ""},
      {one + kEndMarker + two, 1, 21, ""},
      {nameRecord(25, 15, "Blue Lamp") + kEndMarker, 1, 0, "has 1 bytes left after its last field."},
      {nameRecord(25, 13, "Blue Lamp"), 1, 0, "ends within field \"Inventory Type\", which starts at byte 10 of its 13."},
      {one + nameRecord(26, 6, ""), 1, 13, ""}, {one + nameRecord(0, 5, ""), 1, 13, ""},
      {one + word(26) + word(5) + bytes({0, 1}), 1, 10, ""}, {one + word(26), 1, 4, ""}};
  // clang-format on
  for (const auto& [body, records, after, where] : cases) {
    EXPECT_EQ(cacheToCsv(kHeader12340 + body).console,
              kLayout12340 + std::to_string(records) + " records loaded.\n" +
                  (after > 0 ? notConverted(after) : "") +
                  (where.empty() ? "" : kAsBytes + "         The first, key 25, " + where + "\n"))
        << body.size();
  }
  EXPECT_EQ(cacheToCsv(kHeader12340 + one).file,
            "BDNW,12340,enUS,0,1,257,\r\nItemID,Entry Size,Item Name,Inventory Type,\r\n"
            "25,14,\"Blue Lamp\",13,\r\n");
}

// A record that its layout does not read keeps its bytes, between records
// that keep their cells; the way back takes both.
TEST(FramedRecords, RecordsThatDoNotFitComeBackAsBytes) {
  const std::string cache = kHeader12340 + nameRecord(25, 14, "Blue Lamp") + word(27) + word(3) +
                            "a\"c" + nameRecord(28, 5, "") + kEndMarker;
  const Converted csv = cacheToCsv(cache);
  EXPECT_EQ(csv,
            (Converted{kLayout12340 + "3 records loaded.\n" + kAsBytes +
                           "         The first, key 27, ends within field \"Item Name\", which "
                           "starts at byte 0 of its 3.\n",
                       "BDNW,12340,enUS,0,1,257,\r\nItemID,Entry Size,Item Name,"
                       "Inventory Type,\r\n25,14,\"Blue Lamp\",13,\r\n27,3 bytes,\"612263\",\r\n"
                       "28,5,\"\",13,\r\n"}));
  EXPECT_EQ(csvToCache(csv.file), (Converted{kLayout12340 + "5 records loaded.\n", cache}));
  // Edited, the bytes give the record's entry size.
  EXPECT_EQ(csvToCache("BDNW,12340,enUS,0,1,257,\n\n27,3 bytes,\"6162636465\",\n").file,
            kHeader12340 + word(27) + word(5) + "abcde" + kEndMarker);
}

TEST(FramedRecords, EntrySizesAreComputedAndHexadecimalCellsRead) {
  const std::string names = "\nnames\n";
  const std::string module =
      header("NDRW", 5875, "enUS", 8, 1) + bytes({0xAB}) + std::string(15, 0);
  const std::string moduleEnd(20, '\0');
  const std::pair<std::string, std::string> cases[] = {
      {"BDNW,12340,enUS,0,1,257," + names + "25,999,\"Blue Lamps\",13,\n25,\n",
       kHeader12340 + nameRecord(25, 15, "Blue Lamps") + word(25) + word(5) + '\0' + word(0) +
           kEndMarker},
      {"XTIW,12340,enUS,8000,1,257," + names + "0a0B,7,\"hi\",\n00112233445566778899,0,,\n",
       header("XTIW", 12340, "enUS", 8000, 1) + word(257) + bytes({0xA, 0xB}) + std::string(6, 0) +
           word(3) + "hi" + '\0' + bytes({0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}) + word(1) +
           '\0' + std::string(12, 0)},
      {"NDRW,5875,enUS,8,1," + names + "AB,0,3,0102z003,\nab,0,3,0102030,\nab,\n",
       module + word(6) + word(3) + bytes({1, 2}) + module.substr(20) + word(7) + word(3) +
           bytes({1, 2, 3}) + module.substr(20) + word(4) + word(0) + moduleEnd}};
  for (const auto& [csv, cache] : cases) {
    EXPECT_EQ(csvToCache(csv).file, cache) << csv;
  }
}

// A key of four bytes that its layout calls hexadecimal is written so.
TEST(FramedRecords, AFourByteHexadecimalKey) {
  const FormatCatalogue layouts =
      madeCatalogue("builds 30000\ncache a.wdb ABCD\nhex 4 Key\nu32 Size\nu8 X\n");
  const std::string cache = header("ABCD", 30000, "enUS", 0, 0) + word(0) + bytes({1, 2, 3, 0xAB}) +
                            word(1) + '\7' + kEndMarker;
  const Converted csv = cacheToCsv(cache, &layouts);
  EXPECT_EQ(csv.file, "ABCD,30000,enUS,0,0,0,\r\nKey,Size,X,\r\n010203AB,1,7,\r\n");
  EXPECT_EQ(csvToCache(csv.file, &layouts).file, cache);
}

TEST(FramedRecords, TheBuildPicksTheLayouts) {
  const std::string builtIn = "Signature matches itemnamecache.wdb\n";
  // The file, the console up to the count. Build 5875 has a 20-byte header;
  // the built-in layouts compare the header's record size with their fields.
  const std::pair<std::string, std::string> cases[] = {
      {header("BDNW", 5875, "enUS", 0, 1), builtIn + "Layout of client build 5875.\n"},
      {header("BDNW", 12341, "enUS", 8, 1) + word(257), builtIn},
      {header("BDNW", 12340, "enUS", 0, 1) + bytes({1, 1}),
       kLayout12340 + "The file is too short to hold a WDB header.\n"}};
  for (const auto& [file, console] : cases) {
    const std::string text = cacheToCsv(file).console;
    EXPECT_EQ(text.substr(0, text.find("records loaded") - 2), console) << file.size();
  }
  EXPECT_EQ(csvToCache("BDNW,12340,enUS,0,1,\n").console, kLayout12340 + "1 records loaded.\n");
  EXPECT_EQ(csvToCache("BDNW,+12340x,enUS,0,1,\n").file,
            kHeader12340.substr(0, 20) + word(0) + std::string(8, 0));
}

// A build from 9506 on that no layout covers: records that frame as the
// client writes them are kept as bytes; others are read as before.
TEST(FramedRecords, ABuildOfNoLayoutKeepsItsRecordsAsBytes) {
  const std::string items = header("BDIW", 30000, "enUS", 0, 1) + word(0);
  const std::string petitions = header("NTPW", 30000, "enUS", 0, 1) + word(0);
  const std::string noLayout = "No layout of client build 30000; records are written as bytes.\n";
  const std::string cache = items + word(5) + word(3) + "abc" + kEndMarker;
  const std::string csv = "BDIW,30000,enUS,0,1,0,\r\nKey,Entry Size,\r\n5,3 bytes,\"616263\",\r\n";
  const std::string item = "Signature matches itemcache.wdb\n";
  // The nearest build's layout says where the first record stops fitting.
  EXPECT_EQ(cacheToCsv(cache),
            (Converted{item + noLayout + "1 records loaded.\n" +
                           "         By the layout of client build 12340, the first, key 5, ends "
                           "within field \"Class\", which starts at byte 0 of its 3.\n",
                       csv}));
  EXPECT_EQ(csvToCache(csv), (Converted{item + noLayout + "3 records loaded.\n", cache}));
  // Not framed so: the built-in layout, whose header has five words.
  for (const std::string& unframed : {cache + "x", items + word(5) + word(3) + "abc",
                                      items + word(5) + word(16) + "abc" + kEndMarker}) {
    EXPECT_TRUE(cacheToCsv(unframed).console.starts_with(item + "WARNING: Number of fields"));
  }
  EXPECT_EQ(csvToCache("BDIW,30000,enUS,0,1,,\n").file,
            header("BDIW", 30000, "enUS", 0, 1) + kEndMarker);
  // An empty petition cache of a build that has no layout of its own.
  const std::string petition = "Signature matches petitioncache.wdb\n";
  EXPECT_EQ(cacheToCsv(petitions + kEndMarker).console,
            petition + noLayout + "0 records loaded.\n");
  EXPECT_EQ(csvToCache(cacheToCsv(petitions + kEndMarker).file).file, petitions + kEndMarker);
  EXPECT_EQ(cacheToCsv(header("NTPW", 5875, "enUS", 0, 1) + kEndMarker).console,
            "Header does not match any known WDB file.\n");
  // A layout of a range of builds says which.
  EXPECT_EQ(cacheToCsv(header("NDRW", 20000, "enUS", 0, 2) + word(0) + std::string(36, 0)).console,
            "Signature matches wowcache.wdb\nLayout of client builds 15595 to 24742.\n"
            "0 records loaded.\n");
}

// Item names of three layouts, whose records are 1, 2 and 4 bytes, and of
// the built-in one.
FormatCatalogue threeLayouts() {
  const std::string f = "cache itemnamecache.wdb BDNW\nu32 ItemID\nu32 Entry Size\n";
  const std::string a = "builds 20000 to 20999\n" + f + "u8 A\n",
                    b = "builds 30000\n" + f + "u16 B\n",
                    c = "builds 40000 to 40999\n" + f + "u32 C\n",
                    d = "builds other\n" + f + "text N\nu32 S\n";
  const LayoutFileText files[] = {{"a", a}, {"b", b}, {"c", c}, {"d", d}};
  FormatCatalogue catalogue;
  EXPECT_EQ(fillCatalogue(catalogue, files), std::vector<LayoutFault>{});
  return catalogue;
}

// A user's layout chosen by fit is named so in the CSV, apart from a built-in
// one of the same first build, and the way back takes it.
TEST(FramedRecords, AUsersLayoutChosenByFitIsNamedAsTheUsers) {
  const std::string f = "cache itemnamecache.wdb BDNW\nu32 ItemID\nu32 Entry Size\n";
  const std::string builtIn = "builds 30000\n" + f + "u16 B\n",
                    user = "builds 30000\n" + f + "u8 A\n",
                    other = "builds other\n" + f + "text N\nu32 S\n";
  const LayoutFileText files[] = {{"b", builtIn}, {"d", other}},
                       users[] = {{"layouts/u.layout", user}};
  FormatCatalogue catalogue;
  ASSERT_EQ(fillCatalogue(catalogue, files, users), std::vector<LayoutFault>{});
  for (const auto& [record, mark] : {std::pair{word(5) + word(1) + "a", "layout 30000 user,"},
                                     std::pair{word(5) + word(2) + "ab", "layout 30000,"}}) {
    const std::string cache = header("BDNW", 35000, "enUS", 0, 1) + word(0) + record + kEndMarker;
    const Converted csv = cacheToCsv(cache, &catalogue);
    EXPECT_TRUE(csv.file.starts_with("BDNW,35000,enUS,0,1,0," + std::string(mark))) << csv;
    EXPECT_EQ(csvToCache(csv.file, &catalogue).file, cache);
  }
}

// The choice of layout as a table of a build and its records: the build's
// own layout first; where a record does not fit it, the layout under which the
// most records fit, on a tie the build's own, then the nearest build's; where
// none fits a record, as before. Both directions choose alike.
TEST(FramedRecords, TheLayoutThatFitsTheRecordsBest) {
  const FormatCatalogue catalogue = threeLayouts();
  const std::string r1 = word(5) + word(1) + "a", r2 = word(6) + word(2) + "ab",
                    r4 = word(7) + word(4) + "abcd", r8 = word(8) + word(8) + "abcdefgh";
  const std::string fit = ", the one that fits these records best.\n",
                    a = "builds 20000 to 20999.\n", b = "build 30000" + fit,
                    c = "builds 40000 to 40999" + fit;
  // The build, its records, the layout line, where the first record kept as
  // bytes stops fitting.
  const std::string
      b1 = "The first, key 5, ends within field \"B\", which starts at byte 0 of its 1.",
      left = "The first, key ", f = " bytes left after its last field.";
  const std::tuple<std::uint32_t, std::string, std::string, std::string> cases[] = {
      {20500, r1 + r1, a, ""},
      {20500, r2 + r1 + r2, b, b1},
      {20500, r1 + r2, a, left + "6, has 1" + f},
      {20500, r8, a, left + "8, has 7" + f},
      {35000, r4 + r4, c, ""},
      {35000, r2 + r4, b, left + "7, has 2" + f},
      {28000, r1 + r2, b, b1},
      {60000, r2 + r4, c,
       "The first, key 6, ends within field \"C\", which starts at byte 0 of its 2."}};
  for (const auto& [build, records, line, where] : cases) {
    const std::string cache = header("BDNW", build, "enUS", 0, 1) + word(0) + records + kEndMarker;
    const Converted csv = cacheToCsv(cache, &catalogue);
    EXPECT_EQ(csv.console, kNameMatch +
                               (line.empty() ? "No layout of client build 60000; records are "
                                               "written as bytes.\n"
                                             : "Layout of client " + line) +
                               std::to_string(records.size() / 9) + " records loaded.\n" +
                               (where.empty() || line.empty() ? "" : kAsBytes) +
                               (where.empty() ? "" : "         " + where + "\n"))
        << build << " " << records.size();
    // The way back takes the same layout, and says so in the same words.
    const Converted back = csvToCache(csv.file, &catalogue);
    EXPECT_EQ(back.file, cache) << csv.file;
    const auto layoutLines = [](const std::string& console) {
      return console.substr(0, console.rfind('\n', console.find(" records loaded")));
    };
    EXPECT_EQ(layoutLines(back.console), layoutLines(csv.console)) << csv.file;
    // The choice gives the fit of each layout tried: the build's own (or the
    // nearest) first, the one chosen with the records that fit it.
    const LayoutChoice choice = loadCacheBytes(cache, catalogue).choice;
    const auto chosen = std::find_if(choice.tried.begin(), choice.tried.end(),
                                     [&](const auto& t) { return t.layout == choice.layout; });
    ASSERT_EQ(chosen == choice.tried.end(), line.empty());
    EXPECT_EQ(choice.tried.front().layout,
              catalogue.candidates(std::array<char, 4>{'B', 'D', 'N', 'W'}, build)[0]);
    if (!line.empty()) {
      EXPECT_EQ(*chosen->fits, records.size() / 9 - (where.empty() ? 0 : 1));
    }
  }
  EXPECT_TRUE(
      cacheToCsv(header("BDNW", 20500, "enUS", 0, 1) + word(0) + r2 + kEndMarker, &catalogue)
          .file.starts_with("BDNW,20500,enUS,0,1,0,layout 30000,\r\nItemID,Entry Size,B,"));
}

// The way back takes the layout that the first row's seventh cell names, or
// refuses it; only a sixth cell that is a number reads records as bytes.
TEST(FramedRecords, TheFirstRowNamesTheLayout) {
  const FormatCatalogue catalogue = threeLayouts();
  const std::string start = "BDNW,20500,enUS,0,1,0,";
  const std::pair<std::string, std::string> cases[] = {
      {start + "layout 30000\n\n6,9,25185\n", "Layout of client build 30000, the one that fits"},
      {start + "layout 20000,\n\n6,9,97\n", "Layout of client builds 20000 to 20999.\n"},
      {"BDNW,9506,enUS,0,1,0,layout 30000\n", "Layout of client build 30000, the one that fits"},
      {"BDNW,60000,enUS,0,1,-1,layouts 1\n", "No layout of client build 60000;"},
      {"BDNW,60000,enUS,0,1,x,\n", "1 records loaded.\n"},
      {"BDNW,4294967291,frFR,8,0,\rItemID,Size,\n", "1 records loaded.\n"},
      {start + "layout 20001\n", "The layout that the first row names is no layout of"},
      {start + "layout 30000x\n", "The layout that the first row names is no layout of"}};
  for (const auto& [csv, line] : cases) {
    const std::string console = csvToCache(csv, &catalogue).console;
    EXPECT_EQ(console.substr(kNameMatch.size(), line.size()), line) << csv;
  }
  EXPECT_EQ(csvToCache(start + "layout 20001\n", &catalogue).file, "");
}

}  // namespace
}  // namespace cachesift::testing
