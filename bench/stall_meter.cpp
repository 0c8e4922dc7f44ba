#include "stall_meter.h"

#include <cxxabi.h>
#include <time.h>

#include <QEvent>
#include <QMetaEnum>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace mokta::bench {
namespace {

QString Demangled(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return QString::fromLatin1(status == 0 && name ? name.get() : mangled);
}

QString EventName(QEvent::Type type) {
  const char* key = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
  return key ? QString::fromLatin1(key) : QStringLiteral("event %1").arg(int{type});
}

// What a delivery was: read before the event is delivered, because some deliveries (a
// deferred delete) end the receiver. Only the cheap parts are taken here.
struct DeliveryLabel {
  QEvent::Type type;
  const char* receiver_type;
  const char* parent_type;
  QString name;

  DeliveryLabel(QObject* receiver, QEvent* event)
      : type(event->type()),
        receiver_type(typeid(*receiver).name()),
        parent_type(receiver->parent() ? typeid(*receiver->parent()).name() : nullptr),
        name(receiver->objectName()) {}

  QString Text() const {
    QString text = EventName(type) + QStringLiteral(" to ") + Demangled(receiver_type);
    if (!name.isEmpty()) text += QStringLiteral(" '%1'").arg(name);
    if (parent_type) text += QStringLiteral(" (child of %1)").arg(Demangled(parent_type));
    return text;
  }
};

}  // namespace

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

double StallWindow::StallMs() const {
  const std::int64_t over = longest_gap_ns - std::int64_t{Heartbeat::kIntervalMs} * 1'000'000;
  return std::max<std::int64_t>(over, 0) / 1e6;
}

Heartbeat::Heartbeat() {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Beat(); });
  timer_.start(kIntervalMs);
}

void Heartbeat::BeginWindow() {
  open_ = true;
  start_ns_ = NowNs();
  last_ns_ = start_ns_;
  last_cpu_ns_ = ThreadCpuNs();
  start_cpu_ns_ = last_cpu_ns_;
  window_ = {};
}

void Heartbeat::Beat() {
  if (open_) {
    const std::int64_t now = NowNs();
    const std::int64_t cpu = ThreadCpuNs();
    const std::int64_t gap = now - last_ns_;
    if (gap > window_.longest_gap_ns) {
      window_.longest_gap_ns = gap;
      window_.gap_start_ns = last_ns_ - start_ns_;
      window_.gap_cpu_ns = cpu - last_cpu_ns_;
    }
    last_ns_ = now;
    last_cpu_ns_ = cpu;
    ++window_.beats;
  }
}

StallWindow Heartbeat::EndWindow() {
  Beat();  // the time since the last beat counts too
  open_ = false;
  window_.length_ns = last_ns_ - start_ns_;
  window_.cpu_ns = last_cpu_ns_ - start_cpu_ns_;
  return window_;
}

TimedApplication::TimedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void TimedApplication::BeginWindow(std::int64_t origin_ns) {
  origin_ns_ = origin_ns;
  slow_.clear();
}

std::vector<SlowDelivery> TimedApplication::Slowest(std::size_t count) const {
  std::vector<SlowDelivery> slowest = slow_;
  std::sort(slowest.begin(), slowest.end(), [](const SlowDelivery& a, const SlowDelivery& b) {
    return a.duration_ns > b.duration_ns;
  });
  if (slowest.size() > count) slowest.resize(count);
  return slowest;
}

// Only deliveries made by the event loop itself are timed; those sent from inside them are
// part of their time.
bool TimedApplication::notify(QObject* receiver, QEvent* event) {
  if (depth_ > 0 || receiver == nullptr || event == nullptr) {
    return QApplication::notify(receiver, event);
  }
  const DeliveryLabel label(receiver, event);
  const std::int64_t start = NowNs();
  ++depth_;
  const bool result = QApplication::notify(receiver, event);
  --depth_;
  const std::int64_t duration = NowNs() - start;
  if (duration >= kSlowNs && start >= origin_ns_) {
    slow_.push_back({start - origin_ns_, duration, label.Text()});
  }
  return result;
}

}  // namespace mokta::bench
