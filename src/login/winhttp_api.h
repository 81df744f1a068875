// WinHTTP, loaded on the first login rather than by the loader: a game that
// never logs in never maps it, and it is taken from the system folder only,
// so a winhttp.dll planted beside the game is never picked up. Loaded at most
// once per process and kept until the process ends; the table is read-only
// after that, so any thread may use it.
#pragma once

#include <windows.h>
#include <winhttp.h>

namespace lumo {

// The WinHTTP functions the login client calls, as exported by the system's
// winhttp.dll.
struct WinHttpApi {
  decltype(&::WinHttpCrackUrl) CrackUrl;
  decltype(&::WinHttpOpen) Open;
  decltype(&::WinHttpSetTimeouts) SetTimeouts;
  decltype(&::WinHttpSetOption) SetOption;
  decltype(&::WinHttpConnect) Connect;
  decltype(&::WinHttpOpenRequest) OpenRequest;
  decltype(&::WinHttpSendRequest) SendRequest;
  decltype(&::WinHttpReceiveResponse) ReceiveResponse;
  decltype(&::WinHttpQueryHeaders) QueryHeaders;
  decltype(&::WinHttpQueryDataAvailable) QueryDataAvailable;
  decltype(&::WinHttpReadData) ReadData;
  decltype(&::WinHttpCloseHandle) CloseHandle;
  decltype(&::WinHttpSetStatusCallback) SetStatusCallback;
};

// Loads winhttp.dll from the system folder on the first call (thread-safe).
// Null when it or one of the functions cannot be found; later calls give the
// same answer without trying again.
const WinHttpApi* GetWinHttpApi();

// Why GetWinHttpApi gave null: the Windows error of loading winhttp.dll or
// of finding a function in it; 0 while it has not failed.
DWORD WinHttpLoadError();

}  // namespace lumo
