// Feeds arbitrary bytes as registry.reg.log, the change log a crashed run leaves, to
// the registry's load, which replays its whole lines and folds them in. Nothing in a
// log may crash the load; what it folds must load again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace {

namespace fs = std::filesystem;

// A directory of this process's own, in memory when the host has /dev/shm; made for
// each input and removed after it, since libFuzzer may end without running exit hooks.
struct Scratch {
  fs::path dir;
  Scratch() {
    fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    dir = base / ("zu-change-log-fuzzer-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

constexpr const char* kRegistry =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zuna]\r\n\"CurrentVersion\"=\"1.8\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zuna\\1.8]\r\n\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\"\r\n"
    "\"Flags\"=dword:00000003\r\n\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Scratch scratch;
  const fs::path& dir = scratch.dir;
  std::ofstream(dir / "registry.reg", std::ios::binary | std::ios::trunc) << kRegistry;
  std::ofstream(dir / "registry.reg.log", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  try {
    auto registry = hosted::registry::Registry::load(dir, "S-1-5-21-1");
    registry.reset();
    // The fold wrote registry.reg; it loads again.
    hosted::registry::Registry::load(dir, "S-1-5-21-1");
  } catch (const hosted::HostFailure&) {
    std::abort();  // a log is replayed as far as it is whole, never refused
  }
  return 0;
}
