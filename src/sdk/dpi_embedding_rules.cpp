#include "sdk/dpi_embedding_rules.h"

namespace lumo {

namespace {

// Per-monitor v1 and v2 are one awareness for the re-parenting rule.
int Level(DpiAwareness awareness) {
  switch (awareness) {
    case DpiAwareness::Unaware:
      return 0;
    case DpiAwareness::SystemAware:
      return 1;
    case DpiAwareness::PerMonitorAware:
    case DpiAwareness::PerMonitorAwareV2:
      return 2;
    case DpiAwareness::Unknown:
    default:
      return -1;
  }
}

constexpr int kPerMonitor = 2;

}  // namespace

const wchar_t* DpiAwarenessName(DpiAwareness awareness) {
  switch (awareness) {
    case DpiAwareness::Unaware:
      return L"unaware";
    case DpiAwareness::SystemAware:
      return L"system aware";
    case DpiAwareness::PerMonitorAware:
      return L"per-monitor aware";
    case DpiAwareness::PerMonitorAwareV2:
      return L"per-monitor aware v2";
    case DpiAwareness::Unknown:
    default:
      return L"unknown";
  }
}

const wchar_t* DpiHostingName(DpiHosting hosting) {
  switch (hosting) {
    case DpiHosting::Default:
      return L"default (not mixed)";
    case DpiHosting::Mixed:
      return L"mixed";
    case DpiHosting::Unknown:
    default:
      return L"unknown (no mixed hosting on this system)";
  }
}

DpiEmbedVerdict JudgeDpiEmbedding(DpiAwareness game, DpiAwareness host, DpiHosting hosting) {
  const int gameLevel = Level(game);
  const int hostLevel = Level(host);
  if (gameLevel < 0 || hostLevel < 0) return DpiEmbedVerdict::NotKnown;
  if (gameLevel == hostLevel) return DpiEmbedVerdict::Fine;
  if (hosting != DpiHosting::Mixed) return DpiEmbedVerdict::MayResetOrRefuse;
  return gameLevel == kPerMonitor ? DpiEmbedVerdict::MayResetOrRefuse : DpiEmbedVerdict::Fine;
}

std::wstring DpiCure(DpiAwareness game, DpiAwareness host) {
  std::wstring launcher =
      L"launcher: create the host window on a thread with mixed DPI hosting "
      L"(SetThreadDpiHostingBehavior(DPI_HOSTING_BEHAVIOR_MIXED) before CreateWindow, Windows 10 1803 and later)";
  if (Level(game) == kPerMonitor && Level(host) >= 0 && Level(host) < kPerMonitor) {
    launcher += std::wstring(L" and make it per-monitor aware: a ") + DpiAwarenessName(host) +
                L" window cannot host a per-monitor aware game window even with mixed hosting";
  }
  return launcher + L"; game: set its engine's DPI awareness setting (or its manifest) to " +
         DpiAwarenessName(host) + L", the launcher window's";
}

std::wstring DpiEmbeddingCure(DpiAwareness game, DpiAwareness host, DpiHosting hosting) {
  if (JudgeDpiEmbedding(game, host, hosting) != DpiEmbedVerdict::MayResetOrRefuse) return std::wstring();
  return DpiCure(game, host);
}

std::wstring DpiResetLine(const DpiReadings& before, const DpiReadings& after, DpiAwareness host,
                          DpiHosting hosting) {
  // The awareness the game chose: its window's, or its thread's where the
  // window's cannot be read.
  const DpiAwareness chosen = before.window != DpiAwareness::Unknown ? before.window : before.thread;
  return std::wstring(L"EmbedGameWindow the embedding changed the game's DPI awareness (Windows resets the "
                      L"awareness of a game embedded into a window of another awareness): game window ") +
         DpiAwarenessName(before.window) + L" -> " + DpiAwarenessName(after.window) + L", game thread " +
         DpiAwarenessName(before.thread) + L" -> " + DpiAwarenessName(after.thread) + L"; host window: " +
         DpiAwarenessName(host) + L", host DPI hosting: " + DpiHostingName(hosting) +
         L". On a scaled display the player may see the game blurred (stretched by the system) or drawn at the "
         L"wrong scale, and the mouse may point beside where it is drawn; " +
         DpiCure(chosen, host);
}

}  // namespace lumo
