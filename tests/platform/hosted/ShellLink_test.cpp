// Shell links: the .lnk format the writer produces and the reader takes apart, what
// lnkinfo makes of it, and the COM object that saves it on the machine.
#include "platform/hosted/machine/ShellLink.h"

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "tests/support/TestMachine.h"

namespace {

using hosted::ShellLink;
namespace lnk = hosted::lnk;

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) { return u16(b, at) | (static_cast<uint32_t>(u16(b, at + 2)) << 16); }

ShellLink controlPanelLink() {
  ShellLink link;
  link.target = L"C:\\Program Files\\Zuna\\zre1.8.0_25\\bin\\zunacpl.exe";
  link.arguments = L"-tab update";
  link.iconLocation = L"C:\\Program Files\\Zuna\\zre1.8.0_25\\bin\\zuna.exe";
  link.description = L"See if new Zuna updates are available.";
  link.fileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  link.fileSize = 4096;
  link.writeTime = 130000000000000000ULL;
  return link;
}

ShellLink webLink() {
  ShellLink web;
  web.target = L"https://www.zuna.example/help/";
  web.description = L"Get Help";
  return web;
}

// The header, and the id list from My Computer through the volume and four folders to
// the file, as Windows writes them; the reader checks every offset, lnkinfo the strings.
TEST(ShellLinkFormat, AFileLinkHasTheWindowsHeaderAndIdList) {
  ShellLink link = controlPanelLink();
  link.iconIndex = 3;
  link.hotkey = 0x0241;
  std::vector<uint8_t> bytes = hosted::writeShellLink(link);
  auto read = hosted::readShellLink(bytes);
  ASSERT_TRUE(read && read->layout.linkInfo);
  EXPECT_EQ(u32(bytes, 0), 0x4Cu);
  EXPECT_TRUE(std::equal(lnk::kLinkClsid, lnk::kLinkClsid + 16, bytes.begin() + 4));
  EXPECT_EQ(u32(bytes, 0x18), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(u32(bytes, 0x2C) | (static_cast<uint64_t>(u32(bytes, 0x30)) << 32), link.writeTime);
  EXPECT_EQ(u32(bytes, 0x34), 4096u);
  EXPECT_EQ(u32(bytes, 0x38), 3u) << "icon index";
  EXPECT_EQ(u32(bytes, 0x3C), 1u) << "SW_SHOWNORMAL";
  EXPECT_EQ(u16(bytes, 0x40), 0x0241);
  for (size_t i = 0x42; i < 0x4C; ++i) EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
  const auto& items = read->layout.idItems;
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0].size(), 20u);
  EXPECT_EQ(items[0][3], 0x50) << "My Computer sorts there";
  EXPECT_EQ(items[1].size(), 0x19u) << "a volume item is 25 bytes, as Windows writes it";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&items[1][3]), 3), "C:\\");
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i][2], "\x1F\x2F\x31\x31\x31\x31\x32"[i]) << i;
  EXPECT_EQ(u32(items[6], 4), 4096u) << "the file item carries the size";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&items[6][14])), "zunacpl.exe");
  const auto& info = *read->layout.linkInfo;
  EXPECT_EQ(info.headerSize, 0x1Cu) << "a path the code page holds needs no UTF-16 copy";
  EXPECT_EQ(info.volumeIdSize, 0x11u) << "four fields and an empty label";
  EXPECT_EQ(info.driveType, lnk::kDriveFixed);
  EXPECT_EQ(info.localBasePath, "C:\\Program Files\\Zuna\\zre1.8.0_25\\bin\\zunacpl.exe");
}

TEST(ShellLinkFormat, APathOutsideTheCodePageAlsoGoesInUtf16) {
  ShellLink link = controlPanelLink();
  link.target = L"C:\\Zuna\\\u65E5\u672C.exe";
  auto read = hosted::readShellLink(hosted::writeShellLink(link));
  ASSERT_TRUE(read && read->layout.linkInfo);
  const auto& info = *read->layout.linkInfo;
  EXPECT_EQ(info.headerSize, 0x24u);
  EXPECT_EQ(info.localBasePath, "C:\\Zuna\\??.exe");
  EXPECT_EQ(info.localBasePathUnicode, link.target);
  EXPECT_EQ(read->link.target, link.target);
}

TEST(ShellLinkFormat, AWebAddressIsAUriItemAndAnEnvironmentTarget) {
  EXPECT_TRUE(hosted::isUrlTarget(L"ftp://x"));
  for (const wchar_t* path : {L"C:\\x", L"relative\\x", L"1a:x", L""}) EXPECT_FALSE(hosted::isUrlTarget(path));
  ShellLink web = webLink();
  std::vector<uint8_t> bytes = hosted::writeShellLink(web);
  auto read = hosted::readShellLink(bytes);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->layout.idItems.size(), 2u);
  EXPECT_EQ(read->layout.idItems[0][2], 0x1F);
  EXPECT_EQ(read->layout.idItems[1][2], 0x61);
  EXPECT_EQ(read->layout.uri, web.target);
  EXPECT_EQ(read->layout.environmentTarget, web.target);
  EXPECT_FALSE(read->layout.linkInfo);
  EXPECT_EQ(read->link, web);
}

// 16-bit counts stay true to their data: a string is cut, an id list left out.
TEST(ShellLinkFormat, PartsTooLongForTheirCountsAreCutOrLeftOutNotCorrupted) {
  ShellLink link = controlPanelLink();
  link.arguments.assign(70000, L'a');
  auto read = hosted::readShellLink(hosted::writeShellLink(link));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->link.arguments.size(), 0xFFFFu);
  EXPECT_EQ(read->link.iconLocation, link.iconLocation) << "the strings after it are still in place";

  link = controlPanelLink();
  link.target = L"C:\\" + std::wstring(70000, L'd') + L"\\x.exe";
  read = hosted::readShellLink(hosted::writeShellLink(link));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->layout.linkFlags & lnk::kHasLinkTargetIdList, 0u);
  EXPECT_TRUE(read->layout.linkInfo);
  EXPECT_EQ(read->link.target, link.target);
}

TEST(ShellLinkFormat, RoundTripKeepsEveryField) {
  ShellLink link = controlPanelLink();
  link.workingDirectory = L"C:\\Program Files\\Zuna";
  link.relativePath = L"..\\..\\Program Files\\Zuna\\bin\\zunacpl.exe";
  link.iconIndex = -2;
  link.showCommand = 7;
  link.creationTime = 1;
  link.accessTime = 2;
  auto read = hosted::readShellLink(hosted::writeShellLink(link));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->link, link);
  EXPECT_EQ(hosted::writeShellLink(read->link), hosted::writeShellLink(link)) << "written again, the same bytes";
}

TEST(ShellLinkFormat, ReaderRefusesBrokenFiles) {
  std::vector<uint8_t> good = hosted::writeShellLink(controlPanelLink());
  // Every truncation is refused, never read past.
  for (size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(hosted::readShellLink(std::span(good.data(), size))) << "cut at " << size;
  }
  auto read = hosted::readShellLink(good);
  ASSERT_TRUE(read);
  // The header size, the class id, an id list that claims more than its items, a local
  // path offset outside the link information.
  for (size_t at : {size_t{0}, size_t{4}, size_t{lnk::kHeaderSize}, size_t{read->layout.linkInfo->offset + 16u}}) {
    std::vector<uint8_t> bad = good;
    bad[at] = static_cast<uint8_t>(at == 0 ? 0x4D : at == 4 ? bad[at] ^ 1 : at == lnk::kHeaderSize ? bad[at] + 2 : 0xF0);
    std::string why;
    EXPECT_FALSE(hosted::readShellLink(bad, &why)) << at;
    EXPECT_FALSE(why.empty());
  }
}

// lnkinfo (Debian's liblnk-utils) reads what the writer wrote without an error; the
// start-menu tests check the strings it shows.
TEST(ShellLinkFormat, LnkinfoReadsFileAndWebLinks) {
  if (std::system("command -v lnkinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "lnkinfo is not installed";
  zutest::ScratchDir scratch;
  auto describe = [&](const ShellLink& link) {
    std::filesystem::path file = scratch.path() / "link.lnk";
    std::vector<uint8_t> bytes = hosted::writeShellLink(link);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("lnkinfo '" + file.string() + "' 2>&1").c_str(), "r"), pclose);
    std::string output;
    std::array<char, 512> chunk;
    while (pipe && fgets(chunk.data(), chunk.size(), pipe.get())) output += chunk.data();
    EXPECT_EQ(output.find("rror"), std::string::npos) << output;
    return output;
  };
  EXPECT_NE(describe(controlPanelLink()).find("Name\t\t\t: zunacpl.exe"), std::string::npos);
  EXPECT_NE(describe(webLink()).find("Environment variables location\t: https://www.zuna.example/help/\n"),
            std::string::npos);
}

// The shell-link object behind CoCreateInstance.
class ShellLinkObjectTest : public zutest::MachineTest {};

TEST_F(ShellLinkObjectTest, CreationNeedsComAndOffersOnlyItsInterfaces) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(IID_IPersistFile, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IPersist, &object), S_OK);
  auto* link = static_cast<IPersist*>(object);
  EXPECT_EQ(link->QueryInterface(CLSID_ShellLink, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  CLSID clsid{};
  EXPECT_EQ(link->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ShellLink));
  EXPECT_EQ(link->Release(), 0u);
  CoUninitialize();
}

}  // namespace
