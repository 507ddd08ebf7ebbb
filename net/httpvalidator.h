// The validators of an HTTP answer (its ETag and Last-Modified) and the small record that keeps
// them beside a copy of the body, so that a later request can ask for the body only if it changed.
#pragma once
#include <string>

struct HttpValidator {
  std::string strETag;          // as the server sent it, weak ones included
  std::string strLastModified;  // as the server sent it

  bool IsEmpty() const { return strETag.empty() && strLastModified.empty(); }
  // Both values fit into a request header as they are: printable ASCII without line breaks, and
  // not overlong. A kept value that does not is never sent.
  bool IsSafe() const;
  // If-None-Match and If-Modified-Since lines (each ending in CR LF) for what is kept; "" for none.
  std::string ConditionalHeaders() const;

  std::string FormatRecord() const;
  // False for anything but a whole record with at least one safe validator.
  bool ParseRecord(const std::string& text);
};

// Whether a header value received from a server may be kept and sent back.
bool IsSafeValidatorValue(const std::string& value);
