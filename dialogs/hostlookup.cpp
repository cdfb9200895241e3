#include "dialogs/hostlookup.h"

#include <QRegularExpression>

#include <algorithm>

namespace HostLookup {

QString hostNameFromEnvironment(const QStringList &environment)
{
    static const char *const patterns[] = {"USERNAME.*", "USER.*", "USERDOMAIN.*", "HOSTNAME.*",
                                           "DOMAINNAME.*"};
    for (const char *pattern : patterns) {
        // "." also matches a line break, so a value that spans lines still matches as a whole.
        const QRegularExpression wholeEntry(
            QRegularExpression::anchoredPattern(QLatin1String(pattern)),
            QRegularExpression::DotMatchesEverythingOption);
        const auto entry = std::find_if(environment.cbegin(), environment.cend(),
                                        [&](const QString &e) { return wholeEntry.match(e).hasMatch(); });
        if (entry == environment.cend())
            continue;
        // Only this first entry counts for the pattern, even when it does not give a name.
        const QStringList parts = entry->split(QLatin1Char('='), Qt::KeepEmptyParts);
        if (parts.size() == 2)
            return parts.at(1);
    }
    return QStringLiteral("unknown");
}

QString firstIpv4Address(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString();
    }
    return QString();
}

QString firstHardwareAddress(const QStringList &hardwareAddresses)
{
    return hardwareAddresses.value(0);
}

} // namespace HostLookup
