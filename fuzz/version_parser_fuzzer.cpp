// Fuzz target: any text either parses as a runtime version or is refused with the
// "Failed to parse" error; no other failure, and a parsed text parses the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common/share/ZunaVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;  // version texts come from C strings
  try {
    ZreVersion version(text);
    ZreVersion again(version.text());
    if (!(version == again) || again.text() != text) std::abort();
  } catch (const std::runtime_error& e) {
    std::string expected = "Failed to parse [" + text + "] version string completely.";
    if (std::string(e.what()).find(expected) == std::string::npos) std::abort();
  }
  return 0;
}
