// The entry point: the whole uninstallation of the release, in a fixed order, on one
// thread. Failures inside a step are handled there; an exception that leaves a step
// ends the run with kExitException. Every record of the sequence names WinMain, so
// the helpers below only act and leave the logging to it.
#include "windows/uninstallerexe/uninstaller.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <string>
#include <vector>

#include "common/share/ScopedHandle.h"
#include "windows/common/AllUtils.h"
#include "windows/common/Executor.h"
#include "windows/common/FileUtils.h"
#include "windows/common/InstallConfigData.h"
#include "windows/common/Logger.h"
#include "windows/common/RegistryBackup.h"
#include "windows/common/RegistryKey.h"
#include "windows/common/RunResult.h"
#include "windows/common/SysInfo.h"
#include "windows/filesinuse/FilesInUse.h"
#include "windows/filesinuse/FilesInUseDialog.h"
#include "windows/installerdll/RegInstallShare.h"

namespace {

// The key of the release's family (1.8), under HKEY_LOCAL_MACHINE.
constexpr const char* kFamilyKey = "SOFTWARE\\Corvane\\Zuna Runtime Environment\\1." "8";
// The family's cached base image, in the patch-cache folder.
constexpr const char* kBaseImage = "\\baseimagefam" "8";
// The auto-update registration tool, under the 32-bit Common Files folder, and what
// it is told.
constexpr const char* kAutoUpdateTool = "\\Zuna\\Zuna Update\\zaureg.exe";
constexpr const char* kAutoUpdateArguments = " -u auto-update";
// ExecProcess's show mode for a window-less start.
constexpr DWORD kShowHidden = 1;

// Whether a version key of the release's family remains under the runtime main key
// (the family key itself included): the family is installed while one does, whatever
// became of its family key.
bool FamilyStillRegistered() {
  RegistryTreeKey main;
  if (main.Open(HKEY_LOCAL_MACHINE, kZreMainKey, KEY_READ) != ERROR_SUCCESS) return false;
  char name[1024];
  for (DWORD index = 0; main.EnumSubKey(index, name, sizeof name) == ERROR_SUCCESS; ++index) {
    std::string major, minor, micro, update;
    SplitVersion(name, major, minor, micro, update);
    if (lstrcmpiA((major + "." + minor).c_str(), kZreFamily) == 0) return true;
  }
  return false;
}

// The classes the dialogs need: list view, tree view, bar, tab, up-down, progress,
// hot-key and animate.
constexpr DWORD kCommonControlClasses = 0xFF;

bool InitializeCommonControls() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = kCommonControlClasses;
  return InitCommonControlsEx(&controls) != FALSE;
}

// Every right a process had before Vista. The newer SDKs' PROCESS_ALL_ACCESS adds rights
// that older systems refuse the whole request for.
constexpr DWORD kAllProcessAccess = 0x1F0FFF;

// Lets the scan open processes of other users; every failure is ignored.
void EnableDebugPrivilege() {
  ScopedHandle process(OpenProcess(kAllProcessAccess, FALSE, GetCurrentProcessId()));
  if (!process.valid()) return;
  LUID luid;
  if (!LookupPrivilegeValueA(nullptr, SE_DEBUG_NAME, &luid)) return;
  ScopedHandle token;
  if (!OpenProcessToken(process.get(), TOKEN_ADJUST_PRIVILEGES, token.receive())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}


// Shows the close-browsers dialog when only browsers hold runtime files, else the
// close-programs dialog; each scans again itself, so that it shows what runs now.
template <class Dialog>
void ShowFilesInUseDialog(HINSTANCE instance, const std::vector<std::string>& directories) {
  Dialog dialog(instance);
  dialog.directories = directories;
  dialog.DoModal(nullptr, 0);
}

// The processes of the last scan, for the run's result.
std::vector<RunResult::Process> ProcessesOf(const CFilesInUse& scanner) {
  std::vector<RunResult::Process> processes;
  for (int i = 0; i < scanner.count && i < CFilesInUse::kMaxProcesses; ++i) {
    processes.push_back({scanner.processes[i].th32ProcessID, scanner.processes[i].szExeFile});
  }
  return processes;
}

// Ends the registry backup and writes the run's result beside the log. Neither may
// change how the run ends: a failure is logged and nothing more.
void FinishRunRecords(DWORD exitCode) {
  try {
    RegistryBackup& backup = RegistryBackup::instance();
    backup.stop();
    std::string directory = SysInfo::getTempDir();
    if (directory.empty()) {
      LOG_ERROR("Cannot write the result of the run: the temporary folder is unknown.");
      return;
    }
    RunResult::instance().write(directory, exitCode, backup.fileName(), backup.counts());
  } catch (const std::exception& e) {
    LOG_ERROR(std::string("Cannot write the result of the run: ") + e.what());
  } catch (...) {
    LOG_ERROR("Cannot write the result of the run.");
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  RunResult::instance().start(kZreRelease);
  int exitCode = static_cast<int>(kExitException);
  try {
    // Built here rather than before WinMain, so that a failure to build it is
    // reported below like any other.
    InstallConfigData& config = InstallConfigData::Instance();

    LOG_TRACE("Entered uninstaller.exe WinMain.");

    // From here on every registry change is recorded for the undo file.
    RegistryBackup::instance().start(SysInfo::getTempDir());

    // Keep the current directory out of the library search path for the whole run.
    SetDllDirectoryA("");

    bool silent = false;
    if (config.LoadConfigSettings(instance, GetCommandLineW()) == 0) {
      silent = config.IsSilent();
      RunResult::instance().setSilent(silent);
    } else {
      LOG_ERROR("Error occurred while loading configuration settings in Uninstaller.");
    }

    if (!InitializeCommonControls()) {
      if (!silent) MessageBoxA(nullptr, "Could not initialize common controls!", "Failure", MB_ICONERROR);
      LOG_ERROR("Uninstaller could not initialize common controls.");
    }

    // The runtime home, as found in the registry; empty when it cannot be found.
    char home[MAX_PATH] = {};
    if (!FindZunaHome(kZreRelease, home, sizeof home, 0)) LOG_ERROR("Cannot determine ZunaHome.");

    EnableDebugPrivilege();

    CFilesInUse scanner;
    scanner.SetDirectories(home);
    std::vector<std::string> directories = scanner.directories;
    bool filesInUse = scanner.GetProcessList() != 0;
    while (filesInUse) {
      if (silent) {
        LOG_ERROR("Some files are locked in silent mode. Reboot will happen after uninstallation.");
        RunResult::instance().setFilesLockedInSilentMode(ProcessesOf(scanner));
        break;
      }
      if (scanner.onlyBrowsers) {
        ShowFilesInUseDialog<CBrowserInUseDialog>(instance, directories);
      } else {
        ShowFilesInUseDialog<CFilesInUseDialog>(instance, directories);
      }
      directories = scanner.directories;
      filesInUse = scanner.GetProcessList() != 0;
    }

    UninstallZRE(kZreRelease, 0);

    // While a runtime of the family stays registered its cached base image is kept; the
    // key stays open until the run ends. A family key that is missing while a release
    // of the family remains (one whose home could not be read, or a run ended before
    // the key was written again) does not make the image go.
    RegistryKey familyKey(HKEY_LOCAL_MACHINE);
    if (familyKey.OpenKey(kFamilyKey, KEY_READ) != ERROR_SUCCESS && !FamilyStillRegistered()) {
      std::string patchCache = SysInfo::getPatchCache(SysInfo::is32BitEnvironment() ? 32 : 64);
      DeleteFileA((patchCache + kBaseImage).c_str());
      RemoveDirectoryA(patchCache.c_str());
    }

    std::string tool = combinePath(SysInfo::getProgramFilesCommonX86Dir(), kAutoUpdateTool);
    if (FileUtils::exists(tool)) {
      // Started and left to run: the run does not wait for the tool.
      if (ExecProcess(tool, tool + kAutoUpdateArguments, kShowHidden) != 0) {
        LOG_ERROR("-- Exec: zaureg call failed");
      }
    } else {
      LOG_INFO("Not running " + tool + " as it doesn't exist.");
    }

    exitCode = static_cast<int>(kExitSuccess);
  } catch (const std::exception& e) {
    reportException(ZU_HERE, e);
  } catch (...) {
    reportUnknownException(ZU_HERE);
  }
  FinishRunRecords(static_cast<DWORD>(exitCode));
  return exitCode;
}
