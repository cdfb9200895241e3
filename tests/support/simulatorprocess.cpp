#include "simulatorprocess.h"

#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace DevSim {

namespace {

constexpr int StartTimeoutMs = 10000;

// Runs `ip` with the given arguments and input, in the namespace of `pid` when one is given; its
// output, or nothing when it failed (the reason in `error`).
std::optional<QByteArray> runIp(const QStringList &arguments, const QByteArray &input = {}, qint64 pid = 0,
                                QString *error = nullptr)
{
    QProcess ip;
    const QStringList inNamespace{u"--target"_s, QString::number(pid), u"--net"_s, u"ip"_s};
    ip.start(pid > 0 ? u"nsenter"_s : u"ip"_s, (pid > 0 ? inNamespace : QStringList()) + arguments);
    ip.write(input);
    ip.closeWriteChannel();
    if (ip.waitForFinished(StartTimeoutMs) && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0)
        return ip.readAllStandardOutput();
    if (error)
        *error = QString::fromLocal8Bit(ip.readAllStandardError()).trimmed();
    return std::nullopt;
}

std::optional<QString> runIpBatch(const QStringList &commands, qint64 pid = 0)
{
    QString error;
    if (runIp({u"-batch"_s, u"-"_s}, commands.join(u'\n').toUtf8() + '\n', pid, &error))
        return std::nullopt;
    return u"ip -batch failed (%1): %2"_s.arg(commands.join("; "_L1), error);
}

bool linkIsUp(const QString &name, qint64 pid = 0)
{
    return runIp({u"-o"_s, u"link"_s, u"show"_s, u"dev"_s, name}, {}, pid).value_or(QByteArray()).contains(" state UP ");
}

} // namespace

QString SimulatorCable::toolAddress() const
{
    return u"198.%1.0.1"_s.arg(18 + number);
}

QString SimulatorCable::interfaceName() const
{
    return u"kvrsim%1"_s.arg(number);
}

std::optional<QString> runFailure(QProcess::ExitStatus status, int exitCode, const QString &errorOutput)
{
    static const QRegularExpression report(
        u"ERROR: (Address|Leak|Thread|Memory|UndefinedBehavior)Sanitizer|runtime error: "_s);
    if (const QRegularExpressionMatch match = report.match(errorOutput); match.hasMatch())
        return u"sanitizer report: %1"_s.arg(errorOutput.mid(match.capturedStart()).section(u'\n', 0, 0));
    if (status == QProcess::CrashExit)
        return u"it crashed"_s;
    if (exitCode != 0)
        return u"it exited with status %1"_s.arg(exitCode);
    return std::nullopt;
}

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
        return u"the simulator is already running"_s;
    m_lines.clear();
    m_partialLine.clear();
    m_errors.clear();
    m_started = false;
    m_stopping = false;
    // unshare makes the namespace and then becomes the simulator: its process id is the simulator's.
    m_process.start(u"unshare"_s, QStringList{u"--net"_s, u"--"_s, program} + arguments);
    if (!m_process.waitForStarted(StartTimeoutMs))
        return u"cannot start unshare: %1"_s.arg(m_process.errorString());

    // The socket is bound once it says so; the network can be wired in afterwards.
    if (!QTest::qWaitFor([this] { return !isRunning() || printedSince(0, u"listening on "_s); }, StartTimeoutMs)
        || !isRunning()) {
        stop();
        forwardErrors();
        return u"the simulator did not start listening: %1"_s.arg(m_errors.trimmed());
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
    const QString there = u"kvrdev%1"_s.arg(m_cable.number);
    const QString subnet = u"198.%1.0.0/16"_s.arg(18 + m_cable.number);
    const qint64 pid = m_process.processId();
    m_wired = true;
    QStringList hereCommands{u"link add %1 type veth peer name %2 netns %3"_s.arg(here, there).arg(pid),
                             u"addr add %1/16 dev %2"_s.arg(tool, here),
                             u"link set %1 up"_s.arg(here)};
    if (m_cable.defaultRoute)
        hereCommands.append(u"route add default dev %1"_s.arg(here));
    if (auto failure = runIpBatch(hereCommands))
        return failure;
    if (auto failure = runIpBatch({u"link set lo up"_s,
                                   u"link set %1 up"_s.arg(there),
                                   u"addr add 198.%1.0.2/32 dev %2"_s.arg(18 + m_cable.number).arg(there),
                                   u"route add %1/32 dev %2"_s.arg(tool, there),
                                   u"route add local %1 dev lo table main"_s.arg(subnet)},
                                  pid))
        return failure;

    // A veth end drops what it is given until the kernel has switched it on, a little after
    // "link set up" returns (later still on a busy machine).
    if (!QTest::qWaitFor([&] { return linkIsUp(here) && linkIsUp(there, pid); }, StartTimeoutMs))
        return u"the cable to the simulator did not come up"_s;
    return std::nullopt;
}

void SimulatorProcess::stop()
{
    // The cable would go with the simulator's namespace, but only some time after it: removed
    // here, it is gone before the next start wires a new one.
    if (m_wired)
        runIpBatch({u"link del %1"_s.arg(m_cable.interfaceName())});
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
           qPrintable(failure.value_or(u"exit status 0"_s)));
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
    static const QRegularExpression timeStamp(u"^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "_s);
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
