// Fault injection: a test arms a failure of a named Windows function, optionally for
// one path or key, and the layer's function fails with the given error on its next
// matching call instead of doing its work.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hosted {

class Faults {
 public:
  // The next `times` calls of `function` whose object matches `object` (compared
  // without ASCII case; empty matches every object) fail with `error`.
  void failNext(std::string function, uint32_t error, std::string object = {}, int times = 1);
  // Used by the layer's functions: the error to fail with, if a failure is armed for
  // this call; the armed failure is then used up.
  std::optional<uint32_t> take(std::string_view function, std::string_view object = {});
  void clear() { armed_.clear(); }
  bool empty() const { return armed_.empty(); }

  // For sweeps over a whole run: every take() is one call that could fail. Calls are
  // counted from 1; the functions called are kept in order while `trace` is on, and
  // failCall() makes the index-th call fail with `error` whatever it is.
  void setTracing(bool trace) { tracing_ = trace; }
  void failCall(uint64_t index, uint32_t error) {
    sweepIndex_ = index;
    sweepError_ = error;
  }
  uint64_t calls() const { return calls_; }
  const std::vector<std::string>& trace() const { return trace_; }
  // The function whose call failCall() made fail, or empty.
  const std::string& sweptFunction() const { return sweptFunction_; }

 private:
  bool tracing_ = false;
  uint64_t calls_ = 0;
  uint64_t sweepIndex_ = 0;
  uint32_t sweepError_ = 0;
  std::string sweptFunction_;
  std::vector<std::string> trace_;

  struct Armed {
    std::string function;
    std::string object;
    uint32_t error;
    int remaining;
  };
  std::vector<Armed> armed_;
};

}  // namespace hosted
