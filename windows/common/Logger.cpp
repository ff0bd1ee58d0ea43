#include "windows/common/Logger.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include "common/share/tstrings.h"

#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr const char* kLogFileName = "zusched.log";

std::string defaultLogPath() { return combinePath(SysInfo::getTempDir(), kLogFileName); }

}  // namespace

const char* logLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Trace: return "TRACE";
    case LogLevel::Info: return "INFO";
    case LogLevel::Warning: return "WARNING";
    case LogLevel::Error: return "ERROR";
  }
  return "UNKNOWN";
}

Logger& Logger::instance() {
  static Logger logger(defaultLogPath(), SysInfo::getProcessName());
  return logger;
}

Logger::Logger(std::string path, std::string processName)
    : path_(std::move(path)), processName_(std::move(processName)) {}

std::string Logger::formatRecord(LogLevel level, const char* file, uint32_t line, const char* function,
                                 const std::string& message) const {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string header = tstrings::format(
      "[%04u/%02u/%02u %02u:%02u:%02u.%03u, %s (PID: %u, TID: %u), %s:%u (%s)]\n\t%s: ", now.wYear, now.wMonth,
      now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, processName_.c_str(),
      static_cast<unsigned>(GetCurrentProcessId()), static_cast<unsigned>(GetCurrentThreadId()),
      basename(std::string(file ? file : "")).c_str(), static_cast<unsigned>(line), function ? function : "",
      logLevelName(level));
  return header + message + "\n";
}

void Logger::write(LogLevel level, const char* file, uint32_t line, const char* function,
                   const std::string& message) {
  if (path_.empty()) return;
  std::string record = formatRecord(level, file, line, function, message);
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    int fd = _sopen(path_.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT, _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (fd != -1) {
      _write(fd, record.data(), static_cast<unsigned int>(record.size()));
      _close(fd);
      return;
    }
    if (attempt < kOpenAttempts) Sleep(1);
  }
}

void Logger::write(LogLevel level, const char* file, uint32_t line, const char* function, const char* message) {
  write(level, file, line, function, std::string(message ? message : ""));
}

void Logger::write(LogLevel level, const char* file, uint32_t line, const char* function,
                   const std::ostringstream& message) {
  write(level, file, line, function, message.str());
}

LogScope::LogScope(Logger& logger, LogLevel level, const char* file, uint32_t line, const char* function,
                   std::string tracedName)
    : logger_(logger),
      level_(level),
      enabled_(logger.isEnabled(level)),
      file_(file ? file : ""),
      line_(line),
      function_(function ? function : ""),
      tracedName_(std::move(tracedName)) {
  if (enabled_) logger_.write(level_, file_.c_str(), line_, function_.c_str(), "Entering " + tracedName_);
}

LogScope::~LogScope() {
  if (!enabled_) return;
  std::string message =
      "Exiting " + tracedName_ + " (entered at " + basename(file_) + ":" + std::to_string(line_) + ")";
  logger_.write(level_, file_.c_str(), 0, function_.c_str(), message);
}

void logAt(LogLevel level, const SourceLocation& where, const std::string& message) {
  Logger& logger = Logger::instance();
  if (logger.isEnabled(level)) {
    logger.write(level, where.file, static_cast<uint32_t>(where.line), where.function, message);
  }
}
