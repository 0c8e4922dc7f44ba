#pragma once

// One running program per user. The first start listens on a local socket in the abstract
// namespace; a later start connects to it, asks it to come to the front and waits until it
// has done so, then ends (exit code 1).
//
// Protocol, one request per connection: the second start sends the line "activate\n"; the
// running program answers "done\n" once it has handled the request (which, when no mouse is
// connected, is after the user closed the no-device message) and closes the connection.
// Any other line closes the connection unanswered.
//
// Abstract socket names carry no file permissions and vanish with the last process holding
// them, so a crashed program leaves nothing behind. Both sides check that the peer runs as
// the same user: another user's process holding or calling the name is treated as absent.
//
// Needs a QCoreApplication. Used on the UI thread only.

#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace mokta {

class SingleInstance {
 public:
  // Sends the answer to one activation request. Call it once, on the UI thread; calls after
  // the first, after the requesting start has gone or after the SingleInstance has been
  // destroyed do nothing.
  using Reply = std::function<void()>;
  using ActivationHandler = std::function<void(Reply reply)>;

  enum class Activation {
    kAnswered,    // the running program handled the request
    kNotRunning,  // nothing answers on the name (it ended, or never listened)
    kDropped,     // the connection closed before the answer came (it ended meanwhile)
    kTimedOut,    // no answer within the time limit
  };

  // The name for this user: from "Mokta Gaming Mouse" and the user id, with a suffix in
  // builds without NDEBUG, so that a developer build never talks to an installed program.
  // The environment variable MOKTA_INSTANCE_NAME, when set and not empty, is the name instead:
  // tests and benchmarks start the program under a name of their own, beside the user's.
  static QString DefaultName();

  // `name` is the abstract socket name; tests pass their own.
  explicit SingleInstance(QString name = DefaultName());
  ~SingleInstance();

  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Claims the name. Returns false when another instance of this user answers on it: this
  // start is the second one and should call ActivateOtherInstance and end. Returns true when
  // this start is the primary; normally it then listens, but when the name stays held by a
  // socket that never accepts (or by another user) the program runs without listening, so a
  // later start cannot reach it, rather than refusing to run. When two starts race, one binds
  // the name and the other finds it taken and becomes the second start. Blocks for about a
  // second at most. Returns true at once when already listening.
  bool TryBecomePrimary();

  // True while this instance listens for activation requests.
  bool listening() const;
  const QString& name() const { return name_; }

  // Called on the UI thread, from the event loop, for each activation request. Requests that
  // arrive while no handler is set are answered at once.
  void SetActivationHandler(ActivationHandler handler);

  // The second start: connects to `name`, sends the request and waits for the answer.
  // `timeout_ms` < 0 waits without limit (the running program may be showing a modal message
  // for as long as the user lets it); the wait ends early when the connection drops. Blocking;
  // runs no event loop.
  static Activation ActivateOtherInstance(const QString& name, int timeout_ms = -1);

 private:
  void AcceptConnections();
  void ReadRequest(QLocalSocket* socket);

  QString name_;
  std::unique_ptr<QLocalServer> server_;
  ActivationHandler handler_;
};

}  // namespace mokta
