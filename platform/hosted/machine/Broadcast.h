// Messages sent to every top-level window. The machine's scripted processes take no
// part: a broadcast always reaches its end and is recorded in the journal
// ("broadcast"), which is how a test sees that programs were told of a change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hosted {

// Records a broadcast of `message`; `text` is the string its lParam carried (UTF-8),
// when the message carries one.
void recordBroadcast(uint32_t message, const std::optional<std::string>& text);

}  // namespace hosted
