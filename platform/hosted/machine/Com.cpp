#include "platform/hosted/machine/Com.h"

namespace hosted {

ComApartment& ComApartment::current() {
  thread_local ComApartment apartment;
  return apartment;
}

ComApartment::Entry ComApartment::enter(bool multithreaded) {
  if (count_ > 0 && multithreaded != multithreaded_) return Entry::ChangedMode;
  multithreaded_ = multithreaded;
  return count_++ == 0 ? Entry::First : Entry::Again;
}

bool ComApartment::leave() {
  if (count_ == 0) return false;
  --count_;
  return true;
}

}  // namespace hosted
