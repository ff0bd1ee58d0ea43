// FormatMessageW with the English texts Windows has for the codes this program meets.
#include <windows.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Text.h"

namespace {

const std::map<DWORD, const char*>& systemMessages() {
  static const std::map<DWORD, const char*> messages = {
      {0, "The operation completed successfully."},
      {1, "Incorrect function."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {4, "The system cannot open the file."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {14, "Not enough memory resources are available to complete this operation."},
      {15, "The system cannot find the drive specified."},
      {17, "The system cannot move the file to a different disk drive."},
      {18, "There are no more files."},
      {19, "The media is write protected."},
      {24, "The program issued a command but the command length is incorrect."},
      {32, "The process cannot access the file because it is being used by another process."},
      {33, "The process cannot access the file because another process has locked a portion of the file."},
      {38, "Reached the end of the file."},
      {50, "The request is not supported."},
      {80, "The file exists."},
      {82, "The directory or file cannot be created."},
      {87, "The parameter is incorrect."},
      {109, "The pipe has been ended."},
      {111, "The file name is too long."},
      {112, "There is not enough space on the disk."},
      {120, "This function is not supported on this system."},
      {122, "The data area passed to a system call is too small."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {126, "The specified module could not be found."},
      {127, "The specified procedure could not be found."},
      {145, "The directory is not empty."},
      {160, "One or more arguments are not correct."},
      {161, "The specified path is invalid."},
      {183, "Cannot create a file when that file already exists."},
      {193, "%1 is not a valid Win32 application."},
      {203, "The system could not find the environment option that was entered."},
      {206, "The filename or extension is too long."},
      {232, "The pipe is being closed."},
      {234, "More data is available."},
      {258, "The wait operation timed out."},
      {259, "No more data is available."},
      {267, "The directory name is invalid."},
      {299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed."},
      {317, "The system cannot find message text for message number 0x%1 in the message file for %2."},
      {487, "Attempt to access invalid address."},
      {998, "Invalid access to memory location."},
      {1004, "Invalid flags."},
      {1008, "An attempt was made to reference a token that does not exist."},
      {1010, "The configuration registry key is invalid."},
      {1011, "The configuration registry key could not be opened."},
      {1012, "The configuration registry key could not be read."},
      {1013, "The configuration registry key could not be written."},
      {1015, "The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
             "or the system's memory image of the file is corrupted, or the file could not be recovered because "
             "the alternate copy or log was absent or corrupted."},
      {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
             "write out, or flush, one of the files that contain the system's image of the registry."},
      {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
      {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
      {1132, "The base address or the file offset specified does not have the proper alignment."},
      {1168, "Element not found."},
      {1175, "Unable to remove the file to be replaced."},
      {1176, "Unable to move the replacement file to the file to be replaced. The file to be replaced has "
             "retained its original name."},
      {1257, "The security identifier provided is not from an account domain."},
      {1300, "Not all privileges or groups referenced are assigned to the caller."},
      {1305, "The revision level is unknown."},
      {1313, "A specified privilege does not exist."},
      {1314, "A required privilege is not held by the client."},
      {1337, "The security ID structure is invalid."},
      {1338, "The security descriptor structure is invalid."},
      {1400, "Invalid window handle."},
      {1413, "Invalid index."},
      {1421, "Control ID not found."},
      {1460, "This operation returned because the timeout period expired."},
      {1627, "Function failed during execution."},
      {1813, "The specified resource type cannot be found in the image file."},
      {1814, "The specified resource name cannot be found in the image file."},
      {1921, "The name of the file cannot be resolved by the system."},
      {4390, "The file or directory is not a reparse point."},
      {4392, "The data present in the reparse point buffer is invalid."},
      {4393, "The tag present in the reparse point buffer is invalid."},
      {4394, "There is a mismatch between the tag specified in the request and the tag present in the reparse "
             "point."},
      {0x80004001, "Not implemented"},
      {0x80004002, "No such interface supported"},
      {0x80004003, "Invalid pointer"},
      {0x80004004, "Operation aborted"},
      {0x80004005, "Unspecified error"},
      {0x8000FFFF, "Catastrophic failure"},
  };
  return messages;
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD,
                                       LPWSTR lpBuffer, DWORD nSize, va_list*) {
  // Only the system's message table exists here; modules carry none.
  const char* text = nullptr;
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) && !((dwFlags & FORMAT_MESSAGE_FROM_HMODULE) && lpSource)) {
    DWORD id = dwMessageId;
    // Windows finds Win32 errors wrapped in an HRESULT under their own code.
    if ((id & 0xFFFF0000u) == 0x80070000u) id &= 0xFFFFu;
    auto it = systemMessages().find(id);
    if (it != systemMessages().end()) text = it->second;
  }
  if (!text) {
    hosted::setLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::wstring wide = hosted::utf8ToWide(text);
  wide += L"\r\n";
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto block = static_cast<LPWSTR>(LocalAlloc(LPTR, (wide.size() + 1) * sizeof(WCHAR)));
    if (!block) return 0;
    std::memcpy(block, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
    return static_cast<DWORD>(wide.size());
  }
  if (!lpBuffer || wide.size() + 1 > nSize) {
    hosted::setLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  return static_cast<DWORD>(wide.size());
}
