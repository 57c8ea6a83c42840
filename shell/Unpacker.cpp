#include "Unpacker.h"

#include "EventWait.h"
#include "FileSystem.h"

#include <QProcess>

namespace zel {

namespace {
constexpr int StartMs = 5000;
constexpr int ExitMs = 5000;
} // namespace

Unpacker::Unpacker() = default;

Unpacker::~Unpacker() {
    Stop();
}

bool Unpacker::Start() {
    Stop();
    process_ = std::make_unique<QProcess>();
    process_->setWorkingDirectory(QString::fromStdString(CurrentDirectory()));
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setStandardErrorFile(QProcess::nullDevice());
    // -o: overwrite without asking. No -: option, so "../" parts and leading
    // "/" of entry names are dropped rather than followed.
    process_->start(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("page.zip")});
    WaitUntil([this] { return process_->state() != QProcess::Starting; }, StartMs);
    return process_->error() != QProcess::FailedToStart;
}

bool Unpacker::Running() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

void Unpacker::Stop() {
    if (!Running())
        return;
    process_->kill();
    WaitUntil([this] { return !Running(); }, ExitMs);
}

} // namespace zel
