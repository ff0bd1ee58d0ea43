#include "windows/common/AllUtils.h"

#include "windows/common/Logger.h"

void logit(const std::string& message) { LOG_INFO(message); }

void logit(const char* message) { LOG_INFO(message ? message : ""); }

void reportException(const SourceLocation& location, const std::exception& e) {
  Logger& logger = Logger::instance();
  if (!logger.isEnabled(LogLevel::Error)) return;
  logger.write(LogLevel::Error, location.file, static_cast<uint32_t>(location.line), location.function,
               std::string("Exception with message '") + e.what() + "' caught");
}

void reportUnknownException(const SourceLocation& location) {
  Logger& logger = Logger::instance();
  if (!logger.isEnabled(LogLevel::Error)) return;
  logger.write(LogLevel::Error, location.file, static_cast<uint32_t>(location.line), location.function,
               "Unknown exception caught");
}
