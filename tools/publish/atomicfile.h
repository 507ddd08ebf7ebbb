// Replacing a served file so that a web server only ever serves the old or the new whole file.
#pragma once
#include <filesystem>
#include <string>

// Writes `bytes` to a new file of a unique name beside `path` (created exclusively, so it can
// replace nothing), flushes it to the disk, closes it and renames it over `path`. On failure
// `path` is as it was, the new file is removed and `error` says what failed.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes, std::string& error);
