// The IO completion port pump with real completion packets and a real
// overlapped file read.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nbase/message_loop.h"
#include "nbase/win_io_message_pump.h"
#include "support/test_support.h"
#include "test_tasks.h"

using ::testing::ElementsAre;

namespace {

class RecordingHandler : public nbase::IOHandler {
 public:
  void OnIOComplete(nbase::IOOperation* operation, DWORD bytes, DWORD error) override {
    events.push_back("complete:" + std::to_string(bytes) + ":" + std::to_string(error));
    last_operation = operation;
    if (quit_on_completion) nbase::MessageLoop::Current()->QuitWhenIdle();
  }
  std::vector<std::string> events;
  nbase::IOOperation* last_operation = nullptr;
  bool quit_on_completion = true;
};

class CountingIOObserver : public nbase::IOObserver {
 public:
  explicit CountingIOObserver(std::vector<std::string>* events) : events_(events) {}
  void BeforeIOEvent() override { events_->push_back("before"); }
  void AfterIOEvent() override { events_->push_back("after"); }

 private:
  std::vector<std::string>* events_;
};

TEST(WinIOMessagePumpTest, AbandonedOperationIsFreedAndTellsNobody) {
  nbase::IOMessageLoop loop;
  RecordingHandler handler;
  CountingIOObserver observer(&handler.events);
  loop.io_pump()->AddObserver(&observer);
  HANDLE port = loop.io_pump()->completion_port();

  auto* abandoned = new nbase::IOOperation;  // handler null: the pump deletes it
  ASSERT_TRUE(PostQueuedCompletionStatus(port, 11, reinterpret_cast<ULONG_PTR>(&handler), &abandoned->overlapped));
  nbase::IOOperation live;
  live.handler = &handler;
  ASSERT_TRUE(PostQueuedCompletionStatus(port, 22, reinterpret_cast<ULONG_PTR>(&handler), &live.overlapped));
  loop.Run();
  loop.io_pump()->RemoveObserver(&observer);

  EXPECT_THAT(handler.events, ElementsAre("before", "complete:22:0", "after"));
  EXPECT_EQ(handler.last_operation, &live);
}

TEST(WinIOMessagePumpTest, OverlappedFileReadCompletesThroughThePort) {
  lumo_test::TempDir dir;
  const std::wstring path = dir.File(L"data.bin");
  ASSERT_TRUE(lumo_test::WriteFileBytes(path, std::string(1000, 'x')));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  nbase::IOMessageLoop loop;
  RecordingHandler handler;
  ASSERT_EQ(CreateIoCompletionPort(file, loop.io_pump()->completion_port(), reinterpret_cast<ULONG_PTR>(&handler), 0),
            loop.io_pump()->completion_port());
  nbase::IOOperation read;
  read.handler = &handler;
  char buffer[4096];
  const BOOL done = ReadFile(file, buffer, sizeof(buffer), nullptr, &read.overlapped);
  ASSERT_TRUE(done || GetLastError() == ERROR_IO_PENDING);
  loop.Run();
  CloseHandle(file);
  EXPECT_THAT(handler.events, ElementsAre("complete:1000:0"));
  EXPECT_EQ(handler.last_operation, &read);
}

TEST(WinIOMessagePumpTest, RunsImmediateAndDelayedTasks) {
  nbase_test::EventLog log;
  nbase::IOMessageLoop loop;
  EXPECT_EQ(loop.type(), nbase::LoopType::IO);
  loop.PostDelayedTask(nbase_test::Tracked(&log, "delayed"), 20 * 1000);
  loop.PostTask(nbase_test::Tracked(&log, "immediate"));
  loop.PostDelayedTask([&] { loop.QuitWhenIdle(); }, 40 * 1000);
  loop.Run();
  EXPECT_THAT(log.With("ran:"), ElementsAre("immediate", "delayed"));
}

}  // namespace
