// Checks the toolchain itself: threads, mutexes and condition variables from the C++ library
// work in the program as built (natively, and under Wine for the Windows build).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(Toolchain, ThreadsShareCounterUnderMutex) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 10000;
  std::mutex lock;
  long counter = 0;
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        std::lock_guard<std::mutex> guard(lock);
        ++counter;
      }
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

TEST(Toolchain, ConditionVariableHandsOverValue) {
  std::mutex lock;
  std::condition_variable ready;
  int value = 0;
  std::thread producer([&] {
    std::lock_guard<std::mutex> guard(lock);
    value = 42;
    ready.notify_one();
  });
  {
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(ready.wait_for(guard, std::chrono::seconds(5), [&] { return value != 0; }));
  }
  producer.join();
  EXPECT_EQ(value, 42);
}

TEST(Toolchain, TimedWaitExpires) {
  std::mutex lock;
  std::condition_variable never;
  std::unique_lock<std::mutex> guard(lock);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(never.wait_for(guard, std::chrono::milliseconds(20), [] { return false; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

TEST(Toolchain, AsyncReturnsResultAndException) {
  auto ok = std::async(std::launch::async, [] { return 7 * 6; });
  EXPECT_EQ(ok.get(), 42);
  auto bad = std::async(std::launch::async, []() -> int { throw std::runtime_error("boom"); });
  EXPECT_THROW(bad.get(), std::runtime_error);
}

TEST(Toolchain, ThreadIdsDiffer) {
  std::thread::id other;
  std::thread t([&] { other = std::this_thread::get_id(); });
  t.join();
  EXPECT_NE(other, std::this_thread::get_id());
  EXPECT_NE(other, std::thread::id());
}

TEST(Toolchain, AtomicsFromManyThreads) {
  std::atomic<int> hits{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 8; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) hits.fetch_add(1, std::memory_order_relaxed);
    });
  }
  for (auto& w : workers) w.join();
  EXPECT_EQ(hits.load(), 8000);
}

}  // namespace
