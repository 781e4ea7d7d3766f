#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>

#include "csv/csv_reader.h"
#include "csv/number_text.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"
#include "io/byte_sink.h"
#include "support/test_support.h"

namespace cachesift::testing {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

// Rows as text: each cell followed by "|", each row by "/".
std::string joined(const std::vector<TextRow>& rows) {
  std::string text;
  for (const TextRow& row : rows) {
    for (TextRow::Cursor cells(row); !cells.done();) {
      text += cells.nextText() + "|";
    }
    text += "/";
  }
  return text;
}

// The same, and "!" with the line of a quoted cell that is never closed.
std::string joined(const CsvRows& csv) {
  return joined(csv.rows) + (csv.unclosedLine != 0 ? "!" + std::to_string(csv.unclosedLine) : "");
}

TEST(SplitCsvRows, LinesAndCells) {
  using namespace std::literals;
  const std::string longCell(50000, 'q');
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"1,\"x,y\",2,", "1|x,y|2|/"}, {"1,2", "1|2|/"},        {"1,2,", "1|2|/"},       {"BDNW", "BDNW|/"},
      {"1,\"a b\"", "1|a b|/"},      {"1,\"\"", "1||/"},       {"1,\"a,b", "!1"},       {"\"", "!1"},
      {"a,\"b\",c", "a|b|c|/"},      {"\"abc,1,", "!1"},        {",,", "||/"},          {",\"a,b\",", "|a,b|/"},
      {" a , b ,", " a | b |/"},   {"a\"\",b,", "a\"\"|b|/"}, {"\"a\",b\",", "a|b\"|/"},  {"\"\",x\"y,", "|x\"y|/"},
      {"\"a\"b\",", "a\"b|/"},
      {"1,2\0,3,"s, "1|2|/"},      {"\0a,"s, "/"},           {"a,\r\nb,\r\n", "a|/b|/"}, {"a,\nb,", "a|/b|/"},
      {"a,\n\n", "a|//"},          {"a\r,b,\r", "a\r|b|\r|/"}, {"a,\n\x1A,b,\n", "a|/"},  {"", ""},
      {"a,\n\"x\x1Ay\",z,\nb,\n", "a|/!2"},
      {"a,\n\"" + longCell + "\",\nb,\n", "a|/" + longCell + "|/b|/"},
      // Doubled quotes, and line ends inside a quoted cell.
      {"1,\"say \"\"hi\"\", then go\",2,", "1|say \"hi\", then go|2|/"}, {"1,\"\"\"\",2,", "1|\"|2|/"},
      {"1,\"end\"\"\",2,", "1|end\"|2|/"},  {"1,\"a\"b\",2,", "1|a\"b|2|/"},  {"1,\"x\"\"\",2", "1|x\"|2|/"},
      {"1,\"one\r\ntwo\",2,\r\n3,", "1|one\ntwo|2|/3|/"},      {"a,\r\n1,\"open,2,", "a|/!2"},
      {"\"a\"\r\n\"b\"\nc", "a|/b|/c|/"},     {"\"a\"\"\nb\",", "a\"\nb|/"},     {"\"\"\"", "!1"},
      {"\"a\"\rb\",\"c\rd\",", "a\"\rb|c\rd|/"},  {"\"a\r\r\nb\",", "a\r\nb|/"}, {"\"\n\",\"\"\"\"", "\n|\"|/"},
      {"\"a\nb\",\n\"c\n", "a\nb|/!3"},  {"1,\"a\nb\0c\",2\nz,"s, "1|/z|/"}, {"\"a\"\0x,"s, "a|/"},
      {"\"\"\"a\",\"a\"\"\"\"\"\"\",\"\"\"\"\"\"\"\"", "\"a|a\"\"\"|\"\"\"|/"}};
  // clang-format on
  for (const auto& [file, rows] : cases) {
    EXPECT_EQ(joined(splitCsvRows(file)), rows) << file.substr(0, 30);
  }
}

TEST(CsvReader, FirstRowNamesTheLayoutAndRowsOfAnotherCellCountAreCounted) {
  const std::string match = "Signature matches itemnamecache.wdb\n";
  const std::string noMatch = "Header does not match any known WDB file.\n";
  const std::string uneven =
      "WARNING: 4 record rows do not have the layout's 4 cells;\n"
      "         missing cells are written as 0 or empty text, extra cells are dropped.\n";
  // The file, the console, and the rows kept (as above; none where it is refused).
  const std::string cases[][3] = {
      {kBom + "BDNW,7,\n", match + "1 records loaded.\n", "BDNW|7|/"},
      {kBom + "\"BDNW\",7,\n", noMatch, ""},
      {"BDNWX,7,\n" + kBom + "a,\n", match + "2 records loaded.\n", "BDNWX|7|/" + kBom + "a|/"},
      {"BDN,7,\n", noMatch, ""},
      {"bdnw,7,\n", noMatch, ""},
      {"\"BDNW\",7,\n", match + "1 records loaded.\n", "BDNW|7|/"},
      {"", noMatch, ""},
      {"\n", noMatch, ""},
      {"\x1A"
       "BDNW,\n",
       noMatch, ""},
      {"BDNW\n1\n25,15,\"a,b\",13\n\n", match + "4 records loaded.\n", "BDNW|/1|/25|15|a,b|13|//"},
      {"BDNW\n1\n1,2,\"a\",3,9,\n1,2,\"a\"\n1,2,\"a\",b\",3,\n7,\n",
       match + "6 records loaded.\n" + uneven, "BDNW|/1|/1|2|a|3|9|/1|2|a|/1|2|a|b\"|3|/7|/"},
      // A row over several lines counts once; a quoted cell never closed.
      {"BDNW\n1\n1,2,\"a\n\nb\",3,\n", match + "3 records loaded.\n", "BDNW|/1|/1|2|a\n\nb|3|/"},
      {"BDNW,7,\n\"1\n2\",\n1,\"x\n",
       match + "A quoted cell that starts on line 4 is never closed.\n", ""},
      {"BDNW,\"7\n", "A quoted cell that starts on line 1 is never closed.\n", ""},
      {"bdnw,7,\n\"x\n", noMatch, ""}};
  for (const auto& [csv, console, rows] : cases) {
    const LoadedCsv loaded = loadCsvBytes(csv, formatCatalogue());
    EXPECT_EQ(loaded.ok, console.find(" loaded.") != std::string::npos) << csv;
    EXPECT_EQ(loaded.console, console) << csv;
    EXPECT_EQ(joined(loaded.rows), rows) << csv;
  }
}

TEST(RebuildHeader, ConvertsCellsAndFillsMissingOnes) {
  const std::pair<std::string, std::string> cases[] = {
      {"BDNW,7,abcd,8,1,", header("BDNW", 7, "abcd", 8, 1)},
      {"BDNW, 12,12abc,-1,abc,", header("BDNW", 12, "12ab", 0xFFFFFFFF, 0)},
      {"BDNW,4294967295,ab,+8,007,,extra,", header("BDNW", 0xFFFFFFFF, "ab", 8, 7)},
      {"BDNW,", header("BDNW", 0, "", 0, 0)},
      {"BDNW,5,,", header("BDNW", 5, "", 0, 0)},
      {"\"BDNW\",\"7\",\"a\"\"b\",\"\"\"8\",\"1\r\n\",", header("BDNW", 7, "a\"b", 0, 1)}};
  for (const auto& [firstLine, headerBytes] : cases) {
    EXPECT_EQ(csvToCache(firstLine + "\n").file, headerBytes + std::string(8, '\0')) << firstLine;
  }
}

TEST(CsvWriter, HeaderWordsAndTextsAsTheyStand) {
  // A tag ends at its first zero byte, and is quoted where its bytes would
  // end the cell; every LF becomes the file's CR LF, and every double quote of
  // a text is doubled.
  const std::string text = "say \"hi\", %d\nbye" + std::string(100000, 'x');
  EXPECT_EQ(cacheToCsv(header("XTIW", 0xFFFFFFFF, bytes({'a', '\n', 0, 'c'}), 0x80000000, 5) +
                       word(1) + word(4) + text + '\0')
                .file,
            "XTIW,-1,\"a\r\n\",-2147483648,5,\r\nEntryID,Entry Size,Text,\r\n1,4,\"say \"\"hi\"\", "
            "%d\r\nbye" +
                std::string(100000, 'x') + "\",\r\n");
  for (const std::string tag : {"enUS", "a,b", "\"q\"", "\r\n\r", "x\"\n"}) {
    const std::string cache = header("XTIW", 1, tag, 0, 5) + word(1) + word(4) + "t" +
                              std::string(1, '\0') + std::string(8, '\0');
    EXPECT_EQ(csvToCache(cacheToCsv(cache).file).file, cache) << tag;
  }
  // A tag that holds the byte 1A: the warning of texts, and the way back refused.
  const Converted cut = cacheToCsv(header("XTIW", 1, "e\x1AU", 0, 5) + std::string(8, '\0'));
  EXPECT_NE(cut.console.find("WARNING: 1 texts hold the byte 1A;"), std::string::npos);
  EXPECT_EQ(csvToCache(cut.file).file, "");
}

// A made-up layout with the given field kinds: the CSV of a cache of records
// with the given slots, and the records' bytes when that CSV is read back.
std::pair<std::string, std::string> madeUp(const std::vector<FieldKind>& kinds,
                                           const std::vector<std::uint32_t>& slots,
                                           std::uint32_t build = 0) {
  FormatDefinition d;
  d.startLayout("made.wdb", "MADE", build);
  for (FieldKind kind : kinds) {
    d.addField(kind, kind == FieldKind::kI32 ? "100%d" : "");
  }
  FormatCatalogue catalogue;
  catalogue.append(d);
  std::string cache =
      header("MADE", build, "", 0, 0);  // a byte field is one byte, any other a word
  for (std::size_t i = 0; i < slots.size(); ++i) {
    cache +=
        kinds[i % kinds.size()] == FieldKind::kU8 ? std::string(1, char(slots[i])) : word(slots[i]);
  }
  const std::string csv = cacheToCsv(cache + std::string(8, '\0'), &catalogue).file;
  const std::string back = csvToCache(csv, &catalogue).file;
  return {csv, back.substr(20, back.size() - 28)};
}

TEST(CsvWriter, EveryFieldRuleThereAndBack) {
  using enum FieldKind;
  EXPECT_EQ(madeUp({kU32, kI32, kF32, kF32, kF32, kF32, kU8, kU32, kF32, kI32},
                   {0xFFFFFFFF, 0xFFFFFFFF, 0x7FC00000, 0xFFC00000, 0x7F800000, 0xFF800000, 0xC8,
                    0x80000000, 0x40200000, 0x80000000}),
            std::pair(std::string("MADE,0,,0,0,\r\n"
                                  "Column 1,100%d,Column 3,Column 4,Column 5,Column 6,Column 7,"
                                  "Column 8,Column 9,100%d,\r\n"
                                  "4294967295,4294967295,nan,-nan,inf,-inf,200,2147483648,2.500000,"
                                  "-2147483648,\r\n"),
                      word(0xFFFFFFFF) + word(0xFFFFFFFF) + std::string(16, '\0') + bytes({0xC8}) +
                          word(0x80000000) + word(0x40200000) + word(0x80000000)));
  // Numbers are written from their digit count, which grows at each power of ten.
  EXPECT_EQ(
      madeUp({kU32, kU32}, {99999999, 100000000, 999999999, 1000000000}).first,
      "MADE,0,,0,0,\r\nColumn 1,Column 2,\r\n99999999,100000000,\r\n999999999,1000000000,\r\n");
}

// A build's own layouts keep "%f" where it reads back to the same float, and
// write the shortest decimals that do elsewhere.
TEST(CsvWriter, FloatsOfABuildsOwnLayoutsComeBackExactly) {
  const std::vector<std::uint32_t> slots = {1, 4, std::bit_cast<std::uint32_t>(1.4493271f),
                                            2, 4, std::bit_cast<std::uint32_t>(0.1f),
                                            3, 4, 0x80000001,
                                            4, 4, std::bit_cast<std::uint32_t>(3e38f)};
  std::string records;
  for (std::uint32_t slot : slots) {
    records += word(slot);
  }
  EXPECT_EQ(madeUp({FieldKind::kU32, FieldKind::kU32, FieldKind::kF32}, slots, 5875),
            std::pair(std::string("MADE,5875,,0,0,\r\nColumn 1,Column 2,Column 3,\r\n"
                                  "1,4,1.4493271,\r\n2,4,0.100000,\r\n"
                                  "3,4,-0.000000000000000000000000000000000000000000001,\r\n"
                                  "4,4,300000000549775575777803994281145270272.000000,\r\n"),
                      records));
}

// Every finite float of a build's own layouts reads back from its cell.
TEST(CsvWriter, ExactFloatsReadBack) {
  std::mt19937 random(5);
  for (int i = 0; i < 200000; ++i) {
    const auto bits = static_cast<std::uint32_t>(random()) >> (i % 2 == 0 ? 0 : 8) << (i % 3);
    char text[kMaxNumberCell];
    if (std::isfinite(std::bit_cast<float>(bits))) {
      const std::string_view cell(text,
                                  static_cast<std::size_t>(writeExactFloat(text, bits) - text));
      ASSERT_EQ(std::bit_cast<std::uint32_t>(textToFloat(cell)), bits) << cell;
    }
  }
}

TEST(CsvWriter, FloatsPrintAsPrintfPrintsThem) {
  std::vector<std::uint32_t> bits;
  std::string expected = "MADE,0,,0,0,\r\nColumn 1,Column 2,Column 3,\r\n";
  std::mt19937 random(7);
  for (float value : {0.0f, -0.0f, 0.0078125f, 0.0000001f, 3.4028235e38f, 1e-45f, 2.5e-7f}) {
    bits.push_back(std::bit_cast<std::uint32_t>(value));
  }
  while (bits.size() < 20000) {
    bits.push_back(static_cast<std::uint32_t>(random()));
    const double value = std::bit_cast<float>(bits.back());
    if (!std::isfinite(value)) {
      bits.pop_back();
    }
  }
  std::vector<std::uint32_t> slots;  // records of a key, an entry size and a float
  for (std::uint32_t value : bits) {
    char text[64];
    std::snprintf(text, sizeof text, "1,4,%f,\r\n",
                  static_cast<double>(std::bit_cast<float>(value)));
    expected += text;
    slots.insert(slots.end(), {1, 4, value});
  }
  EXPECT_EQ(madeUp({FieldKind::kU32, FieldKind::kU32, FieldKind::kF32}, slots).first, expected);
}

TEST(TextToInteger, WrapsModulo2To32AndIgnoresWhatFollows) {
  // clang-format off
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"0", 0},           {"4294967295", 0xFFFFFFFF},  {"-1", 0xFFFFFFFF}, {"4294967296", 0},
      {"4294967297", 1},  {"-2147483648", 0x80000000}, {"+8", 8},          {"\t\n\v\f\r 7", 7},
      {"12abc", 12},      {"abc", 0},                  {"", 0},            {"-", 0},
      {"--1", 0},         {"- 1", 0},                  {"1 2", 1},         {"0x10", 0},
      {"007", 7},         {"99999999999999999999", 1661992959}, {"7:", 7}};  // 10^20 - 1 modulo 2^32
  const std::pair<const char*, std::uint32_t> binary[] = {
      {"0010001101000101", 0x2345}, {"  101x1", 5}, {"", 0}, {"2", 0},
      {"11111111111111110000000000000000", 0xFFFF0000}, {"1000000000000000000000000000000001", 1}};
  // clang-format on
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(textToInteger(text), value) << text;
  }
  for (const auto& [text, value] : binary) {
    EXPECT_EQ(binaryTextToInteger(text), value) << text;
  }
}

// The fast reading of a float as the CSV writer prints it gives what the
// general reading gives, and takes nothing else.
TEST(TextToFloat, PrintedDecimalsReadAsTheGeneralReadingReadsThem) {
  std::vector<std::pair<std::string, bool>> cases = {
      {"0.000000", true},         {"-0.000000", true},  {"1.500000", true},  {"1234567.", true},
      {"9999999.99999999", true}, {"0.1234567", true},  {"-1.05", false},    {"12345678.0", false},
      {"1.234567891", false},     {"1.5e+003", false},  {"1,500000", false}, {"1.50000x0", false},
      {" 1.500000", false},       {"+1.500000", false}, {"-.5000000", false}};
  std::mt19937 random(3);
  std::uniform_real_distribution<float> floats(-9999999.0f, 9999999.0f);
  for (int i = 0; i < 20000; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", i % 9, static_cast<double>(floats(random)));
    cases.emplace_back(text, std::strlen(text) - (text[0] == '-' ? 1 : 0) >= 8);
  }
  for (const auto& [text, fast] : cases) {
    double value = 0;
    ASSERT_EQ(readPrintedDecimal(text, value), fast) << text;
    if (fast) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(value),
                std::bit_cast<std::uint64_t>(textToDouble(text)))
          << text;
    }
  }
}

TEST(TextToFloat, DecimalNumbersRoundedTwice) {
  const std::uint32_t inf = 0x7F800000, minusInf = 0xFF800000;
  // clang-format off
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"1.5d2", 0x43160000}, {"1.5D2", 0x43160000}, {"1.5e+2", 0x43160000}, {"1.5E-1", 0x3E19999A},
      {"+5", 0x40A00000},    {"-0", 0x80000000},    {"  \t3", 0x40400000},  {"12abc", 0x41400000},
      {"1e", 0x3F800000},    {"1e+", 0x3F800000},   {"2.5.5", 0x40200000},  {"abc", 0},
      {"", 0},               {".", 0},              {"-", 0},               {"inf", 0},
      {"nan", 0},            {"0x10", 0},           {"3.5e38", inf},        {"-1e39", minusInf},
      {"1e400", inf},        {"1e-400", 0},         {"-1e-400", 0x80000000}, {"1.4e-45", 1},
      {"-1d99999999999999999999", minusInf}};
  // clang-format on
  for (const auto& [text, bits] : cases) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(textToFloat(text)), bits) << text;
  }
  // Read as a double first: just above the halfway point between 1 and the
  // next float, but the double is that point, which rounds to even.
  EXPECT_EQ(textToFloat("1.0000000596046447753906251"), 1.0f);
  // Just below where floats overflow, but read as the double on that point,
  // which rounds to infinity.
  EXPECT_EQ(textToFloat("340282356779733661637539395458142568447.9"), std::bit_cast<float>(inf));
  EXPECT_EQ(textToFloat("0." + std::string(5000, '0') + "1e5000"), 0.1f);
  EXPECT_EQ(textToFloat(std::string(400, '9')), std::bit_cast<float>(inf));
  // Too small for a double, though leading zeros or a large exponent say otherwise.
  EXPECT_EQ(textToFloat("0." + std::string(350, '0') + "1e20"), 0.0f);
  EXPECT_EQ(textToFloat(std::string(170, '0') + "1e-325"), 0.0f);
  EXPECT_EQ(textToFloat(std::string(700, '9') + "e-300"), std::bit_cast<float>(inf));
  EXPECT_EQ(textToFloat(std::string_view("    ", 2)), 0.0f);  // blanks to the end
  EXPECT_EQ(textToFloat(std::string_view("2.51", 3)), 2.5f);  // a cell ends where its text does
}

// Random decimals, in forms that from_chars reads too: the result must be
// its double rounded to single precision.
TEST(TextToFloat, AgreesWithTheStandardLibrarysDecimalReading) {
  std::mt19937 random(3);
  const auto digits = [&](unsigned count) {
    return (std::to_string(random()) + std::to_string(random()) + std::to_string(random()))
        .substr(0, count);
  };
  for (int i = 0; i < 200000; ++i) {
    const std::string text =
        (random() % 2 ? "-" : "") + digits(random() % 18) +
        (random() % 4 != 0 ? "." + digits(random() % 24) : "") +
        (random() % 8 == 0 ? std::string(random() % 2 ? "e-" : "e") + std::to_string(random() % 60)
                           : "");
    double expected = 0.0;
    if (std::from_chars(text.data(), text.data() + text.size(), expected).ec == std::errc()) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(textToFloat(text)),
                std::bit_cast<std::uint32_t>(static_cast<float>(expected)))
          << text;
    }
  }
}

}  // namespace
}  // namespace cachesift::testing
