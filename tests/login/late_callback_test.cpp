// The request's callback state against WinHTTP's late callbacks, through a
// stand-in WinHTTP (the WinHttpApi seam) that calls back from threads of its
// own when and as often as Windows may: after the request handle was
// closed, up to WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, or with that
// notification never coming in time. Every callback must find its state
// alive, nothing may write into freed memory (freed_memory_guard), and every
// WinHTTP function must be called on the thread that runs the request.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "login/freed_memory_guard.h"
#include "login/http_client.h"
#include "login/winhttp_api.h"

namespace {

HINTERNET const kSession = reinterpret_cast<HINTERNET>(0x1001);
HINTERNET const kConnection = reinterpret_cast<HINTERNET>(0x1002);
HINTERNET const kRequest = reinterpret_cast<HINTERNET>(0x1003);

// How the stand-in answers the request's steps.
enum class Server {
  kSilent,       // sending never completes
  kAnswers,      // each step completes from another thread: 200, "hello"
  kResetsReply,  // the response's step ends in an error
};

// When the stand-in reports the closed request gone.
enum class Closing {
  kInsideClose,  // within WinHttpCloseHandle, on the closing thread
  kLate,         // from another thread, after a late error and certificate status
  kNever,        // not before the call has returned; then late, as above
};

struct Fake {
  Server server = Server::kSilent;
  Closing closing = Closing::kLate;
  DWORD owner = 0;  // the thread that runs the request
  WINHTTP_STATUS_CALLBACK callback = nullptr;
  DWORD_PTR context = 0;
  std::atomic<int> callsOffOwner{0};
  std::atomic<int> callbacksIntoFreedState{0};
  std::atomic<int> callbacksDelivered{0};
  HANDLE returned = nullptr;  // set by the test once the call has returned
  std::vector<std::thread> threads;
};
Fake* g_fake = nullptr;

void NoteCall() {
  if (GetCurrentThreadId() != g_fake->owner) ++g_fake->callsOffOwner;
}

// What WinHTTP does: calls back with the request's context, whatever the
// application did with it meanwhile.
void Deliver(DWORD status, void* info, DWORD length) {
  if (lumo_test::WasDeleted(reinterpret_cast<void*>(g_fake->context))) {
    ++g_fake->callbacksIntoFreedState;
    return;  // it would write into freed memory; counted instead
  }
  ++g_fake->callbacksDelivered;
  g_fake->callback(kRequest, g_fake->context, status, info, length);
}

void DeliverLater(DWORD delayMs, DWORD status, DWORD value = 0) {
  g_fake->threads.emplace_back([delayMs, status, value] {
    Sleep(delayMs);
    DWORD word = value;
    Deliver(status, &word, sizeof(word));
  });
}

// A late error for the step the close ended, a certificate status, then the
// handle's end: the order Windows may use.
void DeliverLateEnd() {
  WINHTTP_ASYNC_RESULT result = {API_SEND_REQUEST, ERROR_WINHTTP_OPERATION_CANCELLED};
  Deliver(WINHTTP_CALLBACK_STATUS_REQUEST_ERROR, &result, sizeof(result));
  DWORD flags = WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
  Deliver(WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, &flags, sizeof(flags));
  HINTERNET handle = kRequest;
  Deliver(WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, &handle, sizeof(handle));
}

BOOL WINAPI FakeCrackUrl(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTS parts) {
  NoteCall();
  return lumo::GetWinHttpApi()->CrackUrl(url, length, flags, parts);
}
HINTERNET WINAPI FakeOpen(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD flags) {
  NoteCall();
  EXPECT_NE(flags & WINHTTP_FLAG_ASYNC, 0u);
  return kSession;
}
BOOL WINAPI FakeSetTimeouts(HINTERNET, int, int, int, int) {
  NoteCall();
  return TRUE;
}
BOOL WINAPI FakeSetOption(HINTERNET h, DWORD option, LPVOID buffer, DWORD length) {
  NoteCall();
  if (h == kRequest && option == WINHTTP_OPTION_CONTEXT_VALUE && length == sizeof(DWORD_PTR)) {
    g_fake->context = *static_cast<DWORD_PTR*>(buffer);
  }
  return TRUE;
}
HINTERNET WINAPI FakeConnect(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD) {
  NoteCall();
  return kConnection;
}
HINTERNET WINAPI FakeOpenRequest(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD) {
  NoteCall();
  return kRequest;
}
WINHTTP_STATUS_CALLBACK WINAPI FakeSetStatusCallback(HINTERNET h, WINHTTP_STATUS_CALLBACK callback, DWORD flags,
                                                      DWORD_PTR) {
  NoteCall();
  EXPECT_EQ(h, kRequest);
  EXPECT_NE(flags & WINHTTP_CALLBACK_FLAG_HANDLES, 0u);
  g_fake->callback = callback;
  return nullptr;
}
BOOL WINAPI FakeSendRequest(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR context) {
  NoteCall();
  EXPECT_EQ(context, g_fake->context);
  if (g_fake->server != Server::kSilent) DeliverLater(20, WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE);
  return TRUE;
}
BOOL WINAPI FakeReceiveResponse(HINTERNET, LPVOID) {
  NoteCall();
  if (g_fake->server == Server::kResetsReply) {
    g_fake->threads.emplace_back([] {
      Sleep(20);
      WINHTTP_ASYNC_RESULT result = {API_RECEIVE_RESPONSE, ERROR_WINHTTP_CONNECTION_ERROR};
      Deliver(WINHTTP_CALLBACK_STATUS_REQUEST_ERROR, &result, sizeof(result));
    });
  } else {
    DeliverLater(20, WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE);
  }
  return TRUE;
}
BOOL WINAPI FakeQueryHeaders(HINTERNET, DWORD level, LPCWSTR, LPVOID buffer, LPDWORD length, LPDWORD) {
  NoteCall();
  if (level == (WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER)) {
    *static_cast<DWORD*>(buffer) = 200;
    *length = sizeof(DWORD);
    return TRUE;
  }
  SetLastError(ERROR_WINHTTP_HEADER_NOT_FOUND);
  return FALSE;
}
int g_availableCalls = 0;
BOOL WINAPI FakeQueryDataAvailable(HINTERNET, LPDWORD available) {
  NoteCall();
  EXPECT_EQ(available, nullptr) << "asynchronous: the count comes with the completion";
  DeliverLater(10, WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE, g_availableCalls++ == 0 ? 5 : 0);
  return TRUE;
}
BOOL WINAPI FakeReadData(HINTERNET, LPVOID buffer, DWORD wanted, LPDWORD read) {
  NoteCall();
  EXPECT_EQ(read, nullptr) << "asynchronous: the count comes with the completion";
  EXPECT_GE(wanted, 5u);
  g_fake->threads.emplace_back([buffer] {
    Sleep(10);
    std::memcpy(buffer, "hello", 5);
    Deliver(WINHTTP_CALLBACK_STATUS_READ_COMPLETE, buffer, 5);
  });
  return TRUE;
}
BOOL WINAPI FakeCloseHandle(HINTERNET h) {
  NoteCall();
  if (h != kRequest || g_fake->callback == nullptr) return TRUE;
  switch (g_fake->closing) {
    case Closing::kInsideClose: {
      HINTERNET handle = kRequest;
      Deliver(WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING, &handle, sizeof(handle));
      break;
    }
    case Closing::kLate:
      g_fake->threads.emplace_back([] {
        Sleep(200);
        DeliverLateEnd();
      });
      break;
    case Closing::kNever:
      g_fake->threads.emplace_back([] {
        WaitForSingleObject(g_fake->returned, INFINITE);
        Sleep(50);
        DeliverLateEnd();
      });
      break;
  }
  return TRUE;
}

lumo::WinHttpApi FakeApi() {
  lumo::WinHttpApi api = {};
  api.CrackUrl = &FakeCrackUrl;
  api.Open = &FakeOpen;
  api.SetTimeouts = &FakeSetTimeouts;
  api.SetOption = &FakeSetOption;
  api.Connect = &FakeConnect;
  api.OpenRequest = &FakeOpenRequest;
  api.SendRequest = &FakeSendRequest;
  api.ReceiveResponse = &FakeReceiveResponse;
  api.QueryHeaders = &FakeQueryHeaders;
  api.QueryDataAvailable = &FakeQueryDataAvailable;
  api.ReadData = &FakeReadData;
  api.CloseHandle = &FakeCloseHandle;
  api.SetStatusCallback = &FakeSetStatusCallback;
  return api;
}

struct Row {
  const char* name;
  Server server;
  Closing closing;
  bool succeeds;
  lumo::HttpFailure why;
  const wchar_t* call;  // the step named in the cause
  DWORD error;
  bool stateFreed;  // freed by the call (false: kept for good)
};

const Row kRows[] = {
    {"deadline, closing inside the close", Server::kSilent, Closing::kInsideClose, false, lumo::HttpFailure::kTimeout,
     L"WinHttpSendRequest", ERROR_WINHTTP_TIMEOUT, true},
    {"deadline, late error and closing", Server::kSilent, Closing::kLate, false, lumo::HttpFailure::kTimeout,
     L"WinHttpSendRequest", ERROR_WINHTTP_TIMEOUT, true},
    {"deadline, closing after the call returned", Server::kSilent, Closing::kNever, false,
     lumo::HttpFailure::kTimeout, L"WinHttpSendRequest", ERROR_WINHTTP_TIMEOUT, false},
    {"answer from other threads, late closing", Server::kAnswers, Closing::kLate, true, lumo::HttpFailure::kNone,
     nullptr, 0, true},
    {"error completion, closing after the call returned", Server::kResetsReply, Closing::kNever, false,
     lumo::HttpFailure::kFailed, L"WinHttpReceiveResponse", ERROR_WINHTTP_CONNECTION_ERROR, false},
};

TEST(LateCallbacks, EveryCallbackFindsItsStateAndOnlyTheRequestThreadCallsWinHttp) {
  ASSERT_NE(lumo::GetWinHttpApi(), nullptr);  // for URL splitting only
  const lumo::WinHttpApi api = FakeApi();
  const DWORD deadlineMs = 300;
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    Fake fake;
    fake.server = row.server;
    fake.closing = row.closing;
    fake.owner = GetCurrentThreadId();
    fake.returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_fake = &fake;
    g_availableCalls = 0;

    std::string body;
    lumo::HttpOutcome outcome;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(lumo::HttpGetThrough(api, L"https://verify.test/v?token=t", body, &outcome, deadlineMs),
              row.succeeds);
    const ULONGLONG elapsed = GetTickCount64() - start;
    // Whether the call freed the state is decided once it has returned.
    const bool freedOnReturn = fake.context != 0 && lumo_test::WasDeleted(reinterpret_cast<void*>(fake.context));
    SetEvent(fake.returned);
    for (std::thread& t : fake.threads) t.join();
    ASSERT_NE(fake.context, 0u) << "no context was given to the request";

    EXPECT_EQ(outcome.failure, row.why);
    if (row.call == nullptr) {
      EXPECT_EQ(outcome.call, nullptr);
      EXPECT_EQ(body, "hello");
    } else {
      ASSERT_NE(outcome.call, nullptr);
      EXPECT_STREQ(outcome.call, row.call);
      EXPECT_EQ(outcome.error, row.error);
    }
    EXPECT_EQ(freedOnReturn, row.stateFreed);
    EXPECT_EQ(fake.callbacksIntoFreedState.load(), 0);
    EXPECT_GT(fake.callbacksDelivered.load(), 0);
    EXPECT_EQ(fake.callsOffOwner.load(), 0);
    // A close confirmed in time costs no wait; an unconfirmed one at most
    // the closing wait. Upper bounds against a hang, not speed goals.
    if (row.closing == Closing::kNever) {
      EXPECT_GE(elapsed + 50, static_cast<ULONGLONG>(lumo::kHandleClosingWaitMs));
    }
    EXPECT_LT(elapsed, deadlineMs + lumo::kHandleClosingWaitMs + 5000u);
    CloseHandle(fake.returned);
    g_fake = nullptr;
  }
  EXPECT_EQ(lumo_test::DeletedBlocksWrittenTo(), 0u);
}

}  // namespace
