// The bounds of the IPC link's shutdown, side by side: StopIpc returns
// within kIpcStopBoundMs, which lumoGameUninit adds to its window detach.
#pragma once

#include <windows.h>

namespace lumo {

constexpr DWORD kReceiveStopBoundMs = 200;  // the receive loop's return, once told to stop
constexpr DWORD kIpcStopBudgetMs = 700;     // the sender's delivery of what is still queued
constexpr DWORD kSenderStopMarginMs = 150;  // the sender's clean-up (dropping the host connections)
constexpr DWORD kIpcStopBoundMs = kReceiveStopBoundMs + kIpcStopBudgetMs + kSenderStopMarginMs;

// The delivery budget of a channel destroyed without Close: only what is
// already due goes out.
constexpr DWORD kDestructionBudgetMs = 0;

}  // namespace lumo
