// An operation announced to an outside progress watcher: constructing one posts
// (id, started) to the mailbox, destroying it posts (id, finished).
//
//   progress::ClientOperation operation(6, "ZdsOperationSequenceSharedMemory");
#pragma once

#include <cstdint>
#include <string>

#include "common/share/progress/OperationMailbox.h"

namespace progress {

class ClientOperation {
 public:
  // Opens (or, without a watcher, creates) the mailbox and posts (id, started).
  // Throws ZdsError<ipc::PlatformError> when the mailbox cannot be had or written;
  // std::logic_error for id 0.
  ClientOperation(uint32_t id, const std::string& mailboxName);
  // Posts (id, finished). Never throws: a failure is reported as an ERROR record.
  ~ClientOperation();
  ClientOperation(const ClientOperation&) = delete;
  ClientOperation& operator=(const ClientOperation&) = delete;

  uint32_t id() const { return id_; }

 private:
  uint32_t id_;
  OperationMailbox mailbox_;
};

}  // namespace progress
