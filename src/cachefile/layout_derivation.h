#pragma once

// A layout for the records of a new patch that no layout fits: derived from a
// near layout by up to three small changes to its lines, found by a search
// that the work it does bounds. The changes, written in a CSV's first row,
// give the same layout again on the way back.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cachefile/record_walk.h"
#include "catalogue/format_definition.h"

namespace cachesift {

// One change to a layout's lines (FormatDefinition::lines), which it names by
// their number there; the changes of a layout all name the base's lines.
struct LayoutChange {
  enum class What : std::uint8_t {
    kAdd,     // a field `kind` ("u32", "bits 1") before `line`
    kDrop,    // the field at `line`
    kWidth,   // the number or bit field at `line` becomes `kind`
    kRepeat,  // the fixed repeat at `line` takes `kind` elements
    kList,    // a count before `line`, and a list of u32 that it counts before `listLine`
  };
  What what = What::kAdd;
  std::uint32_t line = 0;
  std::string kind;
  std::uint32_t listLine = 0;
  bool operator==(const LayoutChange&) const = default;
};

// The changes as a CSV's first row carries them, "; " before each:
// "+14 bits 1", "-44", "12 u16", "30 x25", "+20 list 61".
std::string changesText(std::span<const LayoutChange> changes);
// Reads what changesText() wrote; nothing where it is not that.
std::optional<std::vector<LayoutChange>> readChanges(std::string_view text);

// The text of a layout file of `base` with `changes`, for `build` alone; the
// fields added are named "Derived 1", "Derived 2" and on.
std::string derivedLayoutText(const FormatDefinition& base, std::span<const LayoutChange> changes,
                              std::uint32_t build);
// The layout that text reads as, or nothing where it reads as none.
std::shared_ptr<const FormatDefinition> derivedLayout(const FormatDefinition& base,
                                                      std::span<const LayoutChange> changes,
                                                      std::uint32_t build);

struct DerivedLayout {
  const FormatDefinition* base = nullptr;
  std::vector<LayoutChange> changes;
  std::shared_ptr<const FormatDefinition> layout;
  RecordWalk walk;
};

// The search's bounds: changes in one layout, layouts kept from one round of
// changes to the next, and the lines of the layouts tried from one base (each
// is read from its lines: about 34,000 layouts of a creature cache, 6,000 of
// a quest cache). Work, not time, so that a file gives the same layout on
// every machine.
inline constexpr std::size_t kMostChanges = 3;
inline constexpr std::size_t kKeptPerRound = 48;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr std::size_t kMostLinesRead = 20'000;  // the fuzzer's inputs stay fast
#else
inline constexpr std::size_t kMostLinesRead = 2'000'000;
#endif

// Of `bases`, nearest first, the layout of the fewest changes from one of
// them under which more than `fitsToBeat` of the body's `framed` records fit,
// and at least 99 % of them; on a tie the one that fits more, then that of
// the nearer base. Where several places give the same fit, the values that
// the records show choose. Nothing where none is found within the bounds.
std::optional<DerivedLayout> deriveLayout(std::span<const FormatDefinition* const> bases,
                                          std::string_view body, std::uint32_t framed,
                                          std::uint32_t fitsToBeat, std::uint32_t build);

// A layout file of a derived layout, to put into the layouts folder: the
// text of derivedLayoutText() for the layout's build, after comments that say
// where it comes from.
std::string derivedLayoutFile(const DerivedLayout& derived);

// The console's lines for a derived layout: the base, then a line per change
// that names the fields beside it.
std::string derivationLines(const DerivedLayout& derived);

}  // namespace cachesift
