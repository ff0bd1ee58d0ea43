// The plain-text configuration format: one "key=value" (or "key:value") per line,
// "#" comment lines, blanks trimmed around keys and values, CR, LF or CR LF line ends.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "settings/share/ConfigParser.h"
#include "settings/share/SystemConfig.h"

namespace settings_impl {

class PlainTextFileConfigParser : public IConfigParser {
 public:
  // Where the text comes from.
  class IBuffer {
   public:
    virtual ~IBuffer() = default;
    // The whole text, bytes as stored. Throws settings::Exception.
    virtual void read(std::string& text) const = 0;
    // The same text, as read() would give it, in `storage` or in the buffer itself; valid
    // while both live.
    virtual std::string_view view(std::string& storage) const {
      read(storage);
      return storage;
    }
  };

  // Parses `text` (a copy of it, unless it is moved in).
  explicit PlainTextFileConfigParser(std::string text);
  // Parses the file at a canonical path.
  explicit PlainTextFileConfigParser(const FilePath& file);

  void setValidator(const ConfigValidator* validator) override { validator_ = validator; }
  void setKeyMapper(const IKeyMapper* keyMapper) override { keyMapper_ = keyMapper; }
  void setErrorListener(IParserErrorListener* listener) override { listener_ = listener; }
  void setStopOnError(bool stop) override { stopOnError_ = stop; }
  void setAllowKeysWithoutValue(bool allow) override { allowKeysWithoutValue_ = allow; }

  // Reads the text and hands every line to a ConfigBuilder. A failure to read the text
  // throws its code (304, 307, 314, 315, 200). A faulty line is reported to the error
  // listener; with stopOnError the first one ends the parse (an exception the listener
  // throws passes on; otherwise null is returned); without it every good line is kept.
  std::unique_ptr<IConfig> parse() override;

 private:
  const ConfigValidator* validator_ = nullptr;
  const IKeyMapper* keyMapper_ = nullptr;
  IParserErrorListener* listener_ = nullptr;
  bool stopOnError_ = true;
  bool allowKeysWithoutValue_ = false;
  std::unique_ptr<IBuffer> buffer_;
};

// A text held in memory; read() refuses text that is not well-formed UTF-8 (314).
class StringBuffer : public PlainTextFileConfigParser::IBuffer {
 public:
  explicit StringBuffer(std::string text) : text_(std::move(text)) {}
  void read(std::string& text) const override;
  // The held text itself, without a copy; refused as read() refuses it.
  std::string_view view(std::string& storage) const override;

 private:
  std::string text_;
};

// A file of fewer than 1,048,576 bytes of well-formed UTF-8. read() throws 304 when the
// file cannot be opened, 307 on a read error, 315 when the file is too large, 314 when
// its text is not UTF-8.
class FileBuffer : public PlainTextFileConfigParser::IBuffer {
 public:
  explicit FileBuffer(FilePath path) : path_(std::move(path)) {}
  void read(std::string& text) const override;

 private:
  FilePath path_;
};

// Writes entries as "key=value" or "key" lines ended by LF, nothing escaped or trimmed.
class PlainTextEntrySerializer : public IConfigEntrySerializer {
 public:
  void writeKey(const char* key) override;
  void writeEntry(const char* key, const char* value) override;
  std::string text() const { return out_.str(); }

 private:
  std::ostringstream out_;
};

// Writes every key of `config` in its order. With stopOnError the first failure
// passes on; without it the failing entry is skipped.
void serializeConfig(const IConfig& config, IConfigEntrySerializer& serializer, bool stopOnError);

}  // namespace settings_impl
