#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sdk/sdk_context.h"
#include "support/test_support.h"
#include "support/text_codec.h"

namespace {

// Runs sdk_probe.exe with a copy of the DLL in a fresh folder with logging on.
struct ProbeRun {
  std::string output;
  std::string log;
  DWORD exitCode = ~0u;
};

ProbeRun RunProbe(const std::wstring& steps) {
  const lumo_test::ProbeFolder probe({L"sdk_probe.exe", L"LumoGameSDK.dll"});
  ProbeRun run;
  run.exitCode = probe.Run(L"sdk_probe.exe", steps, &run.output);
  run.log = probe.Log(L"sdk_probe.exe");
  return run;
}

TEST(Exports, CallsBeforeInitAreRefusedAndEachLogsItsEntryFirst) {
  const ProbeRun run = RunProbe(L"info login pay uninit info");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.output, "info=null\r\nlogin=-6\r\npay=-6\r\nuninit\r\ninfo=null\r\n");
  const std::vector<std::string> expected = {
      "lumoGameLogin enter", "Login failed err=-6 (NotInitialized)",
      "lumoShowPay enter",   "ShowPay failed err=-6 (NotInitialized)",
      "lumoGameUninit enter",
  };
  EXPECT_EQ(lumo_test::LogMessages(run.log), expected);  // lumoGetLoginInfo logs nothing
}

TEST(Exports, DllExportsExactlyTheFiveFunctions) {
  HMODULE dll = LoadLibraryW(lumo_test::BinPath(L"LumoGameSDK.dll").c_str());
  ASSERT_NE(dll, nullptr);
  auto* base = reinterpret_cast<const BYTE*>(dll);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dirEntry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dirEntry.VirtualAddress);
  auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> found;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) found.insert(reinterpret_cast<const char*>(base + names[i]));
  EXPECT_EQ(exports->NumberOfFunctions, 5u);
  EXPECT_EQ(found, (std::set<std::string>{"lumoGameInit", "lumoGameLogin", "lumoGameUninit",
                                          "lumoGetLoginInfo", "lumoShowPay"}));
  const WORD dllFlags = nt->OptionalHeader.DllCharacteristics;
  EXPECT_TRUE(dllFlags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_TRUE(dllFlags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
  EXPECT_TRUE(dllFlags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
  FreeLibrary(dll);
}

// WinHTTP is loaded by the login itself, from the system folder: the DLL
// does not import it, and a game that never logs in never maps it.
TEST(Exports, WinHttpIsNotImportedAndNotLoadedWithoutALogin) {
  HMODULE dll = LoadLibraryW(lumo_test::BinPath(L"LumoGameSDK.dll").c_str());
  ASSERT_NE(dll, nullptr);
  auto* base = reinterpret_cast<const BYTE*>(dll);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  std::set<std::string> imported;
  for (int which : {IMAGE_DIRECTORY_ENTRY_IMPORT, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT}) {
    const IMAGE_DATA_DIRECTORY& dirEntry = nt->OptionalHeader.DataDirectory[which];
    if (dirEntry.VirtualAddress == 0) continue;
    if (which == IMAGE_DIRECTORY_ENTRY_IMPORT) {
      for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dirEntry.VirtualAddress);
           d->Name != 0; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imported.insert(name);
      }
    } else {
      imported.insert("(delay-load table)");
    }
  }
  FreeLibrary(dll);
  EXPECT_TRUE(imported.count("kernel32.dll")) << "the import table was not read";
  EXPECT_FALSE(imported.count("winhttp.dll"));
  EXPECT_FALSE(imported.count("(delay-load table)"));

  const ProbeRun run = RunProbe(L"winhttp info login winhttp");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.output, "winhttp=absent\r\ninfo=null\r\nlogin=-6\r\nwinhttp=absent\r\n");
}

TEST(SdkContext, ConcurrentFirstUseBuildsOneInstance) {
  std::vector<std::thread> threads;
  std::vector<lumo::SdkContext*> seen(8, nullptr);
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &lumo::GetSdkContext(); });
  }
  for (auto& t : threads) t.join();
  for (lumo::SdkContext* ctx : seen) EXPECT_EQ(ctx, seen[0]);
  EXPECT_FALSE(seen[0]->initialised);
  EXPECT_FALSE(seen[0]->loggedIn);
}

}  // namespace
