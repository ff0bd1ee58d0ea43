// Operations scheduled for the next restart (MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT), kept where Windows keeps them: the multi-string
// PendingFileRenameOperations of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager,
// as pairs of "\??\" source path and "\??\" target path (an empty target deletes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hosted {

// Appends one operation; returns 0 or the Windows error of the registry write.
uint32_t recordPendingFileRename(const std::string& from, const std::optional<std::string>& to);

}  // namespace hosted
