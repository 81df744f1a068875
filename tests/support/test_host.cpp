#include "support/test_host.h"

#include <nlohmann/json.hpp>

namespace lumo_test {

namespace {

const wchar_t kHostClass[] = L"LumoTestHostWnd";

LRESULT CALLBACK DestroyOnNullProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NULL) {
    DestroyWindow(wnd);
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

LRESULT CALLBACK HangOnNullProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  static bool hung = false;  // one host window per process uses it
  if (msg == WM_NULL && !hung) {
    hung = true;
    Sleep(1500);
    return 0;
  }
  return DefWindowProcW(wnd, msg, wp, lp);
}

WNDPROC ProcFor(HostWindowThread::OnNull onNull) {
  switch (onNull) {
    case HostWindowThread::OnNull::Destroy:
      return DestroyOnNullProc;
    case HostWindowThread::OnNull::Hang:
      return HangOnNullProc;
    case HostWindowThread::OnNull::Answer:
    default:
      return DefWindowProcW;
  }
}

const wchar_t* ClassSuffix(HostWindowThread::OnNull onNull) {
  switch (onNull) {
    case HostWindowThread::OnNull::Destroy:
      return L"Destroy";
    case HostWindowThread::OnNull::Hang:
      return L"Hang";
    case HostWindowThread::OnNull::Answer:
    default:
      return L"";
  }
}

}  // namespace

HostWindowThread::HostWindowThread(OnNull onNull)
    : onNull_(onNull), ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = CreateThread(nullptr, 0, &ThreadMain, this, 0, &threadId_);
  if (thread_ != nullptr) WaitForSingleObject(ready_, 10000);
}

DWORD WINAPI HostWindowThread::ThreadMain(void* self) {
  static_cast<HostWindowThread*>(self)->Run();
  return 0;
}

void HostWindowThread::Run() {
  const OnNull onNull = onNull_;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ProcFor(onNull);
  wc.hInstance = GetModuleHandleW(nullptr);
  const std::wstring cls = std::wstring(kHostClass) + ClassSuffix(onNull);
  wc.lpszClassName = cls.c_str();
  RegisterClassW(&wc);
  hwnd_ = CreateWindowExW(0, cls.c_str(), L"test host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                          wc.hInstance, nullptr);
  SetEvent(ready_);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

HostWindowThread::~HostWindowThread() {
  if (thread_ != nullptr) {
    // The thread answers messages only: it ends as soon as it sees the quit.
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  CloseHandle(ready_);
}

HostChannelReader::HostChannelReader(const std::string& name, DWORD pauseAfterReadMs)
    : endpoint_(lumo::ShmEndpoint::Create(name.c_str())),
      pauseAfterReadMs_(pauseAfterReadMs),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (ok()) thread_ = std::thread([this] { Read(); });
}

void HostChannelReader::Read() {
  HANDLE waits[2] = {stop_, endpoint_.serverEvent.handle};
  // Unbounded: the destructor always sets stop_ before it joins.
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    std::string message;
    if (!endpoint_.Read(message)) continue;
    {
      std::lock_guard<std::mutex> guard(lock_);
      messages_.push_back(message);
    }
    if (pauseAfterReadMs_ != 0) Sleep(pauseAfterReadMs_);
  }
}

HostChannelReader::~HostChannelReader() {
  SetEvent(stop_);
  if (thread_.joinable()) thread_.join();  // ends at the stop event
  if (ok()) endpoint_.Close();
  CloseHandle(stop_);
}

std::vector<std::string> HostChannelReader::Messages() {
  std::lock_guard<std::mutex> guard(lock_);
  return messages_;
}

bool HostChannelReader::WaitFor(const std::string& needle, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    for (const std::string& message : Messages()) {
      if (message.find(needle) != std::string::npos) return true;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
}

std::map<std::string, std::vector<std::string>> MessagesByGame(const std::vector<std::string>& envelopes) {
  std::map<std::string, std::vector<std::string>> games;
  for (const std::string& envelope : envelopes) {
    const nlohmann::json outer = nlohmann::json::parse(envelope);
    const nlohmann::json body = nlohmann::json::parse(outer.at("body").get<std::string>());
    games[body.at(0).get<std::string>()].push_back(
        outer.at("msg") == "IpcMsg_GameSDK_ShowPay" ? body.at(1).get<std::string>() : "ready");
  }
  return games;
}

}  // namespace lumo_test
