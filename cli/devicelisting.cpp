#include "devicelisting.h"

#include "textformats.h"

#include "commissioning/route.h"
#include "survey.h"
#include "protocol/conversions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Cli::DeviceListing {

namespace {

constexpr int SchemaVersion = 1;

struct Listed
{
    QString type, name, mac, ip, mask, gateway, version, points;
    QStringList adapters;
    QString reach; // "unicast" or "broadcast"
    int rounds = 0;
    QStringList findings;
};

QList<Listed> listed(QList<FoundDevice> devices, const QList<Adapters::Adapter> &adapters)
{
    std::sort(devices.begin(), devices.end(), [](const FoundDevice &a, const FoundDevice &b) {
        return std::pair(a.settings().ip, a.reply.mac) < std::pair(b.settings().ip, b.reply.mac);
    });
    const QList<QStringList> findings = Survey::findings(devices, adapters);
    QList<Listed> rows;
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const FoundDevice &device = devices.at(i);
        const AddressCheck::Settings settings = device.settings();
        Listed row{QString::fromLatin1(device.reply.type), QString::fromLatin1(device.reply.name),
                   macBytesToText(device.reply.mac), ipv4Text(settings.ip), ipv4Text(settings.mask),
                   ipv4Text(settings.gateway), bytesToDottedText(device.reply.swVersion),
                   bytesToDottedText(device.reply.points), {}, {}, device.roundsAnswered, findings.at(i)};
        for (int index : device.interfaces)
            row.adapters.append(Adapters::nameOf(adapters, index));
        const auto route = DeviceRoute::toDevice(device, adapters);
        row.reach = route && !route->broadcast ? QStringLiteral("unicast") : QStringLiteral("broadcast");
        rows.append(row);
    }
    return rows;
}

QString table(const QList<Listed> &rows)
{
    QList<QStringList> cells;
    QString findings;
    for (const Listed &row : rows) {
        cells.append({row.type, row.name, row.mac, row.ip, row.mask, row.gateway, row.version, row.points,
                      row.adapters.join(u' ')});
        for (const QString &finding : row.findings)
            findings += printable(QStringLiteral("%1 %2: %3").arg(row.mac, row.name, finding)) + u'\n';
    }
    QString text = textTable({QStringLiteral("TYPE"), QStringLiteral("NAME"), QStringLiteral("MAC"), QStringLiteral("IP"),
                              QStringLiteral("MASK"), QStringLiteral("GATEWAY"), QStringLiteral("VERSION"),
                              QStringLiteral("POINTS"), QStringLiteral("ADAPTER")},
                             cells);
    if (!findings.isEmpty())
        text += u'\n' + findings;
    return text;
}

QJsonArray adapterArray(const QList<Adapters::Adapter> &adapters)
{
    QJsonArray array;
    for (const Adapters::Adapter &adapter : adapters) {
        QJsonArray addresses;
        for (const Adapters::Address &entry : adapter.addresses)
            addresses.append(QStringLiteral("%1/%2").arg(ipv4Text(entry.ip)).arg(entry.prefixLength));
        array.append(QJsonObject{{QStringLiteral("name"), adapter.name}, {QStringLiteral("addresses"), addresses}});
    }
    return array;
}

QJsonObject deviceObject(const Listed &row)
{
    return QJsonObject{
        {QStringLiteral("type"), row.type}, {QStringLiteral("name"), row.name}, {QStringLiteral("mac"), row.mac},
        {QStringLiteral("ip"), row.ip}, {QStringLiteral("mask"), row.mask}, {QStringLiteral("gateway"), row.gateway},
        {QStringLiteral("version"), row.version}, {QStringLiteral("points"), row.points},
        {QStringLiteral("adapters"), QJsonArray::fromStringList(row.adapters)}, {QStringLiteral("reach"), row.reach},
        {QStringLiteral("rounds"), row.rounds}, {QStringLiteral("findings"), QJsonArray::fromStringList(row.findings)}};
}

QString json(const QList<Listed> &rows, const QList<Adapters::Adapter> &adapters, int rounds)
{
    QJsonArray deviceArray;
    for (const Listed &row : rows)
        deviceArray.append(deviceObject(row));
    const QJsonObject document{{QStringLiteral("schema"), SchemaVersion}, {QStringLiteral("rounds"), rounds},
                               {QStringLiteral("adapters"), adapterArray(adapters)}, {QStringLiteral("devices"), deviceArray}};
    return QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

// One compact object a line: the devices in the order of the table, then the summary.
QString jsonLines(const QList<Listed> &rows, const QList<Adapters::Adapter> &adapters, int rounds, int exitCode)
{
    QString text;
    for (const Listed &row : rows)
        text += jsonLine({{QStringLiteral("event"), QStringLiteral("device")}, {QStringLiteral("device"), deviceObject(row)}});
    const QJsonObject summary{{QStringLiteral("devices"), int(rows.size())}, {QStringLiteral("rounds"), rounds},
                              {QStringLiteral("adapters"), adapterArray(adapters)}, {QStringLiteral("exit"), exitCode}};
    return text + jsonLine({{QStringLiteral("event"), QStringLiteral("summary")}, {QStringLiteral("summary"), summary}});
}

QString csv(const QList<Listed> &rows)
{
    QString text = csvLine({QStringLiteral("mac"), QStringLiteral("ip"), QStringLiteral("mask"), QStringLiteral("gateway"),
                            QStringLiteral("type"), QStringLiteral("name"), QStringLiteral("version"),
                            QStringLiteral("points"), QStringLiteral("adapter"), QStringLiteral("findings")});
    for (const Listed &row : rows) {
        text += csvLine({row.mac, row.ip, row.mask, row.gateway, row.type, row.name, row.version, row.points,
                         row.adapters.join(u' '), row.findings.join(QLatin1String("; "))});
    }
    return text;
}

} // namespace

QString format(Format format, QList<FoundDevice> devices, const QList<Adapters::Adapter> &adapters, int rounds,
               int exitCode)
{
    const QList<Listed> rows = listed(std::move(devices), adapters);
    switch (format) {
    case Format::Table: return table(rows);
    case Format::Json: return json(rows, adapters, rounds);
    case Format::Csv: return csv(rows);
    case Format::Jsonl: return jsonLines(rows, adapters, rounds, exitCode);
    }
    return {};
}

} // namespace Cli::DeviceListing
