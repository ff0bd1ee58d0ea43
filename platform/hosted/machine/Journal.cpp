#include "platform/hosted/machine/Journal.h"

#include <cstdio>
#include <fstream>
#include <system_error>

namespace hosted {

nlohmann::ordered_json Journal::event(const std::string& name) {
  nlohmann::ordered_json e = nlohmann::ordered_json::object();
  e["event"] = name;
  return e;
}

void Journal::append(const nlohmann::ordered_json& event) {
  std::ofstream out(file_, std::ios::app | std::ios::binary);
  // Windows texts may hold bytes that are not UTF-8 (ANSI code page); keep them visible.
  out << event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  out.close();
  if (!out && !warned_) {
    warned_ = true;
    std::fprintf(stderr, "uninstaller: cannot write %s\n", file_.string().c_str());
  }
}

std::uintmax_t Journal::size() const {
  std::error_code ec;
  auto n = std::filesystem::file_size(file_, ec);
  return ec ? 0 : n;
}

}  // namespace hosted
