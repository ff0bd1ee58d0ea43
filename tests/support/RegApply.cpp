#include "tests/support/RegApply.h"

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/RegTree.h"
#include "tests/support/TestMachine.h"

namespace zutest {

namespace fs = std::filesystem;
namespace reg = hosted::registry;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";

reg::Key loadTree(const fs::path& regFile, const std::string& userSid) {
  reg::Key root;
  reg::parseRegFile(readFile(regFile), regFile.string(), userSid, root);
  return root;
}

// The stored path of a key a file names: the aliases resolved, split at backslashes.
reg::KeyPath storedPath(const std::string& name, const std::string& userSid) {
  reg::KeyPath path = reg::splitKeyPath(name);
  if (path.empty()) throw std::runtime_error("empty key name");
  std::string root = hosted::asciiUpper(path[0]);
  if (root == "HKEY_CURRENT_USER") {
    path[0] = userSid;
    path.insert(path.begin(), reg::kUsers);
  } else if (root == "HKEY_CLASSES_ROOT") {
    path[0] = "Classes";
    path.insert(path.begin(), {reg::kLocalMachine, "SOFTWARE"});
  }
  return path;
}

std::shared_ptr<reg::Key> createPath(reg::Key& root, const reg::KeyPath& path) {
  reg::Key* parent = &root;
  std::shared_ptr<reg::Key> key;
  for (const auto& name : path) {
    key = parent->findSubkey(name);
    if (!key) {
      key = std::make_shared<reg::Key>();
      key->name = name;
      key->explicitKey = true;  // the registry editor makes every key it names
      parent->subkeys[hosted::asciiUpper(name)] = key;
    }
    parent = key.get();
  }
  return key;
}

void deletePath(reg::Key& root, const reg::KeyPath& path) {
  reg::Key* parent = &root;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    auto next = parent->findSubkey(path[i]);
    if (!next) return;
    parent = next.get();
  }
  parent->subkeys.erase(hosted::asciiUpper(path.back()));
}

// A value line read by the registry file parser: the line placed in a file of its own.
reg::Value parseValueLine(const std::string& line, const std::string& userSid) {
  reg::Key scratch;
  std::string text = std::string(kHeader) + "\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n" + line + "\r\n";
  reg::parseRegFile(text, "value line", userSid, scratch);
  auto key = scratch.findSubkey(reg::kLocalMachine)->findSubkey("X");
  if (!key || key->values.size() != 1) throw std::runtime_error("cannot read value line: " + line);
  return key->values.front();
}

void describe(const reg::Key& key, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  std::map<std::string, const reg::Value*> values;
  for (const auto& value : key.values) values[hosted::asciiUpper(value.name)] = &value;
  for (const auto& [upper, value] : values) {
    if (upper == "PENDINGFILERENAMEOPERATIONS") continue;
    out += "  \"" + value->name + "\" type " + std::to_string(value->type) + ":";
    char byte[4];
    for (uint8_t b : value->data) {
      std::snprintf(byte, sizeof byte, " %02x", b);
      out += byte;
    }
    out += "\n";
  }
  for (const auto& [upper, subkey] : key.subkeys) describe(*subkey, path + "\\" + subkey->name, out);
}

}  // namespace

std::string regFileText(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::wstring wide;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return hosted::wideToUtf8(wide);
  }
  return bytes;
}

void applyRegFile(const fs::path& machineDir, const std::string& bytes, const std::string& userSid) {
  fs::path regFile = machineDir / "registry.reg";
  reg::Key root = loadTree(regFile, userSid);
  std::istringstream lines(regFileText(bytes));
  std::string line;
  std::getline(lines, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line != kHeader) throw std::runtime_error("not a registry editor file: " + line);
  std::shared_ptr<reg::Key> current;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.rfind("[-", 0) == 0 && line.back() == ']') {
      deletePath(root, storedPath(line.substr(2, line.size() - 3), userSid));
      current.reset();
    } else if (line.front() == '[' && line.back() == ']') {
      current = createPath(root, storedPath(line.substr(1, line.size() - 2), userSid));
      current->explicitKey = true;
    } else {
      if (!current) throw std::runtime_error("value outside a key: " + line);
      if (line.size() > 2 && line.compare(line.size() - 2, 2, "=-") == 0) {
        // "name"=- or @=- deletes the value: its name read as that of an empty string.
        std::string name = parseValueLine(line.substr(0, line.size() - 1) + "\"\"", userSid).name;
        std::erase_if(current->values, [&](const reg::Value& v) { return hosted::equalsIgnoringAsciiCase(v.name, name); });
        continue;
      }
      reg::Value value = parseValueLine(line, userSid);
      if (reg::Value* existing = current->findValue(value.name)) {
        existing->type = value.type;
        existing->data = value.data;
      } else {
        current->values.push_back(value);
      }
    }
  }
  std::ofstream out(regFile, std::ios::binary | std::ios::trunc);
  out << reg::formatRegFile(root, "\r\n");
}

std::string registryContents(const fs::path& regFile, const std::string& userSid) {
  reg::Key root = loadTree(regFile, userSid);
  std::string out;
  for (const auto& [upper, key] : root.subkeys) describe(*key, key->name, out);
  return out;
}

}  // namespace zutest
