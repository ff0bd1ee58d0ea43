// Feeds arbitrary bytes to the registry.reg reader. It may refuse them, only ever as
// invalid data (a host failure naming the file and line), never by crashing; whatever
// it accepts must write out as a file that reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/RegTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  hosted::registry::Key root;
  try {
    hosted::registry::parseRegFile(bytes, "registry.reg", "S-1-5-21-1", root);
  } catch (const hosted::HostFailure& failure) {
    if (failure.status != hosted::kExitDataError || failure.message.rfind("registry.reg:", 0) != 0) std::abort();
    return 0;
  }
  std::string written = hosted::registry::formatRegFile(root, "\r\n");
  hosted::registry::Key again;
  try {
    hosted::registry::parseRegFile(written, "registry.reg", "S-1-5-21-1", again);
  } catch (const hosted::HostFailure&) {
    std::abort();  // what the layer writes it must read
  }
  if (hosted::registry::formatRegFile(again, "\r\n") != written) std::abort();
  return 0;
}
