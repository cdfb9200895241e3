#include "resultlisting.h"

#include "textformats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Cli::ResultListing {

namespace {

constexpr int SchemaVersion = 1;

struct StatusText
{
    Status status;
    const char *word;
    const char *meaning;
};

// In the order the help texts list them.
constexpr StatusText StatusTexts[] = {
    {Status::AlreadyCorrect, "already-correct", "the device has these settings already; nothing sent"},
    {Status::NotFound, "not-found", "no device with this MAC answered the search; nothing sent"},
    {Status::Refused, "refused", "the checks refuse the row (the detail says why); nothing sent"},
    {Status::DryRun, "dry-run", "--dry-run: the write it would send, not sent"},
    {Status::Sent, "sent",
     "the write left, and was not verified (--no-verify, or interrupted before its verification ended)"},
    {Status::Verified, "verified", "the device answered with exactly the new settings"},
    {Status::Mismatch, "mismatch", "it answered with other settings: it refused them, or has not restarted yet"},
    {Status::NotSeen, "not-seen", "it did not answer after the write within --verify-timeout"},
    {Status::Conflict, "conflict",
     "answers for its MAC disagree: two devices with one MAC, or another answering in its name"},
    {Status::NotSent, "not-sent",
     "no write was sent: the frame could not leave, the checks refused the plan, an earlier write was not "
     "verified, or the run was interrupted"},
};

// The row's identity and wanted settings: what a result and a sent event share.
QJsonObject rowObject(const Result &result)
{
    QJsonObject object{{QStringLiteral("mac"), result.mac},   {QStringLiteral("name"), result.name},
                       {QStringLiteral("ip"), result.ip},     {QStringLiteral("mask"), result.mask},
                       {QStringLiteral("gateway"), result.gateway}};
    if (result.line > 0)
        object.insert(QStringLiteral("line"), result.line);
    return object;
}

QJsonObject resultObject(const Result &result)
{
    QJsonObject object = rowObject(result);
    object.insert(QStringLiteral("status"), statusWord(result.status));
    object.insert(QStringLiteral("detail"), result.detail);
    object.insert(QStringLiteral("before"),
                  result.before ? QJsonValue(QJsonObject{{QStringLiteral("ip"), result.before->ip},
                                                         {QStringLiteral("mask"), result.before->mask},
                                                         {QStringLiteral("gateway"), result.before->gateway}})
                                : QJsonValue(QJsonValue::Null));
    return object;
}

QJsonObject summaryObject(const Summary &summary)
{
    QJsonObject counts;
    for (auto it = summary.counts.cbegin(); it != summary.counts.cend(); ++it)
        counts.insert(it.key(), it.value());
    QJsonObject object{{QStringLiteral("rows"), summary.rows},
                       {QStringLiteral("changed"), summary.changed},
                       {QStringLiteral("counts"), counts},
                       {QStringLiteral("exit"), summary.exit}};
    if (summary.interrupted)
        object.insert(QStringLiteral("interrupted"), true);
    return object;
}

} // namespace

Summary summarize(const QList<Result> &results, int changed, int exit, bool interrupted)
{
    Summary summary{results.size(), changed, {}, exit, interrupted};
    for (const Result &result : results)
        ++summary.counts[statusWord(result.status)];
    return summary;
}

QString statusWord(Status status)
{
    for (const StatusText &text : StatusTexts) {
        if (text.status == status)
            return QLatin1String(text.word);
    }
    return {};
}

Status statusOf(WriteOutcome::Outcome outcome)
{
    switch (outcome) {
    case WriteOutcome::Outcome::Verified: return Status::Verified;
    case WriteOutcome::Outcome::Mismatch: return Status::Mismatch;
    case WriteOutcome::Outcome::NotSeen: return Status::NotSeen;
    case WriteOutcome::Outcome::Sent: return Status::Sent;
    case WriteOutcome::Outcome::Conflict: return Status::Conflict;
    case WriteOutcome::Outcome::NotSent: break;
    }
    return Status::NotSent;
}

QList<std::pair<QString, QString>> statusWords()
{
    QList<std::pair<QString, QString>> words;
    for (const StatusText &text : StatusTexts)
        words.append({QLatin1String(text.word), QLatin1String(text.meaning)});
    return words;
}

QString table(const QList<Result> &results)
{
    const bool fromPlan = std::any_of(results.cbegin(), results.cend(), [](const Result &r) { return r.line > 0; });
    QStringList header{QStringLiteral("MAC"), QStringLiteral("NAME"), QStringLiteral("IP"), QStringLiteral("MASK"),
                       QStringLiteral("GATEWAY"), QStringLiteral("STATUS"), QStringLiteral("DETAIL")};
    if (fromPlan)
        header.prepend(QStringLiteral("LINE"));
    QList<QStringList> rows;
    for (const Result &result : results) {
        QStringList row{result.mac, result.name, result.ip, result.mask, result.gateway, statusWord(result.status),
                        result.detail};
        if (fromPlan)
            row.prepend(QString::number(result.line));
        rows.append(row);
    }
    return textTable(header, rows);
}

QString json(const QList<Result> &results, const Summary &summary)
{
    QJsonArray array;
    for (const Result &result : results)
        array.append(resultObject(result));
    const QJsonObject document{{QStringLiteral("schema"), SchemaVersion},
                               {QStringLiteral("results"), array},
                               {QStringLiteral("summary"), summaryObject(summary)}};
    return QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

QString sentLine(const Result &result, const QString &route)
{
    QJsonObject object = rowObject(result);
    object.insert(QStringLiteral("event"), QStringLiteral("sent"));
    object.insert(QStringLiteral("route"), route);
    return jsonLine(object);
}

QString resultLine(const Result &result)
{
    return jsonLine({{QStringLiteral("event"), QStringLiteral("result")}, {QStringLiteral("result"), resultObject(result)}});
}

QString summaryLine(const Summary &summary)
{
    return jsonLine({{QStringLiteral("event"), QStringLiteral("summary")}, {QStringLiteral("summary"), summaryObject(summary)}});
}

} // namespace Cli::ResultListing
