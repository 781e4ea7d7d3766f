#pragma once

// How a cache body holds its records: each is its key, its entry size and its
// fields. A build's own layouts frame the fields by the entry size; the
// built-in ones do not, and their fields run as far as the layout reads. The
// one reader of frames, and the one writer.

#include <cstdint>
#include <string_view>

#include "cachefile/coding.h"
#include "catalogue/format_definition.h"
#include "io/byte_sink.h"

namespace cachesift {

// The built-in layouts read this many records at most, as the tool always
// has; a build's own layouts read every record that frames.
inline constexpr std::uint32_t kMaxRecords = 65535;

// One record of a body.
struct RecordFrame {
  std::string_view key;
  std::uint32_t entrySize = 0;
  const char* fields = nullptr;
  // Where a framed record ends; for the built-in layouts, the body's end.
  const char* end = nullptr;
};

// Reads the records of a body from its start, one frame at a time; nothing
// is ever read past the body.
class FrameReader {
 public:
  FrameReader(const RecordFraming& framing, std::string_view body)
      : body_(body),
        keyBytes_(framing.keyBytes),
        sizeBias_(framing.sizeBias),
        framed_(framing.bySize) {}
  FrameReader(const FormatDefinition& layout, std::string_view body)
      : FrameReader(layout.framing(), body) {}

  // The next record, or false where the records end: at a key of zero, where
  // too few bytes are left for a key and an entry size, at an entry size that
  // runs past the body (framed) or is below 4 (built-in).
  bool next(RecordFrame& frame) const {
    const std::size_t left = body_.size() - at_;
    const char* const key = body_.data() + at_;
    if (left < keyBytes_ + 4 || allZero(key, keyBytes_)) {
      return false;
    }
    const std::uint32_t entrySize = decodeFixed32(bytes(key + keyBytes_));
    const std::size_t fields = at_ + keyBytes_ + 4;
    if (framed_ ? entrySize < sizeBias_ || entrySize - sizeBias_ > body_.size() - fields
                : entrySize < 4) {
      return false;
    }
    frame = {
        {key, keyBytes_},
        entrySize,
        body_.data() + fields,
        framed_ ? body_.data() + fields + (entrySize - sizeBias_) : body_.data() + body_.size()};
    return true;
  }

  // Goes on after a record whose fields end at `end`.
  void skipTo(const char* end) { at_ = static_cast<std::size_t>(end - body_.data()); }
  std::size_t offset() const { return at_; }

  // Whether what is left is exactly an end marker: a key and entry size of
  // zero.
  bool atEndMarker() const {
    return body_.size() - at_ == keyBytes_ + 4 && allZero(body_.data() + at_, keyBytes_ + 4);
  }

 private:
  static const unsigned char* bytes(const char* p) {
    return reinterpret_cast<const unsigned char*>(p);
  }
  static bool allZero(const char* p, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (p[i] != 0) {
        return false;
      }
    }
    return true;
  }

  std::string_view body_;
  std::size_t at_ = 0;
  std::size_t keyBytes_;
  std::uint32_t sizeBias_;
  bool framed_;
};

// Appends a little-endian word.
void appendWord(ByteSink& sink, std::uint32_t word);
// Appends a record's key, from the text of its cell, and its entry size, from
// the length of its fields as written; then the fields.
void appendFrame(ByteSink& sink, const RecordFraming& framing, std::string_view keyCell,
                 std::string_view fields);
// Appends the key of a record's row: a u32 in decimal, or hexadecimal text.
void appendKeyCell(ByteSink& sink, const RecordFraming& framing, std::string_view key);
// Appends the end of a body's records: a key and an entry size of zero.
inline void appendEndMarker(ByteSink& sink, const RecordFraming& framing) {
  sink.append(std::string(framing.keyBytes + 4, '\0'));
}

}  // namespace cachesift
