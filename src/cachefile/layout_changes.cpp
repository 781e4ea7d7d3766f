// The changes of a derived layout: as a CSV's first row carries them, applied
// to the base layout's lines, and as the console and a layout file say them.
#include "cachefile/layout_derivation.h"
#include "cachefile/layout_lines.h"

#include <algorithm>
#include <charconv>

#include "catalogue/layout_text.h"
#include "catalogue/layout_words.h"
#include "csv/text_to_integer.h"

namespace cachesift {

using What = LayoutChange::What;

namespace {

std::optional<std::uint32_t> lineNumber(std::string_view& text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

// The words of a field's kind at the start of a line: "u32", or "bits 11".
std::size_t kindLength(std::string_view line) {
  std::string_view rest = line;
  const std::string_view word = nextWord(rest);
  if (word == "bits" || word == "hex") {
    const std::string_view size = nextWord(rest);
    return static_cast<std::size_t>(size.data() + size.size() - line.data());
  }
  return word.size();
}

// The numbers of the changes that add a field: "Derived 1" and on.
std::vector<std::uint32_t> addedNumbers(std::span<const LayoutChange> changes) {
  std::vector<std::uint32_t> numbers;
  std::uint32_t next = 1;
  for (const LayoutChange& change : changes) {
    const bool adds = change.what == What::kAdd || change.what == What::kList;
    numbers.push_back(adds ? next++ : 0);
  }
  return numbers;
}

// The console's lines as comments.
std::string commentedChanges(std::string_view lines) {
  std::string text;
  for (std::size_t lf; (lf = lines.find('\n')) != std::string_view::npos;
       lines.remove_prefix(lf + 1)) {
    text += "# " + std::string(trim(lines.substr(0, lf))) + "\n";
  }
  return text;
}

}  // namespace

namespace {

bool isNumberWord(std::string_view word) {
  static constexpr std::string_view kWords[] = {"u8",  "u16", "u32", "u64", "i8",
                                                "i16", "i32", "i64", "f32", "f64"};
  return std::ranges::find(kWords, word) != std::end(kWords);
}

}  // namespace

// Facts for each line, and one more for the place after the last.
std::vector<LineFacts> lineFacts(const std::vector<std::string>& lines) {
  struct Open {
    bool counted, list;
  };
  std::vector<Open> open;
  std::vector<LineFacts> facts;
  bool listJustEnded = false;
  for (const std::string& line : lines) {
    std::string_view rest = line;
    LineFacts fact;
    fact.word = nextWord(rest);
    fact.number = isNumberWord(fact.word);
    fact.integer = fact.number && fact.word[0] != 'f';
    fact.depth = static_cast<std::uint32_t>(open.size());
    fact.countedOpen = static_cast<std::uint32_t>(
        std::ranges::count_if(open, [](const Open& o) { return o.counted && !o.list; }));
    fact.afterTopLevelList = listJustEnded;
    listJustEnded = false;
    if (fact.word == "repeat") {
      const std::string_view times = nextWord(rest);
      fact.fixedRepeat = !times.starts_with('$');
      open.push_back({!fact.fixedRepeat, rest == "list"});
    } else if (fact.word == "if") {
      open.push_back({false, false});
    } else if (fact.word == "end" && !open.empty()) {
      listJustEnded = open.back().list && open.size() == 1;
      open.pop_back();
    }
    facts.push_back(fact);
  }
  LineFacts last;
  last.afterTopLevelList = listJustEnded;
  facts.push_back(last);
  return facts;
}

// Whether two changes cannot stand in one layout: they are the same, or both
// change one line.
bool clash(const LayoutChange& a, const LayoutChange& b) {
  const auto changesLine = [](const LayoutChange& c) {
    return c.what == What::kDrop || c.what == What::kWidth || c.what == What::kRepeat;
  };
  return a == b || (changesLine(a) && changesLine(b) && a.line == b.line);
}

std::string changesText(std::span<const LayoutChange> changes) {
  std::string text;
  for (const LayoutChange& change : changes) {
    text += "; ";
    const std::string line = std::to_string(change.line);
    switch (change.what) {
      case What::kAdd:
        text += "+" + line + " " + change.kind;
        break;
      case What::kDrop:
        text += "-" + line;
        break;
      case What::kWidth:
        text += line + " " + change.kind;
        break;
      case What::kRepeat:
        text += line + " x" + change.kind;
        break;
      case What::kList:
        text += "+" + line + " list " + std::to_string(change.listLine);
        break;
    }
  }
  return text;
}

std::optional<std::vector<LayoutChange>> readChanges(std::string_view text) {
  std::vector<LayoutChange> changes;
  while (!text.empty()) {
    if (!text.starts_with("; ") || changes.size() == kMostChanges) {
      return std::nullopt;
    }
    text.remove_prefix(2);
    std::string_view one = text.substr(0, text.find(';'));
    text.remove_prefix(one.size());
    LayoutChange change;
    const char sign = one.empty() ? ' ' : one[0];
    one.remove_prefix(sign == '+' || sign == '-' ? 1 : 0);
    const std::optional<std::uint32_t> line = lineNumber(one);
    if (!line || (!one.empty() && one[0] != ' ')) {
      return std::nullopt;
    }
    change.line = *line;
    one = trim(one);
    if (sign == '-') {
      change.what = What::kDrop;
    } else if (sign == '+' && one.starts_with("list ")) {
      one.remove_prefix(5);
      const std::optional<std::uint32_t> listLine = lineNumber(one);
      if (!listLine || !one.empty() || *listLine < change.line) {
        return std::nullopt;
      }
      change.what = What::kList;
      change.listLine = *listLine;
    } else if (sign != '+' && one.starts_with('x')) {
      change.what = What::kRepeat;
      change.kind = one.substr(1);
    } else {
      change.what = sign == '+' ? What::kAdd : What::kWidth;
      change.kind = one;
    }
    // A kind is words of a field's kind, which the layout reader checks.
    if (change.what != What::kDrop && change.what != What::kList &&
        (change.kind.empty() || change.kind.find_first_of("$#\"") != std::string::npos)) {
      return std::nullopt;
    }
    changes.push_back(std::move(change));
  }
  return changes;
}

std::string derivedLayoutText(const FormatDefinition& base, std::span<const LayoutChange> changes,
                              std::uint32_t build) {
  const std::vector<LineFacts> facts = lineFacts(base.lines);
  const std::vector<std::uint32_t> numbers = addedNumbers(changes);
  std::string text = "builds " + std::to_string(build) + "\n\ncache " + base.fileName + " " +
                     std::string(base.signature.data(), 4) +
                     (base.sizeBias != 0 ? " +" + std::to_string(base.sizeBias) : "") + "\n";
  const auto derived = [&](std::size_t k) { return "Derived " + std::to_string(numbers[k]); };
  for (std::uint32_t i = 0; i <= base.lines.size(); ++i) {
    std::string hashes;
    for (std::uint32_t n = 0; n < facts[i].countedOpen; ++n) {
      hashes += " #";
    }
    for (std::size_t k = 0; k < changes.size(); ++k) {
      const LayoutChange& change = changes[k];
      if (change.what == What::kAdd && change.line == i) {
        text += change.kind + " " + derived(k) + hashes + "\n";
      }
      if (change.what == What::kList && change.line == i) {
        text += "u32 $derived" + std::to_string(numbers[k]) + "\n";
      }
      if (change.what == What::kList && change.listLine == i) {
        text += "repeat $derived" + std::to_string(numbers[k]) + " list\n  u32 " + derived(k) +
                "\nend\n";
      }
    }
    if (i == base.lines.size()) {
      break;
    }
    std::string line = base.lines[i];
    for (const LayoutChange& change : changes) {
      if (change.line != i) {
        continue;
      }
      if (change.what == What::kDrop) {
        line.clear();
      } else if (change.what == What::kWidth) {
        line.replace(0, kindLength(line), change.kind);
      } else if (change.what == What::kRepeat) {
        line = "repeat " + change.kind;
      }
    }
    if (!line.empty()) {
      text += line + "\n";
    }
  }
  return text;
}

std::shared_ptr<const FormatDefinition> derivedLayout(const FormatDefinition& base,
                                                      std::span<const LayoutChange> changes,
                                                      std::uint32_t build) {
  for (const LayoutChange& change : changes) {
    const bool inserts = change.what == What::kAdd || change.what == What::kList;
    // Lines 0 and 1 are the key and the entry size, which no change touches.
    if (change.line < 2 || change.line >= base.lines.size() + (inserts ? 1 : 0) ||
        change.listLine > base.lines.size()) {
      return nullptr;
    }
  }
  LayoutFile file = readLayoutFile(derivedLayoutText(base, changes, build));
  if (!file.error.empty() || file.layouts.size() != 1) {
    return nullptr;
  }
  return std::make_shared<const FormatDefinition>(std::move(file.layouts.front()));
}

std::string derivedLayoutFile(const DerivedLayout& derived) {
  const FormatDefinition& base = *derived.base;
  return "# Derived from the layout of client builds " + std::to_string(base.clientBuild) + " to " +
         std::to_string(base.lastBuild) + " by the changes below, for the records of\n" +
         "# client build " + std::to_string(derived.layout->clientBuild) +
         ". Put this file into the layouts folder beside the program, give the\n"
         "# fields named Derived their names, and convert the cache again.\n#\n" +
         commentedChanges(derivationLines(derived)) +
         derivedLayoutText(base, derived.changes, derived.layout->clientBuild);
}

std::string derivationLines(const DerivedLayout& derived) {
  const FormatDefinition& base = *derived.base;
  const std::vector<std::string>& lines = base.lines;
  const auto quoted = [&](std::uint32_t i) { return "\"" + lines[i] + "\""; };
  // Where a line goes, or stands: between the lines beside it.
  const auto place = [&](std::uint32_t before, std::uint32_t after) {
    return after < lines.size() ? " after " + quoted(before) + ", before " + quoted(after)
                                : " after " + quoted(before) + ", at the record's end";
  };
  std::string text =
      "No layout fits every record; a layout is derived from the layout of client build" +
      (base.clientBuild == base.lastBuild
           ? " " + std::to_string(base.clientBuild)
           : "s " + std::to_string(base.clientBuild) + " to " + std::to_string(base.lastBuild)) +
      (base.user ? " from the user's file" : "") + ", with " +
      std::to_string(derived.changes.size()) +
      (derived.changes.size() == 1 ? " change:\n" : " changes:\n");
  const std::vector<std::uint32_t> numbers = addedNumbers(derived.changes);
  for (std::size_t k = 0; k < derived.changes.size(); ++k) {
    const LayoutChange& change = derived.changes[k];
    const std::string name = "Derived " + std::to_string(numbers[k]);
    switch (change.what) {
      case What::kAdd:
        text +=
            "  Added \"" + change.kind + " " + name + "\"" + place(change.line - 1, change.line);
        break;
      case What::kDrop:
        text += "  Dropped " + quoted(change.line) + "," + place(change.line - 1, change.line + 1);
        break;
      case What::kWidth:
      case What::kRepeat:
        text += "  Changed " + quoted(change.line) + " to \"" +
                (change.what == What::kRepeat ? "repeat " : "") + change.kind +
                lines[change.line].substr(change.what == What::kRepeat
                                              ? lines[change.line].size()
                                              : kindLength(lines[change.line])) +
                "\"," + place(change.line - 1, change.line + 1);
        break;
      case What::kList:
        text += "  Added the count \"u32 $derived" + std::to_string(numbers[k]) + "\"" +
                place(change.line - 1, change.line) + "; and its list \"u32 " + name + "\"" +
                place(change.listLine - 1, change.listLine);
        break;
    }
    text += ".\n";
  }
  return text;
}

}  // namespace cachesift
