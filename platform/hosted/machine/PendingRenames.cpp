#include "platform/hosted/machine/PendingRenames.h"

#include <winerror.h>

#include <vector>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace hosted {

namespace {

constexpr uint32_t kMultiString = 7;  // REG_MULTI_SZ

void appendString(std::vector<uint8_t>& data, const std::string& ansi) {
  for (wchar_t unit : ansiToWide(ansi)) {
    data.push_back(static_cast<uint8_t>(unit & 0xFF));
    data.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  data.insert(data.end(), {0, 0});
}

}  // namespace

uint32_t recordPendingFileRename(const std::string& from, const std::optional<std::string>& to) {
  registry::Registry& registry = machine().registry();
  const registry::KeyPath path = {registry::kLocalMachine, "SYSTEM", "CurrentControlSet", "Control",
                                  "Session Manager"};
  std::shared_ptr<registry::Key> key;
  if (uint32_t error = registry.createKey(path, &key)) return error;
  std::vector<uint8_t> data;
  if (registry::Value* existing = key->findValue("PendingFileRenameOperations")) {
    data = existing->data;
    if (existing->type != kMultiString || data.size() % 2 != 0) data.clear();
    // Drop the empty string that ends the list; the strings before it stay as they are.
    if (data.size() >= 4 && data[data.size() - 1] == 0 && data[data.size() - 2] == 0 && data[data.size() - 3] == 0 &&
        data[data.size() - 4] == 0) {
      data.resize(data.size() - 2);
    } else if (data.size() == 2 && data[0] == 0 && data[1] == 0) {
      data.clear();
    }
  }
  appendString(data, "\\??\\" + from);
  appendString(data, to ? "\\??\\" + *to : std::string());
  data.insert(data.end(), {0, 0});
  return registry.setValue(path, "PendingFileRenameOperations", kMultiString, std::move(data));
}

}  // namespace hosted
