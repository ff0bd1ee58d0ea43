#include "tests/support/InstalledMachine.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "platform/hosted/machine/Text.h"

namespace zutest {

namespace fs = std::filesystem;

namespace {

constexpr const char* kZre = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment";
constexpr const char* kZre32 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane\\Zuna Runtime Environment";

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

std::string versionKey(const RuntimeInstall& r, const std::string& name) {
  std::string base = std::string(r.view32 ? kZre32 : kZre) + "\\" + name;
  std::string home = regEscape(r.home);
  std::string vm = name.rfind("1.3", 0) == 0 ? "vexcore" : "server";
  std::string text = "[" + base + "]\r\n\"ZunaHome\"=\"" + home + "\"\r\n\"RuntimeLib\"=\"" + home + "\\\\bin\\\\" + vm +
                     "\\\\zvm.dll\"\r\n\"MicroVersion\"=\"0\"\r\n";
  if (!r.buildNumber.empty() && name == r.version) text += "\"BuildNumber\"=\"" + r.buildNumber + "\"\r\n";
  text += "\r\n";
  if (!r.fullVersion.empty() && name == r.version) {
    text += "[" + base + "\\MSI]\r\n\"INSTALLDIR\"=\"" + home + "\\\\\"\r\n\"FullVersion\"=\"" + r.fullVersion +
            "\"\r\n\r\n";
  }
  return text;
}

std::string familyOf(const std::string& version) {
  size_t dot = version.find('.');
  size_t second = version.find('.', dot + 1);
  return version.substr(0, second);
}

}  // namespace

std::string regExpandData(const std::string& text) {
  std::string out = "hex(2):";
  char unit[8];
  for (wchar_t c : hosted::utf8ToWide(text) + L'\0') {
    std::snprintf(unit, sizeof unit, "%02x,%02x", static_cast<unsigned>(c & 0xFF), static_cast<unsigned>(c >> 8));
    out += (out.size() > 7 ? "," : "") + std::string(unit);
  }
  return out;
}

std::string regEscape(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\\' ? std::string("\\\\") : c == '"' ? std::string("\\\"") : std::string(1, c);
  return out;
}

fs::path InstalledMachine::hostPath(const std::string& windowsPath) const { return hostPathOf(dir_, windowsPath); }

void InstalledMachine::write() const {
  std::vector<RuntimeInstall> all = runtimes_;
  if (release_) {
    RuntimeInstall release;
    release.version = "1.8.0_31";
    release.home = kReleaseHome;
    release.fullVersion = "1.8.0_31-b13";
    release.buildNumber = "13";
    release.familyKey = true;
    all.insert(all.begin(), release);
  }

  std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
  bool any64 = std::any_of(all.begin(), all.end(), [](const RuntimeInstall& r) { return !r.view32; });
  if (any64) reg += std::string("[") + kZre + "]\r\n\"CurrentVersion\"=\"1.8\"\r\n\"BrowserZunaVersion\"=\"11.31.2\"\r\n\r\n";
  for (const auto& r : all) {
    if (release_ && !releaseKeys_ && r.version == "1.8.0_31") continue;
    if (r.familyKey) reg += versionKey(r, familyOf(r.version));
    reg += versionKey(r, r.version);
  }
  if (release_) {
    std::string command = std::string("\"\\\"") + regEscape(kReleaseHome) + "\\\\bin\\\\zunaw.exe\\\" -zar \\\"%1\\\" %*\"";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar]\r\n@=\"zarfile\"\r\n\r\n";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Applications\\zuna.exe]\r\n@=\"\"\r\n\"IsHostApp\"=\"\"\r\n\r\n";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Applications\\zunaw.exe]\r\n@=\"\"\r\n\"IsHostApp\"=\"\"\r\n\r\n";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile]\r\n@=\"Executable Zar File\"\r\n\r\n";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\zarfile\\shell\\open\\command]\r\n@=" + command + "\r\n\r\n";
    reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\"
           "Vantor_ZunaAccessBridge]\r\n\"StartExe\"=" +
           regExpandData(std::string(kReleaseHome) + "\\bin\\zabswitch.exe") +
           "\r\n\"StartParams\"=\"-enable\"\r\n\r\n";
    for (const char* sid : {kUserSid, kOtherUserSid}) {
      std::string user = std::string("[HKEY_USERS\\") + sid + "\\Software\\Corvane\\Zuna Runtime Environment\\1.8.0_31";
      reg += user + "]\r\n\"Seen\"=dword:00000001\r\n\r\n" + user + "\\Deployment]\r\n\"Cache\"=\"1\"\r\n\r\n";
      reg += std::string("[HKEY_USERS\\") + sid + "\\Software\\Corvane\\Zuna Update\\Policy]\r\n\"Country\"=\"US\"\r\n\r\n";
    }
    reg += std::string("[HKEY_USERS\\") + kOtherUserSid + "\\Software\\Other Vendor\\Editor]\r\n\"Theme\"=\"dark\"\r\n\r\n";
  }
  if (release_ || pathGiven_) {
    reg += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment]\r\n";
    std::optional<std::string> path = pathGiven_ ? path_ : "C:\\ProgramData\\Vantor\\Zuna\\zunapath;%SystemRoot%\\system32;C:\\Tools";
    if (path) reg += "\"Path\"=" + (pathExpandable_ ? regExpandData(*path) : "\"" + regEscape(*path) + "\"") + "\r\n";
    reg += "\r\n";
  }
  reg += extraRegistry_;
  writeFile(dir_ / "registry.reg", reg);
  if (!machineJson_.empty()) writeFile(dir_ / "machine.json", machineJson_);

  for (const auto& r : all) {
    for (const auto& name : r.binFiles) writeFile(hostPath(r.home + "\\bin\\" + name), name + " of " + r.version);
    writeFile(hostPath(r.home + "\\bin\\server\\zvm.dll"), "vm of " + r.version);
    if (!r.printedFullVersion.empty()) {
      fs::path zuna = hostPath(r.home + "\\bin\\zuna.exe");
      writeFile(zuna, "#!/bin/sh\n[ \"$1\" = -fullversion ] && echo 'zuna full version \"" + r.printedFullVersion +
                          "\"' >&2\nexit 0\n");
      fs::permissions(zuna, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }
  }
  if (release_) {
    writeFile(hostPath("C:\\ProgramData\\Vantor\\Zuna\\installcache_x64\\baseimagefam8"), "base image");
    writeFile(hostPath("C:\\Windows\\System32\\HostAccessBridge-64.dll"), "bridge of 1.8.0_31");
    std::string menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zuna\\";
    for (const char* name : {"About Zuna", "Visit zuna.example", "Configure Zuna", "Get Help", "Check For Updates"}) {
      writeFile(hostPath(menu + name + ".lnk"), "shortcut");
    }
    fs::path links = hostPath("C:\\ProgramData\\Vantor\\Zuna\\zunapath");
    fs::create_directories(links);
    for (const char* name : {"zuna.exe", "zunaw.exe", "zunaws.exe"}) {
      fs::create_symlink(std::string(kReleaseHome) + "\\bin\\" + name, links / name);
    }
  }
  if (release_ && !deployLibrary_.empty()) {
    fs::path bin = hostPath(std::string(kReleaseHome) + "\\bin");
    fs::copy_file(deployLibrary_, bin / "deploy.dll", fs::copy_options::overwrite_existing);
    writeFile(bin / "deploy.commands", deployCommands_);
  }
  for (const auto& path : missing_) fs::remove(hostPath(path));
  for (const auto& [path, target] : links_) {
    fs::create_directories(hostPath(path).parent_path());
    fs::create_symlink(target, hostPath(path));
  }
  for (const auto& [path, text] : files_) {
    fs::remove(hostPath(path));  // a link there is replaced, never written through
    writeFile(hostPath(path), text);
  }
}

RegistrySnapshot::RegistrySnapshot(const fs::path& machineDir) {
  std::istringstream in(readFile(machineDir / "registry.reg"));
  std::string line, key, pending;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A long hex value continues on the next lines, indented.
    if (!pending.empty()) line = pending + line.substr(std::min(line.find_first_not_of(' '), line.size()));
    pending.clear();
    if (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos) {
      pending = line.substr(0, line.size() - 1);
      continue;
    }
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      key = upper(line.substr(1, line.size() - 2));
      keys_[key];
      continue;
    }
    if (key.empty() || line.empty()) continue;
    std::string name;
    size_t eq;
    if (line.front() == '@') {
      eq = 1;
    } else {
      size_t close = 1;
      while (close < line.size() && !(line[close] == '"' && line[close - 1] != '\\')) ++close;
      name = line.substr(1, close - 1);
      eq = close + 1;
    }
    if (eq < line.size() && line[eq] == '=') keys_[key][upper(name)] = line.substr(eq + 1);
  }
}

bool RegistrySnapshot::hasKey(const std::string& path) const { return keys_.count(upper(path)) > 0; }

std::optional<std::string> RegistrySnapshot::value(const std::string& key, const std::string& name) const {
  auto k = keys_.find(upper(key));
  auto v = k == keys_.end() ? std::map<std::string, std::string>::const_iterator() : k->second.find(upper(name));
  if (k == keys_.end() || v == k->second.end()) return std::nullopt;
  return v->second;
}

std::optional<std::string> RegistrySnapshot::text(const std::string& key, const std::string& name) const {
  auto data = value(key, name);
  if (!data || data->size() < 2 || data->front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i + 1 < data->size(); ++i) {
    if ((*data)[i] == '\\' && i + 2 < data->size()) ++i;
    out += (*data)[i];
  }
  return out;
}

std::optional<std::string> RegistrySnapshot::expandText(const std::string& key, const std::string& name) const {
  auto data = value(key, name);
  if (!data || data->rfind("hex(2):", 0) != 0) return std::nullopt;
  std::wstring text;
  for (size_t at = 7; at + 4 < data->size(); at += 6) {
    wchar_t c = static_cast<wchar_t>(std::stoi(data->substr(at, 2), nullptr, 16) | std::stoi(data->substr(at + 3, 2), nullptr, 16) << 8);
    if (c == 0) break;
    text += c;
  }
  return hosted::wideToUtf8(text);
}

std::vector<std::string> RegistrySnapshot::keysUnder(const std::string& prefix) const {
  std::vector<std::string> out;
  std::string p = upper(prefix);
  for (const auto& [key, values] : keys_) {
    if (key.rfind(p, 0) == 0) out.push_back(key);
  }
  return out;
}

}  // namespace zutest
