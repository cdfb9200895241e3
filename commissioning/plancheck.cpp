#include "plancheck.h"

#include "hostnetwork.h"

#include <QHash>

#include <algorithm>

namespace PlanCheck {

QList<Repeat> repeats(const QList<PlanFile::Row> &rows)
{
    QHash<QByteArray, int> macs;       // MAC -> the first line with it
    QHash<quint32, qsizetype> ips;     // IP address -> the first row with it
    macs.reserve(rows.size());
    ips.reserve(rows.size());
    QList<Repeat> found;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlanFile::Row &row = rows.at(i);
        const auto mac = macs.constFind(row.mac);
        const auto ip = ips.constFind(row.settings.ip);
        if (mac != macs.cend())
            found.append({Repeat::What::Mac, row.line, *mac, row.mac, row.settings.ip});
        else if (ip != ips.cend())
            found.append({Repeat::What::Ip, row.line, rows.at(*ip).line, rows.at(*ip).mac, row.settings.ip});
        if (mac == macs.cend())
            macs.insert(row.mac, row.line);
        if (ip == ips.cend())
            ips.insert(row.settings.ip, i);
    }
    return found;
}

QList<RowCheck> check(const QList<PlanFile::Row> &rows, const QList<FoundDevice> &found,
                      const QList<Adapters::Adapter> &adapters)
{
    QList<RowCheck> checks;
    checks.reserve(rows.size());
    AddressCheck::Context context = searchContext(found, adapters);
    for (const PlanFile::Row &row : rows) {
        RowCheck result;
        const FoundDevice *device = findDevice(found, row.mac);
        const bool alreadyCorrect = device && device->settings() == row.settings;
        // Nothing is sent for a device that has its settings already: only the plan itself counts.
        if (!alreadyCorrect) {
            context.deviceMac = row.mac;
            for (const AddressCheck::Finding &finding : AddressCheck::check(row.settings, context))
                (finding.isRefusal() ? result.refusals : result.warnings).append(finding);
        }

        if (!result.refusals.isEmpty())
            result.verdict = Verdict::Refused;
        else if (alreadyCorrect)
            result.verdict = Verdict::AlreadyCorrect;
        else if (!device)
            result.verdict = Verdict::NotFound;
        checks.append(result);
    }
    return checks;
}

bool refusesAny(const QList<RowCheck> &checks)
{
    return std::any_of(checks.cbegin(), checks.cend(),
                       [](const RowCheck &check) { return check.verdict == Verdict::Refused; });
}

} // namespace PlanCheck
