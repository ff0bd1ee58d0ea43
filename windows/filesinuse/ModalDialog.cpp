#include "windows/filesinuse/ModalDialog.h"

#include <map>

namespace {

// The dialogs being shown on this (the only) thread, by window, and the one being
// created, whose first messages arrive before its window is known.
std::map<HWND, CModalDialog*>& ShownDialogs() {
  static std::map<HWND, CModalDialog*> dialogs;
  return dialogs;
}
CModalDialog* g_starting = nullptr;

}  // namespace

INT_PTR CModalDialog::DoModal(HWND parent, LPARAM param) {
  param_ = param;
  CModalDialog* outer = g_starting;
  g_starting = this;
  // The wide function: the template's texts are shown as they are, in any script.
  INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(resourceId_), parent, &CModalDialog::DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  g_starting = outer;
  if (hwnd_) ShownDialogs().erase(hwnd_);
  hwnd_ = nullptr;
  return result;
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CModalDialog* dialog = nullptr;
  auto it = ShownDialogs().find(hwnd);
  if (it != ShownDialogs().end()) {
    dialog = it->second;
  } else if (g_starting) {
    dialog = g_starting;
    dialog->hwnd_ = hwnd;
    ShownDialogs()[hwnd] = dialog;
  }
  if (!dialog) return FALSE;
  if (message == WM_INITDIALOG) lParam = dialog->param_;
  return dialog->OnMessage(message, wParam, lParam);
}
