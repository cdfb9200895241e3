#pragma once

#include "commissioning/writeoutcome.h"
#include "protocol/addresscheck.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

// What the main window does after a write of new settings went out: it leaves the device time to
// restart (it answers nothing meanwhile), then searches for it every little while until it answers
// (and for the quiet period after its first answer that counts, as kvrctl700-cli does: the engine's
// WriteOutcome judges the answers) or the time is up, and says in one message whether it took the
// settings. The window sends the
// searches (without emptying its list) and hands over every reply; a refresh or a new detail
// window by the user ends it without a word.
class WriteFollowUp : public QObject
{
    Q_OBJECT

public:
    explicit WriteFollowUp(QObject *parent = nullptr);

    // Before the first search, and from then on until the device is given up.
    void setTimeLimits(int restartWaitMs, int searchMs);

    // `previous`: the settings the device had before the write, when known. `warnings`: what the
    // address checks found worth a second look, told with the write and with an outcome that is
    // not the new settings.
    // `write`: the settings, and the way the write went.
    void start(const QByteArray &mac, const QString &deviceName, const WriteOutcome::Write &write,
               const std::optional<AddressCheck::Settings> &previous, const QStringList &warnings = {});
    void cancel();
    bool isRunning() const { return running; }

    // A reply the window received (its time is taken here). True when it is an answer of the
    // followed device that counts; replies before the first search are answers to something else.
    bool takeReply(const QByteArray &mac, const WriteOutcome::Answer &answer);

signals:
    void searchDue();
    // The text for the status bar: first that the window waits, then how it ended; the headline
    // is the part that fits one line of the window.
    void message(const QString &text, const QString &headline);

private:
    void beginSearching();
    void settle();
    void finish(WriteOutcome::Outcome outcome, const std::optional<AddressCheck::Settings> &answered);
    QString deviceText() const;
    QString withWarnings(const QString &text) const;
    QString differences(const AddressCheck::Settings &answered) const;

    QTimer restartTimer;
    QTimer searchTimer;
    QTimer giveUpTimer;
    QTimer settleTimer; // the quiet period after the first answer that counts
    QElapsedTimer clock;
    int restartWaitMs;
    int searchMs;
    QByteArray mac;
    QString deviceName;
    AddressCheck::Settings written;
    WriteOutcome::Write way;
    QList<WriteOutcome::Answer> answers;
    std::optional<AddressCheck::Settings> previous;
    QStringList warnings;
    bool running = false;
    bool searching = false;
};
