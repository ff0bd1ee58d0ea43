#include "platform/hosted/machine/ProcessTable.h"

#include <algorithm>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/JsonLines.h"
#include "platform/hosted/machine/Machine.h"

namespace hosted {

namespace {

using Json = nlohmann::ordered_json;

// machine.json's text and name, for messages that name the line of a value.
struct Source {
  const std::string& text;
  const std::string& file;
};

// Invalid data in processes[index], at its member `field` when one is named.
[[noreturn]] void invalid(const Source& source, size_t index, const std::string& what,
                          const std::vector<std::string>& below = {}) {
  std::vector<std::string> path{"processes", std::to_string(index)};
  path.insert(path.end(), below.begin(), below.end());
  throw HostFailure{kExitDataError, source.file + ":" + std::to_string(jsonLine(source.text, path)) +
                                        ": processes[" + std::to_string(index) + "]: " + what};
}

std::string text(const Json& entry, const char* name, size_t index, const Source& file,
                 std::vector<std::string> where = {}) {
  auto it = entry.find(name);
  if (it == entry.end()) return {};
  where.emplace_back(name);
  if (!it->is_string()) invalid(file, index, std::string(name) + " must be a string", where);
  return it->get<std::string>();
}

bool choice(const Json& entry, const char* name, const char* yes, const char* no, bool fallback, size_t index,
            const Source& file) {
  std::string value = text(entry, name, index, file);
  if (value.empty()) return fallback;
  if (value == yes) return true;
  if (value == no) return false;
  invalid(file, index, std::string(name) + " must be \"" + yes + "\" or \"" + no + "\"", {name});
}

uint32_t processId(const Json& entry, const char* name, size_t index, const Source& file, bool required) {
  auto it = entry.find(name);
  if (it == entry.end()) {
    if (required) invalid(file, index, std::string(name) + " is required");
    return 0;
  }
  if (!it->is_number_unsigned() || it->get<uint64_t>() > 0xFFFFFFFFu) {
    invalid(file, index, std::string(name) + " must be a 32-bit process id", {name});
  }
  return it->get<uint32_t>();
}

std::string baseName(const std::string& path) {
  auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isFullPath(const std::string& path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

// Window handles of the hosted processes: distinct, even, and far from the kernel handles.
uintptr_t nextWindowHandle = 0x10010;

}  // namespace

std::vector<std::string> HostedProcess::allModules() const {
  std::vector<std::string> all{image};
  all.insert(all.end(), modules.begin(), modules.end());
  return all;
}

ProcessTable ProcessTable::parse(const std::string& machineJson, const std::string& fileName) {
  ProcessTable table;
  const Source file{machineJson, fileName};
  Json doc = Json::parse(machineJson);
  auto list = doc.find("processes");
  if (list == doc.end()) return table;
  if (!list->is_array()) {
    throw HostFailure{kExitDataError, fileName + ":" + std::to_string(jsonLine(machineJson, {"processes"})) +
                                          ": processes must be an array"};
  }
  for (size_t i = 0; i < list->size(); ++i) {
    const Json& entry = (*list)[i];
    if (!entry.is_object()) invalid(file, i, "must be an object");
    HostedProcess p;
    p.pid = processId(entry, "pid", i, file, true);
    if (p.pid == 0) invalid(file, i, "pid must not be 0", {"pid"});
    p.ppid = processId(entry, "ppid", i, file, false);
    p.exe = text(entry, "exe", i, file);
    p.image = text(entry, "image", i, file);
    if (p.image.empty() && p.exe.empty()) invalid(file, i, "needs an exe or an image");
    if (!p.image.empty() && !isFullPath(p.image)) invalid(file, i, "image must be a full Windows path", {"image"});
    if (p.exe.empty()) p.exe = baseName(p.image);
    if (p.image.empty()) p.image = "C:\\Windows\\System32\\" + p.exe;
    if (auto modules = entry.find("modules"); modules != entry.end()) {
      if (!modules->is_array()) invalid(file, i, "modules must be an array of full Windows paths", {"modules"});
      for (const Json& m : *modules) {
        if (!m.is_string() || !isFullPath(m.get<std::string>())) {
          invalid(file, i, "modules must be an array of full Windows paths", {"modules"});
        }
        p.modules.push_back(m.get<std::string>());
      }
    }
    if (auto windows = entry.find("windows"); windows != entry.end()) {
      if (!windows->is_array()) invalid(file, i, "windows must be an array", {"windows"});
      for (size_t j = 0; j < windows->size(); ++j) {
        const Json& w = (*windows)[j];
        if (!w.is_object()) invalid(file, i, "every window must be an object", {"windows", std::to_string(j)});
        HostedWindow window;
        window.title = text(w, "title", i, file, {"windows", std::to_string(j)});
        if (auto visible = w.find("visible"); visible != w.end()) {
          if (!visible->is_boolean()) {
            invalid(file, i, "visible must be true or false", {"windows", std::to_string(j), "visible"});
          }
          window.visible = visible->get<bool>();
        }
        window.handle = reinterpret_cast<HWND>(nextWindowHandle);
        nextWindowHandle += 2;
        p.windows.push_back(window);
      }
    }
    p.endsOnClose = choice(entry, "onClose", "exit", "ignore", true, i, file);
    p.endsOnTerminate = choice(entry, "onTerminate", "exit", "ignore", true, i, file);
    p.accessDenied = choice(entry, "access", "denied", "allowed", false, i, file);
    for (const HostedProcess& other : table.processes_) {
      if (other.pid == p.pid) invalid(file, i, "pid " + std::to_string(p.pid) + " is listed twice", {"pid"});
    }
    table.processes_.push_back(std::move(p));
  }
  return table;
}

HostedProcess* ProcessTable::find(uint32_t pid) {
  for (HostedProcess& p : processes_) {
    if (p.pid == pid) return &p;
  }
  return nullptr;
}

std::optional<ProcessTable::WindowRef> ProcessTable::findWindow(HWND handle) {
  for (HostedProcess& p : processes_) {
    for (HostedWindow& w : p.windows) {
      if (w.handle == handle) return WindowRef{&p, &w};
    }
  }
  return std::nullopt;
}

std::vector<HWND> ProcessTable::windowHandles() const {
  std::vector<HWND> handles;
  for (const HostedProcess& p : processes_) {
    for (const HostedWindow& w : p.windows) handles.push_back(w.handle);
  }
  return handles;
}

std::optional<uint32_t> ProcessTable::exitCodeOf(uint32_t pid) const {
  auto it = ended_.find(pid);
  if (it == ended_.end()) return std::nullopt;
  return it->second;
}

void ProcessTable::removeWindow(HWND handle) {
  for (HostedProcess& p : processes_) {
    std::erase_if(p.windows, [&](const HostedWindow& w) { return w.handle == handle; });
  }
}

const HostedWindow* ProcessTable::mainWindow(const HostedProcess& process) {
  for (const HostedWindow& window : process.windows) {
    if (window.visible) return &window;
  }
  return nullptr;
}

void ProcessTable::postClose(uint32_t pid) {
  if (std::find(pendingClose_.begin(), pendingClose_.end(), pid) == pendingClose_.end()) pendingClose_.push_back(pid);
}

void ProcessTable::deliverPostedMessages() {
  std::vector<uint32_t> pending = std::move(pendingClose_);
  pendingClose_.clear();
  for (uint32_t pid : pending) {
    HostedProcess* process = find(pid);
    if (process && process->endsOnClose) end(pid, 0);
  }
}

void ProcessTable::end(uint32_t pid, uint32_t exitCode) {
  if (!std::erase_if(processes_, [&](const HostedProcess& p) { return p.pid == pid; })) return;
  ended_[pid] = exitCode;
  writeBack(pid);
}

void ProcessTable::writeBack(uint32_t pid) const {
  if (file_.empty()) return;
  std::ifstream in(file_, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  in.close();
  Json doc = Json::parse(content.str(), nullptr, false);
  if (doc.is_discarded() || !doc.contains("processes") || !doc["processes"].is_array()) return;
  Json& list = doc["processes"];
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->is_object() && it->contains("pid") && (*it)["pid"] == pid) {
      list.erase(it);
      break;
    }
  }
  // A crash while writing must leave the old file whole: write beside it, then rename.
  std::filesystem::path temp;
  int fd = createTempBeside(file_, temp);
  std::string data = doc.dump(2) + "\n";
  std::FILE* out = fd < 0 ? nullptr : ::fdopen(fd, "wb");
  if (fd >= 0 && !out) ::close(fd);
  bool written = out && std::fwrite(data.data(), 1, data.size(), out) == data.size() && std::fflush(out) == 0 &&
                 ::fsync(::fileno(out)) == 0;
  if (out) std::fclose(out);
  if (!written) {
    std::fprintf(stderr, "uninstaller: cannot write a new %s\n", file_.string().c_str());
    if (!temp.empty()) ::unlink(temp.c_str());
    return;
  }
  std::error_code ec;
  beforeChange();
  std::filesystem::rename(temp, file_, ec);
  if (ec) {
    std::fprintf(stderr, "uninstaller: cannot replace %s: %s\n", file_.string().c_str(), ec.message().c_str());
    ::unlink(temp.c_str());
  }
}

}  // namespace hosted
