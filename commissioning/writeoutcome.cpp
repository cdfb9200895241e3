#include "writeoutcome.h"

namespace WriteOutcome {

Outcome classify(const std::optional<AddressCheck::Settings> &answered, const AddressCheck::Settings &written)
{
    if (!answered)
        return Outcome::NotSeen;
    return *answered == written ? Outcome::Verified : Outcome::Mismatch;
}

bool settled(const QList<Answer> &answers)
{
    return !answers.isEmpty();
}

std::optional<AddressCheck::Settings> deciding(const QList<Answer> &answers)
{
    if (answers.isEmpty())
        return std::nullopt;
    return answers.constFirst().settings;
}

Outcome judge(const QList<Answer> &answers, const AddressCheck::Settings &written)
{
    return classify(deciding(answers), written);
}

QString name(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Verified: return QStringLiteral("verified");
    case Outcome::Mismatch: return QStringLiteral("mismatch");
    case Outcome::NotSeen: return QStringLiteral("not-seen");
    case Outcome::NotSent: return QStringLiteral("not-sent");
    case Outcome::Sent: return QStringLiteral("sent");
    }
    return {};
}

} // namespace WriteOutcome
