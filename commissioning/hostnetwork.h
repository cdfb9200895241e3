#pragma once

#include "adapters.h"
#include "founddevice.h"
#include "protocol/addresscheck.h"

// This machine's side of the address checks: the IPv4 addresses of its adapters that are up (with
// a link or without: an address stays this machine's while the cable is out) and their subnets.
// Loopback adapters are left out: no device is reached through them, and their usual addresses
// (127/8) are refused on their own.
AddressCheck::Context hostNetworkContext(const QList<Adapters::Candidate> &candidates);

// The same for the adapters the system has now.
AddressCheck::Context hostNetworkContext();

// The same for a search: the devices it found (their addresses are taken) and the adapters it
// searched on (this machine's addresses and subnets).
AddressCheck::Context searchContext(const QList<FoundDevice> &found, const QList<Adapters::Adapter> &adapters);
