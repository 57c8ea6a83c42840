#include "ServiceProcess.h"

#include <QDeadlineTimer>
#include <QStringList>

#include <csignal>
#include <sys/prctl.h>

namespace zel::test {

namespace {
// The line the service writes once it listens.
const std::string ServingOn = "zelservice: serving on 127.0.0.1:";
} // namespace

ServiceProcess::~ServiceProcess() {
    Stop();
}

bool ServiceProcess::Start(const std::string& program, const std::vector<std::string>& options,
                           int limitMs) {
    if (!data_.isValid()) {
        output_ = "no temporary data folder";
        return false;
    }
    QStringList arguments{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                          QStringLiteral("--port"),   QStringLiteral("0"),
                          QStringLiteral("--data"),   data_.path()};
    for (const std::string& option : options)
        arguments << QString::fromStdString(option);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.setReadChannel(QProcess::StandardError);
    process_.start(QString::fromStdString(program), arguments);

    const QDeadlineTimer deadline(limitMs);
    while (!deadline.hasExpired()) {
        const std::string seen = Output();
        const std::size_t at = seen.find(ServingOn);
        if (at != std::string::npos && seen.find(',', at) != std::string::npos) {
            port_ = std::stoi(seen.substr(at + ServingOn.size()));
            return port_ > 0;
        }
        if (!Running())
            return false;
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    return false;
}

bool ServiceProcess::Stop(int limitMs) {
    if (!Running())
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    process_.terminate();
    if (process_.waitForFinished(limitMs))
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    process_.kill();
    process_.waitForFinished(limitMs);
    return false;
}

std::string ServiceProcess::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string ServiceProcess::Output() {
    output_ += process_.readAllStandardError().toStdString();
    return output_;
}

} // namespace zel::test
