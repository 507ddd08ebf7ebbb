// The limits of a file transfer. The product always uses the defaults; only test programs build a
// downloader with shorter ones.
#pragma once

struct DownloadTimings {
  // Given up when nothing at all has arrived for this long.
  unsigned long fileIdleLimitMs = 60000;
  // The pace a body must keep once its headers are in: at least minBytesPerWindow in every
  // paceWindowMs (1 KiB/s on average over each minute). A body that keeps the connection alive
  // with a byte now and then is given up within a window or two, and any body that keeps the pace
  // ends within its size divided by that rate.
  unsigned long paceWindowMs = 60000;
  unsigned long minBytesPerWindow = 60 * 1024;
  // A body whose size nobody pinned (a build without a release key) is refused past this: far
  // above any package of the client, far below what would fill a disk.
  unsigned long long maxUnpinnedBodyBytes = 256ull << 20;
  // A file body that breaks off is asked for again (from its first missing byte where the server
  // can prove it is the same file) up to this many times in all, the pause before each new try
  // doubling from the first.
  unsigned bodyAttempts = 5;
  unsigned long firstRetryPauseMs = 500;
  // A kept body's record is brought up to date (its bytes flushed to disk first) at least this
  // often: what a run ended without warning loses at most.
  unsigned long recordEveryBytes = 1u << 20;
};
