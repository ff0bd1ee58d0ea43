#include "platform/hosted/machine/Children.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include <winerror.h>

#include "platform/hosted/machine/Paths.h"

extern char** environ;

namespace hosted {

namespace {

// The Windows error CreateProcess gives for a host errno of a failed start.
uint32_t startError(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_BAD_EXE_FORMAT;
  }
}

uint32_t statusOf(int status) {
  if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<uint32_t>(WTERMSIG(status));
  return 0;
}

class FileActions {
 public:
  FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~FileActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
};

}  // namespace

uint32_t checkProgram(const std::filesystem::path& host) {
  struct stat info {};
  if (::stat(host.c_str(), &info) != 0) return errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
  if (S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
  if (!S_ISREG(info.st_mode) || ::access(host.c_str(), X_OK) != 0) return ERROR_BAD_EXE_FORMAT;
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  char magic[4] = {};
  ssize_t n;
  do n = ::read(fd, magic, sizeof magic);
  while (n < 0 && errno == EINTR);
  ::close(fd);
  bool script = n >= 2 && magic[0] == '#' && magic[1] == '!';
  bool elf = n == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
  return script || elf ? 0 : ERROR_BAD_EXE_FORMAT;
}

std::vector<std::string> hostEnvironmentWith(const std::string& name, const std::string& value) {
  std::vector<std::string> out;
  const std::string prefix = name + "=";
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, prefix.c_str(), prefix.size()) != 0) out.emplace_back(*entry);
  }
  out.push_back(prefix + value);
  return out;
}

Children::~Children() {
  for (auto& [pid, code] : children_) {
    if (!code) reap(pid, false);
  }
}

std::optional<pid_t> Children::start(const ChildLaunch& launch, uint32_t* error) {
  FileActions actions;
  if (!actions.ok()) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return std::nullopt;
  }
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  if (launch.output >= 0) posix_spawn_file_actions_adddup2(actions.get(), launch.output, 1);
  else posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
  if (launch.errorOutput >= 0) posix_spawn_file_actions_adddup2(actions.get(), launch.errorOutput, 2);
  else posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
  posix_spawn_file_actions_addchdir_np(actions.get(), launch.workingDirectory.c_str());

  std::vector<std::string> argvText;
  argvText.push_back(launch.program.string());
  argvText.insert(argvText.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText = launch.environment;
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  // The child may change the drives: what the layer resolved so far is looked at afresh.
  forgetResolvedPaths();
  int result = posix_spawn(&pid, launch.program.c_str(), actions.get(), nullptr, argv.data(), envp.data());
  if (result != 0) {
    *error = startError(result);
    return std::nullopt;
  }
  children_[pid] = std::nullopt;
  return pid;
}

bool Children::reap(pid_t pid, bool block) {
  auto it = children_.find(pid);
  if (it == children_.end()) return false;
  if (it->second) return true;
  int status = 0;
  pid_t done;
  do done = ::waitpid(pid, &status, block ? 0 : WNOHANG);
  while (done < 0 && errno == EINTR);
  if (done == pid) {
    it->second = statusOf(status);
    return true;
  }
  if (done < 0) {
    // Someone else reaped it (the host's SIGCHLD handling); its status is lost.
    it->second = 0;
    return true;
  }
  return false;
}

bool Children::anyRunning() {
  for (const auto& [pid, status] : children_) {
    if (!status && !reap(pid, false)) return true;
  }
  return false;
}

bool Children::wait(pid_t pid, std::optional<std::chrono::milliseconds> timeout,
                    std::chrono::milliseconds* waited) {
  auto begin = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
  };
  bool ended = reap(pid, false);
  if (!ended) {
    // A pidfd becomes readable when the process ends; without one, poll its state.
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    while (!ended) {
      int left = -1;
      if (timeout) {
        auto remaining = *timeout - elapsed();
        if (remaining.count() <= 0) break;
        left = static_cast<int>(std::min<std::chrono::milliseconds::rep>(remaining.count(), 1 << 30));
      }
      if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        ::poll(&p, 1, left);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(left < 0 ? 5 : std::min(left, 5)));
      }
      ended = reap(pid, false);
    }
    if (pidfd >= 0) ::close(pidfd);
  }
  if (waited) *waited = elapsed();
  return ended;
}

std::optional<uint32_t> Children::exitCode(pid_t pid) {
  if (!reap(pid, false)) return std::nullopt;
  return children_[pid];
}

bool Children::terminate(pid_t pid, uint32_t code) {
  if (!isChild(pid) || reap(pid, false)) return false;
  ::kill(pid, SIGKILL);
  reap(pid, true);
  children_[pid] = code;
  return true;
}

}  // namespace hosted
