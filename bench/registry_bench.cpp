// Times runs on a machine whose registry.reg holds 100,000 keys (about 30 MB):
//   registry_bench UNINSTALLER [KEYS]
// It generates the machine in a temporary directory, then times (1) loading it, making
// a few changes through the registry functions and folding them, in this process, and
// (2) a whole run of the uninstaller binary on it. Not part of the test suite.
#include <windows.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace fs = std::filesystem;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void generate(const fs::path& file, int keys) {
  std::ofstream out(file, std::ios::binary);
  out << "Windows Registry Editor Version 5.00\r\n\r\n";
  out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\r\n\"CurrentVersion\"=\"1.8\"\r\n\r\n";
  out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\r\n"
         "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre\"\r\n\r\n";
  for (int i = 0; i < keys; ++i) {
    out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor" << i % 97 << "\\Product" << i / 97 << "\\Component{"
        << i << "-0000-4000-8000-00000000abcd}]\r\n";
    out << "\"DisplayName\"=\"Component number " << i << "\"\r\n";
    out << "\"InstallLocation\"=hex(2):43,00,3a,00,5c,00,50,00,72,00,6f,00,67,00,72,00,61,00,\\\r\n"
           "  6d,00,20,00,46,00,69,00,6c,00,65,00,73,00,5c,00,00,00\r\n";
    out << "\"Version\"=dword:" << std::hex << (0x01000000 + i) << std::dec << "\r\n";
    out << "\"Blob\"=hex:01,02,03,04\r\n\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: registry_bench UNINSTALLER [KEYS]\n");
    return 64;
  }
  int keys = argc > 2 ? std::atoi(argv[2]) : 100000;
  std::string pattern = (fs::temp_directory_path() / "zu-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  fs::path dir = pattern;
  generate(dir / "registry.reg", keys);
  std::printf("registry.reg: %d keys, %.1f MB\n", keys, fs::file_size(dir / "registry.reg") / 1e6);

  auto start = std::chrono::steady_clock::now();
  hosted::Machine::load(dir);
  double loaded = secondsSince(start);
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8", 0, nullptr, 0,
                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  for (int i = 0; i < 20; ++i) {
    std::string name = "Value" + std::to_string(i);
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("data"), 5);
  }
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8");
  double changed = secondsSince(start);
  hosted::machine().registry().fold();
  hosted::Machine::unload();
  double total = secondsSince(start);
  std::printf("in process: load %.3f s, 22 changes %.3f s, fold and unload %.3f s, total %.3f s\n", loaded,
              changed - loaded, total - changed, total);

  start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    execl(argv[1], argv[1], "--machine", dir.c_str(), "--", "/s", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::printf("uninstaller run: %.3f s (exit %d)\n", secondsSince(start), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  fs::remove_all(dir);
  return 0;
}
