// Operations announced through the shared-memory mailbox: with a watcher process that
// made the mailbox first, and with none.
#include "common/share/progress/ClientOperation.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMailbox = "ZdsOperationSequenceSharedMemory";

struct Message {
  uint32_t id;
  uint32_t state;
};

// A watcher in a child process: it makes shm/NAME (8 bytes), says "ready" through a
// pipe, then passes on every new message it sees, until it has seen a "finished" or
// ten seconds went by.
class Watcher {
 public:
  explicit Watcher(const fs::path& file) {
    int fds[2];
    if (::pipe(fds) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      watch(file, fds[1]);
    }
    ::close(fds[1]);
    read_ = fds[0];
  }
  ~Watcher() {
    if (read_ >= 0) ::close(read_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // The next message the watcher passed on, waiting at most five seconds.
  bool next(Message* message) {
    size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(message);
    while (got < sizeof *message) {
      pollfd fd{read_, POLLIN, 0};
      if (::poll(&fd, 1, 5000) != 1) return false;
      ssize_t n = ::read(read_, bytes + got, sizeof *message - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  int exitStatus() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  [[noreturn]] static void watch(const fs::path& file, int out) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0 || ::ftruncate(fd, 8) != 0) _exit(2);
    auto* block = static_cast<uint32_t*>(::mmap(nullptr, 8, PROT_READ, MAP_SHARED, fd, 0));
    if (block == MAP_FAILED) _exit(3);
    Message ready{0, 0};
    if (::write(out, &ready, sizeof ready) != sizeof ready) _exit(4);
    Message last{0, 0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      Message now{std::atomic_ref<uint32_t>(block[0]).load(), std::atomic_ref<uint32_t>(block[1]).load()};
      if (now.id != 0 && now.state != 0 && (now.id != last.id || now.state != last.state)) {
        if (::write(out, &now, sizeof now) != sizeof now) _exit(5);
        last = now;
        if (now.state == 2) _exit(0);
      }
      sched_yield();
    }
    _exit(1);
  }

  pid_t pid_ = -1;
  int read_ = -1;
};

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
  std::string log() { return zutest::readFile(hostPath("C:\\Users\\user\\AppData\\Local\\Temp\\zusched.log")); }
};

TEST_F(ClientOperationTest, AWatcherThatMadeTheMailboxSeesStartedThenFinished) {
  Watcher watcher(mailboxFile());
  Message message{};
  ASSERT_TRUE(watcher.next(&message)) << "the watcher did not start";
  {
    progress::ClientOperation operation(6, kMailbox);
    ASSERT_TRUE(watcher.next(&message));
    EXPECT_EQ(message.id, 6u);
    EXPECT_EQ(message.state, 1u);
  }
  ASSERT_TRUE(watcher.next(&message));
  EXPECT_EQ(message.id, 6u);
  EXPECT_EQ(message.state, 2u);
  EXPECT_EQ(watcher.exitStatus(), 0);

  EXPECT_TRUE(fs::exists(mailboxFile())) << "the watcher's mailbox stays";
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

TEST(OperationMessageLayout, IsEightBytesIdThenState) {
  EXPECT_EQ(sizeof(progress::OperationMessage), 8u);
  EXPECT_EQ(offsetof(progress::OperationMessage, id), 0u);
  EXPECT_EQ(offsetof(progress::OperationMessage, state), 4u);
  EXPECT_EQ(static_cast<uint32_t>(progress::OperationState::Started), 1u);
  EXPECT_EQ(static_cast<uint32_t>(progress::OperationState::Finished), 2u);
}

}  // namespace
