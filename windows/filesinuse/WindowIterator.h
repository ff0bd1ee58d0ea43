// Top-level windows collected through EnumWindows: every window (at most kCapacity are
// kept), the visible windows of one process (the main-window iterator, likewise), or every
// window of one process, hidden ones included and without a cap (the process-window
// iterator, for closing a process: no window of it may be left out).
#pragma once

#include <windows.h>

#include <vector>

class CWindowIterator {
 public:
  static constexpr int kCapacity = 1024;

  // `capacity` 0 keeps every window the filter accepts.
  explicit CWindowIterator(int capacity = kCapacity);
  virtual ~CWindowIterator() = default;
  CWindowIterator(const CWindowIterator&) = delete;
  CWindowIterator& operator=(const CWindowIterator&) = delete;

  // Collects the windows now open; returns how many were kept.
  int Collect();
  int Count() const { return count_; }
  HWND Window(int index) const { return index >= 0 && index < count_ ? windows_[static_cast<size_t>(index)] : nullptr; }

 protected:
  // Called for each window; keeps it when IsWindowOk accepts it and there is room.
  virtual void OnWindow(HWND window);
  // The base accepts every window.
  virtual bool IsWindowOk(HWND window);

 private:
  static BOOL CALLBACK EnumProc(HWND window, LPARAM self);

  std::vector<HWND> windows_;
  int capacity_;
  int count_ = 0;
};

class CMainWindowIterator : public CWindowIterator {
 public:
  explicit CMainWindowIterator(DWORD processId) : processId_(processId) {}

 protected:
  // A window that is visible and belongs to the process.
  bool IsWindowOk(HWND window) override;

 private:
  DWORD processId_;
};

class CProcessWindowIterator : public CWindowIterator {
 public:
  explicit CProcessWindowIterator(DWORD processId) : CWindowIterator(0), processId_(processId) {}

 protected:
  // Any window of the process, visible or not.
  bool IsWindowOk(HWND window) override;

 private:
  DWORD processId_;
};
