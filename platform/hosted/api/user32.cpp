// user32: message boxes, shown on the terminal and answered by --answer or the user.
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/hosted/machine/Run.h"
#include "platform/hosted/machine/Machine.h"
#include "platform/hosted/api/Prompt.h"
#include "platform/hosted/machine/Text.h"

namespace hosted {

std::string askOkOrCancel(const std::string& question) {
  Session& session = machine().session();
  if (!session.answers.empty()) {
    std::string answer = session.answers.front();
    session.answers.pop_front();
    return answer;
  }
  if (!session.interactive) {
    abandonRun(kExitUnavailable, "nobody can answer \"" + question + "\" (give --answer ok or --answer cancel)");
  }
  while (true) {
    std::fprintf(stderr, "[OK / Cancel] > ");
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) {
      abandonRun(kExitUnavailable, "no answer to \"" + question + "\": standard input ended");
    }
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line == "ok" || line == "o") return "ok";
    if (line == "cancel" || line == "c") return "cancel";
  }
}

}  // namespace hosted

namespace {

// Shows a box whose texts are UTF-8, journals it and gives the answer.
int messageBox(const std::string& text, const std::string& caption, UINT uType) {
  auto& machine = hosted::machine();
  if (machine.session().interactive) {
    std::fprintf(stderr, "\n== %s ==\n%s\n", caption.c_str(), text.c_str());
  }
  std::string answer = "ok";
  UINT buttons = uType & MB_TYPEMASK;
  if (buttons == MB_OKCANCEL) {
    answer = hosted::askOkOrCancel(caption + ": " + text);
  } else if (buttons != MB_OK) {
    // The program shows no other kind of box; answer it as a user would dismiss it.
    answer = "cancel";
  }
  auto event = hosted::Journal::event("messageBox");
  event["caption"] = caption;
  event["text"] = text;
  event["style"] = uType;
  event["answer"] = answer;
  machine.journal().append(event);
  return answer == "ok" ? IDOK : IDCANCEL;
}

}  // namespace

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return messageBox(hosted::ansiToUtf8(lpText ? lpText : ""), hosted::ansiToUtf8(lpCaption ? lpCaption : "Error"),
                    uType);
}

extern "C" int WINAPI MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  return messageBox(hosted::wideToUtf8(lpText ? lpText : L""), hosted::wideToUtf8(lpCaption ? lpCaption : L"Error"),
                    uType);
}
