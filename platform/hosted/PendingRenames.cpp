#include "platform/hosted/PendingRenames.h"

#include <winerror.h>

namespace hosted {

// Stands until the hosted registry can hold the operations.
uint32_t recordPendingFileRename(const std::string&, const std::optional<std::string>&) {
  return ERROR_NOT_SUPPORTED;
}

}  // namespace hosted
