#include "platform/hosted/machine/Security.h"

#include <sys/stat.h>

#include <cstring>
#include <regex>

#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Paths.h"
#include "platform/hosted/machine/Text.h"

namespace hosted {

namespace {

// SECURITY_DESCRIPTOR_RELATIVE: revision 1, self-relative with a DACL, then the
// offsets of owner, group, SACL and DACL (left 0: the text carries them).
constexpr unsigned char kHeader[20] = {1, 0, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr char kMagic[8] = {'h', 'o', 's', 't', 'S', 'D', 'D', 'L'};

}  // namespace

bool isValidSddl(const std::string& sddl) {
  // O:owner G:group D:flags(aces) S:flags(aces), each part at most once, in any order.
  static const std::regex ace(R"(\([A-Z]*;[A-Z]*;[A-Za-z0-9]*;[-0-9A-Fa-f]*;[-0-9A-Fa-f]*;[-A-Z0-9]+\))");
  static const std::regex part(R"(^(O:([A-Z]{2}|S-1-[-0-9]+)|G:([A-Z]{2}|S-1-[-0-9]+)|[DS]:[A-Z]*((\([^()]*\))*)))");
  static const std::regex group(R"(\([^()]*\))");
  if (sddl.empty()) return false;
  std::string rest = sddl;
  while (!rest.empty()) {
    std::smatch m;
    if (!std::regex_search(rest, m, part) || m.length(0) == 0) return false;
    std::string aces = m[4].str();
    for (std::sregex_iterator it(aces.begin(), aces.end(), group), end; it != end; ++it) {
      if (!std::regex_match(it->str(), ace)) return false;
    }
    rest = m.suffix().str();
  }
  return true;
}

std::vector<unsigned char> encodeSecurityDescriptor(const std::string& sddl) {
  std::vector<unsigned char> bytes(sizeof kHeader + sizeof kMagic + sddl.size() + 1, 0);
  std::memcpy(bytes.data(), kHeader, sizeof kHeader);
  std::memcpy(bytes.data() + sizeof kHeader, kMagic, sizeof kMagic);
  std::memcpy(bytes.data() + sizeof kHeader + sizeof kMagic, sddl.data(), sddl.size());
  return bytes;
}

std::optional<std::string> decodeSecurityDescriptor(const void* descriptor) {
  if (!descriptor) return std::nullopt;
  auto bytes = static_cast<const unsigned char*>(descriptor);
  if (std::memcmp(bytes, kHeader, 4) != 0 || std::memcmp(bytes + sizeof kHeader, kMagic, sizeof kMagic) != 0) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(bytes + sizeof kHeader + sizeof kMagic));
}

void recordSecurity(const std::string& windowsPath, const std::string& sddl) {
  auto event = Journal::event("setSecurity");
  event["path"] = ansiToUtf8(windowsPath);
  event["sddl"] = sddl;
  machine().journal().append(event);
  // Writing is granted to others than administrators and the system by an allow ACE
  // with a write or full right for another trustee.
  static const std::regex othersWrite(R"(\(A;[^;]*;(FA|FW|GA|GW|0x[0-9A-Fa-f]+);[^;]*;[^;]*;(?!BA\)|SY\))[^)]*\))");
  bool othersMayWrite = std::regex_search(sddl, othersWrite);
  if (auto path = resolvePath(windowsPath, nullptr)) {
    struct stat st;
    if (::lstat(path->host.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      mode_t mode = st.st_mode & 07777;
      mode = othersMayWrite ? (mode | 0022) : (mode & ~0022);
      ::chmod(path->host.c_str(), mode);
    }
  }
}

}  // namespace hosted
