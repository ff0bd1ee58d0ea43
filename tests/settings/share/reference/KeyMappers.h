// Key mappers: turn a key as written into the name the program uses.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace settings_reference {

// The text with A to Z folded to a to z; other bytes stay as they are.
std::string lowerAscii(std::string text);

class IKeyMapper {
 public:
  virtual ~IKeyMapper() = default;
  // The resulting key and whether a mapping applied.
  virtual std::pair<std::string, bool> map(const std::string& key) const = 0;
};

// `from` to `to`: exactly, or also in other letter case when not case-sensitive.
class SimpleKeyMapper : public IKeyMapper {
 public:
  SimpleKeyMapper(std::string from, std::string to, bool caseSensitive)
      : from_(std::move(from)), to_(std::move(to)), caseSensitive_(caseSensitive) {}
  std::pair<std::string, bool> map(const std::string& key) const override;

 private:
  std::string from_;
  std::string to_;
  bool caseSensitive_;
};

// Tries its mappers from the last added to the first and stops at the first match,
// so a key is mapped at most once.
class CompositeKeyMapper : public IKeyMapper {
 public:
  explicit CompositeKeyMapper(std::vector<std::unique_ptr<IKeyMapper>> mappers) : mappers_(std::move(mappers)) {}
  std::pair<std::string, bool> map(const std::string& key) const override;

 private:
  std::vector<std::unique_ptr<IKeyMapper>> mappers_;
};

class KeyMapperBuilder {
 public:
  class IKeyMapperFactory {
   public:
    virtual ~IKeyMapperFactory() = default;
    virtual std::unique_ptr<IKeyMapper> create() const = 0;
  };

  template <class Mapper>
  class KeyMapperFactory;

  void map(const std::string& from, const std::string& to, bool caseSensitive);
  // A composite of every mapping declared so far, in declaration order.
  std::unique_ptr<IKeyMapper> createKeyMapper() const;

 private:
  std::vector<std::unique_ptr<IKeyMapperFactory>> factories_;
};

template <>
class KeyMapperBuilder::KeyMapperFactory<SimpleKeyMapper> : public KeyMapperBuilder::IKeyMapperFactory {
 public:
  KeyMapperFactory(std::string from, std::string to, bool caseSensitive)
      : from_(std::move(from)), to_(std::move(to)), caseSensitive_(caseSensitive) {}
  std::unique_ptr<IKeyMapper> create() const override {
    return std::make_unique<SimpleKeyMapper>(from_, to_, caseSensitive_);
  }

 private:
  std::string from_;
  std::string to_;
  bool caseSensitive_;
};

}  // namespace settings_reference
