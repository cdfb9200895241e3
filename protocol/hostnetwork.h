#pragma once

#include "addresscheck.h"

// This machine's side of the address checks, read from the system at each call: the IPv4
// addresses of its adapters that are up and their subnets. Loopback adapters are left out: no
// device is reached through them, and their usual addresses (127/8) are refused on their own.
AddressCheck::Context hostNetworkContext();
