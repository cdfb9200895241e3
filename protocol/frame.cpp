#include "frame.h"

#include "conversions.h"

#include <QtEndian>

namespace Frame {

namespace {

void appendU8(QByteArray &out, quint8 value)
{
    out.append(static_cast<char>(value));
}

void appendU16(QByteArray &out, quint16 value)
{
    char raw[2];
    qToBigEndian(value, raw);
    out.append(raw, sizeof raw);
}

void appendU32(QByteArray &out, quint32 value)
{
    char raw[4];
    qToBigEndian(value, raw);
    out.append(raw, sizeof raw);
}

// A byte string as QDataStream writes it: its length, then its bytes; a null one is the length
// 0xFFFFFFFF alone.
void appendBytes(QByteArray &out, const QByteArray &value)
{
    if (value.isNull()) {
        appendU32(out, 0xFFFFFFFFu);
        return;
    }
    appendU32(out, quint32(value.size()));
    out.append(value);
}

QByteArray header(quint8 tlvCount, quint32 frameLength, quint32 frameSeq, quint8 senderType = devTypeCode)
{
    QByteArray out;
    out.reserve(frameLength);
    out.append(Magic, MagicSize);
    appendU8(out, hdrMark);
    appendU8(out, senderType);
    appendU8(out, hdrSpare);
    appendU8(out, tlvCount);
    appendU32(out, frameLength);
    appendU32(out, frameSeq);
    return out;
}

// Reads the way QDataStream does: once a read runs past the end, it and every later read
// yield zero or an empty byte string, and nothing beyond the datagram is touched.
class Reader
{
public:
    explicit Reader(const QByteArray &data, qsizetype from) : m_data(data), m_pos(from) {}

    qint32 readI32()
    {
        if (m_pastEnd || m_data.size() - m_pos < 4) {
            m_pastEnd = true;
            return 0;
        }
        const auto value = qFromBigEndian<qint32>(m_data.constData() + m_pos);
        m_pos += 4;
        return value;
    }

    // A view into the datagram: nothing is copied until a value is kept.
    QByteArrayView readBytes()
    {
        const quint32 length = quint32(readI32());
        if (m_pastEnd || length == 0xFFFFFFFFu)
            return {};
        if (quint64(m_data.size() - m_pos) < length) {
            m_pastEnd = true;
            return {};
        }
        const QByteArrayView value(m_data.constData() + m_pos, qsizetype(length));
        m_pos += qsizetype(length);
        return value;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos;
    bool m_pastEnd = false;
};

} // namespace

HeaderCheck checkHeader(const QByteArray &datagram)
{
    if (datagram.size() < HeaderSize)
        return HeaderCheck::TooShort;
    if (!isProtocolFrame(datagram))
        return HeaderCheck::BadMagic;
    if (qFromBigEndian<quint32>(datagram.constData() + Offset::Length) != quint64(datagram.size()))
        return HeaderCheck::LengthMismatch;
    const auto count = static_cast<qint8>(datagram.at(Offset::TlvCount));
    if (count < 1 || count > 6)
        return HeaderCheck::BadCount;
    return HeaderCheck::Ok;
}

QByteArray encodeSearch(quint32 frameSeq)
{
    QByteArray fields;
    appendU32(fields, TlvFieldList);
    appendU32(fields, 20);
    for (quint32 requested = 1; requested <= 5; ++requested)
        appendU32(fields, requested);

    QByteArray out = header(1, quint32(fields.size()) + HeaderSize, frameSeq);
    out.append(fields);
    return out;
}

QByteArray encodeLed(const QByteArray &targetMac, LedCommand command, quint32 frameSeq)
{
    QByteArray out = header(2, LedFrameSize, frameSeq);
    appendU32(out, TlvTargetMac);
    appendBytes(out, targetMac);
    appendU32(out, TlvLed);
    appendU32(out, 2);
    appendU16(out, quint16(command));
    return out;
}

QByteArray encodeWrite(const WriteValues &values, quint32 frameSeq)
{
    QByteArray out = header(4, WriteFrameSize, frameSeq);
    appendU32(out, TlvTargetMac);
    appendBytes(out, values.targetMac);
    appendU32(out, TlvMac);
    appendBytes(out, values.mac);
    appendU32(out, TlvName);
    appendBytes(out, values.name);
    appendU32(out, TlvNetAddr);
    appendBytes(out, values.netAddr);
    return out;
}

QByteArray encodeReply(quint8 typeCode, const DeviceReply &device, quint32 frameSeq)
{
    QByteArray fields;
    int count = 0;
    const auto appendField = [&](qint32 type, const QByteArray &value) {
        appendU32(fields, quint32(type));
        appendBytes(fields, value);
        ++count;
    };
    appendField(TlvMac, device.mac);
    appendField(TlvName, device.name);
    if (!device.swVersion.isNull())
        appendField(TlvSwVersion, device.swVersion);
    appendField(TlvNetAddr, device.netAddr);
    if (!device.points.isNull())
        appendField(TlvPoints, device.points);
    if (count < 5)
        appendU32(fields, quint32(TlvTargetMac + 1));
    if (HeaderSize + fields.size() < MinReplySize)
        fields.append(QByteArray(MinReplySize - HeaderSize - fields.size(), '\0'));

    QByteArray out = header(5, quint32(HeaderSize + fields.size()), frameSeq, typeCode);
    out.append(fields);
    return out;
}

QByteArray paddedName(const QByteArray &name)
{
    return (name + QByteArray(10, ' ')).left(16);
}

WriteValues writeValuesFromTexts(const WriteTexts &texts)
{
    WriteValues values;
    values.targetMac = macTextToBytes(texts.targetMac);
    values.mac = macTextToBytes(texts.mac);
    values.name = paddedName(texts.name.toLatin1());
    values.netAddr = dottedStringToBytes(texts.ipAddress + u'.' + texts.subnetMask + u'.'
                                         + texts.gateway + u'.');
    return values;
}

Decoded decode(const QByteArray &datagram)
{
    Decoded result;
    result.header = checkHeader(datagram);
    if (result.header != HeaderCheck::Ok)
        return result;

    const auto tlvCount = static_cast<qint8>(datagram.at(Offset::TlvCount));
    QByteArrayView values[TlvPoints + 1];
    Reader reader(datagram, HeaderSize);
    for (int field = 0; field < tlvCount; ++field) {
        const qint32 type = reader.readI32();
        if (type < 0 || type > TlvTargetMac)
            break;
        switch (type) {
        case TlvFieldList:
            result.events.append(WalkEvent{WalkEvent::FieldList, reader.readBytes().toByteArray()});
            break;
        case TlvMac:
        case TlvName:
        case TlvSwVersion:
        case TlvNetAddr:
        case TlvPoints:
            values[type] = reader.readBytes();
            break;
        case TlvLed:
            // Only the type code: the bytes behind it are read as the next field's type.
            break;
        default:
            result.events.append(WalkEvent{WalkEvent::IllegalType, {}});
            break;
        }
    }

    const qsizetype nameSize = values[TlvName].size();
    result.accepted = datagram.size() >= MinReplySize && tlvCount == 5 && nameSize >= 6
                      && nameSize <= 16 && values[TlvMac].size() == 6
                      && values[TlvNetAddr].size() == 12;
    if (result.accepted) {
        result.reply = {devTypeText(quint8(datagram.at(Offset::TypeCode))), values[TlvMac].toByteArray(),
                        values[TlvName].toByteArray(), values[TlvSwVersion].toByteArray(),
                        values[TlvNetAddr].toByteArray(), values[TlvPoints].toByteArray()};
    }
    return result;
}

bool isProtocolFrame(const QByteArray &header)
{
    return header.size() >= MagicSize && std::equal(Magic, Magic + MagicSize, header.constData());
}

QByteArray devTypeText(quint8 code)
{
    switch (code) {
    case 1: return QByteArrayLiteral("PLC");
    case 2: return QByteArrayLiteral("HMI");
    case 3: return QByteArrayLiteral("SERVO");
    case 4: return QByteArrayLiteral("VFD");
    default: return {};
    }
}

} // namespace Frame
