/* Runs a program and writes its whole exit code and process id to a file, since a Unix
   exit status keeps only 8 bits of it: runexit OUTFILE APPLICATION COMMANDLINE. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: runexit OUTFILE APPLICATION COMMANDLINE\n");
    return 2;
  }
  STARTUPINFOW startup = {0};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {0};
  wchar_t* commandLine = _wcsdup(argv[3]);
  if (!commandLine) return 3;
  if (!CreateProcessW(argv[2], commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    fprintf(stderr, "runexit: CreateProcess failed with %lu\n", GetLastError());
    free(commandLine);
    return 4;
  }
  free(commandLine);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code)) return 5;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  FILE* out = _wfopen(argv[1], L"w");
  if (!out) return 6;
  fprintf(out, "%lu %lu\n", code, process.dwProcessId);
  fclose(out);
  return 0;
}
