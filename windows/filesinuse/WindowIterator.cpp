#include "windows/filesinuse/WindowIterator.h"

CWindowIterator::CWindowIterator(int capacity) : capacity_(capacity) {}

int CWindowIterator::Collect() {
  count_ = 0;
  windows_.clear();
  EnumWindows(&CWindowIterator::EnumProc, reinterpret_cast<LPARAM>(this));
  return count_;
}

BOOL CALLBACK CWindowIterator::EnumProc(HWND window, LPARAM self) {
  reinterpret_cast<CWindowIterator*>(self)->OnWindow(window);
  return TRUE;
}

void CWindowIterator::OnWindow(HWND window) {
  if ((capacity_ == 0 || count_ < capacity_) && IsWindowOk(window)) {
    windows_.push_back(window);
    ++count_;
  }
}

bool CWindowIterator::IsWindowOk(HWND) { return true; }

bool CMainWindowIterator::IsWindowOk(HWND window) {
  if ((GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) == 0) return false;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId_;
}

bool CProcessWindowIterator::IsWindowOk(HWND window) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId_;
}
