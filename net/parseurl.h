// Splitting a URL into what a connection and a request need: the service, the host, the object
// (path and query, as sent in the request line) and the port.
#pragma once
#include <string>

// Service types of a split URL. FTP, gopher and HTTP carry the numbers the platform's connect
// call uses for those services.
enum : unsigned long {
  AFX_INET_SERVICE_FTP = 1,
  AFX_INET_SERVICE_GOPHER = 2,
  AFX_INET_SERVICE_HTTP = 3,
  AFX_INET_SERVICE_HTTPS = 0x1003,
};

// Accepts "scheme://[user[:password]@]host[:port][/path][?query][#fragment]" with the schemes
// http, https, ftp and gopher (any case); white space around the URL is ignored. The port is the
// scheme's default unless one of 1..65535 is given; an empty port is refused. The object is the
// path with its query ("/" when the URL has no path), without the fragment, with spaces and bytes
// above 0x7F written as %XX. Control characters anywhere, a missing or malformed host, or a text
// without "://" give 0 and leave the outputs untouched; nonzero on success.
int AfxParseURL(const std::string& strURL, unsigned long& dwServiceType, std::string& strServer,
                std::string& strObject, unsigned short& nPort);
