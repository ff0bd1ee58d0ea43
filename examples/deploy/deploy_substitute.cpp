// A stand-in for a runtime's deployment library, for tests and the demo machine. It
// honours the calling contract of "UnregisterDeployEx" (windows/installerdll/
// regdeploy.h) and returns the commands that a text file beside it asks for.
//
// deploy.commands, read from the library's own folder at every call (UTF-8):
//
//   # a comment; blank lines are ignored too
//   RESULT 0                          the entry point returns 0 (default: 1)
//   DELETE C:\path\file.txt           a DELETE record
//   COPY "C:\a b\src.txt" C:\dst.txt  a COPY record (quote a path that holds blanks)
//   COPY? C:\missing C:\dst.txt       '?' after the kind: continue-on-error flag 1
//   DELETE +ok C:\x                   a success callback that returns 1
//   COPY? +fail=0 C:\y C:\z           a failure callback that returns 0
//   KIND 7 C:\src C:\dst              a record of any kind number (source, destination)
//   DELETE                            a record without its path
//
// A path "-" is no path (a null pointer). Options start with '+': "+ok[=N]" and
// "+fail[=N]" attach the success and failure callbacks, which return N (default 1).
// At most 20 records are returned, into the caller's list; lines that cannot be read
// are ignored.
//
// deploy.calls, appended beside the library, records what happened:
//
//   call size=44 version=4 reserved=0 webMode=0 securityLevel=0 reservedWords=0,0,0,0,0,0 capacity=20 count=0
//   success C:\src.txt C:\dst.txt     a callback, with its source and destination ("-": none)
//   failure - C:\x
#include "windows/installerdll/regdeploy.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#define DEPLOY_EXPORT extern "C" __declspec(dllexport)
#else
#include <dlfcn.h>
#define DEPLOY_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using WideString = std::basic_string<WCHAR>;

struct Command {
  DWORD kind = 0;
  DWORD continueOnError = 0;
  bool hasSource = false, hasDestination = false;
  WideString source, destination;
  std::string sourceText = "-", destinationText = "-";
  bool onSuccess = false, onFailure = false;
  INT successResult = 1, failureResult = 1;
};

// What the last call returned: the strings must stay while the library is loaded.
std::vector<Command> commands;

#ifdef _WIN32
HMODULE self = nullptr;
#endif

std::string ownFolder() {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  std::string text(path, length);
#else
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ownFolder), &info) || !info.dli_fname) return ".";
  std::string text = info.dli_fname;
#endif
  size_t cut = text.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : text.substr(0, cut);
}

std::string besideMe(const char* name) {
  std::string folder = ownFolder();
#ifdef _WIN32
  return folder + "\\" + name;
#else
  return folder + "/" + name;
#endif
}

// UTF-8 to UTF-16 code units; a byte that starts no valid sequence stands for itself.
WideString widen(const std::string& text) {
  WideString out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t code = c;
    size_t length = 1;
    if (c >= 0xF0) length = 4, code = c & 0x07;
    else if (c >= 0xE0) length = 3, code = c & 0x0F;
    else if (c >= 0xC0) length = 2, code = c & 0x1F;
    if (length > 1 && i + length <= text.size()) {
      for (size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    } else {
      length = 1;
      code = c;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<WCHAR>(0xD800 + (code >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(code));
    }
    i += length;
  }
  return out;
}

// The words of a line: blanks separate them, double quotes hold blanks in one.
std::vector<std::string> wordsOf(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) end = line.size();
      word = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

void setPath(bool& has, WideString& wide, std::string& text, const std::string& word) {
  has = word != "-";
  text = word;
  if (has) wide = widen(word);
}

// One line of deploy.commands: a RESULT sets *result, a command joins `commands`.
void readLine(const std::string& line, INT* result) {
  std::vector<std::string> words = wordsOf(line);
  if (words.empty() || words[0][0] == '#') return;
  std::string kind = words[0];
  size_t next = 1;
  if (kind == "RESULT" && words.size() > 1) {
    *result = std::stoi(words[1]);
    return;
  }
  Command command;
  if (!kind.empty() && kind.back() == '?') {
    command.continueOnError = 1;
    kind.pop_back();
  }
  if (kind == "COPY") command.kind = kDeployCommandCopy;
  else if (kind == "DELETE") command.kind = kDeployCommandDelete;
  else if (kind == "KIND" && words.size() > 1) command.kind = static_cast<DWORD>(std::stoul(words[next++]));
  else return;
  for (; next < words.size() && words[next].size() > 1 && words[next][0] == '+'; ++next) {
    const std::string& option = words[next];
    size_t equals = option.find('=');
    std::string name = option.substr(1, equals == std::string::npos ? std::string::npos : equals - 1);
    INT value = equals == std::string::npos ? 1 : std::stoi(option.substr(equals + 1));
    if (name == "ok") command.onSuccess = true, command.successResult = value;
    if (name == "fail") command.onFailure = true, command.failureResult = value;
  }
  std::vector<std::string> paths(words.begin() + static_cast<std::ptrdiff_t>(next), words.end());
  if (command.kind == kDeployCommandDelete) {
    if (!paths.empty()) setPath(command.hasDestination, command.destination, command.destinationText, paths[0]);
  } else {
    if (paths.size() > 0) setPath(command.hasSource, command.source, command.sourceText, paths[0]);
    if (paths.size() > 1) setPath(command.hasDestination, command.destination, command.destinationText, paths[1]);
  }
  commands.push_back(command);
}

// Reads deploy.commands into `commands`; returns what the entry point returns.
INT readCommands() {
  commands.clear();
  INT result = 1;
  std::ifstream in(besideMe("deploy.commands"), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    try {
      readLine(line, &result);
    } catch (const std::exception&) {
      // A number that is none: the line is ignored, as the format says.
    }
  }
  return result;
}

void record(const std::string& line) {
  std::ofstream out(besideMe("deploy.calls"), std::ios::binary | std::ios::app);
  out << line << "\n";
}

const Command* commandOf(LPCWSTR source, LPCWSTR destination) {
  for (const Command& c : commands) {
    if ((c.hasSource ? c.source.c_str() : nullptr) == source &&
        (c.hasDestination ? c.destination.c_str() : nullptr) == destination) {
      return &c;
    }
  }
  return nullptr;
}

INT onSuccess(LPCWSTR source, LPCWSTR destination) {
  const Command* c = commandOf(source, destination);
  if (!c) return 0;
  record("success " + c->sourceText + " " + c->destinationText);
  return c->successResult;
}

INT onFailure(LPCWSTR source, LPCWSTR destination) {
  const Command* c = commandOf(source, destination);
  if (!c) return 0;
  record("failure " + c->sourceText + " " + c->destinationText);
  return c->failureResult;
}

}  // namespace

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == 1 /* DLL_PROCESS_ATTACH */) self = instance;
  return TRUE;
}
#endif

DEPLOY_EXPORT INT UnregisterDeployEx(DeployParameterBlock* parameters, DeployCommandList* list) {
  std::ostringstream call;
  call << "call";
  if (parameters) {
    call << " size=" << parameters->size << " version=" << parameters->version << " reserved=" << parameters->reserved
         << " webMode=" << parameters->webMode << " securityLevel=" << parameters->securityLevel << " reservedWords=";
    for (int i = 0; i < 6; ++i) call << (i ? "," : "") << parameters->reservedWords[i];
  }
  if (list) call << " capacity=" << list->capacity << " count=" << list->count;
  INT result = readCommands();
  record(call.str());
  if (!list || !list->commands) return result;
  DWORD filled = 0;
  for (const Command& c : commands) {
    if (filled >= list->capacity) break;
    DeployCommandRecord& r = list->commands[filled++];
    r.kind = c.kind;
    r.continueOnError = c.continueOnError;
    r.source = c.hasSource ? c.source.c_str() : nullptr;
    r.destination = c.hasDestination ? c.destination.c_str() : nullptr;
    r.onSuccess = c.onSuccess ? &onSuccess : nullptr;
    r.onFailure = c.onFailure ? &onFailure : nullptr;
  }
  list->count = static_cast<LONG>(filled);
  return result;
}
