// The machine's kernel handles: every object a Windows function hands out as a HANDLE
// (processes, tokens, files, searches, ...) is kept here until CloseHandle.
#pragma once

#include <cstddef>
#include <map>
#include <memory>

#include <windef.h>

namespace hosted {

struct HandleObject {
  virtual ~HandleObject() = default;
};

class Handles {
 public:
  // Stores the object and returns a new handle for it (never null, never INVALID_HANDLE_VALUE).
  HANDLE add(std::shared_ptr<HandleObject> object);
  // The object of a handle if it is open and of type T, else null.
  template <class T>
  std::shared_ptr<T> get(HANDLE handle) const {
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
  }
  // Closes a handle; false when it was not open.
  bool close(HANDLE handle);
  std::size_t openCount() const { return objects_.size(); }

 private:
  std::map<HANDLE, std::shared_ptr<HandleObject>> objects_;
  uintptr_t next_ = 0x100;
};

}  // namespace hosted
