// Feeds arbitrary bytes to the registry.reg reader. It may refuse them, only ever as
// invalid data (a host failure naming the file and line), never by crashing; whatever
// it accepts must write out as a file that reads back to the same text. The lazy read,
// which leaves values unread and copies their lines when writing, must accept and
// refuse exactly the same files with the same message, and write the same registry.
// A file the indexing accepts (only one in the form the fold writes) must be one the
// reader accepts, and must write back as the same bytes and as what the reader writes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/RegTree.h"

namespace {

template <class Parse>
std::string failureOf(Parse parse) {
  try {
    parse();
  } catch (const hosted::HostFailure& failure) {
    if (failure.status != hosted::kExitDataError || failure.message.rfind("registry.reg:", 0) != 0) std::abort();
    return failure.message;
  }
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  hosted::registry::Key root;
  hosted::registry::Key lazy;
  std::string failure =
      failureOf([&] { hosted::registry::parseRegFile(bytes, "registry.reg", "S-1-5-21-1", root); });
  std::string lazyFailure = failureOf(
      [&] { hosted::registry::parseRegFileLazily(std::string(bytes), "registry.reg", "S-1-5-21-1", lazy); });
  if (lazyFailure != failure) std::abort();
  for (std::string_view newline : {std::string_view("\r\n"), std::string_view("\n")}) {
    hosted::registry::Key indexed;
    // Checked in two halves (as a large file is) or in one pass: the same outcome.
    hosted::registry::Key halves;
    bool inHalves = hosted::registry::indexRegText(bytes, newline, nullptr, halves, 0) != nullptr;
    if (inHalves != (hosted::registry::indexRegText(bytes, newline, nullptr, indexed, SIZE_MAX) != nullptr)) {
      std::abort();
    }
    if (!inHalves) continue;
    if (hosted::registry::formatRegFile(halves, newline) != bytes) std::abort();
    if (!failure.empty()) std::abort();  // indexed what the reader refuses
    if (hosted::registry::formatRegFile(indexed, newline) != bytes) std::abort();
    if (hosted::registry::formatRegFile(lazy, newline) != bytes) std::abort();
  }
  if (!failure.empty()) return 0;
  std::string written = hosted::registry::formatRegFile(root, "\r\n");
  hosted::registry::Key again;
  try {
    hosted::registry::parseRegFile(written, "registry.reg", "S-1-5-21-1", again);
  } catch (const hosted::HostFailure&) {
    std::abort();  // what the layer writes it must read
  }
  if (hosted::registry::formatRegFile(again, "\r\n") != written) std::abort();
  hosted::registry::Key lazyAgain;
  try {
    hosted::registry::parseRegFile(hosted::registry::formatRegFile(lazy, "\r\n"), "registry.reg", "S-1-5-21-1",
                                   lazyAgain);
  } catch (const hosted::HostFailure&) {
    std::abort();
  }
  if (hosted::registry::formatRegFile(lazyAgain, "\r\n") != written) std::abort();
  return 0;
}
