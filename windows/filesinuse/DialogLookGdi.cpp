// The look of the dialogs on the screen: a white page under a banner, the title in a
// large bold font, and the texts in the system's dialog face for its country.
#include "windows/filesinuse/DialogLook.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "resources/filesinuse.h"
#include "windows/common/SysInfo.h"

namespace {

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

// Windows Vista or later, where SwitchToThisWindow brings a window forward reliably.
bool IsVistaOrLater() { return SysInfo::osVersion() >= 2; }

bool IsXpOrOlder() { return !IsVistaOrLater(); }

// The face for the system locale's country: a Japanese face in Japan, the older system
// face before Vista and in Korea, China and Taiwan, else Segoe UI.
const char* FaceName() {
  char country[128] = {};
  GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SENGCOUNTRY, country, sizeof(country));
  if (lstrcmpiA(country, "Japan") == 0) return "MS UI Gothic";
  if (IsXpOrOlder()) return "Mox Sans";
  if (lstrcmpiA(country, "Korea") == 0 || lstrcmpiA(country, "China") == 0 || lstrcmpiA(country, "Taiwan") == 0) {
    return "Mox Sans";
  }
  return "Segoe UI";
}

HFONT CreateDialogFont(int points, bool bold, bool underline) {
  HDC screen = GetDC(nullptr);
  LOGFONTA font{};
  font.lfHeight = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  font.lfWeight = bold ? FW_BOLD : FW_MEDIUM;
  font.lfUnderline = underline ? TRUE : FALSE;
  font.lfCharSet = 0;
  lstrcpynA(font.lfFaceName, FaceName(), LF_FACESIZE);
  return CreateFontIndirectA(&font);
}

}  // namespace

struct DialogLook::Objects {
  HBRUSH whiteBrush = nullptr;
  HFONT normalFont = nullptr;
  HFONT titleFont = nullptr;
  HFONT boldListFont = nullptr;
  HBITMAP header = nullptr;
  HDC headerDc = nullptr;
  LONG headerWidth = 0;
  LONG headerHeight = 0;
};

DialogLook::DialogLook() : objects_(new Objects) {}

DialogLook::~DialogLook() {
  ReleaseHeader();
  for (HFONT font : {objects_->normalFont, objects_->titleFont, objects_->boldListFont}) {
    if (font) DeleteObject(font);
  }
  delete objects_;
}

void DialogLook::CreateBrush() { objects_->whiteBrush = CreateSolidBrush(kWhite); }

void DialogLook::CreateFonts(bool boldList) {
  objects_->normalFont = CreateDialogFont(10, false, false);
  objects_->titleFont = CreateDialogFont(12, true, false);
  if (boldList) objects_->boldListFont = CreateDialogFont(10, true, false);
}

int DialogLook::ListExtent(HWND listBox, const std::vector<std::string>& lines) const {
  if (lines.empty()) return 0;
  HDC dc = GetDC(listBox);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(listBox, WM_GETFONT, 0, 0)));
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  int widest = 0;
  for (const std::string& line : lines) {
    SIZE size{};
    GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size);
    widest = std::max<int>(widest, size.cx + 2 * metrics.tmAveCharWidth);
  }
  SelectObject(dc, old);
  ReleaseDC(listBox, dc);
  return widest;
}

INT_PTR DialogLook::BringForward(HWND button) const {
  if (IsVistaOrLater()) {
    SwitchToThisWindow(button, TRUE);
    return FALSE;
  }
  return SetForegroundWindow(button) ? FALSE : TRUE;
}

INT_PTR DialogLook::ColorStatic(HINSTANCE instance, HDC dc, HWND control, int id) {
  switch (id) {
    case IDC_FIU_EXPLANATION:
    case IDC_FIU_SAVE_WORK:
      SelectObject(dc, objects_->normalFont);
      return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case IDC_FIU_TITLE:
      SelectObject(dc, objects_->titleFont);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
    case IDC_FIU_HEADER: {
      if (!objects_->header) {
        objects_->header = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_FIU_HEADER));
        if (objects_->header) {
          BITMAP info{};
          GetObjectA(objects_->header, sizeof(info), &info);
          objects_->headerWidth = info.bmWidth;
          objects_->headerHeight = info.bmHeight;
          objects_->headerDc = CreateCompatibleDC(dc);
          SelectObject(objects_->headerDc, objects_->header);
        }
      }
      if (objects_->headerDc) {
        RECT area{};
        GetClientRect(control, &area);
        StretchBlt(dc, 0, 0, area.right, area.bottom, objects_->headerDc, 0, 0, objects_->headerWidth,
                   objects_->headerHeight, SRCCOPY);
      }
      return reinterpret_cast<INT_PTR>(GetStockObject(HOLLOW_BRUSH));
    }
    case IDC_FIU_BROWSER_LIST:
      if (objects_->boldListFont) SelectObject(dc, objects_->boldListFont);
      return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    default:
      return reinterpret_cast<INT_PTR>(objects_->whiteBrush);
  }
}

void DialogLook::ReleaseHeader() {
  if (objects_->headerDc) DeleteDC(objects_->headerDc);
  if (objects_->header) DeleteObject(objects_->header);
  if (objects_->whiteBrush) DeleteObject(objects_->whiteBrush);
  objects_->headerDc = nullptr;
  objects_->header = nullptr;
  objects_->whiteBrush = nullptr;
}
