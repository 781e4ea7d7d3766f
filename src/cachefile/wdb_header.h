#pragma once

// The header of a cache file, its words read and written.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cachefile/coding.h"

namespace cachesift {

inline constexpr std::size_t kHeaderSize = 20;
// From client build 9506 on, the header has a sixth word.
inline constexpr std::size_t kLongHeaderSize = 24;

// The bytes at the start of a cache file: five or six little-endian words.
// The signature and the tag are four characters kept in file order, so their
// bytes come back unchanged through decodeFixed32/encodeFixed32.
struct WdbHeader {
  std::uint32_t signature = 0;
  std::uint32_t headerWord1 = 0;  // the client build
  std::uint32_t headerTag = 0;
  std::uint32_t recordBytes = 0;
  std::uint32_t headerWord4 = 0;
  std::uint32_t headerWord5 = 0;  // only in a 24-byte header

  // Reads the header from up to 24 bytes; words the bytes do not reach stay 0.
  static WdbHeader decode(std::string_view bytes);
  // All six words: a 20-byte header is the first 20 bytes.
  std::array<unsigned char, kLongHeaderSize> encode() const;
};

// The four bytes of a word in file order.
inline std::array<char, 4> fourChars(std::uint32_t word) {
  std::array<unsigned char, 4> bytes;
  encodeFixed32(bytes.data(), word);
  return {static_cast<char>(bytes[0]), static_cast<char>(bytes[1]), static_cast<char>(bytes[2]),
          static_cast<char>(bytes[3])};
}

// The word whose file bytes are the first four bytes of `text`, zero bytes
// standing in for missing ones.
inline std::uint32_t wordFromChars(std::string_view text) {
  std::array<unsigned char, 4> bytes{};
  for (std::size_t i = 0; i < bytes.size() && i < text.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(text[i]);
  }
  return decodeFixed32(bytes.data());
}

inline WdbHeader WdbHeader::decode(std::string_view bytes) {
  std::array<unsigned char, kLongHeaderSize> raw{};
  for (std::size_t i = 0; i < raw.size() && i < bytes.size(); ++i) {
    raw[i] = static_cast<unsigned char>(bytes[i]);
  }
  return {decodeFixed32(&raw[0]),  decodeFixed32(&raw[4]),  decodeFixed32(&raw[8]),
          decodeFixed32(&raw[12]), decodeFixed32(&raw[16]), decodeFixed32(&raw[20])};
}

inline std::array<unsigned char, kLongHeaderSize> WdbHeader::encode() const {
  std::array<unsigned char, kLongHeaderSize> raw;
  encodeFixed32(&raw[0], signature);
  encodeFixed32(&raw[4], headerWord1);
  encodeFixed32(&raw[8], headerTag);
  encodeFixed32(&raw[12], recordBytes);
  encodeFixed32(&raw[16], headerWord4);
  encodeFixed32(&raw[20], headerWord5);
  return raw;
}

}  // namespace cachesift
