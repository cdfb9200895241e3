#include "writeverification.h"

#include "searchsession.h"

#include <algorithm>

WriteVerification::WriteVerification(DeviceLink &link, const QList<Adapters::Adapter> &adapters,
                                     const QList<Target> &targets, const Options &options, QObject *parent)
    : QObject(parent), m_link(link), m_adapters(adapters), m_targets(targets), m_answers(targets.size()),
      m_options(options)
{
    m_restartWait.setSingleShot(true);
    m_restartWait.setTimerType(Qt::PreciseTimer);
    connect(&m_restartWait, &QTimer::timeout, this, &WriteVerification::search);
    m_settle.setSingleShot(true);
    m_settle.setTimerType(Qt::PreciseTimer);
    connect(&m_settle, &QTimer::timeout, this, &WriteVerification::settleWhenQuiet);
}

void WriteVerification::start()
{
    if (m_targets.isEmpty()) // a search for no MAC in particular would take every device's answer
        return finish();
    m_restartWait.start(m_options.restartWaitMs);
}

void WriteVerification::stop()
{
    if (m_finished)
        return;
    m_stopped = true;
    m_restartWait.stop();
    finish();
}

void WriteVerification::search()
{
    SearchSession::Options options;
    for (const Target &target : std::as_const(m_targets))
        options.onlyMacs.append(target.mac);
    options.timeoutMs = m_options.timeoutMs;
    options.quietMs = quietMs();
    m_search = new SearchSession(m_link, m_adapters, options, this);
    connect(m_search, &SearchSession::replyTaken, this, &WriteVerification::takeAnswer);
    connect(m_search, &SearchSession::finished, this, &WriteVerification::finish);
    m_clock.start();
    m_search->start();
}

int WriteVerification::quietMs() const
{
    return m_options.quietMs > 0 ? m_options.quietMs : SearchSession::DefaultQuietMs;
}

void WriteVerification::takeAnswer(const Frame::DeviceReply &reply, int interfaceIndex, quint32 source)
{
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        if (m_targets.at(i).mac != reply.mac)
            continue;
        const WriteOutcome::Answer answer{AddressCheck::settingsFromBytes(reply.netAddr), interfaceIndex, source,
                                          m_clock.elapsed()};
        m_answers[i].append(answer);
        if (WriteOutcome::counts(answer, m_targets.at(i).write))
            emit answerCounted(i, reply, interfaceIndex);
    }
    if (!m_finished)
        settleWhenQuiet();
}

// Ends the search once every device has given an answer that counts and the quiet period after it
// has passed; until then, comes back when the last of those periods ends.
void WriteVerification::settleWhenQuiet()
{
    qint64 settled = 0;
    for (qsizetype i = 0; i < m_targets.size(); ++i) {
        const std::optional<qint64> at = WriteOutcome::settledAt(m_answers.at(i), m_targets.at(i).write, quietMs());
        if (!at)
            return;
        settled = std::max(settled, *at);
    }
    const qint64 now = m_clock.elapsed();
    if (now >= settled)
        m_search->stop();
    else
        m_settle.start(int(settled - now));
}

void WriteVerification::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_settle.stop();
    if (m_search && !m_search->isFinished())
        m_search->stop(); // finished() comes back here, and is ignored
    emit finished();
}

WriteOutcome::Outcome WriteVerification::outcome(qsizetype index) const
{
    const WriteOutcome::Write &write = m_targets.at(index).write;
    if (m_stopped && !WriteOutcome::settledAt(m_answers.at(index), write, 0))
        return WriteOutcome::Outcome::Sent;
    return WriteOutcome::judge(m_answers.at(index), write);
}

std::optional<AddressCheck::Settings> WriteVerification::answered(qsizetype index) const
{
    return WriteOutcome::deciding(m_answers.at(index), m_targets.at(index).write);
}

QList<AddressCheck::Settings> WriteVerification::heard(qsizetype index) const
{
    return WriteOutcome::heard(m_answers.at(index), m_targets.at(index).write);
}
