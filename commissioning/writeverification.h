#pragma once

#include "adapters.h"
#include "writeoutcome.h"

#include "protocol/frame.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class DeviceLink;
class SearchSession;

// Checks that devices took the settings written to them: one wait for their restart (they answer
// nothing meanwhile), then one search for all of their MACs, until each has given an answer that
// counts and the quiet period after it has passed, or the time is up. What the answers prove is
// WriteOutcome's to judge. The command-line program runs it after its writes, the window after the
// detail window's.
class WriteVerification : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRestartWaitMs = 2000;
    static constexpr int DefaultTimeoutMs = 30000;

    struct Options
    {
        int restartWaitMs = DefaultRestartWaitMs;
        int timeoutMs = DefaultTimeoutMs; // of the search
        int quietMs = 0; // of the search, and listened on after a device's first answer; 0: the search's default
    };

    struct Target
    {
        QByteArray mac;
        WriteOutcome::Write write;
    };

    WriteVerification(DeviceLink &link, const QList<Adapters::Adapter> &adapters, const QList<Target> &targets,
                      const Options &options, QObject *parent = nullptr);

    void start();
    // Ends it now: a device whose answers did not decide yet ends Sent, not NotSeen, as its time
    // was not up.
    void stop();
    // Restart wait and search: how long a device that never answers is waited for.
    int patienceMs() const { return m_options.restartWaitMs + m_options.timeoutMs; }

    // Of target `index`, once finished.
    WriteOutcome::Outcome outcome(qsizetype index) const;
    // What the device answered with, when it answered (the settings the outcome rests on).
    std::optional<AddressCheck::Settings> answered(qsizetype index) const;
    // Every different set of settings its answers gave (two or more for Conflict).
    QList<AddressCheck::Settings> heard(qsizetype index) const;

signals:
    // An answer of target `index` that counts, as it comes.
    void answerCounted(qsizetype index, const Frame::DeviceReply &reply, int interfaceIndex);
    void finished();

private:
    void search();
    void takeAnswer(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source);
    void settleWhenQuiet();
    int quietMs() const;
    void finish();

    DeviceLink &m_link;
    QList<Adapters::Adapter> m_adapters;
    QList<Target> m_targets;
    QList<QList<WriteOutcome::Answer>> m_answers;
    Options m_options;
    QTimer m_restartWait;
    QTimer m_settle;
    QElapsedTimer m_clock; // of the answers
    QPointer<SearchSession> m_search;
    bool m_stopped = false;
    bool m_finished = false;
};
