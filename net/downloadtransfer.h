// How a file body came: for the log line support reads.
#pragma once

struct DownloadTransfer {
  unsigned long long nKeptBytesTaken = 0;  // continued from a partial body kept on disk
  unsigned nRangeRequests = 0;             // asked for again from a byte on after it broke off
  unsigned long long nReceivedBytes = 0;   // body bytes that came over the wire, repeats included
};
