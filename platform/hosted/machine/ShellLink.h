// Shell links (.lnk files) in the binary format Windows writes: a 0x4C-byte header
// with the shell-link class id, the target as a list of shell items, the link
// information (volume and local path) for a target on a drive, counted UTF-16 strings
// for description, relative path, working directory, arguments and icon location, and
// the closing extra-data block.
//
// The writer produces what the shell-link object saves; the reader takes any file in
// that format apart again, checking every size and offset against the data, so that
// tests and the object's Load can look inside a link.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hosted {

namespace lnk {
inline constexpr uint32_t kHeaderSize = 0x4C;
// The class id 00021401-0000-0000-C000-000000000046 as it is stored.
inline constexpr uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// LinkFlags.
inline constexpr uint32_t kHasLinkTargetIdList = 0x00000001;
inline constexpr uint32_t kHasLinkInfo = 0x00000002;
inline constexpr uint32_t kHasName = 0x00000004;
inline constexpr uint32_t kHasRelativePath = 0x00000008;
inline constexpr uint32_t kHasWorkingDir = 0x00000010;
inline constexpr uint32_t kHasArguments = 0x00000020;
inline constexpr uint32_t kHasIconLocation = 0x00000040;
inline constexpr uint32_t kIsUnicode = 0x00000080;
inline constexpr uint32_t kForceNoLinkInfo = 0x00000100;
inline constexpr uint32_t kHasExpString = 0x00000200;
// LinkInfoFlags.
inline constexpr uint32_t kVolumeIdAndLocalBasePath = 0x1;
inline constexpr uint32_t kCommonNetworkRelativeLinkAndPathSuffix = 0x2;
// LinkInfo header sizes: without and with the offsets of the UTF-16 paths.
inline constexpr uint32_t kLinkInfoHeaderSize = 0x1C;
inline constexpr uint32_t kLinkInfoHeaderSizeUnicode = 0x24;
inline constexpr uint32_t kDriveFixed = 3;
// The extra-data block that holds the target as an expandable string, in the code
// page and in UTF-16 (260 characters each).
inline constexpr uint32_t kEnvironmentVariableDataBlockSize = 0x314;
inline constexpr uint32_t kEnvironmentVariableDataBlockSignature = 0xA0000001;
inline constexpr size_t kEnvironmentTargetChars = 260;
inline constexpr uint32_t kShowNormal = 1;
}  // namespace lnk

// What a link says. Texts are UTF-16 code units, one per wchar_t.
struct ShellLink {
  // A Windows path ("C:\dir\file.exe") or a web address ("https://..."); empty: none.
  std::wstring target;
  std::wstring description;
  std::wstring relativePath;
  std::wstring workingDirectory;
  std::wstring arguments;
  std::wstring iconLocation;
  int32_t iconIndex = 0;
  uint32_t showCommand = lnk::kShowNormal;
  uint16_t hotkey = 0;
  // The target's attributes, times (FILETIME values) and size when the link was made.
  uint32_t fileAttributes = 0;
  uint64_t creationTime = 0;
  uint64_t accessTime = 0;
  uint64_t writeTime = 0;
  uint32_t fileSize = 0;

  bool operator==(const ShellLink&) const = default;
};

// Whether a target is a web address (a scheme of two or more letters and a colon)
// rather than a path; "C:\x" is a path.
bool isUrlTarget(std::wstring_view target);

// The serial number the machine gives the volume of a drive letter.
uint32_t volumeSerial(wchar_t driveLetter);

// The bytes of the .lnk file for `link`. Paths go into the link information in the
// machine's ANSI code page, and also in UTF-16 when the code page cannot hold them.
// A web address is the Internet folder's URI item, and also the expandable target
// string of an environment-variable block: tools that do not read URI items (lnkinfo)
// show it from there, and the shell opens the same address through it.
std::vector<uint8_t> writeShellLink(const ShellLink& link);

// The parts of a .lnk file as the reader found them.
struct ShellLinkLayout {
  uint32_t headerSize = 0;
  uint32_t linkFlags = 0;
  // The shell items of the target id list (each with its 2-byte size), without the
  // terminating empty item; idListSize is the stored size of the list.
  uint16_t idListSize = 0;
  std::vector<std::vector<uint8_t>> idItems;
  struct LinkInfo {
    uint32_t offset = 0;  // of the structure in the file
    uint32_t size = 0;
    uint32_t headerSize = 0;
    uint32_t flags = 0;
    uint32_t volumeIdOffset = 0;
    uint32_t localBasePathOffset = 0;
    uint32_t commonNetworkRelativeLinkOffset = 0;
    uint32_t commonPathSuffixOffset = 0;
    uint32_t localBasePathOffsetUnicode = 0;
    uint32_t commonPathSuffixOffsetUnicode = 0;
    uint32_t volumeIdSize = 0;
    uint32_t driveType = 0;
    uint32_t driveSerialNumber = 0;
    std::string volumeLabel;
    std::string localBasePath;  // ANSI code page
    std::string commonPathSuffix;
    std::wstring localBasePathUnicode;
  };
  std::optional<LinkInfo> linkInfo;
  uint32_t stringDataOffset = 0;
  uint32_t extraDataOffset = 0;
  // The address held by a URI item of the id list, if there is one.
  std::wstring uri;
  // The target of an environment-variable data block, and where that block starts.
  std::wstring environmentTarget;
  uint32_t environmentBlockOffset = 0;
};

struct ReadShellLink {
  ShellLink link;
  ShellLinkLayout layout;
};

// Takes a .lnk file apart. The target comes from the local path of the link
// information, else from the id list (a drive path or a web address). nullopt, with
// the reason in *error, for anything that is not a well-formed link.
std::optional<ReadShellLink> readShellLink(std::span<const uint8_t> bytes, std::string* error = nullptr);

}  // namespace hosted
