// Stand-in game for the devhost tests. Prints the launch options it got and
// what it sees of the parent window, announces itself to the host with
// "IpcMsg_GameSDK_GameWndReady" and serves its own channel with the
// library's ReceiveChannel until "IpcMsg_Test_Quit" arrives; the quit body is
// the exit code. --exit-now=<code> ends it right after printing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "diag/text_convert.h"
#include "ipc/envelope.h"
#include "ipc/ipc_names.h"
#include "ipc/receive_channel.h"
#include "launch/command_line.h"
#include "launch/launch_params.h"
#include "sdk/dpi_awareness.h"
#include "sdk/dpi_embedding_rules.h"

namespace {

void Print(const std::string& line) {
  std::printf("[game] %s\n", line.c_str());
  std::fflush(stdout);
}

std::string Utf8(const std::wstring& s) { return lumo::WideToMultiByte(s.c_str(), -1, CP_UTF8); }

}  // namespace

int main() {
  lumo::CCommandLine cmd;
  cmd.Parse(GetCommandLineW());
  for (const wchar_t* name : {L"parent", L"gameid", L"lumo-pipe", L"token"}) {
    Print(Utf8(name) + (cmd.HasKey(name) ? "=" + Utf8(cmd.GetValue(name)) : " absent"));
  }
  if (cmd.HasKey(L"parent")) {
    HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(cmd.GetValue(L"parent").c_str(), nullptr, 10)));
    if (IsWindow(parent)) {
      wchar_t cls[256] = {};
      GetClassNameW(parent, cls, 256);
      RECT rc = {};
      GetClientRect(parent, &rc);
      Print("parent-class=" + Utf8(cls));
      Print("parent-client=" + std::to_string(rc.right - rc.left) + "x" + std::to_string(rc.bottom - rc.top));
      Print("parent-dpi=" + Utf8(lumo::DpiAwarenessName(lumo::WindowDpiAwareness(parent))));
    }
  }
  if (cmd.HasKey(L"exit-now")) return std::atoi(Utf8(cmd.GetValue(L"exit-now")).c_str());

  const std::string channel = lumo::MakeChannelName(cmd.GetValue(L"token"));
  lumo::ReceiveChannel part;
  part.endpoint = lumo::ShmEndpoint::Create(channel.c_str());
  if (part.endpoint.status != lumo::ShmStatus::Ok) {
    Print("channel failed");
    return 90;
  }
  int exitCode = 0;
  part.AddHandler("IpcMsg_Test_Quit", [&](const std::string& body) {
    exitCode = std::atoi(body.c_str());
    part.stop.store(true);
    return std::string();
  });

  lumo::ShmEndpoint host = lumo::ShmEndpoint::Open(Utf8(cmd.GetValue(L"lumo-pipe")).c_str());
  if (host.status != lumo::ShmStatus::Ok) {
    Print("host channel failed");
    return 91;
  }
  const nlohmann::json body = {Utf8(cmd.GetValue(L"gameid")), "0", channel};
  host.Write(lumo::BuildEnvelope(lumo::kMsgGameWndReady, body.dump()));
  SetEvent(host.serverEvent.handle);
  host.Close();

  part.ReceiveLoop();
  return exitCode;
}
