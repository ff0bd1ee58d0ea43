#include "platform/hosted/machine/Faults.h"

#include "platform/hosted/machine/Text.h"

namespace hosted {

void Faults::failNext(std::string function, uint32_t error, std::string object, int times) {
  armed_.push_back({std::move(function), std::move(object), error, times});
}

std::optional<uint32_t> Faults::take(std::string_view function, std::string_view object) {
  ++calls_;
  if (tracing_) trace_.emplace_back(function);
  if (sweepIndex_ != 0 && calls_ == sweepIndex_) {
    sweptFunction_ = function;
    return sweepError_;
  }
  for (auto it = armed_.begin(); it != armed_.end(); ++it) {
    if (it->function != function) continue;
    if (!it->object.empty() && !equalsIgnoringAsciiCase(it->object, object)) continue;
    uint32_t error = it->error;
    if (--it->remaining <= 0) armed_.erase(it);
    return error;
  }
  return std::nullopt;
}

}  // namespace hosted
