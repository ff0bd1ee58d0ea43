// The executor with real child processes: shell scripts on the machine's drives.
#include "windows/common/Executor.h"

#include <sys/stat.h>

#include <chrono>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {


class ExecutorTest : public zutest::MachineTest {
 protected:
  // An executable shell script at a Windows path.
  void script(const std::string& windowsPath, const std::string& body) {
    zutest::writeFile(hostPath(windowsPath), "#!/bin/sh\n" + body);
    ::chmod(hostPath(windowsPath).c_str(), 0755);
  }
};

TEST_F(ExecutorTest, CommandLineQuotesTheProgramOnceAndDoesNotRepeatIt) {
  const char* cases[][3] = {  // program, arguments, command line
      {"C:\\t\\a b.exe", "", "\"C:\\t\\a b.exe\""},
      {"  \"C:\\t\\a b.exe\"\t", " -x  ", "\"C:\\t\\a b.exe\" -x"},
      {"C:\\t\\a b.exe", "C:\\t\\a b.exe -u auto-update", "\"C:\\t\\a b.exe\" -u auto-update"},
      {"C:\\t\\a b.exe", "\"C:\\t\\a b.exe\" -u", "\"C:\\t\\a b.exe\" -u"},
      {"C:\\t\\a.exe", "-fullversion", "\"C:\\t\\a.exe\" -fullversion"},
      // The path inside the arguments elsewhere is an ordinary argument.
      {"C:\\t\\a.exe", "-x C:\\t\\a.exe", "\"C:\\t\\a.exe\" -x C:\\t\\a.exe"},
  };
  for (const auto& c : cases) {
    Executor executor(c[0]);
    executor.setArguments(c[1]);
    EXPECT_EQ(executor.commandLine(), c[2]) << c[0] << " / " << c[1];
  }
  Executor quoted("\"C:\\t\\a b.exe\"");
  EXPECT_EQ(quoted.applicationPath(), "C:\\t\\a b.exe");
}

TEST_F(ExecutorTest, PipeRunReturnsWhatTheChildWroteAndItsExitCode) {
  script("C:\\My Tools\\echo.exe", "for a in \"$@\"; do echo \"[$a]\"; done\necho to-stderr >&2\nexit 3\n");
  std::string output;
  bool started = false;
  EXPECT_EQ(ExecProcessWithPipe("\"C:\\My Tools\\echo.exe\"", "\"C:\\My Tools\\echo.exe\" one \"two words\" \"q\\\"d\"",
                                output, &started),
            3u);
  EXPECT_TRUE(started);
  EXPECT_EQ(output, "[one]\n[two words]\n[q\"d]\nto-stderr\n");
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["application"], "C:\\My Tools\\echo.exe");
  EXPECT_EQ(events[0]["hidden"], true);
  EXPECT_TRUE(logHas("INFO: Executor.finishExecution(): ExitCode = 3"));
  EXPECT_TRUE(logHas("ERROR: Executor.finishExecution(): Process execution  failed with"));
}

TEST_F(ExecutorTest, AChildPastTheTimeLimitIsTerminatedAndItsOutputSoFarReturned) {
  script("C:\\slow.exe", "echo partial\nexec sleep 20\n");
  DWORD before = GetTickCount();
  auto hostBefore = std::chrono::steady_clock::now();
  std::string output;
  EXPECT_EQ(ExecProcessWithPipe("C:\\slow.exe", "", output), 258u);
  EXPECT_LT(std::chrono::steady_clock::now() - hostBefore, std::chrono::seconds(10));
  EXPECT_GE(GetTickCount() - before, 1000u) << "the machine's clock moved by the wait";
  EXPECT_EQ(output, "partial\n");
  EXPECT_TRUE(logHas("ERROR: ExecProcessWithPipe failed with system error 258"));
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1]["event"], "terminateProcess");
  EXPECT_EQ(events[1]["exitCode"], 1);
}

TEST_F(ExecutorTest, StartFailuresReturnTheSystemErrorAndAnEmptyOutput) {
  zutest::writeFile(hostPath("C:\\tools\\text.exe"), "not a program");
  script("C:\\tools\\noshebang.exe", "");
  zutest::writeFile(hostPath("C:\\tools\\noshebang.exe"), "echo hi\n");
  const std::pair<const char*, DWORD> cases[] = {{"C:\\tools\\missing.exe", ERROR_FILE_NOT_FOUND},
                                                 {"C:\\nowhere\\missing.exe", ERROR_PATH_NOT_FOUND},
                                                 {"C:\\tools\\text.exe", ERROR_BAD_EXE_FORMAT},
                                                 {"C:\\tools\\noshebang.exe", ERROR_BAD_EXE_FORMAT}};
  for (const auto& [application, error] : cases) {
    bool started = true;
    std::string output = "sentinel";
    EXPECT_EQ(ExecProcessWithPipe(application, "-x", output, &started), error) << application;
    EXPECT_FALSE(started);
    EXPECT_EQ(output, "") << "the empty pipe gives an empty text";
    started = true;
    EXPECT_EQ(ExecProcess(application, "", 0, &started), error) << application;
    EXPECT_FALSE(started);
  }
  EXPECT_TRUE(logHas("ERROR: Executor.exec(): CreateProcess failed with system error 2"));
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 8u);
  EXPECT_EQ(events[1]["hidden"], false) << "show mode 0 is the system default";
}

TEST_F(ExecutorTest, OutputBeyondTheLimitStaysInThePipe) {
  script("C:\\big.exe", "head -c 1040000 /dev/zero | tr '\\000' x\n");
  std::string output;
  EXPECT_EQ(ExecProcessWithPipe("C:\\big.exe", "", output), 0u);
  EXPECT_EQ(output.size(), 1023999u);
  EXPECT_EQ(output.find_first_not_of('x'), std::string::npos);
}

}  // namespace
