// The shared files, folders and registry helpers in one include, for the tests that take them all;
// they live in tests/support (library talvo_testsupport).
#pragma once
#include "tests/support/files.h"
#include "tests/support/freshfolder.h"
#include "tests/support/registry.h"
