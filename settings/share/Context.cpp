#include "settings/share/Context.h"

#include <windows.h>
#include <io.h>
#include <tchar.h>

#include <cstdio>
#include <iostream>

#include "settings/share/PlainTextFileConfigParser.h"

namespace settings_impl {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

// Creates an empty file that no other file shares the name of, in the folder of `file`,
// for the new text to be written to before it replaces the file, and gives its name; an
// empty name when none can be created. Only a file this creates is ever written or
// removed, whatever else the folder holds.
std::wstring createReplacementFile(const std::wstring& file) {
  size_t slash = file.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? std::wstring() : file.substr(0, slash + 1);
  const unsigned seed = static_cast<unsigned>(GetCurrentProcessId());
  for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
    wchar_t unique[8];
    swprintf(unique, 8, L"%04x", (seed + attempt) & 0xFFFF);
    std::wstring name = folder + L"cfg" + unique + L".tmp";
    HANDLE created = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      CloseHandle(created);
      return name;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return std::wstring();
}

}  // namespace

Context::Context() : config_(makeEmptyConfig()), systemConfigFilePath_(settings_impl::systemConfigFilePath()) {}

void Context::onError(const IParserCursor& cursor, const char* message) {
  lastImportErrors_.push_back(static_cast<const Cursor&>(cursor).line);
  std::cerr << "Error reading config file: " << message << '\n';
  std::cerr.flush();
  throw settings::Exception(313);
}

void Context::import(IConfigParser& parser, const ConfigValidator* validator, const IKeyMapper* keyMapper,
                     bool stopOnError, bool allowKeysWithoutValue) {
  parser.setErrorListener(this);
  parser.setValidator(validator);
  parser.setKeyMapper(keyMapper);
  parser.setStopOnError(stopOnError);
  parser.setAllowKeysWithoutValue(allowKeysWithoutValue);
  lastImportErrors_.clear();
  std::unique_ptr<IConfig> parsed = parser.parse();
  if (!parsed) throw settings::Exception(313);
  if (dynamic_cast<Config*>(parsed.get())) {
    // The parsed entries are not needed afterwards: they move into the new configuration.
    config_ = mergeConfigs(*config_, std::unique_ptr<Config>(static_cast<Config*>(parsed.release())));
  } else {
    config_ = mergeConfigs(*config_, *parsed);
  }
  if (!lastImportErrors_.empty()) throw settings::Exception(313);
}

void Context::exportToFile(const std::string& path) const {
  FilePath file = canonicalize(testPathArgument(path));
  PlainTextEntrySerializer serializer;
  serializeConfig(*config_, serializer, true);
  std::string text = serializer.text();
  makeParentDirectories(file);
  if (text.empty()) text = " ";  // the file is never left empty
  bool exists = std::unique_ptr<FILE, FileCloser>(_wfopen(file.wide.c_str(), L"r")) != nullptr;
  if (exists) replaceFileText(file, text);
  else writeNewFile(file, text);
}

void replaceFileText(const FilePath& file, const std::string& text) {
  std::wstring replacement = createReplacementFile(file.wide);
  if (replacement.empty()) throw settings::Exception(304);
  std::unique_ptr<FILE, FileCloser> out(_wfopen(replacement.c_str(), L"w"));
  if (!out) {
    _wremove(replacement.c_str());
    throw settings::Exception(304);
  }
  // Buffered text may fail only when it is flushed, so closing is part of writing.
  bool complete = fwrite(text.data(), text.size(), 1, out.get()) == 1;
  complete = fflush(out.get()) == 0 && complete;
  complete = fclose(out.release()) == 0 && complete;
  if (!complete) {
    _wremove(replacement.c_str());
    throw settings::Exception(306);
  }
  if (!ReplaceFileW(file.wide.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr)) {
    _wremove(replacement.c_str());
    throw settings::Exception(304);
  }
}

void writeNewFile(const FilePath& file, const std::string& text) {
  int fd = createProtectedFile(file);
  if (fd == -1) throw settings::Exception(304);
  int written = _write(fd, text.data(), static_cast<unsigned int>(text.size()));
  bool complete = written >= 0 && static_cast<size_t>(written) == text.size();
  complete = _close(fd) == 0 && complete;
  if (!complete) {
    // A half-written configuration would be read back as if it were whole.
    _wremove(file.wide.c_str());
    throw settings::Exception(306);
  }
}

}  // namespace settings_impl
