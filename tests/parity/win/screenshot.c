/* Saves the screen as a 24-bit BMP: screenshot.exe FILE. The parity suite takes one of
   each box it answers in a scenario that asks for it, to show what the user read. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) return 64;
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DWORD row = ((DWORD)width * 3 + 3) & ~3u;
  DWORD size = row * (DWORD)height;
  BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, size, 0, 0, 0, 0};
  BYTE* pixels = (BYTE*)HeapAlloc(GetProcessHeap(), 0, size);
  int status = 1;
  if (pixels && GetDIBits(memory, bitmap, 0, (UINT)height, pixels, (BITMAPINFO*)&info, DIB_RGB_COLORS)) {
    BITMAPFILEHEADER file = {0x4D42, (DWORD)(sizeof file + sizeof info + size), 0, 0,
                             (DWORD)(sizeof file + sizeof info)};
    FILE* out = fopen(argv[1], "wb");
    if (out) {
      status = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
                       fwrite(pixels, size, 1, out) == 1
                   ? 0
                   : 1;
      fclose(out);
    }
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return status;
}
