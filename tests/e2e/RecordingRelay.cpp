#include "RecordingRelay.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <stdexcept>
#include <utility>

namespace zel::test {

RecordingRelay::RecordingRelay(int servicePort)
    : server_(new QTcpServer(this)), servicePort_(servicePort) {
    if (!server_->listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the relay cannot listen");
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (server_->hasPendingConnections())
            Relay();
    });
}

RecordingRelay::~RecordingRelay() = default;

int RecordingRelay::Port() const {
    return server_->serverPort();
}

std::vector<std::string> RecordingRelay::Replies(const std::string& part) const {
    std::vector<std::string> replies;
    for (const Exchange& exchange : exchanges_)
        if (exchange.requestLine.find(part) != std::string::npos)
            replies.push_back(exchange.replyBody);
    return replies;
}

// One connection: the client's bytes go to the service as they come (held
// until the service's connection is up), the service's bytes go back and are
// recorded; when the service closes (or cannot be reached), the exchange is
// complete and the client's connection is closed after what it got.
void RecordingRelay::Relay() {
    QTcpSocket* client = server_->nextPendingConnection();
    auto* service = new QTcpSocket(client);
    auto request = std::make_shared<std::string>();
    auto held = std::make_shared<QByteArray>();
    auto reply = std::make_shared<std::string>();
    auto forward = [service, held] {
        if (service->state() == QAbstractSocket::ConnectedState && !held->isEmpty())
            service->write(std::exchange(*held, {}));
    };
    connect(client, &QTcpSocket::readyRead, this, [client, request, held, forward] {
        const QByteArray bytes = client->readAll();
        request->append(bytes.toStdString());
        held->append(bytes);
        forward();
    });
    connect(service, &QTcpSocket::connected, this, forward);
    auto passBack = [client, service, reply] {
        const QByteArray bytes = service->readAll();
        reply->append(bytes.toStdString());
        client->write(bytes);
    };
    connect(service, &QTcpSocket::readyRead, this, passBack);
    connect(service, &QTcpSocket::errorOccurred, this, [this, client, request, reply, passBack] {
        passBack();
        const std::size_t headEnd = reply->find("\r\n\r\n");
        Exchange exchange;
        exchange.requestLine = request->substr(0, request->find("\r\n"));
        exchange.replyHead = reply->substr(0, headEnd);
        if (headEnd != std::string::npos)
            exchange.replyBody = reply->substr(headEnd + 4);
        exchanges_.push_back(std::move(exchange));
        client->disconnectFromHost();
    });
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    service->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(servicePort_));
}

} // namespace zel::test
