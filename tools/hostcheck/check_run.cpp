#include "hostcheck/check_run.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "LumoGameSDK.h"
#include "diag/utf8.h"
#include "hostcheck/channel_watch.h"
#include "hostcheck/clock.h"
#include "hostcheck/dpi_mode_trial.h"
#include "hostcheck/dpi_mode_verdict.h"
#include "hostcheck/host_probe.h"
#include "ipc/envelope.h"
#include "ipc/event_state.h"
#include "ipc/host_process.h"
#include "ipc/ipc_names.h"
#include "ipc/ipc_sender.h"
#include "ipc/shm_layout.h"
#include "sdk/game_window.h"

namespace hostcheck {

namespace {

// The contract's bounds, and how long the checks wait for what they watch.
// A message must be taken this fast (the game overwrites it after that).
constexpr double kTakeBoundMs = static_cast<double>(lumo::kHostTakeTimeoutMs);
constexpr DWORD kAnswerBoundMs = lumo::kHostAnswerMs;  // lumoGameInit's bound for the window thread
// How long the game waits for a missing channel.
constexpr DWORD kLateChannelWaitMs = static_cast<DWORD>(lumo::kHostGapKeepMs);
constexpr DWORD kFollowBoundMs = 1000;      // for the host to size the game window
constexpr int kEmbeddedProbes = 10;
// Per awareness mode tried, its process's start and end included: under
// Wine re-parenting a shown window alone can take about 2 s.
constexpr DWORD kDpiTrialBoundMs = 8000;

double MsSinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a, b;
  a.LowPart = created.dwLowDateTime;
  a.HighPart = created.dwHighDateTime;
  b.LowPart = now.dwLowDateTime;
  b.HighPart = now.dwHighDateTime;
  return static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0;
}

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.0f ms", ms);
  return text;
}

std::string StatusText(lumo::ShmStatus status) {
  switch (status) {
    case lumo::ShmStatus::InvalidName:
      return "the name is not usable";
    case lumo::ShmStatus::OpenEventFailed:
      return "no event <name>_server_njipc or <name>_client_njipc";
    case lumo::ShmStatus::OpenMappingFailed:
      return "no mapping <name>";
    case lumo::ShmStatus::MapViewFailed:
      return "the mapping cannot be mapped with " + std::to_string(lumo::kShmRegionSize) + " bytes";
    case lumo::ShmStatus::RegionRefused:
      return "the region is not committed page-file memory (reserved pages, or a file behind it): the game refuses it";
    default:
      return "cannot be opened";
  }
}

std::string MessageName(const std::string& envelope) {
  std::string msg, body;
  return lumo::ParseEnvelope(envelope, msg, body) ? msg : std::string();
}

// The sequence number of one of our test payment requests, or -1.
int BurstSequence(const std::string& envelope, DWORD run) {
  std::string msg, body;
  if (!lumo::ParseEnvelope(envelope, msg, body) || msg != lumo::kMsgShowPay) return -1;
  try {
    const nlohmann::json array = nlohmann::json::parse(body);
    const nlohmann::json text = nlohmann::json::parse(array.at(1).get<std::string>());
    if (text.at("run").get<long long>() != static_cast<long long>(run)) return -1;
    return text.at("seq").get<int>();
  } catch (...) {
    return -1;
  }
}

std::string BurstText(DWORD run, int seq) {
  return "{\"test\":true,\"from\":\"lumo-hostcheck\",\"note\":\"host contract check, not a payment: show "
         "nothing, charge nothing\",\"run\":" +
         std::to_string(run) + ",\"seq\":" + std::to_string(seq) + "}";
}

bool SameSize(SIZE a, SIZE b) { return a.cx == b.cx && a.cy == b.cy; }

// Waits up to `boundMs` for the game window to have the host's client size;
// the milliseconds it took, or < 0.
double WaitForFollow(HWND game, HWND host, DWORD boundMs) {
  const double start = NowMs();
  while (NowMs() - start < boundMs) {
    if (SameSize(WindowSize(game), ClientSize(host))) return NowMs() - start;
    Sleep(10);
  }
  return -1;
}

}  // namespace

CheckRun::CheckRun(const Options& options, Report& report, HWND gameWnd)
    : options_(options), report_(report), gameWnd_(gameWnd) {}

CheckRun::~CheckRun() {
  if (channelOpen_) channel_.Close();
}

void CheckRun::Add(const char* group, const char* id, Verdict verdict, const std::string& observation, double ms,
                   const char* section) {
  if (!options_.Runs(group)) return;
  ClauseResult r;
  r.group = group;
  r.id = id;
  r.verdict = verdict;
  r.observation = observation;
  r.ms = ms;
  r.section = section;
  report_.Add(std::move(r));
}

void CheckRun::Run() {
  const double start = NowMs();
  std::vector<ClauseResult> launch = CheckLaunchOptions(GetCommandLineW(), ParentProcessId(), facts_);
  const double launchMs = NowMs() - start;
  for (ClauseResult& r : launch) {
    if (!options_.Runs(r.group.c_str())) continue;
    r.ms = launchMs;
    report_.Add(r);
  }
  CheckChannel();
  CheckWindowClass();
  if (options_.Runs("window") || options_.Runs("messages") || options_.Runs("shutdown")) RunSession();
}

void CheckRun::CheckChannel() {
  const char* kGroup = "channel";
  const char* kSection = "host-channel";
  if (facts_.pipe.empty()) {
    Add(kGroup, "channel-objects", Verdict::Warn, "not judged: no --lumo-pipe names a channel", -1, kSection);
    Add(kGroup, "server-event", Verdict::Warn, "not judged: no --lumo-pipe names a channel", -1, kSection);
    return;
  }
  const std::string& name = facts_.pipe;
  const double started = MsSinceProcessStart();
  double start = NowMs();
  channel_ = lumo::ShmEndpoint::Open(name.c_str());
  const lumo::ShmStatus first = channel_.status;
  double openMs = NowMs() - start;
  // A mapping too small for the region exists but cannot be mapped: waiting
  // would not change it.
  const bool tooSmall = first == lumo::ShmStatus::MapViewFailed;
  if (first != lumo::ShmStatus::Ok && !tooSmall) {
    // Watch on for as long as the game waits for a missing channel, to say
    // how late it came.
    start = NowMs();
    while (channel_.status != lumo::ShmStatus::Ok && NowMs() - start < kLateChannelWaitMs) {
      Sleep(20);
      channel_ = lumo::ShmEndpoint::Open(name.c_str());
    }
    openMs = NowMs() - start;
  }
  channelOpen_ = channel_.status == lumo::ShmStatus::Ok;
  const long long size = MappingSize(name.c_str());
  const std::string sizeText = size >= 0 ? std::to_string(size) + " bytes" : std::string("a size not told");
  if (tooSmall || (channelOpen_ && size >= 0 && size < lumo::kShmRegionSize)) {
    Add(kGroup, "channel-objects", Verdict::Fail,
        "the mapping " + name + " has " + sizeText + "; it must have " + std::to_string(lumo::kShmRegionSize) +
            " (the game maps " + std::to_string(lumo::kShmRegionSize) + " bytes)",
        openMs,
        kSection);
  } else if (first != lumo::ShmStatus::Ok) {
    const std::string missing = "channel " + name + " did not exist when the game started (" + StatusText(first) + ")";
    if (channelOpen_) {
      Add(kGroup, "channel-objects", Verdict::Fail,
          missing + "; it appeared " + Ms(MsSinceProcessStart()) +
              " after the game started: create the mapping and both events before starting the game",
          openMs, kSection);
    } else {
      Add(kGroup, "channel-objects", Verdict::Fail,
          missing + " and still does not " + Ms(kLateChannelWaitMs) + " later: the game's messages are lost",
          openMs, kSection);
    }
  } else {
    Add(kGroup, "channel-objects", Verdict::Pass,
        "mapping " + name + " (" + sizeText + ") and events " + name + "_server_njipc, " + name +
            "_client_njipc open as the game opens them, " + Ms(started) + " after the game started",
        openMs, kSection);
  }
  if (!channelOpen_) {
    Add(kGroup, "server-event", Verdict::Warn, "not judged: the channel does not exist", -1, kSection);
    return;
  }
  start = NowMs();
  const lumo::EventKind server = lumo::QueryEventKind(channel_.serverEvent.handle);
  const lumo::EventKind client = lumo::QueryEventKind(channel_.clientEvent.handle);
  const double kindMs = NowMs() - start;
  if (server == lumo::EventKind::ManualReset) {
    Add(kGroup, "server-event", Verdict::Fail,
        name + "_server_njipc is a manual-reset event: it stays signalled after the host's wait, so the game "
               "takes every message for unread and the host wakes again for old ones; create it auto-reset",
        kindMs, kSection);
  } else if (server == lumo::EventKind::Unknown) {
    Add(kGroup, "server-event", Verdict::Warn, "the kind of " + name + "_server_njipc cannot be queried here",
        kindMs, kSection);
  } else if (client == lumo::EventKind::ManualReset) {
    Add(kGroup, "server-event", Verdict::Warn,
        "the server event is auto-reset, but " + name + "_client_njipc is manual-reset; create both auto-reset",
        kindMs, kSection);
  } else {
    Add(kGroup, "server-event", Verdict::Pass,
        "server and client events are auto-reset (queried without taking a signal)", kindMs, kSection);
  }
}

void CheckRun::CheckWindowClass() {
  const char* kGroup = "channel";
  const char* kSection = "channel-names-and-host-process";
  const double start = NowMs();
  const std::string& name = facts_.pipe;
  if (name.empty()) {
    Add(kGroup, "window-class", Verdict::Warn, "not judged: no --lumo-pipe", -1, kSection);
    return;
  }
  const wchar_t* wideClass = lumo::HostWindowClassFor(name);
  if (wideClass == nullptr) {
    if (lumo::IsPlayerChannel(name)) {
      if (facts_.parent == nullptr) {
        Add(kGroup, "window-class", Verdict::Warn, "not judged: a player channel is watched through --parent, "
                                                   "which names no usable window", -1, kSection);
      } else {
        Add(kGroup, "window-class", Verdict::Pass,
            "player channel " + name + ": the game watches the process of the --parent window (" +
                std::to_string(WindowProcess(facts_.parent)) + ")",
            NowMs() - start, kSection);
      }
      return;
    }
    Add(kGroup, "window-class", Verdict::Warn,
        "channel " + name + " has no host window class: the game cannot tell when the launcher ends, and a "
        "restarted launcher finds the old objects still there; use one of the names in the table",
        NowMs() - start, kSection);
    return;
  }
  const std::string expected = lumo::Utf16ToUtf8(wideClass);
  HWND found = FindWindowW(wideClass, nullptr);
  const double ms = NowMs() - start;
  if (facts_.parent != nullptr) {
    const std::string actual = WindowClassName(facts_.parent);
    if (actual != expected) {
      Add(kGroup, "window-class", Verdict::Fail,
          "the --parent window has class " + actual + "; channel " + name + " needs a top-level window of class " +
              expected + (found ? std::string(" (the one there belongs to process ") +
                                      std::to_string(WindowProcess(found)) + ")"
                                : std::string(" and there is none")) +
              ": the game cannot find the launcher's process to watch",
          ms, kSection);
      return;
    }
    if (found != nullptr && WindowProcess(found) != WindowProcess(facts_.parent)) {
      Add(kGroup, "window-class", Verdict::Fail,
          "the first window of class " + std::string(expected) + " belongs to process " +
              std::to_string(WindowProcess(found)) + ", not to the launcher (" +
              std::to_string(WindowProcess(facts_.parent)) + "): the game would watch the wrong process",
          ms, kSection);
      return;
    }
    Add(kGroup, "window-class", Verdict::Pass,
        "the --parent window has class " + actual + ", as channel " + name + " needs", ms, kSection);
    return;
  }
  if (found == nullptr) {
    Add(kGroup, "window-class", Verdict::Fail,
        "no top-level window of class " + std::string(expected) + ", which channel " + name + " needs", ms, kSection);
    return;
  }
  Add(kGroup, "window-class", Verdict::Pass,
      "process " + std::to_string(WindowProcess(found)) + " owns a window of class " + expected + ", as channel " +
          name + " needs",
      ms, kSection);
}

void CheckRun::RunSession() {
  HWND host = facts_.parent;
  ChannelWatch watch;
  if (channelOpen_) watch.Start(channel_.serverEvent.handle, channel_.region.view);

  double beforeMs = -1;
  if (host != nullptr) beforeMs = ProbeWindow(host, kAnswerBoundMs);
  answeredBefore_ = beforeMs >= 0;

  double start = NowMs();
  initResult_ = static_cast<int>(SendMessageW(gameWnd_, kCallInit, 0, 0));
  const double initMs = NowMs() - start;
  const std::string initText = "lumoGameInit returned " + std::to_string(initResult_);
  if (host == nullptr) {
    Add("window", "embed", Verdict::Warn, "not judged: no usable --parent window; " + initText, initMs,
        "host-window");
  } else if (!answeredBefore_) {
    Add("window", "embed", Verdict::Warn,
        "not judged: the host window did not answer before lumoGameInit (see window-thread); " + initText, initMs,
        "host-window");
  } else if (initResult_ != 0) {
    Add("window", "embed", Verdict::Fail, initText + ": the game window was not embedded", initMs, "host-window");
  } else {
    const HWND ancestor = GetAncestor(gameWnd_, GA_PARENT);
    const SIZE game = WindowSize(gameWnd_);
    const SIZE client = ClientSize(host);
    if (ancestor != host) {
      Add("window", "embed", Verdict::Fail, initText + ", but the game window is not inside the --parent window",
          initMs, "host-window");
    } else {
      Add("window", "embed", SameSize(game, client) ? Verdict::Pass : Verdict::Warn,
          initText + "; the game window is inside the --parent window, " + SizeText(game) +
              " for a client area of " + SizeText(client),
          initMs, "host-window");
    }
  }

  CheckReadyTaken(watch);
  CheckWindowThread();
  if (options_.Runs("window")) CheckDpiModes();
  if (options_.Runs("messages")) RunBurst(watch);
  watch.Stop();
  CheckShutdown();
}

void CheckRun::CheckReadyTaken(ChannelWatch& watch) {
  const char* kSection = "host-channel";
  if (!channelOpen_) {
    Add("messages", "ready-taken", Verdict::Warn, "not judged: the channel does not exist", -1, kSection);
    return;
  }
  if (initResult_ != 0) {
    Add("messages", "ready-taken", Verdict::Warn,
        "not judged: lumoGameInit returned " + std::to_string(initResult_) + ", so nothing was sent", -1, kSection);
    return;
  }
  const double start = NowMs();
  for (;;) {
    for (const Delivery& d : watch.Deliveries()) {
      if (MessageName(d.payload) != lumo::kMsgGameWndReady || d.heldMs < 0) continue;
      if (d.taken && d.heldMs <= kTakeBoundMs) {
        Add("messages", "ready-taken", Verdict::Pass,
            "IpcMsg_GameSDK_GameWndReady was taken " + Ms(d.heldMs) + " after it was written (bound " +
                Ms(kTakeBoundMs) + ")",
            d.heldMs, kSection);
      } else {
        Add("messages", "ready-taken", Verdict::Fail,
            "IpcMsg_GameSDK_GameWndReady stood " + Ms(d.heldMs) + " with the server event still signalled" +
                (d.overwritten ? " and was then overwritten" : "") +
                ": the host must wait on its server event and copy the region within " + Ms(kTakeBoundMs),
            d.heldMs, kSection);
      }
      return;
    }
    if (NowMs() - start > 2000) break;
    Sleep(10);
  }
  std::vector<Delivery> seen = watch.Deliveries();
  for (const Delivery& d : seen) {
    if (MessageName(d.payload) == lumo::kMsgGameWndReady) {
      Add("messages", "ready-taken", Verdict::Fail,
          "IpcMsg_GameSDK_GameWndReady is still waiting with the server event signalled " +
              Ms(NowMs() - d.appearedMs) + " after it was written: the host does not read its channel",
          NowMs() - d.appearedMs, kSection);
      return;
    }
  }
  Add("messages", "ready-taken", Verdict::Fail,
      "IpcMsg_GameSDK_GameWndReady did not appear in the channel within 2 s of lumoGameInit", NowMs() - start,
      kSection);
}

void CheckRun::CheckWindowThread() {
  const char* kSection = "keeping-the-game-responsive";
  HWND host = facts_.parent;
  if (host == nullptr) {
    Add("window", "window-thread", Verdict::Warn, "not judged: no usable --parent window", -1, kSection);
    Add("window", "resize", Verdict::Warn, "not judged: no usable --parent window", -1, "host-window");
    return;
  }
  int asked = 1;
  int answered = answeredBefore_ ? 1 : 0;
  double slowest = 0;
  std::string firstMiss = answeredBefore_ ? std::string() : "before lumoGameInit";
  auto probe = [&](const char* when) {
    ++asked;
    const double ms = ProbeWindow(host, kAnswerBoundMs);
    if (ms >= 0) {
      ++answered;
      slowest = std::max(slowest, ms);
    } else if (firstMiss.empty()) {
      firstMiss = when;
    }
    return ms >= 0;
  };
  const bool embedded = initResult_ == 0 && GetAncestor(gameWnd_, GA_PARENT) == host;
  if (initResult_ == 0) {
    for (int i = 0; i < kEmbeddedProbes && probe(embedded ? "while the game is embedded" : "after lumoGameInit");
         ++i) {
      Sleep(30);
    }
  }
  // A re-size, as a user drags the launcher's frame, then probes. Posted to
  // the launcher's thread only where the two threads are on different input
  // queues (Wine); on Windows the embedded game window's thread shares the
  // launcher's, and the call returns once the launcher has handled it.
  std::string resizeText;
  Verdict resizeVerdict = Verdict::Warn;
  double resizeMs = -1;
  // Only a window a person can resize (a sizing border or a maximize box)
  // must let the game window follow its client area.
  const LONG_PTR hostStyle = GetWindowLongPtrW(host, GWL_STYLE);
  const bool resizable = (hostStyle & (WS_THICKFRAME | WS_MAXIMIZEBOX)) != 0;
  const bool canResize = resizable && embedded && firstMiss.empty() && options_.Runs("window");
  if (!resizable) {
    resizeVerdict = Verdict::Pass;
    resizeText = "not applicable: the host window has neither a sizing border nor a maximize box, so a person "
                 "cannot resize it";
  } else if (canResize) {
    const SIZE original = WindowSize(host);
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
    SetWindowPos(host, nullptr, 0, 0, original.cx + 64, original.cy + 48, flags);
    for (int i = 0; i < 5; ++i) probe("during a re-size");
    const double grown = WaitForFollow(gameWnd_, host, kFollowBoundMs);
    const SIZE grownClient = ClientSize(host);
    const SIZE grownGame = WindowSize(gameWnd_);
    SetWindowPos(host, nullptr, 0, 0, original.cx, original.cy, flags);
    for (int i = 0; i < 5; ++i) probe("during a re-size");
    const double shrunk = WaitForFollow(gameWnd_, host, kFollowBoundMs);
    if (grown >= 0 && shrunk >= 0) {
      resizeVerdict = Verdict::Pass;
      resizeText = "the game window followed the client area to " + SizeText(grownClient) + " in " + Ms(grown) +
                   " and back to " + SizeText(ClientSize(host)) + " in " + Ms(shrunk);
      resizeMs = std::max(grown, shrunk);
    } else {
      resizeVerdict = Verdict::Fail;
      resizeText = grown < 0 ? "the client area became " + SizeText(grownClient) + ", the game window stayed " +
                                   SizeText(grownGame) + " for " + Ms(kFollowBoundMs)
                             : "the client area went back to " + SizeText(ClientSize(host)) +
                                   ", the game window stayed " + SizeText(WindowSize(gameWnd_)) + " for " +
                                   Ms(kFollowBoundMs);
      resizeText += ": the host must size the embedded game window when its client area changes";
      resizeMs = kFollowBoundMs;
    }
  } else if (!embedded) {
    resizeText = "not judged: the game window is not embedded";
  } else {
    resizeText = "not judged: the host window thread does not answer (see window-thread)";
  }

  windowThreadOk_ = firstMiss.empty();
  const std::string counts = std::to_string(answered) + " of " + std::to_string(asked) + " WM_NULL probes answered";
  if (windowThreadOk_) {
    Add("window", "window-thread", Verdict::Pass,
        counts + " (before lumoGameInit, while embedded" + (canResize ? ", during a re-size" : "") +
            "), slowest " + Ms(slowest),
        slowest, kSection);
  } else {
    Add("window", "window-thread", Verdict::Fail,
        counts + "; the first without an answer within " + Ms(kAnswerBoundMs) + " came " + firstMiss +
            ": the host window's thread must keep pumping messages while the game runs",
        kAnswerBoundMs, kSection);
  }
  Add("window", "resize", resizeVerdict, resizeText, resizeMs, "host-window");
}

void CheckRun::CheckDpiModes() {
  const char* kSection = "host-window";
  HWND host = facts_.parent;
  if (host == nullptr) {
    Add("window", "dpi-modes", Verdict::Warn, "not judged: no usable --parent window", -1, kSection);
    return;
  }
  if (!windowThreadOk_) {
    Add("window", "dpi-modes", Verdict::Warn,
        "not judged: the host window thread does not answer (see window-thread)", -1, kSection);
    return;
  }
  const double start = NowMs();
  const std::vector<DpiModeTrial> trials = TryDpiModes(host, kDpiTrialBoundMs);
  const double ms = NowMs() - start;
  const DpiModesResult result = JudgeDpiModes(trials, lumo::WindowDpiAwareness(host), lumo::WindowDpiHosting(host));
  Add("window", "dpi-modes", result.verdict, result.observation, ms, kSection);
}

void CheckRun::RunBurst(ChannelWatch& watch) {
  const char* kSection = "host-channel";
  if (options_.burst <= 0) {
    Add("messages", "burst-taken", Verdict::Warn,
        "not run: --burst sends IpcMsg_GameSDK_ShowPay test requests to see each taken in time", -1, kSection);
    return;
  }
  if (!channelOpen_ || initResult_ != 0) {
    Add("messages", "burst-taken", Verdict::Warn,
        std::string("not judged: ") + (channelOpen_ ? "lumoGameInit failed" : "the channel does not exist"), -1,
        kSection);
    return;
  }
  const int login = lumoGameLogin();
  if (login != 0) {
    Add("messages", "burst-taken", Verdict::Warn,
        "not run: lumoGameLogin returned " + std::to_string(login) +
            "; payment requests need a token the verify endpoint accepts",
        -1, kSection);
    return;
  }
  const DWORD run = GetCurrentProcessId();
  const int count = options_.burst;
  int refused = 0;
  const double start = NowMs();
  for (int i = 0; i < count; ++i) {
    if (lumoShowPay(BurstText(run, i).c_str()) != 0) ++refused;
  }
  // Paced by the library: about one message per 10 ms to a host that keeps
  // up, one per 100 ms to one that does not.
  const double deadline = start + count * (kTakeBoundMs + 50) + 3000;
  std::vector<const Delivery*> bySeq;
  std::vector<Delivery> seen;
  for (;;) {
    seen = watch.Deliveries();
    bySeq.assign(static_cast<size_t>(count), nullptr);
    bool settled = true;
    for (const Delivery& d : seen) {
      const int seq = BurstSequence(d.payload, run);
      if (seq >= 0 && seq < count) bySeq[static_cast<size_t>(seq)] = &d;
    }
    for (const Delivery* d : bySeq) settled = settled && d != nullptr && d->heldMs >= 0;
    if (settled || NowMs() > deadline) break;
    Sleep(20);
  }
  const double totalMs = NowMs() - start;
  int missing = 0, slow = 0, overwritten = 0;
  double slowest = 0;
  for (const Delivery* d : bySeq) {
    if (d == nullptr) {
      ++missing;
      continue;
    }
    const double held = d->heldMs >= 0 ? d->heldMs : NowMs() - d->appearedMs;
    slowest = std::max(slowest, held);
    if (d->overwritten) ++overwritten;
    else if (!d->taken || held > kTakeBoundMs) ++slow;
  }
  const std::string summary = std::to_string(count) + " test requests (" + std::to_string(refused) +
                              " refused by lumoShowPay), slowest taken after " + Ms(slowest) + ", all delivered in " +
                              Ms(totalMs);
  if (missing == 0 && slow == 0 && overwritten == 0 && refused == 0) {
    Add("messages", "burst-taken", Verdict::Pass, summary, slowest, kSection);
    return;
  }
  std::string why;
  if (overwritten) why += std::to_string(overwritten) + " overwritten before the host took them; ";
  if (slow) why += std::to_string(slow) + " not taken within " + Ms(kTakeBoundMs) + "; ";
  if (missing) why += std::to_string(missing) + " never seen in the region; ";
  Add("messages", "burst-taken", Verdict::Fail,
      summary + ": " + why + "the host must wait on its server event again right after copying each message",
      slowest, kSection);
}

void CheckRun::CheckShutdown() {
  const char* kSection = "shutdown";
  HWND host = facts_.parent;
  if (initResult_ != 0) {
    Add("shutdown", "uninit", Verdict::Warn,
        "not judged: lumoGameInit returned " + std::to_string(initResult_) + " (lumoGameUninit not called)", -1,
        kSection);
    return;
  }
  const DWORD hostPid = WindowProcess(host);
  const bool wasEmbedded = host != nullptr && GetAncestor(gameWnd_, GA_PARENT) == host;
  const double start = NowMs();
  SendMessageW(gameWnd_, kCallUninit, 0, 0);
  const double uninitMs = NowMs() - start;
  // The process ends 3 s after the call: what follows stays well inside that.
  const std::string uninitText = "lumoGameUninit returned in " + Ms(uninitMs);
  if (host == nullptr) {
    Add("shutdown", "uninit", Verdict::Warn, "not judged: no usable --parent window; " + uninitText, uninitMs,
        kSection);
    return;
  }
  if (!windowThreadOk_) {
    Add("shutdown", "uninit", Verdict::Warn,
        "not judged: the host window thread did not answer earlier (see window-thread); " + uninitText, uninitMs,
        kSection);
    return;
  }
  const bool left = GetAncestor(gameWnd_, GA_PARENT) != host;
  const double answer = ProbeWindow(host, 500);
  const bool runs = ProcessRuns(hostPid);
  std::string problems;
  if (wasEmbedded && !left) problems += "the game window is still inside the host window; ";
  if (!IsWindow(host)) problems += "the host window is gone; ";
  else if (answer < 0) problems += "the host window does not answer within 500 ms; ";
  if (!runs) problems += "the launcher's process ended; ";
  if (problems.empty()) {
    Add("shutdown", "uninit", Verdict::Pass,
        uninitText + "; the game window left the host window, the host window answered in " + Ms(answer) +
            " and process " + std::to_string(hostPid) + " runs on",
        uninitMs, kSection);
  } else {
    Add("shutdown", "uninit", Verdict::Fail,
        uninitText + ", then " + problems + "the launcher must stay healthy and keep pumping while the game ends",
        uninitMs, kSection);
  }
}

}  // namespace hostcheck
