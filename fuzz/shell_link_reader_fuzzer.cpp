// Feeds arbitrary bytes to the .lnk reader of the hosted machine. It may refuse them,
// but never crash or read out of bounds; whatever it accepts must write back into a
// file it accepts again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/hosted/machine/ShellLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto read = hosted::readShellLink(std::span(data, size));
  if (!read) return 0;
  std::vector<uint8_t> written = hosted::writeShellLink(read->link);
  if (!hosted::readShellLink(written)) std::abort();
  return 0;
}
