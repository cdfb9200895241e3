#include "planrun.h"

#include "command.h"
#include "network.h"
#include "resultlisting.h"

#include "commissioning/plancheck.h"
#include "commissioning/route.h"
#include "commissioning/verifiedwrite.h"
#include "protocol/conversions.h"

#include <QHostAddress>
#include <QTextStream>

namespace Cli {

namespace {

QString address(quint32 value)
{
    return QHostAddress(value).toString();
}

QString settingsText(const AddressCheck::Settings &settings)
{
    return QStringLiteral("%1/%2 gateway %3")
        .arg(address(settings.ip))
        .arg(AddressCheck::prefixLength(settings.mask))
        .arg(address(settings.gateway));
}

// "line 3: " for a plan, nothing for a single write.
QString where(const PlanFile::Row &row)
{
    return row.line > 0 ? QStringLiteral("line %1: ").arg(row.line) : QString();
}

} // namespace

PlanRun::PlanRun(Command &command)
    : m_command(command),
      m_dryRun(QStringLiteral("dry-run"), QStringLiteral("Searches and checks, and sends nothing.")),
      m_noVerify(QStringLiteral("no-verify"),
                 QStringLiteral("Sends the write and does not wait for the device to answer with the new settings.")),
      m_restartWait(QStringLiteral("restart-wait"),
                    QStringLiteral("Waits <ms> after a write before searching for the device (default %1): it "
                                   "restarts meanwhile.")
                        .arg(VerifiedWrite::DefaultRestartWaitMs),
                    QStringLiteral("ms"), QString::number(VerifiedWrite::DefaultRestartWaitMs)),
      m_verifyTimeout(QStringLiteral("verify-timeout"),
                      QStringLiteral("Then searches for it for at most <ms> (default %1).")
                          .arg(VerifiedWrite::DefaultVerifyTimeoutMs),
                      QStringLiteral("ms"), QString::number(VerifiedWrite::DefaultVerifyTimeoutMs)),
      m_format(QStringLiteral("format"), QStringLiteral("Writes the results as <format>: table (default) or json."),
               QStringLiteral("format"), QStringLiteral("table"))
{
    command.parser().addOptions({m_dryRun, m_noVerify, m_restartWait, m_verifyTimeout, m_format});
}

std::optional<int> PlanRun::readOptions()
{
    const std::optional<int> restartWait = m_command.intValue(m_restartWait, 0, 600000);
    const std::optional<int> verifyTimeout = m_command.intValue(m_verifyTimeout, 1, 600000);
    if (!restartWait || !verifyTimeout)
        return UsageError;
    m_restartWaitMs = *restartWait;
    m_verifyTimeoutMs = *verifyTimeout;
    const QString format = m_command.parser().value(m_format);
    if (format != QLatin1String("table") && format != QLatin1String("json"))
        return m_command.fail(UsageError, QStringLiteral("--format takes table or json, not \"%1\"").arg(format));
    m_json = format == QLatin1String("json");
    return std::nullopt;
}

int PlanRun::run(Network &network, const QList<PlanFile::Row> &rows)
{
    const std::optional<QList<FoundDevice>> found = network.search();
    if (!found)
        return m_command.fail(Environment, QStringLiteral("the search could not leave by any adapter"));
    const QList<PlanCheck::RowCheck> checks = PlanCheck::check(rows, *found, network.adapters());
    const bool refused = PlanCheck::refusesAny(checks);

    QList<ResultListing::Result> results;
    bool allDone = true;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlanFile::Row &row = rows.at(i);
        const PlanCheck::RowCheck &check = checks.at(i);
        const FoundDevice *device = findDevice(*found, row.mac);
        ResultListing::Result result{row.line, macBytesToText(row.mac),
                                     device ? QString::fromLatin1(device->reply.name) : QString(),
                                     address(row.settings.ip), address(row.settings.mask),
                                     address(row.settings.gateway), {}, {}};
        for (const QString &warning : check.warnings)
            m_command.warn(where(row) + warning);
        for (const QString &refusal : check.refusals)
            m_command.note(QStringLiteral("%1refused: %2").arg(where(row), refusal));

        switch (check.verdict) {
        case PlanCheck::Verdict::Refused:
            result.status = QStringLiteral("refused");
            result.detail = check.refusals.join(QLatin1String("; "));
            break;
        case PlanCheck::Verdict::AlreadyCorrect:
            result.status = QStringLiteral("already-correct");
            break;
        case PlanCheck::Verdict::NotFound:
            result.status = QStringLiteral("not-found");
            result.detail = QStringLiteral("no device with this MAC answered");
            break;
        case PlanCheck::Verdict::Write:
            if (refused) {
                result.status = QStringLiteral("not-sent");
                result.detail = QStringLiteral("the checks refused the plan");
            } else {
                write(network, row, *device, result);
            }
            break;
        }
        static const QStringList done{QStringLiteral("already-correct"), QStringLiteral("verified"),
                                      QStringLiteral("sent"), QStringLiteral("dry-run")};
        allDone = allDone && done.contains(result.status);
        results.append(result);
    }

    QTextStream(stdout) << (m_json ? ResultListing::json(results) : ResultListing::table(results));
    if (refused)
        return Refused;
    return allDone ? Done : NotDone;
}

void PlanRun::write(Network &network, const PlanFile::Row &row, const FoundDevice &device,
                    ResultListing::Result &result)
{
    const auto route = DeviceRoute::toDevice(device.settings().ip, device.interfaces, network.adapters());
    const QString how = route ? route->describe() : QStringLiteral("no route");
    if (m_command.parser().isSet(m_dryRun)) {
        result.status = QStringLiteral("dry-run");
        result.detail = QStringLiteral("now %1; the write would go by %2").arg(settingsText(device.settings()), how);
        return;
    }
    m_command.note(QStringLiteral("%1writing %2 to %3 \"%4\" (%5)")
                       .arg(where(row), settingsText(row.settings), result.mac, result.name, how));
    VerifiedWrite write(network.endpoint(), network.adapters(), device, row.settings,
                        {!m_command.parser().isSet(m_noVerify), m_restartWaitMs, m_verifyTimeoutMs,
                         m_command.searchOptions().quietMs});
    write.start();
    waitUntilFinished(write);
    result.status = WriteOutcome::name(write.outcome());
    switch (write.outcome()) {
    case WriteOutcome::Outcome::Verified:
    case WriteOutcome::Outcome::Sent:
        result.detail = QStringLiteral("by %1").arg(how);
        break;
    case WriteOutcome::Outcome::Mismatch:
        // Not every device restarts by itself after a write: one that still has its old settings
        // may only be waiting for a restart.
        if (*write.answered() == device.settings())
            result.detail = QStringLiteral("still answers with its previous settings %1: it refused the new ones, "
                                           "or has not restarted (restart it by hand if it does not by itself)")
                                .arg(settingsText(*write.answered()));
        else
            result.detail = QStringLiteral("answered with %1").arg(settingsText(*write.answered()));
        break;
    case WriteOutcome::Outcome::NotSeen:
        result.detail = QStringLiteral("no answer within %1 ms after the restart wait of %2 ms")
                            .arg(m_verifyTimeoutMs)
                            .arg(m_restartWaitMs);
        break;
    case WriteOutcome::Outcome::NotSent:
        result.detail = write.failure();
        break;
    }
}

} // namespace Cli
