// Where a value stands in JSON text, so that messages about machine.json can name the
// line of the value they are about.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hosted {

// The line (counting from 1) on which the value at `path` starts in `text`: member names
// for objects, decimal indices for arrays. Where the text holds less of the path, the
// line of the deepest value it holds. For a name given twice, the last one counts, as
// in the parsed document. `text` is JSON that has parsed; the scan does not recurse.
size_t jsonLine(std::string_view text, const std::vector<std::string>& path);

}  // namespace hosted
