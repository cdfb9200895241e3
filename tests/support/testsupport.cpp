#include "testsupport.h"

#include <QDataStream>
#include <QMutex>
#include <QtEndian>

namespace kvrtest {

namespace {
QMutex traceMutex;
QStringList traceLines;
QtMessageHandler previousHandler = nullptr;
} // namespace

TraceCapture::TraceCapture()
{
    QMutexLocker lock(&traceMutex);
    traceLines.clear();
    previousHandler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
        QMutexLocker lock(&traceMutex);
        traceLines.append(message);
    });
}

TraceCapture::~TraceCapture()
{
    qInstallMessageHandler(previousHandler);
}

QStringList TraceCapture::lines() const
{
    QMutexLocker lock(&traceMutex);
    return traceLines;
}

QByteArray rawFrame(quint8 typeCode, qint8 tlvCount, const QList<Tlv> &fields, std::optional<quint32> lengthField)
{
    QByteArray frame;
    QDataStream out(&frame, QIODevice::WriteOnly);
    out.writeRawData("KORVEL", 6);
    out << quint8(0x01) << typeCode << quint8(0x00) << tlvCount << quint32(0) << quint32(7);
    for (const Tlv &field : fields) {
        out << field.type;
        if (field.value)
            out << *field.value;
    }
    qToBigEndian(lengthField.value_or(quint32(frame.size())), frame.data() + 10);
    return frame;
}

QByteArray hex(const char *pairs)
{
    return QByteArray::fromHex(QByteArray(pairs));
}

} // namespace kvrtest
