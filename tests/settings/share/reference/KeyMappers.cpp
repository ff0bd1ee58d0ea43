#include "tests/settings/share/reference/KeyMappers.h"

namespace settings_reference {

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return text;
}

std::pair<std::string, bool> SimpleKeyMapper::map(const std::string& key) const {
  if (key == from_) return {to_, true};
  if (!caseSensitive_ && lowerAscii(key) == lowerAscii(from_)) return {to_, true};
  return {key, false};
}

std::pair<std::string, bool> CompositeKeyMapper::map(const std::string& key) const {
  for (auto it = mappers_.rbegin(); it != mappers_.rend(); ++it) {
    auto result = (*it)->map(key);
    if (result.second) return result;
  }
  return {key, false};
}

void KeyMapperBuilder::map(const std::string& from, const std::string& to, bool caseSensitive) {
  factories_.push_back(std::make_unique<KeyMapperFactory<SimpleKeyMapper>>(from, to, caseSensitive));
}

std::unique_ptr<IKeyMapper> KeyMapperBuilder::createKeyMapper() const {
  std::vector<std::unique_ptr<IKeyMapper>> mappers;
  mappers.reserve(factories_.size());
  for (const auto& factory : factories_) mappers.push_back(factory->create());
  return std::make_unique<CompositeKeyMapper>(std::move(mappers));
}

}  // namespace settings_reference
