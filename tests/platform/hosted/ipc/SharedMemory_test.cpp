// File mappings over the paging file as Windows gives them, shared through
// MACHINE/shm; and the GUID and environment functions that go with the mailbox.
#include <windows.h>

#include <objbase.h>
#include <rpc.h>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

namespace fs = std::filesystem;

class SharedMemoryTest : public zutest::MachineTest {
 protected:
  fs::path block(const std::string& name) const { return dir() / "shm" / name; }
  HANDLE create(const char* name, DWORD size = 8) {
    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
  }
  unsigned char* map(HANDLE handle, DWORD access, SIZE_T size = 0) {
    return static_cast<unsigned char*>(MapViewOfFile(handle, access, 0, 0, size));
  }
};

// A block lives while a handle or a view holds it.
TEST_F(SharedMemoryTest, ANamedBlockIsAFileThatLivesWithItsHandlesAndViews) {
  SetLastError(1234);
  HANDLE first = create("Box");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(fs::file_size(block("Box")), 8u);
  // A second create of the name opens the existing block, with its size.
  HANDLE second = create("Box", 4096);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(fs::file_size(block("Box")), 8u);
  unsigned char* a = map(first, FILE_MAP_ALL_ACCESS, 8);
  unsigned char* b = map(second, FILE_MAP_READ);
  ASSERT_TRUE(a && b);
  a[3] = 0x5A;
  EXPECT_EQ(b[3], 0x5A);
  EXPECT_TRUE(UnmapViewOfFile(b));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_TRUE(fs::exists(block("Box"))) << "the view still holds it";
  EXPECT_TRUE(UnmapViewOfFile(a));
  EXPECT_FALSE(fs::exists(block("Box")));

  // A block another process made stays when the run lets go of it.
  zutest::writeFile(block("Watched"), std::string(8, '\0'));
  CloseHandle(create("Watched"));
  EXPECT_TRUE(fs::exists(block("Watched")));
}

TEST_F(SharedMemoryTest, FlushAndUnmapOfAWrittenViewAreJournaledWithTheWholeBlock) {
  HANDLE handle = create("Journaled");
  unsigned char* view = map(handle, FILE_MAP_ALL_ACCESS, 8);
  ASSERT_NE(view, nullptr);
  view[0] = 0x06;
  view[4] = 0x01;
  EXPECT_TRUE(FlushViewOfFile(view, 8));
  // Nothing written since the flush: the unmapping leaves no second event.
  EXPECT_TRUE(UnmapViewOfFile(view));
  // Written and unmapped without a flush: journaled by the unmapping.
  view = map(handle, FILE_MAP_WRITE);
  view[4] = 0x02;
  EXPECT_TRUE(UnmapViewOfFile(view));
  // A view only read leaves no trace.
  EXPECT_TRUE(UnmapViewOfFile(map(handle, FILE_MAP_READ)));
  CloseHandle(handle);
  auto events = zutest::readJournal(dir());
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["event"], "sharedMemory");
  EXPECT_EQ(events[0]["name"], "Journaled");
  EXPECT_EQ(events[0]["data"], "0600000001000000");
  EXPECT_EQ(events[1]["data"], "0600000002000000");
}

TEST_F(SharedMemoryTest, BadAddressesHandlesRangesAndNamesFailAsOnWindows) {
  int local = 0;
  HANDLE small = create("Small");
  HANDLE reader = OpenFileMappingA(FILE_MAP_READ, FALSE, "Small");
  ASSERT_NE(reader, nullptr);
  const std::pair<std::function<bool()>, DWORD> cases[] = {
      {[&] { return UnmapViewOfFile(&local); }, ERROR_INVALID_ADDRESS},
      {[&] { return FlushViewOfFile(&local, 4); }, ERROR_INVALID_ADDRESS},
      {[&] { return map(reinterpret_cast<HANDLE>(0x7777), FILE_MAP_READ); }, ERROR_INVALID_HANDLE},
      {[&] { return map(small, FILE_MAP_READ, 16); }, ERROR_ACCESS_DENIED},
      {[&] { return MapViewOfFile(small, FILE_MAP_READ, 0, 4, 4); }, ERROR_MAPPED_ALIGNMENT},
      {[&] { return map(reader, FILE_MAP_ALL_ACCESS, 8); }, ERROR_ACCESS_DENIED},  // a read-only handle
      {[&] { return create("Empty", 0); }, ERROR_INVALID_PARAMETER},             // a page-file block needs a size
      {[&] { return OpenFileMappingA(FILE_MAP_READ, FALSE, "Nobody"); }, ERROR_FILE_NOT_FOUND},
      {[&] { return create(".."); }, ERROR_INVALID_NAME},
      {[&] { return create("a/b"); }, ERROR_INVALID_NAME},
      {[&] { return create("x\\y"); }, ERROR_INVALID_NAME},
      {[&] { return create("Local\\"); }, ERROR_INVALID_NAME},
  };
  int row = 0;
  for (const auto& [call, error] : cases) {
    SetLastError(0);
    EXPECT_FALSE(call()) << "row " << row;
    EXPECT_EQ(GetLastError(), error) << "row " << row++;
  }
  CloseHandle(reader);
  CloseHandle(small);
  // The session and global namespaces are one on this machine.
  HANDLE spaced = create("Local\\Spaced");
  EXPECT_TRUE(fs::exists(block("Spaced")));
  HANDLE global = OpenFileMappingA(FILE_MAP_READ, FALSE, "Global\\Spaced");
  EXPECT_NE(global, nullptr);
  CloseHandle(global);
  CloseHandle(spaced);
  EXPECT_TRUE(fs::is_empty(dir() / "shm"));
}

// The program's tests see GUIDs in lower case without braces; the fields print in the
// structure's order, and a version-4 GUID has its version and variant bits.
TEST_F(SharedMemoryTest, GuidsPrintInTheStructuresOrderAndEnvironmentVariablesIgnoreCase) {
  GUID guid{0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
  RPC_CSTR text = nullptr;
  ASSERT_EQ(UuidToStringA(&guid, &text), RPC_S_OK);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
  EXPECT_EQ(RpcStringFreeA(&text), RPC_S_OK);
  EXPECT_EQ(text, nullptr);
  ASSERT_EQ(CoCreateGuid(&guid), S_OK);
  EXPECT_EQ(guid.Data3 >> 12, 4);
  EXPECT_EQ(guid.Data4[0] >> 6, 2);

  zutest::writeFile(dir() / "machine.json", R"({"environment": {"REGDEPLOY_INSTALL_DEBUG": "1"}})");
  load();
  char buffer[16];
  EXPECT_EQ(GetEnvironmentVariableA("regdeploy_install_debug", buffer, sizeof buffer), 1u);
  EXPECT_STREQ(buffer, "1");
  // Too small: the size needed with the NUL, the buffer untouched.
  char small[1] = {'z'};
  EXPECT_EQ(GetEnvironmentVariableA("REGDEPLOY_INSTALL_DEBUG", small, 1), 2u);
  EXPECT_EQ(small[0], 'z');
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableA("MISSING", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

}  // namespace
