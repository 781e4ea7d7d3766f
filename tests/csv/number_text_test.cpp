#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <limits>
#include <random>
#include <string>

#include "cachefile/text_to_float.h"
#include "csv/text_to_integer.h"

namespace cachesift {
namespace {

TEST(TextToInteger, WrapsModulo2To32AndIgnoresWhatFollows) {
  // clang-format off
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"0", 0},           {"4294967295", 0xFFFFFFFF},  {"-1", 0xFFFFFFFF}, {"4294967296", 0},
      {"4294967297", 1},  {"-2147483648", 0x80000000}, {"+8", 8},          {"\t\n\v\f\r 7", 7},
      {"12abc", 12},      {"abc", 0},                  {"", 0},            {"-", 0},
      {"--1", 0},         {"- 1", 0},                  {"1 2", 1},         {"0x10", 0},
      {"007", 7},         {"99999999999999999999", 1661992959}};  // 10^20 - 1 modulo 2^32
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
}

// Random decimals, in forms that from_chars reads too: the result must be
// its double rounded to single precision.
TEST(TextToFloat, AgreesWithTheStandardLibrarysDecimalReading) {
  std::mt19937 random(3);
  const auto digits = [&](unsigned count) {
    std::string text;
    while (count-- > 0) {
      text.push_back(static_cast<char>('0' + random() % 10));
    }
    return text;
  };
  for (int i = 0; i < 200000; ++i) {
    std::string text = (random() % 2 ? "-" : "") + digits(random() % 18);
    if (random() % 4 != 0) {
      text += "." + digits(random() % 24);
    }
    if (random() % 8 == 0) {
      text += "e" + std::string(random() % 2 ? "-" : "") + std::to_string(random() % 60);
    }
    double expected = 0.0;
    if (std::from_chars(text.data(), text.data() + text.size(), expected).ec == std::errc()) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(textToFloat(text)),
                std::bit_cast<std::uint32_t>(static_cast<float>(expected)))
          << text;
    }
  }
}

}  // namespace
}  // namespace cachesift
