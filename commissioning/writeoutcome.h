#pragma once

#include "protocol/addresscheck.h"

#include <QList>
#include <QString>

#include <optional>

// What became of a write of new IPv4 settings, judged from what the device answered afterwards.
//
// The protocol has no authentication: anything on the segment can answer for a MAC. So an answer
// counts for a write only when it arrives on the adapter the write left by and, for a device reached
// by unicast, from the address it reports (a device answers from its own address); and the
// verification listens on for a quiet period after the first answer that counts, so that a second
// voice for the same MAC is heard. Answers that disagree prove nothing but the disagreement.
namespace WriteOutcome {

enum class Outcome {
    Verified, // it answered with exactly the settings written
    Mismatch, // it answered with other settings: it refused them, or took others
    NotSeen,  // it did not answer in time
    NotSent,  // the frame never left this machine
    Sent,     // left, and nobody asked for an answer
    Conflict, // the answers for its MAC disagree: two devices with one MAC, or one answering in another's name
};

// One reply for the device's MAC after a write.
struct Answer
{
    AddressCheck::Settings settings;
    int interfaceIndex = 0; // the adapter it came in on; 0: the system did not say
    quint32 source = 0;     // the IPv4 address it came from
    qint64 atMs = 0;        // when it came, on the verification's clock
};

// How the write went out.
struct Write
{
    AddressCheck::Settings written;
    int interfaceIndex = 0; // the adapter it left by; 0: not known, any adapter counts
    bool unicast = false;   // sent to the device's address: answers must come from the address they report
};

// The one place that decides what the replies of one device after a write prove; the single write,
// the batch and the window's follow-up all ask it.
//   counts():    whether an answer is the device's as far as this machine can tell;
//   settledAt(): when the answers decide the outcome: the quiet period after the first that counts;
//   judge():     the outcome the answers give (NotSeen when none counts);
//   deciding():  the settings the outcome rests on (those of the first answer that counts);
//   heard():     every different set of settings the answers that count gave, first heard first.
bool counts(const Answer &answer, const Write &write);
std::optional<qint64> settledAt(const QList<Answer> &answers, const Write &write, int quietMs);
Outcome judge(const QList<Answer> &answers, const Write &write);
std::optional<AddressCheck::Settings> deciding(const QList<Answer> &answers, const Write &write);
QList<AddressCheck::Settings> heard(const QList<Answer> &answers, const Write &write);

} // namespace WriteOutcome
