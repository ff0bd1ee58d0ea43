// How the files-in-use dialogs look: brushes, fonts, the header banner and the
// bringing forward of the dialog. Where there is no screen to draw on, the look does
// nothing and the dialogs work the same.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class DialogLook {
 public:
  DialogLook();
  ~DialogLook();
  DialogLook(const DialogLook&) = delete;
  DialogLook& operator=(const DialogLook&) = delete;

  // The white brush, at the start of initialisation.
  void CreateBrush();
  // The normal and title fonts, and the bold list font when `boldList` is set.
  void CreateFonts(bool boldList);
  // The widest of the lines in the list box's font, plus twice the font's average
  // character width; 0 for no lines.
  int ListExtent(HWND listBox, const std::vector<std::string>& lines) const;
  // Brings the dialog forward with the focus on `button`; the WM_INITDIALOG result.
  INT_PTR BringForward(HWND button) const;
  // Answers WM_CTLCOLORSTATIC for control `id`.
  INT_PTR ColorStatic(HINSTANCE instance, HDC dc, HWND control, int id);
  // Lets go of the header bitmap, its device context and the white brush.
  void ReleaseHeader();

 private:
  struct Objects;
  Objects* objects_;
};
