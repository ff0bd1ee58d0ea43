// The close-programs and close-browsers dialogs. Each scans for the processes that hold
// runtime files when it opens, shows them (by program or by kind of browser), and has
// one button: after the user confirms, the dialog ends and closes every recorded
// process. There is no way to cancel: the close box is disabled and Escape does nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "windows/filesinuse/DialogLook.h"
#include "windows/filesinuse/FilesInUse.h"
#include "windows/filesinuse/ModalDialog.h"

class CFilesInUseDialogBase : public CFilesInUse, public CModalDialog {
 public:
  // The lines the list shows, in recorded order (the list box sorts them).
  const std::vector<std::string>& ListLines() const { return listLines_; }

 protected:
  CFilesInUseDialogBase(HINSTANCE instance, int resourceId, bool browsers);

  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  INT_PTR OnInitDialog();
  void OnOk();
  void FillProgramList();

  bool browsers_;
  std::vector<std::string> listLines_;
  DialogLook look_;
};

// Dialog 8900: lists the programs that use the runtime.
class CFilesInUseDialog : public CFilesInUseDialogBase {
 public:
  explicit CFilesInUseDialog(HINSTANCE instance);
};

// Dialog 8901: lists the kinds of browser that use the runtime.
class CBrowserInUseDialog : public CFilesInUseDialogBase {
 public:
  explicit CBrowserInUseDialog(HINSTANCE instance);
};
