#include "simulatorprocess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

namespace DevSim {

namespace {

constexpr int StartTimeoutMs = 10000;

// Runs `ip` with the given arguments and input, in the namespace of `pid` when one is given;
// its output, or nothing when it failed.
std::optional<QByteArray> runIp(const QStringList &arguments, const QByteArray &input, qint64 pid, QString *error)
{
    QProcess ip;
    if (pid > 0) {
        ip.start(QStringLiteral("nsenter"), QStringList{QStringLiteral("--target"), QString::number(pid),
                                                        QStringLiteral("--net"), QStringLiteral("ip")} + arguments);
    } else {
        ip.start(QStringLiteral("ip"), arguments);
    }
    ip.write(input);
    ip.closeWriteChannel();
    if (!ip.waitForFinished(StartTimeoutMs) || ip.exitStatus() != QProcess::NormalExit || ip.exitCode() != 0) {
        *error = QString::fromLocal8Bit(ip.readAllStandardError()).trimmed();
        return std::nullopt;
    }
    return ip.readAllStandardOutput();
}

std::optional<QString> runIpBatch(const QStringList &commands, qint64 pid = 0)
{
    QString error;
    if (runIp({QStringLiteral("-batch"), QStringLiteral("-")}, commands.join(u'\n').toUtf8() + '\n', pid, &error))
        return std::nullopt;
    return QStringLiteral("ip -batch failed (%1): %2").arg(commands.join(QLatin1String("; ")), error);
}

bool linkIsUp(const QString &name, qint64 pid = 0)
{
    QString error;
    const auto output = runIp({QStringLiteral("-o"), QStringLiteral("link"), QStringLiteral("show"),
                               QStringLiteral("dev"), name},
                              {}, pid, &error);
    return output && output->contains(" state UP ");
}

} // namespace

QString SimulatorCable::toolAddress() const
{
    return QStringLiteral("198.%1.0.1").arg(18 + number);
}

QString SimulatorCable::interfaceName() const
{
    return QStringLiteral("kvrsim%1").arg(number);
}

std::optional<QString> runFailure(QProcess::ExitStatus status, int exitCode, const QString &errorOutput)
{
    static const QRegularExpression report(
        QStringLiteral("ERROR: (Address|Leak|Thread|Memory|UndefinedBehavior)Sanitizer|runtime error: "));
    if (const QRegularExpressionMatch match = report.match(errorOutput); match.hasMatch())
        return QStringLiteral("sanitizer report: %1").arg(errorOutput.mid(match.capturedStart()).section(u'\n', 0, 0));
    if (status == QProcess::CrashExit)
        return QStringLiteral("it crashed");
    if (exitCode != 0)
        return QStringLiteral("it exited with status %1").arg(exitCode);
    return std::nullopt;
}

SimulatorProcess::SimulatorProcess(QObject *parent) : SimulatorProcess(SimulatorCable{}, parent) {}

SimulatorProcess::SimulatorProcess(const SimulatorCable &cable, QObject *parent) : QObject(parent), m_cable(cable)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimulatorProcess::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &SimulatorProcess::forwardErrors);
    connect(&m_process, &QProcess::finished, this, &SimulatorProcess::endedByItself);
    // Should the caller die first, the simulator goes with it rather than play on unattended.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

std::optional<QString> SimulatorProcess::start(const QString &program, const QStringList &arguments)
{
    if (isRunning())
        return QStringLiteral("the simulator is already running");
    m_lines.clear();
    m_partialLine.clear();
    m_errors.clear();
    m_started = false;
    m_stopping = false;
    // unshare makes the namespace and then becomes the simulator: its process id is the simulator's.
    m_process.start(QStringLiteral("unshare"), QStringList{QStringLiteral("--net"), QStringLiteral("--"), program} + arguments);
    if (!m_process.waitForStarted(StartTimeoutMs))
        return QStringLiteral("cannot start unshare: %1").arg(m_process.errorString());

    // The socket is bound once it says so; the network can be wired in afterwards.
    QEventLoop loop;
    QTimer::singleShot(StartTimeoutMs, &loop, &QEventLoop::quit);
    connect(this, &SimulatorProcess::linePrinted, &loop, [&loop](const QString &line) {
        if (line.startsWith(QLatin1String("listening on ")))
            loop.quit();
    });
    connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    const bool listening = std::any_of(m_lines.cbegin(), m_lines.cend(), [](const QString &line) {
        return line.startsWith(QLatin1String("listening on "));
    });
    if (!listening)
        loop.exec();
    if (!isRunning() || !printedSince(0, QStringLiteral("listening on "))) {
        stop();
        forwardErrors();
        return QStringLiteral("the simulator did not start listening: %1").arg(m_errors.trimmed());
    }
    if (std::optional<QString> failure = wireNetwork()) {
        stop();
        return failure;
    }
    m_started = true;
    return std::nullopt;
}

std::optional<QString> SimulatorProcess::wireNetwork()
{
    const QString tool = m_cable.toolAddress();
    const QString here = m_cable.interfaceName();
    const QString there = QStringLiteral("kvrdev%1").arg(m_cable.number);
    const QString subnet = QStringLiteral("198.%1.0.0/16").arg(18 + m_cable.number);
    const qint64 pid = m_process.processId();
    m_wired = true;
    QStringList hereCommands{QStringLiteral("link add %1 type veth peer name %2 netns %3").arg(here, there).arg(pid),
                             QStringLiteral("addr add %1/16 dev %2").arg(tool, here),
                             QStringLiteral("link set %1 up").arg(here)};
    if (m_cable.defaultRoute)
        hereCommands.append(QStringLiteral("route add default dev %1").arg(here));
    if (auto failure = runIpBatch(hereCommands))
        return failure;
    if (auto failure = runIpBatch({QStringLiteral("link set lo up"),
                                   QStringLiteral("link set %1 up").arg(there),
                                   QStringLiteral("addr add 198.%1.0.2/32 dev %2").arg(18 + m_cable.number).arg(there),
                                   QStringLiteral("route add %1/32 dev %2").arg(tool, there),
                                   QStringLiteral("route add local %1 dev lo table main").arg(subnet)},
                                  pid))
        return failure;

    // A veth end drops what it is given until the kernel has switched it on, a little after
    // "link set up" returns (later still on a busy machine).
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!(linkIsUp(here) && linkIsUp(there, pid))) {
        if (deadline.hasExpired())
            return QStringLiteral("the cable to the simulator did not come up");
        QThread::msleep(10);
    }
    return std::nullopt;
}

void SimulatorProcess::stop()
{
    // The cable would go with the simulator's namespace, but only some time after it: removed
    // here, it is gone before the next start wires a new one.
    if (m_wired)
        runIpBatch({QStringLiteral("link del %1").arg(m_cable.interfaceName())});
    m_wired = false;
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    if (m_process.state() == QProcess::Running)
        ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(StartTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(StartTimeoutMs);
    }
    readOutput();
    forwardErrors();
    if (!m_started)
        return;
    m_started = false;
    if (const std::optional<QString> failure = runFailure(m_process.exitStatus(), m_process.exitCode(), m_errors))
        qFatal("kvrctl700-devsim failed: %s", qPrintable(*failure));
}

void SimulatorProcess::forwardErrors()
{
    const QString text = QString::fromLocal8Bit(m_process.readAllStandardError());
    if (text.isEmpty())
        return;
    m_errors += text;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts))
        fprintf(stderr, "kvrctl700-devsim (stderr): %s\n", qPrintable(line));
    fflush(stderr);
}

void SimulatorProcess::endedByItself()
{
    if (!m_started || m_stopping)
        return;
    readOutput();
    forwardErrors();
    m_started = false;
    const std::optional<QString> failure = runFailure(m_process.exitStatus(), m_process.exitCode(), m_errors);
    qFatal("kvrctl700-devsim ended before it was stopped: %s",
           qPrintable(failure.value_or(QStringLiteral("exit status 0"))));
}

bool SimulatorProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool SimulatorProcess::printedSince(qsizetype from, const QString &text) const
{
    return std::any_of(m_lines.cbegin() + qMin(from, m_lines.size()), m_lines.cend(),
                       [&text](const QString &line) { return line.contains(text); });
}

void SimulatorProcess::readOutput()
{
    static const QRegularExpression timeStamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    m_partialLine += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partialLine.indexOf('\n')) >= 0) {
        QString line = QString::fromUtf8(m_partialLine.left(end));
        m_partialLine.remove(0, end + 1);
        line.remove(timeStamp);
        m_lines.append(line);
        emit linePrinted(line);
    }
}

} // namespace DevSim
