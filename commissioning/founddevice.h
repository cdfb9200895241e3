#pragma once

#include "protocol/addresscheck.h"
#include "protocol/frame.h"

#include <QList>

// A device as a search found it: its latest reply, merged by MAC over every adapter and round.
struct FoundDevice
{
    Frame::DeviceReply reply; // the latest accepted reply
    QList<int> interfaces;    // interface indexes it answered on, in the order first heard
    int roundsAnswered = 0;   // rounds in which at least one reply of it arrived
    int lastRound = -1;
    // Every different set of settings it answered with, first heard first, up to MaxSettingsHeard:
    // a device answers with one, so a second means that something else answers for its MAC.
    QList<AddressCheck::Settings> settingsHeard;
    static constexpr int MaxSettingsHeard = 4;
    // Another device of the same search answered on one of the same adapters with this IP address:
    // a unicast there would reach only one of the two.
    bool addressShared = false;

    AddressCheck::Settings settings() const { return AddressCheck::settingsFromBytes(reply.netAddr); }
};

// Takes one accepted reply, received on `interfaceIndex` during `round` (counted from 1), into the
// list: a device already listed under the reply's MAC is updated in place (its latest values win),
// any other is appended. True when the device is new to the list.
bool mergeReply(QList<FoundDevice> &devices, const Frame::DeviceReply &reply, int interfaceIndex, int round);

// True when two devices hold one IP address behind a common adapter: a unicast to that address
// reaches only one of them. Behind different adapters they do not share it: a unicast pinned to an
// adapter never reaches the other.
bool shareAddress(quint32 ip, const QList<int> &interfaces, quint32 otherIp, const QList<int> &otherInterfaces);

// Sets addressShared on every device that shares its address with another device of the list.
void markSharedAddresses(QList<FoundDevice> &devices);

// The device with this MAC, or nullptr.
const FoundDevice *findDevice(const QList<FoundDevice> &devices, const QByteArray &mac);
