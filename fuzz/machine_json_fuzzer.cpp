// Feeds arbitrary bytes to the machine.json reader: facts and processes. It may refuse
// them, only ever as invalid data naming the file and a line, never by crashing or by
// letting another exception escape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/ProcessTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    hosted::Facts facts = hosted::parseFacts(text, "machine.json");
    hosted::ProcessTable::parse(text, "machine.json");
    // An accepted image can hold no quote, which would split the command line.
    if (facts.image.find('"') != std::string::npos || facts.image.find('\0') != std::string::npos) std::abort();
  } catch (const hosted::HostFailure& failure) {
    if (failure.status != hosted::kExitDataError || failure.message.rfind("machine.json:", 0) != 0) std::abort();
  }
  return 0;
}
