// The sender of a datagram or connection, as entries name it.
#pragma once

#include <winsock2.h>

#include "syslog/parser.h"

// The sender from the address the socket gave (IPv4 or IPv6).
SenderAddress SenderOf(const sockaddr_storage* from);
