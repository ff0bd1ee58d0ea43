#include "settings/share/settings.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "settings/share/Context.h"
#include "settings/share/KeyMappers.h"
#include "settings/share/PlainTextFileConfigParser.h"
#include "settings/share/Validators.h"

using namespace settings_impl;

namespace {

// Runs an entry point's body and turns whatever it throws into a result code.
template <class Body>
int guarded(Body&& body) {
  try {
    body();
    return settings::kOk;
  } catch (const settings::Exception& e) {
    return e.code;
  } catch (const std::exception&) {
    return settings::kUnexpected;
  } catch (...) {
    return settings::kUnexpected;
  }
}

Context* contextOf(settings_context* handle) { return reinterpret_cast<Context*>(handle); }
ConfigValidator* validatorOf(settings_validator* handle) { return reinterpret_cast<ConfigValidator*>(handle); }
ValidatorBuilder* validatorBuilderOf(settings_validator_builder* handle) {
  return reinterpret_cast<ValidatorBuilder*>(handle);
}
IKeyMapper* keyMapperOf(settings_key_mapper* handle) { return reinterpret_cast<IKeyMapper*>(handle); }
KeyMapperBuilder* keyMapperBuilderOf(settings_key_mapper_builder* handle) {
  return reinterpret_cast<KeyMapperBuilder*>(handle);
}

settings_context* context_create() {
  try {
    return reinterpret_cast<settings_context*>(new Context());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void context_destroy(settings_context* context) { delete contextOf(context); }

int context_get_system_config_file_path(settings_context* context, const char** path) {
  if (!context || !path) return settings::kNullArgument;
  return guarded([&] { *path = contextOf(context)->systemConfigFilePath().c_str(); });
}

int context_import_from_file(settings_context* context, const char* path, settings_validator* validator,
                             settings_key_mapper* keyMapper, int stopOnError, int allowKeysWithoutValue) {
  if (!context || !path) return settings::kNullArgument;
  return guarded([&] {
    PlainTextFileConfigParser parser(canonicalize(testPathArgument(path)));
    contextOf(context)->import(parser, validatorOf(validator), keyMapperOf(keyMapper), stopOnError != 0,
                               allowKeysWithoutValue != 0);
  });
}

int context_import_from_string(settings_context* context, const char* text, settings_validator* validator,
                               settings_key_mapper* keyMapper, int stopOnError, int allowKeysWithoutValue) {
  if (!context || !text) return settings::kNullArgument;
  return guarded([&] {
    PlainTextFileConfigParser parser{std::string(text)};
    contextOf(context)->import(parser, validatorOf(validator), keyMapperOf(keyMapper), stopOnError != 0,
                               allowKeysWithoutValue != 0);
  });
}

int context_import_from_context(settings_context* context, settings_context* source) {
  if (!context || !source) return settings::kNullArgument;
  return guarded([&] {
    Context* target = contextOf(context);
    target->setConfig(mergeConfigs(target->config(), contextOf(source)->config()));
  });
}

int context_get_last_import_errors(settings_context* context, const uint32_t** lines, uint32_t* count) {
  if (!context || !lines || !count) return settings::kNullArgument;
  return guarded([&] {
    const std::vector<uint32_t>& errors = contextOf(context)->lastImportErrors();
    *lines = errors.empty() ? nullptr : errors.data();
    *count = static_cast<uint32_t>(errors.size());
  });
}

int context_export_to_file(settings_context* context, const char* path) {
  if (!context || !path) return settings::kNullArgument;
  return guarded([&] { contextOf(context)->exportToFile(path); });
}

int context_is_empty(settings_context* context, uint32_t* empty) {
  if (!context || !empty) return settings::kNullArgument;
  return guarded([&] { *empty = contextOf(context)->config().empty() ? 1 : 0; });
}

int context_is_equal(settings_context* context, settings_context* other, uint32_t* equal) {
  if (!context || !other || !equal) return settings::kNullArgument;
  return guarded([&] { *equal = configsEqual(contextOf(context)->config(), contextOf(other)->config()) ? 1 : 0; });
}

int context_iterate_keys(settings_context* context, settings_key_callback callback, void* userData) {
  if (!context || !callback) return settings::kNullArgument;
  return guarded([&] {
    // Copied first: the callback may replace the configuration the keys live in.
    std::vector<const char*> raw = contextOf(context)->config().getKeys();
    std::vector<std::string> keys(raw.begin(), raw.end());
    auto count = static_cast<uint32_t>(keys.size());
    for (uint32_t i = 0; i < count; ++i) callback(context, count, i, keys[i].c_str(), userData);
  });
}

int context_get_utf8_value(settings_context* context, const char* key, const char** value) {
  if (!context || !key || !value) return settings::kNullArgument;
  return guarded([&] { *value = contextOf(context)->config().getUtf8(key); });
}

int context_get_boolean_value(settings_context* context, const char* key, uint32_t* value) {
  if (!context || !key || !value) return settings::kNullArgument;
  return guarded([&] {
    const Config& config = contextOf(context)->config();
    bool result = config.hasValue(key) ? config.getBoolean(key) : true;
    *value = result ? 1 : 0;
  });
}

int context_get_integer_value(settings_context* context, const char* key, int32_t* value) {
  if (!context || !key || !value) return settings::kNullArgument;
  return guarded([&] { *value = contextOf(context)->config().getInteger(key); });
}

int context_get_double_value(settings_context* context, const char* key, double* value) {
  if (!context || !key || !value) return settings::kNullArgument;
  return guarded([&] { *value = contextOf(context)->config().getDouble(key); });
}

int context_erase_key(settings_context* context, const char* key) {
  if (!context || !key) return settings::kNullArgument;
  return guarded([&] {
    Context* target = contextOf(context);
    target->setConfig(removeKeys(target->config(), {key}, true));
  });
}

void validator_destroy(settings_validator* validator) { delete validatorOf(validator); }

settings_validator_builder* validator_builder_create() {
  return reinterpret_cast<settings_validator_builder*>(new (std::nothrow) ValidatorBuilder());
}

void validator_builder_destroy(settings_validator_builder* builder) { delete validatorBuilderOf(builder); }

int validator_builder_create_validator(settings_validator_builder* builder, settings_validator** validator) {
  if (!builder || !validator) return settings::kNullArgument;
  return guarded([&] {
    *validator = reinterpret_cast<settings_validator*>(validatorBuilderOf(builder)->createValidator().release());
  });
}

int setTypeRule(settings_validator_builder* builder, const char* key, uint32_t type) {
  if (!builder || !key) return settings::kNullArgument;
  return guarded([&] { validatorBuilderOf(builder)->setType(key, type); });
}

int validator_builder_set_utf8_validator(settings_validator_builder* builder, const char* key) {
  return setTypeRule(builder, key, kUtf8);
}

int validator_builder_set_integer_validator(settings_validator_builder* builder, const char* key) {
  return setTypeRule(builder, key, kInteger);
}

int validator_builder_set_boolean_validator(settings_validator_builder* builder, const char* key) {
  return setTypeRule(builder, key, kBoolean);
}

int validator_builder_set_double_validator(settings_validator_builder* builder, const char* key) {
  return setTypeRule(builder, key, kDouble);
}

int validator_builder_allow_unknown_keys(settings_validator_builder* builder, int allow) {
  if (!builder) return settings::kNullArgument;
  return guarded([&] { validatorBuilderOf(builder)->allowUnknownKeys(allow != 0); });
}

int validator_builder_set_fixed_value_validator(settings_validator_builder* builder, const char* key,
                                                const settings_fixed_value* values, uint32_t count) {
  if (!builder || !key || !values) return settings::kNullArgument;
  // A record without text is refused before any record is taken.
  for (uint32_t i = 0; i < count; ++i) {
    if (!values[i].text) return settings::kNullArgument;
  }
  return guarded([&] {
    for (uint32_t i = 0; i < count; ++i) {
      validatorBuilderOf(builder)->addFixedValue(key, FixedValueEntry{values[i].text, values[i].value, values[i].flags});
    }
  });
}

int validator_builder_set_dirname_validator(settings_validator_builder* builder, const char* key, int acceptAny) {
  if (!builder || !key) return settings::kNullArgument;
  return guarded([&] { validatorBuilderOf(builder)->setDirname(key, acceptAny != 0); });
}

void key_mapper_destroy(settings_key_mapper* keyMapper) { delete keyMapperOf(keyMapper); }

settings_key_mapper_builder* key_mapper_builder_create() {
  return reinterpret_cast<settings_key_mapper_builder*>(new (std::nothrow) KeyMapperBuilder());
}

void key_mapper_builder_destroy(settings_key_mapper_builder* builder) { delete keyMapperBuilderOf(builder); }

int key_mapper_builder_create_key_mapper(settings_key_mapper_builder* builder, settings_key_mapper** keyMapper) {
  if (!builder || !keyMapper) return settings::kNullArgument;
  return guarded([&] {
    *keyMapper = reinterpret_cast<settings_key_mapper*>(keyMapperBuilderOf(builder)->createKeyMapper().release());
  });
}

int key_mapper_builder_map(settings_key_mapper_builder* builder, const char* from, const char* to,
                           int caseSensitive) {
  if (!builder || !from || !to) return settings::kNullArgument;
  return guarded([&] { keyMapperBuilderOf(builder)->map(from, to, caseSensitive != 0); });
}

}  // namespace

extern "C" void settings_get_api(settings_api* api) {
  if (!api) return;
  std::memset(api, 0, sizeof *api);
  *api = settings_api{
      context_create,
      context_destroy,
      context_get_system_config_file_path,
      context_import_from_file,
      context_import_from_string,
      context_import_from_context,
      context_get_last_import_errors,
      context_export_to_file,
      context_is_empty,
      context_is_equal,
      context_iterate_keys,
      context_get_utf8_value,
      context_get_boolean_value,
      context_get_integer_value,
      context_get_double_value,
      context_erase_key,
      validator_destroy,
      validator_builder_create,
      validator_builder_destroy,
      validator_builder_create_validator,
      validator_builder_set_utf8_validator,
      validator_builder_set_integer_validator,
      validator_builder_set_boolean_validator,
      validator_builder_set_double_validator,
      validator_builder_allow_unknown_keys,
      validator_builder_set_fixed_value_validator,
      validator_builder_set_dirname_validator,
      key_mapper_destroy,
      key_mapper_builder_create,
      key_mapper_builder_destroy,
      key_mapper_builder_create_key_mapper,
      key_mapper_builder_map,
  };
}
