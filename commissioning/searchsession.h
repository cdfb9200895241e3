#pragma once

#include "adapters.h"
#include "founddevice.h"

#include "protocol/devicelink.h"

#include <QObject>
#include <QTimer>

// One search frame out of each adapter, as a broadcast pinned to it; with no adapter, one out of
// the adapter the routing table chooses. The window's refresh is one round; a SearchSession sends
// several.
struct SearchRound
{
    struct Failure
    {
        QString adapterName; // empty for the routing table's choice
        DeviceLink::SendFailure failure = DeviceLink::SendFailure::None;
        QString systemError; // the system's words for a NetworkError
    };
    int sent = 0; // frames that left
    QList<Failure> failures;
};
SearchRound sendSearchRound(DeviceLink &link, const QList<Adapters::Adapter> &adapters);

// One search over several adapters: the search frame goes out of every adapter in rounds, and the
// replies are merged by MAC.
//
// A round is over once no reply has come for the quiet period. The next round starts at once; the
// search ends after a round that brought no device not seen before, but not before the minimum
// number of rounds, and in any case at the deadline. When all devices answer within a few
// milliseconds, a search therefore takes little more than rounds x quiet period; a device that is
// slow to answer shows up in a later round, is new there, and keeps the search going. With nothing
// found at all, the search listens on until the deadline (slow devices, or none). Looking for some
// devices only (the verification of a write), the search goes on until stop() or the deadline,
// its rounds going out at most every TargetRoundMs, for a device that is still restarting.
class SearchSession : public QObject
{
    Q_OBJECT

public:
    // 5 rounds: with 5 % of replies lost, a device is missed by all of them once in 3 million
    // searches (by 3 rounds once in 8000), so that 127 devices are listed whole in all but 1
    // search of 25000 (3 rounds: 1 of 63). 50 ms of quiet give a device that long to answer
    // (simulated ones answer within 4 ms), and 5 rounds of them end a search of 127 devices in a
    // quarter of a second (docs/performance.md).
    static constexpr int DefaultRounds = 5;
    static constexpr int DefaultQuietMs = 50;
    static constexpr int DefaultTimeoutMs = 2000;
    static constexpr int TargetRoundMs = 250;
    // Far above any plant (the window lists 127), and low enough that a flood of made-up replies
    // cannot grow the list without end.
    static constexpr int DefaultMaxDevices = 1024;

    struct Options
    {
        int rounds = DefaultRounds;
        int quietMs = DefaultQuietMs;
        int timeoutMs = DefaultTimeoutMs;
        QList<QByteArray> onlyMacs; // look for these devices only; empty: for every device
        int maxDevices = DefaultMaxDevices; // listed at most; replies of devices not listed are dropped after that
    };

    // With no adapter, the search goes the way the routing table chooses and takes replies from any.
    SearchSession(DeviceLink &link, const QList<Adapters::Adapter> &adapters, const Options &options,
                  QObject *parent = nullptr);

    void start();
    // Ends the search now (finished() follows), for a caller that has heard enough.
    void stop() { finish(); }
    bool isFinished() const { return m_finished; }

    const QList<FoundDevice> &devices() const { return m_devices; }
    int roundsSent() const { return m_round; }
    // Adapters that could not send the search frame, with the reason; the others went on without them.
    const QList<SearchRound::Failure> &failedAdapters() const { return m_failed; }
    // True when at least one search frame left.
    bool anySent() const { return m_anySent; }
    // True when the list was full and a device not on it answered: the search stopped listening to new devices.
    bool deviceLimitReached() const { return m_limitReached; }

signals:
    // Each reply the search takes, as it comes.
    void replyTaken(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source);
    void finished();

private:
    void startRound();
    void takeReply(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source);
    void roundWentQuiet();
    void finish();
    bool hasFailed(const Adapters::Adapter &adapter) const;

    DeviceLink &m_link;
    QList<Adapters::Adapter> m_adapters;
    Options m_options;
    QTimer m_quiet;
    QTimer m_deadline;
    QList<FoundDevice> m_devices;
    QList<SearchRound::Failure> m_failed;
    int m_round = 0;
    bool m_newInRound = false;
    bool m_anySent = false;
    bool m_finished = false;
    bool m_limitReached = false;
};
