// A drive folder, or drives/ itself, that is a host link to somewhere else: the machine
// is refused before anything is created through the link, in a run and in a dry run.
#include <gtest/gtest.h>

#include "platform/hosted/machine/Machine.h"
#include "tests/support/Runs.h"

namespace {

namespace fs = std::filesystem;
using zutest::contentsOf;
using zutest::runUninstaller;
using zutest::ScratchDir;

std::string loadFailure(const fs::path& dir) {
  try {
    hosted::Machine::load(dir);
  } catch (const hosted::HostFailure& failure) {
    hosted::Machine::unload();
    EXPECT_EQ(failure.status, 65);
    return failure.message;
  }
  hosted::Machine::unload();
  ADD_FAILURE() << "the machine loaded";
  return {};
}

TEST(DriveLinks, DriveFolderThatIsALinkIsRefusedAndNothingIsCreatedOutside) {
  ScratchDir machine;
  ScratchDir outside;
  fs::create_directories(machine.path() / "drives");
  fs::create_directory_symlink(outside.path(), machine.path() / "drives" / "C");
  std::string message = loadFailure(machine.path());
  EXPECT_EQ(message.rfind((machine.path() / "drives" / "C").string(), 0), 0u) << message;
  EXPECT_TRUE(contentsOf(outside.path()).empty());

  auto run = runUninstaller({"--machine", machine.path().string(), "--dry-run", "--", "/s"});
  EXPECT_EQ(run.status, 65) << run.output;
  EXPECT_NE(run.output.find("drives/C"), std::string::npos) << run.output;
  EXPECT_TRUE(contentsOf(outside.path()).empty());
}

TEST(DriveLinks, DrivesFolderThatIsALinkIsRefused) {
  ScratchDir machine;
  ScratchDir outside;
  fs::create_directory_symlink(outside.path(), machine.path() / "drives");
  std::string message = loadFailure(machine.path());
  EXPECT_EQ(message.rfind((machine.path() / "drives").string(), 0), 0u) << message;
  EXPECT_TRUE(contentsOf(outside.path()).empty());
}

TEST(DriveLinks, OtherDrivesAndLinksInsideADriveStillLoad) {
  ScratchDir machine;
  fs::create_directories(machine.path() / "drives" / "D" / "data");
  // A Windows junction inside a drive is the layer's to resolve.
  fs::create_directory_symlink("\\??\\D:\\data", machine.path() / "drives" / "D" / "link");
  EXPECT_NO_THROW(hosted::Machine::load(machine.path()));
  hosted::Machine::unload();
  EXPECT_TRUE(fs::is_directory(machine.path() / "drives" / "C" / "Windows" / "System32"));
}

}  // namespace
