// A stand-in for the program's start, for the single-instance tests: the same SingleInstance
// calls and exit codes, with progress printed on stdout, one word per line.
//
// Usage: single_instance_probe NAME [ANSWER_DELAY_MS]
//
// Primary: prints "ready", then for each activation request "activated", waits
// ANSWER_DELAY_MS (standing in for the no-device message the user has to close), prints
// "answering" and answers. Runs until it is killed.
// Second start: prints "second: answered" (or not-running, dropped, timed-out) and exits
// with 1, as the program does.

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

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
  const int delay_ms = args.size() > 2 ? args[2].toInt() : 0;

  mokta::SingleInstance instance(args[1]);
  if (!instance.TryBecomePrimary()) {
    Say(Describe(mokta::SingleInstance::ActivateOtherInstance(instance.name())));
    return 1;
  }
  instance.SetActivationHandler([delay_ms](mokta::SingleInstance::Reply reply) {
    Say("activated");
    QTimer::singleShot(delay_ms, [reply] {
      Say("answering");
      reply();
    });
  });
  Say(instance.listening() ? "ready" : "ready-unlisted");
  return app.exec();
}
