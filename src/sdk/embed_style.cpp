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

// `exStyle` with the topmost bit the window has now: a style write never
// asks for a change of band.
LONG_PTR WithCurrentBand(HWND wnd, LONG_PTR exStyle) {
  const LONG_PTR band = GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST;
  return (exStyle & ~static_cast<LONG_PTR>(WS_EX_TOPMOST)) | band;
}

}  // namespace

SavedStyles RestyleForHost(HWND wnd) {
  SavedStyles saved;
  saved.style = GetWindowLongPtrW(wnd, GWL_STYLE);
  saved.exStyle = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
  if (WasTopmost(saved)) SetWindowPos(wnd, HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
  const uint32_t style = static_cast<uint32_t>(saved.style);
  SetWindowLongPtrW(wnd, GWL_STYLE, static_cast<LONG_PTR>((style & ~kEmbedStyleClear) | kEmbedStyleSet));
  SetWindowLongPtrW(wnd, GWL_EXSTYLE,
                    WithCurrentBand(wnd, saved.exStyle & ~static_cast<LONG_PTR>(kEmbedExStyleClear)));
  ApplyFrameChange(wnd);
  return saved;
}

void RestoreStyles(HWND wnd, const SavedStyles& saved) {
  SetWindowLongPtrW(wnd, GWL_STYLE, saved.style);
  SetWindowLongPtrW(wnd, GWL_EXSTYLE, WithCurrentBand(wnd, saved.exStyle));
  ApplyFrameChange(wnd);
  if (WasTopmost(saved)) SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
}

}  // namespace lumo
