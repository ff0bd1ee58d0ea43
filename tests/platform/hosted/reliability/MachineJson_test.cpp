// machine.json data that the layer refuses: every rejection names the file and the line
// of the offending field, and no accepted value can change how the run sees itself.
#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

namespace {

using hosted::HostFailure;

std::string rejection(const std::string& text) {
  try {
    hosted::parseFacts(text, "machine.json");
    hosted::ProcessTable::parse(text, "machine.json");
  } catch (const HostFailure& failure) {
    EXPECT_EQ(failure.status, 65);
    return failure.message;
  }
  ADD_FAILURE() << "accepted: " << text;
  return {};
}

TEST(MachineJson, ImageWithAQuoteOrAControlCharacterIsInvalid) {
  for (const char* image : {R"(C:\\Program Files\\a\" \/s.exe)", R"(C:\\Windows\\Temp\\un\u0000installer.exe)",
                            R"(C:\\Windows\\Temp\\un\ninstaller.exe)", R"(C:\\Windows\\Temp\\a|b.exe)"}) {
    std::string message = rejection(std::string(R"({"process": {"image": ")") + image + "\"}}");
    EXPECT_NE(message.find("process.image"), std::string::npos) << message;
  }
  std::string message = rejection(R"({"process": {"currentDirectory": "C:\\x\"y"}})");
  EXPECT_NE(message.find("process.currentDirectory"), std::string::npos) << message;
  EXPECT_NO_THROW(hosted::parseFacts(R"({"process": {"image": "C:\\Program Files (x86)\\Zuna [1]\\un-inst_1.exe"}})",
                                     "machine.json"));
}

TEST(MachineJson, ImageWithAQuoteEndsTheRunWith65BeforeItStarts) {
  zutest::ScratchDir machine;
  zutest::writeFile(machine.path() / "machine.json", R"({"process": {"image": "C:\\Temp\\a\" b.exe"}})");
  auto run = zutest::runUninstaller({"--machine", machine.path().string(), "--", "/s"});
  EXPECT_EQ(run.status, 65) << run.output;
  EXPECT_NE(run.output.find("process.image"), std::string::npos) << run.output;
}

}  // namespace
