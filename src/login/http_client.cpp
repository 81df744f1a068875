#include "login/http_client.h"

#include <atomic>
#include <vector>

#include "login/winhttp_api.h"
#include "login/winhttp_errors.h"
#include "nbase/monotonic_clock.h"

namespace lumo {

namespace {

const wchar_t kUserAgent[] = L"LumoGameSDK/1.0";
constexpr DWORD kHostUnits = 256;
constexpr DWORD kPathUnits = 2048;
constexpr DWORD kReadChunk = 16 * 1024;

// Owns one WinHTTP handle. Declared in opening order (session, connection),
// the locals close in the reverse order on every path.
class InternetHandle {
 public:
  InternetHandle(const WinHttpApi& api, HINTERNET h) : api_(api), h_(h) {}
  ~InternetHandle() {
    if (h_) api_.CloseHandle(h_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  const WinHttpApi& api_;
  HINTERNET h_;
};

// The end of the overall time budget, on a clock that never goes back.
class Deadline {
 public:
  explicit Deadline(DWORD ms) : end_(nbase::SteadyNowMs() + ms) {}
  // Milliseconds left; 0 once the deadline has passed.
  DWORD Left() const {
    const uint64_t now = nbase::SteadyNowMs();
    return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
  }

 private:
  uint64_t end_;
};

// Owns the request handle and closes it from a thread-pool timer when the
// deadline passes: closing the handle is how WinHTTP lets another thread end
// a synchronous call that is blocked in it (a TLS handshake dripped byte by
// byte, for one, which no per-call time-out ends). Whichever comes first,
// the timer or the destructor, closes the handle; the destructor first waits
// for a running timer callback, so nothing of it is left afterwards.
// Used by the thread that made it; only the callback runs elsewhere.
class RequestCanceller {
 public:
  RequestCanceller(const WinHttpApi& api, HINTERNET request, DWORD ms)
      : api_(api), request_(request) {
    InitializeCriticalSectionAndSpinCount(&lock_, 2000);
    timer_ = CreateThreadpoolTimer(&RequestCanceller::OnTimer, this, nullptr);
    if (timer_ != nullptr) {
      // Relative due time, in 100 ns units.
      ULARGE_INTEGER due;
      due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(ms) * 10000);
      FILETIME ft;
      ft.dwLowDateTime = due.LowPart;
      ft.dwHighDateTime = due.HighPart;
      SetThreadpoolTimer(timer_, &ft, 0, 0);
    }
    // Without a timer the per-call time-outs still bound every wait.
  }

  ~RequestCanceller() {
    if (timer_ != nullptr) {
      SetThreadpoolTimer(timer_, nullptr, 0, 0);
      // Waits only for a callback that is already running; it closes one
      // handle and returns.
      WaitForThreadpoolTimerCallbacks(timer_, TRUE);
      CloseThreadpoolTimer(timer_);
    }
    Close();
    DeleteCriticalSection(&lock_);
  }

  RequestCanceller(const RequestCanceller&) = delete;
  RequestCanceller& operator=(const RequestCanceller&) = delete;

  HINTERNET get() const { return request_; }

  bool Fired() {
    EnterCriticalSection(&lock_);
    const bool fired = fired_;
    LeaveCriticalSection(&lock_);
    return fired;
  }

 private:
  static VOID CALLBACK OnTimer(PTP_CALLBACK_INSTANCE, PVOID context, PTP_TIMER) {
    RequestCanceller* self = static_cast<RequestCanceller*>(context);
    EnterCriticalSection(&self->lock_);
    self->fired_ = true;
    LeaveCriticalSection(&self->lock_);
    self->Close();
  }

  void Close() {
    EnterCriticalSection(&lock_);
    const bool first = !closed_;
    closed_ = true;
    LeaveCriticalSection(&lock_);
    if (first) api_.CloseHandle(request_);
  }

  const WinHttpApi& api_;
  const HINTERNET request_;
  CRITICAL_SECTION lock_;
  bool fired_ = false;
  bool closed_ = false;
  PTP_TIMER timer_ = nullptr;
};

// Lets the next blocking step wait only for what is left of the deadline
// (WinHTTP's own time-outs hold per phase and per read, not overall; the
// wait for the response headers has a time-out of its own). False once
// nothing is left.
bool LimitWaits(const WinHttpApi& api, HINTERNET h, const Deadline& deadline) {
  DWORD left = deadline.Left();
  if (left == 0) return false;  // 0 would mean "no limit" to WinHTTP
  const int ms = static_cast<int>(left);
  api.SetTimeouts(h, ms, ms, ms, ms);
  api.SetOption(h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &left, sizeof(left));
  return true;
}

// Content-Length as a number, when the answer has one. False for a value
// that is not a plain decimal number.
bool ReadContentLength(const WinHttpApi& api, HINTERNET request, bool& present,
                       unsigned long long& length) {
  present = false;
  length = 0;
  wchar_t text[32] = {};
  DWORD bytes = sizeof(text) - sizeof(wchar_t);
  if (!api.QueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text,
                        &bytes, WINHTTP_NO_HEADER_INDEX)) {
    return GetLastError() == ERROR_WINHTTP_HEADER_NOT_FOUND;
  }
  // A length that is no plain number makes the answer no sound HTTP one.
  const size_t units = bytes / sizeof(wchar_t);
  if (units == 0) {
    SetLastError(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    return false;
  }
  for (size_t i = 0; i < units; ++i) {
    if (text[i] < L'0' || text[i] > L'9') {
      SetLastError(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
      return false;
    }
    // Anything past the cap is too large anyway; no need to go on counting.
    if (length <= kMaxBodyBytes) length = length * 10 + static_cast<unsigned>(text[i] - L'0');
  }
  present = true;
  return true;
}

// Notes the certificate status of a failed TLS handshake. In synchronous
// mode WinHTTP calls it on the thread inside WinHttpSendRequest; the
// context is the request's flags word (see HttpGet).
void CALLBACK OnSecureFailure(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || info == nullptr ||
      length < sizeof(DWORD)) {
    return;
  }
  reinterpret_cast<std::atomic<DWORD>*>(context)->fetch_or(*static_cast<const DWORD*>(info));
}

}  // namespace

std::wstring DescribeHttpFailure(const HttpOutcome& outcome) {
  std::wstring text = HttpFailureText(outcome.failure);
  if (outcome.call != nullptr) {
    text += L" in ";
    text += outcome.call;
    text += L": ";
    text += DescribeLoginError(outcome.error);
  }
  if (outcome.certificateFlags != 0) {
    text += L"; ";
    text += DescribeSecureFailureFlags(outcome.certificateFlags);
  }
  return text;
}

const wchar_t* HttpFailureText(HttpFailure failure) {
  switch (failure) {
    case HttpFailure::kNone: return L"none";
    case HttpFailure::kUnavailable: return L"winhttp.dll not available";
    case HttpFailure::kFailed: return L"request failed";
    case HttpFailure::kTimeout: return L"timeout";
    case HttpFailure::kTooLarge: return L"body too large";
    case HttpFailure::kTruncated: return L"body truncated";
    case HttpFailure::kRedirect: return L"redirect refused";
  }
  return L"request failed";
}

bool HttpGet(const wchar_t* url, std::string& body, HttpOutcome* outcome, DWORD deadlineMs) {
  // From here on: finding the proxy, name resolution, connection, TLS and
  // every byte read.
  const Deadline deadline(deadlineMs);
  HttpOutcome ignored;
  HttpOutcome& out = outcome != nullptr ? *outcome : ignored;
  out = HttpOutcome();
  HttpFailure& why = out.failure;
  why = HttpFailure::kFailed;
  body.clear();
  if (url == nullptr) return false;

  // A WinHTTP call failed: which one, and its error.
  auto callFailed = [&](const wchar_t* call, DWORD error) {
    out.call = call;
    out.error = error;
    return false;
  };

  const WinHttpApi* loaded = GetWinHttpApi();
  if (loaded == nullptr) {
    why = HttpFailure::kUnavailable;
    return callFailed(L"LoadLibraryExW(winhttp.dll)", WinHttpLoadError());
  }
  const WinHttpApi& api = *loaded;

  // Only host and path (with the query) are asked for; a URL whose parts do
  // not fit these buffers fails here, before any handle is open.
  wchar_t host[kHostUnits] = {};
  wchar_t path[kPathUnits] = {};
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostUnits;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathUnits;
  if (!api.CrackUrl(url, 0, 0, &parts)) return callFailed(L"WinHttpCrackUrl", GetLastError());

  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  INTERNET_PORT port = parts.nPort;
  if (port == 0) port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;

  DWORD openError = 0;
  InternetHandle session(api, OpenWinHttpSession(api, kUserAgent, out.proxy, openError));
  if (!session) return callFailed(L"WinHttpOpen", openError);
  // The verify host answers for itself: a redirect is never followed.
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  if (!api.SetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy))) {
    return callFailed(L"WinHttpSetOption", GetLastError());
  }
  if (!LimitWaits(api, session.get(), deadline)) {
    why = HttpFailure::kTimeout;
    return false;
  }

  InternetHandle connection(api, api.Connect(session.get(), host, port, 0));
  if (!connection) return callFailed(L"WinHttpConnect", GetLastError());

  // No security flags are relaxed: an untrusted, expired or mismatched
  // certificate makes sending fail.
  HINTERNET opened = api.OpenRequest(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
  if (opened == nullptr) return callFailed(L"WinHttpOpenRequest", GetLastError());
  // What a failed TLS handshake reports about the server's certificate. It
  // outlives the request handle, which the canceller below closes.
  std::atomic<DWORD> certificateFlags{0};
  // Closes the request before the connection and session go.
  RequestCanceller request(api, opened, deadline.Left());
  api.SetStatusCallback(request.get(), &OnSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
  const DWORD_PTR callbackContext = reinterpret_cast<DWORD_PTR>(&certificateFlags);

  // A failed call after this point is a time-out when the deadline ended it.
  auto failed = [&](const wchar_t* call, DWORD error) {
    why = (request.Fired() || deadline.Left() == 0 || error == ERROR_WINHTTP_TIMEOUT)
              ? HttpFailure::kTimeout
              : HttpFailure::kFailed;
    out.certificateFlags = certificateFlags.load();
    if (call != nullptr) callFailed(call, error);
    return false;
  };

  if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
  // With the automatic proxy, the proxy is found in here: within the
  // deadline, which closes the request when it passes.
  if (!api.SendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                       0, 0, callbackContext)) {
    return failed(L"WinHttpSendRequest", GetLastError());
  }
  if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
  if (!api.ReceiveResponse(request.get(), nullptr)) return failed(L"WinHttpReceiveResponse", GetLastError());

  DWORD status = 0;
  DWORD statusBytes = sizeof(status);
  if (!api.QueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusBytes,
                        WINHTTP_NO_HEADER_INDEX)) {
    return failed(L"WinHttpQueryHeaders", GetLastError());
  }
  out.status = status;
  if (status >= 300 && status < 400) {
    why = HttpFailure::kRedirect;
    return false;
  }

  bool announced = false;
  unsigned long long length = 0;
  if (!ReadContentLength(api, request.get(), announced, length)) {
    return failed(L"WinHttpQueryHeaders", GetLastError());
  }
  if (announced && length > kMaxBodyBytes) {
    why = HttpFailure::kTooLarge;  // without reading any of it
    return false;
  }

  // A read that fails mid-body leaves the body short of its announced length
  // (a dropped connection): that is a truncation, unless the deadline ended it.
  auto failedReading = [&](const wchar_t* call, DWORD error) {
    failed(call, error);
    if (why == HttpFailure::kFailed && announced && body.size() < length) why = HttpFailure::kTruncated;
    return false;
  };

  std::vector<char> chunk;
  for (;;) {
    if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
    DWORD available = 0;
    if (!api.QueryDataAvailable(request.get(), &available)) {
      return failedReading(L"WinHttpQueryDataAvailable", GetLastError());
    }
    if (available == 0) break;
    // One byte past the cap is enough to know the body is too large.
    const size_t room = kMaxBodyBytes + 1 - body.size();
    DWORD want = available < kReadChunk ? available : kReadChunk;
    if (want > room) want = static_cast<DWORD>(room);
    chunk.resize(want);
    DWORD read = 0;
    if (!api.ReadData(request.get(), chunk.data(), want, &read)) {
      return failedReading(L"WinHttpReadData", GetLastError());
    }
    if (read == 0) break;
    body.append(chunk.data(), read < want ? read : want);
    if (body.size() > kMaxBodyBytes) {
      body.clear();  // nothing over the cap is handed on
      why = HttpFailure::kTooLarge;
      return false;
    }
  }
  if (announced && body.size() != length) {
    why = HttpFailure::kTruncated;
    return false;
  }
  why = HttpFailure::kNone;
  return true;
}

}  // namespace lumo
