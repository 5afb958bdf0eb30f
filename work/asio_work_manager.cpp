#include "work/asio_work_manager.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <new>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace zarn {

struct AsioWorkManager::State {
  using Guard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;

  boost::asio::io_context service;
  std::optional<Guard> keep_alive;
  std::vector<std::thread> threads;

  void StopAndJoin() {
    service.stop();
    for (auto& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }
};

namespace {

std::thread StartThread(std::function<void()> body) { return std::thread(std::move(body)); }

}  // namespace

AsioWorkManager::AsioWorkManager(std::uint32_t thread_count)
    : AsioWorkManager(thread_count, &StartThread) {}

AsioWorkManager::AsioWorkManager(std::uint32_t thread_count, const ThreadStarter& start_thread)
    : state_(std::make_unique<State>()) {
  state_->keep_alive.emplace(state_->service.get_executor());
  state_->threads.reserve(thread_count);
  try {
    for (std::uint32_t i = 0; i < thread_count; ++i) {
      State* state = state_.get();
      state_->threads.push_back(start_thread([state] { state->service.run(); }));
    }
  } catch (const std::system_error&) {
    // The threads already running must not outlive the io_context they run.
    state_->StopAndJoin();
    throw std::bad_alloc();
  } catch (...) {
    state_->StopAndJoin();
    throw;
  }
}

AsioWorkManager::~AsioWorkManager() { state_->StopAndJoin(); }

void AsioWorkManager::PostWork(const std::shared_ptr<SimpleWork>& work) {
  boost::asio::post(state_->service, [work] { RunPostedWork(work); });
}

void AsioWorkManager::PostWorkflowWork(WorkflowWorkItem item) {
  boost::asio::post(state_->service, [item = std::move(item)] { RunWorkflowWorkItem(item); });
}

void AsioWorkManager::ReleaseKeepAlive() { state_->keep_alive.reset(); }

void AsioWorkManager::Join() {
  for (auto& thread : state_->threads) {
    if (thread.joinable()) thread.join();
  }
}

void AsioWorkManager::Drain() {
  ReleaseKeepAlive();
  Join();
}

}  // namespace zarn
