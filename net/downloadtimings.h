// How long a file transfer may go without receiving anything before it is given up. The product
// always uses the default; only test programs build a downloader with a shorter one.
#pragma once

struct DownloadTimings {
  unsigned long fileIdleLimitMs = 60000;
};
