#include "writeoutcome.h"

namespace WriteOutcome {

bool counts(const Answer &answer, const Write &write)
{
    if (write.interfaceIndex != 0 && answer.interfaceIndex != write.interfaceIndex)
        return false;
    return !write.unicast || answer.source == answer.settings.ip;
}

std::optional<qint64> settledAt(const QList<Answer> &answers, const Write &write, int quietMs)
{
    for (const Answer &answer : answers) {
        if (counts(answer, write))
            return answer.atMs + quietMs;
    }
    return std::nullopt;
}

QList<AddressCheck::Settings> heard(const QList<Answer> &answers, const Write &write)
{
    QList<AddressCheck::Settings> settings;
    for (const Answer &answer : answers) {
        if (counts(answer, write) && !settings.contains(answer.settings))
            settings.append(answer.settings);
    }
    return settings;
}

std::optional<AddressCheck::Settings> deciding(const QList<Answer> &answers, const Write &write)
{
    const QList<AddressCheck::Settings> settings = heard(answers, write);
    if (settings.isEmpty())
        return std::nullopt;
    return settings.constFirst();
}

Outcome judge(const QList<Answer> &answers, const Write &write)
{
    const QList<AddressCheck::Settings> settings = heard(answers, write);
    if (settings.isEmpty())
        return Outcome::NotSeen;
    if (settings.size() > 1)
        return Outcome::Conflict;
    return settings.constFirst() == write.written ? Outcome::Verified : Outcome::Mismatch;
}

} // namespace WriteOutcome
