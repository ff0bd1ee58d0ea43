#include "common/share/progress/ClientOperation.h"

#include <exception>

#include "windows/common/AllUtils.h"

namespace progress {

ClientOperation::ClientOperation(uint32_t id, const std::string& mailboxName) : id_(id), mailbox_(mailboxName) {
  mailbox_.post(id_, OperationState::Started);
}

ClientOperation::~ClientOperation() {
  const SourceLocation here{__FILE__, "progress::ClientOperation::~ClientOperation", __LINE__};
  try {
    mailbox_.post(id_, OperationState::Finished);
  } catch (const std::exception& e) {
    reportException(here, e);
  } catch (...) {
    reportUnknownException(here);
  }
}

}  // namespace progress
