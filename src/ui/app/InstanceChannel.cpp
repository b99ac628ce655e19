#include "ui/app/InstanceChannel.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include <QByteArray>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "core/app/InstanceRequest.h"
#include "platform/InstanceLock.h"

namespace zandel::ui {

namespace {

// A request's head and its longest path.
constexpr qsizetype kMaxRequestBytes = 64 + static_cast<qsizetype>(kMaxRequestPath);

QString SocketName(const std::string& path) {
    return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
}

} // namespace

InstanceServer::InstanceServer(Handler handler, QObject* parent) : QObject(parent), m_handler(std::move(handler)) {}

InstanceServer::~InstanceServer() {
    Close();
}

bool InstanceServer::Listen(const std::string& path) {
    Close();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::Accept);
    const QString name = SocketName(path);
    // We hold the lock: whatever lies there was left behind.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) {
        Close();
        return false;
    }
    return true;
}

void InstanceServer::Close() {
    if (m_server != nullptr) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

void InstanceServer::Accept() {
    while (m_server != nullptr && m_server->hasPendingConnections()) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        if (m_connections >= kMaxConnections ||
            !InstanceLock::PeerIsSameUser(static_cast<int>(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Hear(socket);
    }
}

void InstanceServer::Hear(QLocalSocket* socket) {
    ++m_connections;
    // Counted until it ends; a socket still open at shutdown goes with the server.
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
        --m_connections;
        socket->deleteLater();
    });
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, [socket] { socket->abort(); });
    deadline->start(kRequestWaitMs);
    auto received = std::make_shared<QByteArray>();
    const auto readable = [this, socket, deadline, received] {
        received->append(socket->readAll());
        const RaiseRequest request = received->size() > kMaxRequestBytes
                                         ? RaiseRequest{RaiseRequest::State::Bad, {}}
                                         : DecodeRaiseRequest(std::string_view(
                                               received->constData(), static_cast<std::size_t>(received->size())));
        switch (request.state) {
        case RaiseRequest::State::Incomplete:
            return;
        case RaiseRequest::State::Bad:
            socket->abort();
            return;
        case RaiseRequest::State::Complete:
            // Heard once: whatever else comes on this connection is not read.
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            deadline->stop();
            m_handler(request.path);
            socket->write(kRaiseAnswer);
            socket->disconnectFromServer();
            return;
        }
    };
    connect(socket, &QLocalSocket::readyRead, this, readable);
    // A request that was there before the connection was taken.
    if (socket->bytesAvailable() > 0) {
        readable();
    }
}

Asked AskRunningInstance(const std::string& path, const std::string& request, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return static_cast<int>(std::max<qint64>(0, limit.count() - clock.elapsed())); };
    QLocalSocket socket;
    socket.connectToServer(SocketName(path));
    if (!socket.waitForConnected(left())) {
        return Asked::NobodyListening;
    }
    // The folder is ours; the socket in it must be too.
    if (!InstanceLock::PeerIsSameUser(static_cast<int>(socket.socketDescriptor()))) {
        return Asked::NoAnswer;
    }
    socket.write(request.data(), static_cast<qint64>(request.size()));
    QByteArray answer;
    const QByteArray expected(kRaiseAnswer);
    while (answer.size() < expected.size() && left() > 0) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(left())) {
            break;
        }
        answer.append(socket.read(expected.size() - answer.size()));
    }
    return answer == expected ? Asked::Answered : Asked::NoAnswer;
}

} // namespace zandel::ui
