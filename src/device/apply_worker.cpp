#include "device/apply_worker.h"

#include <utility>

#include "device/driver_messages.h"

namespace mokta {

void WorkerQueue::Post(std::uint32_t message) {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    messages_.push_back(message);
  }
  ready_.notify_one();
}

void WorkerQueue::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    messages_.clear();
  }
  ready_.notify_all();
  idle_.notify_all();
}

std::optional<std::uint32_t> WorkerQueue::Take() {
  std::unique_lock lock(mutex_);
  if (busy_) {
    busy_ = false;
    if (messages_.empty()) idle_.notify_all();
  }
  ready_.wait(lock, [this] { return quit_ || !messages_.empty(); });
  if (quit_) return std::nullopt;
  std::uint32_t message = messages_.front();
  messages_.pop_front();
  busy_ = true;
  return message;
}

void WorkerQueue::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return quit_ || (messages_.empty() && !busy_); });
}

ApplyWorker::ApplyWorker(const LinkFields& links, std::function<void()> run_pass,
                         std::function<void()> dropped)
    : links_(links), run_pass_(std::move(run_pass)), dropped_(std::move(dropped)) {}

ApplyWorker::~ApplyWorker() {
  Stop();
}

void ApplyWorker::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
}

void ApplyWorker::Stop() {
  queue_.Quit();
  if (thread_.joinable()) thread_.join();
}

void ApplyWorker::Loop() {
  while (std::optional<std::uint32_t> message = queue_.Take()) {
    if (*message != MSG_WORKER_APPLY) continue;
    if (links_.AnyLinkUp()) {
      run_pass_();
    } else if (dropped_) {
      dropped_();
    }
  }
}

}  // namespace mokta
