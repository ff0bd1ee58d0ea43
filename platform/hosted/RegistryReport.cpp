#include "platform/hosted/RegistryReport.h"

#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/hosted/machine/Text.h"

namespace hosted::registry {

namespace {

// "name" = TYPE data, for a person to read: strings as text, numbers in decimal,
// anything else as hexadecimal bytes.
std::string nameOf(const Value& value) {
  return value.name.empty() ? std::string("(default)") : "\"" + value.name + "\"";
}

std::string dataOf(const Value& value) {
  if ((value.type == 1 || value.type == 2) && isPlainString(value.data)) {
    std::wstring wide;
    for (size_t i = 0; i + 3 < value.data.size(); i += 2) {
      wide.push_back(static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8)));
    }
    return (value.type == 1 ? "REG_SZ \"" : "REG_EXPAND_SZ \"") + wideToUtf8(wide) + "\"";
  }
  if (value.type == 4 && value.data.size() == 4) {
    uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<uint32_t>(value.data[3]) << 24);
    return "REG_DWORD " + std::to_string(number);
  }
  char type[24];
  std::snprintf(type, sizeof type, value.type == 3 ? "REG_BINARY" : value.type == 7 ? "REG_MULTI_SZ" : "type %u",
                value.type);
  std::string text = type;
  text += " hex:";
  char byte[4];
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", value.data[i]);
    text += byte;
  }
  return text;
}

}  // namespace

RegistrySnapshot RegistrySnapshot::take(const Registry& registry) {
  RegistrySnapshot snapshot;
  struct Walker {
    RegistrySnapshot& snapshot;
    // Keys hold their values unread until asked; the snapshot asks for all of them.
    void walk(Key& key, const std::string& path) {
      key.loadValues();
      key.expand();
      KeyState& state = snapshot.keys_[asciiUpper(path)];
      state.path = path;
      for (const auto& value : key.values) state.values[asciiUpper(value.name)] = value;
      for (const auto& [upper, subkey] : key.subkeys) walk(*subkey, path + "\\" + subkey->name);
    }
  } walker{snapshot};
  registry.root().expand();
  for (const auto& [upper, top] : registry.root().subkeys) walker.walk(*top, top->name);
  return snapshot;
}

void RegistrySnapshot::writeChanges(std::ostream& out, const RegistrySnapshot& before, const RegistrySnapshot& after) {
  // Every key path either side knows, in order, so that a subkey follows its parent.
  std::map<std::string, std::pair<const KeyState*, const KeyState*>> keys;
  for (const auto& [upper, state] : before.keys_) keys[upper].first = &state;
  for (const auto& [upper, state] : after.keys_) keys[upper].second = &state;

  std::ostringstream text;
  for (const auto& [upper, sides] : keys) {
    const auto [was, now] = sides;
    std::vector<std::string> lines;
    if (!now) {
      for (const auto& [name, value] : was->values) lines.push_back("- " + nameOf(value) + " = " + dataOf(value));
      text << "  key removed  " << was->path << "\n";
    } else if (!was) {
      for (const auto& [name, value] : now->values) lines.push_back("+ " + nameOf(value) + " = " + dataOf(value));
      text << "  key added    " << now->path << "\n";
    } else {
      for (const auto& [name, value] : now->values) {
        auto old = was->values.find(name);
        if (old == was->values.end()) {
          lines.push_back("+ " + nameOf(value) + " = " + dataOf(value));
        } else if (!(old->second == value)) {
          std::string head = "~ " + nameOf(value) + " = ";
          lines.push_back(head + dataOf(old->second));
          lines.push_back(std::string(head.size() - 3, ' ') + "-> " + dataOf(value));
        }
      }
      for (const auto& [name, value] : was->values) {
        if (!now->values.count(name)) lines.push_back("- " + nameOf(value) + " = " + dataOf(value));
      }
      if (lines.empty()) continue;
      text << "  key changed  " << now->path << "\n";
    }
    for (const auto& line : lines) text << "      " << line << "\n";
  }
  if (text.str().empty()) {
    out << "Registry: no change\n";
    return;
  }
  out << "Registry:\n" << text.str();
}

}  // namespace hosted::registry
