// Sender addresses from what the socket layer gives, for UDP datagrams and
// TCP connections alike.
#include "net/sender.h"

#include <ws2tcpip.h>

#include <cstring>

SenderAddress SenderOf(const sockaddr_storage* from) {
    SenderAddress sender = {};
    if (from->ss_family == AF_INET6) {
        const sockaddr_in6* a = reinterpret_cast<const sockaddr_in6*>(from);
        sender.family = kSenderIPv6;
        sender.port = ntohs(a->sin6_port);
        memcpy(sender.address, &a->sin6_addr, 16);
        sender.scopeId = a->sin6_scope_id;
    } else {
        const sockaddr_in* a = reinterpret_cast<const sockaddr_in*>(from);
        sender.family = kSenderIPv4;
        sender.port = ntohs(a->sin_port);
        memcpy(sender.address, &a->sin_addr, 4);
    }
    return sender;
}
