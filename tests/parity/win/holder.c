/* A Windows program that holds a runtime module: it loads the library named by its first
   argument, shows a main window titled by its second, writes its process id and the
   handles of its main window and of the hidden "Default IME" window Windows gives it to
   the file named by its third once the window is up, and ends when that window is closed. */
#include <windows.h>
#include <imm.h>
#include <stdint.h>
#include <stdio.h>

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: holder LIBRARY TITLE READYFILE\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) {
    fprintf(stderr, "holder: LoadLibrary(%s) failed with %lu\n", argv[1], GetLastError());
    return 3;
  }
  WNDCLASSA type = {0};
  type.lpfnWndProc = WindowProc;
  type.hInstance = GetModuleHandleA(NULL);
  type.lpszClassName = "ParityHolder";
  if (!RegisterClassA(&type)) return 4;
  HWND window = CreateWindowExA(0, "ParityHolder", argv[2], WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                320, 200, NULL, NULL, type.hInstance, NULL);
  if (!window) return 5;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  /* The process id, written under a temporary name and moved into place, so that a
     reader never sees half of it. */
  char temporary[MAX_PATH + 8];
  snprintf(temporary, sizeof(temporary), "%s.tmp", argv[3]);
  FILE* ready = fopen(temporary, "w");
  if (!ready) return 6;
  fprintf(ready, "%lu\n%llx\n%llx\n", GetCurrentProcessId(), (unsigned long long)(uintptr_t)window,
          (unsigned long long)(uintptr_t)ImmGetDefaultIMEWnd(window));
  fclose(ready);
  if (!MoveFileExA(temporary, argv[3], MOVEFILE_REPLACE_EXISTING)) return 7;

  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  FreeLibrary(module);
  return 0;
}
