// Security descriptors on the hosted machine. A descriptor made from its text form
// (SDDL) is a self-relative header followed by that text, so that it can be copied
// like any descriptor and read back where it is applied. Applying one to a file or
// directory is recorded in the journal ("setSecurity") and followed by the host's
// permissions where they can express it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hosted {

// True when the text is a security descriptor in SDDL form that Windows would accept.
bool isValidSddl(const std::string& sddl);

// The descriptor's bytes for an SDDL text.
std::vector<unsigned char> encodeSecurityDescriptor(const std::string& sddl);
// The SDDL text of a descriptor made by encodeSecurityDescriptor, or nullopt.
std::optional<std::string> decodeSecurityDescriptor(const void* descriptor);

// Journals the descriptor set on a Windows path and adjusts the host permissions:
// a descriptor that grants writing only to administrators makes the file read-only
// for everyone else.
void recordSecurity(const std::string& windowsPath, const std::string& sddl);

}  // namespace hosted
