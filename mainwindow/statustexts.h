#pragma once

#include <QString>
#include <QStringList>

namespace DevicePort {
struct Opening;
}

// A message of the main window's status bar: the whole text, and the headline the line shows
// when the whole text is wider than the window.
struct StatusMessage
{
    QString text;
    QString headline;
};

// The main window's own messages: problems with the port and the search, and a full list.
namespace StatusTexts {

// Why the device port could not be opened, and what to do; `programPath` is the program to grant
// the port right to. Empty for a bound port.
StatusMessage portProblem(const DevicePort::Opening &opening, const QString &programPath);
// The same in English for the logs, so that a refused window says so there too. Empty for a bound
// port.
QString portProblemLogLine(const DevicePort::Opening &opening, const QString &programPath);
// The search left by no adapter, while the port is open.
StatusMessage searchNotSent();
StatusMessage searchPartlySent(const QStringList &failedAdapters);
StatusMessage listFull(int rows);

} // namespace StatusTexts
