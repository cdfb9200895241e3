#include "testsupport.h"

#include <QMutex>
#include <QNetworkInterface>
#include <QtEndian>

namespace kvrtest {

bool isIsolatedNetwork()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    return std::all_of(interfaces.cbegin(), interfaces.cend(), [](const QNetworkInterface &i) {
        return i.name() == QLatin1String("lo") || i.name().startsWith(QLatin1String("kvr"));
    });
}

namespace {
QMutex traceMutex;
QStringList traceLines;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&traceMutex);
    traceLines.append(message);
}

void appendU32(QByteArray &out, quint32 value)
{
    char raw[4];
    qToBigEndian(value, raw);
    out.append(raw, 4);
}
} // namespace

TraceCapture::TraceCapture()
{
    clear();
    previousHandler = qInstallMessageHandler(captureHandler);
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

void TraceCapture::clear()
{
    QMutexLocker lock(&traceMutex);
    traceLines.clear();
}

QByteArray rawFrame(quint8 typeCode, qint8 tlvCount, const QList<Tlv> &fields,
                    std::optional<quint32> lengthField)
{
    QByteArray body;
    for (const Tlv &field : fields) {
        appendU32(body, quint32(field.type));
        if (field.value) {
            appendU32(body, quint32(field.value->size()));
            body.append(*field.value);
        }
    }
    QByteArray frame("KORVEL");
    frame.append(char(0x01));
    frame.append(char(typeCode));
    frame.append(char(0x00));
    frame.append(char(tlvCount));
    appendU32(frame, lengthField.value_or(quint32(18 + body.size())));
    appendU32(frame, 7);
    return frame + body;
}

QByteArray hex(const char *pairs)
{
    return QByteArray::fromHex(QByteArray(pairs));
}

} // namespace kvrtest
