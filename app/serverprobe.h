// The reachability probe: a plain blocking TCP connect, no data sent.
#pragma once
#include <windows.h>

#include <string>

// TRUE when a TCP connection to (host, port) is established; the socket is closed at once. A
// dotted address is used as it is; a host name is resolved first and fails when it does not
// resolve. Windows Sockets must have been started.
BOOL ConnectProbe(const std::string& host, unsigned short port);
