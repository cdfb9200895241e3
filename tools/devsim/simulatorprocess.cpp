#include "simulatorprocess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <csignal>
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

SimulatorProcess::SimulatorProcess(QObject *parent) : QObject(parent)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimulatorProcess::readOutput);
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
        const QString errors = QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
        stop();
        return QStringLiteral("the simulator did not start listening: %1").arg(errors);
    }
    if (std::optional<QString> failure = wireNetwork()) {
        stop();
        return failure;
    }
    return std::nullopt;
}

std::optional<QString> SimulatorProcess::wireNetwork()
{
    const QString tool = QString::fromLatin1(ToolAddress);
    const qint64 pid = m_process.processId();
    m_wired = true;
    if (auto failure = runIpBatch({QStringLiteral("link add kvrsim0 type veth peer name kvrsim1 netns %1").arg(pid),
                                   QStringLiteral("addr add %1/16 dev kvrsim0").arg(tool),
                                   QStringLiteral("link set kvrsim0 up"),
                                   QStringLiteral("route add default dev kvrsim0")}))
        return failure;
    if (auto failure = runIpBatch({QStringLiteral("link set lo up"),
                                   QStringLiteral("link set kvrsim1 up"),
                                   QStringLiteral("addr add 198.18.0.2/32 dev kvrsim1"),
                                   QStringLiteral("route add %1/32 dev kvrsim1").arg(tool),
                                   QStringLiteral("route add local 198.18.0.0/16 dev lo table main")},
                                  pid))
        return failure;

    // A veth end drops what it is given until the kernel has switched it on, a little after
    // "link set up" returns (later still on a busy machine).
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!(linkIsUp(QStringLiteral("kvrsim0")) && linkIsUp(QStringLiteral("kvrsim1"), pid))) {
        if (deadline.hasExpired())
            return QStringLiteral("the cable to the simulator did not come up");
        QThread::msleep(10);
    }
    return std::nullopt;
}

void SimulatorProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // The cable would go with the simulator's namespace, but only some time after it: removed
    // here, it is gone before the next start wires a new one.
    if (m_wired)
        runIpBatch({QStringLiteral("link del kvrsim0")});
    m_wired = false;
    if (m_process.state() == QProcess::Running)
        ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(StartTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(StartTimeoutMs);
    }
    readOutput();
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
