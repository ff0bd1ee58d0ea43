#include "windows/filesinuse/WindowIterator.h"

CWindowIterator::CWindowIterator() : windows_(new HWND[kCapacity]) {}

int CWindowIterator::Collect() {
  count_ = 0;
  EnumWindows(&CWindowIterator::EnumProc, reinterpret_cast<LPARAM>(this));
  return count_;
}

BOOL CALLBACK CWindowIterator::EnumProc(HWND window, LPARAM self) {
  reinterpret_cast<CWindowIterator*>(self)->OnWindow(window);
  return TRUE;
}

void CWindowIterator::OnWindow(HWND window) {
  if (count_ < capacity_ && IsWindowOk(window)) windows_[count_++] = window;
}

bool CWindowIterator::IsWindowOk(HWND) { return true; }

bool CMainWindowIterator::IsWindowOk(HWND window) {
  if ((GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE) == 0) return false;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId_;
}
