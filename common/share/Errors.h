// Error types of the program and the texts that describe operating-system and COM
// errors. Failures travel as exceptions of the standard family; catch sites report
// them through reportException (windows/common/AllUtils.h).
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "common/share/SourceLocation.h"

// A failed operating-system call; the message ends with the system error code.
class SysError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An error of base type E that carries where it was thrown: `what` reads
// "file.cpp(12) at Class::function(): " followed by the base's message.
template <class E>
class ZdsError : public E {
 public:
  ZdsError(const E& base, const SourceLocation& location) : E(base), text_(format(location, base.what())) {}
  ~ZdsError() override = default;
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  static std::string format(const SourceLocation& location, const char* message);
  std::string text_;
};

// The location prefix that ZdsError puts before its base message.
std::string formatErrorLocation(const SourceLocation& location);

template <class E>
std::string ZdsError<E>::format(const SourceLocation& location, const char* message) {
  return formatErrorLocation(location) + message;
}

// Joins two texts: the first without trailing white space, then ". " (or a single
// blank after one of ";.,:!?"), then the second trimmed. No separator is added when
// either side is empty.
std::string joinMessages(const std::string& first, const std::string& second);

// message joined with "System error [code]".
std::string sysErrorText(const std::string& message, DWORD code);

// "system error CODE (description)"; `module` names a message table to search instead
// of the system's.
std::string systemErrorText(DWORD code, HMODULE module = nullptr);

// "COM error 0x%08X (description)"; Win32 errors wrapped in an HRESULT are described
// by their own code.
std::string comErrorText(HRESULT hr);

// Throws ZdsError<SysError> for a failed operating-system call: `message` names the
// operation and its argument and ends in "failed"; the thread's last error is added.
[[noreturn]] void throwSysError(const SourceLocation& location, const std::string& message);

#define ZU_THROW_SYS_ERROR(message) throwSysError(ZU_HERE, (message))
