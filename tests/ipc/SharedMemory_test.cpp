// Shared memory blocks of the program: creation, opening, views and their failures.
#include "ipc/include/ipc/SharedMemory.h"

#include <cstring>
#include <rpc.h>

#include <regex>

#include <gtest/gtest.h>

#include "common/share/Errors.h"
#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

class IpcSharedMemoryTest : public zutest::MachineTest {
 protected:
};

TEST_F(IpcSharedMemoryTest, ErrorsAnswerIpcErrorAndCarryTheirPlace) {
  EXPECT_STREQ(ipc::Error().what(), "ipc error");
  EXPECT_STREQ(ipc::PlatformError().what(), "ipc error");
  try {
    ipc::SharedMemoryUnsafe::open("Absent", 8);
    FAIL() << "opened a block nobody made";
  } catch (const ipc::PlatformError& e) {
    std::string text = e.what();
    EXPECT_NE(text.find("SharedMemoryImpl.cpp("), std::string::npos) << text;
    EXPECT_NE(text.find(") at ipc::SharedMemoryUnsafe::open(): ipc error"), std::string::npos) << text;
    EXPECT_NE(dynamic_cast<const ZdsError<ipc::PlatformError>*>(&e), nullptr);
  }
}

TEST_F(IpcSharedMemoryTest, CreateOpenAndSnapshotsShareOneBlock) {
  {
    auto owner = ipc::SharedMemoryUnsafe::create("Shared", 8);
    EXPECT_EQ(owner.size(), 8u);
    EXPECT_EQ(owner.name(), "Shared");
    auto other = ipc::SharedMemoryUnsafe::open("Shared", 8);
    {
      ipc::SharedMemoryUnsafe::Snapshot write(owner);
      ASSERT_EQ(write.size(), 8u);
      std::memcpy(write.data(), "ABCDEFGH", 8);
      write.flush();
    }
    ipc::SharedMemoryUnsafe::Snapshot read(other);
    EXPECT_EQ(std::memcmp(read.data(), "ABCDEFGH", 8), 0);
    EXPECT_TRUE(fs::exists(dir() / "shm" / "Shared"));
  }
  EXPECT_FALSE(fs::exists(dir() / "shm" / "Shared")) << "the block goes with its last handle";
  auto events = zutest::readJournal(dir());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"], "sharedMemory");
  EXPECT_EQ(events.back()["data"], "4142434445464748");
}

TEST_F(IpcSharedMemoryTest, AGuidNamesABlockMadeWithoutAName) {
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
  std::string guid = ipc::SharedMemoryUnsafe::createGuid();
  EXPECT_TRUE(std::regex_match(guid, form)) << guid;
  EXPECT_NE(ipc::SharedMemoryUnsafe::createGuid(), guid);

  auto block = ipc::SharedMemoryUnsafe::create(16);
  EXPECT_TRUE(std::regex_match(block.name(), form)) << block.name();
  EXPECT_TRUE(fs::exists(dir() / "shm" / block.name()));
  EXPECT_EQ(fs::file_size(dir() / "shm" / block.name()), 16u);
}

TEST_F(IpcSharedMemoryTest, FailingSystemCallsThrowPlatformErrors) {
  machine().faults().failNext("CoCreateGuid", static_cast<uint32_t>(E_OUTOFMEMORY));
  EXPECT_THROW(ipc::SharedMemoryUnsafe::createGuid(), ipc::PlatformError);
  machine().faults().failNext("UuidToStringA", RPC_S_OUT_OF_MEMORY);
  EXPECT_THROW(ipc::SharedMemoryUnsafe::createGuid(), ipc::PlatformError);
  machine().faults().failNext("UuidToStringA", RPC_S_OUT_OF_MEMORY);
  EXPECT_THROW(ipc::SharedMemoryUnsafe::create(8), ipc::PlatformError);
  EXPECT_FALSE(fs::exists(dir() / "shm") && !fs::is_empty(dir() / "shm"));
  machine().faults().failNext("CreateFileMappingA", ERROR_ACCESS_DENIED, "Box");
  EXPECT_THROW(ipc::SharedMemoryUnsafe::create("Box", 8), ipc::PlatformError);
  auto block = ipc::SharedMemoryUnsafe::create("Box", 8);
  machine().faults().failNext("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, "Box");
  EXPECT_THROW(ipc::SharedMemoryUnsafe::Snapshot{block}, ipc::PlatformError);
  ipc::SharedMemoryUnsafe::Snapshot snapshot(block);
  machine().faults().failNext("FlushViewOfFile", ERROR_ACCESS_DENIED);
  EXPECT_THROW(snapshot.flush(), ipc::PlatformError);
}

TEST_F(IpcSharedMemoryTest, AFailedUnmappingIsReportedNotThrown) {
  auto block = ipc::SharedMemoryUnsafe::create("Box", 8);
  {
    ipc::SharedMemoryUnsafe::Snapshot snapshot(block);
    machine().faults().failNext("UnmapViewOfFile", ERROR_INVALID_ADDRESS);
  }
  std::string text = log();
  EXPECT_NE(text.find("(ipc::SharedMemoryUnsafe::Snapshot::~Snapshot)]"), std::string::npos) << text;
  EXPECT_NE(text.find("ERROR: Exception with message '"), std::string::npos) << text;
  EXPECT_NE(text.find("ipc error' caught"), std::string::npos) << text;
}

TEST_F(IpcSharedMemoryTest, MissingNameOrSizeAreProgrammingErrors) {
  EXPECT_THROW(ipc::SharedMemoryUnsafe::create("", 8), std::invalid_argument);
  EXPECT_THROW(ipc::SharedMemoryUnsafe::create("Box", 0), std::invalid_argument);
  EXPECT_THROW(ipc::SharedMemoryUnsafe::open("", 8), std::invalid_argument);
}

}  // namespace
