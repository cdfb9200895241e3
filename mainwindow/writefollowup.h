#pragma once

#include "commissioning/adapters.h"
#include "commissioning/writeverification.h"
#include "protocol/addresscheck.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

class DeviceLink;

// What the main window does after a write of new settings went out: the engine's WriteVerification,
// as kvrctl700-cli runs it, over the window's socket, told in the window's words: first that the
// window waits for the device, then in one message whether it took the settings. A refresh or a new
// detail window by the user ends it without a word.
class WriteFollowUp : public QObject
{
    Q_OBJECT

public:
    explicit WriteFollowUp(DeviceLink &link, QObject *parent = nullptr);

    // Before the first search, and from then on until the device is given up.
    void setTimeLimits(int restartWaitMs, int searchMs);

    // `write`: the settings, and the way the write went. `previous`: the settings the device had
    // before the write, when known. `warnings`: what the address checks found worth a second look,
    // told with the write and with an outcome that is not the new settings.
    void start(const QByteArray &mac, const QString &deviceName, const WriteOutcome::Write &write,
               const std::optional<AddressCheck::Settings> &previous, const QList<Adapters::Adapter> &adapters,
               const QStringList &warnings = {});
    void cancel();
    bool isRunning() const { return verification != nullptr; }

signals:
    // An answer of the device that counts, for its row in the list.
    void deviceAnswered(const Frame::DeviceReply &reply, int interfaceIndex);
    // The text for the status bar; the headline is the part that fits one line of the window.
    void message(const QString &text, const QString &headline);

private:
    void finish();
    QString deviceText() const;
    QString withWarnings(const QString &text) const;
    QString differences(const AddressCheck::Settings &answered) const;

    DeviceLink &link;
    WriteVerification::Options times;
    QPointer<WriteVerification> verification;
    QByteArray mac;
    QString deviceName;
    AddressCheck::Settings written;
    std::optional<AddressCheck::Settings> previous;
    QStringList warnings;
};
