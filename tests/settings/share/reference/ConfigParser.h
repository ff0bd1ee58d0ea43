// The parts a configuration reader is made of: where a report points, who hears
// about faulty lines, who receives the entries, and the reader's own interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tests/settings/share/reference/Config.h"

namespace settings_reference {

class ConfigValidator;
class IKeyMapper;

// Status codes of a line: 300 accepts it, the others name what is wrong with it.
enum LineStatus : int32_t {
  kLineAccepted = 300,
  kKeyWithoutValue = 301,
  kEmptyKey = 302,
  kInvalidKey = 303,
  kInvalidValue = 304,
  kInvalidComment = 305,
};

class IParserCursor {
 public:
  virtual ~IParserCursor() = default;
};

// A line's position: its 0-based index and the 0-based byte offset of its first
// non-blank character. Every report about a line carries that same column.
class Cursor : public IParserCursor {
 public:
  Cursor(uint32_t line, uint32_t column) : line(line), column(column) {}
  uint32_t line;
  uint32_t column;
};

class IParserErrorListener {
 public:
  virtual ~IParserErrorListener() = default;
  virtual void onError(const IParserCursor& cursor, const char* message) = 0;
};

// Counts the errors it hears and passes each on to an optional inner listener.
class ParserErrorCounter : public IParserErrorListener {
 public:
  explicit ParserErrorCounter(IParserErrorListener* inner) : inner_(inner) {}
  void onError(const IParserCursor& cursor, const char* message) override {
    ++count_;
    if (inner_) inner_->onError(cursor, message);
  }
  uint32_t count() const { return count_; }

 private:
  uint32_t count_ = 0;
  IParserErrorListener* inner_;
};

class IConfigParserCallback {
 public:
  virtual ~IConfigParserCallback() = default;
  // True accepts the comment.
  virtual bool onComment(const IParserCursor& cursor, const char* comment) = 0;
  // `value` is null for a key written without a value. Returns a LineStatus.
  virtual int32_t onEntry(const IParserCursor& cursor, const char* key, const char* value) = 0;
  virtual void onError(const IParserCursor& cursor, int32_t status) = 0;
};

class IConfigParser {
 public:
  virtual ~IConfigParser() = default;
  // None of these objects is owned by the parser.
  virtual void setValidator(const ConfigValidator* validator) = 0;
  virtual void setKeyMapper(const IKeyMapper* keyMapper) = 0;
  virtual void setErrorListener(IParserErrorListener* listener) = 0;
  virtual void setStopOnError(bool stop) = 0;
  virtual void setAllowKeysWithoutValue(bool allow) = 0;
  // The configuration read, or null when a faulty line stopped the parse.
  virtual std::unique_ptr<IConfig> parse() = 0;
};

class IConfigEntrySerializer {
 public:
  virtual ~IConfigEntrySerializer() = default;
  virtual void writeKey(const char* key) = 0;
  virtual void writeEntry(const char* key, const char* value) = 0;
};

// The report text for a line status: "Empty key", "Invalid value", ...
const char* lineStatusText(int32_t status);

}  // namespace settings_reference
