// Reads the layout files: a "builds" line, then per cache file its fields,
// into layouts whose nodes, ids and columns are checked as they are read.
#include "catalogue/layout_text.h"

#include "catalogue/cache_name.h"
#include "catalogue/field_kinds.h"
#include "catalogue/layout_words.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

namespace cachesift {
namespace {

// Reads a layout file line by line into layouts; the first fault ends it.
class Parser {
 public:
  LayoutFile run(std::string_view text) {
    while (!text.empty() && error_.empty()) {
      const std::size_t lf = text.find('\n');
      ++lineNumber_;
      statement(trim(text.substr(0, lf)));
      text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    }
    if (error_.empty()) {
      ++lineNumber_;
      if (!buildsSeen_) {
        fail("no \"builds\" line");
      } else if (inCache_) {
        finishCache();
      }
    }
    if (!error_.empty()) {
      return {{}, error_, errorLine_};
    }
    return {std::move(layouts_), {}, 0};
  }

 private:
  // A field that carries an id ($name): a count, a length or a value tested.
  struct Id {
    std::string name;
    std::int32_t slot;
    std::uint32_t node;
    bool hidden;  // no column: its value is measured from its user when writing
    std::uint32_t scope;
    std::uint64_t most;
  };
  struct Block {
    std::uint32_t node;
    std::uint32_t columnsBefore;
    std::uint32_t scopeBefore;
    std::size_t idsBefore;
  };

  void fail(const std::string& what) {
    if (error_.empty()) {
      error_ = what;
      errorLine_ = lineNumber_;
    }
  }

  void statement(std::string_view line) {
    if (line.empty() || line[0] == '#') {
      return;
    }
    // Names go into the CSV's row of names as they stand.
    if (std::any_of(line.begin(), line.end(), [](char c) {
          return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F || c == '"' ||
                 c == ',';
        })) {
      return fail("a field's line holds a control character, a comma or a double quote");
    }
    std::string_view rest = line;
    const std::string_view word = nextWord(rest);
    if (!buildsSeen_) {
      return word == "builds" ? builds(rest) : fail("the file must start with a \"builds\" line");
    }
    if (word == "cache") {
      return startCache(rest);
    }
    if (!inCache_) {
      return fail("a field before the first \"cache\" line");
    }
    current_.lines.emplace_back(line);
    if (restSeen_) {
      return fail("nothing may follow \"hex rest\"");
    }
    if (fieldLines_ < 2) {
      return keyOrEntrySize(word, rest);
    }
    if (word == "end") {
      return endBlock();
    }
    field(word, rest);
  }

  void builds(std::string_view rest) {
    buildsSeen_ = true;
    if (rest == "other") {
      return;
    }
    const std::optional<std::uint64_t> first = number(nextWord(rest));
    std::optional<std::uint64_t> last = first;
    if (!rest.empty()) {
      last = nextWord(rest) == "to" ? number(rest) : std::nullopt;
    }
    if (!first || !last || *first == 0 || *first > *last || *last > 0xFFFFFFFF) {
      return fail("\"builds\" takes a build, \"B to C\" or \"other\"");
    }
    if (*first < kLongHeaderFrom && *last >= kLongHeaderFrom) {
      return fail("a range of builds may not cross 9506, where the header grew");
    }
    firstBuild_ = static_cast<std::uint32_t>(*first);
    lastBuild_ = static_cast<std::uint32_t>(*last);
  }

  void startCache(std::string_view rest) {
    if (inCache_) {
      finishCache();
    }
    const std::string_view fileName = nextWord(rest);
    const std::string_view signature = nextWord(rest);
    std::optional<std::uint64_t> bias = 0;
    if (!rest.empty()) {
      bias = rest[0] == '+' ? number(rest.substr(1)) : std::nullopt;
    }
    // The name decides where a cache made from a CSV is written.
    if (!isPlainCacheName(fileName)) {
      return fail(
          "\"cache\" takes a plain file name ending in .wdb, without a folder, a drive, a "
          "control character or a name that Windows reserves");
    }
    if (signature.size() != 4 || !bias || *bias > 0xFFFF || (*bias != 0 && firstBuild_ == 0)) {
      return fail("\"cache\" takes a file name, a signature of four characters and a build's +N");
    }
    for (const FormatDefinition& earlier : layouts_) {
      if (std::string_view(earlier.signature.data(), 4) == signature) {
        return fail("a second layout of " + std::string(signature));
      }
    }
    inCache_ = true;
    restSeen_ = false;
    fieldLines_ = 0;
    column_ = 0;
    scope_ = 0;
    nextScope_ = 1;
    ids_.clear();
    names_.clear();
    current_ = FormatDefinition();
    current_.startLayout(fileName, signature, firstBuild_);
    current_.lastBuild = lastBuild_;
    current_.sizeBias = static_cast<std::uint32_t>(*bias);
  }

  // The first two fields: the key (a word, or a build's N bytes) and the
  // entry size.
  void keyOrEntrySize(std::string_view word, std::string_view rest) {
    const bool key = fieldLines_++ == 0;
    names_.emplace_back();  // their columns are named here
    if (word == "u32") {
      current_.addField(FieldKind::kU32, rest);
      column_ = static_cast<std::uint32_t>(current_.columns.size());
      return;
    }
    std::string_view name = rest;
    const std::optional<std::uint64_t> bytes = number(nextWord(name));
    if (!key) {
      return fail("the second field is the entry size, a u32");
    }
    if (word != "hex" || !bytes || *bytes < 4 || *bytes > 64 || firstBuild_ == 0) {
      return fail("the key is a u32, or in a build's layout \"hex N\" for N from 4 to 64");
    }
    current_.addField(FieldKind::kHex, name);
    current_.nodes.back().size = static_cast<std::uint32_t>(*bytes);
    column_ = static_cast<std::uint32_t>(current_.columns.size());
  }

  LayoutNode& addNode(FieldKind kind, std::string_view name, bool column) {
    LayoutNode& node = current_.nodes.emplace_back();
    node.kind = kind;
    names_.emplace_back(name);
    if (column) {
      addColumn(name);
    }
    return node;
  }

  // Gives the last node the next column. Every element of a counted repeat
  // has columns of their own names: a name there needs the number of that
  // repeat's element, its #.
  void addColumn(std::string_view name) {
    current_.nodes.back().column = static_cast<std::int32_t>(column_++);
    std::size_t repeats = 0, needed = 0;
    for (const Block& block : blocks_) {
      const LayoutNode& node = current_.nodes[block.node];
      if (node.kind == FieldKind::kRepeat && !node.list) {
        ++repeats;
        needed = node.most != 0 ? repeats : needed;
      }
    }
    if (!name.empty() &&
        static_cast<std::size_t>(std::count(name.begin(), name.end(), '#')) < needed) {
      fail("a column of a counted repeat needs its element's number, #, in its name");
    }
  }

  std::uint32_t lastNode() const { return static_cast<std::uint32_t>(current_.nodes.size() - 1); }

  // Declares the id of the last node, a field that may hold a count.
  void declareId(std::string_view id, bool hidden, std::uint64_t most) {
    if (findId(id) != nullptr) {
      return fail("a second field " + std::string(id));
    }
    current_.nodes.back().slot = static_cast<std::int32_t>(current_.slotCount++);
    ids_.push_back({std::string(id), current_.nodes.back().slot, lastNode(), hidden, scope_, most});
  }

  Id* findId(std::string_view name) {
    for (Id& id : ids_) {
      if (id.name == name) {
        return &id;
      }
    }
    return nullptr;
  }

  // The count or length that the last node takes from `name`: a field of no
  // column in the same element, which measures nothing else.
  Id* takeMeasure(std::string_view name) {
    Id* id = findId(name);
    if (id == nullptr || !id->hidden || id->scope != scope_) {
      fail(std::string(name) + " is no earlier field without a column in the same group");
      return nullptr;
    }
    LayoutNode& measured = current_.nodes[id->node];
    if (measured.user >= 0) {
      fail(std::string(name) + " already counts or measures another field");
      return nullptr;
    }
    measured.user = static_cast<std::int32_t>(lastNode());
    current_.nodes.back().ref = id->slot;
    // Where a condition around the user leaves it out, the value must be the
    // one its empty cells would give.
    const auto declared = static_cast<std::size_t>(id - ids_.data());
    for (const Block& block : blocks_) {
      if (current_.nodes[block.node].kind == FieldKind::kIf && declared < block.idsBefore) {
        current_.measuresLeftOut.emplace_back(block.node, id->node);
      }
    }
    return id;
  }

  bool inList() const { return !blocks_.empty() && current_.nodes[blocks_.back().node].list; }

  void field(std::string_view word, std::string_view rest) {
    for (const KindFacts& kind : kNumberKinds) {
      if (word == kind.word) {
        addNode(kind.kind, {}, false);
        return idAndName(rest, kind.most);
      }
    }
    if (inList()) {
      return fail("a list holds numbers with a column each, and nothing else");
    }
    if (word == "bits") {
      const std::optional<std::uint64_t> bits = number(nextWord(rest));
      if (!bits || *bits < 1 || *bits > 32) {
        return fail("\"bits\" takes a width from 1 to 32");
      }
      addNode(FieldKind::kBits, {}, false).size = static_cast<std::uint32_t>(*bits);
      return idAndName(rest, (std::uint64_t{1} << *bits) - 1);
    }
    if (word == "text" || word == "textz" || word == "textz0") {
      if (!rest.starts_with('$')) {
        return word == "text"
                   ? void(addNode(FieldKind::kText, rest, true))
                   : fail("\"" + std::string(word) + "\" takes the field that gives its length");
      }
      const std::string_view id = nextWord(rest);
      addNode(word == "text"    ? FieldKind::kSizedText
              : word == "textz" ? FieldKind::kSizedTextZ
                                : FieldKind::kSizedTextZ0,
              rest, true);
      takeMeasure(id);
      return;
    }
    if (word == "hex") {
      const std::string_view size = nextWord(rest);
      if (size == "rest" && blocks_.empty() && firstBuild_ != 0) {
        restSeen_ = true;
        addNode(FieldKind::kHexRest, rest, true);
        return;
      }
      const std::optional<std::uint64_t> bytes = number(size);
      if (!bytes || *bytes < 1 || *bytes > 0xFFFF) {
        return fail("\"hex\" takes a byte count, or \"rest\" as a build's last field");
      }
      addNode(FieldKind::kHex, rest, true).size = static_cast<std::uint32_t>(*bytes);
      return;
    }
    if (word == "align" && rest.empty()) {
      addNode(FieldKind::kAlign, {}, false);
      return;
    }
    if (word == "repeat") {
      return repeat(rest);
    }
    if (word == "if") {
      return condition(rest);
    }
    fail("unknown field kind \"" + std::string(word) + "\"");
  }

  // "[$id] [name]" of a number field: no name and an id make a count or a
  // length, which has no column.
  void idAndName(std::string_view rest, std::uint64_t most) {
    std::string_view id;
    if (rest.starts_with('$')) {
      id = nextWord(rest);
      if (!isId(id) || most == 0) {
        return fail("an id is $ and letters, digits or _, on an integer field");
      }
    }
    if (inList() && (!id.empty() || rest.empty())) {
      return fail("a list holds numbers with a column each, and nothing else");
    }
    names_.back() = rest;
    if (id.empty() || !rest.empty()) {
      addColumn(rest);
    }
    if (!id.empty()) {
      declareId(id, rest.empty(), most);
      names_.back() = rest.empty() ? id : rest;
    }
  }

  void openBlock(bool newScope) {
    blocks_.push_back({lastNode(), column_, scope_, ids_.size()});
    if (newScope) {
      current_.nodes.back().column = static_cast<std::int32_t>(column_);
      column_ = 0;
      scope_ = nextScope_++;
    }
  }

  void repeat(std::string_view rest) {
    LayoutNode& node = addNode(FieldKind::kRepeat, {}, false);
    const std::string_view count = nextWord(rest);
    if (count.starts_with('$')) {
      // A list costs no column, so it needs no most of its own: without "max"
      // it takes as many elements as its count can say.
      std::string_view word = nextWord(rest);
      const bool bounded = word == "max";
      const std::optional<std::uint64_t> most =
          bounded ? number(nextWord(rest)) : std::numeric_limits<std::uint64_t>::max();
      word = bounded ? nextWord(rest) : word;
      node.list = word == "list";
      if (!most || *most < 1 || !rest.empty() || !(node.list || (bounded && word.empty()))) {
        return fail(
            "\"repeat $count\" takes \"max M\", the most elements that have columns, and "
            "\"list\" for a cell per field");
      }
      const Id* id = takeMeasure(count);
      if (id != nullptr && id->most < *most && bounded) {
        return fail("max " + std::to_string(*most) + " is more than " + std::string(count) +
                    " can count");
      }
      const std::uint64_t countable = id != nullptr ? std::min(id->most, *most) : 1;
      node.most = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(countable, node.list ? UINT32_MAX : kMaxColumns));
    } else {
      const std::optional<std::uint64_t> times = number(count);
      if (!times || *times < 1 || *times > kMaxColumns || !rest.empty()) {
        return fail("\"repeat\" takes a number of times or \"$count max M\"");
      }
      node.size = static_cast<std::uint32_t>(*times);
    }
    openBlock(true);
  }

  void condition(std::string_view rest) {
    LayoutNode& node = addNode(FieldKind::kIf, {}, false);
    const Id* id = findId(nextWord(rest));
    const std::string_view op = nextWord(rest);
    const std::optional<std::uint64_t> value = number(rest);
    if (id == nullptr || (op != "==" && op != "!=") || !value) {
      return fail("\"if\" takes an earlier field's id, == or !=, and a number");
    }
    if (*value > id->most) {
      return fail(std::to_string(*value) + " is more than " + id->name + " can hold");
    }
    node.ref = id->slot;
    node.equal = op == "==";
    node.value = *value;
    openBlock(false);
  }

  void endBlock() {
    if (blocks_.empty()) {
      return fail("\"end\" without \"repeat\" or \"if\"");
    }
    const Block block = blocks_.back();
    blocks_.pop_back();
    LayoutNode& node = current_.nodes[block.node];
    node.end = static_cast<std::uint32_t>(current_.nodes.size());
    closeIds(block.idsBefore);
    if (node.kind == FieldKind::kIf) {
      node.column = static_cast<std::int32_t>(block.columnsBefore);
      node.columns = column_ - block.columnsBefore;
    } else {
      if (node.most != 0 && column_ == 0) {
        return fail("a counted repeat needs a column, to show its elements");
      }
      node.columns = column_;
      column_ = block.columnsBefore + column_ * (node.list        ? 1
                                                 : node.most != 0 ? node.most
                                                                  : node.size);
      scope_ = block.scopeBefore;
      // At the top level, column_ counts the key and the entry size too.
      if (column_ > kMaxColumns + (blocks_.empty() ? 2 : 0)) {
        fail("more than " + std::to_string(kMaxColumns) + " columns");
      }
    }
  }

  // Ids go out of sight at the end of their block; a count or length that
  // measures nothing would be written as 0 whatever the cells say.
  void closeIds(std::size_t from) {
    for (std::size_t i = from; i < ids_.size(); ++i) {
      if (ids_[i].hidden && current_.nodes[ids_[i].node].user < 0) {
        return fail(ids_[i].name + " counts or measures no later field");
      }
    }
    ids_.resize(std::min(from, ids_.size()));
  }

  void finishCache() {
    inCache_ = false;
    if (!blocks_.empty()) {
      return fail("a \"repeat\" or \"if\" is not closed by \"end\"");
    }
    if (fieldLines_ < 2) {
      return fail("a layout needs its key and entry size");
    }
    closeIds(0);
    if (column_ > kMaxColumns) {
      return fail("more than " + std::to_string(kMaxColumns) + " columns");
    }
    // The built-in layouts frame no record (and take no "hex rest").
    if (firstBuild_ == 0 && !current_.plainFields()) {
      return fail("the built-in layouts take u8, u32, i32, f32 and text only");
    }
    addColumns(current_, names_);
    current_.nodeNames = names_;
    if (error_.empty()) {
      layouts_.push_back(std::move(current_));
    }
  }

  std::size_t lineNumber_ = 0;
  std::string error_;
  std::size_t errorLine_ = 0;
  bool buildsSeen_ = false;
  std::uint32_t firstBuild_ = 0;
  std::uint32_t lastBuild_ = 0;
  bool inCache_ = false;
  bool restSeen_ = false;
  int fieldLines_ = 0;
  std::uint32_t column_ = 0;  // the next column, counted from its element's first
  std::uint32_t scope_ = 0;   // the repeat whose element the fields are in
  std::uint32_t nextScope_ = 1;
  FormatDefinition current_;
  std::vector<std::string> names_;  // each node's name, `#`s unreplaced
  std::vector<Id> ids_;
  std::vector<Block> blocks_;
  std::vector<FormatDefinition> layouts_;
};

}  // namespace

LayoutFile readLayoutFile(std::string_view text) {
  return Parser().run(text);
}

}  // namespace cachesift
