// The operation mailbox: a named 8-byte block of shared memory through which this
// program tells an outside progress watcher that an operation started or finished.
//
// The block holds one message, little-endian: the operation id (never 0) at offset 0
// and its state (OperationState, never Invalid) at offset 4. Each post replaces the
// whole block with one 8-byte copy and flushes it; a watcher polls. There is no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "ipc/include/ipc/SharedMemory.h"

namespace progress {

enum class OperationState : uint32_t { Invalid = 0, Started = 1, Finished = 2 };

struct OperationMessage {
  uint32_t id;
  uint32_t state;
};
static_assert(sizeof(OperationMessage) == 8, "the mailbox holds one 8-byte message");
static_assert(offsetof(OperationMessage, id) == 0 && offsetof(OperationMessage, state) == 4,
              "message layout shared with the watcher");

class OperationMailbox {
 public:
  // Opens the mailbox `name`; when it does not exist yet, creates it (and keeps it
  // alive as its owner while this object lives) and opens it again. Throws
  // ZdsError<ipc::PlatformError> when it can be neither opened nor created.
  explicit OperationMailbox(const std::string& name);

  // Writes (id, state) over the block and flushes it. Throws
  // ZdsError<ipc::PlatformError> when the block cannot be mapped or flushed, and
  // std::logic_error for id 0, state Invalid or a block not of the message's size.
  void post(uint32_t id, OperationState state);

  // True when this mailbox created the block (no watcher had made it).
  bool ownsBlock() const { return owner_.has_value(); }

 private:
  std::optional<ipc::SharedMemoryUnsafe> owner_;
  std::optional<ipc::SharedMemoryUnsafe> mailbox_;
};

}  // namespace progress
