#include "platform/hosted/machine/Broadcast.h"

#include "platform/hosted/machine/Machine.h"

namespace hosted {

void recordBroadcast(uint32_t message, const std::optional<std::string>& text) {
  auto event = Journal::event("broadcast");
  event["message"] = message;
  if (text) event["text"] = *text;
  else event["text"] = nullptr;
  machine().journal().append(event);
}

}  // namespace hosted
