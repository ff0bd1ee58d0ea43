// Child processes and anonymous pipes behave as Windows documents them: start
// failures and their codes, argument splitting, standard handles, waiting, ending.
#include <windows.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;
using zutest::readFile;

class ChildrenTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }

  void script(const std::string& windowsPath, const std::string& body) {
    zutest::writeFile(hostPath(windowsPath), "#!/bin/sh\n" + body);
    ::chmod(hostPath(windowsPath).c_str(), 0755);
  }
  // Starts a program; the result is the call's, the error the thread's last error.
  BOOL start(const char* application, std::string commandLine, PROCESS_INFORMATION& info, STARTUPINFOA startup = {},
             BOOL inherit = FALSE, DWORD flags = 0, void* environment = nullptr, const char* directory = nullptr) {
    startup.cb = sizeof(startup);
    info = PROCESS_INFORMATION{};
    return CreateProcessA(application, commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr, inherit,
                          flags, environment, directory, &startup, &info);
  }
  DWORD finish(PROCESS_INFORMATION& info) {
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0xdeadbeef;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return code;
  }
  std::string hostDir(const std::string& windowsPath) { return fs::canonical(hostPath(windowsPath)).string() + "\n"; }
};

TEST_F(ChildrenTest, StartFailuresAreWindowsErrorsAndJournaled) {
  load();
  fs::create_directories(hostPath("C:\\t\\folder.exe"));
  script("C:\\t\\ok.exe", "");
  char environment[] = "A=1\0";
  struct Case {
    const char* application;
    DWORD error;
    const char* directory = nullptr;
    void* environment = nullptr;
  } const cases[] = {
      {"C:\\t\\missing.exe", ERROR_FILE_NOT_FOUND},  // the executor's tests meet the other missing and bad images
      {"C:\\t\\folder.exe", ERROR_ACCESS_DENIED},
      {"C:\\..\\..\\escape.exe", ERROR_ACCESS_DENIED},
      {"C:\\t\\ok.exe", ERROR_DIRECTORY, "C:\\None"},  // a given current directory must exist
      {"C:\\t\\ok.exe", ERROR_INVALID_PARAMETER, nullptr, environment},  // no environment block
  };
  for (const Case& c : cases) {
    PROCESS_INFORMATION info;
    SetLastError(0);
    EXPECT_FALSE(start(c.application, "x -y", info, {}, FALSE, 0, c.environment, c.directory)) << c.application;
    EXPECT_EQ(GetLastError(), c.error) << c.application;
    EXPECT_EQ(info.hProcess, nullptr);
  }
  machine().faults().failNext("CreateProcessA", ERROR_NOT_ENOUGH_MEMORY, "C:\\t\\ok.exe");
  PROCESS_INFORMATION info;
  EXPECT_FALSE(start("C:\\t\\ok.exe", "", info));
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 6u);
  std::string journal = readFile(dir() / "journal.jsonl");
  EXPECT_EQ(journal.substr(0, journal.find('\n')),
            R"({"event":"createProcess","application":"C:\\t\\missing.exe","commandLine":"x -y","hidden":false,)"
            R"("result":2})");
  EXPECT_EQ(events[5]["result"], ERROR_NOT_ENOUGH_MEMORY);
}

TEST_F(ChildrenTest, ArgumentsSplitAsCommandLineToArgvWAndTheMachineIsFound) {
  zutest::writeFile(dir() / "machine.json", R"({"process": {"currentDirectory": "C:\\Work"}})");
  fs::create_directories(hostPath("C:\\Work"));
  fs::create_directories(hostPath("C:\\Data"));
  load();
  script("C:\\Program Files\\tool.exe",
         "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done > \"$HOSTED_MACHINE/args\"\npwd >> \"$HOSTED_MACHINE/cwd\"\n");
  PROCESS_INFORMATION info;
  STARTUPINFOA startup{};
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  ASSERT_TRUE(start("c:\\program files\\TOOL.EXE",
                    R"("C:\Program Files\tool.exe" a "b c" d\\e "f\"g" h\\\"i "" j""k)", info, startup));
  EXPECT_EQ(finish(info), 0u);
  EXPECT_EQ(readFile(dir() / "args"), "<a>\n<b c>\n<d\\\\e>\n<f\"g>\n<h\\\"i>\n<>\n<jk>\n");
  // A given current directory is taken, in any case.
  ASSERT_TRUE(start("C:\\Program Files\\tool.exe", "t", info, {}, FALSE, 0, nullptr, "c:\\data"));
  EXPECT_EQ(finish(info), 0u);
  EXPECT_EQ(readFile(dir() / "cwd"), hostDir("C:\\Work") + hostDir("C:\\Data"));
  EXPECT_EQ(zutest::readJournal(dir())[0]["hidden"], true);
}

TEST_F(ChildrenTest, WithoutTheCurrentFolderAChildRunsInTheMachineDirectory) {
  zutest::writeFile(dir() / "machine.json", R"({"process": {"currentDirectory": "C:\\Nowhere"}})");
  load();
  script("C:\\pwd.exe", "pwd > \"$HOSTED_MACHINE/cwd\"\nmkdir \"$HOSTED_MACHINE/drives/C/Made\"\n");
  // The layer remembers what it resolved, but not across what a child may have changed.
  EXPECT_EQ(GetFileAttributesA("C:\\Made"), INVALID_FILE_ATTRIBUTES);
  PROCESS_INFORMATION info;
  // Without an application name the program is the command line's first argument.
  ASSERT_TRUE(start(nullptr, "C:\\pwd", info, {}, FALSE, CREATE_NO_WINDOW));
  EXPECT_EQ(finish(info), 0u);
  EXPECT_EQ(GetFileAttributesA("C:\\made"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(readFile(dir() / "cwd"), fs::canonical(dir()).string() + "\n");
  EXPECT_EQ(zutest::readJournal(dir())[0]["hidden"], true) << "CREATE_NO_WINDOW";
  EXPECT_TRUE(zutest::readJournal(dir())[0]["application"].is_null());
}

TEST_F(ChildrenTest, StandardHandlesReachTheChildOnlyWhenInherited) {
  load();
  script("C:\\talk.exe", "echo out\necho err >&2\n");
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  for (BOOL inherit : {TRUE, FALSE}) {
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, &inheritable, 0));
    ASSERT_TRUE(SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0));
    STARTUPINFOA startup{};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write;
    PROCESS_INFORMATION info;
    ASSERT_TRUE(start("C:\\talk.exe", "", info, startup, inherit));
    EXPECT_EQ(finish(info), 0u);
    DWORD available = 0xdeadbeef;
    ASSERT_TRUE(PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(available, inherit ? 8u : 0u) << "handles are passed only with inheritance";
    EXPECT_TRUE(CloseHandle(read));
    EXPECT_TRUE(CloseHandle(write));
  }
}

TEST_F(ChildrenTest, PipesPeekReadAndReportABrokenPipe) {
  load();
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(write, "hello", 5, &done, nullptr));
  EXPECT_EQ(done, 5u);
  char buffer[8] = {};
  DWORD peeked = 0, available = 0, left = 7;
  ASSERT_TRUE(PeekNamedPipe(read, buffer, 3, &peeked, &available, &left));
  EXPECT_EQ(std::string(buffer, peeked), "hel");
  EXPECT_EQ(available, 5u);
  EXPECT_EQ(left, 0u);
  EXPECT_FALSE(ReadFile(write, buffer, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(ReadFile(read, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "hello");

  ASSERT_TRUE(CloseHandle(write));
  const std::pair<std::function<BOOL()>, DWORD> cases[] = {
      {[&] { return PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr); }, ERROR_BROKEN_PIPE},
      {[&] { return ReadFile(read, buffer, sizeof buffer, &done, nullptr); }, ERROR_BROKEN_PIPE},
      {[&] { return CloseHandle(read) && CloseHandle(read); }, ERROR_INVALID_HANDLE},
      {[&] { return ReadFile(reinterpret_cast<HANDLE>(0x7777), buffer, 1, &done, nullptr); }, ERROR_INVALID_HANDLE},
      // Writing with no reader left fails instead of raising a signal.
      {[&] { return CreatePipe(&read, &write, nullptr, 0) && CloseHandle(read) && WriteFile(write, "x", 1, &done, nullptr); },
       ERROR_NO_DATA},
  };
  for (const auto& [call, error] : cases) {
    SetLastError(0);
    EXPECT_FALSE(call());
    EXPECT_EQ(GetLastError(), error);
  }
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(CloseHandle(write));
}

// Exit codes, waits and termination of a running child; an ended one cannot be terminated.
TEST_F(ChildrenTest, WaitingTerminatingAndExitCodes) {
  load();
  script("C:\\sleeper.exe", "exec sleep 20\n");
  PROCESS_INFORMATION info;
  ASSERT_TRUE(start("C:\\sleeper.exe", "", info));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  DWORD before = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 200), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(GetTickCount() - before, 200u) << "the clock moves by the real wait";
  ASSERT_TRUE(TerminateProcess(info.hProcess, 42));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(TerminateProcess(info.hProcess, 1)) << "it has already ended";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(finish(info), 42u);
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1]["event"], "terminateProcess");
  EXPECT_EQ(events[1]["pid"], info.dwProcessId);
  EXPECT_EQ(events[1]["exitCode"], 42);
}

}  // namespace
