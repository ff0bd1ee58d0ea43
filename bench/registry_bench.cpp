// Times runs on a machine whose registry.reg holds many keys (100,000 by default, about
// 33 MB):
//   registry_bench UNINSTALLER [KEYS] [REPEATS] [BASELINE]
// It generates the machine in a temporary directory, its registry.reg once in no order
// (vendors interleaved) and once in the order the registry editor exports keys (which is
// the order a run leaves the file in), then times, side by side in this one run, for
// each: copying registry.reg with cp (the yardstick) and whole runs of the uninstaller
// binary on fresh copies of the machine (with the peak memory of each run); then, in this
// process loading the machine, making a few changes through the registry functions and
// folding them. Each timing is the median of REPEATS (3). With BASELINE (another build
// of the uninstaller, as the one before a change), every run is made with both, one
// after the other on equal copies, so that both meet the same load. Not part of the
// test suite.
//
// It also times a whole uninstall (tens of registry changes, files, shortcuts, the
// deployment library): the demo installation (examples/machines/demo) with the generated
// keys added to its registry, in export order and in no order, each in UTF-8 and in
// UTF-16LE (as the registry editor writes it), beside the same uninstall on the demo
// machine alone, which is what the uninstall costs apart from the size of the registry.
#include <windows.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Text.h"
#include "platform/hosted/machine/registry/Registry.h"

namespace fs = std::filesystem;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void writeRuntime(std::ofstream& out) {
  out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment]\r\n\"CurrentVersion\"=\"1.8\"\r\n\r\n";
  out << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\r\n"
         "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre\"\r\n\r\n";
}

void writeComponents(std::ofstream& out, int keys) {
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

void generate(const fs::path& file, int keys, bool withRuntime = true) {
  std::ofstream out(file, std::ios::binary);
  out << "Windows Registry Editor Version 5.00\r\n\r\n";
  if (withRuntime) writeRuntime(out);
  writeComponents(out, keys);
}

// The same registry in the order the registry editor exports it (and the fold writes it):
// keys in enumeration order, each under the one before it or after it.
// Writes the registry `text` (read from `from`) to `file` as the fold does, in export order.
void writeInExportOrder(std::string text, const fs::path& from, const fs::path& file) {
  hosted::registry::Key root;
  hosted::registry::parseRegFile(text, from.string(), "S-1-5-21-1", root);
  text.clear();
  text.shrink_to_fit();
  std::ofstream out(file, std::ios::binary);
  hosted::registry::writeRegFile(root, "\r\n", 1u << 20, [&out](std::string_view piece) {
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    return bool(out);
  });
}

void generateOrdered(const fs::path& from, const fs::path& file) {
  std::ifstream in(from, std::ios::binary);
  writeInExportOrder(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), from,
                     file);
}

struct ChildRun {
  double seconds = 0;
  int exitStatus = -1;
  long peakKilobytes = 0;
};

// Runs a program to its end with standard output discarded.
ChildRun runChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ChildRun run;
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  run.seconds = secondsSince(start);
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.peakKilobytes = usage.ru_maxrss;
  return run;
}

// Removes a machine directory. A program the last run started may still be writing
// into it (runs do not wait for their children's end), so a removal that meets a new
// entry is tried again.
void removeMachine(const fs::path& dir) {
  std::error_code error;
  for (int attempt = 0; attempt < 200; ++attempt) {
    fs::remove_all(dir, error);
    if (!error) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw fs::filesystem_error("cannot remove", dir, error);
}

// A machine directory holding only a copy of `registry`, made without being timed.
void freshMachine(const fs::path& dir, const fs::path& registry) {
  removeMachine(dir);
  fs::create_directories(dir);
  fs::copy_file(registry, dir / "registry.reg");
}

const fs::path kDemo = fs::path(ZU_SOURCE_DIR) / "examples" / "machines" / "demo";

// The same text in UTF-16LE with its byte-order mark, as the registry editor writes it.
void writeUtf16(const std::string& text, const fs::path& file) {
  std::string out = "\xFF\xFE";
  out.reserve(2 + text.size() * 2);
  for (wchar_t c : hosted::utf8ToWide(text)) {
    auto unit = [&out](uint32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    };
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(static_cast<uint32_t>(c));
    }
  }
  std::ofstream(file, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The demo installation's registry with `keys` generated keys added: `<file>` in no order
// (the generated keys first), `<file>.ordered` in export order, and both again in
// UTF-16LE (`.utf16`).
void generateDemo(const fs::path& file, int keys) {
  fs::path components = file.string() + ".components";
  generate(components, keys, false);
  std::string text;
  for (const fs::path& part : {components, kDemo / "registry.reg"}) {
    std::string piece = readAll(part);
    // Both begin with the signature line and a blank line; the second's are dropped.
    text += text.empty() ? piece : piece.substr(piece.find("\r\n\r\n") + 4);
  }
  fs::remove(components);
  std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  writeUtf16(text, file.string() + ".utf16");
  writeInExportOrder(std::move(text), file, file.string() + ".ordered");
  writeUtf16(readAll(file.string() + ".ordered"), file.string() + ".ordered.utf16");
}

// A copy of the demo machine with `registry` as its registry.reg (none: its own), and the
// substitute deployment library where the release keeps its own, as scripts/demo.sh does.
void freshDemoMachine(const fs::path& dir, const fs::path& registry) {
  removeMachine(dir);
  fs::copy(kDemo, dir, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  if (!registry.empty()) fs::copy_file(registry, dir / "registry.reg", fs::copy_options::overwrite_existing);
  fs::copy_file(ZU_DEPLOY_LIBRARY, dir / "drives/C/Program Files/Zuna/zre1.8.0_31/bin/deploy.dll",
                fs::copy_options::overwrite_existing);
}

// Runs in a child process, so that this process stays small (a child's peak memory counts
// what it shared with this process when it was started).
template <typename Work>
void inChild(Work work) {
  if (pid_t child = fork(); child == 0) {
    work();
    _exit(0);
  } else {
    int status = 0;
    waitpid(child, &status, 0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: registry_bench UNINSTALLER [KEYS] [REPEATS] [BASELINE]\n");
    return 64;
  }
  int keys = argc > 2 ? std::atoi(argv[2]) : 100000;
  int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  std::vector<std::string> programs{argv[1]};
  if (argc > 4) programs.push_back(argv[4]);
  auto name = [&](size_t p) { return p == 0 ? "uninstaller run" : "baseline run   "; };
  std::string pattern = (fs::temp_directory_path() / "zu-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  fs::path work = pattern;
  fs::path pristine = work / "pristine.reg";
  fs::path dir = work / "machine";
  generate(pristine, keys);
  double megabytes = static_cast<double>(fs::file_size(pristine)) / 1e6;
  std::printf("registry.reg: %d keys, %.1f MB\n", keys, megabytes);

  // The runs come first, while this process is small: a child's peak memory counts what
  // it shared with this process when it was started.
  fs::path ordered = work / "ordered.reg";
  inChild([&] { generateOrdered(pristine, ordered); });
  for (const auto& [label, registry] : {std::pair<const char*, fs::path>{"unordered", pristine},
                                        std::pair<const char*, fs::path>{"in export order", ordered}}) {
    std::vector<double> copies, durableCopies;
    std::vector<std::vector<double>> runs(programs.size());
    std::vector<long> peak(programs.size());
    std::vector<int> exitStatus(programs.size(), -1);
    for (int i = 0; i < repeats; ++i) {
      fs::remove(work / "copy.reg");
      copies.push_back(runChild({"/bin/cp", registry.string(), (work / "copy.reg").string()}).seconds);
      // A run's fold makes its file durable; a copy that does too, for comparison.
      fs::remove(work / "copy.reg");
      durableCopies.push_back(runChild({"/bin/dd", "if=" + registry.string(), "of=" + (work / "copy.reg").string(),
                                        "bs=4M", "conv=fsync", "status=none"})
                                  .seconds);
      for (size_t p = 0; p < programs.size(); ++p) {
        freshMachine(dir, registry);
        ChildRun run = runChild({programs[p], "--machine", dir.string(), "--", "/s"});
        runs[p].push_back(run.seconds);
        peak[p] = std::max(peak[p], run.peakKilobytes);
        exitStatus[p] = run.exitStatus;
      }
    }
    double copy = median(copies);
    std::printf("%s:\n", label);
    std::printf("  cp registry.reg: %.3f s (with fsync, by dd: %.3f s)\n", copy, median(durableCopies));
    for (size_t p = 0; p < programs.size(); ++p) {
      double whole = median(runs[p]);
      std::printf("  %s: %.3f s (exit %d), %.1f times cp; peak memory %.1f MB, %.2f times registry.reg\n", name(p),
                  whole, exitStatus[p], whole / copy, peak[p] / 1024.0, peak[p] * 1024.0 / 1e6 / megabytes);
    }
  }

  // A whole uninstall of the demo installation, in the large registry (in both orders and
  // both encodings) and on its own.
  fs::path demo = work / "demo.reg";
  inChild([&] { generateDemo(demo, keys); });
  std::vector<std::vector<double>> alone(programs.size());
  std::vector<int> aloneStatus(programs.size(), -1);
  for (const auto& [label, file] : {std::pair<const char*, std::string>{"in export order, UTF-8", ".ordered"},
                                    {"in export order, UTF-16LE", ".ordered.utf16"},
                                    {"in no order, UTF-8", ""},
                                    {"in no order, UTF-16LE", ".utf16"}}) {
    fs::path registry = demo.string() + file;
    std::vector<double> copies;
    std::vector<std::vector<double>> runs(programs.size());
    std::vector<long> peak(programs.size());
    std::vector<int> exitStatus(programs.size(), -1);
    for (int i = 0; i < repeats; ++i) {
      fs::remove(work / "copy.reg");
      copies.push_back(runChild({"/bin/cp", registry.string(), (work / "copy.reg").string()}).seconds);
      for (size_t p = 0; p < programs.size(); ++p) {
        freshDemoMachine(dir, registry);
        ChildRun run = runChild({programs[p], "--machine", dir.string(), "--answer", "ok", "--", "/s"});
        runs[p].push_back(run.seconds);
        peak[p] = std::max(peak[p], run.peakKilobytes);
        exitStatus[p] = run.exitStatus;
        // The demo machine alone, between the others: what the uninstall costs whatever
        // the size of the registry.
        freshDemoMachine(dir, {});
        ChildRun small = runChild({programs[p], "--machine", dir.string(), "--answer", "ok", "--", "/s"});
        alone[p].push_back(small.seconds);
        aloneStatus[p] = small.exitStatus;
      }
    }
    double demoMegabytes = static_cast<double>(fs::file_size(registry)) / 1e6;
    double copy = median(copies);
    std::printf("the demo installation's whole uninstall, %s (%.1f MB):\n", label, demoMegabytes);
    std::printf("  cp registry.reg: %.3f s\n", copy);
    for (size_t p = 0; p < programs.size(); ++p) {
      double whole = median(runs[p]);
      std::printf("  %s: %.3f s (exit %d), %.1f times cp; peak memory %.1f MB, %.2f times registry.reg\n", name(p),
                  whole, exitStatus[p], whole / copy, peak[p] / 1024.0, peak[p] * 1024.0 / 1e6 / demoMegabytes);
    }
  }
  for (size_t p = 0; p < programs.size(); ++p) {
    std::printf("the same uninstall on the demo machine alone, %s: %.4f s (exit %d), median of %zu\n",
                name(p), median(alone[p]), aloneStatus[p], alone[p].size());
  }

  freshMachine(dir, pristine);
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
  double folded = secondsSince(start);
  hosted::Machine::unload();
  double total = secondsSince(start);
  std::printf("in process: load %.3f s, 22 changes %.3f s, fold %.3f s, unload %.3f s, total %.3f s\n", loaded,
              changed - loaded, folded - changed, total - folded, total);
  // ZU_BENCH_KEEP=1 keeps the generated files (pristine.reg, ordered.reg, the machine) to
  // look at or profile a single run on.
  if (const char* keep = std::getenv("ZU_BENCH_KEEP"); keep && *keep == '1') {
    std::printf("kept: %s\n", work.string().c_str());
  } else {
    fs::remove_all(work);
  }
  return 0;
}
