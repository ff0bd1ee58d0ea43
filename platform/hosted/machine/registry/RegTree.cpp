#include "platform/hosted/machine/registry/RegTree.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"

namespace hosted::registry {

namespace {

constexpr std::string_view kSignature = "Windows Registry Editor Version 5.00";

// The registry editor breaks hex data before a line would pass this column.
constexpr size_t kHexLineLimit = 77;

[[noreturn]] void malformed(const std::string& file, size_t line, const std::string& what) {
  throw HostFailure{kExitDataError, file + ":" + std::to_string(line) + ": " + what};
}

// A byte with ASCII letters upper-cased, as subkeys are ordered.
inline unsigned char upperByte(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

// Whether `text` begins with the literal `prefix` (compared inline, not through a call).
template <size_t N>
bool startsWith(std::string_view text, const char (&prefix)[N]) {
  return text.size() >= N - 1 && std::memcmp(text.data(), prefix, N - 1) == 0;
}

std::string_view trimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string_view trimLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

std::vector<uint8_t> utf16Bytes(std::string_view utf8, bool terminate) {
  std::wstring wide = utf8ToWide(utf8);
  std::vector<uint8_t> out;
  out.reserve((wide.size() + 1) * 2);
  for (wchar_t unit : wide) {
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
    out.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

[[noreturn]] void notUtf8(std::string_view text, const std::string& file) {
  size_t line = 1;
  // Name the first line that is not UTF-8.
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string_view piece = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!isValidUtf8(piece)) break;
    if (end == std::string_view::npos) break;
    start = end + 1;
    ++line;
  }
  malformed(file, line, "not UTF-8 text (save it as UTF-8 or as UTF-16LE with a byte-order mark)");
}

}  // namespace

std::string decodeRegText(std::string_view bytes, const std::string& file) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    // ASCII, most of any registry, four units at a time where it can; each run of other
    // units (a surrogate pair stays together in one) through the wide conversion.
    std::string utf8(bytes.size() / 2, '\0');
    size_t n = 0;
    auto unitAt = [&bytes](size_t i) {
      return static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    std::wstring run;
    for (size_t i = 2; i + 1 < bytes.size();) {
      uint64_t four;
      if (i + 8 <= bytes.size() && (std::memcpy(&four, bytes.data() + i, 8), (four & 0xFF80FF80FF80FF80ull) == 0)) {
        utf8[n] = bytes[i];
        utf8[n + 1] = bytes[i + 2];
        utf8[n + 2] = bytes[i + 4];
        utf8[n + 3] = bytes[i + 6];
        n += 4;
        i += 8;
        continue;
      }
      if (unitAt(i) < 0x80) {
        utf8[n++] = bytes[i];
        i += 2;
        continue;
      }
      run.clear();
      for (; i + 1 < bytes.size() && unitAt(i) >= 0x80; i += 2) run.push_back(unitAt(i));
      std::string converted = wideToUtf8(run);
      utf8.resize(n + converted.size() + (bytes.size() - i) / 2);
      std::memcpy(utf8.data() + n, converted.data(), converted.size());
      n += converted.size();
    }
    utf8.resize(n);
    return utf8;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!isValidUtf8(bytes)) notUtf8(bytes, file);
  return std::string(bytes);
}

void decodeRegFile(std::string& bytes, const std::string& file) {
  bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
               static_cast<unsigned char>(bytes[1]) == 0xFE;
  if (utf16) {
    bytes = decodeRegText(bytes, file);
    return;
  }
  if (bytes.size() >= 3 && std::string_view(bytes).substr(0, 3) == "\xEF\xBB\xBF") bytes.erase(0, 3);
  if (!isValidUtf8(bytes)) notUtf8(bytes, file);
}

namespace {

// The lines of a text, each without its line end and trailing blanks, counted from 1.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool next(std::string_view& line) {
    if (offset_ >= text_.size()) return false;
    const char* begin = text_.data() + offset_;
    const void* newline = std::memchr(begin, '\n', text_.size() - offset_);
    size_t length = newline ? static_cast<size_t>(static_cast<const char*>(newline) - begin) : text_.size() - offset_;
    line = trimRight(std::string_view(begin, length));
    start_ = offset_;
    offset_ += newline ? length + 1 : length;
    ++number_;
    return true;
  }
  size_t number() const { return number_; }
  // Where the line read last begins, and where the line after it begins.
  size_t lineStart() const { return start_; }
  size_t offset() const { return offset_; }

 private:
  std::string_view text_;
  size_t start_ = 0;
  size_t offset_ = 0;
  size_t number_ = 0;
};

// Reads a quoted text at text[pos] == '"'; moves pos past the closing quote and, unless
// `out` is null, appends the text unescaped to it. Only \\ and \" are escapes, as the
// registry editor writes them.
void readQuoted(std::string_view text, size_t& pos, const std::string& file, size_t line, std::string* out) {
  size_t runStart = pos + 1;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c != '"' && c != '\\') continue;
    if (out) out->append(text.data() + runStart, i - runStart);
    if (c == '"') {
      pos = i + 1;
      return;
    }
    if (i + 1 >= text.size()) break;
    char next = text[++i];
    if (next != '\\' && next != '"') {
      malformed(file, line, std::string("unknown escape \\") + next + " in a quoted text (write \\\\ for a backslash)");
    }
    if (out) *out += next;
    runStart = i + 1;
  }
  malformed(file, line, "a quoted text has no closing quote");
}

// The value of each byte as a hex digit, or -1.
constexpr std::array<int8_t, 256> kHexDigits = [] {
  std::array<int8_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<int8_t>(c - 'A' + 10);
  return table;
}();

int hexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

// Checks hex data ("01,02,..." with blanks allowed around the commas and one trailing
// comma); unless `out` is null, stores its bytes there.
void parseHexBytes(std::string_view text, const std::string& file, size_t line, std::vector<uint8_t>* out) {
  if (out) out->reserve(text.size() / 3 + 1);
  size_t i = 0;
  // Nearly all hex data is "xx," over and over; the loop below takes the rest.
  while (i + 3 <= text.size() && text[i + 2] == ',') {
    int high = hexDigit(text[i]);
    int low = hexDigit(text[i + 1]);
    if ((high | low) < 0) break;
    if (out) out->push_back(static_cast<uint8_t>(high * 16 + low));
    i += 3;
  }
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  skipBlanks();
  if (i == text.size()) return;
  while (true) {
    skipBlanks();
    int high = i + 2 <= text.size() ? hexDigit(text[i]) : -1;
    int low = high >= 0 ? hexDigit(text[i + 1]) : -1;
    if (low < 0) malformed(file, line, "hex data must be two-digit bytes separated by commas");
    if (out) out->push_back(static_cast<uint8_t>(high * 16 + low));
    i += 2;
    skipBlanks();
    if (i == text.size()) return;
    if (text[i] != ',') malformed(file, line, "hex data must be two-digit bytes separated by commas");
    ++i;
    skipBlanks();
    if (i == text.size()) return;  // a trailing comma, as before a line break
  }
}

// Reads the value line `content` (the current line of `lines`, trimmed, starting with
// '"' or '@') and the lines its hex data continues on. Unless `out` is null, the value
// is built there; either way every malformed line is refused. `scratch` is a buffer
// the caller keeps between lines.
void parseValueLine(std::string_view content, Lines& lines, const std::string& file, std::string& scratch,
                    Value* out) {
  const size_t lineNumber = lines.number();
  size_t pos = 0;
  if (content.front() == '@') {
    pos = 1;
  } else {
    readQuoted(content, pos, file, lineNumber, out ? &out->name : nullptr);
    if (pos == 2) malformed(file, lineNumber, "write the default value as @=, not \"\"=");
  }
  std::string_view data = trimLeft(content.substr(pos));
  if (data.empty() || data.front() != '=') malformed(file, lineNumber, "expected '=' after the value name");
  data = trimLeft(data.substr(1));
  if (!data.empty() && data.front() == '"') {
    size_t end = 0;
    if (out) scratch.clear();
    readQuoted(data, end, file, lineNumber, out ? &scratch : nullptr);
    if (!trimLeft(data.substr(end)).empty()) malformed(file, lineNumber, "text after the closing quote");
    if (out) {
      out->type = 1;
      out->data = utf16Bytes(scratch, true);
    }
  } else if (startsWith(data, "dword:")) {
    std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) malformed(file, lineNumber, "dword: takes up to 8 hex digits");
    uint32_t number = 0;
    for (char c : digits) {
      if (hexDigit(c) < 0) malformed(file, lineNumber, "dword: takes up to 8 hex digits");
      number = number * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    if (out) {
      out->type = 4;
      out->data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                   static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    }
  } else if (startsWith(data, "hex")) {
    size_t colon = data.find(':');
    if (colon == std::string_view::npos) malformed(file, lineNumber, "expected ':' after hex or hex(N)");
    std::string_view kind = data.substr(3, colon - 3);
    uint32_t type = 3;
    if (!kind.empty()) {
      if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' || kind.size() > 10) {
        malformed(file, lineNumber, "hex(N): needs the type N in hex digits");
      }
      type = 0;
      for (char c : kind.substr(1, kind.size() - 2)) {
        if (hexDigit(c) < 0) malformed(file, lineNumber, "hex(N): needs the type N in hex digits");
        type = type * 16 + static_cast<uint32_t>(hexDigit(c));
      }
    }
    // The data may go on over lines ending in a backslash; they are joined first (each
    // appended once, so that reading stays linear in the size of the value), since a
    // byte may even be split over two lines.
    std::string_view piece = trimRight(data.substr(colon + 1));
    std::string_view all = piece;
    if (!piece.empty() && piece.back() == '\\') {
      scratch.clear();
      while (!piece.empty() && piece.back() == '\\') {
        piece.remove_suffix(1);
        scratch += piece;
        std::string_view more;
        if (!lines.next(more)) malformed(file, lines.number(), "hex data ends with a line continuation");
        piece = trimRight(trimLeft(more));
      }
      scratch += piece;
      all = scratch;
    }
    if (out) out->type = type;
    parseHexBytes(all, file, lineNumber, out ? &out->data : nullptr);
  } else if (!data.empty() && data.front() == '-') {
    malformed(file, lineNumber, "\"name\"=- deletes a value on import; registry.reg holds only values that exist");
  } else {
    malformed(file, lineNumber, "unknown value data (expected \"text\", dword:, hex: or hex(N):)");
  }
}

void setParsedValue(Key& key, Value value);

// Parses value lines (checked before: they cannot fail) into the key's values.
void readValueLines(Key& key, std::string_view body) {
  Lines lines(body);
  std::string scratch;
  const std::string file = "registry.reg";
  std::string_view line;
  while (lines.next(line)) {
    std::string_view content = trimLeft(line);
    if (content.empty() || content.front() == ';') continue;
    Value value;
    parseValueLine(content, lines, file, scratch, &value);
    setParsedValue(key, std::move(value));
  }
}

// The key a header names, created as needed; `path` is the header's text.
// The key chain of the header read last: headers in a file mostly share long prefixes
// with the one before, which then need no lookup again. The names are views of the text
// being parsed and of the root names, which outlive the parse.
struct HeaderChain {
  std::vector<std::string_view> names;  // the real path, as written
  std::vector<Key*> keys;               // keys[i] is the key of names[0..i]
  std::vector<std::string_view> real;   // scratch
  std::string upper;                    // scratch
};

Key& keyForHeader(Key& root, std::string_view path, const std::string& userSid, const std::string& file, size_t line,
                  HeaderChain& chain) {
  std::vector<std::string_view>& real = chain.real;
  real.clear();
  std::string_view rootName = path.substr(0, path.find('\\'));
  bool knownRoot = true;
  if (equalsIgnoringAsciiCase(rootName, kLocalMachine)) {
    real.push_back(kLocalMachine);
  } else if (equalsIgnoringAsciiCase(rootName, kUsers)) {
    real.push_back(kUsers);
  } else if (equalsIgnoringAsciiCase(rootName, kCurrentConfig)) {
    real.push_back(kCurrentConfig);
  } else if (equalsIgnoringAsciiCase(rootName, "HKEY_CLASSES_ROOT")) {
    real = {kLocalMachine, "SOFTWARE", "Classes"};
  } else if (equalsIgnoringAsciiCase(rootName, "HKEY_CURRENT_USER")) {
    real = {kUsers, userSid};
  } else {
    knownRoot = false;
  }
  // An empty name anywhere is reported before an unknown root.
  for (size_t start = 0;;) {
    size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty()) malformed(file, line, "a key path has an empty name (two backslashes in a row?)");
    if (start > 0) real.push_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (!knownRoot) {
    malformed(file, line, "unknown root key '" + std::string(rootName) + "' (use the full name, as HKEY_LOCAL_MACHINE)");
  }
  if (real.size() - 1 > kMaxKeyDepth) {
    malformed(file, line, "a key path is more than " + std::to_string(kMaxKeyDepth) + " levels deep");
  }
  size_t shared = 0;
  while (shared < real.size() && shared < chain.names.size() && real[shared] == chain.names[shared]) ++shared;
  chain.names.resize(shared);
  chain.keys.resize(shared);
  Key* key = shared == 0 ? &root : chain.keys.back();
  std::string& upper = chain.upper;
  for (size_t i = shared; i < real.size(); ++i) {
    upper.assign(real[i]);
    for (char& c : upper) c = asciiUpper(c);
    // Files are mostly in order, so a new key mostly goes last.
    auto& subkeys = key->subkeys;
    auto it = !subkeys.empty() && subkeys.rbegin()->first < upper ? subkeys.end() : subkeys.lower_bound(upper);
    if (it == subkeys.end() || it->first != upper) {
      auto child = std::make_shared<Key>();
      child->name = real[i];
      it = subkeys.emplace_hint(it, upper, std::move(child));
    }
    key = it->second.get();
    chain.names.push_back(real[i]);
    chain.keys.push_back(key);
  }
  return *key;
}

void setParsedValue(Key& key, Value value) {
  if (Value* existing = key.findValue(value.name)) {
    *existing = std::move(value);
  } else {
    key.values.push_back(std::move(value));
  }
}

// Parses `text` (UTF-8) into `root`. With `bodies`, keys keep their value lines,
// copied there, instead of their values; `passed` (may be null) hears how far the
// reading has gone.
void parseText(std::string_view text, const std::string& file, const std::string& userSid, Key& root,
               const std::shared_ptr<std::string>& bodies, const std::function<void(size_t)>* passed) {
  Lines lines(text);
  bool sawSignature = false;
  Key* current = nullptr;
  bool buildCurrent = true;  // the values of the current block are built now
  size_t bodyStart = 0;      // where the current block's value lines start in `text`
  size_t bodyEnd = 0;        // and where its last value line ends
  HeaderChain chain;
  std::string scratch;
  // What the keys read their value lines through; its text follows `bodies` as it grows.
  std::shared_ptr<RegIndex> bodiesIndex;
  if (bodies) {
    bodiesIndex = std::make_shared<RegIndex>();
    bodiesIndex->owner = bodies;
  }
  auto closeBlock = [&] {
    if (!current || buildCurrent) return;
    std::string_view body = text.substr(bodyStart, bodyEnd - bodyStart);
    if (body.size() > UINT32_MAX) {
      current->valuesPending = false;
      current->bodyInIndex = false;
      current->index.reset();
      readValueLines(*current, body);
      return;
    }
    current->bodyOffset = bodies->size();
    current->bodyLength = static_cast<uint32_t>(body.size());
    bodies->append(body);
    bodiesIndex->text = *bodies;
  };
  std::string_view line;
  while (lines.next(line)) {
    std::string_view content = trimLeft(line);
    if (!sawSignature) {
      if (content.empty()) continue;
      if (content != kSignature) {
        malformed(file, lines.number(), "the first line must be \"Windows Registry Editor Version 5.00\"");
      }
      sawSignature = true;
      continue;
    }
    if (content.empty() || content.front() == ';') continue;
    if (content.front() == '[') {
      if (content.back() != ']') malformed(file, lines.number(), "a key header must end with ']'");
      std::string_view path = content.substr(1, content.size() - 2);
      if (!path.empty() && path.front() == '-') {
        malformed(file, lines.number(), "[-KEY] deletes a key on import; registry.reg holds only keys that exist");
      }
      if (path.empty()) malformed(file, lines.number(), "a key header names no key");
      closeBlock();
      if (passed) (*passed)(lines.lineStart());
      current = &keyForHeader(root, path, userSid, file, lines.number(), chain);
      bool repeated = current->explicitKey;
      current->explicitKey = true;
      buildCurrent = !bodies || repeated;
      if (!buildCurrent) {
        current->index = bodiesIndex;
        current->bodyInIndex = true;
        current->valuesPending = true;
        bodyStart = bodyEnd = lines.offset();
      } else if (repeated) {
        // A second block for the key: its values are merged now, and the key is written
        // from them.
        current->editValues();
      }
      continue;
    }
    if (content.front() != '"' && content.front() != '@') {
      malformed(file, lines.number(), "expected a [KEY] header, a \"name\"=value line or @=value");
    }
    if (!current) malformed(file, lines.number(), "a value comes before any [KEY] header");
    if (buildCurrent) {
      Value value;
      parseValueLine(content, lines, file, scratch, &value);
      setParsedValue(*current, std::move(value));
    } else {
      parseValueLine(content, lines, file, scratch, nullptr);
      bodyEnd = lines.offset();
    }
  }
  closeBlock();
  if (!sawSignature && lines.number() > 0) {
    malformed(file, 1, "the first line must be \"Windows Registry Editor Version 5.00\"");
  }
}

std::string escapeQuoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

void formatValue(std::string& out, const Value& value, std::string_view newline) {
  size_t lineStart = out.size();
  if (value.name.empty()) {
    out += '@';
  } else {
    out += escapeQuoted(value.name);
  }
  out += '=';
  if (value.type == 1 && isPlainString(value.data)) {
    std::wstring wide;
    for (size_t i = 0; i + 3 < value.data.size(); i += 2) {
      wide.push_back(static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8)));
    }
    out += escapeQuoted(wideToUtf8(wide));
    out += newline;
    return;
  }
  if (value.type == 4 && value.data.size() == 4) {
    char buffer[16];
    uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<uint32_t>(value.data[3]) << 24);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    out += buffer;
    out += newline;
    return;
  }
  if (value.type == 3) {
    out += "hex:";
  } else {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    out += buffer;
  }
  // Columns are counted in characters of the name, as the editor counts them.
  size_t column = 0;
  for (size_t i = lineStart; i < out.size(); ++i) {
    if ((static_cast<unsigned char>(out[i]) & 0xC0) != 0x80) ++column;
  }
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < value.data.size(); ++i) {
    out += kDigits[value.data[i] >> 4];
    out += kDigits[value.data[i] & 0xF];
    if (i + 1 == value.data.size()) break;
    out += ',';
    column += 3;
    if (column >= kHexLineLimit) {
      out += '\\';
      out += newline;
      out += "  ";
      column = 2;
    }
  }
  out += newline;
}

// Writes `top` and every key below it, depth first in the order of the subkey maps,
// handing `out` to `sink` (when there is one) whenever it holds `chunk` bytes or more.
// Iterative: the depth of the tree is the input's to decide.
bool formatTree(std::string& out, const Key& top, std::string_view newline, size_t chunk,
                const std::function<bool(std::string_view)>* sink) {
  struct Frame {
    const Key* key;
    std::map<std::string, std::shared_ptr<Key>>::const_iterator next;
    size_t pathLength;  // of `path` before this key's name was added
  };
  std::string path;
  std::vector<Frame> stack;
  auto flushed = [&] {
    if (!sink || out.size() < chunk) return true;
    if (!(*sink)(out)) return false;
    out.clear();
    return true;
  };
  auto enter = [&](const Key& key) {
    size_t before = path.size();
    if (!path.empty()) path += '\\';
    path += key.name;
    if (key.explicitKey) {
      out += '[';
      out += path;
      out += ']';
      out += newline;
      if (key.bodyInIndex) {
        std::string_view body = key.index->text.substr(key.bodyOffset, key.bodyLength);
        out += body;
        if (!body.empty() && body.back() != '\n') out += newline;
      } else {
        for (const auto& value : key.values) formatValue(out, value, newline);
      }
      out += newline;
    }
    if (key.expandPending()) {
      // Nothing reached the keys below: they are written as the file had them, which
      // is what writing them one by one would give.
      const RegIndex& index = *key.index;
      if (!index.contiguous) {
        for (uint32_t e = key.indexBegin; e < key.indexEnd; ++e) {
          out += index.block(index.entries[e]);
          if (!flushed()) return false;
        }
        path.resize(before);
        return true;
      }
      std::string_view stretch = index.stretch(key.indexBegin, key.indexEnd);
      if (sink && !out.empty()) {
        if (!(*sink)(out)) return false;
        out.clear();
      }
      if (sink) {
        if (!(*sink)(stretch)) return false;
      } else {
        out += stretch;
      }
      path.resize(before);
      return true;
    }
    stack.push_back(Frame{&key, key.subkeys.begin(), before});
    return true;
  };
  if (!enter(top)) return false;
  while (!stack.empty()) {
    if (!flushed()) return false;
    Frame& frame = stack.back();
    if (frame.next == frame.key->subkeys.end()) {
      path.resize(frame.pathLength);
      stack.pop_back();
      continue;
    }
    const Key& child = *frame.next->second;
    ++frame.next;
    if (!enter(child)) return false;
  }
  return true;
}

}  // namespace

void Key::loadValues() {
  if (!valuesPending) return;
  valuesPending = false;
  readValueLines(*this, index->text.substr(bodyOffset, bodyLength));
}

void Key::editValues() {
  loadValues();
  bodyInIndex = false;
  bodyOffset = bodyLength = 0;
  if (!expandPending()) index.reset();
}

void Key::expand() const {
  if (!index) return;
  std::shared_ptr<const RegIndex> from = std::move(index);
  index.reset();
  if (bodyInIndex) index = from;  // still the source of this key's values
  const uint32_t begin = indexBegin, end = indexEnd;
  indexBegin = indexEnd = 0;
  std::string upper;
  for (uint32_t i = begin; i < end;) {
    // The name this key's entries have at this depth, and whether it ends the path.
    std::string_view path = from->path(from->entries[i]);
    size_t nameStart = 0;
    for (uint32_t level = 0; level < depth; ++level) nameStart = path.find('\\', nameStart) + 1;
    size_t nameEnd = path.find('\\', nameStart);
    bool own = nameEnd == std::string_view::npos;
    std::string_view name = path.substr(nameStart, own ? std::string_view::npos : nameEnd - nameStart);
    // The entries below that key follow it, their paths going on past the same name;
    // the file being in order, the first that does not ends them.
    auto below = [&](uint32_t k) {
      std::string_view other = from->path(from->entries[k]);
      return other.size() > nameStart + name.size() && other[nameStart + name.size()] == '\\' &&
             other.compare(nameStart, name.size(), name) == 0;
    };
    uint32_t next = i + 1, last = end;
    while (next < last) {
      uint32_t middle = next + (last - next) / 2;
      if (below(middle)) {
        next = middle + 1;
      } else {
        last = middle;
      }
    }
    auto child = std::make_shared<Key>();
    child->name = name;
    child->depth = static_cast<uint16_t>(depth + 1);
    if (own) {
      const RegIndex::Entry& entry = from->entries[i];
      child->explicitKey = true;
      child->bodyInIndex = true;
      child->bodyOffset = from->bodyStart(entry);
      child->bodyLength = entry.bodyLength;
      child->valuesPending = true;
      child->index = from;
    }
    child->indexBegin = own ? i + 1 : i;
    child->indexEnd = next;
    if (child->indexBegin < child->indexEnd) child->index = from;
    upper.assign(name);
    for (char& c : upper) c = asciiUpper(c);
    subkeys.emplace_hint(subkeys.end(), upper, std::move(child));
    i = next;
  }
}

Value* Key::findValue(std::string_view valueName) {
  loadValues();
  for (auto& value : values) {
    if (equalsIgnoringAsciiCase(value.name, valueName)) return &value;
  }
  return nullptr;
}

std::shared_ptr<Key> Key::findSubkey(std::string_view subkeyName) const {
  expand();
  auto it = subkeys.find(asciiUpper(subkeyName));
  return it == subkeys.end() ? nullptr : it->second;
}

Key::~Key() {
  std::vector<std::shared_ptr<Key>> pending;
  for (auto& [upper, subkey] : subkeys) pending.push_back(std::move(subkey));
  subkeys.clear();
  while (!pending.empty()) {
    std::shared_ptr<Key> key = std::move(pending.back());
    pending.pop_back();
    // A key a handle still holds stays whole; only the last owner takes it apart.
    if (key.use_count() != 1) continue;
    for (auto& [upper, subkey] : key->subkeys) pending.push_back(std::move(subkey));
    key->subkeys.clear();
  }
}

void Key::markDeleted() {
  std::vector<Key*> pending{this};
  while (!pending.empty()) {
    Key* key = pending.back();
    pending.pop_back();
    key->deleted = true;
    for (auto& [upper, subkey] : key->subkeys) pending.push_back(subkey.get());
  }
}

std::vector<std::string> splitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    parts.emplace_back(path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string joinKeyPath(const KeyPath& path) {
  std::string out;
  for (const auto& part : path) {
    if (!out.empty()) out += '\\';
    out += part;
  }
  return out;
}

bool isPlainString(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  size_t units = data.size() / 2;
  std::wstring wide;
  wide.reserve(units);
  for (size_t i = 0; i < units; ++i) wide.push_back(static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8)));
  if (wide.back() != 0) return false;
  wide.pop_back();
  bool ascii = true;
  for (wchar_t unit : wide) {
    // A NUL inside, or a line break the quoted form cannot hold.
    if (unit == 0 || unit == L'\r' || unit == L'\n') return false;
    if (unit >= 0x80) ascii = false;
  }
  // Beyond ASCII, unpaired surrogates would not survive the trip through UTF-8.
  return ascii || utf8ToWide(wideToUtf8(wide)) == wide;
}

void parseRegFile(std::string_view bytes, const std::string& file, const std::string& userSid, Key& root) {
  std::string text(bytes);
  decodeRegFile(text, file);
  parseText(text, file, userSid, root, nullptr, nullptr);
}

void parseRegFileLazily(std::string bytes, const std::string& file, const std::string& userSid, Key& root) {
  decodeRegFile(bytes, file);
  auto bodies = std::make_shared<std::string>();
  bodies->reserve(bytes.size());
  parseText(bytes, file, userSid, root, bodies, nullptr);
}

void parseRegTextLazily(std::string_view text, const std::string& file, const std::string& userSid, Key& root,
                        const std::function<void(size_t)>& passed) {
  // Checked a piece at a time, each ending before a character's first byte, so that the
  // memory behind can go as the check passes.
  constexpr size_t kPiece = 2u << 20;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.size(), start + kPiece);
    while (end < text.size() && end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    if (end == start) end = std::min(text.size(), start + kPiece);
    if (!isValidUtf8(text.substr(start, end - start))) notUtf8(text, file);
    start = end;
    passed(start);
  }
  // Reserved, not touched: only what is appended takes memory.
  auto bodies = std::make_shared<std::string>();
  bodies->reserve(text.size());
  parseText(text, file, userSid, root, bodies, &passed);
}

namespace {

// Whether the header path `path` comes after `before` (the header before it) in
// enumeration order, with the names they share written with the same bytes. Sets
// `nameStart` to where the first name that differs begins.
bool followsInOrder(std::string_view before, std::string_view path, size_t& nameStart) {
  // Both paths are the same bytes up to `differ`, so the first name that differs begins
  // after the last backslash before it.
  size_t differ = 0;
  const size_t common = std::min(path.size(), before.size());
  while (differ + 8 <= common) {
    uint64_t a, b;
    std::memcpy(&a, path.data() + differ, 8);
    std::memcpy(&b, before.data() + differ, 8);
    if (a != b) break;
    differ += 8;
  }
  while (differ < common && path[differ] == before[differ]) ++differ;
  if (differ == path.size()) return false;  // named before, or a key after one below it
  nameStart = differ;
  while (nameStart > 0 && path[nameStart - 1] != '\\') --nameStart;
  if (differ < before.size()) {
    size_t i = nameStart;
    while (i < before.size() && i < path.size() && before[i] != '\\' && path[i] != '\\' &&
           upperByte(before[i]) == upperByte(path[i])) {
      ++i;
    }
    bool beforeEnds = i == before.size() || before[i] == '\\';
    bool pathEnds = i == path.size() || path[i] == '\\';
    bool after = beforeEnds ? !pathEnds : !pathEnds && upperByte(before[i]) < upperByte(path[i]);
    if (!after) return false;  // before it, or the same name written otherwise
  }
  return true;
}

// One stretch of a file being indexed: the lines of text[begin, end), where `begin` is
// the start of the first block's header (or of the first block, for the first stretch).
struct IndexStretch {
  std::vector<RegIndex::Entry> entries;
  std::string_view first;  // the first header's path
  std::string_view last;   // the last header's path
  size_t contentEnd = 0;   // where the last header or value line of the last block ends
  bool ok = false;
};

void indexStretch(std::string_view text, std::string_view newline, size_t begin, size_t end, bool anyOrder,
                  IndexStretch& out) {
  auto atNewline = [&](size_t offset) { return text.compare(offset, newline.size(), newline) == 0; };
  // Where an entry's value lines begin, as RegIndex::bodyStart says.
  auto bodyStart = [&](const RegIndex::Entry& entry) { return entry.start + entry.pathLength + 2 + newline.size(); };
  Lines lines(text.substr(begin, end - begin));
  std::string scratch;
  std::string_view before;     // the path of the header before
  std::vector<size_t> slashes;  // where its backslashes are
  size_t contentEnd = 0;  // where the last header or value line of the block ends (in `text`)
  bool inBlock = false;
  // The text is checked for UTF-8 a few lines at a time while they are at hand; lines end
  // at a '\n', which no multi-byte character holds.
  size_t checked = begin;
  try {
    std::string_view line;
    while (lines.next(line)) {
      if (begin + lines.lineStart() - checked >= (64u << 10)) {
        if (!isValidUtf8(text.substr(checked, begin + lines.lineStart() - checked))) return;
        checked = begin + lines.lineStart();
      }
      std::string_view content = trimLeft(line);
      if (content.empty() || content.front() == ';') continue;
      const size_t start = begin + lines.lineStart();
      if (content.front() == '"' || content.front() == '@') {
        if (!inBlock) return;
        parseValueLine(content, lines, "registry.reg", scratch, nullptr);
        contentEnd = begin + lines.offset();
        continue;
      }
      if (content.front() != '[') return;
      // The block before ends with one blank line; nothing comes between it and this header.
      if (inBlock ? start != contentEnd + newline.size() || !atNewline(contentEnd) : start != begin) return;
      // "[path]" and the line end, with nothing around them.
      size_t lineLength = begin + lines.offset() - start;
      if (lineLength < 2 + newline.size() || !atNewline(start + lineLength - newline.size()) ||
          text[start] != '[' || text[start + lineLength - newline.size() - 1] != ']') {
        return;
      }
      std::string_view path = text.substr(start + 1, lineLength - newline.size() - 2);
      if (path.empty() || path.front() == '-' || path.size() > UINT32_MAX) return;
      size_t nameStart = 0;
      // In any order, every name of every path is checked.
      if (!followsInOrder(anyOrder ? std::string_view() : before, path, nameStart)) return;
      // The new names: none empty, under a stored root, not too deep (the names before
      // nameStart are the header before's, checked then).
      if (nameStart == 0) {
        std::string_view rootName = path.substr(0, path.find('\\'));
        if (rootName != kLocalMachine && rootName != kUsers && rootName != kCurrentConfig) return;
      }
      slashes.resize(static_cast<size_t>(std::lower_bound(slashes.begin(), slashes.end(), nameStart) - slashes.begin()));
      for (size_t from = nameStart;;) {
        const void* found = std::memchr(path.data() + from, '\\', path.size() - from);
        if (!found) break;
        size_t at = static_cast<size_t>(static_cast<const char*>(found) - path.data());
        if (at == from || at + 1 == path.size()) return;  // an empty name
        slashes.push_back(at);
        from = at + 1;
      }
      if (slashes.size() > kMaxKeyDepth) return;
      if (out.entries.empty()) out.first = path;
      before = path;
      if (inBlock) {
        RegIndex::Entry& last = out.entries.back();
        uint64_t bodyLength = contentEnd - bodyStart(last);
        if (bodyLength > UINT32_MAX) return;
        last.bodyLength = static_cast<uint32_t>(bodyLength);
      }
      if (out.entries.size() >= UINT32_MAX - 1) return;
      out.entries.push_back(RegIndex::Entry{start, static_cast<uint32_t>(path.size()), 0});
      inBlock = true;
      contentEnd = start + lineLength;
    }
  } catch (const HostFailure&) {
    return;  // malformed: the ordinary reading says where
  }
  if (!isValidUtf8(text.substr(checked, end - checked))) return;
  if (inBlock) {
    RegIndex::Entry& last = out.entries.back();
    uint64_t bodyLength = contentEnd - bodyStart(last);
    if (bodyLength > UINT32_MAX) return;
    last.bodyLength = static_cast<uint32_t>(bodyLength);
  }
  out.last = before;
  out.contentEnd = contentEnd;
  out.ok = true;
}

// Where a second stretch of a large file may begin: a header line after a blank line,
// about halfway. In the fold's form a line that begins with '[' is always a header (value
// lines begin with '"' or '@', their continuations with blanks); a file not in that form
// is refused by one stretch or the other whatever the split. 0: no split.
size_t splitPoint(std::string_view text, std::string_view newline, size_t from) {
  std::string blankThenHeader = std::string(newline) + std::string(newline) + "[";
  size_t at = text.find(blankThenHeader, from + (text.size() - from) / 2);
  return at == std::string_view::npos ? 0 : at + 2 * newline.size();
}

}  // namespace

namespace {

// Sorts the entries of `index` into enumeration order: name by name, each compared by
// its upper-cased bytes, a name before every longer one it begins, a key before the keys
// below it. That is the byte order of the paths upper-cased with each backslash made 1,
// which are sorted. False, leaving the entries, for a path holding a byte below 2.
bool sortEntries(RegIndex& index) {
  std::vector<RegIndex::Entry>& entries = index.entries;
  size_t total = 0;
  for (const auto& entry : entries) total += entry.pathLength;
  std::string keys(total, '\0');
  struct Record {
    uint64_t head[2];  // sixteen bytes of the key, as far as the sort has come
    uint64_t offset;
    uint32_t length;
    uint32_t entry;
  };
  std::vector<Record> records(entries.size());
  size_t at = 0;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    std::string_view path = index.path(entries[i]);
    for (size_t k = 0; k < path.size(); ++k) {
      auto c = static_cast<unsigned char>(path[k]);
      if (c < 2) return false;
      keys[at + k] = static_cast<char>(c == '\\' ? 1 : upperByte(path[k]));
    }
    records[i] = Record{{0, 0}, at, static_cast<uint32_t>(path.size()), i};
    at += path.size();
  }
  // Sixteen bytes at a time, from the first: the records are sorted by those, then each
  // run that has them alike by the next sixteen, and so on (keys shorter than a piece
  // are padded with 0, below every byte of a key).
  auto fill = [&keys](Record& record, size_t depth) {
    for (size_t half = 0; half < 2; ++half) {
      uint64_t head = 0;
      for (size_t k = depth + 8 * half; k < depth + 8 * half + 8; ++k) {
        head = head << 8 | (k < record.length ? static_cast<unsigned char>(keys[record.offset + k]) : 0u);
      }
      record.head[half] = head;
    }
  };
  auto same = [](const Record& a, const Record& b) { return a.head[0] == b.head[0] && a.head[1] == b.head[1]; };
  struct Range {
    size_t begin, end, depth;
  };
  std::vector<Range> pending{{0, records.size(), 0}};
  while (!pending.empty()) {
    Range range = pending.back();
    pending.pop_back();
    auto first = records.begin() + static_cast<ptrdiff_t>(range.begin);
    auto last = records.begin() + static_cast<ptrdiff_t>(range.end);
    for (auto it = first; it != last; ++it) fill(*it, range.depth);
    if (std::any_of(first + 1, last, [&](const Record& r) { return !same(r, *first); })) {
      std::sort(first, last, [](const Record& a, const Record& b) {
        return a.head[0] != b.head[0] ? a.head[0] < b.head[0] : a.head[1] < b.head[1];
      });
    }
    // Runs alike here that go on past these sixteen bytes are ordered by the next.
    for (auto run = first; run != last;) {
      auto next = run + 1;
      while (next != last && same(*next, *run)) ++next;
      if (next - run > 1 &&
          std::any_of(run, next, [&range](const Record& r) { return r.length > range.depth + 16; })) {
        pending.push_back(Range{static_cast<size_t>(run - records.begin()), static_cast<size_t>(next - records.begin()),
                                range.depth + 16});
      }
      run = next;
    }
  }
  std::vector<RegIndex::Entry> sorted;
  sorted.reserve(entries.size());
  for (const auto& record : records) sorted.push_back(entries[record.entry]);
  entries = std::move(sorted);
  return true;
}

}  // namespace

std::shared_ptr<const RegIndex> indexRegText(std::string_view text, std::string_view newline,
                                             std::shared_ptr<const void> owner, Key& root, size_t splitAbove,
                                             bool anyOrder) {
  auto index = std::make_shared<RegIndex>();
  index->text = text;
  index->owner = std::move(owner);
  index->newline = std::string(newline);
  std::vector<RegIndex::Entry>& entries = index->entries;
  auto atNewline = [&](size_t offset) { return text.compare(offset, newline.size(), newline) == 0; };

  // The signature line and one blank line, as the fold writes them.
  size_t first = kSignature.size() + 2 * newline.size();
  if (text.size() < first || text.compare(0, kSignature.size(), kSignature) != 0 || !atNewline(kSignature.size()) ||
      !atNewline(kSignature.size() + newline.size())) {
    return nullptr;
  }
  // A large file is checked in two stretches at once, the second on a thread of its own;
  // they meet where the second's first header must follow the first's last.
  IndexStretch head, tail;
  size_t split = text.size() - first > splitAbove ? splitPoint(text, newline, first) : 0;
  if (split) {
    std::thread worker([&] { indexStretch(text, newline, split, text.size(), anyOrder, tail); });
    indexStretch(text, newline, first, split, anyOrder, head);
    worker.join();
    size_t nameStart = 0;
    if (!head.ok || !tail.ok || head.entries.empty() || head.contentEnd + newline.size() != split ||
        !atNewline(head.contentEnd) || (!anyOrder && !followsInOrder(head.last, tail.first, nameStart))) {
      return nullptr;
    }
    entries = std::move(head.entries);
    entries.insert(entries.end(), tail.entries.begin(), tail.entries.end());
    if (entries.size() >= UINT32_MAX - 1) return nullptr;
    head.contentEnd = tail.contentEnd;
  } else {
    indexStretch(text, newline, first, text.size(), anyOrder, head);
    if (!head.ok) return nullptr;
    entries = std::move(head.entries);
  }
  if (anyOrder) {
    if (!sortEntries(*index)) return nullptr;
    // In order now, as a file in the fold's form is: each key once, each shared name
    // written the same way.
    // Checked in two halves at once: the paths lie all over the file.
    auto inOrder = [&index, &entries](size_t from, size_t to) {
      for (size_t i = std::max<size_t>(from, 1); i < to; ++i) {
        size_t nameStart = 0;
        if (!followsInOrder(index->path(entries[i - 1]), index->path(entries[i]), nameStart)) return false;
      }
      return true;
    };
    bool tailInOrder = true;
    size_t middle = entries.size() / 2;
    std::thread worker([&] { tailInOrder = inOrder(middle, entries.size()); });
    bool headInOrder = inOrder(0, middle);
    worker.join();
    if (!headInOrder || !tailInOrder) return nullptr;
    index->contiguous = false;
  }
  if (!entries.empty()) {
    if (text.size() != head.contentEnd + newline.size() || !atNewline(head.contentEnd)) return nullptr;
  } else if (text.size() != first) {
    return nullptr;
  }
  root.index = index;
  root.indexBegin = 0;
  root.indexEnd = static_cast<uint32_t>(entries.size());
  root.depth = 0;
  if (entries.empty()) root.index.reset();
  return index;
}

std::string formatRegFile(const Key& root, std::string_view newline, size_t sizeHint) {
  std::string out;
  out.reserve(sizeHint);
  root.expand();
  out += kSignature;
  out += newline;
  out += newline;
  for (const auto& [upper, top] : root.subkeys) formatTree(out, *top, newline, 0, nullptr);
  return out;
}

bool writeRegFile(const Key& root, std::string_view newline, size_t chunk,
                  const std::function<bool(std::string_view)>& sink) {
  std::string out;
  out.reserve(chunk + (64u << 10));
  root.expand();
  out += kSignature;
  out += newline;
  out += newline;
  for (const auto& [upper, top] : root.subkeys) {
    if (!formatTree(out, *top, newline, chunk, &sink)) return false;
  }
  return out.empty() || sink(out);
}

}  // namespace hosted::registry
