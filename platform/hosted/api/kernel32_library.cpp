// kernel32: loading libraries. The system libraries are built into the layer: their
// functions are the layer's own, offered as far as the machine's Windows version has
// them. Any other library is a host shared object on the machine's drives.
#include <windows.h>

#include <dlfcn.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Files.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

constexpr const char* kSystemLibraries[] = {
    "kernel32", "advapi32", "user32", "gdi32",   "shell32",  "comctl32", "ole32", "oleaut32",
    "psapi",    "rpcrt4",   "ntdll",  "shlwapi", "version",  "msvcrt",   "kernelbase",
};

// One slot per system library; its address is the library's module handle.
struct BuiltIn {
  int unused;
};
BuiltIn builtIns[std::size(kSystemLibraries)];
BuiltIn mainModule;

template <class F>
FARPROC asProc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

// Functions that not every Windows version has, with the version that brought them.
// Those of this layer are named directly so that they are always linked in; the
// others are found among the executable's exported symbols.
struct VersionedFunction {
  const char* library;
  const char* name;
  int major, minor;
  FARPROC own;
};
const VersionedFunction kVersioned[] = {
    {"kernel32", "CreateSymbolicLinkW", 6, 0, asProc(&CreateSymbolicLinkW)},
    {"kernel32", "IsWow64Process", 5, 1, asProc(&IsWow64Process)},
    {"kernel32", "IsWow64Process2", 10, 0, asProc(&IsWow64Process2)},
    {"kernel32", "GetNativeSystemInfo", 5, 1, asProc(&GetNativeSystemInfo)},
    {"kernel32", "GetSystemWow64DirectoryA", 5, 1, asProc(&GetSystemWow64DirectoryA)},
    {"advapi32", "RegDeleteKeyExA", 5, 2, nullptr},
    {"advapi32", "RegDeleteKeyExW", 5, 2, nullptr},
};

// A host shared object loaded through LoadLibrary, counted like Windows counts loads.
struct HostModule {
  void* handle;
  std::string windowsPath;
  int loads;
  std::optional<hosted::FileId> image;  // the file mapped, while loaded
};

std::map<HMODULE, HostModule>& hostModules() {
  static std::map<HMODULE, HostModule> modules;
  return modules;
}

HMODULE handleOf(BuiltIn& slot) { return reinterpret_cast<HMODULE>(&slot); }

int builtInIndex(HMODULE module) {
  for (size_t i = 0; i < std::size(builtIns); ++i) {
    if (module == handleOf(builtIns[i])) return static_cast<int>(i);
  }
  return -1;
}

std::string lastComponent(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A library name without a file extension gets ".dll", as the loader adds it.
std::string withExtension(std::string name) {
  if (!name.empty() && name.back() == '.') {
    name.pop_back();
    return name;
  }
  return lastComponent(name).find('.') == std::string::npos ? name + ".dll" : name;
}

// The system library a name or a path in the system directory names, if any.
int systemLibraryFor(const std::string& text) {
  std::string name = withExtension(text);
  if (name.find_first_of("\\/") != std::string::npos) {
    auto full = hosted::fullPathName(name, nullptr);
    if (!full) return -1;
    const hosted::Facts& facts = machine().facts();
    bool inSystemDirectory = false;
    for (const char* folder : {"system", "systemWow64"}) {
      auto directory = facts.folder(folder);
      auto directoryFull = directory ? hosted::fullPathName(*directory, nullptr) : std::nullopt;
      std::string parent = full->substr(0, full->find_last_of('\\'));
      if (directoryFull && hosted::equalsIgnoringAsciiCase(parent, *directoryFull)) inSystemDirectory = true;
    }
    if (!inSystemDirectory) return -1;
    name = lastComponent(*full);
  }
  for (size_t i = 0; i < std::size(kSystemLibraries); ++i) {
    if (hosted::equalsIgnoringAsciiCase(name, std::string(kSystemLibraries[i]) + ".dll")) return static_cast<int>(i);
  }
  return -1;
}

// Where the loader looks for a bare name: the executable's folder, the system and
// Windows folders, then the current directory.
std::optional<hosted::ResolvedPath> findLibrary(const std::string& name, uint32_t* error) {
  if (name.find_first_of("\\/:") != std::string::npos) {
    auto resolved = hosted::resolvePath(name, error, true);
    if (resolved && !resolved->exists) {
      *error = resolved->parentExists ? ERROR_MOD_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      return std::nullopt;
    }
    return resolved;
  }
  const hosted::Facts& facts = machine().facts();
  std::vector<std::string> directories = {facts.image.substr(0, facts.image.find_last_of('\\'))};
  for (const char* folder : {"system", "windows"}) {
    if (auto path = facts.folder(folder)) directories.push_back(*path);
  }
  directories.push_back(facts.currentDirectory);
  for (const std::string& directory : directories) {
    auto resolved = hosted::resolvePath(directory + "\\" + name, nullptr, true);
    if (resolved && resolved->exists) return resolved;
  }
  *error = ERROR_MOD_NOT_FOUND;
  return std::nullopt;
}

HMODULE loadLibrary(const std::string& text) {
  if (text.empty()) {
    setLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int builtIn = systemLibraryFor(text);
  if (builtIn >= 0) return handleOf(builtIns[builtIn]);
  uint32_t error = 0;
  auto resolved = findLibrary(withExtension(text), &error);
  if (!resolved) {
    setLastError(error);
    return nullptr;
  }
  void* handle = ::dlopen(resolved->host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    // A file that is not a shared object is not an image Windows can load.
    setLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  HMODULE module = reinterpret_cast<HMODULE>(handle);
  auto& modules = hostModules();
  auto it = modules.find(module);
  if (it != modules.end()) {
    ::dlclose(handle);  // the loader counts the load; the host's count stays at one
    ++it->second.loads;
  } else {
    auto image = hosted::fileIdOf(resolved->host);
    if (image) hosted::imageLoaded(*image);
    modules[module] = HostModule{handle, resolved->windows, 1, image};
  }
  return module;
}

bool atLeast(int major, int minor) {
  const hosted::Facts& facts = machine().facts();
  return facts.osMajor > major || (facts.osMajor == major && facts.osMinor >= minor);
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (auto error = machine().faults().take("LoadLibraryA", lpLibFileName)) {
    setLastError(*error);
    return nullptr;
  }
  return loadLibrary(lpLibFileName);
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!lpLibFileName) {
    setLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name = hosted::wideToAnsi(lpLibFileName);
  if (auto error = machine().faults().take("LoadLibraryW", name)) {
    setLastError(*error);
    return nullptr;
  }
  return loadLibrary(name);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName) return reinterpret_cast<HMODULE>(&mainModule);
  if (auto error = machine().faults().take("GetModuleHandleA", lpModuleName)) {
    setLastError(*error);
    return nullptr;
  }
  // The system libraries are always mapped into the process.
  int builtIn = systemLibraryFor(lpModuleName);
  if (builtIn >= 0) return handleOf(builtIns[builtIn]);
  std::string wanted = withExtension(lpModuleName);
  bool byPath = wanted.find_first_of("\\/") != std::string::npos;
  auto full = byPath ? hosted::fullPathName(wanted, nullptr) : std::nullopt;
  for (const auto& [module, loaded] : hostModules()) {
    if (byPath ? (full && hosted::equalsIgnoringAsciiCase(*full, loaded.windowsPath))
               : hosted::equalsIgnoringAsciiCase(wanted, lastComponent(loaded.windowsPath))) {
      return module;
    }
  }
  setLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  auto notFound = [](DWORD error) -> FARPROC {
    setLastError(error);
    return nullptr;
  };
  // Lookups by ordinal (a value below 0x10000 in place of the name) have no table here.
  if (!lpProcName || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) return notFound(ERROR_PROC_NOT_FOUND);
  if (auto error = machine().faults().take("GetProcAddress", lpProcName)) return notFound(*error);
  std::string name = lpProcName;
  if (hModule == nullptr || hModule == reinterpret_cast<HMODULE>(&mainModule)) return notFound(ERROR_PROC_NOT_FOUND);

  int builtIn = builtInIndex(hModule);
  if (builtIn >= 0) {
    for (const VersionedFunction& f : kVersioned) {
      if (name != f.name) continue;
      if (!hosted::equalsIgnoringAsciiCase(f.library, kSystemLibraries[builtIn]) || !atLeast(f.major, f.minor)) {
        return notFound(ERROR_PROC_NOT_FOUND);
      }
      if (f.own) return f.own;
      break;
    }
    // Windows exports are named in capitals first; that keeps the host C library's
    // own names out of reach.
    if (name.empty() || name[0] < 'A' || name[0] > 'Z') return notFound(ERROR_PROC_NOT_FOUND);
    void* symbol = ::dlsym(RTLD_DEFAULT, name.c_str());
    if (!symbol) return notFound(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
  }

  auto it = hostModules().find(hModule);
  if (it == hostModules().end()) return notFound(ERROR_MOD_NOT_FOUND);
  void* symbol = ::dlsym(it->second.handle, name.c_str());
  if (!symbol) return notFound(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (auto error = machine().faults().take("FreeLibrary")) {
    setLastError(*error);
    return FALSE;
  }
  if (builtInIndex(hLibModule) >= 0 || hLibModule == reinterpret_cast<HMODULE>(&mainModule)) return TRUE;
  auto& modules = hostModules();
  auto it = modules.find(hLibModule);
  if (it == modules.end()) {
    setLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (--it->second.loads == 0) {
    if (it->second.image) hosted::imageUnloaded(*it->second.image);
    ::dlclose(it->second.handle);
    modules.erase(it);
  }
  return TRUE;
}

}  // extern "C"
