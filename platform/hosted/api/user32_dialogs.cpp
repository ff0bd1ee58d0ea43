// user32: the executable's modal dialogs and string resources. A dialog is not drawn:
// it is initialised, journaled with what it shows (shown on the terminal too when the
// run is interactive), and then its one button is pressed until the dialog ends.
#include <windows.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/api/Resources.h"
#include "platform/hosted/machine/Text.h"

using hosted::ControlKind;
using hosted::DialogResource;
using hosted::machine;
using hosted::setLastError;

namespace {

// The resources in the machine's user-interface language, or null without resources.
const hosted::LanguageResources* languageResources() {
  const hosted::ExecutableResources* resources = hosted::executableResources();
  return resources ? hosted::chooseLanguage(*resources, machine().facts().uiLanguage) : nullptr;
}

// ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_CONTROL_ID_NOT_FOUND.
constexpr DWORD kErrorResourceNameNotFound = 1814;
constexpr DWORD kErrorResourceTypeNotFound = 1813;
constexpr DWORD kErrorControlIdNotFound = 1421;

struct Control {
  ControlKind kind;
  std::string text;                // UTF-8: a window keeps its text in Unicode
  std::vector<std::string> items;  // as the narrow list-box messages hand them over
  bool enabled = true;
};

struct Dialog {
  HWND handle;
  const DialogResource* resource;
  std::map<int, Control> controls;
  bool enabled = true;
  bool ended = false;
  INT_PTR result = 0;
};

// Dialogs being shown, innermost last. Dialog handles are apart from process windows;
// a control's handle is its dialog's handle plus its id.
std::vector<Dialog*> openDialogs;
constexpr uintptr_t kFirstDialog = 0x7F000000;
constexpr uintptr_t kDialogSpacing = 0x10000;

Dialog* dialogOf(HWND handle) {
  for (Dialog* d : openDialogs) {
    if (d->handle == handle) return d;
  }
  return nullptr;
}

// The dialog and control of a control handle.
std::pair<Dialog*, Control*> controlOf(HWND handle) {
  auto address = reinterpret_cast<uintptr_t>(handle);
  for (Dialog* d : openDialogs) {
    auto base = reinterpret_cast<uintptr_t>(d->handle);
    if (address > base && address < base + kDialogSpacing) {
      auto it = d->controls.find(static_cast<int>(address - base));
      if (it != d->controls.end()) return {d, &it->second};
    }
  }
  return {nullptr, nullptr};
}

// A sorted list box orders its items as the user's locale sorts words, case ignored:
// the order of lstrcmpiA ("My_App" before "MyApp").
bool lessIgnoringCase(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; }

LRESULT listBoxMessage(Control& control, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case LB_RESETCONTENT:
      control.items.clear();
      return 0;
    case LB_ADDSTRING: {
      std::string item = reinterpret_cast<LPCSTR>(lParam);
      auto at = control.kind == ControlKind::SortedListBox
                    ? std::upper_bound(control.items.begin(), control.items.end(), item, lessIgnoringCase)
                    : control.items.end();
      return static_cast<LRESULT>(control.items.insert(at, item) - control.items.begin());
    }
    case LB_GETCOUNT:
      return static_cast<LRESULT>(control.items.size());
    case LB_GETTEXTLEN:
      return wParam < control.items.size() ? static_cast<LRESULT>(control.items[wParam].size()) : LB_ERR;
    case LB_GETTEXT:
      if (wParam >= control.items.size()) return LB_ERR;
      std::strcpy(reinterpret_cast<LPSTR>(lParam), control.items[wParam].c_str());
      return static_cast<LRESULT>(control.items[wParam].size());
    case LB_SETHORIZONTALEXTENT:
      return 0;
    default:
      return 0;
  }
}

// The lines the user reads: the list box's items in the order it shows them, or the
// lines of the text control.
std::vector<std::string> shownLines(const Dialog& dialog) {
  auto it = dialog.controls.find(dialog.resource->linesControl);
  if (it == dialog.controls.end()) return {};
  const Control& control = it->second;
  std::vector<std::string> lines;
  if (control.kind != ControlKind::Static) {
    for (const std::string& item : control.items) lines.push_back(hosted::ansiToUtf8(item));
    return lines;
  }
  size_t start = 0;
  while (start < control.text.size()) {
    size_t end = control.text.find('\n', start);
    if (end == std::string::npos) end = control.text.size();
    if (end > start) lines.push_back(control.text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void show(const Dialog& dialog, const std::vector<std::string>& lines) {
  auto event = hosted::Journal::event("dialog");
  event["resource"] = dialog.resource->id;
  event["caption"] = dialog.resource->caption;
  event["lines"] = nlohmann::ordered_json::array();
  for (const std::string& line : lines) event["lines"].push_back(line);
  machine().journal().append(event);
  if (machine().session().interactive) {
    std::fprintf(stderr, "\n== %s ==\n", dialog.resource->caption);
    for (const std::string& line : lines) std::fprintf(stderr, "  %s\n", line.c_str());
    std::fprintf(stderr, "(pressing the dialog's button)\n");
  }
}

}  // namespace

namespace hosted {

const ExecutableResources* executableResources() {
  static const auto* resources =
      static_cast<const ExecutableResources*>(dlsym(RTLD_DEFAULT, "hostedExecutableResources"));
  return resources;
}

const LanguageResources* chooseLanguage(const ExecutableResources& resources, std::string_view uiLanguage) {
  if (resources.languageCount == 0) return nullptr;
  std::string_view bare = uiLanguage.substr(0, uiLanguage.find('-'));
  const LanguageResources* chosen = nullptr;
  for (size_t i = 0; i < resources.languageCount; ++i) {
    std::string_view tag = resources.languages[i].tag;
    if (hosted::equalsIgnoringAsciiCase(tag, uiLanguage)) return &resources.languages[i];
    if (!chosen && hosted::equalsIgnoringAsciiCase(tag, bare)) chosen = &resources.languages[i];
  }
  return chosen ? chosen : &resources.languages[0];
}

}  // namespace hosted

namespace {

INT_PTR showDialog(const char* function, bool byId, uintptr_t templateName, DLGPROC lpDialogFunc,
                   LPARAM dwInitParam) {
  if (auto error = machine().faults().take(function)) {
    setLastError(*error);
    return -1;
  }
  const DialogResource* resource = nullptr;
  const hosted::LanguageResources* resources = languageResources();
  if (byId && resources) {
    int id = static_cast<int>(templateName);
    for (size_t i = 0; i < resources->dialogCount; ++i) {
      if (resources->dialogs[i].id == id) resource = &resources->dialogs[i];
    }
  }
  if (!resource || !lpDialogFunc) {
    setLastError(resource ? ERROR_INVALID_PARAMETER : kErrorResourceNameNotFound);
    return -1;
  }
  Dialog dialog;
  dialog.handle = reinterpret_cast<HWND>(kFirstDialog + openDialogs.size() * kDialogSpacing);
  dialog.resource = resource;
  for (size_t i = 0; i < resource->controlCount; ++i) {
    dialog.controls[resource->controls[i].id].kind = resource->controls[i].kind;
  }
  openDialogs.push_back(&dialog);
  struct Pop {
    ~Pop() { openDialogs.pop_back(); }
  } pop;

  lpDialogFunc(dialog.handle, WM_INITDIALOG, 0, dwInitParam);
  if (!dialog.ended) show(dialog, shownLines(dialog));
  HWND button = GetDlgItem(dialog.handle, IDOK);
  while (!dialog.ended) {
    // Pressing the button must lead somewhere: to the end of the dialog or at least to
    // a question the user answers. A dialog that does neither would be pressed forever.
    auto before = machine().journal().size();
    lpDialogFunc(dialog.handle, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!dialog.ended && machine().journal().size() == before) {
      hosted::abandonRun(hosted::kExitUnavailable, std::string("the dialog \"") + resource->caption +
                                                       "\" does not end when its button is pressed");
    }
  }
  return dialog.result;
}

}  // namespace

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR lpTemplateName, HWND, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  return showDialog("DialogBoxParamA", IS_INTRESOURCE(lpTemplateName), reinterpret_cast<uintptr_t>(lpTemplateName),
                    lpDialogFunc, dwInitParam);
}

// The dialog's texts are the template's own (Unicode) either way; the wide function
// differs in the messages its procedure gets, which the layer does not translate.
INT_PTR WINAPI DialogBoxParamW(HINSTANCE, LPCWSTR lpTemplateName, HWND, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  return showDialog("DialogBoxParamW", IS_INTRESOURCE(lpTemplateName), reinterpret_cast<uintptr_t>(lpTemplateName),
                    lpDialogFunc, dwInitParam);
}


BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  Dialog* dialog = dialogOf(hDlg);
  if (!dialog) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  dialog->ended = true;
  dialog->result = nResult;
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  Dialog* dialog = dialogOf(hDlg);
  if (!dialog) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (!dialog->controls.count(nIDDlgItem)) {
    setLastError(kErrorControlIdNotFound);
    return nullptr;
  }
  return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hDlg) + static_cast<uintptr_t>(nIDDlgItem));
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto [dialog, control] = controlOf(hWnd);
  if (!control) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (Msg == WM_SETTEXT) {
    control->text = hosted::ansiToUtf8(lParam ? reinterpret_cast<LPCSTR>(lParam) : "");
    return TRUE;
  }
  return listBoxMessage(*control, Msg, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control ? SendMessageA(control, Msg, wParam, lParam) : 0;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  auto [dialog, control] = controlOf(hWnd);
  if (!control) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  control->text = hosted::ansiToUtf8(lpString ? lpString : "");
  return TRUE;
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  auto [dialog, control] = controlOf(hWnd);
  if (!control) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  control->text = hosted::wideToUtf8(lpString ? lpString : L"");
  return TRUE;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control ? SetWindowTextA(control, lpString) : FALSE;
}

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  HWND control = GetDlgItem(hDlg, nIDDlgItem);
  return control ? SetWindowTextW(control, lpString) : FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  if (Dialog* dialog = dialogOf(hWnd)) {
    bool wasDisabled = !dialog->enabled;
    dialog->enabled = bEnable != FALSE;
    return wasDisabled;
  }
  auto [dialog, control] = controlOf(hWnd);
  if (!control) {
    setLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  bool wasDisabled = !control->enabled;
  control->enabled = bEnable != FALSE;
  return wasDisabled;
}

HMENU WINAPI GetSystemMenu(HWND hWnd, BOOL) {
  // The window menu of a dialog shares its handle; nothing reads it back.
  return dialogOf(hWnd) ? reinterpret_cast<HMENU>(hWnd) : nullptr;
}

BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT, UINT) {
  if (!hMenu) return -1;
  return MF_ENABLED;
}

namespace {

// The text of string resource `id` in the user-interface language, or null after
// setting the error (a test's fault for `function`, or the resource missing).
const char* findString(const char* function, UINT id) {
  if (auto error = hosted::machine().faults().take(function, std::to_string(id))) {
    setLastError(*error);
    return nullptr;
  }
  const hosted::LanguageResources* resources = languageResources();
  const char* text = nullptr;
  for (size_t i = 0; resources && i < resources->stringCount; ++i) {
    if (resources->strings[i].id == id) text = resources->strings[i].text;
  }
  if (!text) setLastError(kErrorResourceTypeNotFound);
  return text;
}

}  // namespace

int WINAPI LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax <= 0) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  lpBuffer[0] = '\0';
  const char* text = findString("LoadStringA", uID);
  if (!text) return 0;
  // The resource holds the text in Unicode; the narrow function hands it over in the
  // ANSI code page, cut to the buffer.
  std::string ansi = hosted::utf8ToAnsi(text);
  size_t n = std::min(ansi.size(), static_cast<size_t>(cchBufferMax - 1));
  std::memcpy(lpBuffer, ansi.data(), n);
  lpBuffer[n] = '\0';
  return static_cast<int>(n);
}

int WINAPI LoadStringW(HINSTANCE, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) {
    setLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cchBufferMax > 0) lpBuffer[0] = L'\0';
  const char* text = findString("LoadStringW", uID);
  if (!text) return 0;
  // The resource's own UTF-16 text, whatever the code page.
  static std::map<UINT, std::wstring> resident;
  std::wstring wide = hosted::utf8ToWide(text);
  if (cchBufferMax == 0) {
    // A size of 0 asks for a read-only pointer to the resource, which has no NUL.
    const std::wstring& kept = resident[uID] = wide;
    *reinterpret_cast<const WCHAR**>(lpBuffer) = kept.c_str();
    return static_cast<int>(kept.size());
  }
  size_t n = std::min(wide.size(), static_cast<size_t>(cchBufferMax - 1));
  std::copy(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(n), lpBuffer);
  lpBuffer[n] = L'\0';
  return static_cast<int>(n);
}

}  // extern "C"
