/*
 * output.cpp - the console's three output modes: the aligned table, CSV and JSON.
 */
#include "output.h"

#include <algorithm>
#include <set>

namespace quarn {
namespace {

// A value as the console shows it under its column type: the value's text (DECIMAL with its
// scale, CHAR padded to its length, REAL with its digits), bit data and BLOB as x'..', NULL as "-".
std::string displayValue(const Value &v, const QType &t) {
  static const char *const kHex = "0123456789ABCDEF";
  if (v.kind == Value::Null) return "-";
  if (v.kind != Value::Blob) return valueText(v, t);
  std::string out = "x'";
  for (unsigned char c : v.s) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out + "'";
}

// Length of the well-formed UTF-8 sequence at s[i] and its code point; 0 when it is not one.
size_t decodeUtf8(const std::string &s, size_t i, unsigned *cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len;
  unsigned min;
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  unsigned v = c & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    v = (v << 6) | (cc & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *cp = v;
  return len;
}

// Columns a character takes on a terminal: 2 for the East Asian wide and fullwidth ranges and
// emoji, 0 for combining marks and zero-width characters, else 1.
int charColumns(unsigned cp) {
  static const unsigned kZero[][2] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
                                      {0x064B, 0x065F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
                                      {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}};
  static const unsigned kWide[][2] = {{0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF},
                                      {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                                      {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
                                      {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
  for (const auto &r : kZero)
    if (cp >= r[0] && cp <= r[1]) return 0;
  for (const auto &r : kWide)
    if (cp >= r[0] && cp <= r[1]) return 2;
  return 1;
}

// Columns a UTF-8 text takes on a terminal.  A byte that does not decode counts as one column.
size_t displayWidth(const std::string &text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned cp = 0;
    size_t len = decodeUtf8(text, i, &cp);
    n += len == 0 ? 1 : static_cast<size_t>(charColumns(cp));
    i += len == 0 ? 1 : len;
  }
  return n;
}

constexpr const char *kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

}  // namespace

std::string shownText(const std::string &s, bool inCell) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned cp = 0;
    size_t len = decodeUtf8(s, i, &cp);
    if (len == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (cp == '\n' || cp == '\r' || cp == '\t') out.push_back(inCell ? ' ' : static_cast<char>(cp));
    else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) out += kReplacement;
    else out.append(s, i, len);
    i += len;
  }
  return out;
}

namespace {

bool isNumberValue(const Value &v) { return v.kind == Value::Int || v.kind == Value::Real; }

// A value is written as a JSON number when its column is numeric (or untyped and the value a
// number) and its text is a JSON number: "inf" and "nan" stay strings.
bool isJsonNumber(const std::string &t) {
  size_t i = 0, n = t.size();
  auto digits = [&] {
    size_t start = i;
    while (i < n && t[i] >= '0' && t[i] <= '9') ++i;
    return i > start;
  };
  if (i < n && t[i] == '-') ++i;
  if (i < n && t[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < n && t[i] == '.') {
    ++i;
    if (!digits()) return false;
  }
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == n;
}

// The text as a JSON string.  Bytes that are not UTF-8 (possible only in data stored through
// another path than SQL text) become U+FFFD, so the output stays valid JSON.  Control
// characters, DEL and the C1 controls included, are written as \u escapes: the value is
// the same, and none reaches a terminal the output is shown on.
void writeJsonString(std::ostream &out, const std::string &s) {
  static const char *const kHex = "0123456789abcdef";
  std::string buf = "\"";
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      unsigned cp;
      size_t len = decodeUtf8(s, i, &cp);
      if (len == 0) {
        buf += kReplacement;
        ++i;
      } else if (cp <= 0x9F) {
        buf += "\\u00";
        buf.push_back(kHex[cp >> 4]);
        buf.push_back(kHex[cp & 15]);
        i += len;
      } else {
        buf.append(s, i, len);
        i += len;
      }
      continue;
    }
    switch (c) {
      case '"': buf += "\\\""; break;
      case '\\': buf += "\\\\"; break;
      case '\n': buf += "\\n"; break;
      case '\r': buf += "\\r"; break;
      case '\t': buf += "\\t"; break;
      case '\b': buf += "\\b"; break;
      case '\f': buf += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          buf += "\\u00";
          buf.push_back(kHex[c >> 4]);
          buf.push_back(kHex[c & 15]);
        } else {
          buf.push_back(static_cast<char>(c));
        }
    }
    ++i;
  }
  buf.push_back('"');
  out << buf;
}

// One CSV field: quoted when it holds a comma, a quote or a line break, or is empty (so an empty
// string differs from NULL, which is an empty field without quotes).
void writeCsvField(std::ostream &out, const std::string &s) {
  if (!s.empty() && s.find_first_of(",\"\r\n") == std::string::npos) {
    out << s;
    return;
  }
  std::string buf = "\"";
  for (char c : s) {
    if (c == '"') buf.push_back('"');
    buf.push_back(c);
  }
  buf.push_back('"');
  out << buf;
}

}  // namespace

void ResultWriter::begin(std::vector<std::string> names, std::vector<QType> types) {
  names_ = std::move(names);
  types_ = std::move(types);
  // A JSON object's keys are unique: a reader keeps one value of a repeated key and drops the
  // others.  The second column of a name is keyed "NAME:2", the third "NAME:3", past any name
  // the result already has.
  keys_.clear();
  if (format_.mode == OutputMode::Json) {
    std::set<std::string> taken(names_.begin(), names_.end()), seen;
    for (const std::string &n : names_) {
      std::string key = n;
      for (int k = 2; !seen.insert(key).second; ++k) {
        key = n + ":" + std::to_string(k);
        if (taken.count(key) != 0) key = n;  // a column of that name: try the next number
      }
      keys_.push_back(key);
    }
  }
  untypedNumeric_.assign(types_.size(), 1);
  cells_.clear();
  rows_ = 0;
  if (format_.mode == OutputMode::Csv && format_.header) {
    for (size_t c = 0; c < names_.size(); ++c) {
      if (c) out_ << ',';
      writeCsvField(out_, names_[c]);
    }
    out_ << '\n';
  }
}

void ResultWriter::row(const std::vector<Value> &values) {
  ++rows_;
  switch (format_.mode) {
    case OutputMode::Table: {
      std::vector<std::string> cells;
      cells.reserve(values.size());
      for (size_t c = 0; c < values.size(); ++c) {
        if (types_[c].base == Base::None && !isNumberValue(values[c]) && !values[c].isNull()) untypedNumeric_[c] = 0;
        cells.push_back(shownText(displayValue(values[c], types_[c])));
      }
      cells_.push_back(std::move(cells));
      return;
    }
    case OutputMode::Csv:
      for (size_t c = 0; c < values.size(); ++c) {
        if (c) out_ << ',';
        if (!values[c].isNull()) writeCsvField(out_, displayValue(values[c], types_[c]));
      }
      out_ << '\n';
      return;
    case OutputMode::Json:
      out_ << (rows_ == 1 ? "[{" : ",\n{");
      for (size_t c = 0; c < values.size(); ++c) {
        if (c) out_ << ',';
        writeJsonString(out_, keys_[c]);
        out_ << ':';
        const Value &v = values[c];
        if (v.isNull()) {
          out_ << "null";
          continue;
        }
        std::string text = displayValue(v, types_[c]);
        bool number = types_[c].base == Base::None ? isNumberValue(v) : types_[c].isNumeric();
        if (number && isJsonNumber(text)) {
          out_ << text;
        } else {
          writeJsonString(out_, text);
        }
      }
      out_ << '}';
      return;
  }
}

void ResultWriter::end(bool complete) {
  switch (format_.mode) {
    case OutputMode::Table:
      if (complete || rows_ > 0) writeTable(complete);
      break;
    case OutputMode::Csv:
      break;
    case OutputMode::Json:
      out_ << (rows_ == 0 ? "[]\n" : "]\n");
      break;
  }
  cells_.clear();
  out_.flush();
}

void ResultWriter::writeTable(bool complete) {
  std::vector<QType> types = types_;
  for (size_t c = 0; c < types.size(); ++c)
    if (types[c].base == Base::None && untypedNumeric_[c] && !cells_.empty()) types[c].base = Base::Double;
  std::vector<size_t> width(names_.size());
  for (size_t c = 0; c < names_.size(); ++c) {
    width[c] = std::max<size_t>(format_.header ? displayWidth(shownText(names_[c])) : 0, 1);
    for (const auto &r : cells_) width[c] = std::max(width[c], displayWidth(r[c]));
  }
  auto cell = [&](const std::string &v, size_t c, bool right) {
    size_t w = displayWidth(v);
    std::string pad(width[c] - std::min(width[c], w), ' ');
    return right ? pad + v : v + pad;
  };
  std::string line;
  auto emit = [&] { out_ << line.substr(0, line.find_last_not_of(' ') + 1) << "\n"; };
  if (format_.header) {
    for (size_t c = 0; c < names_.size(); ++c) line += (c ? " " : "") + cell(shownText(names_[c]), c, types[c].isNumeric());
    emit();
    line.clear();
    for (size_t c = 0; c < names_.size(); ++c) line += (c ? " " : "") + std::string(width[c], '-');
    out_ << line << "\n";
  }
  for (const auto &r : cells_) {
    line.clear();
    for (size_t c = 0; c < names_.size(); ++c) line += (c ? " " : "") + cell(r[c], c, types[c].isNumeric() && r[c] != "-");
    emit();
  }
  // The count sums up a whole result; after rows a failure cut short, its message follows
  // instead (the count before it read as success).
  if (complete) {
    out_ << "\n  " << cells_.size() << " record(s) selected.\n\n";
  } else {
    out_ << "\n";
  }
}

void ResultWriter::callOutputs(const std::vector<Statement::CallOutput> &outputs) {
  if (outputs.empty()) return;
  if (format_.mode == OutputMode::Table) {
    out_ << "\n  Value of output parameters\n  --------------------------\n";
    for (const Statement::CallOutput &o : outputs)
      out_ << "  Parameter Name  : " << shownText(o.name, false)
           << "\n  Parameter Value : " << shownText(displayValue(o.value, o.type), false)
           << "\n\n";
    return;
  }
  std::vector<std::string> names;
  std::vector<QType> types;
  std::vector<Value> values;
  for (const Statement::CallOutput &o : outputs) {
    names.push_back(o.name);
    types.push_back(o.type);
    values.push_back(o.value);
  }
  begin(std::move(names), std::move(types));
  row(values);
  end(true);
}

}  // namespace quarn
