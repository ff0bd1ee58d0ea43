#include "common/share/progress/OperationMailbox.h"

#include <cstring>
#include <stdexcept>

namespace progress {

namespace {

constexpr std::size_t kMessageSize = sizeof(OperationMessage);

}  // namespace

OperationMailbox::OperationMailbox(const std::string& name) {
  try {
    mailbox_.emplace(ipc::SharedMemoryUnsafe::open(name, kMessageSize));
  } catch (const ipc::PlatformError&) {
    // No watcher made it: this process holds the block while it posts.
    owner_.emplace(ipc::SharedMemoryUnsafe::create(name, kMessageSize));
    mailbox_.emplace(ipc::SharedMemoryUnsafe::open(name, kMessageSize));
  }
}

void OperationMailbox::post(uint32_t id, OperationState state) {
  ipc::SharedMemoryUnsafe::Snapshot snapshot(*mailbox_);
  if (snapshot.size() != kMessageSize) throw std::logic_error("the mailbox is not the size of a message");
  if (id == 0) throw std::logic_error("operation id 0 is never posted");
  if (state == OperationState::Invalid) throw std::logic_error("state Invalid is never posted");
  OperationMessage message{id, static_cast<uint32_t>(state)};
  unsigned char bytes[kMessageSize];
  // Little-endian on the wire whatever the host.
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<unsigned char>(message.id >> (8 * i));
    bytes[4 + i] = static_cast<unsigned char>(message.state >> (8 * i));
  }
  std::memcpy(snapshot.data(), bytes, kMessageSize);
  snapshot.flush();
}

}  // namespace progress
