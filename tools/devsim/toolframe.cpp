#include "toolframe.h"

#include "protocol/conversions.h"

#include <QMap>
#include <QStringList>
#include <QtEndian>

namespace DevSim {

namespace {

constexpr quint32 NullValueLength = 0xFFFFFFFFu;

ParsedToolFrame reject(const QString &why)
{
    return {std::nullopt, why};
}

QString typeList(const QList<qint32> &types)
{
    QStringList texts;
    for (qint32 type : types)
        texts.append(QString::number(type));
    return texts.join(QLatin1String(", "));
}

QString sizeProblem(const QByteArray &value, int expected, const QString &what)
{
    if (value.size() == expected)
        return {};
    return QStringLiteral("%1 has %2 bytes, not %3").arg(what).arg(value.size()).arg(expected);
}

// Reads the fields behind the header; every field must lie wholly inside the datagram.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray &datagram) : m_data(datagram) {}

    bool atEnd() const { return m_pos == m_data.size(); }
    qsizetype remaining() const { return m_data.size() - m_pos; }

    std::optional<quint32> readU32()
    {
        if (remaining() < 4)
            return std::nullopt;
        const auto value = qFromBigEndian<quint32>(m_data.constData() + m_pos);
        m_pos += 4;
        return value;
    }

    std::optional<QByteArray> readBytes(quint32 length)
    {
        if (quint64(remaining()) < length)
            return std::nullopt;
        const QByteArray value = m_data.mid(m_pos, qsizetype(length));
        m_pos += qsizetype(length);
        return value;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos = Frame::HeaderSize;
};

} // namespace

ParsedToolFrame parseToolFrame(const QByteArray &datagram)
{
    switch (Frame::checkHeader(datagram)) {
    case Frame::HeaderCheck::Ok:
        break;
    case Frame::HeaderCheck::TooShort:
        return reject(QStringLiteral("%1 bytes are too short for a header").arg(datagram.size()));
    case Frame::HeaderCheck::BadMagic:
        return reject(QStringLiteral("not a KORVEL frame"));
    case Frame::HeaderCheck::LengthMismatch:
        return reject(QStringLiteral("declared length %1 differs from its size %2")
                          .arg(qFromBigEndian<quint32>(datagram.constData() + Frame::Offset::Length))
                          .arg(datagram.size()));
    case Frame::HeaderCheck::BadCount:
        return reject(QStringLiteral("field count %1 is outside 1 to 6")
                          .arg(static_cast<qint8>(datagram.at(Frame::Offset::TlvCount))));
    }
    const auto count = static_cast<qint8>(datagram.at(Frame::Offset::TlvCount));
    const auto sender = quint8(datagram.at(Frame::Offset::TypeCode));
    if (sender != Frame::devTypeCode)
        return reject(QStringLiteral("sent by a device (type code %1), not by a tool").arg(sender));

    QMap<qint32, QByteArray> fields;
    QList<qint32> order;
    FieldReader reader(datagram);
    for (int field = 1; field <= count; ++field) {
        const std::optional<quint32> code = reader.readU32();
        if (!code)
            return reject(QStringLiteral("field %1 of %2 is missing").arg(field).arg(count));
        const auto type = qint32(*code);
        const bool isValueField = (type >= Frame::TlvFieldList && type <= Frame::TlvLed)
                                  || type == Frame::TlvTargetMac;
        if (!isValueField)
            return reject(QStringLiteral("field %1 has the unknown type %2").arg(field).arg(type));
        if (fields.contains(type))
            return reject(QStringLiteral("field type %1 appears twice").arg(type));

        const std::optional<quint32> length = reader.readU32();
        if (!length || *length == NullValueLength)
            return reject(QStringLiteral("field %1 (type %2) has no value").arg(field).arg(type));
        if (type == Frame::TlvLed && *length != 2)
            return reject(QStringLiteral("LED value has %1 bytes, not 2").arg(*length));
        const std::optional<QByteArray> value = reader.readBytes(*length);
        if (!value)
            return reject(QStringLiteral("field %1 (type %2) runs past the end").arg(field).arg(type));
        fields.insert(type, *value);
        order.append(type);
    }
    if (!reader.atEnd())
        return reject(QStringLiteral("%1 stray bytes after the last field").arg(reader.remaining()));

    const QList<qint32> types = fields.keys();
    ToolCommand command;
    if (types == QList<qint32>{Frame::TlvFieldList}) {
        command.kind = ToolCommand::Search;
        return {command, {}};
    }

    const bool isLed = types == QList<qint32>{Frame::TlvLed, Frame::TlvTargetMac};
    const bool isWrite = types == QList<qint32>{Frame::TlvMac, Frame::TlvName, Frame::TlvNetAddr, Frame::TlvTargetMac};
    if (!isLed && !isWrite)
        return reject(QStringLiteral("fields of types %1 make no known command").arg(typeList(order)));

    command.targetMac = fields.value(Frame::TlvTargetMac);
    if (const QString problem = sizeProblem(command.targetMac, 6, QStringLiteral("target MAC")); !problem.isEmpty())
        return reject(problem);

    if (isLed) {
        const auto value = qFromBigEndian<quint16>(fields.value(Frame::TlvLed).constData());
        if (value != quint16(Frame::LedCommand::Off) && value != quint16(Frame::LedCommand::Flash))
            return reject(QStringLiteral("LED command %1 is neither 0 (off) nor 2 (flash)").arg(value));
        command.kind = ToolCommand::Led;
        command.led = Frame::LedCommand(value);
        return {command, {}};
    }

    command.kind = ToolCommand::Write;
    command.write = {command.targetMac, fields.value(Frame::TlvMac), fields.value(Frame::TlvName),
                     fields.value(Frame::TlvNetAddr)};
    for (const QString &problem : {sizeProblem(command.write.mac, 6, QStringLiteral("MAC to set")),
                                   sizeProblem(command.write.name, 16, QStringLiteral("name")),
                                   sizeProblem(command.write.netAddr, 12, QStringLiteral("network value"))}) {
        if (!problem.isEmpty())
            return reject(problem);
    }
    return {command, {}};
}

WriteDecision checkWrite(const SimDevice &device, const Frame::WriteValues &write,
                         const QList<QByteArray> &otherMacs)
{
    QByteArray name = write.name;
    while (!name.isEmpty() && (name.back() == ' ' || name.back() == '\0'))
        name.chop(1);
    if (auto problem = nameProblem(name))
        return {std::nullopt, *problem};
    if (auto problem = macProblem(write.mac))
        return {std::nullopt, *problem};
    if (otherMacs.contains(write.mac))
        return {std::nullopt, QStringLiteral("MAC %1 belongs to another device").arg(macBytesToText(write.mac))};
    if (write.netAddr.size() != 12)
        return {std::nullopt, sizeProblem(write.netAddr, 12, QStringLiteral("network value"))};
    const NetConfig net = AddressCheck::settingsFromBytes(write.netAddr);
    if (auto problem = netConfigProblem(net))
        return {std::nullopt, *problem};

    SimDevice updated = device;
    updated.name = name;
    updated.mac = write.mac;
    updated.net = net;
    return {updated, {}};
}

QByteArray junkDatagram(int index)
{
    // A MAC and address of their own for every index, so that no two junk replies are alike.
    QByteArray mac = QByteArray::fromHex("024A554E4B00");
    mac[4] = char(index >> 8);
    mac[5] = char(index);
    const Frame::DeviceReply stray{{}, mac, "STRAY-DEVICE", QByteArray::fromHex("0100"),
                                   AddressCheck::settingsBytes({0xC6120000u | quint32(index & 0xFFFF), 0xFFFF0000u, 0xC61200FEu}),
                                   QByteArray::fromHex("1010")};
    QByteArray reply = Frame::encodeReply(1, stray, quint32(index));

    switch (index % 9) {
    case 0: // a bad magic: the tool ends its receive pass on it
        reply[5] = 'X';
        return reply;
    case 1: { // a length field that is not the size
        const quint32 wrong = quint32(reply.size() + 1);
        qToBigEndian(wrong, reply.data() + Frame::Offset::Length);
        return reply;
    }
    case 2: // a field count of 0
        reply[Frame::Offset::TlvCount] = 0;
        return reply;
    case 3: // a field count of 7
        reply[Frame::Offset::TlvCount] = 7;
        return reply;
    case 4: // a well-formed reply whose count is not 5: consumed, never accepted
        reply[Frame::Offset::TlvCount] = 4;
        return reply;
    case 5: // a runt
        return reply.left(17);
    case 6: { // a reply one byte short of the size a reply must have
        Frame::DeviceReply shortName = stray;
        shortName.name = "STRAY-DEV";
        shortName.swVersion = {};
        shortName.points = {};
        QByteArray runt = Frame::encodeReply(2, shortName, quint32(index)).left(Frame::MinReplySize - 1);
        qToBigEndian(quint32(runt.size()), runt.data() + Frame::Offset::Length);
        return runt;
    }
    case 7: // another tool's search
        return Frame::encodeSearch(quint32(index));
    default: // another tool's LED command for some device
        return Frame::encodeLed(mac, Frame::LedCommand::Flash, quint32(index));
    }
}

} // namespace DevSim
