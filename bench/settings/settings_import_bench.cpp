// Importing a configuration text of about 1 MiB through the settings table, and inih
// parsing the same text into a map, in the same run.
//
// After Google Benchmark's own runs it times the import and the yardsticks side by side
// (alternating rounds, medians) and prints the import's time as a ratio of inih's, and
// the peak heap of one import as a multiple of the text's size.
#include <benchmark/benchmark.h>
#include <ini.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/hosted/machine/Machine.h"
#include "settings/share/settings.h"

// ---- Heap accounting: the bytes held, while a measurement is on --------------------

namespace {

bool gCounting = false;
long long gHeld = 0;
long long gPeak = 0;

void* allocate(std::size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  if (gCounting) {
    gHeld += static_cast<long long>(malloc_usable_size(block));
    gPeak = std::max(gPeak, gHeld);
  }
  return block;
}

void release(void* block) {
  if (!block) return;
  if (gCounting) gHeld -= static_cast<long long>(malloc_usable_size(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }

namespace {

std::string makeText() {
  std::string text;
  for (int i = 0; text.size() < (1u << 20) - 64; ++i) {
    text += "setting_" + std::to_string(i) + " = value number " + std::to_string(i * 7) + "\n";
    if (i % 50 == 0) text += "# section " + std::to_string(i / 50) + "\n";
  }
  return text;
}

const std::string& text() {
  static const std::string made = makeText();
  return made;
}

const settings_api& api() {
  static const settings_api table = [] {
    settings_api filled;
    settings_get_api(&filled);
    return filled;
  }();
  return table;
}

bool importOnce() {
  settings_context* context = api().context_create();
  int result = api().context_import_from_string(context, text().c_str(), nullptr, nullptr, 1, 0);
  api().context_destroy(context);
  return result == 0;
}

int storeEntry(void* user, const char*, const char* name, const char* value) {
  (*static_cast<std::map<std::string, std::string>*>(user))[name] = value;
  return 1;
}

bool inihOnce() {
  std::map<std::string, std::string> entries;
  bool parsed = ini_parse_string(text().c_str(), storeEntry, &entries) == 0;
  benchmark::DoNotOptimize(entries);
  return parsed;
}

int countEntry(void* user, const char*, const char*, const char*) {
  ++*static_cast<int*>(user);
  return 1;
}

bool bareInihOnce() {
  int count = 0;
  bool parsed = ini_parse_string(text().c_str(), countEntry, &count) == 0;
  benchmark::DoNotOptimize(count);
  return parsed;
}

void SettingsImport(benchmark::State& state) {
  for (auto _ : state) {
    if (!importOnce()) state.SkipWithError("import failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

void InihParse(benchmark::State& state) {
  for (auto _ : state) {
    if (!inihOnce()) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

BENCHMARK(SettingsImport)->Unit(benchmark::kMillisecond);
BENCHMARK(InihParse)->Unit(benchmark::kMillisecond);

double millisecondsOf(bool (*run)()) {
  auto start = std::chrono::steady_clock::now();
  if (!run()) {
    std::fprintf(stderr, "a side-by-side run failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The heap held at most while `run` runs, beyond what was held before.
double peakMebibytesOf(bool (*run)()) {
  gHeld = gPeak = 0;
  gCounting = true;
  run();
  gCounting = false;
  return static_cast<double>(gPeak) / (1 << 20);
}

// Alternating rounds, so that both sides meet the same load on a shared machine.
void sideBySide(int rounds) {
  std::vector<double> import, inih, bare;
  for (int i = 0; i < rounds; ++i) {
    import.push_back(millisecondsOf(importOnce));
    inih.push_back(millisecondsOf(inihOnce));
    bare.push_back(millisecondsOf(bareInihOnce));
  }
  double textMebibytes = static_cast<double>(text().size()) / (1 << 20);
  double importPeak = peakMebibytesOf(importOnce);
  double inihPeak = peakMebibytesOf(inihOnce);
  std::printf("\nSide by side on a text of %zu bytes, medians of %d alternating rounds:\n", text().size(), rounds);
  std::printf("  settings import           %7.2f ms\n", median(import));
  std::printf("  inih into a std::map      %7.2f ms\n", median(inih));
  std::printf("  bare ini_parse_string     %7.2f ms\n", median(bare));
  std::printf("  import / inih into a map  %7.2f (goal: at most 1.5)\n", median(import) / median(inih));
  std::printf("  import / bare inih        %7.2f\n", median(import) / median(bare));
  std::printf("Peak heap of one import: %.2f MiB, %.2f times the text (goal: at most 8); inih into a map: %.2f MiB\n",
              importPeak, importPeak / textMebibytes, inihPeak);
}

}  // namespace

int main(int argc, char** argv) {
  // Contexts find the machine-wide configuration folder through the hosted machine.
  auto machineDir = std::filesystem::temp_directory_path() / ("settings_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(machineDir);
  hosted::Machine::load(machineDir);
  int rounds = 21;
  if (const char* wanted = std::getenv("ZU_BENCH_ROUNDS")) rounds = std::max(1, std::atoi(wanted));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  sideBySide(rounds);
  hosted::Machine::unload();
  std::filesystem::remove_all(machineDir);
  return 0;
}
