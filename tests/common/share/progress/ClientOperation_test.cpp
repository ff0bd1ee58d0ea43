// Operations announced through the shared-memory mailbox: with a watcher process that
// made the mailbox first, and with none.
#include "common/share/progress/ClientOperation.h"

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMailbox = "ZdsOperationSequenceSharedMemory";

class ClientOperationTest : public zutest::MachineTest {
 protected:
  fs::path mailboxFile() const { return dir() / "shm" / kMailbox; }
  std::vector<std::string> postedBlocks() {
    std::vector<std::string> out;
    for (auto& e : zutest::readJournal(dir())) {
      if (e["event"] == "sharedMemory" && e["name"] == kMailbox) out.push_back(e["data"]);
    }
    return out;
  }
};

// A watcher (another process) made the mailbox: the operation opens it, posts into it,
// and leaves it to the watcher.
TEST_F(ClientOperationTest, AWatcherThatMadeTheMailboxSeesStartedThenFinished) {
  zutest::writeFile(mailboxFile(), std::string(8, '\0'));
  {
    progress::ClientOperation operation(6, kMailbox);
    EXPECT_EQ(zutest::readFile(mailboxFile()), std::string("\x06\0\0\0\x01\0\0\0", 8));
  }
  EXPECT_EQ(zutest::readFile(mailboxFile()), std::string("\x06\0\0\0\x02\0\0\0", 8));
  EXPECT_EQ(postedBlocks(), (std::vector<std::string>{"0600000001000000", "0600000002000000"}));
}

TEST_F(ClientOperationTest, WithoutAWatcherTheOperationMakesTheMailboxAndItGoesAfterwards) {
  {
    progress::ClientOperation operation(6, kMailbox);
    ASSERT_TRUE(fs::exists(mailboxFile()));
    EXPECT_EQ(zutest::readFile(mailboxFile()), std::string("\x06\0\0\0\x01\0\0\0", 8));
  }
  EXPECT_FALSE(fs::exists(mailboxFile()));
  EXPECT_EQ(postedBlocks(), (std::vector<std::string>{"0600000001000000", "0600000002000000"}));
  EXPECT_EQ(machine().handles().openCount(), 0u);
}

TEST_F(ClientOperationTest, MailboxesOfTwoOperationsCarryTheLastPost) {
  progress::ClientOperation outer(3, kMailbox);
  {
    progress::ClientOperation inner(6, kMailbox);
    EXPECT_EQ(zutest::readFile(mailboxFile()), std::string("\x06\0\0\0\x01\0\0\0", 8));
  }
  EXPECT_TRUE(fs::exists(mailboxFile())) << "the outer operation still holds it";
  EXPECT_EQ(zutest::readFile(mailboxFile()), std::string("\x06\0\0\0\x02\0\0\0", 8));
}

TEST_F(ClientOperationTest, AMailboxThatCanBeNeitherOpenedNorMadeFailsTheStart) {
  machine().faults().failNext("CreateFileMappingA", ERROR_ACCESS_DENIED, kMailbox);
  EXPECT_THROW(progress::ClientOperation(6, kMailbox), ipc::PlatformError);
  EXPECT_FALSE(fs::exists(mailboxFile()));
  EXPECT_TRUE(postedBlocks().empty());
}

TEST_F(ClientOperationTest, AFailedFinishedPostIsReportedAndSwallowed) {
  {
    progress::ClientOperation operation(6, kMailbox);
    machine().faults().failNext("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, kMailbox);
  }
  EXPECT_FALSE(fs::exists(mailboxFile()));
  EXPECT_EQ(postedBlocks(), std::vector<std::string>{"0600000001000000"});
  std::string text = log();
  EXPECT_NE(text.find("(progress::ClientOperation::~ClientOperation)]\r\n\tERROR: Exception with message '"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ipc error' caught"), std::string::npos) << text;
}

TEST_F(ClientOperationTest, IdZeroIsNeverPosted) {
  EXPECT_THROW(progress::ClientOperation(0, kMailbox), std::logic_error);
  EXPECT_TRUE(postedBlocks().empty());
  EXPECT_FALSE(fs::exists(mailboxFile()));
}

}  // namespace
