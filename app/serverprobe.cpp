#include "app/serverprobe.h"

#include <winsock2.h>

#include <cstring>

#include "framework/scopedhandle.h"

namespace {

struct SocketTraits {
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
  static void Close(SOCKET s) { ::closesocket(s); }
};
using UniqueSocket = framework::ScopedHandle<SOCKET, SocketTraits>;

}  // namespace

BOOL ConnectProbe(const std::string& host, unsigned short port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(port);
  address.sin_addr.s_addr = ::inet_addr(host.c_str());
  if (address.sin_addr.s_addr == INADDR_NONE) {
    const hostent* entry = ::gethostbyname(host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list || !entry->h_addr_list[0]) {
      return FALSE;
    }
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof address.sin_addr);
  }
  UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, 0));
  if (!socket) return FALSE;
  return ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
             ? TRUE
             : FALSE;
}
