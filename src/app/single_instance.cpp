#include "app/single_instance.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcInstance, "mokta.instance")

constexpr char kActivateRequest[] = "activate\n";
constexpr char kDoneAnswer[] = "done\n";
// Longer than any line of the protocol; a peer that sends more without a line end is cut off.
constexpr qint64 kMaxLineBytes = 64;

// Claiming a taken name: while the holder does not accept (another start between its bind
// and its listen, or one that is just ending), look again every kClaimPauseMs, for at most
// kClaimBudgetMs in all.
constexpr int kClaimBudgetMs = 1000;
constexpr int kClaimPauseMs = 20;

// True when the process at the other end of the connected local socket `fd` runs as this
// process's user.
bool PeerIsSameUser(qintptr fd) {
  struct ucred credentials {};
  socklen_t size = sizeof(credentials);
  if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
    return false;
  }
  return credentials.uid == geteuid();
}

enum class Holder { kOurInstance, kForeign, kNotAccepting };

// Who holds `name`, which a listen has just found taken.
Holder ProbeHolder(const QString& name, int timeout_ms) {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name);
  if (!socket.waitForConnected(timeout_ms)) return Holder::kNotAccepting;
  const bool ours = PeerIsSameUser(socket.socketDescriptor());
  socket.abort();
  return ours ? Holder::kOurInstance : Holder::kForeign;
}

int Remaining(const QDeadlineTimer& deadline) {
  return deadline.isForever() ? -1 : static_cast<int>(deadline.remainingTime());
}

}  // namespace

QString SingleInstance::DefaultName() {
  const QString chosen = qEnvironmentVariable("MOKTA_INSTANCE_NAME");
  if (!chosen.isEmpty()) return chosen;
  QString name = QStringLiteral("Mokta Gaming Mouse.%1").arg(geteuid());
#ifndef NDEBUG
  name += QStringLiteral(".debug");
#endif
  return name;
}

SingleInstance::SingleInstance(QString name) : name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::listening() const {
  return server_ && server_->isListening();
}

void SingleInstance::SetActivationHandler(ActivationHandler handler) {
  handler_ = std::move(handler);
}

bool SingleInstance::TryBecomePrimary() {
  if (listening()) return true;
  const QDeadlineTimer deadline(kClaimBudgetMs);
  do {
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (server->listen(name_)) {
      server_ = std::move(server);
      QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                       [this] { AcceptConnections(); });
      return true;
    }
    if (server->serverError() != QAbstractSocket::AddressInUseError) {
      qCWarning(lcInstance).nospace()
          << "cannot listen on " << name_ << " (" << server->errorString()
          << "); running without the single-instance check";
      return true;
    }
    switch (ProbeHolder(name_, std::max(1, Remaining(deadline)))) {
      case Holder::kOurInstance:
        return false;
      case Holder::kForeign:
        qCWarning(lcInstance).nospace() << name_ << " is held by another user's process; "
                                        << "running without the single-instance check";
        return true;
      case Holder::kNotAccepting:
        QThread::msleep(kClaimPauseMs);
        break;
    }
  } while (!deadline.hasExpired());
  qCWarning(lcInstance).nospace() << name_ << " is held by a socket that does not accept; "
                                  << "running without the single-instance check";
  return true;
}

void SingleInstance::AcceptConnections() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (!PeerIsSameUser(socket->socketDescriptor())) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QLocalSocket::readyRead, socket,
                     [this, socket] { ReadRequest(socket); });
    ReadRequest(socket);  // the request may have come with the connection
  }
}

void SingleInstance::ReadRequest(QLocalSocket* socket) {
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > kMaxLineBytes) {
      socket->abort();
      socket->deleteLater();
    }
    return;
  }
  const QByteArray line = socket->readLine(kMaxLineBytes + 1);
  QObject::disconnect(socket, &QLocalSocket::readyRead, nullptr, nullptr);  // one per connection
  if (line != kActivateRequest) {
    socket->disconnectFromServer();
    return;
  }
  QPointer<QLocalSocket> guarded(socket);
  Reply reply = [guarded] {
    if (!guarded || guarded->state() != QLocalSocket::ConnectedState) return;
    guarded->write(kDoneAnswer);
    guarded->disconnectFromServer();  // sends what is written first
  };
  // From the event loop, not from inside the socket's signal: the handler may run a modal
  // message, which must not nest inside the socket's reading.
  QTimer::singleShot(0, server_.get(), [this, reply = std::move(reply)] {
    const ActivationHandler handler = handler_;
    if (handler) {
      handler(reply);
    } else {
      reply();
    }
  });
}

SingleInstance::Activation SingleInstance::ActivateOtherInstance(const QString& name,
                                                                 int timeout_ms) {
  const QDeadlineTimer deadline =
      timeout_ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeout_ms);
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name);
  if (!socket.waitForConnected(Remaining(deadline)) || !PeerIsSameUser(socket.socketDescriptor())) {
    return Activation::kNotRunning;
  }
  socket.write(kActivateRequest);
  socket.waitForBytesWritten(Remaining(deadline));
  for (;;) {
    if (socket.canReadLine()) {
      return socket.readLine(kMaxLineBytes + 1) == kDoneAnswer ? Activation::kAnswered
                                                               : Activation::kDropped;
    }
    if (socket.state() != QLocalSocket::ConnectedState) return Activation::kDropped;
    if (deadline.hasExpired()) return Activation::kTimedOut;
    socket.waitForReadyRead(Remaining(deadline));
  }
}

}  // namespace mokta
