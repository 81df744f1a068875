// A framework thread in a process that has no TLS index left for the
// framework's thread-local slots: it must still run tasks and stop. Its own
// program, since it takes every index the process has.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "nbase/framework_thread.h"

namespace {

TEST(FrameworkThreadWithoutTls, RunsTasksAndStops) {
  std::vector<DWORD> taken;
  for (DWORD index; (index = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(index);
  ASSERT_FALSE(taken.empty());

  std::atomic<int> ran{0};
  {
    nbase::FrameworkThread thread("NoTls");
    ASSERT_TRUE(thread.Start(nbase::LoopType::Default, nullptr));
    thread.message_loop()->PostTask([&ran] { ran.fetch_add(1); });
    thread.Stop();  // returned: the quit task found the loop
    EXPECT_EQ(thread.message_loop(), nullptr);
  }
  EXPECT_EQ(ran.load(), 1);
  for (DWORD index : taken) TlsFree(index);
}

}  // namespace
