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

// The name the new text is written under before it replaces the file: beside it and of
// the same length, so that it fits wherever the file's own name fits.
std::wstring replacementName(const std::wstring& file) {
  std::wstring name = file;
  name.back() = name.back() == L'~' ? L'_' : L'~';
  return name;
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
  config_ = mergeConfigs(*config_, *parsed);
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
  std::wstring replacement = replacementName(file.wide);
  std::unique_ptr<FILE, FileCloser> out(_wfopen(replacement.c_str(), L"w"));
  if (!out) throw settings::Exception(304);
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
