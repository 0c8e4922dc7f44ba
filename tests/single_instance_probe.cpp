// A stand-in for the program's start, for the single-instance tests: the same SingleInstance
// calls and exit codes, with progress printed on stdout, one word per line.
//
// Usage: single_instance_probe NAME [ANSWER_DELAY_MS | told]
//
// Primary: prints "ready", then for each activation request "activated", waits
// ANSWER_DELAY_MS (standing in for the no-device message the user has to close), prints
// "answering" and answers. With "told" it waits instead for a line on its standard input, one
// line per request in the order they came (the user closing the message). Runs until it is
// killed.
// Second start: prints "second: answered" (or not-running, dropped, timed-out) and exits
// with 1, as the program does.

#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <deque>

#include "app/single_instance.h"

namespace {

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

const char* Describe(mokta::SingleInstance::Activation activation) {
  using Activation = mokta::SingleInstance::Activation;
  switch (activation) {
    case Activation::kAnswered:
      return "second: answered";
    case Activation::kNotRunning:
      return "second: not-running";
    case Activation::kDropped:
      return "second: dropped";
    case Activation::kTimedOut:
      return "second: timed-out";
  }
  return "second: ?";
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: single_instance_probe NAME [ANSWER_DELAY_MS]\n");
    return 2;
  }
  const bool when_told = args.size() > 2 && args[2] == QLatin1String("told");
  const int delay_ms = args.size() > 2 && !when_told ? args[2].toInt() : 0;

  mokta::SingleInstance instance(args[1]);
  if (!instance.TryBecomePrimary()) {
    Say(Describe(mokta::SingleInstance::ActivateOtherInstance(instance.name())));
    return 1;
  }
  std::deque<mokta::SingleInstance::Reply> waiting;  // told: requests not yet answered
  const auto answer = [](const mokta::SingleInstance::Reply& reply) {
    Say("answering");
    reply();
  };
  instance.SetActivationHandler([&](mokta::SingleInstance::Reply reply) {
    Say("activated");
    if (when_told) {
      waiting.push_back(std::move(reply));
    } else {
      QTimer::singleShot(delay_ms, [answer, reply] { answer(reply); });
    }
  });
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  input.setEnabled(when_told);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char bytes[64];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n <= 0) input.setEnabled(false);  // the test has gone
    for (ssize_t i = 0; i < n; ++i) {
      if (bytes[i] != '\n' || waiting.empty()) continue;
      answer(waiting.front());
      waiting.pop_front();
    }
  });
  Say(instance.listening() ? "ready" : "ready-unlisted");
  return app.exec();
}
