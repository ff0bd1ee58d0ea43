#include "platform/hosted/machine/ShellLink.h"

#include <cwctype>
#include <ctime>

#include "platform/hosted/machine/Text.h"

namespace hosted {

namespace {

// Shell folder ids of the roots a target id list starts from, as stored.
constexpr uint8_t kMyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                          0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
constexpr uint8_t kInternetClsid[16] = {0x80, 0x53, 0x1C, 0x87, 0xA0, 0x42, 0x69, 0x10,
                                        0xA2, 0xEA, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
// Shell item class types.
constexpr uint8_t kRootFolderItem = 0x1F;
constexpr uint8_t kVolumeItem = 0x2F;
constexpr uint8_t kDirectoryItem = 0x31;
constexpr uint8_t kFileItem = 0x32;
constexpr uint8_t kUriItem = 0x61;
constexpr uint8_t kSortMyComputer = 0x50;
constexpr uint8_t kSortInternet = 0x68;
constexpr uint8_t kUriUnicode = 0x80;
// A volume item holds the drive text padded to this many bytes after its type.
constexpr size_t kVolumeNameSize = 22;
constexpr uint32_t kFileAttributeDirectory = 0x10;

class Writer {
 public:
  void u8(uint8_t v) { bytes_.push_back(v); }
  void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  void u64(uint64_t v) {
    u32(static_cast<uint32_t>(v));
    u32(static_cast<uint32_t>(v >> 32));
  }
  void raw(const uint8_t* data, size_t size) { bytes_.insert(bytes_.end(), data, data + size); }
  void raw(const std::vector<uint8_t>& data) { raw(data.data(), data.size()); }
  void ansiz(const std::string& text) {
    raw(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    u8(0);
  }
  void utf16(std::wstring_view text) {
    for (wchar_t c : text) u16(static_cast<uint16_t>(c));
  }
  void utf16z(std::wstring_view text) {
    utf16(text);
    u16(0);
  }
  void put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void put16(size_t at, uint16_t v) {
    bytes_[at] = static_cast<uint8_t>(v);
    bytes_[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

bool isDrivePath(std::wstring_view path) {
  return path.size() >= 3 && std::iswalpha(static_cast<wint_t>(path[0])) && path[1] == L':' &&
         (path[2] == L'\\' || path[2] == L'/');
}

std::vector<std::wstring> pathComponents(std::wstring_view path) {
  std::vector<std::wstring> parts;
  std::wstring current;
  for (wchar_t c : path.substr(3)) {
    if (c == L'\\' || c == L'/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// A FILETIME as the FAT date (low word) and time (high word) shell items keep; 0 for
// times before 1980 or not known.
uint32_t fatDateTime(uint64_t fileTime) {
  constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
  if (fileTime < kUnixEpochAsFileTime) return 0;
  std::time_t seconds = static_cast<std::time_t>((fileTime - kUnixEpochAsFileTime) / 10000000ULL);
  std::tm utc{};
  if (!gmtime_r(&seconds, &utc) || utc.tm_year < 80 || utc.tm_year > 80 + 127) return 0;
  uint32_t date = (static_cast<uint32_t>(utc.tm_year - 80) << 9) | (static_cast<uint32_t>(utc.tm_mon + 1) << 5) |
                  static_cast<uint32_t>(utc.tm_mday);
  uint32_t time = (static_cast<uint32_t>(utc.tm_hour) << 11) | (static_cast<uint32_t>(utc.tm_min) << 5) |
                  static_cast<uint32_t>(utc.tm_sec / 2);
  return date | (time << 16);
}

void rootItem(Writer& out, uint8_t sortIndex, const uint8_t (&clsid)[16]) {
  out.u16(20);
  out.u8(kRootFolderItem);
  out.u8(sortIndex);
  out.raw(clsid, sizeof clsid);
}

// The id list of a path on a drive: My Computer, the volume, then one item per folder
// and one for the target itself. Names are in the code page (no short names exist on
// the machine, so the primary name is the name itself).
void driveIdList(Writer& out, const ShellLink& link) {
  rootItem(out, kSortMyComputer, kMyComputerClsid);
  std::string volume = wideToAnsi(link.target.substr(0, 2)) + "\\";
  volume[0] = asciiUpper(volume[0]);
  out.u16(static_cast<uint16_t>(3 + kVolumeNameSize));
  out.u8(kVolumeItem);
  out.raw(reinterpret_cast<const uint8_t*>(volume.data()), volume.size());
  for (size_t i = volume.size(); i < kVolumeNameSize; ++i) out.u8(0);

  std::vector<std::wstring> parts = pathComponents(link.target);
  for (size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    bool directory = !last || (link.fileAttributes & kFileAttributeDirectory) != 0;
    std::string name = wideToAnsi(parts[i]);
    size_t start = out.size();
    out.u16(0);  // size, filled in below
    out.u8(directory ? kDirectoryItem : kFileItem);
    out.u8(0);
    out.u32(last ? link.fileSize : 0);
    out.u32(last ? fatDateTime(link.writeTime) : 0);
    out.u16(static_cast<uint16_t>(last ? link.fileAttributes : kFileAttributeDirectory));
    out.ansiz(name);
    if ((out.size() - start) % 2) out.u8(0);
    out.put16(start, static_cast<uint16_t>(out.size() - start));
  }
}

// The id list of a web address: the Internet folder and one URI item holding the
// address in UTF-16.
void urlIdList(Writer& out, const ShellLink& link) {
  rootItem(out, kSortInternet, kInternetClsid);
  size_t start = out.size();
  out.u16(0);
  out.u8(kUriItem);
  out.u8(kUriUnicode);
  out.u16(0);  // no further data before the address
  out.utf16z(link.target);
  out.put16(start, static_cast<uint16_t>(out.size() - start));
}

void linkInfo(Writer& out, const ShellLink& link) {
  bool lossy = false;
  std::string path = wideToAnsi(link.target, &lossy);
  uint32_t headerSize = lossy ? lnk::kLinkInfoHeaderSizeUnicode : lnk::kLinkInfoHeaderSize;
  const std::string label;  // the machine's volumes have no labels
  uint32_t volumeIdSize = 16 + static_cast<uint32_t>(label.size() + 1);
  uint32_t volumeIdOffset = headerSize;
  uint32_t localBasePathOffset = volumeIdOffset + volumeIdSize;
  uint32_t commonPathSuffixOffset = localBasePathOffset + static_cast<uint32_t>(path.size() + 1);
  uint32_t end = commonPathSuffixOffset + 1;
  uint32_t localBasePathOffsetUnicode = 0;
  uint32_t commonPathSuffixOffsetUnicode = 0;
  if (lossy) {
    localBasePathOffsetUnicode = end;
    commonPathSuffixOffsetUnicode = localBasePathOffsetUnicode + static_cast<uint32_t>(2 * (link.target.size() + 1));
    end = commonPathSuffixOffsetUnicode + 2;
  }
  out.u32(end);
  out.u32(headerSize);
  out.u32(lnk::kVolumeIdAndLocalBasePath);
  out.u32(volumeIdOffset);
  out.u32(localBasePathOffset);
  out.u32(0);  // no network location
  out.u32(commonPathSuffixOffset);
  if (lossy) {
    out.u32(localBasePathOffsetUnicode);
    out.u32(commonPathSuffixOffsetUnicode);
  }
  out.u32(volumeIdSize);
  out.u32(lnk::kDriveFixed);
  out.u32(volumeSerial(link.target[0]));
  out.u32(16);  // the label follows the four fields
  out.ansiz(label);
  out.ansiz(path);
  out.ansiz("");
  if (lossy) {
    out.utf16z(link.target);
    out.utf16z(L"");
  }
}

void environmentBlock(Writer& out, const std::wstring& target) {
  std::wstring text = target.substr(0, lnk::kEnvironmentTargetChars - 1);
  std::string ansi = wideToAnsi(text);
  out.u32(lnk::kEnvironmentVariableDataBlockSize);
  out.u32(lnk::kEnvironmentVariableDataBlockSignature);
  out.raw(reinterpret_cast<const uint8_t*>(ansi.data()), ansi.size());
  for (size_t i = ansi.size(); i < lnk::kEnvironmentTargetChars; ++i) out.u8(0);
  out.utf16(text);
  for (size_t i = text.size(); i < lnk::kEnvironmentTargetChars; ++i) out.u16(0);
}

// A count of UTF-16 units and the units; a count holds 16 bits, so a longer text is cut
// rather than leaving a count that disagrees with the data.
void countedString(Writer& out, const std::wstring& text) {
  std::wstring_view units = std::wstring_view(text).substr(0, 0xFFFF);
  out.u16(static_cast<uint16_t>(units.size()));
  out.utf16(units);
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool has(size_t at, size_t count) const { return at <= bytes_.size() && count <= bytes_.size() - at; }
  uint16_t u16(size_t at) const { return static_cast<uint16_t>(bytes_[at] | (bytes_[at + 1] << 8)); }
  uint32_t u32(size_t at) const { return static_cast<uint32_t>(u16(at)) | (static_cast<uint32_t>(u16(at + 2)) << 16); }
  uint64_t u64(size_t at) const { return static_cast<uint64_t>(u32(at)) | (static_cast<uint64_t>(u32(at + 4)) << 32); }
  const uint8_t* at(size_t offset) const { return bytes_.data() + offset; }
  // A NUL-terminated byte string within [from, limit); nullopt without its NUL.
  std::optional<std::string> ansiz(size_t from, size_t limit) const {
    for (size_t i = from; i < limit && i < bytes_.size(); ++i) {
      if (bytes_[i] == 0) return std::string(reinterpret_cast<const char*>(at(from)), i - from);
    }
    return std::nullopt;
  }
  std::optional<std::wstring> utf16z(size_t from, size_t limit) const {
    std::wstring text;
    for (size_t i = from; i + 1 < limit && i + 1 < bytes_.size(); i += 2) {
      uint16_t c = u16(i);
      if (c == 0) return text;
      text += static_cast<wchar_t>(c);
    }
    return std::nullopt;
  }
  size_t size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

std::nullopt_t fail(std::string* error, const char* reason) {
  if (error) *error = reason;
  return std::nullopt;
}

// The target a drive id list names: the volume item's drive and the names of the
// file items after it.
std::wstring targetFromDriveItems(const std::vector<std::vector<uint8_t>>& items) {
  std::wstring path;
  for (const auto& item : items) {
    if (item.size() < 3) continue;
    uint8_t type = item[2];
    if ((type & 0x70) == 0x20 && item.size() >= 6) {
      std::string drive(reinterpret_cast<const char*>(item.data() + 3), 3);
      path = ansiToWide(drive.substr(0, drive.find('\0')));
    } else if ((type & 0x70) == 0x30 && item.size() > 14 && !path.empty()) {
      const char* name = reinterpret_cast<const char*>(item.data() + 14);
      size_t length = 0;
      while (14 + length < item.size() && name[length]) ++length;
      if (path.back() != L'\\') path += L'\\';
      path += ansiToWide(std::string(name, length));
    }
  }
  return path;
}

}  // namespace

bool isUrlTarget(std::wstring_view target) {
  size_t colon = target.find(L':');
  if (colon == std::wstring_view::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    wchar_t c = target[i];
    bool schemeChar = std::iswalnum(static_cast<wint_t>(c)) || c == L'+' || c == L'-' || c == L'.';
    if (!schemeChar || (i == 0 && !std::iswalpha(static_cast<wint_t>(c)))) return false;
  }
  return true;
}

uint32_t volumeSerial(wchar_t driveLetter) {
  return 0x5A4E0000u | static_cast<uint32_t>(std::towupper(static_cast<wint_t>(driveLetter)) & 0xFF);
}

std::vector<uint8_t> writeShellLink(const ShellLink& link) {
  bool url = isUrlTarget(link.target);
  bool onDrive = !url && isDrivePath(link.target);
  // The id list is built first: its size is a 16-bit count, and a list that would not
  // fit is left out (the link information still names a target on a drive).
  Writer idList;
  if (url) {
    urlIdList(idList, link);
  } else if (onDrive) {
    driveIdList(idList, link);
  }
  idList.u16(0);  // the terminating empty item
  bool idListFits = idList.size() <= 0xFFFF;
  uint32_t flags = lnk::kIsUnicode;
  if ((url || onDrive) && idListFits) flags |= lnk::kHasLinkTargetIdList;
  if (url) flags |= lnk::kHasExpString;
  if (onDrive) flags |= lnk::kHasLinkInfo;
  if (!link.description.empty()) flags |= lnk::kHasName;
  if (!link.relativePath.empty()) flags |= lnk::kHasRelativePath;
  if (!link.workingDirectory.empty()) flags |= lnk::kHasWorkingDir;
  if (!link.arguments.empty()) flags |= lnk::kHasArguments;
  if (!link.iconLocation.empty()) flags |= lnk::kHasIconLocation;

  Writer out;
  out.u32(lnk::kHeaderSize);
  out.raw(lnk::kLinkClsid, sizeof lnk::kLinkClsid);
  out.u32(flags);
  out.u32(link.fileAttributes);
  out.u64(link.creationTime);
  out.u64(link.accessTime);
  out.u64(link.writeTime);
  out.u32(link.fileSize);
  out.u32(static_cast<uint32_t>(link.iconIndex));
  out.u32(link.showCommand);
  out.u16(link.hotkey);
  out.u16(0);
  out.u32(0);
  out.u32(0);

  if (flags & lnk::kHasLinkTargetIdList) {
    out.u16(static_cast<uint16_t>(idList.size()));
    out.raw(idList.bytes());
  }
  if (flags & lnk::kHasLinkInfo) linkInfo(out, link);
  if (flags & lnk::kHasName) countedString(out, link.description);
  if (flags & lnk::kHasRelativePath) countedString(out, link.relativePath);
  if (flags & lnk::kHasWorkingDir) countedString(out, link.workingDirectory);
  if (flags & lnk::kHasArguments) countedString(out, link.arguments);
  if (flags & lnk::kHasIconLocation) countedString(out, link.iconLocation);
  if (flags & lnk::kHasExpString) environmentBlock(out, link.target);
  out.u32(0);  // the terminal block
  return std::move(out.bytes());
}

std::optional<ReadShellLink> readShellLink(std::span<const uint8_t> bytes, std::string* error) {
  Reader in(bytes);
  ReadShellLink result;
  ShellLink& link = result.link;
  ShellLinkLayout& layout = result.layout;
  if (!in.has(0, lnk::kHeaderSize)) return fail(error, "shorter than the header");
  layout.headerSize = in.u32(0);
  if (layout.headerSize != lnk::kHeaderSize) return fail(error, "header size is not 0x4C");
  for (size_t i = 0; i < sizeof lnk::kLinkClsid; ++i) {
    if (bytes[4 + i] != lnk::kLinkClsid[i]) return fail(error, "not the shell-link class id");
  }
  uint32_t flags = layout.linkFlags = in.u32(0x14);
  link.fileAttributes = in.u32(0x18);
  link.creationTime = in.u64(0x1C);
  link.accessTime = in.u64(0x24);
  link.writeTime = in.u64(0x2C);
  link.fileSize = in.u32(0x34);
  link.iconIndex = static_cast<int32_t>(in.u32(0x38));
  link.showCommand = in.u32(0x3C);
  link.hotkey = in.u16(0x40);
  size_t pos = lnk::kHeaderSize;

  if (flags & lnk::kHasLinkTargetIdList) {
    if (!in.has(pos, 2)) return fail(error, "id list size cut off");
    layout.idListSize = in.u16(pos);
    size_t end = pos + 2 + layout.idListSize;
    if (!in.has(pos + 2, layout.idListSize)) return fail(error, "id list runs past the end");
    size_t item = pos + 2;
    while (true) {
      if (item + 2 > end) return fail(error, "id list lacks its terminating item");
      uint16_t size = in.u16(item);
      if (size == 0) {
        if (item + 2 != end) return fail(error, "id list size does not match its items");
        break;
      }
      if (size < 2 || item + size > end) return fail(error, "shell item runs past its list");
      layout.idItems.emplace_back(in.at(item), in.at(item) + size);
      item += size;
    }
    for (const auto& it : layout.idItems) {
      if (it.size() >= 6 && it[2] == kUriItem) {
        size_t dataSize = it[4] | (it[5] << 8);
        size_t from = 6 + dataSize;
        std::wstring uri;
        for (size_t i = from; i + 1 < it.size(); i += 2) {
          wchar_t c = static_cast<wchar_t>(it[i] | (it[i + 1] << 8));
          if (!c) break;
          uri += c;
        }
        layout.uri = uri;
      }
    }
    pos = end;
  }

  if (flags & lnk::kHasLinkInfo) {
    ShellLinkLayout::LinkInfo info;
    if (!in.has(pos, lnk::kLinkInfoHeaderSize)) return fail(error, "link information cut off");
    info.offset = static_cast<uint32_t>(pos);
    info.size = in.u32(pos);
    info.headerSize = in.u32(pos + 4);
    if (info.size < lnk::kLinkInfoHeaderSize || !in.has(pos, info.size)) return fail(error, "link information size");
    if (info.headerSize != lnk::kLinkInfoHeaderSize && info.headerSize < lnk::kLinkInfoHeaderSizeUnicode) {
      return fail(error, "link information header size");
    }
    if (info.headerSize > info.size) return fail(error, "link information header larger than the structure");
    info.flags = in.u32(pos + 8);
    info.volumeIdOffset = in.u32(pos + 12);
    info.localBasePathOffset = in.u32(pos + 16);
    info.commonNetworkRelativeLinkOffset = in.u32(pos + 20);
    info.commonPathSuffixOffset = in.u32(pos + 24);
    if (info.headerSize >= lnk::kLinkInfoHeaderSizeUnicode) {
      info.localBasePathOffsetUnicode = in.u32(pos + 28);
      info.commonPathSuffixOffsetUnicode = in.u32(pos + 32);
    }
    size_t limit = pos + info.size;
    auto inside = [&](uint32_t offset) { return offset >= info.headerSize && offset < info.size; };
    if (info.flags & lnk::kVolumeIdAndLocalBasePath) {
      if (!inside(info.volumeIdOffset) || !inside(info.localBasePathOffset)) return fail(error, "link information offsets");
      size_t volume = pos + info.volumeIdOffset;
      if (volume + 16 > limit) return fail(error, "volume id cut off");
      info.volumeIdSize = in.u32(volume);
      info.driveType = in.u32(volume + 4);
      info.driveSerialNumber = in.u32(volume + 8);
      uint32_t labelOffset = in.u32(volume + 12);
      if (info.volumeIdSize < 16 || volume + info.volumeIdSize > limit || labelOffset >= info.volumeIdSize) {
        return fail(error, "volume id size");
      }
      auto label = in.ansiz(volume + labelOffset, volume + info.volumeIdSize);
      auto local = in.ansiz(pos + info.localBasePathOffset, limit);
      if (!label || !local) return fail(error, "unterminated volume label or local path");
      info.volumeLabel = *label;
      info.localBasePath = *local;
      if (info.localBasePathOffsetUnicode) {
        if (!inside(info.localBasePathOffsetUnicode)) return fail(error, "unicode local path offset");
        auto wide = in.utf16z(pos + info.localBasePathOffsetUnicode, limit);
        if (!wide) return fail(error, "unterminated unicode local path");
        info.localBasePathUnicode = *wide;
      }
    }
    if (info.commonPathSuffixOffset) {
      if (!inside(info.commonPathSuffixOffset)) return fail(error, "common path suffix offset");
      auto suffix = in.ansiz(pos + info.commonPathSuffixOffset, limit);
      if (!suffix) return fail(error, "unterminated common path suffix");
      info.commonPathSuffix = *suffix;
    }
    pos = limit;
    layout.linkInfo = info;
  }

  layout.stringDataOffset = static_cast<uint32_t>(pos);
  bool unicode = flags & lnk::kIsUnicode;
  auto counted = [&](std::wstring& text) -> bool {
    if (!in.has(pos, 2)) return false;
    size_t count = in.u16(pos);
    pos += 2;
    size_t width = unicode ? 2 : 1;
    if (!in.has(pos, count * width)) return false;
    if (unicode) {
      for (size_t i = 0; i < count; ++i) text += static_cast<wchar_t>(in.u16(pos + 2 * i));
    } else {
      text = ansiToWide(std::string(reinterpret_cast<const char*>(in.at(pos)), count));
    }
    pos += count * width;
    return true;
  };
  if ((flags & lnk::kHasName) && !counted(link.description)) return fail(error, "description cut off");
  if ((flags & lnk::kHasRelativePath) && !counted(link.relativePath)) return fail(error, "relative path cut off");
  if ((flags & lnk::kHasWorkingDir) && !counted(link.workingDirectory)) return fail(error, "working directory cut off");
  if ((flags & lnk::kHasArguments) && !counted(link.arguments)) return fail(error, "arguments cut off");
  if ((flags & lnk::kHasIconLocation) && !counted(link.iconLocation)) return fail(error, "icon location cut off");

  layout.extraDataOffset = static_cast<uint32_t>(pos);
  while (true) {
    if (!in.has(pos, 4)) return fail(error, "extra data lacks its terminal block");
    uint32_t size = in.u32(pos);
    if (size < 4) break;
    if (size < 8 || !in.has(pos, size)) return fail(error, "extra data block runs past the end");
    if (in.u32(pos + 4) == lnk::kEnvironmentVariableDataBlockSignature) {
      if (size != lnk::kEnvironmentVariableDataBlockSize) return fail(error, "environment block size");
      size_t unicodeAt = pos + 8 + lnk::kEnvironmentTargetChars;
      auto wide = in.utf16z(unicodeAt, unicodeAt + 2 * lnk::kEnvironmentTargetChars);
      auto ansi = in.ansiz(pos + 8, unicodeAt);
      if (!wide || !ansi) return fail(error, "unterminated environment target");
      layout.environmentTarget = !wide->empty() ? *wide : ansiToWide(*ansi);
      layout.environmentBlockOffset = static_cast<uint32_t>(pos);
    }
    pos += size;
  }

  if (layout.linkInfo && !layout.linkInfo->localBasePath.empty()) {
    link.target = !layout.linkInfo->localBasePathUnicode.empty() ? layout.linkInfo->localBasePathUnicode
                                                                 : ansiToWide(layout.linkInfo->localBasePath);
    if (!layout.linkInfo->commonPathSuffix.empty()) link.target += ansiToWide(layout.linkInfo->commonPathSuffix);
  } else if (!layout.uri.empty()) {
    link.target = layout.uri;
  } else if (!layout.environmentTarget.empty()) {
    link.target = layout.environmentTarget;
  } else {
    link.target = targetFromDriveItems(layout.idItems);
  }
  return result;
}

}  // namespace hosted
