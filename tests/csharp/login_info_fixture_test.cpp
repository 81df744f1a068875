// Writes what the C# binding test (LoginInfoTest.cs) checks the binding
// against, taken from the real header: a LoginInfo record filled with known
// values, and the record's size, field offsets and the SdkError codes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <sstream>
#include <string>

#include "LumoGameSDK.h"
#include "support/test_support.h"

namespace {

std::wstring FixtureDir() { return lumo_test::ExeDir() + L"\\csharp-fixture"; }

// The same values appear in LoginInfoTest.cs.
LoginInfo KnownRecord() {
  LoginInfo info;
  std::memset(&info, 0, sizeof info);
  info.size = sizeof(LoginInfo);
  info.uid = 0x0123456789ABCDEFll;
  // Non-ASCII text, a surrogate pair included.
  std::wcscpy(info.appid, L"game-\u03A9-\u6D4B\u8BD5-\U0001F600");
  // A full field: 63 units, then the terminator.
  for (int i = 0; i < 63; ++i) info.sid[i] = static_cast<wchar_t>(L'A' + i % 26);
  info.time = -0x0102030405060708ll;
  info.utype = 0x1A2B3C4D;
  return info;
}

TEST(CSharpFixture, WritesKnownRecordAndLayout) {
  CreateDirectoryW(FixtureDir().c_str(), nullptr);

  const LoginInfo info = KnownRecord();
  const std::string record(reinterpret_cast<const char*>(&info), sizeof info);
  ASSERT_TRUE(lumo_test::WriteFileBytes(FixtureDir() + L"\\login_info.bin", record));
  EXPECT_EQ(lumo_test::ReadFileBytes(FixtureDir() + L"\\login_info.bin"), record);

  std::ostringstream abi;
  abi << "sizeof LoginInfo " << sizeof(LoginInfo) << "\n";
#define LUMO_OFFSET(field) abi << "offsetof " #field " " << offsetof(LoginInfo, field) << "\n"
  LUMO_OFFSET(size);
  LUMO_OFFSET(reserved0);
  LUMO_OFFSET(uid);
  LUMO_OFFSET(appid);
  LUMO_OFFSET(sid);
  LUMO_OFFSET(time);
  LUMO_OFFSET(utype);
  LUMO_OFFSET(reserved1);
#undef LUMO_OFFSET
  const struct {
    const char* name;
    SdkError value;
  } codes[] = {
      {"Ok", SdkError_Ok},
      {"GameWindowNotFound", SdkError_GameWindowNotFound},
      {"LaunchParamsFailed", SdkError_LaunchParamsFailed},
      {"EmbedAttachFailed", SdkError_EmbedAttachFailed},
      {"IpcGameStartFailed", SdkError_IpcGameStartFailed},
      {"IpcPostFailed", SdkError_IpcPostFailed},
      {"NotInitialized", SdkError_NotInitialized},
      {"LoginNoToken", SdkError_LoginNoToken},
      {"LoginVerifyFailed", SdkError_LoginVerifyFailed},
  };
  for (const auto& c : codes) abi << "SdkError " << c.name << " " << static_cast<int>(c.value) << "\n";
  ASSERT_TRUE(lumo_test::WriteFileBytes(FixtureDir() + L"\\abi.txt", abi.str()));
}

}  // namespace
