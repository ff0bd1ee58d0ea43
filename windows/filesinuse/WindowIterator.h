// Top-level windows collected through EnumWindows: every window, or (the main-window
// iterator) the visible windows of one process. At most kCapacity are kept.
#pragma once

#include <windows.h>

#include <memory>

class CWindowIterator {
 public:
  static constexpr int kCapacity = 1024;

  CWindowIterator();
  virtual ~CWindowIterator() = default;
  CWindowIterator(const CWindowIterator&) = delete;
  CWindowIterator& operator=(const CWindowIterator&) = delete;

  // Collects the windows now open; returns how many were kept.
  int Collect();
  int Count() const { return count_; }
  HWND Window(int index) const { return index >= 0 && index < count_ ? windows_[index] : nullptr; }

 protected:
  // Called for each window; keeps it when IsWindowOk accepts it and there is room.
  virtual void OnWindow(HWND window);
  // The base accepts every window.
  virtual bool IsWindowOk(HWND window);

 private:
  static BOOL CALLBACK EnumProc(HWND window, LPARAM self);

  std::unique_ptr<HWND[]> windows_;
  int capacity_ = kCapacity;
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
