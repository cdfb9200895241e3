#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// This machine's network adapters that can reach devices: IPv4, up with a link, able to broadcast.
// choose() is pure, so that any set of adapters can be tried; systemCandidates() asks the system.
namespace Adapters {

struct Address
{
    quint32 ip = 0; // host byte order
    int prefixLength = 0;
};

struct Adapter
{
    QString name;
    int index = 0; // the system's interface index: frames are pinned to it, replies report it
    QList<Address> addresses;

    // True when the address lies in the subnet of one of this adapter's addresses.
    bool holds(quint32 ip) const;
    // "198.18.0.1/16", the addresses joined by ", ".
    QString addressText() const;
};

// One interface as the system reports it.
struct Candidate
{
    QString name;
    int index = 0;
    bool up = false; // administratively up and with a link
    bool loopback = false;
    bool pointToPoint = false;
    bool canBroadcast = false;
    QList<Address> addresses; // IPv4 only
    bool administrativelyUp = false; // switched on, with a link or without
};

struct Skipped
{
    QString name;
    QString reason; // "loopback", "down", ...
    bool loopback = false;
};

struct Choice
{
    QList<Adapter> adapters; // eligible, in the system's order
    QList<Skipped> skipped;  // ineligible, with the reason
    QStringList unknown;     // wanted names no interface has
};

// The eligible candidates; with names wanted, only those (each must exist and be eligible).
Choice choose(const QList<Candidate> &candidates, const QStringList &wanted = {});

const Adapter *findByIndex(const QList<Adapter> &adapters, int index);
// The adapter's name, or "#7" for an interface index none of them has.
QString nameOf(const QList<Adapter> &adapters, int index);

QList<Candidate> systemCandidates();

} // namespace Adapters
