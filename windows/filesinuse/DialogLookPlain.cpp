// The look of the dialogs where nothing is drawn: no GDI objects at all.
#include "windows/filesinuse/DialogLook.h"

struct DialogLook::Objects {};

DialogLook::DialogLook() : objects_(nullptr) {}
DialogLook::~DialogLook() = default;
void DialogLook::CreateBrush() {}
void DialogLook::CreateFonts(bool) {}
int DialogLook::ListExtent(HWND, const std::vector<std::string>&) const { return 0; }
INT_PTR DialogLook::BringForward(HWND) const { return FALSE; }
INT_PTR DialogLook::ColorStatic(HINSTANCE, HDC, HWND, int) { return 0; }
void DialogLook::ReleaseHeader() {}
