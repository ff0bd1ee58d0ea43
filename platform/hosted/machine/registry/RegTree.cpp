#include "platform/hosted/machine/registry/RegTree.h"

#include <cstdio>

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

// The whole file as UTF-8 text.
std::string decodeText(std::string_view bytes, const std::string& file) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::wstring wide;
    wide.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return wideToUtf8(wide);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (!isValidUtf8(bytes)) {
    size_t line = 1;
    // Name the first line that is not UTF-8.
    size_t start = 0;
    while (start <= bytes.size()) {
      size_t end = bytes.find('\n', start);
      std::string_view text = bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
      if (!isValidUtf8(text)) break;
      if (end == std::string_view::npos) break;
      start = end + 1;
      ++line;
    }
    malformed(file, line, "not UTF-8 text (save it as UTF-8 or as UTF-16LE with a byte-order mark)");
  }
  return std::string(bytes);
}

// Reads a quoted text at text[pos] == '"'; returns it unescaped and moves pos past the
// closing quote. Only \\ and \" are escapes, as the registry editor writes them.
std::string readQuoted(std::string_view text, size_t& pos, const std::string& file, size_t line) {
  std::string out;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= text.size()) break;
      char next = text[++i];
      if (next != '\\' && next != '"') {
        malformed(file, line, std::string("unknown escape \\") + next + " in a quoted text (write \\\\ for a backslash)");
      }
      out += next;
    } else {
      out += c;
    }
  }
  malformed(file, line, "a quoted text has no closing quote");
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<uint8_t> parseHexBytes(std::string_view text, const std::string& file, size_t line) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 3 + 1);
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  skipBlanks();
  if (i == text.size()) return out;
  while (true) {
    skipBlanks();
    if (i + 2 > text.size() || hexDigit(text[i]) < 0 || hexDigit(text[i + 1]) < 0) {
      malformed(file, line, "hex data must be two-digit bytes separated by commas");
    }
    out.push_back(static_cast<uint8_t>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1])));
    i += 2;
    skipBlanks();
    if (i == text.size()) return out;
    if (text[i] != ',') malformed(file, line, "hex data must be two-digit bytes separated by commas");
    ++i;
    skipBlanks();
    if (i == text.size()) return out;  // a trailing comma, as before a line break
  }
}

// The key a header names, created as needed; `path` is the header's text.
// The key chain of the header read last: headers in a file mostly share long prefixes
// with the one before, which then need no lookup again.
struct HeaderChain {
  std::vector<std::string> names;  // the real path, as written
  std::vector<Key*> keys;          // keys[i] is the key of names[0..i]
};

Key& keyForHeader(Key& root, std::string_view path, const std::string& userSid, const std::string& file, size_t line,
                  HeaderChain& chain) {
  std::vector<std::string> parts = splitKeyPath(path);
  for (const auto& part : parts) {
    if (part.empty()) malformed(file, line, "a key path has an empty name (two backslashes in a row?)");
  }
  std::string rootName = asciiUpper(parts[0]);
  std::vector<std::string> real;
  if (rootName == kLocalMachine || rootName == kUsers || rootName == kCurrentConfig) {
    real.push_back(rootName);
  } else if (rootName == "HKEY_CLASSES_ROOT") {
    real = {kLocalMachine, "SOFTWARE", "Classes"};
  } else if (rootName == "HKEY_CURRENT_USER") {
    real = {kUsers, userSid};
  } else {
    malformed(file, line, "unknown root key '" + parts[0] + "' (use the full name, as HKEY_LOCAL_MACHINE)");
  }
  real.insert(real.end(), parts.begin() + 1, parts.end());
  if (real.size() - 1 > kMaxKeyDepth) {
    malformed(file, line, "a key path is more than " + std::to_string(kMaxKeyDepth) + " levels deep");
  }
  size_t shared = 0;
  while (shared < real.size() && shared < chain.names.size() && real[shared] == chain.names[shared]) ++shared;
  chain.names.resize(shared);
  chain.keys.resize(shared);
  Key* key = shared == 0 ? &root : chain.keys.back();
  for (size_t i = shared; i < real.size(); ++i) {
    auto& slot = key->subkeys[asciiUpper(real[i])];
    if (!slot) {
      slot = std::make_shared<Key>();
      slot->name = real[i];
    }
    key = slot.get();
    chain.names.push_back(std::move(real[i]));
    chain.keys.push_back(key);
  }
  key->explicitKey = true;
  return *key;
}

void setParsedValue(Key& key, Value value) {
  if (Value* existing = key.findValue(value.name)) {
    *existing = std::move(value);
  } else {
    key.values.push_back(std::move(value));
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

// Writes `top` and every key below it, depth first in the order of the subkey maps.
// Iterative: the depth of the tree is the input's to decide.
void formatTree(std::string& out, const Key& top, std::string_view newline) {
  struct Frame {
    const Key* key;
    std::map<std::string, std::shared_ptr<Key>>::const_iterator next;
    size_t pathLength;  // of `path` before this key's name was added
  };
  std::string path;
  std::vector<Frame> stack;
  auto enter = [&](const Key& key) {
    size_t before = path.size();
    if (!path.empty()) path += '\\';
    path += key.name;
    if (key.explicitKey) {
      out += '[';
      out += path;
      out += ']';
      out += newline;
      for (const auto& value : key.values) formatValue(out, value, newline);
      out += newline;
    }
    stack.push_back(Frame{&key, key.subkeys.begin(), before});
  };
  enter(top);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.key->subkeys.end()) {
      path.resize(frame.pathLength);
      stack.pop_back();
      continue;
    }
    const Key& child = *frame.next->second;
    ++frame.next;
    enter(child);
  }
}

}  // namespace

Value* Key::findValue(std::string_view valueName) {
  for (auto& value : values) {
    if (equalsIgnoringAsciiCase(value.name, valueName)) return &value;
  }
  return nullptr;
}

std::shared_ptr<Key> Key::findSubkey(std::string_view subkeyName) const {
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
  std::string text = decodeText(bytes, file);
  std::string_view rest = text;
  size_t lineNumber = 0;
  bool sawSignature = false;
  Key* current = nullptr;
  HeaderChain chain;
  auto nextLine = [&](std::string_view& line) {
    if (rest.empty()) return false;
    size_t end = rest.find('\n');
    line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    ++lineNumber;
    line = trimRight(line);
    return true;
  };
  std::string_view line;
  while (nextLine(line)) {
    std::string_view content = trimLeft(line);
    if (!sawSignature) {
      if (content.empty()) continue;
      if (content != kSignature) {
        malformed(file, lineNumber, "the first line must be \"Windows Registry Editor Version 5.00\"");
      }
      sawSignature = true;
      continue;
    }
    if (content.empty() || content.front() == ';') continue;
    if (content.front() == '[') {
      if (content.back() != ']') malformed(file, lineNumber, "a key header must end with ']'");
      std::string_view path = content.substr(1, content.size() - 2);
      if (!path.empty() && path.front() == '-') {
        malformed(file, lineNumber, "[-KEY] deletes a key on import; registry.reg holds only keys that exist");
      }
      if (path.empty()) malformed(file, lineNumber, "a key header names no key");
      current = &keyForHeader(root, path, userSid, file, lineNumber, chain);
      continue;
    }
    if (content.front() != '"' && content.front() != '@') {
      malformed(file, lineNumber, "expected a [KEY] header, a \"name\"=value line or @=value");
    }
    if (!current) malformed(file, lineNumber, "a value comes before any [KEY] header");
    Value value;
    size_t pos = 0;
    if (content.front() == '@') {
      pos = 1;
    } else {
      value.name = readQuoted(content, pos, file, lineNumber);
      if (value.name.empty()) {
        malformed(file, lineNumber, "write the default value as @=, not \"\"=");
      }
    }
    std::string_view data = trimLeft(content.substr(pos));
    if (data.empty() || data.front() != '=') malformed(file, lineNumber, "expected '=' after the value name");
    data = trimLeft(data.substr(1));
    if (!data.empty() && data.front() == '"') {
      size_t end = 0;
      std::string textValue = readQuoted(data, end, file, lineNumber);
      if (!trimLeft(data.substr(end)).empty()) malformed(file, lineNumber, "text after the closing quote");
      value.type = 1;
      value.data = utf16Bytes(textValue, true);
    } else if (data.substr(0, 6) == "dword:") {
      std::string_view digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) malformed(file, lineNumber, "dword: takes up to 8 hex digits");
      uint32_t number = 0;
      for (char c : digits) {
        if (hexDigit(c) < 0) malformed(file, lineNumber, "dword: takes up to 8 hex digits");
        number = number * 16 + static_cast<uint32_t>(hexDigit(c));
      }
      value.type = 4;
      value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                    static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    } else if (data.substr(0, 3) == "hex") {
      size_t colon = data.find(':');
      if (colon == std::string_view::npos) malformed(file, lineNumber, "expected ':' after hex or hex(N)");
      std::string_view kind = data.substr(3, colon - 3);
      if (kind.empty()) {
        value.type = 3;
      } else {
        if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' || kind.size() > 10) {
          malformed(file, lineNumber, "hex(N): needs the type N in hex digits");
        }
        uint32_t type = 0;
        for (char c : kind.substr(1, kind.size() - 2)) {
          if (hexDigit(c) < 0) malformed(file, lineNumber, "hex(N): needs the type N in hex digits");
          type = type * 16 + static_cast<uint32_t>(hexDigit(c));
        }
        value.type = type;
      }
      // The data may go on over lines ending in a backslash. Each line is appended once,
      // so that loading stays linear in the size of the value.
      std::string joined;
      std::string_view piece = trimRight(data.substr(colon + 1));
      size_t startLine = lineNumber;
      while (!piece.empty() && piece.back() == '\\') {
        piece.remove_suffix(1);
        joined += piece;
        std::string_view more;
        if (!nextLine(more)) malformed(file, lineNumber, "hex data ends with a line continuation");
        piece = trimRight(trimLeft(more));
      }
      joined += piece;
      value.data = parseHexBytes(joined, file, startLine);
    } else if (!data.empty() && data.front() == '-') {
      malformed(file, lineNumber, "\"name\"=- deletes a value on import; registry.reg holds only values that exist");
    } else {
      malformed(file, lineNumber, "unknown value data (expected \"text\", dword:, hex: or hex(N):)");
    }
    setParsedValue(*current, std::move(value));
  }
  if (!sawSignature && lineNumber > 0) {
    malformed(file, 1, "the first line must be \"Windows Registry Editor Version 5.00\"");
  }
}

std::string formatRegFile(const Key& root, std::string_view newline, size_t sizeHint) {
  std::string out;
  out.reserve(sizeHint);
  out += kSignature;
  out += newline;
  out += newline;
  for (const auto& [upper, top] : root.subkeys) formatTree(out, *top, newline);
  return out;
}

}  // namespace hosted::registry
