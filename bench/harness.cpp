#include "harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace Bench {

namespace {
void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

Measurement fromSamples(QList<double> nsPerOp)
{
    if (nsPerOp.isEmpty())
        return {};
    std::sort(nsPerOp.begin(), nsPerOp.end());
    return {nsPerOp.first(), nsPerOp.at(nsPerOp.size() / 2)};
}

Measurement measure(int rounds, qint64 opsPerRound, const std::function<void()> &round)
{
    QList<double> samples;
    QElapsedTimer timer;
    round(); // warm-up: caches, lazy allocations
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        round();
        samples.append(double(timer.nsecsElapsed()) / double(opsPerRound));
    }
    return fromSamples(samples);
}

void printRate(const char *name, const Measurement &m, const char *unit)
{
    std::printf("%-44s %8.3f M %s/s  (%.0f ns each; median %.0f ns)\n", name, m.perSecond() / 1e6, unit,
                m.bestNs, m.medianNs);
    std::fflush(stdout);
}

void printLine(const QString &text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

QString machineDescription()
{
    QString cpu = QStringLiteral("unknown CPU");
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        // A /proc file reports size 0: read it whole rather than up to its "end".
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    return QStringLiteral("%1 CPUs (nproc), %2, Qt %3").arg(QThread::idealThreadCount()).arg(cpu, QString::fromLatin1(qVersion()));
}

QuietTraces::QuietTraces() : m_previous(qInstallMessageHandler(discardMessage)) {}

QuietTraces::~QuietTraces()
{
    qInstallMessageHandler(m_previous);
}

} // namespace Bench
