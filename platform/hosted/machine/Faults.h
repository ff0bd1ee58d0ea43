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

 private:
  struct Armed {
    std::string function;
    std::string object;
    uint32_t error;
    int remaining;
  };
  std::vector<Armed> armed_;
};

}  // namespace hosted
