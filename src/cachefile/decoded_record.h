#pragma once

#include <cstdint>
#include <string_view>

#include "cachefile/coding.h"
#include "catalogue/field_type.h"

namespace cachesift {

// Reading stops after this many records.
inline constexpr std::uint32_t kMaxRecords = 65535;

// How a record stores a field: the first flag, in this order, that the field
// holds decides. The record id and entry size are words, but for a key of
// hexadecimal bytes. Hexadecimal bytes past the key are the record's rest.
enum class FieldStorage : std::uint8_t { kWord, kByte, kText, kHex };

inline FieldStorage fieldStorage(FieldType type, std::uint32_t position) {
  if (type & FT_HEX) {
    return FieldStorage::kHex;
  }
  if (position < 2) {
    return FieldStorage::kWord;
  }
  if (type & FT_STRING) {
    return FieldStorage::kText;
  }
  return (type & FT_BYTE) ? FieldStorage::kByte : FieldStorage::kWord;
}

// Walks the fields of the records that decodeRecords() found complete, from
// the body's start, checking nothing. A field's value is a number's 32 bits
// as stored (a byte widened without sign), or for a text the offset of its
// first byte in the body; the text ends at its NUL.
class RecordReader {
 public:
  explicit RecordReader(const char* body) : body_(body), at_(body) {}

  std::uint32_t next(FieldStorage storage) {
    switch (storage) {
      case FieldStorage::kWord:
        return nextWord();
      case FieldStorage::kByte:
        return static_cast<unsigned char>(*at_++);
      case FieldStorage::kText:
      case FieldStorage::kHex:
        break;
    }
    const char* const text = nextText().data();
    return static_cast<std::uint32_t>(text - body_);
  }

  std::uint32_t nextWord() {
    at_ += 4;
    return decodeFixed32(reinterpret_cast<const unsigned char*>(at_ - 4));
  }

  // Hands the first byte of the next text to `write`, which reads it and
  // gives back the byte after its NUL.
  template <typename Write>
  void writeNextText(Write&& write) {
    at_ = write(at_);
  }

  std::string_view nextText() {
    const std::string_view text(at_);
    at_ += text.size() + 1;
    return text;
  }

  std::string_view nextBytes(std::size_t count) {
    at_ += count;
    return {at_ - count, count};
  }

  const char* position() const { return at_; }

 private:
  const char* body_;
  const char* at_;
};

}  // namespace cachesift
