#include "ScriptedService.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace zel::test {

namespace {
const char* const HeadEnd = "\r\n\r\n";

std::string Response(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

void Finish(QTcpSocket* peer) {
    peer->disconnectFromHost();
    QObject::connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
}
} // namespace

std::string TargetPath(const std::string& target) {
    std::string path = target;
    const std::size_t scheme = path.find("://");
    if (!path.starts_with('/') && scheme != std::string::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    return path.substr(0, path.find('?'));
}

ScriptedService::ScriptedService() : server_(new QTcpServer(this)) {
    if (!server_->listen(QHostAddress::LocalHost))
        throw std::runtime_error("the scripted service cannot listen");
    connect(server_, &QTcpServer::newConnection, this, &ScriptedService::accept);
}

ScriptedService::~ScriptedService() {
    release();
}

int ScriptedService::port() const {
    return server_->serverPort();
}

std::string ScriptedService::base() const {
    return "http://127.0.0.1:" + std::to_string(port());
}

void ScriptedService::script(const std::string& pathPrefix, std::vector<Answer> answers) {
    scripts_[pathPrefix] = std::move(answers);
    served_[pathPrefix] = 0;
}

std::vector<std::string> ScriptedService::requestLines() const {
    std::vector<std::string> lines;
    for (const std::string& head : requests_)
        lines.push_back(head.substr(0, head.find("\r\n")));
    return lines;
}

int ScriptedService::held() const {
    return static_cast<int>(std::count_if(held_.begin(), held_.end(), [](QTcpSocket* peer) {
        return peer->state() == QAbstractSocket::ConnectedState;
    }));
}

void ScriptedService::release() {
    for (QTcpSocket* peer : held_)
        peer->abort();
    held_.clear();
}

void ScriptedService::close() {
    server_->close();
}

void ScriptedService::atRequest(std::size_t n, std::function<void()> action, int delayMs) {
    connect(this, &ScriptedService::requestArrived, this, [this, n, action, delayMs] {
        if (requests_.size() == n)
            QTimer::singleShot(delayMs, this, action);
    });
}

void ScriptedService::accept() {
    while (QTcpSocket* peer = server_->nextPendingConnection()) {
        peer->setParent(this);
        connect(peer, &QTcpSocket::readyRead, this, [this, peer] { read(peer); });
    }
}

void ScriptedService::read(QTcpSocket* peer) {
    std::string head = peer->property("head").toByteArray().toStdString();
    head += peer->readAll().toStdString();
    peer->setProperty("head", QByteArray::fromStdString(head));
    const std::size_t end = head.find(HeadEnd);
    if (end == std::string::npos || peer->property("answered").toBool())
        return;
    peer->setProperty("answered", true);
    requests_.push_back(head.substr(0, end + 2));
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    answer(peer, first == last ? std::string() : line.substr(first + 1, last - first - 1));
    emit requestArrived();
}

void ScriptedService::answer(QTcpSocket* peer, const std::string& target) {
    const std::string path = TargetPath(target);
    const std::string* match = nullptr;
    for (const auto& [prefix, answers] : scripts_)
        if (path.rfind(prefix, 0) == 0 && (!match || prefix.size() > match->size()))
            match = &prefix;
    if (!match || scripts_[*match].empty()) {
        peer->write("HTTP/1.0 404 Not Found\r\n\r\n");
        Finish(peer);
        return;
    }
    const std::vector<Answer>& answers = scripts_[*match];
    const Answer reply = answers[std::min(served_[*match]++, answers.size() - 1)];
    if (reply.hold) {
        held_.push_back(peer);
        return;
    }
    if (reply.hangUp) {
        peer->abort();
        peer->deleteLater();
        return;
    }
    const std::string bytes = Response(reply.body);
    if (reply.pauseMs <= 0) {
        peer->write(bytes.data(), static_cast<qint64>(bytes.size()));
        Finish(peer);
        return;
    }
    const std::size_t half = bytes.size() - reply.body.size() / 2;
    peer->write(bytes.data(), static_cast<qint64>(half));
    QPointer<QTcpSocket> alive(peer);
    QTimer::singleShot(reply.pauseMs, this, [alive, rest = bytes.substr(half)] {
        if (!alive)
            return;
        alive->write(rest.data(), static_cast<qint64>(rest.size()));
        Finish(alive);
    });
}

} // namespace zel::test
