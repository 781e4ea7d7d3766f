// Numbers and bytes as cell text, and hexadecimal text read back.

#include "csv/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "csv/text_to_float.h"

namespace cachesift {

char* writeDecimal64(char* out, std::uint64_t value) {
  return value <= UINT32_MAX ? writeDecimal(out, static_cast<std::uint32_t>(value))
                             : std::to_chars(out, out + kMaxNumberCell, value).ptr;
}

char* writeSigned64(char* out, std::int64_t value) {
  return std::to_chars(out, out + kMaxNumberCell, value).ptr;
}

namespace {

// writeFloat(), which gives the millionths it printed, all of them in
// `millionths` (a sign apart), or -1 where it printed otherwise.
char* writeSixDecimals(char* out, std::uint32_t bits, std::int64_t& millionths) {
  millionths = -1;
  const double value = std::bit_cast<float>(bits);
  if (std::isnan(value) || std::isinf(value)) {
    const std::string_view text =
        std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan") : (value < 0 ? "-inf" : "inf");
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
  }
  // The float is mantissa * 2^exponent exactly. Below 2^64 its millionths fit
  // in 64 bits and are rounded here, in integers; that is five times faster
  // than the general conversion, which prints the rest (up to 39 digits).
  const std::uint32_t exponentBits = (bits >> 23) & 0xFF;
  std::uint64_t mantissa = bits & 0x7FFFFF;
  int exponent = -149;  // a subnormal's
  if (exponentBits != 0) {
    mantissa |= 0x800000;
    exponent = static_cast<int>(exponentBits) - 150;
  }
  char* const end = out + kMaxNumberCell;
  if (exponent > 40) {
    return std::to_chars(out, end, value, std::chars_format::fixed, 6).ptr;
  }
  constexpr std::uint64_t kMillion = 1'000'000;
  std::uint64_t whole = 0;
  std::uint32_t fraction = 0;
  if (exponent >= 0) {
    whole = mantissa << exponent;
  } else if (exponent > -64) {
    const int shift = -exponent;
    const std::uint64_t scaled = mantissa * kMillion;  // below 2^44
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    std::uint64_t rounded = scaled >> shift;
    // Up above half, and at half to even; without a branch, as a float's
    // last bits are unpredictable.
    rounded += (rest > half || (rest == half && (rounded & 1) != 0)) ? 1 : 0;
    whole = rounded / kMillion;
    fraction = static_cast<std::uint32_t>(rounded % kMillion);
  }  // else: below half a millionth, it prints as zero
  // Up to 15 digits, as textToFloat() reads plain decimals exactly.
  millionths = whole < 1'000'000'000 ? static_cast<std::int64_t>(whole * kMillion + fraction) : -1;
  *out = '-';
  out += bits >> 31;
  out = writeDecimal64(out, whole);
  *out++ = '.';
  storeEightBytes(out, eightDigitText(fraction) >> 16);  // the last six
  return out + 6;
}

}  // namespace

char* writeFloat(char* out, std::uint32_t bits) {
  std::int64_t millionths;
  return writeSixDecimals(out, bits, millionths);
}

char* writeExactFloat(char* out, std::uint32_t bits) {
  std::int64_t millionths;
  char* const end = writeSixDecimals(out, bits, millionths);
  // Whether the text reads back to the float: textToFloat() reads a plain
  // decimal of up to 15 digits as the digits over a power of ten, the same
  // division as here; any other text it reads itself.
  const auto readBack = [&] {
    if (millionths < 0) {
      return textToFloat({out, static_cast<std::size_t>(end - out)});
    }
    const auto magnitude = static_cast<float>(static_cast<double>(millionths) / 1e6);
    return (bits >> 31) != 0 ? -magnitude : magnitude;
  };
  if (std::bit_cast<std::uint32_t>(readBack()) == bits) {
    return end;
  }
  return std::to_chars(out, out + kMaxNumberCell, std::bit_cast<float>(bits),
                       std::chars_format::fixed)
      .ptr;
}

char* writeExactDouble(char* out, std::uint64_t bits) {
  return std::to_chars(out, out + kMaxNumberCell, std::bit_cast<double>(bits)).ptr;
}

void appendHex(ByteSink& sink, std::string_view bytes) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  while (!bytes.empty()) {
    const std::size_t chunk = std::min(bytes.size(), ByteSink::kMaxReserve / 2);
    char* out = sink.reserve(2 * chunk);
    for (const char c : bytes.substr(0, chunk)) {
      const auto byte = static_cast<unsigned char>(c);
      *out++ = kDigits[byte >> 4];
      *out++ = kDigits[byte & 0xF];
    }
    sink.commit(out);
    bytes.remove_prefix(chunk);
  }
}

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string bytesFromHex(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0) {
      break;
    }
    bytes.push_back(static_cast<char>(high << 4 | low));
  }
  return bytes;
}

}  // namespace cachesift
