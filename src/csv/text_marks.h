#pragma once

// The inside of a text cell, written and read. The texts of a build's layouts
// show a carriage return as ␍ (U+240D), which a spreadsheet keeps and a
// reader sees, where a raw CR would come back from a spreadsheet as a line
// break of its own. A ␍ or ␛ (U+241B) that a text holds itself is written
// with a ␛ before it, so that every text comes back as it was.

#include <array>
#include <string_view>

#include "io/byte_scan.h"
#include "io/byte_sink.h"

namespace cachesift {

inline constexpr std::string_view kCrMark = "\xE2\x90\x8D";      // ␍
inline constexpr std::string_view kEscapeMark = "\xE2\x90\x9B";  // ␛

// Whether the three bytes at `at` are one of the two marks.
inline bool isMark(const char* at, const char* last) {
  return last - at >= 3 && at[0] == '\xE2' && at[1] == '\x90' &&
         (at[2] == '\x8D' || at[2] == '\x9B');
}

// Whether a cell's bytes are read with marks: they hold one, and no CR but
// those before an LF. A cell written before marks were, whose CRs are raw,
// reads as it always did.
inline bool holdsMarks(std::string_view bytes) {
  if (bytes.find("\xE2\x90") == std::string_view::npos) {
    return false;
  }
  for (std::size_t cr = bytes.find('\r'); cr != std::string_view::npos;
       cr = bytes.find('\r', cr + 1)) {
    if (cr + 1 == bytes.size() || bytes[cr + 1] != '\n') {
      return false;
    }
  }
  return true;
}

// Appends `text` with its marks read: ␍ as a CR, ␛ and a mark after it as
// that mark. A ␛ before anything else stands for itself.
template <typename Out>
void unmark(std::string_view text, Out& out) {
  const char* at = text.data();
  const char* const last = at + text.size();
  for (;;) {
    const char* mark = findByte(at, last, '\xE2');
    while (mark != last && !isMark(mark, last)) {
      mark = findByte(mark + 1, last, '\xE2');
    }
    out.append(std::string_view(at, static_cast<std::size_t>(mark - at)));
    if (mark == last) {
      return;
    }
    at = mark + 3;
    if (mark[2] == '\x8D') {
      out.append(std::string_view("\r"));
    } else if (isMark(at, last)) {
      out.append(std::string_view(at, 3));
      at += 3;
    } else {
      out.append(kEscapeMark);
    }
  }
}

// Writes a text cell's inside from [text, last): every double quote twice,
// every LF as CR LF, and where CR and 0xE2 are among `stops`, every CR and
// mark as marked; up to the first of `stops` that is none of those, which is
// returned (or `last`).
template <std::size_t N>
const char* appendQuotedText(ByteSink& sink, const char* text, const char* last,
                             const std::array<char, N>& stops) {
  for (;; ++text) {
    const char* const stop = findAnyOf(text, last, stops);
    sink.append(std::string_view(text, static_cast<std::size_t>(stop - text)));
    text = stop;
    if (stop == last) {
      return stop;
    }
    switch (*stop) {
      case '"':
        sink.append(std::string_view("\"\""));
        break;
      case '\n':
        sink.append(std::string_view("\r\n"));
        break;
      case '\r':
        sink.append(kCrMark);
        break;
      case '\xE2':
        if (isMark(stop, last)) {
          sink.append(kEscapeMark);
        }
        sink.append(*stop);
        break;
      default:
        return stop;
    }
  }
}

}  // namespace cachesift
