// The process-wide diagnostic log: zusched.log in the user's temporary directory.
//
// Every record is appended by opening the file with deny-write sharing, writing and
// closing it again, so that writers in this and other processes take turns; a record
// that cannot be written after ten attempts a millisecond apart is dropped. Logging
// never throws for a file problem.
//
// The records are text in the ANSI code page, as the program's narrow strings are, so a
// log reads as every earlier one did. A character the code page cannot hold, which only
// text the program keeps wide can carry (a shortcut named in another script), appears as
// <U+XXXX> (tstrings::toAnsiText): readable, and never part of a Windows path.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "common/share/SourceLocation.h"

enum class LogLevel : int32_t { Trace = 0, Info = 1, Warning = 2, Error = 3 };

// "TRACE", "INFO", "WARNING", "ERROR", or "UNKNOWN" for any other value.
const char* logLevelName(LogLevel level);

class Logger {
 public:
  // The process's logger, built on first use: the log in the temporary directory,
  // named after the executable.
  static Logger& instance();

  // A logger writing to `path` (an empty path writes nothing) as process `processName`.
  Logger(std::string path, std::string processName);

  bool isEnabled(LogLevel level) const { return static_cast<int32_t>(level) >= threshold_; }

  // Writes one record. `file` is the caller's source path (the record shows its base
  // name); `function` the caller's function name.
  void write(LogLevel level, const char* file, uint32_t line, const char* function, const std::string& message);
  void write(LogLevel level, const char* file, uint32_t line, const char* function, const char* message);
  void write(LogLevel level, const char* file, uint32_t line, const char* function,
             const std::ostringstream& message);

  const std::string& path() const { return path_; }

  // The text of one record, as written before line ends become CR LF.
  std::string formatRecord(LogLevel level, const char* file, uint32_t line, const char* function,
                           const std::string& message) const;

 private:
  int32_t threshold_ = static_cast<int32_t>(LogLevel::Trace);
  std::string path_;
  std::string processName_;
};

// Writes "Entering NAME" when constructed and "Exiting NAME (entered at FILE:LINE)"
// with line 0 when destroyed, at the given level.
class LogScope {
 public:
  LogScope(Logger& logger, LogLevel level, const char* file, uint32_t line, const char* function,
           std::string tracedName);
  ~LogScope();
  LogScope(const LogScope&) = delete;
  LogScope& operator=(const LogScope&) = delete;

 private:
  Logger& logger_;
  LogLevel level_;
  bool enabled_;
  std::string file_;
  uint32_t line_;
  std::string function_;
  std::string tracedName_;
};

#define ZU_LOG(level, message)                                                        \
  do {                                                                                \
    Logger& zuLogger_ = Logger::instance();                                           \
    if (zuLogger_.isEnabled(level)) zuLogger_.write((level), __FILE__, __LINE__, ZU_FUNCTION, (message)); \
  } while (0)

// Composes the message with << only when the level is enabled.
#define ZU_LOG_STREAM(level, parts)                                                   \
  do {                                                                                \
    Logger& zuLogger_ = Logger::instance();                                           \
    if (zuLogger_.isEnabled(level)) {                                                 \
      std::ostringstream zuMessage_;                                                  \
      zuMessage_ << parts;                                                            \
      zuLogger_.write((level), __FILE__, __LINE__, ZU_FUNCTION, zuMessage_);         \
    }                                                                                 \
  } while (0)

// Writes one record under `where`: for helpers that log on their caller's behalf, so
// that the record names the caller's file, line and function, not the helper's.
void logAt(LogLevel level, const SourceLocation& where, const std::string& message);

#define LOG_TRACE(message) ZU_LOG(LogLevel::Trace, message)
#define LOG_INFO(message) ZU_LOG(LogLevel::Info, message)
#define LOG_WARNING(message) ZU_LOG(LogLevel::Warning, message)
#define LOG_ERROR(message) ZU_LOG(LogLevel::Error, message)

#define ZU_CONCAT_INNER(a, b) a##b
#define ZU_CONCAT(a, b) ZU_CONCAT_INNER(a, b)
// Traces the enclosing scope under `name`.
#define ZU_LOG_SCOPE(level, name) \
  LogScope ZU_CONCAT(zuScope_, __LINE__)(Logger::instance(), (level), __FILE__, __LINE__, ZU_FUNCTION, (name))
