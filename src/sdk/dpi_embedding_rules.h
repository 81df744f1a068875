// What Windows does when a game window is embedded into a launcher window of
// another DPI awareness, and what either side can do about it. Pure text and
// rules, no system calls: the values come from dpi_awareness.h.
//
// The rules. Without mixed DPI hosting on the parent's thread (Windows 10
// 1803 and later), a window cannot take a child of another awareness; with
// it, a per-monitor aware child still cannot go under a system aware or
// unaware parent. What Windows does with such a pair depends on whose the
// windows are:
// - across processes (the launcher's window and the game's, our case) the
//   re-parenting takes (Windows 8.1 and later) and the child's process has
//   its DPI awareness reset: the game then draws and reads the mouse at a
//   scale it did not choose;
// - within one process Windows 10 1703 and later refuse the re-parenting
//   (ERROR_INVALID_STATE); earlier versions reset that process.
// Before mixed hosting existed (and under Wine) the hosting reads Unknown and
// counts as not mixed. Wine neither resets nor refuses. Any thread.
#pragma once

#include <string>

#include "sdk/dpi_awareness.h"

namespace lumo {

const wchar_t* DpiAwarenessName(DpiAwareness awareness);
const wchar_t* DpiHostingName(DpiHosting hosting);

enum class DpiEmbedVerdict {
  Fine,              // same awareness, or mixed hosting that allows this child
  NotKnown,          // an awareness could not be read
  MayResetOrRefuse,  // Windows resets the game's awareness (or refuses, in-process)
};

DpiEmbedVerdict JudgeDpiEmbedding(DpiAwareness game, DpiAwareness host, DpiHosting hosting);

// What each side can change so that a game window of awareness `game` keeps
// it under a launcher window of awareness `host`: "launcher: ...; game: ...".
// For any pair; the cure of a pair judged Fine is the launcher's part alone.
std::wstring DpiCure(DpiAwareness game, DpiAwareness host);

// DpiCure for a pair judged MayResetOrRefuse; empty for any other verdict.
std::wstring DpiEmbeddingCure(DpiAwareness game, DpiAwareness host, DpiHosting hosting);

// The values read before and after a re-parenting that took.
struct DpiReadings {
  DpiAwareness window = DpiAwareness::Unknown;  // the game window's
  DpiAwareness thread = DpiAwareness::Unknown;  // the embedding thread's
};

inline bool operator==(const DpiReadings& a, const DpiReadings& b) {
  return a.window == b.window && a.thread == b.thread;
}

// The log line for a re-parenting after which the game's awareness differs
// from before: both values before and after, the host window's awareness
// and hosting, what the player may see, and the cure for each side.
std::wstring DpiResetLine(const DpiReadings& before, const DpiReadings& after, DpiAwareness host,
                          DpiHosting hosting);

}  // namespace lumo
