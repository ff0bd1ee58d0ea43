// Files of the machine: the kernel object behind a file HANDLE, Windows sharing
// modes, and what a host entry looks like to Windows (attributes, links).
//
// Sharing is checked exactly as Windows does between the handles of this run; host
// advisory locks stand for it towards other processes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "platform/hosted/machine/Handles.h"

namespace hosted {

struct FileObject : HandleObject {
  FileObject(int fd, std::string windowsPath, std::filesystem::path hostPath, uint32_t access, uint32_t share);
  ~FileObject() override;
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;

  int fd;                          // the host descriptor, owned
  std::string windowsPath;         // as resolved
  std::filesystem::path hostPath;  // where it was opened
  uint32_t access;                 // GENERIC_READ / GENERIC_WRITE / GENERIC_ALL / DELETE bits
  uint32_t share;                  // FILE_SHARE_* bits
  dev_t device = 0;
  ino_t inode = 0;
  bool emptied = false;  // truncated when opened: its descriptor lingers after the handle
};

// Closes the descriptors closed handles of emptied files left open (when the machine
// is unloaded).
void closeLingeringFiles();

// Takes the lock that stands for a Windows sharing mode on an open host descriptor:
// exclusive for a writer that denies writing to others, shared for any other writer
// and for a reader that denies writing. False when another process's handle forbids it.
bool lockForSharing(int fd, bool writes, bool deniesWrite, bool deniesRead);

// Whether a new open of the host object `host` with `access` and `share` is compatible
// with every handle of this run open on the same object, by Windows' rules.
bool sharingAllows(const std::filesystem::path& host, uint32_t access, uint32_t share);
// Whether the object may be deleted or renamed now: every open handle on it shares
// deletion.
bool deletionAllowed(const std::filesystem::path& host);

// CreateFile on the machine, for a path in the ANSI code page (or, in the wide form,
// as the program gave it). Returns the handle or
// INVALID_HANDLE_VALUE with the thread's last error set. A security descriptor in
// `security` is recorded for a file the call creates.
void* createFile(const std::string& path, uint32_t access, uint32_t share, const void* security,
                 uint32_t disposition, uint32_t flags);
void* createFile(const std::wstring& path, uint32_t access, uint32_t share, const void* security,
                 uint32_t disposition, uint32_t flags);

// The two kinds of link the machine holds, both host symbolic links that the layer
// never follows on the host: a junction's text is "\??\" and its Windows target, a
// file symbolic link's text is its Windows target.
enum class LinkKind { None, Junction, FileSymlink };
LinkKind linkKind(const std::filesystem::path& host);
// The link's text as the host keeps it, in UTF-8.
std::optional<std::string> linkText(const std::filesystem::path& host);

// Images mapped by a running program: the image and modules of a process of
// machine.json (by the file they named when the machine was loaded), or a library this
// run loaded and has not freed. Windows will not delete such a file
// (ERROR_ACCESS_DENIED) nor open it for writing (ERROR_SHARING_VIOLATION); renaming it
// and scheduling its deletion at restart are allowed. `host` is followed if a link.
bool isMappedImage(const std::filesystem::path& host);
// A file as the host knows it whatever its name: its device and inode.
using FileId = std::pair<uint64_t, uint64_t>;
// The file `host` names (links followed); nothing when there is none.
std::optional<FileId> fileIdOf(const std::filesystem::path& host);
// This run mapped the library `image` (LoadLibrary), or unmapped it again.
void imageLoaded(const FileId& image);
void imageUnloaded(const FileId& image);

// The Windows attributes of a host entry, without following a last link;
// INVALID_FILE_ATTRIBUTES when there is none.
uint32_t attributesOf(const std::filesystem::path& host);

}  // namespace hosted
