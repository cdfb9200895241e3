#pragma once

#include "adapters.h"
#include "founddevice.h"
#include "route.h"
#include "writeverification.h"

#include "protocol/devicelink.h"

#include <QObject>
#include <QPointer>

// Writes new IPv4 settings to a group of devices found by a search, then has WriteVerification
// check that they took them: the write frames go back to back, in the order given, and the devices
// restart together.
class VerifiedWrite : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        bool verify = true;
        WriteVerification::Options verification;
    };

    struct Target
    {
        FoundDevice device;
        AddressCheck::Settings settings;
    };

    // Why the frame of a target did not leave.
    enum class NotSentReason {
        None,
        Interrupted, // holdBack() or stop() came first
        NoRoute,     // the device answered on none of the adapters in use
        SendFailed,  // the link refused it: sendFailure() says why
    };

    VerifiedWrite(DeviceLink &link, const QList<Adapters::Adapter> &adapters, const QList<Target> &targets,
                  const Options &options, QObject *parent = nullptr);

    // Sends every write frame (frameSent() for each that left), then verifies.
    void start();
    // Sends no further frame (those not yet sent end NotSent, Interrupted); the writes already
    // sent are verified as usual. For a frameSent() handler that learns it must stop.
    void holdBack() { m_heldBack = true; }
    // Ends the verification now (see WriteVerification::stop()). No frame leaves after this.
    void stop();
    bool isFinished() const { return m_finished; }
    // True when the verification was cut short by stop().
    bool wasStopped() const { return m_stopped; }

    // Of target `index`, once finished.
    WriteOutcome::Outcome outcome(qsizetype index) const;
    std::optional<AddressCheck::Settings> answered(qsizetype index) const;
    QList<AddressCheck::Settings> heard(qsizetype index) const;
    NotSentReason notSentReason(qsizetype index) const { return m_results.at(index).notSent; }
    DeviceLink::SendFailure sendFailure(qsizetype index) const { return m_results.at(index).sendFailure; }
    // The system's words for a NetworkError.
    QString sendError(qsizetype index) const { return m_results.at(index).sendError; }

signals:
    // The write frame of target `index` has left, by `route`.
    void frameSent(qsizetype index, const DeviceRoute::Route &route);
    void finished();

private:
    struct Result
    {
        qsizetype verified = -1; // its place among the verification's targets; -1: its frame did not leave
        NotSentReason notSent = NotSentReason::None;
        DeviceLink::SendFailure sendFailure = DeviceLink::SendFailure::None;
        QString sendError;
    };

    void finish();

    DeviceLink &m_link;
    QList<Adapters::Adapter> m_adapters;
    QList<Target> m_targets;
    Options m_options;
    QPointer<WriteVerification> m_verification;
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
