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
  if (hosting != DpiHosting::Mixed) return DpiEmbedVerdict::MayBeRefused;
  return gameLevel == 2 ? DpiEmbedVerdict::MayBeRefused : DpiEmbedVerdict::Fine;
}

std::wstring DpiEmbeddingCure(DpiAwareness game, DpiAwareness host, DpiHosting hosting) {
  if (JudgeDpiEmbedding(game, host, hosting) != DpiEmbedVerdict::MayBeRefused) return std::wstring();
  const std::wstring hostName = DpiAwarenessName(host);
  if (hosting == DpiHosting::Mixed) {
    return L"a per-monitor aware game window cannot be hosted by a " + hostName +
           L" launcher window even with mixed hosting: make the game system aware or unaware, or the "
           L"launcher's window per-monitor aware";
  }
  return L"the launcher should create its window on a thread with mixed DPI hosting "
         L"(SetThreadDpiHostingBehavior(DPI_HOSTING_BEHAVIOR_MIXED), Windows 10 1803 and later), or the game "
         L"should run " + hostName + L" like the launcher's window";
}

}  // namespace lumo
