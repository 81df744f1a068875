// Whether Windows may refuse to embed a game window into a launcher window
// of another DPI awareness, and what either side can do about it. Pure text
// and rules, no system calls: the values come from dpi_awareness.h.
//
// The rules (Windows 10 1703 and later): a window can only be re-parented
// into a window of the same awareness, unless the parent was created on a
// thread with mixed DPI hosting; even then a per-monitor aware child cannot
// be hosted by a system aware or unaware parent. Before mixed hosting
// existed (and under Wine) the hosting reads Unknown and counts as not mixed.
// Any thread.
#pragma once

#include <string>

#include "sdk/dpi_awareness.h"

namespace lumo {

const wchar_t* DpiAwarenessName(DpiAwareness awareness);
const wchar_t* DpiHostingName(DpiHosting hosting);

enum class DpiEmbedVerdict {
  Fine,          // same awareness, or mixed hosting that allows this child
  NotKnown,      // an awareness could not be read
  MayBeRefused,  // Windows 10 1703 and later refuse this pair
};

DpiEmbedVerdict JudgeDpiEmbedding(DpiAwareness game, DpiAwareness host, DpiHosting hosting);

// One sentence for a pair judged MayBeRefused: what the launcher or the game
// can change. Empty for any other verdict.
std::wstring DpiEmbeddingCure(DpiAwareness game, DpiAwareness host, DpiHosting hosting);

}  // namespace lumo
