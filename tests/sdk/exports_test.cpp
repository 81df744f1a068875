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

// The library mapped into this process, read through its PE headers.
class MappedDll {
 public:
  MappedDll() : dll_(LoadLibraryW(lumo_test::BinPath(L"LumoGameSDK.dll").c_str())) {}
  ~MappedDll() {
    if (dll_ != nullptr) FreeLibrary(dll_);
  }
  MappedDll(const MappedDll&) = delete;
  MappedDll& operator=(const MappedDll&) = delete;

  bool loaded() const { return dll_ != nullptr; }
  const IMAGE_NT_HEADERS& nt() const {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base());
    return *reinterpret_cast<const IMAGE_NT_HEADERS*>(base() + dos->e_lfanew);
  }
  const IMAGE_DATA_DIRECTORY& directory(int which) const { return nt().OptionalHeader.DataDirectory[which]; }
  // What an RVA of the image points to.
  template <typename T>
  const T* at(DWORD rva) const {
    return reinterpret_cast<const T*>(base() + rva);
  }

 private:
  const BYTE* base() const { return reinterpret_cast<const BYTE*>(dll_); }
  HMODULE dll_;
};

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
  const MappedDll dll;
  ASSERT_TRUE(dll.loaded());
  auto* exports = dll.at<IMAGE_EXPORT_DIRECTORY>(dll.directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
  auto* names = dll.at<DWORD>(exports->AddressOfNames);
  std::set<std::string> found;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) found.insert(dll.at<char>(names[i]));
  EXPECT_EQ(exports->NumberOfFunctions, 5u);
  EXPECT_EQ(found, (std::set<std::string>{"lumoGameInit", "lumoGameLogin", "lumoGameUninit",
                                          "lumoGetLoginInfo", "lumoShowPay"}));
  const WORD dllFlags = dll.nt().OptionalHeader.DllCharacteristics;
  EXPECT_TRUE(dllFlags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_TRUE(dllFlags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
  EXPECT_TRUE(dllFlags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
}

// WinHTTP is loaded by the login itself, from the system folder: the DLL
// does not import it, and a game that never logs in never maps it.
TEST(Exports, WinHttpIsNotImportedAndNotLoadedWithoutALogin) {
  std::set<std::string> imported;
  {
    const MappedDll dll;
    ASSERT_TRUE(dll.loaded());
    for (int which : {IMAGE_DIRECTORY_ENTRY_IMPORT, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT}) {
      const IMAGE_DATA_DIRECTORY& dirEntry = dll.directory(which);
      if (dirEntry.VirtualAddress == 0) continue;
      if (which == IMAGE_DIRECTORY_ENTRY_IMPORT) {
        for (auto* d = dll.at<IMAGE_IMPORT_DESCRIPTOR>(dirEntry.VirtualAddress); d->Name != 0; ++d) {
          std::string name = dll.at<char>(d->Name);
          for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          imported.insert(name);
        }
      } else {
        imported.insert("(delay-load table)");
      }
    }
  }
  EXPECT_TRUE(imported.count("kernel32.dll")) << "the import table was not read";
  EXPECT_FALSE(imported.count("winhttp.dll"));
  EXPECT_FALSE(imported.count("(delay-load table)"));

  const ProbeRun run = RunProbe(L"winhttp info login winhttp");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_EQ(run.output, "winhttp=absent\r\ninfo=null\r\nlogin=-6\r\nwinhttp=absent\r\n");
}

// An exception that reaches std::terminate inside the DLL ends the process
// through the DLL's own handler: one line on the debugger output naming the
// exception, then abort (exit code 3), and none of the runtime's default
// (its stderr text, and the demangler it would link into the DLL).
TEST(Terminate, TheDllsHandlerSaysWhatEscapedAndAborts) {
  lumo_test::ChildProcess probe;
  ASSERT_TRUE(probe.Start(lumo_test::Quote(lumo_test::BinPath(L"terminate_probe.exe"))));
  DWORD exitCode = 0;
  ASSERT_TRUE(probe.Wait(30000, &exitCode));
  const std::string output = probe.Output();
  EXPECT_EQ(exitCode, 3u) << output;
  EXPECT_NE(output.find("throwing"), std::string::npos) << output;
  EXPECT_NE(output.find("[LumoGameSDK] std::terminate"), std::string::npos) << output;
  EXPECT_NE(output.find("probe's exception"), std::string::npos) << output;
  EXPECT_EQ(output.find("terminate called"), std::string::npos) << output;
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
