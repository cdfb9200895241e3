#include "claimsquatter.h"

#include "protocol/deviceport.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kvrtest {

ClaimSquatter::ClaimSquatter(Manner manner, const QByteArray &answer) : m_manner(manner), m_answer(answer)
{
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract: a leading zero byte, then the name without its terminator.
    const size_t nameLength = std::strlen(DevicePort::ClaimName);
    std::memcpy(address.sun_path + 1, DevicePort::ClaimName, nameLength);
    const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + nameLength);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::listen(listener, 8) != 0 || ::pipe2(m_stop, O_CLOEXEC) != 0) {
        if (listener >= 0)
            ::close(listener);
        return;
    }
    m_listener = listener;
    m_thread = std::thread(&ClaimSquatter::serve, this);
}

ClaimSquatter::~ClaimSquatter()
{
    if (m_thread.joinable()) {
        (void)!::write(m_stop[1], "x", 1);
        m_thread.join();
    }
    for (int fd : {m_listener, m_stop[0], m_stop[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void ClaimSquatter::serve()
{
    std::vector<int> askers; // kept open until the end: a silent holder never hangs up
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents)
            break;
        const int asker = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (asker < 0)
            continue;
        ++m_connections;
        askers.push_back(asker);
        treat(asker);
    }
    for (int asker : askers)
        ::close(asker);
}

void ClaimSquatter::treat(int asker)
{
    switch (m_manner) {
    case Answers:
        (void)!::send(asker, m_answer.constData(), size_t(m_answer.size()), MSG_NOSIGNAL);
        return;
    case Silent:
        return;
    case Endless:
        // Until the asker hangs up, or the squatter is told to stop.
        for (;;) {
            pollfd fds[2] = {{asker, POLLOUT, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || fds[1].revents || (fds[0].revents & (POLLERR | POLLHUP)))
                return;
            if (::send(asker, m_answer.constData(), size_t(m_answer.size()), MSG_NOSIGNAL | MSG_DONTWAIT) < 0
                && errno != EAGAIN)
                return;
        }
    }
}

} // namespace kvrtest
