// The settings library's entry-point table: a key/value configuration store with a
// plain-text file format, typed values, validators and key mappers.
//
// Clients obtain the table with settings_get_api and reach everything through it.
// Every entry point that returns an int returns one of the result codes below and
// never lets an exception out; the one exception is context_create, which throws
// settings::Exception (code 200) when the common application data folder cannot be
// found. Strings in and out are NUL-terminated UTF-8. Booleans passed in are ints
// (non-zero is true); booleans passed out are uint32_t 0 or 1. A required argument
// that is null makes an entry point return 300 without doing anything; arguments
// are checked in the order they are declared.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace settings {

// Result codes of the entry points.
enum ResultCode : int32_t {
  kOk = 0,
  kUnexpected = 200,          // a failure that is not one of the codes below
  kNullArgument = 300,        // a required handle or pointer is null
  kNoValueOrWrongType = 301,  // the key has no value, or a value of another type
  kInvalidUtf8Value = 302,    // a value's text is not well-formed UTF-8
  kKeyNotFound = 303,
  kCannotOpenFile = 304,
  kIncompleteWrite = 306,
  kReadError = 307,
  kPathTooLong = 310,         // 260 bytes or more
  kPathNotAcceptable = 311,
  kPathNotUtf8 = 312,
  kFaultyLines = 313,         // an import met lines it could not use
  kTextNotUtf8 = 314,
  kFileTooLarge = 315,        // 1,048,576 bytes or more
};

// A failure of the library, carrying its result code and no message of its own.
class Exception : public std::runtime_error {
 public:
  explicit Exception(int32_t code) : std::runtime_error(""), code(code) {}
  int32_t code;
};

}  // namespace settings

extern "C" {

// Opaque handles; each is created and destroyed only through the table.
struct settings_context;
struct settings_validator;
struct settings_validator_builder;
struct settings_key_mapper;
struct settings_key_mapper_builder;

// One allowed text of a fixed-value rule. flags bit 0: match case-sensitively;
// bit 1: store this record's text rather than the text as written.
struct settings_fixed_value {
  const char* text;
  uint32_t value;
  uint32_t flags;
};

// Called once per key, in ascending key order; the return value is ignored.
typedef int (*settings_key_callback)(settings_context* context, uint32_t count, uint32_t index, const char* key,
                                     void* userData);

// The table, in slot order (32 entries of 8 bytes).
struct settings_api {
  // 0: a new, empty context, or null when memory is short. Throws settings::Exception
  // 200 when the common application data folder cannot be found.
  settings_context* (*context_create)();
  // 1: null is ignored.
  void (*context_destroy)(settings_context* context);
  // 2: the machine-wide configuration file's path, owned by the context.
  int (*context_get_system_config_file_path)(settings_context* context, const char** path);
  // 3, 4: merge a configuration file or text into the context. With stopOnError a
  // faulty line ends the import with 313 and nothing changes; without it the good
  // lines are merged and 313 is returned when any line was faulty.
  int (*context_import_from_file)(settings_context* context, const char* path, settings_validator* validator,
                                  settings_key_mapper* keyMapper, int stopOnError, int allowKeysWithoutValue);
  int (*context_import_from_string)(settings_context* context, const char* text, settings_validator* validator,
                                    settings_key_mapper* keyMapper, int stopOnError, int allowKeysWithoutValue);
  // 5: entries of `source` replace entries with the same key.
  int (*context_import_from_context)(settings_context* context, settings_context* source);
  // 6: the 0-based line indexes of the last import's faulty lines (null when none),
  // valid until the next import into this context.
  int (*context_get_last_import_errors)(settings_context* context, const uint32_t** lines, uint32_t* count);
  // 7: writes the whole configuration to a file. An existing file is replaced only
  // once the new text is written completely beside it, and keeps its protection; a
  // new file is created readable by everyone and writable by administrators only.
  int (*context_export_to_file)(settings_context* context, const char* path);
  // 8, 9
  int (*context_is_empty)(settings_context* context, uint32_t* empty);
  int (*context_is_equal)(settings_context* context, settings_context* other, uint32_t* equal);
  // 10: the callback may change the context; the keys are listed before it is called.
  int (*context_iterate_keys)(settings_context* context, settings_key_callback callback, void* userData);
  // 11: the value's text, valid until the context's configuration next changes.
  int (*context_get_utf8_value)(settings_context* context, const char* key, const char** value);
  // 12: a key without value reads as 1.
  int (*context_get_boolean_value)(settings_context* context, const char* key, uint32_t* value);
  int (*context_get_integer_value)(settings_context* context, const char* key, int32_t* value);
  int (*context_get_double_value)(settings_context* context, const char* key, double* value);
  // 15: 303 when the key is not there.
  int (*context_erase_key)(settings_context* context, const char* key);
  // 16..26
  void (*validator_destroy)(settings_validator* validator);
  settings_validator_builder* (*validator_builder_create)();
  void (*validator_builder_destroy)(settings_validator_builder* builder);
  int (*validator_builder_create_validator)(settings_validator_builder* builder, settings_validator** validator);
  int (*validator_builder_set_utf8_validator)(settings_validator_builder* builder, const char* key);
  int (*validator_builder_set_integer_validator)(settings_validator_builder* builder, const char* key);
  int (*validator_builder_set_boolean_validator)(settings_validator_builder* builder, const char* key);
  int (*validator_builder_set_double_validator)(settings_validator_builder* builder, const char* key);
  int (*validator_builder_allow_unknown_keys)(settings_validator_builder* builder, int allow);
  int (*validator_builder_set_fixed_value_validator)(settings_validator_builder* builder, const char* key,
                                                     const settings_fixed_value* values, uint32_t count);
  int (*validator_builder_set_dirname_validator)(settings_validator_builder* builder, const char* key,
                                                 int acceptAny);
  // 27..31
  void (*key_mapper_destroy)(settings_key_mapper* keyMapper);
  settings_key_mapper_builder* (*key_mapper_builder_create)();
  void (*key_mapper_builder_destroy)(settings_key_mapper_builder* builder);
  int (*key_mapper_builder_create_key_mapper)(settings_key_mapper_builder* builder, settings_key_mapper** keyMapper);
  int (*key_mapper_builder_map)(settings_key_mapper_builder* builder, const char* from, const char* to,
                                int caseSensitive);
};

static_assert(sizeof(settings_fixed_value) == 16, "fixed-value records are 16 bytes");
static_assert(sizeof(settings_api) == 256, "the table has 32 slots of 8 bytes");

// Clears the caller's table and fills it. A null table is ignored.
void settings_get_api(settings_api* api);

}  // extern "C"
