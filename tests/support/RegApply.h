// Registry-editor files applied to a machine's registry.reg, as the registry editor
// applies them, and registries compared, for tests of the undo file a run writes.
#pragma once

#include <filesystem>
#include <string>

namespace zutest {

// The text of a registry-editor file: UTF-16LE behind its byte-order mark converted to
// UTF-8; UTF-8 as it is.
std::string regFileText(const std::string& bytes);

// Applies a registry-editor file to registry.reg in `machineDir` from the top, as the
// registry editor does: "[KEY]" creates the key (with the keys above it) and makes it
// current, "[-KEY]" deletes it with everything below it, "name"=- deletes a value,
// any other value line sets it. HKEY_CURRENT_USER stands for HKEY_USERS\<userSid>.
// Throws std::runtime_error for a line it cannot read.
void applyRegFile(const std::filesystem::path& machineDir, const std::string& bytes, const std::string& userSid);

// A registry.reg file's keys and values in a form that compares equal exactly when
// the two registries hold the same keys (names and their case) and the same values
// (names, types and data), whatever their order in the file. The value
// PendingFileRenameOperations, the system's reboot-time bookkeeping, is left out.
std::string registryContents(const std::filesystem::path& regFile, const std::string& userSid);

}  // namespace zutest
