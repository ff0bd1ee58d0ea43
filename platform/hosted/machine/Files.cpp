#include "platform/hosted/machine/Files.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/hosted/machine/Changes.h"
#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Security.h"
#include "platform/hosted/machine/Text.h"

namespace hosted {

namespace {

constexpr uint32_t kDelete = 0x00010000;  // DELETE
constexpr uint32_t kReads = GENERIC_READ | GENERIC_ALL | 0x0001 /* FILE_READ_DATA */;
constexpr uint32_t kWrites = GENERIC_WRITE | GENERIC_ALL | 0x0002 /* FILE_WRITE_DATA */ | 0x0004 /* APPEND */;

// The file handles of this run, for the sharing checks between them.
std::vector<const FileObject*>& openFiles() {
  static std::vector<const FileObject*> files;
  return files;
}

bool sameObject(const FileObject* file, const struct stat& st) {
  return file->device == st.st_dev && file->inode == st.st_ino;
}

// Descriptors of files a handle emptied, kept open (unlocked) a while after the handle
// closed. Linux's ext4 starts writing a file out as soon as its last descriptor closes
// when it was truncated to nothing, and truncating it again waits for that write: a
// program that rewrites a file whole, handle after handle, would wait for the disk each
// time. Still open, the file is written lazily, as any other. Every close of such a file
// starts its write, whichever descriptor it is, so they all stay, up to a bound.
constexpr size_t kLingering = 64;
std::vector<int>& lingering() {
  static std::vector<int> fds;
  return fds;
}

// The libraries this run has mapped, once per load.
std::vector<FileId>& loadedImages() {
  static std::vector<FileId> images;
  return images;
}

}  // namespace

void closeLingeringFiles() {
  for (int fd : lingering()) ::close(fd);
  lingering().clear();
}

std::optional<FileId> fileIdOf(const std::filesystem::path& host) {
  struct stat st{};
  if (::stat(host.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

bool isMappedImage(const std::filesystem::path& host) {
  auto id = fileIdOf(host);
  if (!id) return false;
  const auto& loaded = loadedImages();
  if (std::find(loaded.begin(), loaded.end(), *id) != loaded.end()) return true;
  for (const HostedProcess& process : machine().processes().processes()) {
    const auto& files = process.mappedFiles;
    if (std::find(files.begin(), files.end(), *id) != files.end()) return true;
  }
  return false;
}

void imageLoaded(const FileId& image) { loadedImages().push_back(image); }

void imageUnloaded(const FileId& image) {
  auto& loaded = loadedImages();
  auto it = std::find(loaded.begin(), loaded.end(), image);
  if (it != loaded.end()) loaded.erase(it);
}

FileObject::FileObject(int fd, std::string windowsPath, std::filesystem::path hostPath, uint32_t access,
                       uint32_t share)
    : fd(fd), windowsPath(std::move(windowsPath)), hostPath(std::move(hostPath)), access(access), share(share) {
  struct stat st{};
  if (fd >= 0 && ::fstat(fd, &st) == 0) {
    device = st.st_dev;
    inode = st.st_ino;
  }
  openFiles().push_back(this);
}

FileObject::~FileObject() {
  auto& files = openFiles();
  files.erase(std::remove(files.begin(), files.end(), this), files.end());
  if (fd < 0) return;
  if (!emptied) {
    ::close(fd);
    return;
  }
  ::flock(fd, LOCK_UN);  // the handle's sharing mode ends with it
  auto& fds = lingering();
  if (fds.size() == kLingering) {
    ::close(fds.front());
    fds.erase(fds.begin());
  }
  fds.push_back(fd);
}

bool lockForSharing(int fd, bool writes, bool deniesWrite, bool deniesRead) {
  int lock = 0;
  if (writes && deniesWrite) lock = LOCK_EX;
  else if (writes || deniesWrite || deniesRead) lock = LOCK_SH;
  return lock == 0 || ::flock(fd, lock | LOCK_NB) == 0;
}

bool sharingAllows(const std::filesystem::path& host, uint32_t access, uint32_t share) {
  struct stat st{};
  if (::lstat(host.c_str(), &st) != 0) return true;
  // Only data and delete access take part; an open for attributes alone meets no one.
  for (const FileObject* other : openFiles()) {
    if (!sameObject(other, st)) continue;
    if ((access & kReads) && !(other->share & FILE_SHARE_READ)) return false;
    if ((access & kWrites) && !(other->share & FILE_SHARE_WRITE)) return false;
    if ((access & kDelete) && !(other->share & FILE_SHARE_DELETE)) return false;
    if ((other->access & kReads) && !(share & FILE_SHARE_READ)) return false;
    if ((other->access & kWrites) && !(share & FILE_SHARE_WRITE)) return false;
    if ((other->access & kDelete) && !(share & FILE_SHARE_DELETE)) return false;
  }
  return true;
}

bool deletionAllowed(const std::filesystem::path& host) { return sharingAllows(host, kDelete, ~0u); }

void* createFileUtf8(const std::string& path, uint32_t access, uint32_t share, const void* security,
                     uint32_t disposition, uint32_t flags);

void* createFile(const std::string& path, uint32_t access, uint32_t share, const void* security,
                 uint32_t disposition, uint32_t flags) {
  return createFileUtf8(ansiToUtf8(path), access, share, security, disposition, flags);
}

void* createFile(const std::wstring& path, uint32_t access, uint32_t share, const void* security,
                 uint32_t disposition, uint32_t flags) {
  return createFileUtf8(wideToUtf8(path), access, share, security, disposition, flags);
}

void* createFileUtf8(const std::string& path, uint32_t access, uint32_t share, const void* security,
                     uint32_t disposition, uint32_t flags) {
  auto fail = [](DWORD error) {
    setLastError(error);
    return INVALID_HANDLE_VALUE;
  };
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  uint32_t error = 0;
  bool openLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
  auto resolved = resolveUtf8Path(path, &error, !openLink);
  if (!resolved) return fail(error);
  if (!resolved->parentExists) return fail(ERROR_PATH_NOT_FOUND);

  bool writes = (access & kWrites) != 0;
  bool existed = resolved->exists;
  struct stat st{};
  if (existed && ::lstat(resolved->host.c_str(), &st) != 0) existed = false;
  if (existed) {
    if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(st.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) return fail(ERROR_ACCESS_DENIED);
    // A junction is a directory to Windows: opening it needs backup semantics too.
    if (S_ISLNK(st.st_mode) && linkKind(resolved->host) == LinkKind::Junction &&
        !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
      return fail(ERROR_ACCESS_DENIED);
    }
    // The host runs us as root, which ignores mode bits; read-only is Windows' rule here.
    if (writes && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return fail(ERROR_ACCESS_DENIED);
    if (!sharingAllows(resolved->host, access, share)) return fail(ERROR_SHARING_VIOLATION);
    // A mapped image may be read, never written.
    if (writes && S_ISREG(st.st_mode) && isMappedImage(resolved->host)) return fail(ERROR_SHARING_VIOLATION);
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    return fail(ERROR_FILE_NOT_FOUND);
  }

  int fd;
  if (existed && S_ISLNK(st.st_mode)) {
    fd = ::open(resolved->host.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  } else if (existed && S_ISDIR(st.st_mode)) {
    fd = ::open(resolved->host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } else {
    int mode = writes ? ((access & kReads) ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (!existed || (writes && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING))) beforeChange();
    if (!existed) hosted::forgetResolvedPaths(resolved->host);
    fd = ::open(resolved->host.c_str(), mode | O_CLOEXEC | O_NOFOLLOW | (existed ? 0 : O_CREAT | O_EXCL), 0644);
  }
  if (fd < 0) return fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
  // Towards other processes the host lock stands for the sharing mode; between this
  // run's handles the exact check above has decided already.
  bool alreadyOpenHere = existed && std::any_of(openFiles().begin(), openFiles().end(),
                                                [&](const FileObject* f) { return sameObject(f, st); });
  if (!S_ISLNK(st.st_mode) && !alreadyOpenHere &&
      !lockForSharing(fd, writes, !(share & FILE_SHARE_WRITE), !(share & FILE_SHARE_READ))) {
    ::close(fd);
    if (!existed) ::unlink(resolved->host.c_str());
    return fail(ERROR_SHARING_VIOLATION);
  }
  if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && S_ISREG(st.st_mode)) {
    if (::ftruncate(fd, 0) != 0) {
      ::close(fd);
      return fail(ERROR_ACCESS_DENIED);
    }
  }
  if (!existed && security) {
    if (auto sddl = decodeSecurityDescriptor(security)) recordSecurity(resolved->windows, *sddl);
  }
  auto object = std::make_shared<FileObject>(fd, resolved->windows, resolved->host, access, share);
  object->emptied =
      existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && S_ISREG(st.st_mode);
  HANDLE handle = machine().handles().add(std::move(object));
  // Opening what already exists with these dispositions succeeds and says so.
  setLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                         : ERROR_SUCCESS);
  return handle;
}

std::optional<std::string> linkText(const std::filesystem::path& host) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(std::filesystem::symlink_status(host, ec))) return std::nullopt;
  auto target = std::filesystem::read_symlink(host, ec);
  if (ec) return std::nullopt;
  return target.string();
}

LinkKind linkKind(const std::filesystem::path& host) {
  auto text = linkText(host);
  if (!text) return LinkKind::None;
  return text->rfind("\\??\\", 0) == 0 ? LinkKind::Junction : LinkKind::FileSymlink;
}

uint32_t attributesOf(const std::filesystem::path& host) {
  struct stat st{};
  if (::lstat(host.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  if (S_ISLNK(st.st_mode)) {
    return linkKind(host) == LinkKind::Junction ? FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT
                                                : FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;
  }
  uint32_t attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

}  // namespace hosted
