// Cells a spreadsheet keeps: lists, quoted 64-bit numbers, CR marks.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kEnd(8, '\0');
const std::string kLayout = "Signature matches a.wdb\nLayout of client build 20000.\n";

const FormatCatalogue& lists() {
  static const FormatCatalogue catalogue = madeCatalogue(
      "builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\nu8 $n\nu8 $m\n"
      "repeat $n max 3 list\nu16 Id\ni8 Delta\nf32 Scale\nend\n"
      "repeat $m max 2\nu8 $e\nrepeat $e max 4 list\ni64 Effects #\nend\nend\nu64 Big\ntext T\n");
  return catalogue;
}

const std::string kListHead =
    "ABCD,20000,enUS,0,1,0,\r\nKey,Entry Size,Id,Delta,Scale,Effects 1,Effects 2,Big,T,\r\n";
// Two elements of the list, the first effects empty, two in the second.
const std::string kListFields =
    bytes({2, 2, 0xE2, 0x0B, 0xFF, 0, 0, 0xC0, 0x3F, 0xE3, 0x0B, 5, 0, 0, 0x80, 0x3E, 0, 2}) +
    bytes({0, 0, 0, 0, 0, 0, 0, 0x80}) + std::string(7, '\xFF') + "\x7F" + std::string(8, '\xFF') +
    "a\r\nb" + std::string(1, '\0');
const std::string kListCache =
    header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) + word(47) + kListFields + kEnd;

std::string listRow(std::string_view ids, std::string_view deltas, std::string_view scales,
                    std::string_view effects2) {
  return kListHead + "1,47," + std::string(ids) + "," + std::string(deltas) + "," +
         std::string(scales) + ",," + std::string(effects2) +
         ",\"18446744073709551615\",\"a\xE2\x90\x8D\r\nb\",\r\n";
}

TEST(ListCells, AGroupOfNumbersIsACellPerFieldThereAndBack) {
  const std::string csv = listRow("\"3042 3043\"", "\"-1 5\"", "\"1.500000 0.250000\"",
                                  "\"-9223372036854775808 9223372036854775807\"");
  EXPECT_EQ(cacheToCsv(kListCache, &lists()), (Converted{kLayout + "1 records loaded.\n", csv}));
  EXPECT_EQ(csvToCache(csv, &lists()), (Converted{kLayout + "3 records loaded.\n", kListCache}));
  // As a spreadsheet saves it (texts unquoted, a line break as LF) or a
  // person types it.
  const std::string saved = kListHead +
                            "1,47,3042 3043,-1 5,1.5 0.25,,-9223372036854775808 "
                            "9223372036854775807,18446744073709551615,\"a\xE2\x90\x8D\nb\"\n";
  EXPECT_EQ(csvToCache(saved, &lists()).file, kListCache);
  EXPECT_EQ(csvToCache(listRow("\" 3042  3043 \"", "-1 5", "1.50 2.5e-1",
                               "-9223372036854775808 9223372036854775807"),
                       &lists())
                .file,
            kListCache);
}

// A float of the second element that is not a number: the record keeps its
// bytes, and the line names the float's own byte.
TEST(ListCells, AFloatThatIsNotANumberInAListIsFoundAtItsByte) {
  std::string cache = kListCache;
  cache.replace(cache.find(bytes({0, 0, 0x80, 0x3E})), 4, bytes({0, 0, 0xC0, 0x7F}));
  const Converted csv = cacheToCsv(cache, &lists());
  EXPECT_NE(csv.console.find("The first, key 1, has a float that is not a number or is infinite "
                             "in field \"Scale\" at byte 12.\n"),
            std::string::npos)
      << csv.console;
  EXPECT_EQ(csvToCache(csv.file, &lists()).file, cache);
}

TEST(ListCells, ListsThatDoNotGiveTheGroupAreRefused) {
  const std::string most = "holds more values than its group's most";
  const std::string bad = "holds a value that is not a number of its field.\n";
  const std::string uneven =
      "holds a different number of values than the list before it in its group.\n";
  // clang-format off
  const struct {
    std::string ids, deltas, scales, effects2, message;
  } cases[] = {
      {"1", "1 2 3 4", "1", "", "column 4 " + most + " (3).\n"},
      {"3042 3043", "-1", "1.5 0.25", "", "column 4 " + uneven},
      {"3042 x", "-1 5", "1.5 0.25", "", "column 3 " + bad},
      {"3042 65536", "-1 5", "1.5 0.25", "", "column 3 " + bad},
      {"3042 3043", "-1 5", "1.5 nan", "", "column 5 " + bad},
      {"3042 3043", "-1 5", "1.5 1e", "", "column 5 " + bad},
      {"3042 3043", "-1 5", "1.5 0.25", "1 2 3 4 5", "column 7 " + most + " (4).\n"},
      {"3042 3043", "-1 5", "1.5 0.25", "\"1,2\"", "column 7 " + bad}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(csvToCache(listRow(c.ids, c.deltas, c.scales, c.effects2), &lists()),
              (Converted{kLayout + "3 records loaded.\nThe list on line 3, " + c.message, ""}))
        << c.ids << " | " << c.deltas << " | " << c.scales << " | " << c.effects2;
  }
}

TEST(ListCells, SixtyFourBitNumbersAreQuotedAndReadEitherWay) {
  const FormatCatalogue layouts =
      madeCatalogue("builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\nu64 U\ni64 I\n");
  const std::pair<std::string, std::string> cases[] = {
      {"0", "0"},
      {"9007199254740993", "-9007199254740993"},  // 2^53 + 1, which a double cannot hold
      {"18446744073709551615", "9223372036854775807"},
      {"6130900294268439629", "-9223372036854775808"},
      {"1", "-1"}};
  for (const auto& [u, i] : cases) {
    const std::uint64_t uValue = std::stoull(u);
    const auto iValue = static_cast<std::uint64_t>(std::stoll(i));
    const std::string cache = header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) + word(16) +
                              word(static_cast<std::uint32_t>(uValue)) + word(uValue >> 32) +
                              word(static_cast<std::uint32_t>(iValue)) + word(iValue >> 32) + kEnd;
    const std::string head = "ABCD,20000,enUS,0,1,0,\r\nKey,Entry Size,U,I,\r\n1,16,";
    const std::string csv = head + "\"" + u + "\",\"" + i + "\",\r\n";
    EXPECT_EQ(cacheToCsv(cache, &layouts).file, csv);
    EXPECT_EQ(csvToCache(csv, &layouts).file, cache) << u << " " << i;
    EXPECT_EQ(csvToCache(head + u + "," + i + "\n", &layouts).file, cache) << u << " " << i;
  }
}

// A text's CR as ␍ (E2 90 8D), and a ␍ or ␛ (E2 90 9B) of its own after a ␛.
TEST(TextMarks, CarriageReturnsComeBackAsWrittenAndAsASpreadsheetSavesThem) {
  const FormatCatalogue layouts =
      madeCatalogue("builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\ntext T\n");
  const std::string cr = "\xE2\x90\x8D", esc = "\xE2\x90\x9B";
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb", "a" + cr + "\r\nb"},
      {"a\rb", "a" + cr + "b"},
      {"end\r", "end" + cr},
      {"\r\r\n\n", cr + cr + "\r\n\r\n"},
      {"x" + cr + "y", "x" + esc + cr + "y"},
      {esc + cr, esc + esc + esc + cr},
      {"\xE2\x90\x80 \xE2\x80\x99", "\xE2\x90\x80 \xE2\x80\x99"}};
  const std::string head = "ABCD,20000,enUS,0,1,0,\r\nKey,Entry Size,T,\r\n";
  for (const auto& [text, cell] : cases) {
    const auto size = static_cast<std::uint32_t>(text.size() + 1);
    const std::string cache = header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) + word(size) +
                              text + std::string(1, '\0') + kEnd;
    const std::string csv = head + "1," + std::to_string(size) + ",\"" + cell + "\",\r\n";
    EXPECT_EQ(cacheToCsv(cache, &layouts).file, csv);
    EXPECT_EQ(csvToCache(csv, &layouts).file, cache) << csv;
    std::string saved = csv;  // each line break within the cell as an LF
    for (std::size_t at = saved.find("\r\n", head.size()); at < saved.size() - 2;
         at = saved.find("\r\n", at)) {
      saved.erase(at, 1);
    }
    EXPECT_EQ(csvToCache(saved, &layouts).file, cache) << saved;
  }
  // A CSV written before marks, with raw CRs, reads as it always did.
  const std::pair<std::string, std::string> before[] = {
      {"a\r\r\nb", "a\r\nb"}, {"a\rb" + cr, "a\rb" + cr}, {"x\r", "x\r"}, {cr + "\r", cr + "\r"}};
  for (const auto& [cell, text] : before) {
    const std::string cache = header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) +
                              word(static_cast<std::uint32_t>(text.size() + 1)) + text +
                              std::string(1, '\0') + kEnd;
    EXPECT_EQ(csvToCache(head + "1,0,\"" + cell + "\",\r\n", &layouts).file, cache);
  }
  // The built-in layouts keep their raw CRs.
  const std::string items = header("BDNW", 3368, "enUS", 0, 1) + word(1) + word(9) + "a\r\nb" +
                            std::string(5, '\0') + kEnd;
  EXPECT_NE(cacheToCsv(items).file.find("\"a\r\r\nb\""), std::string::npos);
}

}  // namespace
}  // namespace cachesift::testing
