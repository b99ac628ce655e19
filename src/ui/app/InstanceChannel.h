#pragma once

#include <chrono>
#include <functional>
#include <string>

#include <QObject>

class QLocalServer;
class QLocalSocket;

namespace zandel::ui {

// The running program's ear for later starts: a local socket beside the instance lock. Only the lock's holder
// listens, so a socket file found there is left from a program that ended and is replaced. The folder is the
// user's alone, and a peer that runs as another user is cut off unheard all the same. A peer is given a short
// time to say its request, and one that says anything else, or too much, is cut off; nothing it sends is
// acted on but a whole request.
class InstanceServer final : public QObject {
    Q_OBJECT
public:
    // How long a connection may take to deliver its request.
    static constexpr int kRequestWaitMs = 2000;
    // Connections heard at the same time; more are cut off at once.
    static constexpr int kMaxConnections = 8;

    // Called with the list file to open (empty for none) before the request is answered.
    using Handler = std::function<void(const std::string& listFile)>;
    InstanceServer(Handler handler, QObject* parent = nullptr);
    ~InstanceServer() override;

    // False when no socket could be made there; later starts then end unheard.
    bool Listen(const std::string& path);
    void Close();

private:
    void Accept();
    void Hear(QLocalSocket* socket);

    Handler m_handler;
    QLocalServer* m_server = nullptr;
    int m_connections = 0;
};

// A later start's side: asks the program that holds the lock to come to the front (and to open the list file
// the request names), waiting at most `limit` for its answer.
enum class Asked { Answered, NobodyListening, NoAnswer };
Asked AskRunningInstance(const std::string& path, const std::string& request, std::chrono::milliseconds limit);

} // namespace zandel::ui
