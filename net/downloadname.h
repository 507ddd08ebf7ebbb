// The pure rules of a download: the local file name taken from a URL, the expected length
// from a Content-Length header, and the progress percentage.
#pragma once
#include <cstdint>
#include <string>

// The URL's text after its last "/" (empty for a URL ending in "/", query text included);
// "SetupFile.exe" when the URL has no "/" at all.
std::string DownloadFileName(const std::string& strURL);

// The decimal value of a Content-Length text; 0 (unknown) for a text that does not start with
// a digit after leading blanks, or whose value does not fit in 63 bits.
std::uint64_t ContentLengthValue(const char* szLength);

// received * 100 / expected, truncated, for any sizes without overflow (expected > 0). A body
// longer than announced gives more than 100; the result is capped at INT32_MAX.
int ProgressPercent(std::uint64_t received, std::uint64_t expected);
