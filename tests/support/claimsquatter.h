#pragma once

#include <QByteArray>
#include <QLocalServer>

namespace kvrtest {

// Holds the port claim's local socket name as any local program could, without the port, and
// treats whoever connects as told: answers a line, says nothing and keeps the connection open, or
// sends its answer over and over until the asker hangs up. It serves from the event loop, which
// every asker of this program waits in.
class ClaimSquatter : public QLocalServer
{
public:
    enum Manner { Answers, Silent, Endless };

    ClaimSquatter(Manner manner, const QByteArray &answer);

    // isListening(): false when the name was taken already.
    int connections() const { return m_connections; }

private:
    void treat(QLocalSocket *asker);

    Manner m_manner;
    QByteArray m_answer;
    int m_connections = 0;
};

} // namespace kvrtest
