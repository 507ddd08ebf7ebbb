#include "net/parseurl.h"

#include <cstddef>

namespace {

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SchemeFromText(const std::string& scheme, unsigned long& service, unsigned short& port) {
  std::string lower;
  for (char c : scheme) lower += LowerAscii(c);
  if (lower == "http") { service = AFX_INET_SERVICE_HTTP; port = 80; return true; }
  if (lower == "https") { service = AFX_INET_SERVICE_HTTPS; port = 443; return true; }
  if (lower == "ftp") { service = AFX_INET_SERVICE_FTP; port = 21; return true; }
  if (lower == "gopher") { service = AFX_INET_SERVICE_GOPHER; port = 70; return true; }
  return false;
}

// Registered names: letters, digits, '-', '.', '_' and '~'; no empty labels at either end.
bool IsHostName(const std::string& host) {
  if (host.empty() || host.front() == '.' || host.back() == '.') return false;
  for (char c : host) {
    if (!(IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_' || c == '~')) return false;
  }
  return true;
}

// The inside of "[...]": an IPv6 address written with hex digits, ':' and '.'.
bool IsIpv6Literal(const std::string& text) {
  if (text.size() < 2) return false;
  bool colon = false;
  for (char c : text) {
    const char l = LowerAscii(c);
    if (c == ':') colon = true;
    else if (!(IsAsciiDigit(c) || (l >= 'a' && l <= 'f') || c == '.')) return false;
  }
  return colon;
}

bool PortFromText(const std::string& text, unsigned short& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned long value = 0;
  for (char c : text) {
    if (!IsAsciiDigit(c)) return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<unsigned short>(value);
  return true;
}

// Request targets travel in the request line: spaces and non-ASCII bytes are escaped there.
std::string EscapeObject(const std::string& raw) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(raw.size());
  for (unsigned char c : raw) {
    if (c == ' ' || c >= 0x80) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

int AfxParseURL(const std::string& strURL, unsigned long& dwServiceType, std::string& strServer,
                std::string& strObject, unsigned short& nPort) {
  size_t begin = 0;
  size_t end = strURL.size();
  while (begin < end && IsBlank(strURL[begin])) ++begin;
  while (end > begin && IsBlank(strURL[end - 1])) --end;
  const std::string url = strURL.substr(begin, end - begin);
  for (unsigned char c : url) {
    if (IsControl(c)) return 0;
  }

  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) return 0;
  const std::string scheme = url.substr(0, schemeEnd);
  unsigned long service = 0;
  unsigned short port = 0;
  if (!SchemeFromText(scheme, service, port)) return 0;

  const size_t authorityBegin = schemeEnd + 3;
  size_t authorityEnd = url.find_first_of("/?#", authorityBegin);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  std::string authority = url.substr(authorityBegin, authorityEnd - authorityBegin);
  // User and password are not used: the request carries no credentials of its own.
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);

  std::string host;
  std::string portText;
  bool hasPort = false;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return 0;
    host = authority.substr(1, close - 1);
    if (!IsIpv6Literal(host)) return 0;
    const std::string rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return 0;
      hasPort = true;
      portText = rest.substr(1);
    }
  } else {
    const size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string::npos) {
      hasPort = true;
      portText = authority.substr(colon + 1);
    }
    if (!IsHostName(host)) return 0;
  }
  if (hasPort && !PortFromText(portText, port)) return 0;

  std::string object = url.substr(authorityEnd);
  const size_t fragment = object.find('#');
  if (fragment != std::string::npos) object.resize(fragment);
  if (object.empty() || object.front() != '/') object.insert(0, "/");

  dwServiceType = service;
  strServer = host;
  strObject = EscapeObject(object);
  nPort = port;
  return 1;
}
