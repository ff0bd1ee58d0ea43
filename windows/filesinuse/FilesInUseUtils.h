// What the close-programs and close-browsers dialogs do, apart from drawing: the lines
// they show, whom they close for a recorded process, and how a process is closed.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <string>

class CFilesInUse;

// Results of CloseProcessWindows.
inline constexpr int kCloseFailed = 0;      // not opened, or still running after termination
inline constexpr int kClosedByWindows = 1;  // ended after its windows were asked to close
inline constexpr int kTerminated = 2;       // ended after termination

// How long a process is given to end, once after its windows were asked to close and
// once after termination.
inline constexpr DWORD kCloseTimeoutMs = 5000;

// Asks every top-level window of the process to close (WM_CLOSE, or DestroyWindow when
// `destroy` is set), waits up to `timeoutMs` for the process to end, and otherwise
// terminates it and waits again.
int CloseProcessWindows(DWORD processId, DWORD timeoutMs, bool destroy);

// The line of the close-programs list for a recorded process: the title of its first
// visible window; for Internet Explorer and Chrome processes without one, that of their
// parent; nothing (false) when an ancestor runs the runtime's browser plug-in; else the
// executable name.
bool ProgramListLine(const PROCESSENTRY32& process, std::string* line);

// The process to close for a recorded process. Internet Explorer and Chrome processes
// (and, in the close-browsers dialog, the plug-in launcher) are closed through their
// topmost chain of Internet Explorer or Chrome ancestors; every other process is closed
// itself, as is one whose chain of ancestors runs in a cycle.
DWORD ClosingTarget(const PROCESSENTRY32& process, bool browsersDialog);

// The browser lines of the close-browsers dialog, one per browser flag that is set, in
// the order Internet Explorer, Firefox, Safari, Chrome.
std::wstring BrowserLines(HINSTANCE instance, const CFilesInUse& scan);

// Removes HKEY_CURRENT_USER\Software\Corvane\FIUCancel if it is there. The outcome is
// not reported.
void RemoveFIUCancelKey();
