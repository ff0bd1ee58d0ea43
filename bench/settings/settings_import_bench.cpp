// Importing a configuration text of about 1 MiB through the settings table, and inih
// parsing the same text into a map, in the same run.
#include <benchmark/benchmark.h>
#include <ini.h>

#include <filesystem>
#include <unistd.h>

#include <map>
#include <string>

#include "platform/hosted/machine/Machine.h"
#include "settings/share/settings.h"

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

void SettingsImport(benchmark::State& state) {
  settings_api api;
  settings_get_api(&api);
  for (auto _ : state) {
    settings_context* context = api.context_create();
    int result = api.context_import_from_string(context, text().c_str(), nullptr, nullptr, 1, 0);
    if (result != 0) state.SkipWithError("import failed");
    api.context_destroy(context);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

int storeEntry(void* user, const char*, const char* name, const char* value) {
  (*static_cast<std::map<std::string, std::string>*>(user))[name] = value;
  return 1;
}

void InihParse(benchmark::State& state) {
  for (auto _ : state) {
    std::map<std::string, std::string> entries;
    if (ini_parse_string(text().c_str(), storeEntry, &entries) != 0) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(entries);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

BENCHMARK(SettingsImport)->Unit(benchmark::kMillisecond);
BENCHMARK(InihParse)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Contexts find the machine-wide configuration folder through the hosted machine.
  auto machineDir = std::filesystem::temp_directory_path() / ("settings_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(machineDir);
  hosted::Machine::load(machineDir);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  hosted::Machine::unload();
  std::filesystem::remove_all(machineDir);
  return 0;
}
