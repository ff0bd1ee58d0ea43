#include "platform/hosted/machine/Handles.h"

namespace hosted {

HANDLE Handles::add(std::shared_ptr<HandleObject> object) {
  // Windows hands out kernel handles as multiples of four.
  HANDLE handle = reinterpret_cast<HANDLE>(next_);
  next_ += 4;
  objects_[handle] = std::move(object);
  return handle;
}

bool Handles::close(HANDLE handle) { return objects_.erase(handle) == 1; }

}  // namespace hosted
