// File mappings over the paging file as Windows gives them, shared through
// MACHINE/shm; and the GUID and environment functions that go with the mailbox.
#include <windows.h>

#include <objbase.h>
#include <rpc.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

class SharedMemoryTest : public zutest::MachineTest {
 protected:
  fs::path block(const std::string& name) const { return dir() / "shm" / name; }
  std::vector<nlohmann::json> sharedMemoryEvents() {
    std::vector<nlohmann::json> out;
    for (auto& e : zutest::readJournal(dir())) {
      if (e["event"] == "sharedMemory") out.push_back(e);
    }
    return out;
  }
  // Makes shm/NAME as another process would: a file of `size` zero bytes.
  void makeAsWatcher(const std::string& name, size_t size) {
    zutest::writeFile(block(name), std::string(size, '\0'));
  }
};

TEST_F(SharedMemoryTest, CreatingANamedBlockMakesItsFileAndASecondCreateOpensIt) {
  SetLastError(1234);
  HANDLE first = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Box");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(fs::exists(block("Box")));
  EXPECT_EQ(fs::file_size(block("Box")), 8u);

  // A second create of the name opens the existing block, with its size.
  HANDLE second = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "Box");
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(fs::file_size(block("Box")), 8u);

  auto* a = static_cast<unsigned char*>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 8));
  auto* b = static_cast<unsigned char*>(MapViewOfFile(second, FILE_MAP_READ, 0, 0, 0));
  ASSERT_TRUE(a && b);
  a[3] = 0x5A;
  EXPECT_EQ(b[3], 0x5A);
  EXPECT_TRUE(UnmapViewOfFile(a));
  EXPECT_TRUE(UnmapViewOfFile(b));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(fs::exists(block("Box")));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(fs::exists(block("Box")));
}

TEST_F(SharedMemoryTest, OpeningANameWithoutABlockFailsWithFileNotFound) {
  SetLastError(0);
  EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, "Nobody"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(fs::exists(block("Nobody")));
}

TEST_F(SharedMemoryTest, AViewKeepsTheBlockAfterItsLastHandleCloses) {
  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Held");
  auto* view = static_cast<unsigned char*>(MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 8));
  ASSERT_NE(view, nullptr);
  CloseHandle(handle);
  EXPECT_TRUE(fs::exists(block("Held")));
  view[0] = 1;
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(fs::exists(block("Held")));
}

TEST_F(SharedMemoryTest, ABlockAWatcherMadeIsSharedWithItAndStays) {
  makeAsWatcher("Watched", 8);
  int fd = ::open(block("Watched").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  auto* watcher = static_cast<unsigned char*>(::mmap(nullptr, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  ASSERT_NE(watcher, MAP_FAILED);

  HANDLE handle = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, "Watched");
  ASSERT_NE(handle, nullptr);
  auto* view = static_cast<unsigned char*>(MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 8));
  ASSERT_NE(view, nullptr);
  std::memcpy(view, "\x06\0\0\0\x01\0\0\0", 8);
  EXPECT_EQ(std::memcmp(watcher, "\x06\0\0\0\x01\0\0\0", 8), 0) << "the watcher sees the write at once";
  watcher[4] = 9;
  EXPECT_EQ(view[4], 9) << "and the run sees the watcher's";
  UnmapViewOfFile(view);
  CloseHandle(handle);
  EXPECT_TRUE(fs::exists(block("Watched")));

  // A create of a name a watcher made is an open.
  SetLastError(0);
  handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Watched");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(handle);
  EXPECT_TRUE(fs::exists(block("Watched")));
  ::munmap(watcher, 8);
  ::close(fd);
}

TEST_F(SharedMemoryTest, FlushAndUnmapOfAWrittenViewAreJournaledWithTheWholeBlock) {
  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Journaled");
  auto* view = static_cast<unsigned char*>(MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 8));
  ASSERT_NE(view, nullptr);
  view[0] = 0x06;
  view[4] = 0x01;
  EXPECT_TRUE(FlushViewOfFile(view, 8));
  // Nothing written since the flush: the unmapping leaves no second event.
  EXPECT_TRUE(UnmapViewOfFile(view));
  auto events = sharedMemoryEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["name"], "Journaled");
  EXPECT_EQ(events[0]["data"], "0600000001000000");

  // Written and unmapped without a flush: journaled by the unmapping.
  view = static_cast<unsigned char*>(MapViewOfFile(handle, FILE_MAP_WRITE, 0, 0, 0));
  view[4] = 0x02;
  EXPECT_TRUE(UnmapViewOfFile(view));
  // A view only read leaves no trace.
  view = static_cast<unsigned char*>(MapViewOfFile(handle, FILE_MAP_READ, 0, 0, 0));
  EXPECT_TRUE(UnmapViewOfFile(view));
  events = sharedMemoryEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1]["data"], "0600000002000000");
  CloseHandle(handle);
}

TEST_F(SharedMemoryTest, BadAddressesHandlesAndRangesFailAsOnWindows) {
  int local = 0;
  SetLastError(0);
  EXPECT_FALSE(UnmapViewOfFile(&local));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_FALSE(FlushViewOfFile(&local, 4));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_EQ(MapViewOfFile(reinterpret_cast<HANDLE>(0x7777), FILE_MAP_READ, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Small");
  EXPECT_EQ(MapViewOfFile(handle, FILE_MAP_READ, 0, 0, 16), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(MapViewOfFile(handle, FILE_MAP_READ, 0, 4, 4), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
  CloseHandle(handle);

  // A page-file block needs a size; a read-only handle maps no writable view.
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, "Empty"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(fs::exists(block("Empty")));
  HANDLE owner = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "ReadOnly");
  HANDLE reader = OpenFileMappingA(FILE_MAP_READ, FALSE, "ReadOnly");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(MapViewOfFile(reader, FILE_MAP_ALL_ACCESS, 0, 0, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(reader);
  CloseHandle(owner);
}

TEST_F(SharedMemoryTest, NamesStayInsideTheShmFolder) {
  for (const char* name : {"..", "a/b", "x\\y", "Local\\"}) {
    SetLastError(0);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, name), nullptr) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << name;
  }
  // The session and global namespaces are one on this machine.
  HANDLE local = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Local\\Spaced");
  ASSERT_NE(local, nullptr);
  EXPECT_TRUE(fs::exists(block("Spaced")));
  HANDLE global = OpenFileMappingA(FILE_MAP_READ, FALSE, "Global\\Spaced");
  EXPECT_NE(global, nullptr);
  CloseHandle(global);
  CloseHandle(local);
  EXPECT_TRUE(fs::is_empty(dir() / "shm"));
}

TEST_F(SharedMemoryTest, AnUnnamedBlockLeavesNoFile) {
  HANDLE handle = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, nullptr);
  ASSERT_NE(handle, nullptr);
  auto* view = static_cast<char*>(MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 8));
  ASSERT_NE(view, nullptr);
  view[0] = 'x';
  UnmapViewOfFile(view);
  CloseHandle(handle);
  EXPECT_FALSE(fs::exists(dir() / "shm") && !fs::is_empty(dir() / "shm"));
}

TEST_F(SharedMemoryTest, ArmedFaultsFailTheNamedCall) {
  machine().faults().failNext("CreateFileMappingA", ERROR_ACCESS_DENIED, "Box");
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8, "Box"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(fs::exists(block("Box")));
}

TEST_F(SharedMemoryTest, GuidsAreRandomVersionFourAndPrintInLowerCaseWithoutBraces) {
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 16; ++i) {
    GUID guid{};
    ASSERT_EQ(CoCreateGuid(&guid), S_OK);
    RPC_CSTR text = nullptr;
    ASSERT_EQ(UuidToStringA(&guid, &text), RPC_S_OK);
    std::string s = reinterpret_cast<char*>(text);
    EXPECT_TRUE(std::regex_match(s, form)) << s;
    seen.insert(s);
    EXPECT_EQ(RpcStringFreeA(&text), RPC_S_OK);
    EXPECT_EQ(text, nullptr);
  }
  EXPECT_EQ(seen.size(), 16u);
}

TEST_F(SharedMemoryTest, UuidTextKeepsTheFieldOrderOfTheStructure) {
  GUID guid{0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
  RPC_CSTR text = nullptr;
  ASSERT_EQ(UuidToStringA(&guid, &text), RPC_S_OK);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
  RpcStringFreeA(&text);
}

class EnvironmentTest : public zutest::MachineTest {
 protected:
  bool loadOnSetUp() const override { return false; }
};

TEST_F(EnvironmentTest, VariablesComeFromMachineJsonWithoutRegardToCase) {
  zutest::writeFile(dir() / "machine.json", R"({"environment": {"REGDEPLOY_INSTALL_DEBUG": "1", "EMPTY": ""}})");
  load();
  char buffer[16];
  EXPECT_EQ(GetEnvironmentVariableA("regdeploy_install_debug", buffer, sizeof buffer), 1u);
  EXPECT_STREQ(buffer, "1");
  // Too small: the size needed with the NUL, the buffer untouched.
  char small[1] = {'z'};
  EXPECT_EQ(GetEnvironmentVariableA("REGDEPLOY_INSTALL_DEBUG", small, 1), 2u);
  EXPECT_EQ(small[0], 'z');
  EXPECT_EQ(GetEnvironmentVariableA("EMPTY", buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableA("MISSING", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

}  // namespace
