// The shell-link object (CLSID_ShellLink): IShellLinkA and IShellLinkW over the link's
// fields, which are kept in UTF-16 as Windows keeps them (the narrow methods convert
// through the ANSI code page), and IPersistFile, whose Save writes a .lnk file on the
// machine's drives.
//
// Differences from Windows, none of which the program meets: id lists are neither
// taken nor given (SetIDList, GetIDList and Resolve answer E_NOTIMPL), and a target
// path is kept as given, without looking for a short form.
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/hosted/api/ShellLinkObject.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/ShellLink.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;

namespace {

uint64_t fileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME fileTimeOf(uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

// Copies text into a caller's buffer of `cch` characters, cutting it to fit.
HRESULT copyOut(const std::string& text, LPSTR buffer, int cch) {
  if (!buffer || cch <= 0) return E_INVALIDARG;
  size_t n = std::min(text.size(), static_cast<size_t>(cch - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return S_OK;
}

HRESULT copyOut(const std::wstring& text, LPWSTR buffer, int cch) {
  if (!buffer || cch <= 0) return E_INVALIDARG;
  size_t n = std::min(text.size(), static_cast<size_t>(cch - 1));
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buffer);
  buffer[n] = L'\0';
  return S_OK;
}

// An injected failure of a method: the Win32 error becomes the thread's last error
// and the method's HRESULT.
bool injected(const char* method, const std::string& object, HRESULT* result) {
  auto error = machine().faults().take(method, object);
  if (!error) return false;
  hosted::setLastError(*error);
  *result = HRESULT_FROM_WIN32(*error);
  return true;
}

class HandleOwner {
 public:
  explicit HandleOwner(HANDLE handle) : handle_(handle) {}
  ~HandleOwner() {
    if (valid()) CloseHandle(handle_);
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class ShellLinkObject final : public IShellLinkA, public IShellLinkW, public IPersistFile {
 public:
  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellLinkA)) {
      *ppv = static_cast<IShellLinkA*>(this);
    } else if (IsEqualIID(riid, IID_IShellLinkW)) {
      *ppv = static_cast<IShellLinkW*>(this);
    } else if (IsEqualIID(riid, IID_IPersistFile) || IsEqualIID(riid, IID_IPersist)) {
      *ppv = static_cast<IPersistFile*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IShellLinkA
  HRESULT GetPath(LPSTR pszFile, int cch, WIN32_FIND_DATAA* pfd, DWORD) override {
    bool path = !link_.target.empty() && !hosted::isUrlTarget(link_.target);
    HRESULT hr = copyOut(path ? hosted::wideToAnsi(link_.target) : std::string(), pszFile, cch);
    if (FAILED(hr)) return hr;
    if (pfd) {
      *pfd = WIN32_FIND_DATAA{};
      if (path) {
        pfd->dwFileAttributes = link_.fileAttributes;
        pfd->ftCreationTime = fileTimeOf(link_.creationTime);
        pfd->ftLastAccessTime = fileTimeOf(link_.accessTime);
        pfd->ftLastWriteTime = fileTimeOf(link_.writeTime);
        pfd->nFileSizeLow = link_.fileSize;
        std::string name = hosted::wideToAnsi(link_.target.substr(link_.target.find_last_of(L"\\/") + 1));
        copyOut(name, pfd->cFileName, MAX_PATH);
      }
    }
    return path ? S_OK : S_FALSE;
  }
  HRESULT GetIDList(PIDLIST_ABSOLUTE* ppidl) override {
    if (ppidl) *ppidl = nullptr;
    return E_NOTIMPL;
  }
  HRESULT SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
  HRESULT GetDescription(LPSTR pszName, int cch) override { return copyOut(ansi(link_.description), pszName, cch); }
  HRESULT SetDescription(LPCSTR pszName) override { return setText("IShellLinkA::SetDescription", pszName, link_.description); }
  HRESULT GetWorkingDirectory(LPSTR pszDir, int cch) override {
    return copyOut(ansi(link_.workingDirectory), pszDir, cch);
  }
  HRESULT SetWorkingDirectory(LPCSTR pszDir) override {
    return setText("IShellLinkA::SetWorkingDirectory", pszDir, link_.workingDirectory);
  }
  HRESULT GetArguments(LPSTR pszArgs, int cch) override { return copyOut(ansi(link_.arguments), pszArgs, cch); }
  HRESULT SetArguments(LPCSTR pszArgs) override { return setText("IShellLinkA::SetArguments", pszArgs, link_.arguments); }
  HRESULT GetHotkey(WORD* pwHotkey) override {
    if (!pwHotkey) return E_INVALIDARG;
    *pwHotkey = link_.hotkey;
    return S_OK;
  }
  HRESULT SetHotkey(WORD wHotkey) override {
    link_.hotkey = wHotkey;
    dirty_ = true;
    return S_OK;
  }
  HRESULT GetShowCmd(int* piShowCmd) override {
    if (!piShowCmd) return E_INVALIDARG;
    *piShowCmd = static_cast<int>(link_.showCommand);
    return S_OK;
  }
  HRESULT SetShowCmd(int iShowCmd) override {
    link_.showCommand = static_cast<uint32_t>(iShowCmd);
    dirty_ = true;
    return S_OK;
  }
  HRESULT GetIconLocation(LPSTR pszIconPath, int cch, int* piIcon) override {
    if (!piIcon) return E_INVALIDARG;
    *piIcon = link_.iconIndex;
    return copyOut(ansi(link_.iconLocation), pszIconPath, cch);
  }
  HRESULT SetIconLocation(LPCSTR pszIconPath, int iIcon) override {
    HRESULT hr = setText("IShellLinkA::SetIconLocation", pszIconPath, link_.iconLocation);
    if (SUCCEEDED(hr)) link_.iconIndex = iIcon;
    return hr;
  }
  HRESULT SetRelativePath(LPCSTR pszPathRel, DWORD) override {
    return setText("IShellLinkA::SetRelativePath", pszPathRel, link_.relativePath);
  }
  HRESULT Resolve(HWND, DWORD) override { return E_NOTIMPL; }

  // IShellLinkW: the same fields without the code page in between.
  HRESULT GetPath(LPWSTR pszFile, int cch, WIN32_FIND_DATAW* pfd, DWORD flags) override {
    WIN32_FIND_DATAA found{};
    std::vector<char> ignored(MAX_PATH);
    HRESULT hr = GetPath(ignored.data(), MAX_PATH, pfd ? &found : nullptr, flags);
    if (FAILED(hr)) return hr;
    bool path = hr == S_OK;
    HRESULT copied = copyOut(path ? link_.target : std::wstring(), pszFile, cch);
    if (FAILED(copied)) return copied;
    if (pfd) {
      *pfd = WIN32_FIND_DATAW{};
      pfd->dwFileAttributes = found.dwFileAttributes;
      pfd->ftCreationTime = found.ftCreationTime;
      pfd->ftLastAccessTime = found.ftLastAccessTime;
      pfd->ftLastWriteTime = found.ftLastWriteTime;
      pfd->nFileSizeLow = found.nFileSizeLow;
      if (path) copyOut(link_.target.substr(link_.target.find_last_of(L"\\/") + 1), pfd->cFileName, MAX_PATH);
    }
    return hr;
  }
  HRESULT GetDescription(LPWSTR pszName, int cch) override { return copyOut(link_.description, pszName, cch); }
  HRESULT SetDescription(LPCWSTR pszName) override {
    return setText("IShellLinkW::SetDescription", pszName, link_.description);
  }
  HRESULT GetWorkingDirectory(LPWSTR pszDir, int cch) override {
    return copyOut(link_.workingDirectory, pszDir, cch);
  }
  HRESULT SetWorkingDirectory(LPCWSTR pszDir) override {
    return setText("IShellLinkW::SetWorkingDirectory", pszDir, link_.workingDirectory);
  }
  HRESULT GetArguments(LPWSTR pszArgs, int cch) override { return copyOut(link_.arguments, pszArgs, cch); }
  HRESULT SetArguments(LPCWSTR pszArgs) override { return setText("IShellLinkW::SetArguments", pszArgs, link_.arguments); }
  HRESULT GetIconLocation(LPWSTR pszIconPath, int cch, int* piIcon) override {
    if (!piIcon) return E_INVALIDARG;
    *piIcon = link_.iconIndex;
    return copyOut(link_.iconLocation, pszIconPath, cch);
  }
  HRESULT SetIconLocation(LPCWSTR pszIconPath, int iIcon) override {
    HRESULT hr = setText("IShellLinkW::SetIconLocation", pszIconPath, link_.iconLocation);
    if (SUCCEEDED(hr)) link_.iconIndex = iIcon;
    return hr;
  }
  HRESULT SetRelativePath(LPCWSTR pszPathRel, DWORD) override {
    return setText("IShellLinkW::SetRelativePath", pszPathRel, link_.relativePath);
  }
  HRESULT SetPath(LPCWSTR pszFile) override {
    if (!pszFile) return E_INVALIDARG;
    std::wstring wide = pszFile;
    std::string ansi = hosted::wideToAnsi(wide);
    HRESULT hr;
    if (injected("IShellLinkW::SetPath", ansi, &hr)) return hr;
    // A path the code page holds takes the narrow way, which finds the file; one it
    // cannot hold is kept as given.
    if (hosted::ansiToWide(ansi) == wide) return setPath(ansi.c_str());
    link_ = withoutTarget(link_);
    link_.target = wide;
    dirty_ = true;
    return S_OK;
  }

  HRESULT SetPath(LPCSTR pszFile) override {
    if (!pszFile) return E_INVALIDARG;
    HRESULT hr;
    if (injected("IShellLinkA::SetPath", pszFile, &hr)) return hr;
    return setPath(pszFile);
  }

  HRESULT setPath(LPCSTR pszFile) {
    std::wstring target = hosted::ansiToWide(pszFile);
    link_.target.clear();
    link_.fileAttributes = 0;
    link_.creationTime = link_.accessTime = link_.writeTime = 0;
    link_.fileSize = 0;
    dirty_ = true;
    if (target.empty() || hosted::isUrlTarget(target)) {
      link_.target = target;
      return S_OK;
    }
    uint32_t error = 0;
    auto full = hosted::fullPathName(pszFile, &error);
    if (!full) {
      hosted::setLastError(error);
      return HRESULT_FROM_WIN32(error);
    }
    link_.target = hosted::ansiToWide(*full);
    // A target that does not exist (yet) still makes a link, as on Windows; one that
    // does lends the link its attributes, times and size.
    DWORD saved = GetLastError();
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(full->c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
      link_.fileAttributes = found.dwFileAttributes;
      link_.creationTime = fileTimeValue(found.ftCreationTime);
      link_.accessTime = fileTimeValue(found.ftLastAccessTime);
      link_.writeTime = fileTimeValue(found.ftLastWriteTime);
      link_.fileSize = found.nFileSizeLow;
    }
    hosted::setLastError(saved);
    return S_OK;
  }

  // IPersist
  HRESULT GetClassID(CLSID* pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_ShellLink;
    return S_OK;
  }

  // IPersistFile
  HRESULT IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT Load(LPCOLESTR pszFileName, DWORD) override {
    if (!pszFileName) return E_INVALIDARG;
    std::string path = hosted::wideToAnsi(pszFileName);
    uint32_t error = 0;
    auto resolved = hosted::resolvePath(path, &error, true);
    if (!resolved) return HRESULT_FROM_WIN32(error);
    if (!resolved->exists) return HRESULT_FROM_WIN32(resolved->parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    std::ifstream in(resolved->host, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return E_FAIL;
    auto read = hosted::readShellLink(bytes);
    if (!read) return E_FAIL;
    link_ = read->link;
    currentFile_ = pszFileName;
    dirty_ = false;
    return S_OK;
  }
  HRESULT Save(LPCOLESTR pszFileName, BOOL fRemember) override {
    std::wstring file = pszFileName ? std::wstring(pszFileName) : currentFile_;
    if (file.empty()) return E_INVALIDARG;
    std::string path = hosted::wideToAnsi(file);
    HRESULT hr;
    if (injected("IPersistFile::Save", path, &hr)) return hr;
    std::vector<uint8_t> bytes = hosted::writeShellLink(link_);
    // The name is wide: a shortcut may be named in a script the code page lacks.
    HandleOwner out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) return HRESULT_FROM_WIN32(GetLastError());
    DWORD written = 0;
    if (!WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      return HRESULT_FROM_WIN32(GetLastError());
    }
    if (fRemember || !pszFileName) {
      currentFile_ = file;
      dirty_ = false;
    }
    return S_OK;
  }
  HRESULT SaveCompleted(LPCOLESTR) override { return S_OK; }
  HRESULT GetCurFile(LPOLESTR* ppszFileName) override {
    if (!ppszFileName) return E_POINTER;
    // Without a current file Windows offers the default file pattern.
    std::wstring name = currentFile_.empty() ? std::wstring(L"*.lnk") : currentFile_;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    if (!copy) return E_OUTOFMEMORY;
    std::copy(name.begin(), name.end(), copy);
    copy[name.size()] = 0;
    *ppszFileName = copy;
    return currentFile_.empty() ? S_FALSE : S_OK;
  }

 private:
  static std::string ansi(const std::wstring& text) { return hosted::wideToAnsi(text); }

  HRESULT setText(const char* method, LPCSTR text, std::wstring& field) {
    if (!text) return E_INVALIDARG;
    return setText(method, hosted::ansiToWide(text), field);
  }
  HRESULT setText(const char* method, LPCWSTR text, std::wstring& field) {
    if (!text) return E_INVALIDARG;
    return setText(method, std::wstring(text), field);
  }
  HRESULT setText(const char* method, const std::wstring& text, std::wstring& field) {
    HRESULT hr;
    if (injected(method, hosted::wideToAnsi(text), &hr)) return hr;
    field = text;
    dirty_ = true;
    return S_OK;
  }

  // The link with no target and none of a target's facts.
  static hosted::ShellLink withoutTarget(hosted::ShellLink link) {
    link.target.clear();
    link.fileAttributes = 0;
    link.creationTime = link.accessTime = link.writeTime = 0;
    link.fileSize = 0;
    return link;
  }

  std::atomic<ULONG> references_{1};
  hosted::ShellLink link_;
  std::wstring currentFile_;
  bool dirty_ = false;
};

}  // namespace

namespace hosted {

HRESULT createShellLinkObject(REFIID riid, void** ppv) {
  auto* object = new ShellLinkObject;
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace hosted
