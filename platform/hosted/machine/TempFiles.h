// Temporary file names as Windows forms them: <dir>\<pre><uuuu>.tmp, where <pre> is up
// to three characters of a prefix and <uuuu> the hexadecimal text (capitals, no
// leading zeros) of a 16-bit number.
#pragma once

#include <cstdint>
#include <string>

namespace hosted {

// The name for `unique` (only its low 16 bits count), without looking at the disk.
std::string tempFileName(const std::string& dir, const std::string& prefix, uint32_t unique);

// Creates an empty file under the first free name, trying the numbers from `start`
// upwards (wrapping within 1..0xFFFF, 0 skipped). Returns the number used and its name
// in *name, or 0 with the Windows error in *error: ERROR_DIRECTORY when `dir` is no
// existing directory, ERROR_FILE_EXISTS when every number is taken, ERROR_ACCESS_DENIED
// when the host refuses the file.
uint32_t createTempFile(const std::string& dir, const std::string& prefix, uint32_t start, std::string* name,
                        uint32_t* error);

}  // namespace hosted
