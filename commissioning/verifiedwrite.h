#pragma once

#include "adapters.h"
#include "founddevice.h"
#include "route.h"
#include "writeoutcome.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class DeviceEndpoint;
class SearchSession;

// Writes new IPv4 settings to a group of devices found by a search, then checks that they took
// them: the write frames go back to back, in the order given; then one wait for the restart (the
// devices restart together) and one search for all of their MACs, until each has answered and the
// quiet period after its first answer that counts has passed, or the time is up. What the answers
// prove is WriteOutcome's to judge.
class VerifiedWrite : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRestartWaitMs = 2000;
    static constexpr int DefaultVerifyTimeoutMs = 30000;

    struct Options
    {
        bool verify = true;
        int restartWaitMs = DefaultRestartWaitMs;     // before the first search: they answer nothing meanwhile
        int verifyTimeoutMs = DefaultVerifyTimeoutMs; // then searched for this long
        int quietMs = 0; // of the searches, and listened on after a device's first answer; 0: the search's default
    };

    struct Target
    {
        FoundDevice device;
        AddressCheck::Settings settings;
    };

    VerifiedWrite(DeviceEndpoint &endpoint, const QList<Adapters::Adapter> &adapters, const QList<Target> &targets,
                  const Options &options, QObject *parent = nullptr);

    // Sends every write frame (frameSent() for each that left), then verifies.
    void start();
    // Sends no further frame (those not yet sent end NotSent, "interrupted"); the writes already
    // sent are verified as usual. For a frameSent() handler that learns it must stop.
    void holdBack() { m_heldBack = true; }
    // Ends the verification now: a device that left no answer yet ends Sent, not NotSeen, as its
    // time was not up. No frame leaves after this.
    void stop();
    bool isFinished() const { return m_finished; }

    // Of target `index`, once finished.
    WriteOutcome::Outcome outcome(qsizetype index) const { return m_results.at(index).outcome; }
    // What the device answered with after the write, when it answered.
    std::optional<AddressCheck::Settings> answered(qsizetype index) const
    {
        return WriteOutcome::deciding(m_results.at(index).answers, m_results.at(index).write);
    }
    // Every different set of settings its answers gave (two or more for Conflict).
    QList<AddressCheck::Settings> heard(qsizetype index) const
    {
        return WriteOutcome::heard(m_results.at(index).answers, m_results.at(index).write);
    }
    // Why the frame did not leave, for NotSent.
    QString failure(qsizetype index) const { return m_results.at(index).failure; }
    // True when the verification was cut short by stop().
    bool wasStopped() const { return m_stopped; }

signals:
    // The write frame of target `index` has left, by `route`.
    void frameSent(qsizetype index, const DeviceRoute::Route &route);
    void finished();

private:
    struct Result
    {
        bool left = false;
        WriteOutcome::Write write;
        WriteOutcome::Outcome outcome = WriteOutcome::Outcome::NotSent;
        QList<WriteOutcome::Answer> answers;
        QString failure;
    };

    void searchForDevices();
    void takeAnswer(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source);
    void settleWhenQuiet();
    int quietMs() const;
    void finish();

    DeviceEndpoint &m_endpoint;
    QList<Adapters::Adapter> m_adapters;
    QList<Target> m_targets;
    Options m_options;
    QTimer m_restartWait;
    QTimer m_settle;
    QElapsedTimer m_clock; // of the answers
    QPointer<SearchSession> m_search;
    QList<Result> m_results;
    bool m_heldBack = false;
    bool m_stopped = false;
    bool m_finished = false;
};

// The values of the write frame that gives the device these settings: addressed to its MAC, which
// stays, under the name it reported, byte for byte (padded with blanks to 16), so that a write
// never renames a device.
Frame::WriteValues writeValuesFor(const Frame::DeviceReply &device, const AddressCheck::Settings &settings);

// The groups in which a plan's writes go out, as positions in the list of writes (plan order): the
// first write alone, so that a route or a setting that does not work costs one device; then the
// rest `batchSize` at a time, 0 meaning all together. Each group is verified before the next is
// sent.
QList<QList<qsizetype>> writeGroups(qsizetype writes, int batchSize);
