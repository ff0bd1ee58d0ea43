// Tokens and SIDs on the hosted machine: Windows' byte layouts, the sizes a short
// buffer is told, and the SIDs derived from the machine's user.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <vector>

#include "tests/support/TestMachine.h"

namespace {

class Sids : public zutest::MachineTest {};

TEST_F(Sids, TheTokenUserIsTheMachinesUserAndShortBuffersAreToldTheSize) {
  EXPECT_EQ(sizeof(SID), 12u);
  EXPECT_EQ(SECURITY_MAX_SID_SIZE, 68u);
  EXPECT_EQ(sizeof(TOKEN_USER), 16u);
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 16u + 28u);
  std::vector<unsigned char> buffer(needed);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed));
  CloseHandle(token);
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  EXPECT_EQ(GetLengthSid(user), 28u);
  uint32_t rid;
  std::memcpy(&rid, static_cast<unsigned char*>(user) + 24, 4);
  EXPECT_EQ(rid, 1001u);
  BYTE domain[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof domain;
  ASSERT_TRUE(GetWindowsAccountDomainSid(user, domain, &size));
  EXPECT_EQ(size, 24u);
  BYTE users[SECURITY_MAX_SID_SIZE];
  DWORD small = 8;
  EXPECT_FALSE(CreateWellKnownSid(WinAccountDomainUsersSid, domain, users, &small));
  EXPECT_EQ(small, 28u);
  // The settings tests read the domain users SID itself (S-1-5-21-...-513) and fail each call.
  BYTE world[SECURITY_MAX_SID_SIZE];
  DWORD worldSize = sizeof world;
  ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, world, &worldSize));
  EXPECT_FALSE(GetWindowsAccountDomainSid(world, domain, &size)) << "the world SID has no domain";
}

}  // namespace
