// advapi32: the user of a token and the security identifiers derived from it.
// Every token on the machine belongs to its one user (machine.json user.sid).
// SIDs have Windows' binary layout: revision 1, the sub-authority count, a 6-byte
// big-endian identifier authority, then 32-bit sub-authorities.
#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/machine/Processes.h"
#include "platform/hosted/machine/Text.h"

using hosted::machine;
using hosted::setLastError;

namespace {

constexpr DWORD kNonAccountSid = 1257;  // ERROR_NON_ACCOUNT_SID

struct SidValue {
  uint64_t authority = 0;
  std::vector<DWORD> subAuthorities;
};

std::optional<SidValue> parseSid(const std::string& text) {
  if (text.rfind("S-1-", 0) != 0) return std::nullopt;
  SidValue sid;
  size_t start = 4;
  bool first = true;
  while (start <= text.size()) {
    size_t end = text.find('-', start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || part.size() > 15) {
      return std::nullopt;
    }
    uint64_t value = std::stoull(part);
    if (first) {
      if (value >= (uint64_t{1} << 48)) return std::nullopt;
      sid.authority = value;
      first = false;
    } else {
      if (value > 0xFFFFFFFFu) return std::nullopt;
      sid.subAuthorities.push_back(static_cast<DWORD>(value));
    }
    start = end + 1;
  }
  if (first || sid.subAuthorities.size() > SID_MAX_SUB_AUTHORITIES) return std::nullopt;
  return sid;
}

DWORD sidLength(size_t subAuthorities) { return static_cast<DWORD>(8 + 4 * subAuthorities); }

void writeSid(const SidValue& sid, void* out) {
  auto* bytes = static_cast<BYTE*>(out);
  bytes[0] = SID_REVISION;
  bytes[1] = static_cast<BYTE>(sid.subAuthorities.size());
  for (int i = 0; i < 6; ++i) bytes[2 + i] = static_cast<BYTE>(sid.authority >> (8 * (5 - i)));
  std::memcpy(bytes + 8, sid.subAuthorities.data(), 4 * sid.subAuthorities.size());
}

bool validSid(const void* sid) {
  auto* bytes = static_cast<const BYTE*>(sid);
  return bytes && bytes[0] == SID_REVISION && bytes[1] <= SID_MAX_SUB_AUTHORITIES;
}

SidValue readSid(const void* sid) {
  auto* bytes = static_cast<const BYTE*>(sid);
  SidValue value;
  for (int i = 0; i < 6; ++i) value.authority = (value.authority << 8) | bytes[2 + i];
  value.subAuthorities.resize(bytes[1]);
  std::memcpy(value.subAuthorities.data(), bytes + 8, 4 * value.subAuthorities.size());
  return value;
}

// S-1-5-21-a-b-c: the account domain a SID of a local or domain account belongs to.
bool isAccountSid(const SidValue& sid) {
  return sid.authority == 5 && sid.subAuthorities.size() >= 4 && sid.subAuthorities[0] == 21;
}

// Stores a SID into a caller's buffer of *size bytes, reporting the size it needs.
BOOL storeSid(const SidValue& sid, PSID out, DWORD* size) {
  DWORD needed = sidLength(sid.subAuthorities.size());
  if (!out || *size < needed) {
    *size = needed;
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  writeSid(sid, out);
  *size = needed;
  return TRUE;
}

}  // namespace

extern "C" {

BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
  if (!machine().handles().get<hosted::TokenObject>(TokenHandle)) {
    setLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (auto error = machine().faults().take("GetTokenInformation")) {
    setLastError(*error);
    return FALSE;
  }
  if (TokenInformationClass != TokenUser || !ReturnLength) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto sid = parseSid(machine().facts().userSid);
  if (!sid) {
    setLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER)) + sidLength(sid->subAuthorities.size());
  *ReturnLength = needed;
  if (!TokenInformation || TokenInformationLength < needed) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* user = static_cast<TOKEN_USER*>(TokenInformation);
  BYTE* sidBytes = static_cast<BYTE*>(TokenInformation) + sizeof(TOKEN_USER);
  writeSid(*sid, sidBytes);
  user->User.Sid = sidBytes;
  user->User.Attributes = 0;
  return TRUE;
}

BOOL WINAPI IsValidSid(PSID pSid) { return validSid(pSid) ? TRUE : FALSE; }

DWORD WINAPI GetLengthSid(PSID pSid) { return sidLength(static_cast<const BYTE*>(pSid)[1]); }

BOOL WINAPI CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid) {
  if (!validSid(pSourceSid)) {
    setLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  DWORD length = GetLengthSid(pSourceSid);
  if (nDestinationSidLength < length || !pDestinationSid) {
    setLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memmove(pDestinationSid, pSourceSid, length);
  return TRUE;
}

BOOL WINAPI GetWindowsAccountDomainSid(PSID pSid, PSID pDomainSid, DWORD* cbDomainSid) {
  if (!cbDomainSid) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = machine().faults().take("GetWindowsAccountDomainSid")) {
    setLastError(*error);
    return FALSE;
  }
  if (!validSid(pSid)) {
    setLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SidValue sid = readSid(pSid);
  if (!isAccountSid(sid)) {
    setLastError(kNonAccountSid);
    return FALSE;
  }
  sid.subAuthorities.resize(4);
  return storeSid(sid, pDomainSid, cbDomainSid);
}

BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid, DWORD* cbSid) {
  if (!cbSid) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = machine().faults().take("CreateWellKnownSid")) {
    setLastError(*error);
    return FALSE;
  }
  SidValue sid;
  auto domainRelative = [&](DWORD rid) {
    if (!DomainSid || !validSid(DomainSid)) return false;
    sid = readSid(DomainSid);
    if (!isAccountSid(sid)) return false;
    sid.subAuthorities.resize(4);
    sid.subAuthorities.push_back(rid);
    return true;
  };
  bool made = true;
  switch (WellKnownSidType) {
    case WinNullSid: sid = {0, {0}}; break;
    case WinWorldSid: sid = {1, {0}}; break;
    case WinLocalSystemSid: sid = {5, {18}}; break;
    case WinBuiltinAdministratorsSid: sid = {5, {32, 544}}; break;
    case WinBuiltinUsersSid: sid = {5, {32, 545}}; break;
    case WinAccountDomainAdminsSid: made = domainRelative(512); break;
    case WinAccountDomainUsersSid: made = domainRelative(513); break;
    case WinAccountDomainGuestsSid: made = domainRelative(514); break;
    default: made = false;
  }
  if (!made) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return storeSid(sid, pSid, cbSid);
}

BOOL WINAPI ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid) {
  if (!StringSid) {
    setLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto error = machine().faults().take("ConvertSidToStringSidW")) {
    setLastError(*error);
    return FALSE;
  }
  if (!validSid(Sid)) {
    setLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  SidValue sid = readSid(Sid);
  std::string text = "S-1-";
  if (sid.authority >> 32) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(sid.authority));
    text += hex;
  } else {
    text += std::to_string(sid.authority);
  }
  for (DWORD sub : sid.subAuthorities) text += "-" + std::to_string(sub);
  std::wstring wide = hosted::ansiToWide(text);
  auto* out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (wide.size() + 1) * sizeof(WCHAR)));
  if (!out) return FALSE;
  std::copy(wide.begin(), wide.end(), out);
  out[wide.size()] = L'\0';
  *StringSid = out;
  return TRUE;
}

}  // extern "C"
