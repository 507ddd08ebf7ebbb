// File-system helpers shared by the downloader, the installer and the option file writer.
// Paths are ANSI texts passed to the system as they are (no normalisation).
#pragma once
#include <windows.h>

#include <string>

// Creates the folder at `path` (one trailing backslash ignored) with every missing parent.
// 1 when something already exists at `path` or the last folder was created, else 0. A path of
// MAX_PATH (260) characters or more is refused with 0 before anything is created.
int CreateDirectoryTree(const std::string& path);

// Removes `folder` and returns 1 when the folder itself is gone, else 0 (also for an empty
// text, which would otherwise name the root of the current drive).
// bDeleteFiles TRUE: deletes the files directly in the folder and every subfolder that holds no
// files. bDeleteFiles FALSE: removes a tree of empty folders and stops (returning 0) at the
// first file, whose read-only mark is cleared all the same. Files inside subfolders are never
// deleted.
int DeleteDirectoryTree(const std::string& folder, BOOL bDeleteFiles);

// Removes `folder` with everything below it, however deep; a link inside it (a junction) is
// removed itself, never followed. 1 when the folder is gone (or was not there), else 0.
int RemoveFolderTree(const std::string& folder);

// Move a file or folder (MoveFileA); 1 on success, 0 when the move fails, for example because
// the new path already exists.
int RenameFileNoThrow(const std::string& oldPath, const std::string& newPath);
int RenamePath(const std::string& oldPath, const std::string& newPath);

// The folder packages are downloaded into and unpacked in: the executable's folder followed by
// "\Update\" (always ending with a backslash). It only ever holds what the run under way
// fetched and unpacked: emptied at start-up and when a run begins and ends.
std::string GetStagingFolder();
// Removes the staging folder with all it holds (a run's leftovers, partial downloads); 1 when it
// is gone.
int EmptyStagingFolder();
// Beside the staging folder: the journal of the installation step under way, and the folder its
// set-aside files go to (same volume as the installation, so setting aside is a rename).
std::string GetInstallJournalPath();
std::string GetSetAsideFolder();
// Beside the staging folder too (so emptying that never touches it): package bodies that broke
// off, each with its record, kept for the next run to continue. Ends with a backslash.
std::string GetPartialFolder();
