#include "login/http_client.h"

#include <atomic>
#include <new>

#include "diag/log.h"
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

// What the request's status callback shares with the thread that runs the
// request. WinHTTP calls back on threads of its own, also after the request
// handle was closed, up to WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, the last
// callback of the handle, which comes alone. So the state lives on the heap
// and only that notification lets its owner free it. The callback writes the
// completion's fields before it sets `done`; the owner reads them after its
// wait on `done` returned.
struct RequestState {
  RequestState()
      : done(CreateEventW(nullptr, FALSE, FALSE, nullptr)), closed(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~RequestState() {
    if (done != nullptr) CloseHandle(done);
    if (closed != nullptr) CloseHandle(closed);
  }
  RequestState(const RequestState&) = delete;
  RequestState& operator=(const RequestState&) = delete;

  const HANDLE done;    // auto-reset: the step started last has completed
  const HANDLE closed;  // manual-reset: HANDLE_CLOSING has come
  DWORD completion = 0;  // WINHTTP_CALLBACK_STATUS_* of that completion
  DWORD error = 0;       // its error, for WINHTTP_CALLBACK_STATUS_REQUEST_ERROR
  DWORD bytes = 0;       // bytes available, or bytes read
  // What a failed TLS handshake reports about the server's certificate.
  std::atomic<DWORD> certificateFlags{0};
  // WinHttpReadData's target: WinHTTP may write into it until the request
  // is gone, so it lives as long as the state.
  char buffer[kReadChunk];
};

// The status callback of every login request; `context` is its
// RequestState. Calls no WinHTTP function: only the thread that runs the
// request does.
void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
  RequestState* state = reinterpret_cast<RequestState*>(context);
  if (state == nullptr) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      if (info != nullptr && length >= sizeof(DWORD)) state->certificateFlags.fetch_or(*static_cast<const DWORD*>(info));
      return;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      // The state may be freed as soon as this is set: nothing after it.
      SetEvent(state->closed);
      return;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      state->bytes = 0;
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      state->bytes = info != nullptr && length >= sizeof(DWORD) ? *static_cast<const DWORD*>(info) : 0;
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      state->bytes = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      state->error = info != nullptr && length >= sizeof(WINHTTP_ASYNC_RESULT)
                         ? static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError
                         : static_cast<DWORD>(ERROR_WINHTTP_INTERNAL_ERROR);
      break;
    default:
      return;
  }
  state->completion = status;
  SetEvent(state->done);
}

// Owns the request handle and its RequestState. Closing the handle is how
// the owner ends a step that the deadline overtook: the handle is closed by
// the thread that started every step on it, never by another. The state is
// freed once WinHTTP has said the handle is gone; where that does not come
// within kHandleClosingWaitMs the state is kept for good (a late callback
// must find it) and the log says so; the callback's code stays mapped as
// well, since the login's helper, an nbase::Thread, pins the module. Used
// only by the thread that made it.
class AsyncRequest {
 public:
  AsyncRequest(const WinHttpApi& api, HINTERNET request) : api_(api), request_(request) {}
  ~AsyncRequest() {
    api_.CloseHandle(request_);
    if (state_ == nullptr) return;
    if (!attached_ || WaitForSingleObject(state_->closed, kHandleClosingWaitMs) == WAIT_OBJECT_0) {
      delete state_;
      return;
    }
    SdkLog(L"HttpGet the closed request was not confirmed gone within %lu ms: its callback state (%lu bytes) "
           L"is kept for the rest of the process",
           static_cast<unsigned long>(kHandleClosingWaitMs), static_cast<unsigned long>(sizeof(RequestState)));
  }
  AsyncRequest(const AsyncRequest&) = delete;
  AsyncRequest& operator=(const AsyncRequest&) = delete;

  HINTERNET get() const { return request_; }
  RequestState& state() { return *state_; }

  // Makes the state and lets WinHTTP report to it. False, with the call
  // that failed and its error, when that cannot be done.
  bool Attach(const wchar_t*& call, DWORD& error) {
    state_ = new (std::nothrow) RequestState();
    if (state_ == nullptr || state_->done == nullptr || state_->closed == nullptr) {
      call = state_ == nullptr ? L"new" : L"CreateEventW";
      error = state_ == nullptr ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) : GetLastError();
      return false;
    }
    // The context from the start, so that even a request closed before it
    // was sent reports its closing to the state.
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state_);
    if (!api_.SetOption(request_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context))) {
      call = L"WinHttpSetOption";
      error = GetLastError();
      return false;
    }
    if (api_.SetStatusCallback(request_, &OnRequestStatus,
                               WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE |
                                   WINHTTP_CALLBACK_FLAG_HANDLES,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
      call = L"WinHttpSetStatusCallback";
      error = GetLastError();
      return false;
    }
    attached_ = true;
    return true;
  }

  // Waits for the completion of the step just started, at most until the
  // deadline. False when the deadline came first.
  bool AwaitCompletion(const Deadline& deadline) {
    const DWORD left = deadline.Left();
    return left != 0 && WaitForSingleObject(state_->done, left) == WAIT_OBJECT_0;
  }

 private:
  const WinHttpApi& api_;
  const HINTERNET request_;
  RequestState* state_ = nullptr;
  bool attached_ = false;
};

// Gives WinHTTP's own time-outs for the next step what is left of the
// deadline (they hold per phase and per read, not overall; the wait for the
// response headers has a time-out of its own), so that WinHTTP too ends the
// step about when the deadline passes: a part of a step done inside its call,
// before it returns, and a closed request's work in WinHTTP's threads. False
// once nothing is left.
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
  const WinHttpApi* api = GetWinHttpApi();
  if (api != nullptr) return HttpGetThrough(*api, url, body, outcome, deadlineMs);
  if (outcome != nullptr) {
    *outcome = HttpOutcome();
    outcome->failure = HttpFailure::kUnavailable;
    outcome->call = L"LoadLibraryExW(winhttp.dll)";
    outcome->error = WinHttpLoadError();
  }
  body.clear();
  return false;
}

bool HttpGetThrough(const WinHttpApi& api, const wchar_t* url, std::string& body, HttpOutcome* outcome,
                    DWORD deadlineMs) {
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
  // Closes the request, and waits for WinHTTP to let go of it, before the
  // connection and session go.
  AsyncRequest request(api, opened);
  {
    const wchar_t* call = nullptr;
    DWORD error = 0;
    if (!request.Attach(call, error)) return callFailed(call, error);
  }
  RequestState& state = request.state();

  // A failed step is a time-out when the deadline ended it.
  auto failed = [&](const wchar_t* call, DWORD error) {
    why = (deadline.Left() == 0 || error == ERROR_WINHTTP_TIMEOUT) ? HttpFailure::kTimeout : HttpFailure::kFailed;
    out.certificateFlags = state.certificateFlags.load();
    if (call != nullptr) callFailed(call, error);
    return false;
  };
  // The answer's Content-Length, once its headers have been read.
  bool announced = false;
  unsigned long long length = 0;
  // A read that fails mid-body leaves the body short of its announced length
  // (a dropped connection): that is a truncation, unless the deadline ended
  // it. Before the headers nothing is announced: a plain failure.
  auto failedReading = [&](const wchar_t* call, DWORD error) {
    failed(call, error);
    if (why == HttpFailure::kFailed && announced && body.size() < length) why = HttpFailure::kTruncated;
    return false;
  };
  // Waits for the step that `call` started (it returned TRUE): false when
  // it ended in an error or the deadline came first. A step the deadline
  // overtook is reported as WinHTTP's own time-out in that call; the
  // request's close, on the way out, ends it.
  auto completed = [&](const wchar_t* call, DWORD expected) {
    if (!request.AwaitCompletion(deadline)) return failed(call, ERROR_WINHTTP_TIMEOUT);
    if (state.completion == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) return failedReading(call, state.error);
    if (state.completion != expected) return failed(call, ERROR_WINHTTP_INTERNAL_ERROR);
    return true;
  };

  if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
  // With the automatic proxy, the proxy is found in here: within the
  // deadline, which closes the request when it passes.
  if (!api.SendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                       reinterpret_cast<DWORD_PTR>(&state))) {
    return failed(L"WinHttpSendRequest", GetLastError());
  }
  if (!completed(L"WinHttpSendRequest", WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE)) return false;
  if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
  if (!api.ReceiveResponse(request.get(), nullptr)) return failed(L"WinHttpReceiveResponse", GetLastError());
  if (!completed(L"WinHttpReceiveResponse", WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE)) return false;

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

  if (!ReadContentLength(api, request.get(), announced, length)) {
    return failed(L"WinHttpQueryHeaders", GetLastError());
  }
  if (announced && length > kMaxBodyBytes) {
    why = HttpFailure::kTooLarge;  // without reading any of it
    return false;
  }

  for (;;) {
    if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
    // Asynchronous: the count comes with the completion, not through the
    // (null) out parameter.
    if (!api.QueryDataAvailable(request.get(), nullptr)) {
      return failedReading(L"WinHttpQueryDataAvailable", GetLastError());
    }
    if (!completed(L"WinHttpQueryDataAvailable", WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE)) return false;
    const DWORD available = state.bytes;
    if (available == 0) break;
    // One byte past the cap is enough to know the body is too large.
    const size_t room = kMaxBodyBytes + 1 - body.size();
    DWORD want = available < kReadChunk ? available : kReadChunk;
    if (want > room) want = static_cast<DWORD>(room);
    if (!LimitWaits(api, request.get(), deadline)) return failed(nullptr, ERROR_WINHTTP_TIMEOUT);
    if (!api.ReadData(request.get(), state.buffer, want, nullptr)) {
      return failedReading(L"WinHttpReadData", GetLastError());
    }
    if (!completed(L"WinHttpReadData", WINHTTP_CALLBACK_STATUS_READ_COMPLETE)) return false;
    const DWORD read = state.bytes;
    if (read == 0) break;
    body.append(state.buffer, read < want ? read : want);
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
