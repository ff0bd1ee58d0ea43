// The runtimes installed on the machine: the version keys under
// HKEY_LOCAL_MACHINE\SOFTWARE\Corvane\Zuna Runtime Environment in the 32-bit and the
// 64-bit registry view whose home (an absolute path, not a drive's root) really holds
// bin\zuna.exe.
//
// Registry failures are silent: a missing root key, an unreadable subkey or a missing
// value just yields fewer entries.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// One installed runtime.
struct RuntimeEntry {
  std::string home;           // ZunaHome of the version key, as stored
  std::string version;        // the version key's name, e.g. "1.8.0_31"
  std::string familyVersion;  // version cut at the first "_": "1.8.0"
  // FullVersion of the key's MSI subkey, or what zuna.exe -fullversion printed
  // between its first two double quotes (see getFullVersion); absent until known.
  std::optional<std::string> fullVersion;
  DWORD registryView = 0;     // kView32 or kView64

  static constexpr DWORD kView32 = 1;
  static constexpr DWORD kView64 = 2;
};

// A non-owning view of a range of entries.
class ZunaVersionList {
 public:
  ZunaVersionList() = default;
  ZunaVersionList(const std::unique_ptr<RuntimeEntry>* entries, int count) : entries_(entries), count_(count) {}
  virtual ~ZunaVersionList() = default;
  ZunaVersionList(const ZunaVersionList&) = default;
  ZunaVersionList& operator=(const ZunaVersionList&) = default;

  // The entry whose key name is greatest by byte-wise comparison of the texts (so
  // "1.8.0_5" beats "1.8.0_31"); ties keep the earlier entry. Null for an empty view.
  virtual RuntimeEntry* getLatest();

  int count() const { return count_; }
  RuntimeEntry& operator[](int index) const { return *entries_[index]; }

 private:
  const std::unique_ptr<RuntimeEntry>* entries_ = nullptr;
  int count_ = 0;
};

class InstalledZunaVersions {
 public:
  // Views of view(): the 32-bit entries, the 64-bit entries, all of them.
  static constexpr int kMode32 = 1;
  static constexpr int kMode64 = 2;
  static constexpr int kModeAll = 3;

  // Reads the 32-bit view, then (on a 64-bit system only) the 64-bit view. A key named
  // `leaving` (compared without case: the release being removed) is left out.
  explicit InstalledZunaVersions(const std::string& leaving = {});
  // Frees the entries last to first.
  ~InstalledZunaVersions();
  InstalledZunaVersions(const InstalledZunaVersions&) = delete;
  InstalledZunaVersions& operator=(const InstalledZunaVersions&) = delete;

  // Mode 1: the 32-bit entries; 2 (and 0): the 64-bit entries; 3: all; any other mode
  // an empty view. The view is valid while this object lives.
  ZunaVersionList view(int mode) const;

  size_t size() const { return entries_.size(); }
  size_t count32() const { return count32_; }

 private:
  // One registry view's pass; returns the number of entries it appended.
  size_t load(DWORD registryView, const std::string& leaving);

  std::vector<std::unique_ptr<RuntimeEntry>> entries_;
  size_t count32_ = 0;
};

// The entry's full version, run through `<home>\bin\zuna.exe -fullversion` when the
// registry did not give it (each call tries again until it succeeds). Empty when it
// cannot be had.
std::string getFullVersion(RuntimeEntry& entry);
