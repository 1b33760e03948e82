#include "platform/registry/reg_file.h"

#include <cstdio>
#include <utility>

#include "platform/base/text.h"
#include "platform/base/win32.h"

namespace platform::reg {

// ---------------------------------------------------------------------------
// Key

const Key* Key::FindChild(std::string_view name) const {
  const auto it = childIndex_.find(FoldCase(name));
  return it == childIndex_.end() ? nullptr : children_[it->second].get();
}

Key* Key::FindChild(std::string_view name) {
  return const_cast<Key*>(std::as_const(*this).FindChild(name));
}

Key& Key::Child(std::string_view name) {
  const auto [it, added] = childIndex_.try_emplace(FoldCase(name), children_.size());
  if (added) children_.push_back(std::make_unique<Key>(std::string(name)));
  return *children_[it->second];
}

bool Key::RemoveChild(std::string_view name) {
  const auto it = childIndex_.find(FoldCase(name));
  if (it == childIndex_.end()) return false;
  const size_t position = it->second;
  childIndex_.erase(it);
  children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(position));
  for (size_t i = position; i < children_.size(); ++i) {
    childIndex_[FoldCase(children_[i]->name())] = i;
  }
  return true;
}

namespace {

// Calls visit(component) for each non-empty name of a backslash path until it
// returns false.
template <typename Visit>
void ForEachComponent(std::string_view path, Visit visit) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start && !visit(path.substr(start, end - start))) return;
    start = end + 1;
  }
}

}  // namespace

const Key* Key::Find(std::string_view path) const {
  const Key* key = this;
  ForEachComponent(path, [&key](std::string_view name) {
    key = key->FindChild(name);
    return key != nullptr;
  });
  return key;
}

Key* Key::Find(std::string_view path) {
  return const_cast<Key*>(std::as_const(*this).Find(path));
}

Key& Key::Create(std::string_view path) {
  Key* key = this;
  ForEachComponent(path, [&key](std::string_view name) {
    key = &key->Child(name);
    key->section = true;
    return true;
  });
  return *key;
}

const Value* Key::FindValue(std::string_view name) const {
  const auto it = valueIndex_.find(FoldCase(name));
  return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

void Key::SetValue(std::string_view name, uint32_t type, std::vector<uint8_t> data) {
  const auto [it, added] = valueIndex_.try_emplace(FoldCase(name), values_.size());
  if (added) {
    values_.push_back(Value{std::string(name), type, std::move(data)});
    return;
  }
  // Like RegSetValueEx, an existing value keeps its spelling and its place.
  Value& value = values_[it->second];
  value.type = type;
  value.data = std::move(data);
}

bool Key::RemoveValue(std::string_view name) {
  const auto it = valueIndex_.find(FoldCase(name));
  if (it == valueIndex_.end()) return false;
  const size_t position = it->second;
  valueIndex_.erase(it);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
  for (size_t i = position; i < values_.size(); ++i) valueIndex_[FoldCase(values_[i].name)] = i;
  return true;
}

// ---------------------------------------------------------------------------
// Reading

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// Windows refuses keys deeper than this; the limit also bounds the
// recursion that destroys a tree.
constexpr size_t kMaxDepth = 512;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Parses 1 to 8 hex digits making up all of `digits`.
bool ParseHex32(std::string_view digits, uint32_t& out) {
  if (digits.empty() || digits.size() > 8) return false;
  out = 0;
  for (const char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    out = (out << 4) | static_cast<uint32_t>(digit);
  }
  return true;
}


// The text split at LF; a final LF does not open another line.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++number_;
    return true;
  }
  size_t number() const { return number_; }
  // Continues in a copy of the text that is the same up to the current place.
  void Rebase(std::string_view text) { text_ = text; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

struct ParsedValue {
  std::string name;
  bool remove = false;
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
};

class Parser {
 public:
  Parser(Document& doc, ParseError& error) : doc_(doc), error_(error) {}

  bool Run(std::string_view bytes);

 private:
  bool Fail(std::string message) {
    error_.line = lines_.number() == 0 ? 1 : lines_.number();
    error_.message = std::move(message);
    return false;
  }
  bool FindHeader();
  bool Section(std::string_view line);
  bool ValueLine(std::string_view line);
  bool ByteList(std::string_view line, size_t pos, std::vector<uint8_t>& out);

  Document& doc_;
  ParseError& error_;
  std::string text_;  // the decoded text, when it is not the input itself
  Lines lines_{std::string_view()};
  Key* current_ = nullptr;
  bool inSection_ = false;  // a section, kept or deleted, has been seen
  std::vector<std::string_view> components_;
};

// Reads "..." at line[pos], undoing the \\ and \" escapes; other backslashes
// stand for themselves, as hand-written paths often have them.
bool ReadQuoted(std::string_view line, size_t& pos, std::string& out) {
  ++pos;
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < line.size() && (line[pos] == '\\' || line[pos] == '"')) {
      out += line[pos++];
    } else {
      out += c;
    }
  }
  return false;
}

void SkipBlanks(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
}

bool Parser::Run(std::string_view bytes) {
  // Start from an empty tree, dropping the last entries first so no index
  // needs renumbering.
  Key& root = doc_.root;
  while (!root.children().empty()) root.RemoveChild(root.children().back()->name());
  while (!root.values().empty()) root.RemoveValue(root.values().back().name);
  root.section = false;

  std::string_view text = bytes;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    doc_.encoding = Encoding::kUtf16le;
    text_ = Utf16leToUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
    text = text_;
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    doc_.encoding = Encoding::kUtf8Bom;
    text.remove_prefix(3);
  } else {
    doc_.encoding = Encoding::kUtf8;
  }
  const size_t firstEnd = text.find('\n');
  doc_.crlf = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';

  lines_ = Lines(text);
  if (!FindHeader()) return false;

  // A Unicode file read as UTF-8 keeps only valid text, so that every string
  // converts to UTF-16 and back unchanged; a REGEDIT4 file is code-page text
  // and keeps its bytes. Everything up to the header is ASCII, so the
  // place in the text stays the same.
  if (doc_.dialect == Dialect::kVersion5 && doc_.encoding != Encoding::kUtf16le &&
      !IsValidUtf8(text)) {
    const std::vector<uint8_t> wide = Utf8ToUtf16le(text);
    text_ = Utf16leToUtf8(wide.data(), wide.size());
    lines_.Rebase(text_);
  }

  std::string_view raw;
  while (lines_.Next(raw)) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    bool ok;
    if (line[0] == '[') {
      ok = Section(line);
    } else if (line[0] == '"' || line[0] == '@') {
      ok = ValueLine(line);
    } else {
      ok = Fail("unexpected text");
    }
    if (!ok) return false;
  }
  return true;
}


bool Parser::FindHeader() {
  std::string_view raw;
  while (lines_.Next(raw)) {
    const std::string_view line = Trim(raw);
    if (line.empty()) continue;
    // Only trailing blanks are forgiven; regedit wants the header to start
    // its line.
    if (line.data() == raw.data() && line == kHeader5) {
      doc_.dialect = Dialect::kVersion5;
    } else if (line.data() == raw.data() && line == kHeader4) {
      doc_.dialect = Dialect::kRegedit4;
    } else {
      return Fail("missing registry file header");
    }
    return true;
  }
  return Fail("missing registry file header");
}

bool Parser::Section(std::string_view line) {
  // Key names may hold ']' themselves, so the path runs to the last one.
  const size_t close = line.rfind(']');
  if (close == std::string_view::npos) return Fail("missing ']' after key path");
  if (close + 1 != line.size()) return Fail("unexpected text after ']'");
  std::string_view path = line.substr(1, close - 1);
  const bool remove = !path.empty() && path[0] == '-';
  if (remove) path.remove_prefix(1);

  // Empty components are skipped, so hivexregedit's "[\ControlSet001]" is
  // the key ControlSet001 at the top, and its "[\]" is the root itself.
  components_.clear();
  bool tooDeep = false;
  ForEachComponent(path, [this, &tooDeep](std::string_view name) {
    tooDeep = components_.size() == kMaxDepth;
    if (!tooDeep) components_.push_back(name);
    return !tooDeep;
  });
  if (tooDeep) return Fail("key path too deep");

  inSection_ = true;
  current_ = nullptr;
  if (remove) {
    if (components_.empty()) return Fail("cannot delete the root");
    Key* parent = &doc_.root;
    for (size_t i = 0; parent != nullptr && i + 1 < components_.size(); ++i) {
      parent = parent->FindChild(components_[i]);
    }
    if (parent != nullptr) parent->RemoveChild(components_.back());
    return true;  // the values that follow are ignored, as regedit does
  }
  Key* key = &doc_.root;
  for (const std::string_view name : components_) key = &key->Child(name);
  // Only the named key had a section; its parents are implied by it.
  if (!components_.empty()) key->section = true;
  current_ = key;
  return true;
}

bool Parser::ValueLine(std::string_view line) {
  if (!inSection_) return Fail("value outside a section");
  ParsedValue value;
  size_t pos = 1;
  if (line[0] == '"') {
    pos = 0;
    if (!ReadQuoted(line, pos, value.name)) return Fail("unterminated value name");
  }
  SkipBlanks(line, pos);
  if (pos == line.size() || line[pos] != '=') return Fail("missing '=' after value name");
  ++pos;
  SkipBlanks(line, pos);

  const std::string_view data = line.substr(pos);
  if (data == "-") {
    value.remove = true;
  } else if (!data.empty() && data[0] == '"') {
    std::string text;
    if (!ReadQuoted(line, pos, text)) return Fail("unterminated string");
    SkipBlanks(line, pos);
    if (pos != line.size()) return Fail("unexpected text after string");
    value.type = REG_SZ;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
  } else if (StartsWithIgnoreCase(data, "dword:")) {
    uint32_t number = 0;
    if (!ParseHex32(data.substr(6), number)) return Fail("bad dword: value");
    value.type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) {
      value.data.push_back(static_cast<uint8_t>(number >> shift));
    }
  } else if (StartsWithIgnoreCase(data, "hex:")) {
    value.type = REG_BINARY;
    if (!ByteList(line, pos + 4, value.data)) return false;
  } else if (StartsWithIgnoreCase(data, "hex(")) {
    const size_t close = data.find("):");
    if (close == std::string_view::npos || !ParseHex32(data.substr(4, close - 4), value.type)) {
      return Fail("bad hex(type)");
    }
    if (!ByteList(line, pos + close + 2, value.data)) return false;
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ ||
                      value.type == REG_MULTI_SZ;
    if (text && doc_.dialect == Dialect::kVersion5) {
      const std::string utf8 = Utf16leToUtf8(value.data.data(), value.data.size());
      value.data.assign(utf8.begin(), utf8.end());
    }
  } else {
    return Fail("unrecognised value data");
  }

  if (current_ == nullptr) return true;  // under a deleted key
  if (value.remove) {
    current_->RemoveValue(value.name);
  } else {
    current_->SetValue(value.name, value.type, std::move(value.data));
  }
  return true;
}

// Comma-separated hex bytes from line[pos]; a trailing backslash carries the
// list on to the next line.
bool Parser::ByteList(std::string_view line, size_t pos, std::vector<uint8_t>& out) {
  for (;;) {
    SkipBlanks(line, pos);
    if (pos == line.size()) return true;
    if (line[pos] == '\\') {
      ++pos;
      SkipBlanks(line, pos);
      if (pos != line.size()) return Fail("unexpected text after '\\'");
      std::string_view next;
      if (!lines_.Next(next)) return true;
      line = next;
      pos = 0;
      continue;
    }
    const int high = HexDigit(line[pos]);
    if (high < 0) return Fail("bad hex byte");
    int byte = high;
    ++pos;
    if (pos < line.size() && HexDigit(line[pos]) >= 0) byte = byte * 16 + HexDigit(line[pos++]);
    if (pos < line.size() && HexDigit(line[pos]) >= 0) return Fail("bad hex byte");
    out.push_back(static_cast<uint8_t>(byte));
    SkipBlanks(line, pos);
    if (pos == line.size()) return true;
    if (line[pos] == ',') {
      ++pos;
    } else if (line[pos] != '\\') {
      return Fail("expected ',' between hex bytes");
    }
  }
}

// ---------------------------------------------------------------------------
// Writing

// Width of text in UTF-16 units, which is what regedit counts when it wraps.
size_t Columns(std::string_view text) {
  size_t columns = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++columns;
    if (byte >= 0xF0) ++columns;  // a surrogate pair
  }
  return columns;
}

class Writer {
 public:
  explicit Writer(const Document& doc) : doc_(doc), eol_(doc.crlf ? "\r\n" : "\n") {}

  std::string Run() {
    out_ += doc_.dialect == Dialect::kVersion5 ? kHeader5 : kHeader4;
    out_ += eol_;
    out_ += eol_;
    // Only hivexregedit's "[\]" puts values on the root; keep them there.
    if (!doc_.root.values().empty()) Section(doc_.root, "\\");

    // Preorder without recursion; each entry knows how long its parent's
    // path was (kTop for the root's children).
    constexpr size_t kTop = static_cast<size_t>(-1);
    std::vector<std::pair<const Key*, size_t>> stack;
    const auto pushChildren = [&stack](const Key& key, size_t pathLength) {
      const auto& children = key.children();
      for (auto it = children.rbegin(); it != children.rend(); ++it) {
        stack.emplace_back(it->get(), pathLength);
      }
    };
    pushChildren(doc_.root, kTop);
    std::string path;
    while (!stack.empty()) {
      const auto [key, parentLength] = stack.back();
      stack.pop_back();
      if (parentLength == kTop) {
        path.clear();
      } else {
        path.resize(parentLength);
        path += '\\';
      }
      path += key->name();
      // A key with nothing below it is written even when only implied, or
      // it would vanish; regedit's import would have left it in place.
      if (key->section || !key->values().empty() || key->children().empty()) {
        // "[-x]" would delete; the leading backslash keeps a key named "-x".
        Section(*key, !path.empty() && path[0] == '-' ? "\\" + path : path);
      }
      pushChildren(*key, path.size());
    }

    switch (doc_.encoding) {
      case Encoding::kUtf16le: {
        const std::vector<uint8_t> wide = Utf8ToUtf16le(out_);
        std::string bytes = "\xFF\xFE";
        bytes.append(wide.begin(), wide.end());
        return bytes;
      }
      case Encoding::kUtf8Bom:
        return "\xEF\xBB\xBF" + out_;
      case Encoding::kUtf8:
        break;
    }
    return std::move(out_);
  }

 private:
  void Section(const Key& key, std::string_view path) {
    out_ += '[';
    out_ += path;
    out_ += ']';
    out_ += eol_;
    for (const Value& value : key.values()) WriteValue(value);
    out_ += eol_;
  }

  void AppendEscaped(std::string_view text) {
    for (const char c : text) {
      if (c == '\\' || c == '"') out_ += '\\';
      out_ += c;
    }
  }

  // Whether a REG_SZ reads back from "quoted" text: one final NUL and no
  // line breaks or control characters (a tab is harmless). Text that is
  // converted to UTF-16 must also be valid UTF-8.
  bool Quotable(const Value& value) const {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
    const std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                                value.data.size() - 1);
    for (const char c : text) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
    }
    const bool converted =
        doc_.dialect == Dialect::kVersion5 || doc_.encoding == Encoding::kUtf16le;
    return !converted || IsValidUtf8(text);
  }

  void WriteValue(const Value& value) {
    const size_t start = out_.size();
    if (value.name.empty()) {
      out_ += '@';
    } else {
      out_ += '"';
      AppendEscaped(value.name);
      out_ += '"';
    }
    out_ += '=';

    if (Quotable(value)) {
      out_ += '"';
      AppendEscaped(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                     value.data.size() - 1));
      out_ += '"';
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
      const uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                              (static_cast<uint32_t>(value.data[3]) << 24);
      char text[16];
      std::snprintf(text, sizeof text, "dword:%08x", number);
      out_ += text;
    } else {
      if (value.type == REG_BINARY) {
        out_ += "hex:";
      } else {
        char text[16];
        std::snprintf(text, sizeof text, "hex(%x):", value.type);
        out_ += text;
      }
      const size_t column = Columns(std::string_view(out_).substr(start));
      const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ ||
                        value.type == REG_MULTI_SZ;
      if (text && doc_.dialect == Dialect::kVersion5) {
        const std::vector<uint8_t> wide = Utf8ToUtf16le(
            std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
        HexList(column, wide);
      } else {
        HexList(column, value.data);
      }
    }
    out_ += eol_;
  }

  // regedit's wrapping: after each comma, once the line has reached 77
  // columns it ends with a backslash and the next starts two spaces in, so
  // no line is longer than 80.
  void HexList(size_t column, const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < bytes.size(); ++i) {
      out_ += kDigits[bytes[i] >> 4];
      out_ += kDigits[bytes[i] & 0xF];
      if (i + 1 == bytes.size()) break;
      out_ += ',';
      column += 3;
      if (column >= 77) {
        out_ += '\\';
        out_ += eol_;
        out_ += "  ";
        column = 2;
      }
    }
  }

  const Document& doc_;
  const std::string_view eol_;
  std::string out_;
};

}  // namespace

bool ParseRegFile(std::string_view bytes, Document& out, ParseError& error) {
  error = ParseError{};
  return Parser(out, error).Run(bytes);
}

std::string WriteRegFile(const Document& doc) { return Writer(doc).Run(); }

}  // namespace platform::reg
