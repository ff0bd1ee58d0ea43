#include "platform/hosted/machine/TempFiles.h"

#include <windows.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Paths.h"

namespace hosted {

std::string tempFileName(const std::string& dir, const std::string& prefix, uint32_t unique) {
  char number[8];
  std::snprintf(number, sizeof number, "%X", unique & 0xFFFFu);
  std::string path = dir;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  return path + prefix.substr(0, 3) + number + ".tmp";
}

uint32_t createTempFile(const std::string& dir, const std::string& prefix, uint32_t start, std::string* name,
                        uint32_t* error) {
  uint32_t failure = 0;
  auto folder = resolvePath(dir, &failure, true);
  std::error_code ec;
  if (!folder || !folder->exists || !std::filesystem::is_directory(folder->host, ec)) {
    *error = ERROR_DIRECTORY;
    return 0;
  }
  uint32_t unique = start & 0xFFFFu;
  for (uint32_t tried = 0; tried < 0xFFFFu; ++tried, unique = (unique + 1) & 0xFFFFu) {
    if (unique == 0) unique = 1;
    std::string candidate = tempFileName(dir, prefix, unique);
    auto resolved = resolvePath(candidate, &failure);
    if (!resolved) {
      *error = failure;
      return 0;
    }
    if (resolved->exists) continue;
    beforeChange();
    hosted::forgetResolvedPaths(resolved->host);
    int fd = ::open(resolved->host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      *error = ERROR_ACCESS_DENIED;
      return 0;
    }
    ::close(fd);
    *name = candidate;
    return unique;
  }
  *error = ERROR_FILE_EXISTS;
  return 0;
}

}  // namespace hosted
