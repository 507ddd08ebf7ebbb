// The waits of the start-up's server probe and information request. The product always uses
// the defaults; only test programs build the application with shorter ones.
#pragma once

struct StartupTimings {
  unsigned long foregroundProbePauseMs = 1000;     // between connect attempts in the foreground
  unsigned long backgroundProbePauseMs = 7000;     // between connect attempts in the background
  unsigned long foregroundRequestTimeoutMs = 10000;
  unsigned long backgroundRequestTimeoutMs = 30000;
  unsigned long backgroundRequestPauseMs = 7000;   // between document requests in the background
};

// A foreground run gives up after this many failed connects; a background run never does.
constexpr int kForegroundProbeAttempts = 4;
// A background run makes at most this many document requests; a foreground run makes one.
constexpr int kBackgroundRequestAttempts = 11;
