/* The auto-update tool's stand-in: appends "zaureg" and its arguments, one line, to
   %HOSTED_MACHINE%\zaureg.ran, as the hosted machine's script does. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("HOSTED_MACHINE", path, MAX_PATH - 16);
  if (length == 0 || length >= MAX_PATH - 16) return 2;
  lstrcatA(path, "\\zaureg.ran");
  FILE* out = fopen(path, "ab");
  if (!out) return 3;
  fputs("zaureg", out);
  for (int i = 1; i < argc; ++i) fprintf(out, " %s", argv[i]);
  fputs("\n", out);
  fclose(out);
  return 0;
}
