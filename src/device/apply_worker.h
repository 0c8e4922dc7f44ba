#pragma once

// The apply worker: a thread with its own message queue that runs apply passes one after
// another. Requests are posted from the UI thread; a pass is never interrupted by a request,
// and a request that arrives during a pass runs after it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "device/link_fields.h"

namespace mokta {

// A blocking queue of message numbers with a quit request.
class WorkerQueue {
 public:
  // Any thread. Ignored once quit was requested.
  void Post(std::uint32_t message);
  // Any thread: `Take` answers nothing from now on; messages still queued are dropped.
  void Quit();
  // The worker: waits for the next message; nothing once quit was requested. Calling it again
  // says that the message it returned last has been handled.
  std::optional<std::uint32_t> Take();
  // Any thread but the worker: waits until every message posted so far has been taken and
  // handled and the worker waits in Take again, or until quit was requested.
  void WaitUntilIdle();

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable idle_;
  std::deque<std::uint32_t> messages_;
  bool busy_ = false;  // a message was taken and is being handled
  bool quit_ = false;
};

class ApplyWorker {
 public:
  // `run_pass` runs one apply pass on the worker thread. A MSG_WORKER_APPLY is run only while
  // at least one link is connected; otherwise it is dropped and `dropped` (when set) is called
  // on the worker thread. Every other message is dropped.
  ApplyWorker(const LinkFields& links, std::function<void()> run_pass,
              std::function<void()> dropped = {});
  // Stops the thread when it still runs.
  ~ApplyWorker();

  ApplyWorker(const ApplyWorker&) = delete;
  ApplyWorker& operator=(const ApplyWorker&) = delete;

  void Start();
  // Any thread.
  void Post(std::uint32_t message) { queue_.Post(message); }
  // Any thread but the worker's, while the worker runs: waits until every message posted so
  // far has been run or dropped, or until Stop has begun (a pass may then still run).
  void WaitUntilIdle() { queue_.WaitUntilIdle(); }
  // Ends the thread after the pass it is running, if any, and waits for it. Pending requests
  // are dropped. To end a running pass quickly, stop the command sender's sleeper first.
  void Stop();

 private:
  void Loop();

  const LinkFields& links_;
  std::function<void()> run_pass_;
  std::function<void()> dropped_;
  WorkerQueue queue_;
  std::thread thread_;
};

}  // namespace mokta
