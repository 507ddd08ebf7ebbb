// The installation's rollout value: a random 64-bit number made once and kept beside the updater
// (Update.rollout, 16 hexadecimal digits), shared by every Windows user of the installation. From
// it and a release number comes the installation's bucket for that release
// (catalogue/rolloutbucket); a value drawn anew at every check would make phasing do nothing, so
// it is never replaced once kept.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

std::string GetRolloutValuePath();

// The kept value; when there is none, one made by `random` is written first (created exclusively,
// so two updaters starting at once keep the same one). FALSE with the system's error (or
// ERROR_INVALID_DATA for a file that holds no value) when there is no value to use.
BOOL ReadOrMakeRolloutValue(const std::function<bool(uint64_t&)>& random, uint64_t& value, DWORD& dwError);
