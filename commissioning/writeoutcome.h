#pragma once

#include "protocol/addresscheck.h"

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

// "verified", "mismatch", "not-seen", "not-sent", "sent": the words scripts read.
QString name(Outcome outcome);

} // namespace WriteOutcome
