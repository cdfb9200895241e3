#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

namespace kvrtest {

// Holds the port claim's local socket name as any local program could, without the port, and
// treats whoever connects as told: answers a line, says nothing and keeps the connection open, or
// sends its answer over and over until the asker hangs up. Runs on a thread of its own, so that it
// behaves the same while the test waits on a blocking caller.
class ClaimSquatter
{
public:
    enum Manner { Answers, Silent, Endless };

    ClaimSquatter(Manner manner, const QByteArray &answer);
    ~ClaimSquatter();
    ClaimSquatter(const ClaimSquatter &) = delete;
    ClaimSquatter &operator=(const ClaimSquatter &) = delete;

    // False when the name was taken already.
    bool isListening() const { return m_listener >= 0; }
    int connections() const { return m_connections; }

private:
    void serve();
    void treat(int asker);

    Manner m_manner;
    QByteArray m_answer;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

} // namespace kvrtest
