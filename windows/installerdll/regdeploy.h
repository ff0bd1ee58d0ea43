// Unregistration of the runtime's browser-deployment components, which its own
// deployment library (bin\deploy.dll of the runtime home) knows how to undo.
//
// The library's entry point "UnregisterDeployEx" takes a parameter block and a
// command list that this program allocates, fills the list with file commands (copy
// and delete) and returns non-zero for success; this program then carries the
// commands out. The layouts below are the library's calling contract, byte for byte
// on 64-bit Windows: little-endian, 8-byte pointers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Called by the library's commands after a command succeeded or an excusable one
// failed, with the command's source and destination (either may be null). 0 stops
// the processing of the list.
typedef INT (*DeployCommandCallback)(LPCWSTR source, LPCWSTR destination);

// What the library is asked to do: always size 44, version 4, every other word 0.
struct DeployParameterBlock {
  DWORD size;
  DWORD version;
  DWORD reserved;
  DWORD webMode;
  DWORD securityLevel;
  DWORD reservedWords[6];
};

enum : DWORD {
  kDeployCommandCopy = 1,    // copy source over destination
  kDeployCommandDelete = 2,  // delete destination
};

// One file command. The strings and callbacks belong to the library and are used only
// while it is loaded.
struct DeployCommandRecord {
  DWORD kind;             // kDeployCommandCopy, kDeployCommandDelete; others are skipped
  DWORD continueOnError;  // 1: a failure may be excused
  LPCWSTR source;         // COPY only; UTF-16, NUL-terminated
  LPCWSTR destination;    // the copy's target or the file to delete
  DeployCommandCallback onSuccess;
  DeployCommandCallback onFailure;
  void* reserved;
};

// The list the library fills: this program allocates `capacity` zeroed records.
struct DeployCommandList {
  DWORD reserved;
  DWORD capacity;
  LONG count;  // records filled; below 1 means none
  DWORD reserved2;
  DeployCommandRecord* commands;
};

typedef INT (*UnregisterDeployExFunction)(DeployParameterBlock* parameters, DeployCommandList* commands);

static_assert(sizeof(DeployParameterBlock) == 44, "parameter block layout");
static_assert(offsetof(DeployParameterBlock, securityLevel) == 16 && offsetof(DeployParameterBlock, reservedWords) == 20,
              "parameter block layout");
static_assert(sizeof(DeployCommandList) == 24, "command list layout");
static_assert(offsetof(DeployCommandList, count) == 8 && offsetof(DeployCommandList, commands) == 16,
              "command list layout");
static_assert(sizeof(DeployCommandRecord) == 48, "command record layout");
static_assert(offsetof(DeployCommandRecord, source) == 8 && offsetof(DeployCommandRecord, destination) == 16 &&
                  offsetof(DeployCommandRecord, onSuccess) == 24 && offsetof(DeployCommandRecord, onFailure) == 32 &&
                  offsetof(DeployCommandRecord, reserved) == 40,
              "command record layout");

// RegisterDeploy's results.
enum : UINT {
  kRegisterDeployOk = 0,
  kRegisterDeployNoLibrary = 2,       // bin\deploy.dll of the home cannot be loaded
  kRegisterDeployNoEntryPoint = 10,   // the library has no "UnregisterDeployEx"
  kRegisterDeployRefused = 11,        // "UnregisterDeployEx" returned 0
  kRegisterDeployCommandFailed = 12,  // a file command failed and was not excused
};

// The number of record slots offered to the library.
inline constexpr DWORD kDeployCommandCapacity = 20;

// Asks the deployment library of the runtime at `home` (no trailing separator) to
// unregister, and carries out the file commands it returns. `install` is false in
// this program. When REGDEPLOY_INSTALL_DEBUG is set and not empty, a "debug" message
// box comes first (so a debugger can be attached). Returns one of the results above;
// never throws. Both libraries are freed before it returns.
UINT RegisterDeploy(BOOL install, const char* home);

// Carries out the first `count` records of `list` in order (never more than
// kDeployCommandCapacity): COPY with overwrite, DELETE (a file already gone counts as
// deleted). After a success the record's success callback, if any, is called; a
// failure is logged, and is excused when the record's continue-on-error flag is 1 and
// its failure callback (if any) does not return 0. A callback returning 0 ends the
// list with false. Records of another kind or without the paths their kind needs are skipped.
// True when every record was carried out, excused or skipped.
bool processCommands(const DeployCommandList& list);
