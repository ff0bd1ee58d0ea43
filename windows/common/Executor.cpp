#include "windows/common/Executor.h"

#include "common/share/Errors.h"
#include "common/share/tstrings.h"
#include "windows/common/Logger.h"

namespace {

constexpr DWORD kHidden = 1;
constexpr DWORD kPipeTimeoutMs = 1000;

// "%s failed with %s" at ERROR, with the system's description of `error`.
#define LOG_FAILURE(operation, error) \
  LOG_ERROR(tstrings::format("%s failed with %s", (operation), systemErrorText(error).c_str()))

}  // namespace

Executor::Executor(const std::string& applicationPath) {
  std::string path = tstrings::trim(applicationPath);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  if (path.empty()) {
    LOG_ERROR("Executor: applicationPath is empty");
    throw ExecutorError("applicationPath is empty");
  }
  applicationPath_ = path;
  commandLine_ = "\"" + applicationPath_ + "\"";
}

void Executor::setArguments(const std::string& text) {
  arguments_ = tstrings::trim(text);
  if (arguments_.empty()) return;
  size_t at = arguments_.find(applicationPath_);
  if (at == 0) {
    commandLine_ += arguments_.substr(applicationPath_.size());
  } else if (at == 1 && arguments_.front() == '"') {
    commandLine_ = arguments_;
  } else {
    commandLine_ += " " + arguments_;
  }
}

bool Executor::startExecution() {
  LOG_INFO("Executor.exec(): " + commandLine_);
  startupInfo_ = STARTUPINFOA{};
  startupInfo_.cb = sizeof(startupInfo_);
  processInfo_ = PROCESS_INFORMATION{};
  if (showMode_ == kHidden) {
    startupInfo_.dwFlags |= STARTF_USESHOWWINDOW;
    startupInfo_.wShowWindow = SW_HIDE;
    creationFlags_ = CREATE_NO_WINDOW;
  }
  if (usePipe_) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    ScopedHandle read;
    ScopedHandle write;
    if (CreatePipe(read.receive(), write.receive(), &attributes, 0)) {
      pipeRead_ = std::move(read);
      pipeWrite_ = std::move(write);
      startupInfo_.hStdOutput = pipeWrite_.get();
      startupInfo_.hStdError = pipeWrite_.get();
      startupInfo_.dwFlags |= STARTF_USESTDHANDLES;
      // The child must not hold the read end, or the pipe would never report its end.
      SetHandleInformation(pipeRead_.get(), HANDLE_FLAG_INHERIT, 0);
      inheritHandles_ = TRUE;
      LOG_INFO("Create pipe SUCCESS");
    } else {
      LOG_INFO("Create pipe FAILURE");
    }
  }
  std::vector<char> buffer(commandLine_.begin(), commandLine_.end());
  buffer.push_back('\0');
  started_ = CreateProcessA(applicationPath_.c_str(), buffer.data(), nullptr, nullptr, inheritHandles_,
                            creationFlags_, nullptr, nullptr, &startupInfo_, &processInfo_) != FALSE;
  return started_;
}

DWORD Executor::exec() {
  if (!startExecution()) {
    DWORD error = GetLastError();
    LOG_FAILURE("Executor.exec(): CreateProcess", error);
    return error;
  }
  return finishExecution();
}

DWORD Executor::finishExecution() {
  // The child's handles are closed on every way out.
  ScopedHandle process(processInfo_.hProcess);
  ScopedHandle thread(processInfo_.hThread);
  DWORD code = 0;
  if (processInfo_.hProcess == INVALID_HANDLE_VALUE) {
    code = GetLastError();
    LOG_FAILURE("Executor.finishExecution()", code);
    return code;
  }
  if (!waitForExit_) return 0;

  code = WaitForSingleObject(process.get(), timeoutMs_);
  LOG_INFO("Executor.finishExecution(): WaitForSingleObject exited with code " + std::to_string(code));
  if (code == WAIT_TIMEOUT) {
    LOG_INFO("Executor.finishExecution(): The timeout is elapsed. Terminating Process.");
    TerminateProcess(process.get(), 1);
  } else {
    if (!GetExitCodeProcess(process.get(), &code)) {
      code = GetLastError();
      LOG_FAILURE("Executor.finishExecution(): GetExitCodeProcess()", code);
    }
    LOG_INFO("Executor.finishExecution(): ExitCode = " + std::to_string(code));
    if (code != 0) LOG_FAILURE("Executor.finishExecution(): Process execution ", GetLastError());
  }
  return code;
}

std::vector<char> Executor::readBytesFromPipe() {
  LOG_INFO("Reading from pipe");
  DWORD available = 0;
  if (!pipeRead_.valid() || !PeekNamedPipe(pipeRead_.get(), nullptr, 0, nullptr, &available, nullptr) ||
      available == 0) {
    LOG_INFO("Pipe is empty.");
    return {};
  }
  DWORD size = available < kMaxPipeRead ? available + 1 : kMaxPipeRead;
  std::vector<char> buffer(size);
  DWORD read = 0;
  if (!ReadFile(pipeRead_.get(), buffer.data(), size - 1, &read, nullptr)) {
    LOG_FAILURE("readFromPipe:ReadFile", GetLastError());
    throw ExecutorError("readFromPipe:ReadFile failed");
  }
  buffer.resize(read);
  return buffer;
}

std::string Executor::getUtf8OutputFromPipe() {
  std::vector<char> bytes = readBytesFromPipe();
  if (bytes.empty()) {
    LOG_INFO("return empty string");
    return {};
  }
  return std::string(bytes.begin(), bytes.end());
}

void Executor::closePipe() {
  pipeRead_.reset();
  pipeWrite_.reset();
}

DWORD ExecProcess(const std::string& app, const std::string& args, DWORD showMode, bool* started) {
  try {
    Executor executor(app);
    executor.setArguments(args);
    executor.setShowMode(showMode);
    DWORD code = executor.exec();
    if (started) *started = executor.started();
    executor.closePipe();
    return code;
  } catch (const Executor::ExecutorError& e) {
    LOG_ERROR(std::string("ExecutorError in Executor::ExecProcess ") + e.what());
    return ERROR_FUNCTION_FAILED;
  }
}

DWORD ExecProcessWithPipe(const std::string& app, const std::string& args, std::string& output, bool* started) {
  try {
    Executor executor(app);
    executor.setArguments(args);
    executor.setShowMode(kHidden);
    executor.setWaitForExit(true);
    executor.setTimeout(kPipeTimeoutMs);
    executor.setUsePipe(true);
    DWORD code = executor.exec();
    if (started) *started = executor.started();
    if (code != 0) LOG_FAILURE("ExecProcessWithPipe", code);
    output = executor.getUtf8OutputFromPipe();
    LOG_INFO("ExecProcessWithPipe: output = " + output);
    executor.closePipe();
    return code;
  } catch (const Executor::ExecutorError& e) {
    LOG_ERROR(std::string("ExecutorError in Executor::ExecProcessWithPipe ") + e.what());
    return ERROR_FUNCTION_FAILED;
  }
}
