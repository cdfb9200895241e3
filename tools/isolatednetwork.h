#pragma once

#include <QNetworkInterface>

#include <algorithm>

namespace kvrtest {

// True inside the private network namespace that tools/isolated.sh creates: only loopback and the
// run's own kvr* interfaces exist. Programs that open sockets for tests, benchmarks or pictures
// refuse to run elsewhere.
inline bool isIsolatedNetwork()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    return std::all_of(interfaces.cbegin(), interfaces.cend(), [](const QNetworkInterface &i) {
        return i.name() == QLatin1String("lo") || i.name().startsWith(QLatin1String("kvr"));
    });
}

} // namespace kvrtest
