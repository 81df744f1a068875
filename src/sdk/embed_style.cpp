#include "sdk/embed_style.h"

namespace lumo {

namespace {

constexpr UINT kKeepPlace = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;

// Makes a style change take effect without moving, sizing, re-ordering or
// activating the window.
void ApplyFrameChange(HWND wnd) {
  SetWindowPos(wnd, nullptr, 0, 0, 0, 0, kKeepPlace | SWP_NOZORDER | SWP_FRAMECHANGED);
}

bool WasTopmost(const SavedStyles& saved) { return (saved.exStyle & WS_EX_TOPMOST) != 0; }

}  // namespace

SavedStyles RestyleForHost(HWND wnd) {
  SavedStyles saved;
  saved.style = GetWindowLongPtrW(wnd, GWL_STYLE);
  saved.exStyle = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
  const uint32_t style = static_cast<uint32_t>(saved.style);
  SetWindowLongPtrW(wnd, GWL_STYLE, static_cast<LONG_PTR>((style & ~kEmbedStyleClear) | kEmbedStyleSet));
  SetWindowLongPtrW(wnd, GWL_EXSTYLE, saved.exStyle & ~static_cast<LONG_PTR>(kEmbedExStyleClear));
  ApplyFrameChange(wnd);
  if (WasTopmost(saved)) SetWindowPos(wnd, HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
  return saved;
}

void RestoreStyles(HWND wnd, const SavedStyles& saved) {
  SetWindowLongPtrW(wnd, GWL_STYLE, saved.style);
  SetWindowLongPtrW(wnd, GWL_EXSTYLE, saved.exStyle);
  ApplyFrameChange(wnd);
  if (WasTopmost(saved)) SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
}

}  // namespace lumo
