#include "planrun.h"

#include "command.h"
#include "network.h"
#include "resultlisting.h"
#include "textformats.h"

#include "commissioning/plancheck.h"
#include "commissioning/route.h"
#include "commissioning/terminationsignal.h"
#include "protocol/conversions.h"

#include <QCoreApplication>

namespace Cli {

namespace {

using AddressCheck::settingsText;

// "line 3: " for a plan, nothing for a single write.
QString where(const PlanFile::Row &row)
{
    return row.line > 0 ? QStringLiteral("line %1: ").arg(row.line) : QString();
}

// "line 3 (02:4B:56:10:00:01)" for a plan, the MAC for a single write.
QString rowName(const ResultListing::Result &result)
{
    return result.line > 0 ? QStringLiteral("line %1 (%2)").arg(result.line).arg(result.mac) : result.mac;
}

const QString HeldBackByASignal = QStringLiteral("interrupted before its write was sent");

QString notSentText(const VerifiedWrite &write, qsizetype index)
{
    switch (write.notSentReason(index)) {
    case VerifiedWrite::NotSentReason::Interrupted:
        return HeldBackByASignal;
    case VerifiedWrite::NotSentReason::NoRoute:
        return QStringLiteral("the device answered on none of the adapters in use");
    case VerifiedWrite::NotSentReason::SendFailed:
    case VerifiedWrite::NotSentReason::None:
        break;
    }
    return sendFailureText(write.sendFailure(index), write.sendError(index));
}

} // namespace

PlanRun::PlanRun(Command &command)
    : m_command(command),
      m_dryRun(QStringLiteral("dry-run"), QStringLiteral("Searches and checks, and sends nothing.")),
      m_noVerify(QStringLiteral("no-verify"),
                 QStringLiteral("Sends the writes and does not wait for the devices to answer with the new settings "
                                "(the rows after the first then follow it unverified).")),
      m_restartWait(QStringLiteral("restart-wait"),
                    QStringLiteral("Waits <ms> after a write before searching for the device (default %1): it "
                                   "restarts meanwhile.")
                        .arg(WriteVerification::DefaultRestartWaitMs),
                    QStringLiteral("ms"), QString::number(WriteVerification::DefaultRestartWaitMs)),
      m_verifyTimeout(QStringLiteral("verify-timeout"),
                      QStringLiteral("Then searches for it for at most <ms> (default %1).")
                          .arg(WriteVerification::DefaultTimeoutMs),
                      QStringLiteral("ms"), QString::number(WriteVerification::DefaultTimeoutMs)),
      m_batchSize(QStringLiteral("batch-size"),
                  QStringLiteral("After the first write, verified alone, writes the other rows <n> at a time, each "
                                 "group verified before the next is sent (default: all together; 1: one by one)."),
                  QStringLiteral("n")),
      m_format(QStringLiteral("format"),
               QStringLiteral("Writes the results as <format>: table (default), json, or jsonl (one JSON object "
                              "per line as each write leaves and each row ends, then a summary)."),
               QStringLiteral("format"), QStringLiteral("table"))
{
    command.parser().addOptions({m_dryRun, m_noVerify, m_restartWait, m_verifyTimeout, m_batchSize, m_format});
}

QString PlanRun::statusHelp()
{
    // The meanings wrapped to 80 columns, under each other.
    constexpr int Indent = 19;
    QString help = QStringLiteral("\n\nEach row ends with one status:");
    for (const auto &[word, meaning] : ResultListing::statusWords()) {
        QString line = QStringLiteral("  %1  ").arg(word.leftJustified(Indent - 4));
        for (const QString &piece : meaning.split(u' ')) {
            if (line.size() + 1 + piece.size() > 80 && line.size() > Indent) {
                help += u'\n' + line;
                line = QString(Indent, u' ');
            }
            line += (line.size() > Indent ? QStringLiteral(" ") : QString()) + piece;
        }
        help += u'\n' + line;
    }
    return help;
}

std::optional<int> PlanRun::readOptions()
{
    const QString format = m_command.parser().value(m_format);
    if (format == QLatin1String("json"))
        m_formatValue = Format::Json;
    else if (format == QLatin1String("jsonl"))
        m_formatValue = Format::Jsonl;
    else if (format != QLatin1String("table"))
        return m_command.fail(UsageError, QStringLiteral("--format takes table, json or jsonl, not \"%1\"").arg(format));
    const std::optional<int> restartWait = m_command.intValue(m_restartWait, 0, 600000);
    const std::optional<int> verifyTimeout = m_command.intValue(m_verifyTimeout, 1, 600000);
    if (!restartWait || !verifyTimeout)
        return UsageError;
    m_restartWaitMs = *restartWait;
    m_verifyTimeoutMs = *verifyTimeout;
    if (m_command.parser().isSet(m_batchSize)) {
        const std::optional<int> batchSize = m_command.intValue(m_batchSize, 1, 100000);
        if (!batchSize)
            return UsageError;
        m_batchSizeValue = *batchSize;
    }
    if (!onTerminationSignal(QCoreApplication::instance(), [this] { interrupt(); }))
        m_command.warn(QStringLiteral("Ctrl-C cannot be caught here: an interrupted run would leave no results"));
    return std::nullopt;
}

int PlanRun::run(Network &network, const QList<PlanFile::Row> &rows)
{
    m_network = &network;
    m_results.clear();
    for (const PlanFile::Row &row : rows) {
        m_results.append({row.line, macBytesToText(row.mac), QString(), ipv4Text(row.settings.ip),
                          ipv4Text(row.settings.mask), ipv4Text(row.settings.gateway), ResultListing::Status::NotSent,
                          QStringLiteral("interrupted before the search ended"), std::nullopt});
    }
    const std::optional<QList<FoundDevice>> found = network.search();
    m_network = nullptr;
    if (!found)
        return m_command.fail(Environment, QStringLiteral("the search could not leave by any adapter"),
                              QStringLiteral("send-failed"));
    if (terminationSignalsReceived() > 0) {
        for (qsizetype i = 0; i < rows.size(); ++i)
            settle(i);
        return finish(Interrupted);
    }

    const QList<PlanCheck::RowCheck> checks = PlanCheck::check(rows, *found, network.adapters());
    const bool refused = PlanCheck::refusesAny(checks);
    const bool dryRun = m_command.parser().isSet(m_dryRun);
    QList<qsizetype> writes; // rows to write, in plan order
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const PlanFile::Row &row = rows.at(i);
        const PlanCheck::RowCheck &check = checks.at(i);
        const FoundDevice *device = findDevice(*found, row.mac);
        ResultListing::Result &result = m_results[i];
        result.detail.clear();
        if (device) {
            const AddressCheck::Settings before = device->settings();
            result.name = QString::fromLatin1(device->reply.name);
            result.before = ResultListing::Settings{ipv4Text(before.ip), ipv4Text(before.mask), ipv4Text(before.gateway)};
        }
        for (const AddressCheck::Finding &warning : check.warnings)
            m_command.warn(where(row) + AddressCheck::describe(warning, row.settings));
        QStringList refusals;
        for (const AddressCheck::Finding &refusal : check.refusals) {
            refusals.append(AddressCheck::describe(refusal, row.settings));
            m_command.note(QStringLiteral("%1refused: %2").arg(where(row), refusals.last()));
        }

        switch (check.verdict) {
        case PlanCheck::Verdict::Refused:
            result.status = ResultListing::Status::Refused;
            result.detail = refusals.join(QLatin1String("; "));
            break;
        case PlanCheck::Verdict::AlreadyCorrect:
            result.status = ResultListing::Status::AlreadyCorrect;
            break;
        case PlanCheck::Verdict::NotFound:
            result.status = ResultListing::Status::NotFound;
            result.detail = QStringLiteral("no device with this MAC answered");
            break;
        case PlanCheck::Verdict::Write:
            if (refused) {
                result.status = ResultListing::Status::NotSent;
                result.detail = QStringLiteral("the checks refused the plan");
            } else if (dryRun) {
                const auto route = DeviceRoute::toDevice(*device, network.adapters());
                result.status = ResultListing::Status::DryRun;
                result.detail = QStringLiteral("now %1; the write would go by %2")
                                    .arg(settingsText(device->settings()),
                                         route ? route->describe() : QStringLiteral("no route"));
            } else {
                writes.append(i);
                continue; // settled once written
            }
            break;
        }
        settle(i);
    }

    QString holdReason; // why the groups still to come are not sent
    const QList<QList<qsizetype>> groups = writeGroups(writes.size(), m_batchSizeValue);
    for (qsizetype g = 0; g < groups.size(); ++g) {
        QList<qsizetype> group;
        for (qsizetype position : groups.at(g))
            group.append(writes.at(position));
        if (holdReason.isEmpty() && terminationSignalsReceived() > 0)
            holdReason = HeldBackByASignal;
        if (!holdReason.isEmpty()) {
            for (qsizetype row : group) {
                m_results[row].detail = holdReason;
                settle(row);
            }
            continue;
        }
        writeGroup(network, rows, group, *found);
        for (qsizetype row : group) {
            const ResultListing::Result &result = m_results.at(row);
            const bool passed = result.status == ResultListing::Status::Verified
                || (result.status == ResultListing::Status::Sent && m_command.parser().isSet(m_noVerify));
            if (!passed && holdReason.isEmpty() && terminationSignalsReceived() == 0) {
                holdReason = QStringLiteral("%1 %2 ended %3, so nothing after it was sent")
                                 .arg(g == 0 ? QStringLiteral("the first write,") : QStringLiteral("the write of"),
                                      rowName(result), ResultListing::statusWord(result.status));
            }
        }
    }

    if (terminationSignalsReceived() > 0)
        return finish(Interrupted);
    if (refused)
        return finish(Refused);
    const bool allDone = std::all_of(m_results.cbegin(), m_results.cend(), [](const ResultListing::Result &result) {
        using ResultListing::Status;
        return result.status == Status::AlreadyCorrect || result.status == Status::Verified
            || result.status == Status::Sent || result.status == Status::DryRun;
    });
    return finish(allDone ? Done : NotDone);
}

void PlanRun::writeGroup(Network &network, const QList<PlanFile::Row> &rows, const QList<qsizetype> &group,
                         const QList<FoundDevice> &found)
{
    QList<VerifiedWrite::Target> targets;
    for (qsizetype row : group)
        targets.append({*findDevice(found, rows.at(row).mac), rows.at(row).settings});
    VerifiedWrite write(network.endpoint(), network.adapters(), targets,
                        {!m_command.parser().isSet(m_noVerify),
                         {m_restartWaitMs, m_verifyTimeoutMs, m_command.searchOptions().quietMs}});
    QList<QString> routes(group.size(), QStringLiteral("no route"));
    QObject::connect(&write, &VerifiedWrite::frameSent, &write, [&](qsizetype i, const DeviceRoute::Route &route) {
        const PlanFile::Row &row = rows.at(group.at(i));
        ResultListing::Result &result = m_results[group.at(i)];
        routes[i] = route.describe();
        ++m_changed;
        m_command.note(QStringLiteral("%1wrote %2 to %3 \"%4\" (%5)")
                           .arg(where(row), settingsText(row.settings), result.mac, result.name, routes.at(i)));
        if (m_formatValue == Format::Jsonl)
            print(ResultListing::sentLine(result, routes.at(i)));
        // Checked after every frame: none leaves after a signal, even in the middle of a group.
        if (terminationSignalsReceived() > 0)
            write.holdBack();
    });
    m_write = &write;
    if (terminationSignalsReceived() > 0)
        write.holdBack();
    write.start();
    waitUntilFinished(write);

    for (qsizetype i = 0; i < group.size(); ++i) {
        ResultListing::Result &result = m_results[group.at(i)];
        const AddressCheck::Settings before = targets.at(i).device.settings();
        result.status = ResultListing::statusOf(write.outcome(i));
        switch (write.outcome(i)) {
        case WriteOutcome::Outcome::Verified:
            result.detail = QStringLiteral("by %1").arg(routes.at(i));
            break;
        case WriteOutcome::Outcome::Sent:
            result.detail = write.wasStopped()
                ? QStringLiteral("by %1; interrupted before its verification ended").arg(routes.at(i))
                : QStringLiteral("by %1").arg(routes.at(i));
            break;
        case WriteOutcome::Outcome::Mismatch:
            // Not every device restarts by itself after a write: one that still has its old settings
            // may only be waiting for a restart.
            if (*write.answered(i) == before)
                result.detail = QStringLiteral("still answers with its previous settings %1: it refused the new ones, "
                                               "or has not restarted (restart it by hand if it does not by itself)")
                                    .arg(settingsText(*write.answered(i)));
            else
                result.detail = QStringLiteral("answered with %1").arg(settingsText(*write.answered(i)));
            break;
        case WriteOutcome::Outcome::NotSeen:
            result.detail = QStringLiteral("no answer within %1 ms after the restart wait of %2 ms")
                                .arg(m_verifyTimeoutMs)
                                .arg(m_restartWaitMs);
            break;
        case WriteOutcome::Outcome::NotSent:
            result.detail = notSentText(write, i);
            break;
        case WriteOutcome::Outcome::Conflict: {
            QStringList heard;
            for (const AddressCheck::Settings &settings : write.heard(i))
                heard.append(settingsText(settings));
            result.detail = QStringLiteral("answers for its MAC disagree (%1): two devices with one MAC, or another "
                                           "answering in its name")
                                .arg(heard.join(QLatin1String("; ")));
            break;
        }
        }
        settle(group.at(i));
    }
}

void PlanRun::interrupt()
{
    if (m_network) // the search before any write: nothing to wait for
        m_network->stopSearch();
    if (!m_write || m_write->isFinished())
        return;
    if (terminationSignalsReceived() == 1) {
        m_command.note(QStringLiteral("interrupted: no further write is sent; verifying the writes already sent "
                                      "(another signal ends at once)"));
        m_write->holdBack();
    } else {
        m_write->stop();
    }
}

void PlanRun::settle(qsizetype row)
{
    if (m_formatValue == Format::Jsonl)
        print(ResultListing::resultLine(m_results.at(row)));
}

int PlanRun::finish(int exit)
{
    const bool interrupted = exit == Interrupted;
    const ResultListing::Summary summary = ResultListing::summarize(m_results, m_changed, exit, interrupted);
    switch (m_formatValue) {
    case Format::Table:
        print(ResultListing::table(m_results));
        break;
    case Format::Json:
        print(ResultListing::json(m_results, summary));
        break;
    case Format::Jsonl:
        print(ResultListing::summaryLine(summary));
        break;
    }
    if (interrupted)
        m_command.note(QStringLiteral("interrupted: a write went to %1 of %2 rows, the others were not sent")
                           .arg(m_changed)
                           .arg(m_results.size()));
    return exit;
}

void PlanRun::print(const QString &text) const
{
    // Flushed at once: a run killed later leaves every line written so far. Output that cannot be
    // written ends the run: no write may go out that no record would show.
    writeOutput(m_command.name(), text);
}

} // namespace Cli
