#include "tests/settings/share/reference/PlainTextFileConfigParser.h"

#include <windows.h>
#include <tchar.h>

#include <cstdio>
#include <vector>

#include "tests/settings/share/reference/ConfigBuilder.h"

namespace settings_reference {

namespace {

constexpr const char* kLineTerminators = "\r\n";
constexpr const char* kSeparators = "=:";
constexpr const char* kBlanks = " \t";
constexpr size_t kMaxFileBytes = 0x100000;

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

std::string positionText(const IParserCursor& cursor) {
  const auto& at = static_cast<const Cursor&>(cursor);
  return "line " + std::to_string(static_cast<uint64_t>(at.line) + 1) + "; char " +
         std::to_string(static_cast<uint64_t>(at.column) + 1);
}

std::string trimTrailingBlanks(std::string_view text) {
  size_t end = text.find_last_not_of(kBlanks);
  return std::string(end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1));
}

// One line's status: 300 when it is accepted, else the reason it failed.
int32_t parseLine(std::string_view line, const Cursor& cursor, IConfigParserCallback& callback,
                  bool allowKeysWithoutValue) {
  size_t first = cursor.column;
  if (line[first] == '#') {
    std::string comment(line.substr(first));
    return callback.onComment(cursor, comment.c_str()) ? kLineAccepted : kInvalidComment;
  }
  size_t separator = line.find_first_of(kSeparators, first);
  if (separator == std::string_view::npos) {
    if (!allowKeysWithoutValue) return kKeyWithoutValue;
    std::string key = trimTrailingBlanks(line.substr(first));
    if (key[0] == '\0') return kEmptyKey;
    return callback.onEntry(cursor, key.c_str(), nullptr);
  }
  std::string key = trimTrailingBlanks(line.substr(first, separator - first));
  // Keys travel as NUL-terminated strings: one that a NUL byte cuts down to nothing
  // would be stored as an empty key and written back as a line that cannot be read.
  if (key.empty() || key[0] == '\0') return kEmptyKey;
  std::string_view rest = line.substr(separator + 1);
  size_t valueStart = rest.find_first_not_of(kBlanks);
  std::string value = valueStart == std::string_view::npos ? std::string() : trimTrailingBlanks(rest.substr(valueStart));
  return callback.onEntry(cursor, key.c_str(), value.c_str());
}

}  // namespace

PlainTextFileConfigParser::PlainTextFileConfigParser(const std::string& text)
    : buffer_(std::make_unique<StringBuffer>(text)) {}

PlainTextFileConfigParser::PlainTextFileConfigParser(const FilePath& file)
    : buffer_(std::make_unique<FileBuffer>(file)) {}

std::unique_ptr<IConfig> PlainTextFileConfigParser::parse() {
  std::string text;
  buffer_->read(text);

  ParserErrorCounter counter(listener_);
  ConfigBuilder builder(positionText, validator_, keyMapper_, &counter);
  std::string_view all(text);
  uint32_t lineIndex = 0;
  size_t start = 0;
  for (bool more = true; more; ++lineIndex) {
    size_t end = all.find_first_of(kLineTerminators, start);
    std::string_view line = all.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (end == std::string_view::npos) {
      more = false;
    } else {
      start = end + ((all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n') ? 2 : 1);
    }
    size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) continue;
    Cursor cursor(lineIndex, static_cast<uint32_t>(first));
    try {
      int32_t status = parseLine(line, cursor, builder, allowKeysWithoutValue_);
      if (status != kLineAccepted) {
        builder.onError(cursor, status);
        if (stopOnError_) break;
      }
    } catch (const settings::Exception&) {
      if (stopOnError_) throw;
    }
  }
  if (counter.count() != 0 && stopOnError_) return nullptr;
  return builder.takeConfig();
}

void StringBuffer::read(std::string& text) const {
  if (!isWellFormedUtf8(text_)) throw settings::Exception(314);
  text = text_;
}

void FileBuffer::read(std::string& text) const {
  std::unique_ptr<FILE, FileCloser> file(_wfopen(path_.wide.c_str(), L"rb"));
  if (!file) throw settings::Exception(304);
  std::vector<char> buffer(kMaxFileBytes + 1);
  size_t count = fread(buffer.data(), 1, kMaxFileBytes, file.get());
  if (count > kMaxFileBytes) throw settings::Exception(200);
  if (ferror(file.get())) throw settings::Exception(307);
  // The read must meet the end of the file, so a file of exactly the buffer's size is
  // refused as well as any larger one.
  if (!feof(file.get())) throw settings::Exception(315);
  std::string_view read(buffer.data(), count);
  if (!isWellFormedUtf8(read)) throw settings::Exception(314);
  text.assign(read);
}

}  // namespace settings_reference
