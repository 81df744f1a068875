// The Unreal plugin's engine-free helpers, compiled as the plugin compiles
// them: the request text LumoShowPay sends (or refuses, as the C# binding
// does), the editor's check for a parent window on its command line, and
// the gate every node passes before it may reach the DLL.
#include <gtest/gtest.h>

#include <string>

#include "LumoCallGate.h"
#include "LumoEditorGuard.h"
#include "LumoRequestText.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += '-';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// The text as UTF-8 with its NUL, or "refused"; with TCHAR's type on Windows.
std::string Converted(const std::wstring& text) {
  std::string out = "kept";
  if (!LumoRequestText::ToUtf8z(text.data(), text.size(), out)) return out == "kept" ? "refused" : "refused, but changed";
  return out.substr(4);
}

TEST(UnrealRequestText, SendsUtf8WithItsNul) {
  EXPECT_EQ(Hex(Converted(L"{\"item\":\"\u00FC\u20AC\U0001F600\"}")),
            "7B-22-69-74-65-6D-22-3A-22-C3-BC-E2-82-AC-F0-9F-98-80-22-7D-00");
  EXPECT_EQ(Hex(Converted(L"")), "00");
  EXPECT_EQ(Hex(Converted(L"\u007F\u0080\u07FF\u0800\uFFFF")), "7F-C2-80-DF-BF-E0-A0-80-EF-BF-BF-00");
  EXPECT_EQ(Hex(Converted(std::wstring(L"\xDBFF\xDFFF"))), "F4-8F-BF-BF-00");
}

// Each text the C# binding refuses, and the engine's own conversion would
// cut short or alter, is refused whole.
TEST(UnrealRequestText, RefusesWhatCannotArriveWhole) {
  const std::wstring refused[] = {
      std::wstring(L"a\0b", 3), std::wstring(L"\0", 1), std::wstring(L"{}\0{\"item\":1}", 13),
      L"x\xD800y", L"\xDC00", L"end\xD83D", L"\xDE00\xD83D",
  };
  for (const std::wstring& text : refused) EXPECT_EQ(Converted(text), "refused") << Hex(std::string(text.begin(), text.end()));
}

TEST(UnrealRequestText, TakesCodePointsFromWideUnits) {
  std::string out;
  const char32_t valid[] = {U'a', 0x1F600};
  ASSERT_TRUE(LumoRequestText::ToUtf8z(valid, 2, out));
  EXPECT_EQ(Hex(out), "61-F0-9F-98-80-00");
  const char32_t surrogate[] = {0xD800};
  const char32_t beyond[] = {0x110000};
  EXPECT_FALSE(LumoRequestText::ToUtf8z(surrogate, 1, out));
  EXPECT_FALSE(LumoRequestText::ToUtf8z(beyond, 1, out));
}

TEST(UnrealEditorGuard, FindsParentInEveryFormTheLibraryReads) {
  const struct {
    const wchar_t* commandLine;
    bool names;
  } cases[] = {
      {L"MyGame.uproject --parent=1312844 --gameid=42", true},
      {L"-parent:5", true},
      {L"/parent=5", true},
      {L"  --gameid=1   --parent", true},
      {L"--parent= --token=t", true},
      {L"MyGame.uproject --gameid=42 --lumo-pipe=ipc_channel_main --token=t1", false},
      {L"--no-parent", false},
      {L"--parents=5", false},
      {L"--Parent=5", false},
      {L"parent=5", false},
      {L"-game -log", false},
      {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(LumoEditorGuard::NamesParent(c.commandLine), c.names) << c.commandLine;
  EXPECT_TRUE(LumoEditorGuard::NamesParent(u"-windowed --parent=7"));
}

const char* Name(LumoCallGate::EVerdict v) {
  switch (v) {
    case LumoCallGate::EVerdict::Call: return "call";
    case LumoCallGate::EVerdict::NoDll: return "no DLL";
    case LumoCallGate::EVerdict::EditorWithoutOptIn: return "editor without opt-in";
    case LumoCallGate::EVerdict::Editor: return "editor";
  }
  return "?";
}

// Every combination: a node reaches the DLL only where the build has it, a
// copy loaded, and outside the editor or opted in; LumoUninit never in the
// editor. Without a loaded copy the answer is "no DLL" even in the editor,
// so the error line names the missing DLL rather than the opt-in.
TEST(UnrealCallGate, ReachesTheDllOnlyWhenItLoaded) {
  const struct {
    bool hasDll, loaded, editor, optIn;
    const char* call;
    const char* uninit;
  } cases[] = {
      {true, true, false, false, "call", "call"},
      {true, true, false, true, "call", "call"},
      {true, true, true, true, "call", "editor"},
      {true, true, true, false, "editor without opt-in", "editor"},
      {true, false, false, false, "no DLL", "no DLL"},
      {true, false, false, true, "no DLL", "no DLL"},
      {true, false, true, true, "no DLL", "editor"},
      {true, false, true, false, "no DLL", "editor"},
      {false, false, false, false, "no DLL", "no DLL"},
      {false, false, true, true, "no DLL", "editor"},
      {false, false, true, false, "no DLL", "editor"},
      // Not reachable (nothing loads without the DLL), and still refused.
      {false, true, false, false, "no DLL", "no DLL"},
      {false, true, true, true, "no DLL", "editor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "has DLL " << c.hasDll << ", loaded " << c.loaded << ", editor " << c.editor
                                      << ", opt-in " << c.optIn);
    EXPECT_STREQ(Name(LumoCallGate::ForCall(c.hasDll, c.loaded, c.editor, c.optIn)), c.call);
    EXPECT_STREQ(Name(LumoCallGate::ForUninit(c.hasDll, c.loaded, c.editor)), c.uninit);
  }
}

}  // namespace
