#include "debug_output_capture.h"

#include <atomic>

namespace ipc_test {

namespace {
std::atomic<DebugOutputCapture*> g_capture{nullptr};
constexpr DWORD kDebugPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C
}  // namespace

DebugOutputCapture::DebugOutputCapture() {
  g_capture.store(this);
  handle_ = AddVectoredExceptionHandler(1, &DebugOutputCapture::Handler);
}

DebugOutputCapture::~DebugOutputCapture() {
  if (handle_) RemoveVectoredExceptionHandler(handle_);
  g_capture.store(nullptr);
}

LONG CALLBACK DebugOutputCapture::Handler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* rec = info->ExceptionRecord;
  DebugOutputCapture* self = g_capture.load();
  if (self && rec->ExceptionCode == kDebugPrintException && rec->NumberParameters >= 2) {
    // Parameters: length including the terminator, then the text.
    const char* text = reinterpret_cast<const char*>(rec->ExceptionInformation[1]);
    const size_t length = static_cast<size_t>(rec->ExceptionInformation[0]);
    std::string s = text ? std::string(text, length > 0 ? length - 1 : 0) : std::string();
    std::lock_guard<std::mutex> guard(self->lock_);
    self->strings_.push_back(std::move(s));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

std::vector<std::string> DebugOutputCapture::Strings() {
  std::lock_guard<std::mutex> guard(lock_);
  return strings_;
}

bool DebugOutputCapture::WaitForCount(size_t count, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (strings_.size() >= count) return true;
    }
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
}

}  // namespace ipc_test
