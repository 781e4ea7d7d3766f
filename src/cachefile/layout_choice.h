#pragma once

// The one choice of a layout, for both directions: from what the cache's
// header or the CSV's first row says, and from the records where there are
// some; and the console's lines about it.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cachefile/layout_derivation.h"
#include "cachefile/record_walk.h"
#include "catalogue/format_definition.h"

namespace cachesift {

// What starts the first row's seventh cell of a CSV whose layout was chosen
// because it fits the records best; the layout's first build follows, and
// kUserMark where the layout is from a user's file; then, for a layout
// derived from that one, its changes (changesText()).
inline constexpr std::string_view kLayoutMark = "layout ";
inline constexpr std::string_view kUserMark = " user";

// What a direction knows when it chooses.
struct ChoiceInput {
  std::array<char, 4> signature{};
  std::uint32_t build = 0;
  // A CSV's: the first row's seventh cell, where it starts with kLayoutMark
  // (from build 9506 on); and whether its sixth cell is a number, the
  // header's sixth word that a cache read as bytes keeps, and the sign that
  // it was. A cache has a layout or bytes where its build has no layout.
  std::optional<std::string_view> mark;
  std::optional<bool> sixthWord;
  // A cache's: the whole file, once it is at hand.
  std::optional<std::string_view> file;
};

enum class ChosenBy : std::uint8_t {
  kNone,         // no layout has the signature (or the build has only bytes)
  kUnknownMark,  // the CSV names a layout that there is none of
  kBuiltIn,      // the built-in layout of the cache file
  kBuild,        // the layout of the build, a user's first
  kFit,          // the layout that fits the records best
  kMark,         // the layout that the CSV's first row names
  kAsBytes,      // none fits: records as bytes
  kDerived,      // none fits every record: derived from a near one
};

struct LayoutChoice {
  ChosenBy by = ChosenBy::kNone;
  const FormatDefinition* layout = nullptr;
  // The cache file that the signature names, for the console; empty where
  // the signature is none of a known cache's.
  std::string fileName;
  // Whether the layout is not the one that the build picks (a CSV then names
  // it in its first row).
  bool notTheBuilds = false;
  // The layouts tried for the records, most wanted first, with how many of
  // them fit each; and what the layout chosen makes of them.
  std::vector<CandidateFit> tried;
  RecordWalk walk;
  // Where the layout is derived (or a CSV's first row names one so): its
  // base and changes, and the layout itself, which `layout` points to.
  std::shared_ptr<const DerivedLayout> derived;
};

LayoutChoice chooseLayout(const FormatCatalogue& catalogue, const ChoiceInput& input);

// "Signature matches ...", or that the header matches no known cache.
std::string signatureLine(const LayoutChoice& choice);
// The line that says which layout reads the records, where a build's own
// does or none does; a mark that names no layout; nothing for a built-in one.
std::string layoutLine(const LayoutChoice& choice, std::uint32_t build);

inline constexpr std::string_view kNoLayoutMessage = "Header does not match any known WDB file.\n";

}  // namespace cachesift
