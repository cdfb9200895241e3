#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

// A plain timing harness: a measured round is repeated and the best and median times per
// operation are kept, so that a stray scheduling hiccup does not become the figure.
namespace Bench {

struct Measurement
{
    double bestNs = 0;   // per operation, fastest round
    double medianNs = 0; // per operation, median round

    double perSecond() const { return bestNs > 0 ? 1e9 / bestNs : 0; }
};

// Runs round() `rounds` times; each round performs `opsPerRound` operations.
Measurement measure(int rounds, qint64 opsPerRound, const std::function<void()> &round);

// Per-round timings measured elsewhere (nanoseconds per operation), reduced the same way.
Measurement fromSamples(QList<double> nsPerOp);
// The median of any figures (0 for none), as fromSamples() takes it.
inline double median(const QList<double> &values)
{
    return fromSamples(values).medianNs;
}

// "name ......  2.31 M/s  (433 ns each; median 441 ns)"
void printRate(const char *name, const Measurement &m, const char *unit);
void printLine(const QString &text);

// nproc, the CPU model and the Qt version, for the record.
QString machineDescription();

// Silences qDebug (the endpoint traces every datagram) while it lives.
class QuietTraces
{
public:
    QuietTraces();
    ~QuietTraces();
    QuietTraces(const QuietTraces &) = delete;
    QuietTraces &operator=(const QuietTraces &) = delete;

private:
    QtMessageHandler m_previous;
};

} // namespace Bench
