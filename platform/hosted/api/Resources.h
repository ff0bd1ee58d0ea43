// The resources of the hosted executable: what a resource script puts into a Windows
// executable, in a form the layer reads. The executable defines one
// `hostedExecutableResources` (resources/hosted_resources.cpp); LoadStringA and
// DialogBoxParamA find it among the executable's exported symbols, as Windows finds
// the resource section of a module. An executable without one has no resources.
//
// Like a resource section, it holds the same ids once per language; the machine's
// user-interface language chooses which set LoadStringA and DialogBoxParamA read.
#pragma once

#include <cstddef>
#include <string_view>

namespace hosted {

struct StringResource {
  unsigned id;
  const char* text;  // UTF-8; LoadStringA converts it to the machine's ANSI code page
};

enum class ControlKind { Static, SortedListBox, Button };

struct ControlResource {
  int id;
  ControlKind kind;
  const char* text = nullptr;  // UTF-8 text of the template, or null
  int width = 0;               // the area that shows the text, in dialog units
  int height = 0;
};

struct DialogResource {
  int id;
  const char* caption;  // UTF-8
  const ControlResource* controls;
  size_t controlCount;
  int linesControl;  // the control whose lines the user reads
};

// One language's string table and dialogs.
struct LanguageResources {
  const char* tag;  // "en-US", or a bare language ("de") for every region of it
  const StringResource* strings;
  size_t stringCount;
  const DialogResource* dialogs;
  size_t dialogCount;
};

struct ExecutableResources {
  const LanguageResources* languages;  // the first is the one used when none fits
  size_t languageCount;
};

// The executable's resources, or null when it has none.
const ExecutableResources* executableResources();

// The language a user-interface language such as "de-AT" reads: the one with exactly
// that tag (case ignored), else the one carried for the bare language ("de"), else the
// first. Null only when `resources` has no languages.
const LanguageResources* chooseLanguage(const ExecutableResources& resources, std::string_view uiLanguage);

}  // namespace hosted

// Defined by the executable (with C linkage, so that the layer can find it by name).
extern "C" const hosted::ExecutableResources hostedExecutableResources;
