// A modal dialog from a dialog resource, run by DialogBoxParamW: the small base the
// files-in-use dialogs derive from. Messages go to OnMessage of the dialog object.
#pragma once

#include <windows.h>

class CModalDialog {
 public:
  CModalDialog(HINSTANCE instance, int resourceId) : instance_(instance), resourceId_(resourceId) {}
  virtual ~CModalDialog() = default;
  CModalDialog(const CModalDialog&) = delete;
  CModalDialog& operator=(const CModalDialog&) = delete;

  // Runs the dialog until it ends; returns its result, or -1 when it cannot be shown.
  // `param` is available to the dialog as InitParam() while it runs.
  INT_PTR DoModal(HWND parent = nullptr, LPARAM param = 0);

 protected:
  // Returns TRUE for a message the dialog handled (WM_INITDIALOG: FALSE when it set the
  // focus itself). WM_CTLCOLOR* results are brushes.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  HWND Handle() const { return hwnd_; }
  HINSTANCE Instance() const { return instance_; }
  LPARAM InitParam() const { return param_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  int resourceId_;
  HWND hwnd_ = nullptr;
  LPARAM param_ = 0;
};
