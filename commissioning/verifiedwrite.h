#pragma once

#include "adapters.h"
#include "founddevice.h"
#include "writeoutcome.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class DeviceEndpoint;
class SearchSession;

// Writes new IPv4 settings to one device found by a search, then checks that it took them: waits
// for its restart, searches for its MAC until it answers or the time is up, and compares.
class VerifiedWrite : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRestartWaitMs = 2000;
    static constexpr int DefaultVerifyTimeoutMs = 30000;

    struct Options
    {
        bool verify = true;
        int restartWaitMs = DefaultRestartWaitMs;     // before the first search: it answers nothing meanwhile
        int verifyTimeoutMs = DefaultVerifyTimeoutMs; // then searched for this long
        int quietMs = 0;                               // of the searches; 0: the search's default
    };

    VerifiedWrite(DeviceEndpoint &endpoint, const QList<Adapters::Adapter> &adapters, const FoundDevice &device,
                  const AddressCheck::Settings &settings, const Options &options, QObject *parent = nullptr);

    void start();
    bool isFinished() const { return m_finished; }

    WriteOutcome::Outcome outcome() const { return m_outcome; }
    // What the device answered with after the write, when it answered.
    std::optional<AddressCheck::Settings> answered() const { return m_answered; }
    // Why the frame did not leave, for NotSent.
    QString failure() const { return m_failure; }

signals:
    void finished();

private:
    void searchForDevice();
    void finish(WriteOutcome::Outcome outcome);

    DeviceEndpoint &m_endpoint;
    QList<Adapters::Adapter> m_adapters;
    FoundDevice m_device;
    AddressCheck::Settings m_settings;
    Options m_options;
    QTimer m_restartWait;
    QPointer<SearchSession> m_search;
    WriteOutcome::Outcome m_outcome = WriteOutcome::Outcome::NotSent;
    std::optional<AddressCheck::Settings> m_answered;
    QString m_failure;
    bool m_finished = false;
};

// The values of the write frame that gives the device these settings: addressed to its MAC, which
// stays, under the name it reported, byte for byte (padded with blanks to 16), so that a write
// never renames a device.
Frame::WriteValues writeValuesFor(const Frame::DeviceReply &device, const AddressCheck::Settings &settings);
