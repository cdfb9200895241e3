#include "resultlisting.h"

#include "textformats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Cli::ResultListing {

namespace {
constexpr int SchemaVersion = 1;
} // namespace

QString table(const QList<Result> &results)
{
    const bool fromPlan = std::any_of(results.cbegin(), results.cend(), [](const Result &r) { return r.line > 0; });
    QStringList header{QStringLiteral("MAC"), QStringLiteral("NAME"), QStringLiteral("IP"), QStringLiteral("MASK"),
                       QStringLiteral("GATEWAY"), QStringLiteral("STATUS"), QStringLiteral("DETAIL")};
    if (fromPlan)
        header.prepend(QStringLiteral("LINE"));
    QList<QStringList> rows;
    for (const Result &result : results) {
        QStringList row{result.mac, result.name, result.ip, result.mask, result.gateway, result.status, result.detail};
        if (fromPlan)
            row.prepend(QString::number(result.line));
        rows.append(row);
    }
    return textTable(header, rows);
}

QString json(const QList<Result> &results)
{
    QJsonArray array;
    for (const Result &result : results) {
        QJsonObject object{{QStringLiteral("mac"), result.mac},       {QStringLiteral("name"), result.name},
                           {QStringLiteral("ip"), result.ip},         {QStringLiteral("mask"), result.mask},
                           {QStringLiteral("gateway"), result.gateway}, {QStringLiteral("status"), result.status},
                           {QStringLiteral("detail"), result.detail}};
        if (result.line > 0)
            object.insert(QStringLiteral("line"), result.line);
        array.append(object);
    }
    const QJsonObject document{{QStringLiteral("schema"), SchemaVersion}, {QStringLiteral("results"), array}};
    return QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

} // namespace Cli::ResultListing
