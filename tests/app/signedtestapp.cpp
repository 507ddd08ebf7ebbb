// TalvoUpdate carrying the test release keys (tests/crypto/fixtures/test-release-key.pub, and the
// backup test-backup-key.pub), for the end-to-end tests of signed documents; the harness installs it as TalvoUpdate.exe. The same
// program as the product in every other respect, the product's waits included.
#include "app/talvoupdate.h"

CTalvoUpdateApp theApp(StartupTimings(), TALVO_TEST_RELEASE_KEY);
