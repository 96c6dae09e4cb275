#ifndef VESK_TESTS_SUPPORT_CONCURRENTRUNS_H
#define VESK_TESTS_SUPPORT_CONCURRENTRUNS_H

#include <atomic>
#include <iostream>
#include <thread>
#include <utility>
#include <vector>

// Runs run(i) for every i < threads in that many threads released at once,
// then each alone, and returns both sets of results: {together, alone}. A
// capture of std::cout cannot be shared by threads, so the console is
// switched off meanwhile.
template <class Run>
auto RunTogetherAndAlone(int threads, Run run) {
  using Result = decltype(run(0));
  std::cout.setstate(std::ios::failbit);
  std::vector<Result> together(threads);
  std::atomic<int> waiting{threads};
  std::vector<std::thread> running;
  for (int i = 0; i < threads; ++i)
    running.emplace_back([&, i] {
      for (--waiting; waiting > 0;) std::this_thread::yield();
      together[i] = run(i);
    });
  for (std::thread& thread : running) thread.join();
  std::vector<Result> alone;
  for (int i = 0; i < threads; ++i) alone.push_back(run(i));
  std::cout.clear();
  return std::make_pair(std::move(together), std::move(alone));
}

#endif
