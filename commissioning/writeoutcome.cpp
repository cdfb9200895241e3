#include "writeoutcome.h"

namespace WriteOutcome {

Outcome classify(const std::optional<AddressCheck::Settings> &answered, const AddressCheck::Settings &written)
{
    if (!answered)
        return Outcome::NotSeen;
    return *answered == written ? Outcome::Verified : Outcome::Mismatch;
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
