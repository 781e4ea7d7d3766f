// Records of bit fields, sized texts, counted groups and conditions, read and
// written by a made layout, byte for byte.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kHeader = header("TSQW", 20000, "enUS", 0, 1) + word(6);
const std::string kCsvHead =
    "TSQW,20000,enUS,0,1,6,\r\nQuestID,Entry Size,Flags,Small,Tiny,Short,Big,Signed Big,Double,"
    "Pair,Title,Name 1,Kind 1,Value 1,Name 2,Kind 2,Value 2,Bit 1,Bit 2,Nibble,\r\n";
const std::string kLayout = "Signature matches questcache.wdb\nLayout of client build 20000.\n";
const std::string kEnd(8, '\0');

// Title length 3, two elements, flags 5; the element of kind 7 has no value.
const std::string kFields =
    bytes({0x75, 1, 2, 0xFE, 0xD4, 0xFE, 1, 0, 0, 0, 0, 1, 0, 0}) + std::string(8, '\xFF') +
    bytes({0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F, 0xAB, 1}) + "a,b" +
    bytes({3, 'h', 'i', 0, 3, 0, 0, 0, 0, 0, 0xC0, 0x3F, 1, 0, 7, 0, 0, 0, 0x80, 0x90});
const std::string kCells =
    "5,513,-2,-300,\"1099511627777\",\"-1\",0.1,AB01,\"a,b\",\"hi\",3,1.500000,\"\",7,,1,0,9,";

TEST(RecordEngine, EveryFieldKindThereAndBack) {
  const std::string cache = kHeader + word(7) + word(55) + kFields + kEnd;
  const std::string csv = kCsvHead + "7,55," + kCells + "\r\n";
  EXPECT_EQ(cacheToCsv(cache, &madeLayouts()), (Converted{kLayout + "1 records loaded.\n", csv}));
  EXPECT_EQ(csvToCache(csv, &madeLayouts()), (Converted{kLayout + "3 records loaded.\n", cache}));
  // The second element's cells empty: one element, and no nibble.
  std::string one = kFields.substr(0, 47) + "\x80";
  one[0] = 0x6D;
  const std::string oneRow =
      kCsvHead + "7,55,5,513,-2,-300,1099511627777,-1,0.1,AB01,\"a,b\",\"hi\",3,1.5,,,,1,0,,\n";
  EXPECT_EQ(csvToCache(oneRow, &madeLayouts()).file, kHeader + word(7) + word(48) + one + kEnd);
  EXPECT_EQ(madeLayouts().definitions()[1].columns[4].name, "Value 1-2");  // the outer number first
}

// Changed bytes that the layout cannot read, or could not write back the same.
TEST(RecordEngine, RecordsThatWouldNotComeBackAreKeptAsBytes) {
  const auto changed = [](std::size_t at, std::string_view bytes) {
    return std::string(kFields).replace(at, bytes.size(), bytes);
  };
  // Each with the line that says where it stops fitting.
  const std::pair<std::string, std::string> cases[] = {
      // three elements, where two at most have columns
      {changed(0, "\x7D"),
       "has 3 elements in the group that $count counts at byte 35, more than "
       "its most (2)."},
      // a float that is not a number, which comes back as 0
      {changed(28, "\xF8\x7F"),
       "has a float that is not a number or is infinite in field "
       "\"Double\" at byte 22."},
      // a text with its own length counting its zero, but 0; a sized text that holds a zero byte
      {changed(36, std::string(1, '\0')),
       "has field \"Name #\" at byte 36, which would not come "
       "back as it is."},
      {changed(37, std::string(1, '\0')),
       "has field \"Name #\" at byte 36, which would not come "
       "back as it is."},
      // bits left unused that are not zero, before an align and at the record's end
      {changed(53, "\x81"), "has bits that no field takes in byte 53, and they are not zero."},
      {changed(54, "\x91"), "has bits that no field takes in byte 54, and they are not zero."},
      // a group's element cut off where the record ends; a field cut off
      {kFields.substr(0, 53), "ends within field \"Bit #\", which starts at byte 53 of its 53."},
      {kFields.substr(0, 54), "ends within field \"Nibble\", which starts at byte 54 of its 54."},
      {kFields.substr(0, 10), "ends within field \"Big\", which starts at byte 6 of its 10."},
      {kFields + "x", "has 1 bytes left after its last field."}};  // bytes after the fields
  for (const auto& [fields, where] : cases) {
    const std::string cache = kHeader + word(7) + word(fields.size()) + fields + kEnd;
    const Converted csv = cacheToCsv(cache, &madeLayouts());
    EXPECT_EQ(csv.console, kLayout +
                               "1 records loaded.\nWARNING: 1 records do not fit the layout;\n"
                               "         they are written as bytes and come back unchanged.\n"
                               "         The first, key 7, " +
                               where + "\n");
    EXPECT_EQ(csvToCache(csv.file, &madeLayouts()).file, cache);
  }
}

TEST(RecordEngine, ATextTooLongOrCellsPastTheColumnsAreRefused) {
  const std::string tooLong =
      kCsvHead + "7,55,5,513,-2,-300,1,-1,0.1,AB01,\"abcdefgh\",\"hi\",3,1,\"\",7,,1,0,9,\n";
  EXPECT_EQ(csvToCache(tooLong, &madeLayouts()),
            (Converted{kLayout + "3 records loaded.\nThe text on line 3, column 11 is longer than "
                                 "its length field can say (7 bytes at most).\n",
                       ""}));
  // A name's u8 length counts its zero too.
  EXPECT_NE(csvToCache(kCsvHead + "7,55,5,0,0,0,0,0,0,,\"\",\"" + std::string(255, 'x') + "\",",
                       &madeLayouts())
                .console.find("column 12 is longer than its length field can say (254 bytes"),
            std::string::npos);
  const Converted past = csvToCache(kCsvHead + "7,55," + kCells + "x,\n", &madeLayouts());
  EXPECT_EQ(past.console.substr(past.console.rfind("The")),
            "The cell on line 3, column 21 lies past the layout's 20 columns: no group holds "
            "more elements than its layout declares.\n");
  EXPECT_EQ(past.file, "");
  // Past two words of empty cells, which are skipped a word at a time.
  const Converted far =
      csvToCache(kCsvHead + "7,55," + kCells + std::string(110, ',') + "x,\n", &madeLayouts());
  EXPECT_EQ(far.console.substr(far.console.rfind("The")),
            "The cell on line 3, column 131 lies past the layout's 20 columns: no group holds "
            "more elements than its layout declares.\n");
  // Kind 7 has no value: a filled Value 2 would be lost.
  std::string valued = kCsvHead + "7,55," + kCells + "\n";
  valued.replace(valued.rfind("7,,"), 3, "7,5,");
  EXPECT_EQ(csvToCache(valued, &madeLayouts()),
            (Converted{kLayout + "3 records loaded.\nThe cell on line 3, column 17 is filled, but "
                                 "the record leaves its field out: the condition on an earlier "
                                 "cell does not hold.\n",
                       ""}));
}

// A length that a condition leaves out, or a counted group whose last element
// shows nothing, would not come back from the cells as it is; nor would bits
// left unused before a whole byte, or more elements than the group's most.
TEST(RecordEngine, CountsAndLengthsThatCellsWouldNotGiveKeepTheirBytes) {
  const FormatCatalogue layouts = madeCatalogue(
      "builds 20000\ncache pagetextcache.wdb XTPW\nu32 PageID\nu32 Entry Size\nu8 $notes\nu8 $a\n"
      "u8 $b\nu8 $c\nu8 $shown Shown\nif $shown != 0\ntextz $a A\ntext $b B\nend\ntextz0 $c C\n"
      "bits 4 Flags\nrepeat $notes max 2\ntext Note #\nend\n");
  const std::pair<std::string, bool> cases[] = {
      {bytes({1, 1, 0, 0, 0, 0xA0, 'a', 0}), true},  // left out: empty texts' lengths; C none
      {bytes({0, 3, 2, 3, 1, 'x', 'y', 0, 'p', 'q', 'c', 'd', 0, 0xA0}), true},  // there
      {bytes({0, 0, 0, 0, 0, 0xA0}), false},             // left out, but not 1
      {bytes({0, 1, 1, 0, 0, 0xA0}), false},             // left out, but not 0
      {bytes({0, 1, 0, 1, 0, 0, 0xA0}), false},          // C of its zero alone
      {bytes({0, 1, 0, 2, 0}), false},                   // C cut off where the record ends
      {bytes({0, 1, 0, 2, 0, 0xA0}), false},             // C longer than the bytes left
      {bytes({0, 1, 0, 0, 0, 0xA5}), false},             // bits left unused are not zero
      {bytes({2, 1, 0, 0, 0, 0xA0, 'a', 0, 0}), false},  // the last note empty
      {bytes({3, 1, 0, 0, 0, 0xA0, 'a', 0, 'b', 0, 'c', 0}), false}};  // three notes
  for (const auto& [fields, fits] : cases) {
    const std::string cache = header("XTPW", 20000, "enUS", 0, 1) + word(0) + word(7) +
                              word(static_cast<std::uint32_t>(fields.size())) + fields + kEnd;
    const Converted csv = cacheToCsv(cache, &layouts);
    EXPECT_EQ(csv.console.find("do not fit") == std::string::npos, fits) << csv.file;
    EXPECT_EQ(csvToCache(csv.file, &layouts).file, cache);
  }
  // A whole byte between bit fields: the bits after it start a byte of their own.
  const FormatCatalogue between = madeCatalogue(
      "builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\nbits 3 A\nu8 B\nbits 5 C\n");
  EXPECT_EQ(cacheToCsv(header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) + word(3) +
                           bytes({0xE0, 0x42, 0xA8}) + kEnd,
                       &between)
                .file,
            "ABCD,20000,enUS,0,1,0,\r\nKey,Entry Size,A,B,C,\r\n1,3,7,66,21,\r\n");
  // A signed length says up to its largest positive value.
  const FormatCatalogue signedLength =
      madeCatalogue("builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\ni8 $n\ntext $n T\n");
  EXPECT_EQ(
      csvToCache("ABCD,20000,enUS,0,1,0,\n\n1,0," + std::string(127, 't') + "\n", &signedLength)
          .file.size(),
      24 + 8 + 1 + 127 + 8);
  // Cells past the columns are refused only where a counted group stands. A
  // 64-bit length says any text's.
  const FormatCatalogue shorts = madeCatalogue(
      "builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\nu16 $a A\nif $a == 9\nu8 B\nend\n"
      "u64 $n\ntext $n T\n");
  EXPECT_EQ(csvToCache("ABCD,20000,enUS,0,1,0,\n\n1,0,2,,t,x,\n2,0\n", &shorts).file,
            header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) + word(11) + bytes({2, 0}) +
                word(1) + word(0) + "t" + word(2) + word(10) + std::string(10, '\0') + kEnd);
}

// A float that is not a number keeps its bytes, whatever else the file holds.
TEST(RecordEngine, AFloatThatIsNotANumberKeepsItsBytes) {
  const FormatCatalogue layouts =
      madeCatalogue("builds 20000\ncache a.wdb ABCD\nu32 Key\nu32 Entry Size\nf32 F\n");
  const std::string nan =
      header("ABCD", 20000, "enUS", 0, 1) + word(0) + word(1) + word(4) + word(0x7FC00000);
  for (const std::string& cache : {nan + kEnd, nan + word(2) + word(5) + "abcde" + kEnd}) {
    const Converted csv = cacheToCsv(cache, &layouts);
    EXPECT_NE(csv.file.find("\r\n1,4 bytes,\"0000C07F\","), std::string::npos) << csv.file;
    EXPECT_EQ(csvToCache(csv.file, &layouts).file, cache);
  }
}

}  // namespace
}  // namespace cachesift::testing
