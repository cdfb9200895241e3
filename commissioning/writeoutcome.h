#pragma once

#include "protocol/addresscheck.h"

#include <QList>
#include <QString>

#include <optional>

// What became of a write of new IPv4 settings, judged from what the device answered afterwards.
namespace WriteOutcome {

enum class Outcome {
    Verified, // it answered with exactly the settings written
    Mismatch, // it answered with other settings: it refused them, or took others
    NotSeen,  // it did not answer in time
    NotSent,  // the frame never left this machine
    Sent,     // left, and nobody asked for an answer
};

// For a write that left: `answered` holds the settings of the device's first answer after it,
// if it answered.
Outcome classify(const std::optional<AddressCheck::Settings> &answered, const AddressCheck::Settings &written);

// One reply of a device after a write: the settings it answered with, and the adapter it came in on.
struct Answer
{
    AddressCheck::Settings settings;
    int interfaceIndex = 0;
};

// The one place that decides what the replies of one device after a write prove; every
// verification (one device, or a batch searched for together) asks it. Today the first answer
// decides.
//   settled(): the answers so far decide the outcome, the device need not be listened to further;
//   judge():   the outcome the answers give (NotSeen for none);
//   deciding(): the answer the outcome rests on, if any.
bool settled(const QList<Answer> &answers);
Outcome judge(const QList<Answer> &answers, const AddressCheck::Settings &written);
std::optional<AddressCheck::Settings> deciding(const QList<Answer> &answers);

// "verified", "mismatch", "not-seen", "not-sent", "sent": the words scripts read.
QString name(Outcome outcome);

} // namespace WriteOutcome
