// Host-side peer for the channel and receive-loop tests, run as a separate
// process. Prints one "key=value" line per step, flushed.
//
//   ipc_test_peer hold-event <event name>   create the event, print ready, sleep
//   ipc_test_peer hold-mapping <name>       create the 2048-byte mapping, same
//   ipc_test_peer hold-mutex <name>         create the mutex owned, same (a
//       process that holds a lock and never lets go, or dies holding it)
//   ipc_test_peer send <channel> <payload> [reply-ms]
//       open the channel as client, write, signal the server event; with
//       reply-ms wait that long on the client event and print the reply.
// Payloads: text:<s>  env:<msg>:<body>  envfill:<msg>:<n>  fill:<n>
//           length:<n> (only the length field is stored, the rest untouched)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ipc/envelope.h"
#include "ipc/shm_endpoint.h"

namespace {

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Held objects die with the process; the test kills it, the bound only
// keeps a forgotten peer from living on.
int HoldAndSleep() {
  Print("ready");
  Sleep(60000);
  return 0;
}

bool MakePayload(const std::string& arg, std::string& out, long long& rawLength) {
  rawLength = -1;
  auto after = [&arg](const char* prefix) { return arg.substr(std::string(prefix).size()); };
  if (arg.rfind("text:", 0) == 0) {
    out = after("text:");
  } else if (arg.rfind("env:", 0) == 0) {
    const std::string rest = after("env:");
    const size_t colon = rest.find(':');
    if (colon == std::string::npos) return false;
    out = lumo::BuildEnvelope(rest.substr(0, colon), rest.substr(colon + 1));
  } else if (arg.rfind("envfill:", 0) == 0) {
    const std::string rest = after("envfill:");
    const size_t colon = rest.find(':');
    if (colon == std::string::npos) return false;
    out = lumo::BuildEnvelope(rest.substr(0, colon), std::string(std::atoi(rest.c_str() + colon + 1), 'x'));
  } else if (arg.rfind("fill:", 0) == 0) {
    const int n = std::atoi(after("fill:").c_str());
    out.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
  } else if (arg.rfind("length:", 0) == 0) {
    rawLength = std::atoll(after("length:").c_str());
  } else {
    return false;
  }
  return true;
}

int Send(const char* channel, const std::string& arg, int replyMs) {
  std::string payload;
  long long rawLength = -1;
  if (!MakePayload(arg, payload, rawLength)) {
    Print("error=bad payload");
    return 2;
  }
  lumo::ShmEndpoint ep = lumo::ShmEndpoint::Open(channel);
  Print("open=" + std::to_string(static_cast<int>(ep.status)));
  if (ep.status != lumo::ShmStatus::Ok) return 1;
  bool written = false;
  if (rawLength >= 0) {
    const uint32_t n = static_cast<uint32_t>(rawLength);
    std::memcpy(ep.region.view, &n, sizeof(n));  // little-endian machine
    written = true;
  } else {
    written = ep.Write(payload);
  }
  Print(std::string("write=") + (written ? "1" : "0"));
  if (written) SetEvent(ep.serverEvent.handle);
  if (replyMs > 0) {
    if (WaitForSingleObject(ep.clientEvent.handle, static_cast<DWORD>(replyMs)) == WAIT_OBJECT_0) {
      std::string reply;
      const bool ok = ep.Read(reply);
      Print("reply=" + std::string(ok ? "" : "unreadable:") + reply);
    } else {
      Print("reply=none");
    }
  }
  ep.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "hold-event") {
    HANDLE h = CreateEventA(nullptr, FALSE, FALSE, argv[2]);
    if (!h) return 1;
    return HoldAndSleep();
  }
  if (argc >= 3 && std::string(argv[1]) == "hold-mapping") {
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, lumo::kShmRegionSize, argv[2]);
    if (!h) return 1;
    return HoldAndSleep();
  }
  if (argc >= 3 && std::string(argv[1]) == "hold-mutex") {
    HANDLE h = CreateMutexA(nullptr, TRUE, argv[2]);
    if (!h) return 1;
    return HoldAndSleep();
  }
  if (argc >= 4 && std::string(argv[1]) == "send") {
    return Send(argv[2], argv[3], argc >= 5 ? std::atoi(argv[4]) : 0);
  }
  Print("error=usage");
  return 2;
}
