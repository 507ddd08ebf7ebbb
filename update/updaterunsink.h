// What an update run tells whoever shows it. Called on the run's thread; an implementation for a
// window hands each call over without waiting (a run never waits for a window).
#pragma once

// The window logs each status it shows by its number here, so the order is kept.
enum class RunStatus { kDownloading, kExtracting, kInstalling, kDone, kFailed };

class IUpdateRunSink {
 public:
  virtual void ShowStatus(RunStatus status) = 0;
  // Entry nDone of nTotal is under way.
  virtual void ShowCounter(int nDone, int nTotal) = 0;
  // The progress of the current step runs from 0 to nUpper; only the latest position matters.
  virtual void SetProgressRange(int nUpper) = 0;
  virtual void ShowProgress(int nPos) = 0;

 protected:
  ~IUpdateRunSink() = default;
};
