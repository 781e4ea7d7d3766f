// Deriving a layout from a near one: the search for the changes under which
// the records fit, bounded by its work, and the choice among places that fit
// alike by what the values show.
#include "cachefile/layout_derivation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "cachefile/layout_lines.h"
#include "cachefile/record_engine.h"
#include "cachefile/record_frame.h"
#include "catalogue/field_kinds.h"
#include "catalogue/layout_words.h"
#include "csv/text_row.h"
#include "csv/text_to_float.h"
#include "csv/text_to_integer.h"
#include "io/byte_sink.h"

namespace cachesift {

using What = LayoutChange::What;

namespace {

// The records of a body, and the few that a layout tried is first checked on.
struct Records {
  struct Record {
    const char* fields;
    const char* end;
  };
  std::vector<Record> all;
  std::vector<Record> sample;
};

constexpr std::size_t kSampleRecords = 64;

Records recordsOf(const FormatDefinition& layout, std::string_view body) {
  Records records;
  FrameReader frames(layout, body);
  for (RecordFrame frame; frames.next(frame);) {
    records.all.push_back({frame.fields, frame.end});
    frames.skipTo(frame.end);
  }
  const std::size_t count = records.all.size();
  const std::size_t taken = std::min(count, kSampleRecords);
  for (std::size_t k = 0; k < taken; ++k) {
    records.sample.push_back(records.all[k * count / taken]);
  }
  return records;
}

// How near a layout is: how many records of the sample fit it or miss by
// the same bytes (too many or too few at their end, as a field of fixed size
// more or less would), then how many fit, then how far into them it reads.
struct Nearness {
  std::size_t fitsOrShifted = 0;
  std::size_t fits = 0;
  std::uint64_t reached = 0;
  auto operator<=>(const Nearness&) const = default;
};

Nearness nearness(const FormatDefinition& layout, const std::vector<Records::Record>& sample) {
  RecordEngine engine(layout);
  Nearness near;
  std::map<std::int64_t, std::size_t> shifts;  // bytes past the end (or short of it): records
  for (const Records::Record& record : sample) {
    const auto size = static_cast<std::uint64_t>(record.end - record.fields);
    std::uint32_t lostTexts = 0;
    if (engine.check(record.fields, record.end, lostTexts) != nullptr) {
      ++near.fits;
      near.reached += size;
      continue;
    }
    const std::optional<FitMiss> miss = engine.miss(record.fields, record.end);
    if (!miss) {
      continue;
    }
    near.reached += miss->what == FitMiss::What::kBytesLeft ? size - std::min(size, miss->value)
                                                            : std::min(size, miss->offset);
    if (miss->what == FitMiss::What::kBytesLeft) {
      ++shifts[-static_cast<std::int64_t>(miss->value)];
    } else if (miss->what == FitMiss::What::kPastEnd) {
      const std::uint64_t bytes =
          miss->value != 0 ? miss->value : factsOf(layout.nodes[miss->node].kind).bytes;
      ++shifts[static_cast<std::int64_t>(miss->offset + bytes - size)];
    }
  }
  std::size_t shifted = 0;
  for (const auto& [bytes, records] : shifts) {
    shifted = std::max(shifted, records);
  }
  near.fitsOrShifted = near.fits + shifted;
  return near;
}

// A key for what a layout does to a record's bytes: runs of numbers of no id
// count as their bytes, so a number added anywhere in one fits alike.
std::string shapeOf(const FormatDefinition& layout) {
  std::string shape;
  std::uint32_t run = 0;
  std::vector<std::uint32_t> ends;
  const auto flush = [&] {
    if (run != 0) {
      shape += "n" + std::to_string(run) + " ";
      run = 0;
    }
  };
  for (std::uint32_t i = FormatDefinition::kFirstFieldNode; i < layout.nodes.size(); ++i) {
    for (; !ends.empty() && ends.back() == i; ends.pop_back()) {
      flush();
      shape += ") ";
    }
    const LayoutNode& node = layout.nodes[i];
    const std::uint32_t bytes = factsOf(node.kind).bytes;
    if (bytes != 0 && node.slot < 0) {
      run += bytes;
      continue;
    }
    flush();
    shape += std::to_string(static_cast<int>(node.kind)) + ":" + std::to_string(node.size) + ":" +
             std::to_string(node.slot >= 0) + std::to_string(node.ref >= 0) +
             std::to_string(node.list) + ":" + std::to_string(node.value) + " ";
    if (node.kind == FieldKind::kRepeat || node.kind == FieldKind::kIf) {
      shape += "( ";
      ends.push_back(node.end);
    }
  }
  flush();
  return shape;
}

// How many of a sample's number cells hold what their kind usually holds:
// integers well below 2^24 (or just below zero), floats between 10^-6 and
// 10^8 in size, or zero. Among places that fit alike, the right one gives
// the most: a field out of place reads a float's bits as an integer, or the
// other way round.
std::size_t likelyValues(const FormatDefinition& layout,
                         const std::vector<Records::Record>& sample) {
  RecordEngine engine(layout);
  StringSink sink;
  std::size_t likely = 0;
  for (const Records::Record& record : sample) {
    sink.clear();
    engine.format(record.fields, record.end, sink);
    std::string_view row = sink.bytes();
    TextRow cells;
    cells.read(row);
    TextRow::Cursor cursor(cells);
    for (std::size_t column = 2; column < layout.columns.size(); ++column) {
      const std::string_view cell = cursor.next();
      const FieldKind kind = layout.columns[column].kind;
      if (cell.empty()) {
        continue;
      }
      if (kind == FieldKind::kU32 || kind == FieldKind::kI32) {
        const std::uint32_t value = textToInteger(cell);
        likely += value < (1u << 24) || value > 0xFFFF0000u ? 1 : 0;
      } else if (kind == FieldKind::kF32) {
        const double value = std::abs(textToFloat(cell));
        likely += value == 0 || (value >= 1e-6 && value <= 1e8) ? 1 : 0;
      }
    }
  }
  return likely;
}

// A search from one base.
class Search {
 public:
  Search(const FormatDefinition& base, std::string_view body, std::uint32_t needed,
         std::uint32_t build)
      : base_(base), body_(body), needed_(needed), build_(build), records_(recordsOf(base, body)) {
    moves_ = possibleChanges(false);
    allMoves_ = possibleChanges(true);
  }

  // Adds one more change to each layout kept from the round before (none at
  // first); true where a layout that fits was found, and chosen() gives it.
  // Nothing is tried past kMostChanges changes or kMostLinesRead.
  bool nextRound() {
    std::vector<std::pair<Nearness, std::vector<std::size_t>>> reached;
    if (round_++ == kMostChanges) {
      return false;
    }
    for (const std::vector<std::size_t>& from : kept_) {
      for (std::size_t move = 0; move < moves_.size(); ++move) {
        std::optional<std::vector<std::size_t>> next = with(from, move);
        if (!next || !tried_.insert(*next).second) {
          continue;
        }
        linesRead_ += base_.lines.size();
        if (linesRead_ > kMostLinesRead) {
          kept_.clear();
          return !found_.empty();
        }
        if (std::optional<Nearness> near = tryChanges(*next)) {
          reached.emplace_back(*near, std::move(*next));
        }
      }
    }
    std::stable_sort(reached.begin(), reached.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    reached.resize(std::min(reached.size(), kKeptPerRound));
    kept_.clear();
    for (auto& [near, changes] : reached) {
      kept_.push_back(std::move(changes));
    }
    return !found_.empty();
  }

 private:
  struct Shape {
    std::vector<std::vector<std::size_t>> ways;  // sets of moves that give it
    std::optional<DerivedLayout> fit;            // where the whole body fits enough
  };

  // Every single change: a field added at each place, each field dropped or
  // made another width, each fixed repeat one longer or shorter, a counted
  // list added.
  // Where `all` is false, one of each set that treats the bytes alike: in a
  // run of numbers without an id, a field added at its end only, and of the
  // fields of one kind next to each other the first only dropped or made
  // another width. The search tries those; the places are then chosen among
  // all.
  std::vector<LayoutChange> possibleChanges(bool all) const {
    const std::vector<LineFacts> facts = lineFacts(base_.lines);
    const auto last = static_cast<std::uint32_t>(base_.lines.size());
    const auto plain = [&](std::uint32_t i) {
      return i < last && facts[i].number && base_.lines[i].find('$') == std::string::npos;
    };
    const auto inRun = [&](std::uint32_t i) {
      return !all && plain(i - 1) && plain(i) && facts[i].depth == facts[i - 1].depth;
    };
    std::vector<LayoutChange> moves;
    for (std::uint32_t i = 2; i <= last; ++i) {
      if (inRun(i)) {
        continue;
      }
      const bool nearBits = facts[i].word == "bits" || facts[i - 1].word == "bits";
      for (const char* kind : {"bits 1", "u8", "u16", "u32", "u64"}) {
        if (kind[0] != 'b' || nearBits) {
          moves.push_back({What::kAdd, i, kind, 0});
        }
      }
      if (facts[i].depth == 0) {
        for (std::uint32_t j = i; j <= last; ++j) {
          if (j == last || facts[j].afterTopLevelList) {
            moves.push_back({What::kList, i, {}, j});
          }
        }
      }
    }
    for (std::uint32_t i = 2; i < last; ++i) {
      const LineFacts& fact = facts[i];
      if (inRun(i) && fact.word == facts[i - 1].word) {
        continue;
      }
      if (fact.word != "repeat" && fact.word != "if" && fact.word != "end") {
        moves.push_back({What::kDrop, i, {}, 0});
      }
      if (fact.integer) {
        const char sign = fact.word[0];
        for (const char* bits : {"8", "16", "32", "64"}) {
          const std::string kind = sign + std::string(bits);
          if (kind != fact.word) {
            moves.push_back({What::kWidth, i, kind, 0});
          }
        }
      }
      if (fact.word == "bits") {
        std::string_view rest = base_.lines[i];
        nextWord(rest);
        const std::uint32_t width = textToInteger(nextWord(rest));
        for (const std::uint32_t other : {width - 1, width + 1}) {
          moves.push_back({What::kWidth, i, "bits " + std::to_string(other), 0});
        }
      }
      if (fact.fixedRepeat) {
        std::string_view rest = base_.lines[i];
        nextWord(rest);
        const std::uint32_t times = textToInteger(nextWord(rest));
        for (const std::uint32_t other : {times - 1, times + 1}) {
          moves.push_back({What::kRepeat, i, std::to_string(other), 0});
        }
      }
    }
    return moves;
  }

  // `from` with one more move, in order; nothing where two change one line.
  std::optional<std::vector<std::size_t>> with(const std::vector<std::size_t>& from,
                                               std::size_t move) const {
    for (const std::size_t k : from) {
      if (clash(moves_[k], moves_[move])) {
        return std::nullopt;
      }
    }
    std::vector<std::size_t> next = from;
    next.insert(std::upper_bound(next.begin(), next.end(), move), move);
    return next;
  }

  std::vector<LayoutChange> changesOf(const std::vector<std::size_t>& moves) const {
    std::vector<LayoutChange> changes;
    for (const std::size_t k : moves) {
      changes.push_back(moves_[k]);
    }
    return changes;
  }

  // How near the layout of these changes is, or nothing where it reads as no
  // layout or fits as another tried already.
  std::optional<Nearness> tryChanges(const std::vector<std::size_t>& moves) {
    const std::vector<LayoutChange> changes = changesOf(moves);
    std::shared_ptr<const FormatDefinition> layout = derivedLayout(base_, changes, build_);
    if (layout == nullptr) {
      return std::nullopt;
    }
    const auto [shape, isNew] = shapes_.try_emplace(shapeOf(*layout));
    shape->second.ways.push_back(moves);
    if (!isNew) {
      return std::nullopt;
    }
    const Nearness near = nearness(*layout, records_.sample);
    if (near.fits == records_.sample.size()) {
      const auto total = static_cast<std::uint32_t>(records_.all.size());
      if (std::optional<RecordWalk> walk =
              walkFramedRecords(*layout, body_, total - std::min(total, needed_))) {
        shape->second.fit = DerivedLayout{&base_, changes, layout, std::move(*walk)};
        found_.push_back(&shape->second);
      }
    }
    return near;
  }

 public:
  // Of the layouts found, those that fit the most; of their changes, those
  // whose values are likeliest. Each change is then tried at every other
  // place, where the records fit as well, and an added word as a float: the
  // values choose among them, and on a tie the later place.
  std::optional<DerivedLayout> chosen() {
    if (found_.empty()) {
      return std::nullopt;
    }
    std::uint32_t mostFits = 0;
    for (const Shape* shape : found_) {
      mostFits = std::max(mostFits, shape->fit->walk.fits());
    }
    const std::size_t fewest = found_.front()->fit->changes.size();
    Choice choice;
    for (const Shape* shape : found_) {
      for (const std::vector<std::size_t>& way : shape->ways) {
        if (shape->fit->walk.fits() == mostFits && way.size() == fewest) {
          considerWithFloats(changesOf(way), mostFits, choice);
        }
      }
    }
    for (std::size_t k = 0; choice.derived && k < choice.derived->changes.size(); ++k) {
      const std::vector<LayoutChange> start = choice.derived->changes;
      for (const LayoutChange& move : allMoves_) {
        const LayoutChange& now = start[k];
        if (move.what != now.what || move.kind != now.kind || move.listLine != now.listLine ||
            std::ranges::any_of(start, [&](const LayoutChange& c) { return clash(c, move); })) {
          continue;
        }
        std::vector<LayoutChange> changes = start;
        changes[k] = move;
        considerWithFloats(changes, mostFits, choice);
      }
    }
    return choice.derived;
  }

 private:
  // How likely a layout's values are; on a tie, the fewer lists, then the
  // more repeats made longer or shorter (their elements keep their names),
  // then the later places win.
  struct Rank {
    std::size_t likely = 0;
    std::size_t notLists = 0;
    std::size_t repeats = 0;
    std::uint64_t places = 0;
    auto operator<=>(const Rank&) const = default;
  };
  struct Choice {
    std::optional<DerivedLayout> derived;
    Rank rank;
  };

  // consider() for the changes, and for them with each word added a float.
  void considerWithFloats(const std::vector<LayoutChange>& changes, std::uint32_t fits,
                          Choice& choice) {
    consider(changes, fits, choice);
    for (std::size_t k = 0; k < changes.size(); ++k) {
      if (changes[k].what == What::kAdd && changes[k].kind == "u32") {
        std::vector<LayoutChange> floats = changes;
        floats[k].kind = "f32";
        consider(floats, fits, choice);
      }
    }
  }

  // Takes `changes` where `fits` records fit them and they rank higher.
  void consider(const std::vector<LayoutChange>& changes, std::uint32_t fits, Choice& choice) {
    const std::shared_ptr<const FormatDefinition> layout = derivedLayout(base_, changes, build_);
    if (layout == nullptr || nearness(*layout, records_.sample).fits != records_.sample.size()) {
      return;
    }
    Rank rank{likelyValues(*layout, records_.sample), 0, 0, 0};
    for (const LayoutChange& change : changes) {
      rank.notLists += change.what == What::kList ? 0 : 1;
      rank.repeats += change.what == What::kRepeat ? 1 : 0;
      rank.places += change.line;
    }
    if (choice.derived && rank <= choice.rank) {
      return;
    }
    if (std::optional<DerivedLayout> derived = fitting(changes, fits)) {
      choice = {std::move(derived), rank};
    }
  }

  // The layout of `changes` where `fits` of the records fit it.
  std::optional<DerivedLayout> fitting(const std::vector<LayoutChange>& changes,
                                       std::uint32_t fits) const {
    std::shared_ptr<const FormatDefinition> layout = derivedLayout(base_, changes, build_);
    const auto total = static_cast<std::uint32_t>(records_.all.size());
    std::optional<RecordWalk> walk = walkFramedRecords(*layout, body_, total - fits);
    if (!walk || walk->fits() != fits) {
      return std::nullopt;
    }
    return DerivedLayout{&base_, changes, std::move(layout), std::move(*walk)};
  }

  const FormatDefinition& base_;
  std::string_view body_;
  std::uint32_t needed_;
  std::uint32_t build_;
  Records records_;
  std::vector<LayoutChange> moves_;
  std::vector<LayoutChange> allMoves_;
  std::set<std::vector<std::size_t>> tried_;
  std::map<std::string, Shape> shapes_;
  std::vector<Shape*> found_;
  std::size_t linesRead_ = 0;
  std::size_t round_ = 0;
  std::vector<std::vector<std::size_t>> kept_{{}};
};

}  // namespace

std::optional<DerivedLayout> deriveLayout(std::span<const FormatDefinition* const> bases,
                                          std::string_view body, std::uint32_t framed,
                                          std::uint32_t fitsToBeat, std::uint32_t build) {
  const std::uint32_t needed = std::max<std::uint32_t>(
      fitsToBeat + 1, static_cast<std::uint32_t>((std::uint64_t{framed} * 99 + 99) / 100));
  std::vector<std::unique_ptr<Search>> searches;
  for (const FormatDefinition* base : bases) {
    if (base->lines.size() >= 2 && framedRecordCount(body, *base) == framed) {
      searches.push_back(std::make_unique<Search>(*base, body, needed, build));
    }
  }
  // Round by round over the bases, so that the fewest changes win.
  for (std::size_t round = 1; round <= kMostChanges; ++round) {
    std::optional<DerivedLayout> best;
    for (const std::unique_ptr<Search>& search : searches) {
      // A nearer base's layout that fits every record wins this round.
      if (best && best->walk.fits() == framed) {
        break;
      }
      if (search->nextRound()) {
        std::optional<DerivedLayout> derived = search->chosen();
        if (derived && (!best || derived->walk.fits() > best->walk.fits())) {
          best = std::move(derived);
        }
      }
    }
    if (best) {
      return best;
    }
  }
  return std::nullopt;
}

}  // namespace cachesift
