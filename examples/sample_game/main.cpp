// Sample game: the smallest Win32 game that integrates LumoGameSDK.
//
// It creates its main window, then, from its own message loop:
//   lumoGameInit     once the window exists, on the window's thread (the SDK
//                    finds the window there and embeds it into the
//                    launcher's window)
//   lumoGameLogin    on a worker thread, which posts the result to the
//                    window: the HTTPS request may take seconds, and the game
//                    keeps drawing and handling input meanwhile
//   lumoShowPay      once the login succeeded: asks the launcher to show its
//                    payment window
//   lumoGameUninit   --uninit-after=<ms> (default 5000) after the login; the
//                    SDK closes the window, ends the message loop and, 3 s
//                    later, the process
#include <windows.h>
#include <imm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LumoGameSDK.h"

namespace {

const UINT kStartSdk = WM_APP + 1;
const UINT kLoginDone = WM_APP + 2;  // wParam: what lumoGameLogin returned
const UINT_PTR kUninitTimer = 1;
const UINT_PTR kFrameTimer = 2;
int g_frame = 0;
UINT g_uninitAfterMs = 5000;

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void PrintLoginInfo(const LoginInfo* info) {
  if (info == nullptr) {
    Print("[game] login info: none\n");
    return;
  }
  char appid[256] = {}, sid[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, info->appid, -1, appid, sizeof(appid), nullptr, nullptr);
  WideCharToMultiByte(CP_UTF8, 0, info->sid, -1, sid, sizeof(sid), nullptr, nullptr);
  Print("[game] login info: size=%d uid=%lld appid=%s sid=%s time=%lld utype=%d\n", info->size,
        static_cast<long long>(info->uid), appid, sid, static_cast<long long>(info->time), info->utype);
}

// The login's own thread: it only calls the SDK and tells the window.
DWORD WINAPI LoginThread(void* param) {
  const SdkError login = lumoGameLogin();
  // The window may be gone by now (the player closed the game): then the
  // post fails and the result is dropped, which is what the game wants.
  PostMessageW(static_cast<HWND>(param), kLoginDone, static_cast<WPARAM>(login), 0);
  return 0;
}

// Back on the window thread, with the login's result.
void OnLoginDone(HWND wnd, SdkError login) {
  Print("[game] lumoGameLogin=%d\n", login);
  PrintLoginInfo(lumoGetLoginInfo());

  if (login == SdkError_Ok) {
    // The request text is the game's own; the SDK forwards it unchanged.
    const char* request = "{\"item\":\"gem_pack_100\",\"price\":\"4.99\",\"title\":\"100 \xc3\xa9" "clats \\\"gems\\\"\"}";
    Print("[game] lumoShowPay=%d\n", lumoShowPay(request));
  }
  SetTimer(wnd, kUninitTimer, g_uninitAfterMs, nullptr);
}

void StartSdk(HWND wnd) {
  const SdkError init = lumoGameInit();
  Print("[game] lumoGameInit=%d\n", init);
  if (init != SdkError_Ok) return;

  HANDLE login = CreateThread(nullptr, 0, LoginThread, wnd, 0, nullptr);
  if (login != nullptr) {
    CloseHandle(login);  // it ends by itself
    return;
  }
  // No thread to spare: the login on this thread works too; the window
  // waits for it (it still answers the launcher meanwhile).
  OnLoginDone(wnd, lumoGameLogin());
}

void Paint(HWND wnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(wnd, &ps);
  RECT rc;
  GetClientRect(wnd, &rc);
  // A vertical gradient and a caption, so a screenshot shows where the game is.
  for (int y = rc.top; y < rc.bottom; y += 4) {
    const int t = rc.bottom > 0 ? 255 * y / rc.bottom : 0;
    HBRUSH band = CreateSolidBrush(RGB(20, 60 + t / 3, 120 + t / 2));
    RECT r = {rc.left, y, rc.right, y + 4};
    FillRect(dc, &r, band);
    DeleteObject(band);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 230, 90));
  HFONT font = CreateFontW(48, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
  HGDIOBJ old = SelectObject(dc, font);
  DrawTextW(dc, L"Lumo Sample Game", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  // A moving marker: the game keeps drawing while it is embedded.
  const int x = rc.right > 40 ? (g_frame * 12) % (rc.right - 40) : 0;
  RECT marker = {x, rc.bottom - 60, x + 40, rc.bottom - 20};
  HBRUSH markerBrush = CreateSolidBrush(RGB(255, 120, 40));
  FillRect(dc, &marker, markerBrush);
  DeleteObject(markerBrush);
  SelectObject(dc, old);
  DeleteObject(font);
  EndPaint(wnd, &ps);
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kStartSdk:
      StartSdk(wnd);
      return 0;
    case kLoginDone:
      OnLoginDone(wnd, static_cast<SdkError>(static_cast<int>(wp)));
      return 0;
    case WM_TIMER:
      if (wp == kFrameTimer) {
        ++g_frame;
        InvalidateRect(wnd, nullptr, FALSE);
      }
      if (wp == kUninitTimer) {
        KillTimer(wnd, kUninitTimer);
        Print("[game] lumoGameUninit\n");
        lumoGameUninit();
      }
      return 0;
    case WM_SIZE:
      Print("[game] WM_SIZE %dx%d\n", LOWORD(lp), HIWORD(lp));
      InvalidateRect(wnd, nullptr, FALSE);
      return 0;
    case WM_PAINT:
      Paint(wnd);
      return 0;
    case WM_CLOSE:
      Print("[game] WM_CLOSE\n");
      DestroyWindow(wnd);
      return 0;
    default:
      return DefWindowProcW(wnd, msg, wp, lp);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--uninit-after=", 15) == 0) g_uninitAfterMs = static_cast<UINT>(std::atoi(argv[i] + 15));
  }
  // Windows gives the game's input-method window an owner, so the SDK's
  // window search skips it; Wine creates it ownerless and titled. The sample
  // needs no input method, so it turns it off before creating windows.
  ImmDisableIME(0);

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = L"LumoSampleGameWnd";
  RegisterClassW(&wc);
  HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"Lumo Sample Game", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr, instance, nullptr);
  if (wnd == nullptr) return 1;
  Print("[game] window=%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(wnd)));
  SetTimer(wnd, kFrameTimer, 100, nullptr);
  PostMessageW(wnd, kStartSdk, 0, 0);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // A real game would save and tear down here; the SDK ends the process
  // about 3 s after lumoGameUninit. Waiting longer means it did not.
  Print("[game] message loop ended\n");
  Sleep(20000);
  Print("[game] still running 20 s after the message loop ended\n");
  return 3;
}
