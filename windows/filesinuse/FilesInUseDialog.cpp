#include "windows/filesinuse/FilesInUseDialog.h"

#include "resources/filesinuse.h"
#include "windows/filesinuse/FilesInUseUtils.h"

namespace {

// OK and Cancel, warning icon, Cancel as the default button.
constexpr UINT kConfirmStyle = MB_OKCANCEL | MB_ICONWARNING | 0x100 /* MB_DEFBUTTON2 */;

// A string resource in its own UTF-16, so that the box reads right in any language.
std::wstring LoadText(HINSTANCE instance, UINT id) {
  WCHAR buffer[256] = {};
  LoadStringW(instance, id, buffer, 256);
  return buffer;
}

}  // namespace

CFilesInUseDialogBase::CFilesInUseDialogBase(HINSTANCE instance, int resourceId, bool browsers)
    : CModalDialog(instance, resourceId), browsers_(browsers) {}

CFilesInUseDialog::CFilesInUseDialog(HINSTANCE instance)
    : CFilesInUseDialogBase(instance, IDD_FILESINUSE, false) {}

CBrowserInUseDialog::CBrowserInUseDialog(HINSTANCE instance)
    : CFilesInUseDialogBase(instance, IDD_BROWSERINUSE, true) {}

INT_PTR CFilesInUseDialogBase::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lParam);
      int id = 0;
      for (int candidate : {IDC_FIU_HEADER, IDC_FIU_WHITE_AREA, IDC_FIU_TITLE, IDC_FIU_EXPLANATION,
                            IDC_FIU_SAVE_WORK, IDC_FIU_BROWSER_LIST}) {
        if (GetDlgItem(Handle(), candidate) == control) id = candidate;
      }
      return look_.ColorStatic(Instance(), reinterpret_cast<HDC>(wParam), control, id);
    }
    case WM_COMMAND:
      // Only the one button; Escape (IDCANCEL) and the disabled close box do nothing.
      if (LOWORD(wParam) == IDOK) {
        OnOk();
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CFilesInUseDialogBase::OnInitDialog() {
  look_.CreateBrush();
  RemoveFIUCancelKey();
  if (GetProcessList()) {
    inUse = 1;
    if (browsers_) {
      SetDlgItemTextW(Handle(), IDC_FIU_BROWSER_LIST, BrowserLines(Instance(), *this).c_str());
    } else {
      FillProgramList();
    }
  }
  EnableMenuItem(GetSystemMenu(Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  look_.CreateFonts(browsers_);
  return look_.BringForward(GetDlgItem(Handle(), IDOK));
}

void CFilesInUseDialogBase::FillProgramList() {
  SendDlgItemMessageA(Handle(), IDC_FIU_PROGRAM_LIST, LB_RESETCONTENT, 0, 0);
  listLines_.clear();
  for (int i = 0; i < count; ++i) {
    std::string line;
    if (!ProgramListLine(processes[i], &line)) continue;
    listLines_.push_back(line);
    SendDlgItemMessageA(Handle(), IDC_FIU_PROGRAM_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  }
  HWND list = GetDlgItem(Handle(), IDC_FIU_PROGRAM_LIST);
  SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(look_.ListExtent(list, listLines_)), 0);
}

void CFilesInUseDialogBase::OnOk() {
  std::wstring text = LoadText(Instance(), browsers_ ? IDS_FIU_CONFIRM_BROWSERS : IDS_FIU_CONFIRM_PROGRAMS);
  std::wstring caption =
      LoadText(Instance(), browsers_ ? IDS_FIU_CONFIRM_BROWSERS_CAPTION : IDS_FIU_CONFIRM_PROGRAMS_CAPTION);
  if (MessageBoxW(Handle(), text.c_str(), caption.c_str(), kConfirmStyle) != IDOK) return;

  EnableWindow(Handle(), FALSE);
  look_.ReleaseHeader();
  EndDialog(Handle(), IDOK);
  // The closing happens before the modal loop returns, so the caller's next scan sees
  // what it left running.
  for (int i = 0; i < count; ++i) {
    bool destroy = SameName(processes[i].szExeFile, "firefox.exe");
    CloseProcessWindows(ClosingTarget(processes[i], browsers_), kCloseTimeoutMs, destroy);
  }
}
