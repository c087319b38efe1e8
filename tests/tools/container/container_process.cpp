#include "tests/tools/container/container_process.h"

#include <QDeadlineTimer>
#include <cstdlib>

namespace vort::test {

QString builtProgram(const char* name) {
    const char* out = std::getenv("VORT_BUILD_OUT");
    return QString::fromLocal8Bit(out ? out : ".") + QLatin1Char('/') + QLatin1String(name);
}

ContainerProcess::ContainerProcess(const QStringList& args) {
    process_.setProgram(builtProgram("vort-container"));
    process_.setArguments(args);
    process_.start();
    process_.waitForStarted(5000);
}

ContainerProcess::~ContainerProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void ContainerProcess::send(const std::string& line) {
    process_.write(QByteArray::fromStdString(line + "\n"));
    process_.waitForBytesWritten(5000);
}

std::string ContainerProcess::next(int ms) {
    QDeadlineTimer deadline(ms);
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n');
        if (end >= 0) {
            std::string line = buffer_.left(end).toStdString();
            buffer_.remove(0, end + 1);
            return line;
        }
        if (deadline.hasExpired())
            return "<timeout>";
        if (process_.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime()))))
            buffer_ += process_.readAllStandardOutput();
        else if (process_.state() == QProcess::NotRunning) {
            buffer_ += process_.readAllStandardOutput();
            if (buffer_.indexOf('\n') < 0)
                return "<ended>";
        }
    }
}

int ContainerProcess::finish(int ms) {
    process_.closeWriteChannel();
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(ms))
        return -1;
    buffer_ += process_.readAllStandardOutput();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

std::string ContainerProcess::standardError() {
    return process_.readAllStandardError().toStdString();
}

} // namespace vort::test
