#include "claimsquatter.h"

#include "protocol/deviceport.h"

#include <QLocalSocket>

namespace kvrtest {

ClaimSquatter::ClaimSquatter(Manner manner, const QByteArray &answer) : m_manner(manner), m_answer(answer)
{
    setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(this, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *asker = nextPendingConnection())
            treat(asker);
    });
    listen(QLatin1String(DevicePort::ClaimName));
}

void ClaimSquatter::treat(QLocalSocket *asker)
{
    ++m_connections; // kept open until the squatter goes: a silent holder never hangs up
    if (m_manner == Silent)
        return;
    asker->write(m_answer);
    // Another answer each time the last one has left, until the asker hangs up.
    if (m_manner == Endless)
        connect(asker, &QLocalSocket::bytesWritten, asker, [this, asker] {
            if (asker->state() == QLocalSocket::ConnectedState && asker->bytesToWrite() == 0)
                asker->write(m_answer);
        });
}

} // namespace kvrtest
