#include "platform/hosted/RegistryReport.h"

#include <cstdio>
#include <vector>

#include "platform/hosted/machine/Text.h"

namespace hosted::registry {

namespace {

std::string describeValue(const std::string& keyPath, const Value& value) {
  std::string text = keyPath + " : " + (value.name.empty() ? std::string("(default)") : "\"" + value.name + "\"");
  text += " = ";
  if ((value.type == 1 || value.type == 2) && isPlainString(value.data)) {
    std::wstring wide;
    for (size_t i = 0; i + 3 < value.data.size(); i += 2) {
      wide.push_back(static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8)));
    }
    text += (value.type == 1 ? "REG_SZ \"" : "REG_EXPAND_SZ \"") + wideToUtf8(wide) + "\"";
  } else if (value.type == 4 && value.data.size() == 4) {
    uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<uint32_t>(value.data[3]) << 24);
    text += "REG_DWORD " + std::to_string(number);
  } else {
    char type[24];
    std::snprintf(type, sizeof type, "type %u", value.type);
    text += type;
    text += " hex:";
    char byte[4];
    for (size_t i = 0; i < value.data.size(); ++i) {
      std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", value.data[i]);
      text += byte;
    }
  }
  return text;
}

void writeSection(std::ostream& out, const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  out << title << ":\n";
  for (const auto& line : lines) out << "  " << line << "\n";
}

}  // namespace

RegistrySnapshot RegistrySnapshot::take(const Registry& registry) {
  RegistrySnapshot snapshot;
  struct Walker {
    RegistrySnapshot& snapshot;
    void walk(const Key& key, const std::string& path) {
      KeyState& state = snapshot.keys_[asciiUpper(path)];
      state.path = path;
      for (const auto& value : key.values) state.values[asciiUpper(value.name)] = value;
      for (const auto& [upper, subkey] : key.subkeys) walk(*subkey, path + "\\" + subkey->name);
    }
  } walker{snapshot};
  for (const auto& [upper, top] : registry.root().subkeys) walker.walk(*top, top->name);
  return snapshot;
}

void RegistrySnapshot::writeChanges(std::ostream& out, const RegistrySnapshot& before, const RegistrySnapshot& after) {
  std::vector<std::string> keysAdded, keysRemoved, valuesAdded, valuesRemoved, valuesChanged;
  for (const auto& [upper, state] : after.keys_) {
    auto old = before.keys_.find(upper);
    if (old == before.keys_.end()) {
      keysAdded.push_back(state.path);
      for (const auto& [name, value] : state.values) valuesAdded.push_back(describeValue(state.path, value));
      continue;
    }
    for (const auto& [name, value] : state.values) {
      auto was = old->second.values.find(name);
      if (was == old->second.values.end()) {
        valuesAdded.push_back(describeValue(state.path, value));
      } else if (!(was->second == value)) {
        valuesChanged.push_back(describeValue(state.path, was->second) + "  ->  " + describeValue(state.path, value));
      }
    }
    for (const auto& [name, value] : old->second.values) {
      if (!state.values.count(name)) valuesRemoved.push_back(describeValue(state.path, value));
    }
  }
  for (const auto& [upper, state] : before.keys_) {
    if (after.keys_.count(upper)) continue;
    keysRemoved.push_back(state.path);
    for (const auto& [name, value] : state.values) valuesRemoved.push_back(describeValue(state.path, value));
  }
  if (keysAdded.empty() && keysRemoved.empty() && valuesAdded.empty() && valuesRemoved.empty() &&
      valuesChanged.empty()) {
    out << "Registry: no change\n";
    return;
  }
  writeSection(out, "Registry keys added", keysAdded);
  writeSection(out, "Registry keys removed", keysRemoved);
  writeSection(out, "Registry values added", valuesAdded);
  writeSection(out, "Registry values removed", valuesRemoved);
  writeSection(out, "Registry values changed", valuesChanged);
}

}  // namespace hosted::registry
