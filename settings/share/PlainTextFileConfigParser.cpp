#include "settings/share/PlainTextFileConfigParser.h"

#include <windows.h>
#include <tchar.h>

#include <cstdio>
#include <cstring>

#include "settings/share/ConfigBuilder.h"

namespace settings_impl {

namespace {

constexpr size_t kMaxFileBytes = 0x100000;

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

std::string positionText(const IParserCursor& cursor) {
  const auto& at = static_cast<const Cursor&>(cursor);
  return "line " + std::to_string(static_cast<uint64_t>(at.line) + 1) + "; char " +
         std::to_string(static_cast<uint64_t>(at.column) + 1);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSeparator(char c) { return c == '=' || c == ':'; }

// The end of `text` without its trailing blanks, at `from` or after it.
size_t trimmedEnd(std::string_view text, size_t from, size_t end) {
  while (end > from && isBlank(text[end - 1])) --end;
  return end;
}

// Finds line terminators (CR or LF). It remembers the next CR and the next LF it has
// found, so that each byte is searched once for either, whatever the text's line ends.
class LineEnds {
 public:
  explicit LineEnds(std::string_view text) : text_(text), nextCr_(find('\r', 0)), nextLf_(find('\n', 0)) {}
  // The first terminator at or after `at`, or the text's size.
  size_t next(size_t at) {
    if (nextCr_ < at) nextCr_ = find('\r', at);
    if (nextLf_ < at) nextLf_ = find('\n', at);
    return nextCr_ < nextLf_ ? nextCr_ : nextLf_;
  }

 private:
  size_t find(char terminator, size_t from) const {
    if (from >= text_.size()) return text_.size();
    const void* found = std::memchr(text_.data() + from, terminator, text_.size() - from);
    return found ? static_cast<size_t>(static_cast<const char*>(found) - text_.data()) : text_.size();
  }
  std::string_view text_;
  size_t nextCr_;
  size_t nextLf_;
};

// One line's status: 300 when it is accepted, else the reason it failed. Keys, values and
// comments are handed on as NUL-terminated copies in `scratch`, which is reused from line
// to line.
int32_t parseLine(std::string_view line, const Cursor& cursor, IConfigParserCallback& callback,
                  bool allowKeysWithoutValue, std::string& scratch) {
  const size_t first = cursor.column;
  if (line[first] == '#') {
    scratch.assign(line.substr(first));
    return callback.onComment(cursor, scratch.c_str()) ? kLineAccepted : kInvalidComment;
  }
  size_t separator = first;
  while (separator < line.size() && !isSeparator(line[separator])) ++separator;
  if (separator == line.size()) {
    if (!allowKeysWithoutValue) return kKeyWithoutValue;
    if (line[first] == '\0') return kEmptyKey;
    scratch.assign(line.substr(first, trimmedEnd(line, first, line.size()) - first));
    return callback.onEntry(cursor, scratch.c_str(), nullptr);
  }
  // Keys travel as NUL-terminated strings: one that a NUL byte cuts down to nothing
  // would be stored as an empty key and written back as a line that cannot be read.
  if (separator == first || line[first] == '\0') return kEmptyKey;
  size_t valueStart = separator + 1;
  while (valueStart < line.size() && isBlank(line[valueStart])) ++valueStart;
  scratch.assign(line.substr(first, trimmedEnd(line, first, separator) - first));
  scratch.push_back('\0');
  const size_t valueAt = scratch.size();
  scratch.append(line.substr(valueStart, trimmedEnd(line, valueStart, line.size()) - valueStart));
  return callback.onEntry(cursor, scratch.data(), scratch.data() + valueAt);
}

}  // namespace

PlainTextFileConfigParser::PlainTextFileConfigParser(std::string text)
    : buffer_(std::make_unique<StringBuffer>(std::move(text))) {}

PlainTextFileConfigParser::PlainTextFileConfigParser(const FilePath& file)
    : buffer_(std::make_unique<FileBuffer>(file)) {}

std::unique_ptr<IConfig> PlainTextFileConfigParser::parse() {
  std::string storage;
  const std::string_view all = buffer_->view(storage);

  ParserErrorCounter counter(listener_);
  ConfigBuilder builder(positionText, validator_, keyMapper_, &counter);
  LineEnds lineEnds(all);
  std::string scratch;
  uint32_t lineIndex = 0;
  size_t start = 0;
  for (bool more = true; more; ++lineIndex) {
    size_t end = lineEnds.next(start);
    std::string_view line = all.substr(start, end - start);
    if (end == all.size()) {
      more = false;
    } else {
      start = end + ((all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n') ? 2 : 1);
    }
    size_t first = 0;
    while (first < line.size() && isBlank(line[first])) ++first;
    if (first == line.size()) continue;
    Cursor cursor(lineIndex, static_cast<uint32_t>(first));
    try {
      int32_t status = parseLine(line, cursor, builder, allowKeysWithoutValue_, scratch);
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

void StringBuffer::read(std::string& text) const { text.assign(view(text)); }

std::string_view StringBuffer::view(std::string&) const {
  if (!isWellFormedUtf8(text_)) throw settings::Exception(314);
  return text_;
}

void FileBuffer::read(std::string& text) const {
  std::unique_ptr<FILE, FileCloser> file(_wfopen(path_.wide.c_str(), L"rb"));
  if (!file) throw settings::Exception(304);
  // Left uninitialised: only the bytes read are ever looked at.
  std::unique_ptr<char[]> buffer(new char[kMaxFileBytes + 1]);
  size_t count = fread(buffer.get(), 1, kMaxFileBytes, file.get());
  if (count > kMaxFileBytes) throw settings::Exception(200);
  if (ferror(file.get())) throw settings::Exception(307);
  // The read must meet the end of the file, so a file of exactly the buffer's size is
  // refused as well as any larger one.
  if (!feof(file.get())) throw settings::Exception(315);
  std::string_view read(buffer.get(), count);
  if (!isWellFormedUtf8(read)) throw settings::Exception(314);
  text.assign(read);
}

void PlainTextEntrySerializer::writeKey(const char* key) { out_ << key << '\n'; }

void PlainTextEntrySerializer::writeEntry(const char* key, const char* value) {
  out_ << key << '=' << value << '\n';
}

void serializeConfig(const IConfig& config, IConfigEntrySerializer& serializer, bool stopOnError) {
  for (const char* key : config.getKeys()) {
    try {
      if (config.hasValue(key)) serializer.writeEntry(key, config.getUtf8(key));
      else serializer.writeKey(key);
    } catch (const std::exception&) {
      if (stopOnError) throw;
    }
  }
}

}  // namespace settings_impl
