// COM's state on a thread: how many times the thread has entered COM, and in which
// concurrency model. Each thread has its own, as on Windows.
#pragma once

namespace hosted {

class ComApartment {
 public:
  // The calling thread's.
  static ComApartment& current();

  enum class Entry { First, Again, ChangedMode };
  // Enters COM: the first entry fixes the model; a later one in the same model only
  // counts, one in the other model is refused and not counted.
  Entry enter(bool multithreaded);
  // Leaves once; false when the thread is not in COM.
  bool leave();
  bool initialized() const { return count_ > 0; }

 private:
  int count_ = 0;
  bool multithreaded_ = false;
};

}  // namespace hosted
