// The start-up's rules without Windows: version order, build choice, update flags, the dialog
// decision, the retry rules of probe and request, and how the command line is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/serverretry.h"
#include "app/startupdecision.h"
#include "catalogue/versiontext.h"

namespace {

// Code page 949: "\xb0\xa1" is one Hangul syllable, "\xb3\xaa" a later one; 0xFF is a single byte.
TEST(VersionText, ComparesAsTextWithDoubleByteCharactersAsUnits) {
  struct Case {
    const char* installed;
    const char* offered;
    bool lower;
  };
  const Case cases[] = {
      {"3.9", "3.10", false},  // text, not numbers: "3.9" is above "3.10"
      {"3.10", "3.9", true},
      {"1.0", "1.00", true},  // a prefix sorts first
      {"1.00", "1.0", false},
      {"", "0", true},  // nothing recorded: outdated against any offer
      {"", "", false},
      {"2.5", "", false},  // an empty offer never makes anything outdated
      {"3.35", "3.35", false},
      {"3.36", "3.35", false},  // never back to an older version
      {"\xb0\xa1", "\xb3\xaa", true},
      {"\xb3\xaa", "\xb0\xa1", false},
      // A double-byte unit weighs lead * 256 + trail: above the single byte 0xFF, though its lead
      // byte alone is below it.
      {"A\xff", "A\xb0\xa1", true},
      {"A\xb0\xa1", "A\xff", false},
      // The trail byte belongs to its lead byte, even when it looks like an ASCII letter.
      {"\x81\x41", "\x81\x41\x42", true},
      {"\x81\x41" "1", "\x81\x42", true},
      // A lead byte cut off at the end sorts below every full character with that lead byte and
      // above every single byte.
      {"1\xb0", "1\xb0\xa1", true},
      {"1\xb0", "1\xff", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsVersionLower(c.installed, c.offered), c.lower)
        << "installed '" << c.installed << "' offered '" << c.offered << "'";
  }
  EXPECT_EQ(CompareVersionText("3.10", "3.10"), 0);
  EXPECT_LT(CompareVersionText("3.10", "3.9"), 0);
  EXPECT_GT(CompareVersionText("3.9", "3.10"), 0);
}

TEST(OSType, PlatformIdGivesTheFamilyCodeAndTheCodeTheBuild) {
  EXPECT_EQ(OSTypeFromPlatformId(1), 0xa04u);
  EXPECT_EQ(OSTypeFromPlatformId(2), 0x105u);
  EXPECT_EQ(OSTypeFromPlatformId(0), 4u);
  EXPECT_EQ(OSTypeFromPlatformId(3), 4u);

  for (unsigned code : {4u, 5u, 0x105u}) EXPECT_TRUE(SelectsXPBuild(code)) << code;
  for (unsigned code : {0u, 1u, 2u, 3u, 0xa04u, 0x104u}) EXPECT_FALSE(SelectsXPBuild(code)) << code;
}

OfferedVersions Offer() {
  OfferedVersions offered;
  offered.strXPVersion = "3.40";
  offered.str98Version = "3.20";
  offered.strOcxVersion = "2.0";
  offered.strServerVersion = "15";
  offered.strDatVersion = "1.23";
  offered.strOptionsVersion = "7";
  return offered;
}

InstalledVersions UpToDate() {
  InstalledVersions installed;
  installed.strVersion = "3.40";
  installed.strLoginOcxVersion = "2.0";
  installed.strServerListVersion = "15";
  installed.strDatVersion = "1.23";
  installed.strOptionsVersion = "7";
  return installed;
}

TEST(UpdateFlags, EachComponentSetsOnlyItsOwnFlag) {
  EXPECT_FALSE(ComputeUpdateFlags(UpToDate(), Offer(), 0x105).AnyUpdate());

  InstalledVersions installed = UpToDate();
  installed.strLoginOcxVersion = "1.9";
  UpdateFlags flags = ComputeUpdateFlags(installed, Offer(), 0x105);
  EXPECT_TRUE(flags.bUpdateLoginOcx);
  EXPECT_FALSE(flags.bUpdateProgram || flags.bUpdateServerList || flags.bUpdateDat || flags.bUpdateOptions);

  installed = UpToDate();
  installed.strServerListVersion = "14";
  flags = ComputeUpdateFlags(installed, Offer(), 0x105);
  EXPECT_TRUE(flags.bUpdateServerList);
  EXPECT_FALSE(flags.bUpdateProgram || flags.bUpdateLoginOcx || flags.bUpdateDat || flags.bUpdateOptions);

  installed = UpToDate();
  installed.strDatVersion = "0";  // what a missing filter data file reads as
  flags = ComputeUpdateFlags(installed, Offer(), 0x105);
  EXPECT_TRUE(flags.bUpdateDat);
  EXPECT_FALSE(flags.bUpdateProgram || flags.bUpdateLoginOcx || flags.bUpdateServerList || flags.bUpdateOptions);

  installed = UpToDate();
  installed.strOptionsVersion = "";
  flags = ComputeUpdateFlags(installed, Offer(), 0x105);
  EXPECT_TRUE(flags.bUpdateOptions);
  EXPECT_FALSE(flags.bUpdateProgram || flags.bUpdateLoginOcx || flags.bUpdateServerList || flags.bUpdateDat);
}

TEST(UpdateFlags, TheFamilyCodeChoosesWhichMainProgramBuildIsCompared) {
  // Installed 3.30: below the XP build 3.40, above the 98 build 3.20.
  InstalledVersions installed = UpToDate();
  installed.strVersion = "3.30";
  struct Case {
    unsigned osType;
    bool outdated;
  };
  for (const Case& c : {Case{0x105, true}, Case{4, true}, Case{5, true}, Case{0xa04, false}, Case{0, false}}) {
    EXPECT_EQ(ComputeUpdateFlags(installed, Offer(), c.osType).bUpdateProgram, c.outdated) << c.osType;
  }
}

TEST(UpdateFlags, OptionBackupOnlyForAnOutdatedMainProgramOfThe335Line) {
  struct Case {
    const char* installed;
    bool backup;
  };
  const Case cases[] = {
      {"3.35", true}, {"3.35.1", true}, {"3.351", true},  // the first four characters decide
      {"3.3", false}, {"3.36", false}, {"", false},
  };
  for (const Case& c : cases) {
    InstalledVersions installed = UpToDate();
    installed.strVersion = c.installed;
    const UpdateFlags flags = ComputeUpdateFlags(installed, Offer(), 0x105);
    EXPECT_TRUE(flags.bUpdateProgram) << c.installed;
    EXPECT_EQ(flags.bOptionBackup, c.backup) << c.installed;
  }
  // Up to date: no backup even on the 3.35 line.
  OfferedVersions offered = Offer();
  offered.strXPVersion = "3.35";
  InstalledVersions installed = UpToDate();
  installed.strVersion = "3.35";
  EXPECT_FALSE(ComputeUpdateFlags(installed, offered, 0x105).bOptionBackup);
}

TEST(UpdateDialogDecision, NeedsAnUpdateAnExtraProjectAndNoRunningClientForTheMainProgram) {
  int nClientChecks = 0;
  const auto running = [&nClientChecks] { ++nClientChecks; return true; };
  const auto notRunning = [&nClientChecks] { ++nClientChecks; return false; };

  UpdateFlags nothing;
  EXPECT_FALSE(ShouldShowUpdateDialog(nothing, 2, notRunning));

  UpdateFlags program;
  program.bUpdateProgram = true;
  EXPECT_FALSE(ShouldShowUpdateDialog(program, 0, notRunning)) << "no extra project: no dialog";
  EXPECT_EQ(nClientChecks, 0);
  EXPECT_FALSE(ShouldShowUpdateDialog(program, 1, running)) << "client running: no dialog";
  EXPECT_TRUE(ShouldShowUpdateDialog(program, 1, notRunning));
  EXPECT_EQ(nClientChecks, 2);

  UpdateFlags others;
  others.bUpdateDat = true;
  others.bUpdateOptions = true;
  nClientChecks = 0;
  EXPECT_TRUE(ShouldShowUpdateDialog(others, 1, running)) << "only the main program waits for the client";
  EXPECT_EQ(nClientChecks, 0);
  EXPECT_FALSE(ShouldShowUpdateDialog(others, 0, running));
}

// Records the attempts and pauses of a retry rule.
struct RetryRecorder {
  int nAttempts = 0;
  int nSucceedAt = 0;  // attempt that succeeds; 0: none does
  std::vector<unsigned long> sleeps;
  std::function<bool()> Attempt() {
    return [this] { return ++nAttempts == nSucceedAt; };
  }
  SleepFn Sleep() {
    return [this](unsigned long ms) { sleeps.push_back(ms); };
  }
};

TEST(ServerProbe, ForegroundTriesFourTimesASecondApartThenGivesUp) {
  RetryRecorder r;
  EXPECT_FALSE(ProbeUntilConnected(false, StartupTimings{}, r.Attempt(), r.Sleep()));
  EXPECT_EQ(r.nAttempts, 4);
  EXPECT_EQ(r.sleeps, (std::vector<unsigned long>{1000, 1000, 1000}));

  RetryRecorder second;
  second.nSucceedAt = 2;
  EXPECT_TRUE(ProbeUntilConnected(false, StartupTimings{}, second.Attempt(), second.Sleep()));
  EXPECT_EQ(second.nAttempts, 2);
  EXPECT_EQ(second.sleeps, (std::vector<unsigned long>{1000}));
}

TEST(ServerProbe, BackgroundWaitsSevenSecondsBetweenAttemptsWithoutLimit) {
  RetryRecorder r;
  r.nSucceedAt = 30;
  EXPECT_TRUE(ProbeUntilConnected(true, StartupTimings{}, r.Attempt(), r.Sleep()));
  EXPECT_EQ(r.nAttempts, 30);
  EXPECT_EQ(r.sleeps, std::vector<unsigned long>(29, 7000));
}

TEST(InformationRequest, ForegroundAsksOnceBackgroundElevenTimesSevenSecondsApart) {
  RetryRecorder foreground;
  EXPECT_FALSE(RequestUntilReceived(false, StartupTimings{}, foreground.Attempt(), foreground.Sleep()));
  EXPECT_EQ(foreground.nAttempts, 1);
  EXPECT_TRUE(foreground.sleeps.empty());

  RetryRecorder background;
  EXPECT_FALSE(RequestUntilReceived(true, StartupTimings{}, background.Attempt(), background.Sleep()));
  EXPECT_EQ(background.nAttempts, 11);
  EXPECT_EQ(background.sleeps, std::vector<unsigned long>(10, 7000));

  RetryRecorder third;
  third.nSucceedAt = 3;
  EXPECT_TRUE(RequestUntilReceived(true, StartupTimings{}, third.Attempt(), third.Sleep()));
  EXPECT_EQ(third.nAttempts, 3);
  EXPECT_EQ(third.sleeps.size(), 2u);
}

TEST(StartupTimingsSeam, ShorterWaitsChangeThePausesButNotTheCounts) {
  StartupTimings fast;
  fast.foregroundProbePauseMs = 10;
  fast.backgroundRequestPauseMs = 20;
  RetryRecorder probe;
  EXPECT_FALSE(ProbeUntilConnected(false, fast, probe.Attempt(), probe.Sleep()));
  EXPECT_EQ(probe.sleeps, (std::vector<unsigned long>{10, 10, 10}));
  RetryRecorder request;
  EXPECT_FALSE(RequestUntilReceived(true, fast, request.Attempt(), request.Sleep()));
  EXPECT_EQ(request.nAttempts, 11);
  EXPECT_EQ(request.sleeps, std::vector<unsigned long>(10, 20));
}

TEST(CommandLine, BackgroundIsACaseSensitiveSubstringOfTheArguments) {
  struct Case {
    const char* full;
    bool background;
  };
  const Case cases[] = {
      {"TalvoUpdate.exe /background", true},
      {"\"C:\\Program Files\\Talvo\\TalvoUpdate.exe\" -x /background", true},
      {"TalvoUpdate.exe /backgroundnow", true},
      {"TalvoUpdate.exe x/background", true},
      {"TalvoUpdate.exe /BACKGROUND", false},
      {"TalvoUpdate.exe background", false},
      {"TalvoUpdate.exe", false},
      // The program's own path is not part of the arguments.
      {"\"Z:/background/TalvoUpdate.exe\"", false},
      {"Z:/background/TalvoUpdate.exe -x", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsBackgroundCommandLine(CommandLineArguments(c.full)), c.background) << c.full;
  }
  EXPECT_EQ(CommandLineArguments("\"a b\\p.exe\"   /x  y"), "/x  y");
  EXPECT_EQ(CommandLineArguments("p.exe\t/x"), "/x");
  EXPECT_EQ(CommandLineArguments("\"unterminated /x"), "");
  EXPECT_EQ(CommandLineArguments(""), "");
}

TEST(CommandLine, IgnoreInstancesNeedsADashOrSlashAndExactCase) {
  for (const char* yes : {"-ignoreinstances", "/ignoreinstances"}) EXPECT_TRUE(IsIgnoreInstancesArgument(yes)) << yes;
  for (const char* no : {"/IgnoreInstances", "ignoreinstances", "--ignoreinstances", "/ignoreinstancesX",
                         "\\ignoreinstances", "/", ""}) {
    EXPECT_FALSE(IsIgnoreInstancesArgument(no)) << no;
  }
}

TEST(InformationUrl, SendsAtMostFourCharactersOfTheVersionAndTheWindowsVersion) {
  const std::string stem = "http://h/talvoupdate/PlusInformation.php?ver=";
  EXPECT_EQ(BuildInformationUrl(stem, "3.35.1", "6.1"), stem + "3.35&WinOS=6.1");
  EXPECT_EQ(BuildInformationUrl(stem, "2.5", "5.1"), stem + "2.5&WinOS=5.1");
  EXPECT_EQ(BuildInformationUrl(stem, "", "6.1"), stem + "&WinOS=6.1");
}

TEST(WinVersionText, MaskChoosesThePartsJoinedByPoints) {
  EXPECT_EQ(FormatWinVersionText(0x110, 6, 1, 7601), "6.1");
  EXPECT_EQ(FormatWinVersionText(0x110, 4, 10, 0x8000 + 2222), "4.10");
  EXPECT_EQ(FormatWinVersionText(0x100, 5, 1, 2600), "5");
  EXPECT_EQ(FormatWinVersionText(0x10, 5, 1, 2600), "1");
  EXPECT_EQ(FormatWinVersionText(0x111, 5, 1, 2600), "5.1.2600");
  EXPECT_EQ(FormatWinVersionText(0x1, 5, 1, 2600), "2600");
  EXPECT_EQ(FormatWinVersionText(0, 5, 1, 2600), "");

  EXPECT_EQ(WinVersionBuildValue(7601, 2), 7601u);
  // 9x puts the version into the build number's high word; only the low 15 bits count.
  EXPECT_EQ(WinVersionBuildValue(0x040A08AE, 1), 0x08AEu + 0x8000u);
  EXPECT_EQ(WinVersionBuildValue(0x12345, 2), 0x2345u);
}

}  // namespace

TEST(StartupRules, OutsideTheRolloutShareOnlyWhatIsMissingIsOffered) {
  UpdateFlags all;
  all.bUpdateProgram = all.bUpdateLoginOcx = all.bUpdateServerList = all.bUpdateDat = all.bUpdateOptions = true;
  all.bOptionBackup = true;
  InstalledVersions installed{"3.35", "105", "27", "1.0", "2"};
  const UpdateFlags held = HoldBackOutsideShare(all, installed);
  EXPECT_FALSE(held.AnyUpdate());
  EXPECT_FALSE(held.bOptionBackup);

  // A component the installation lacks is never held back.
  const struct {
    const char* what;
    std::string InstalledVersions::*missing;
    bool UpdateFlags::*offered;
  } cases[] = {
      {"no main program", &InstalledVersions::strVersion, &UpdateFlags::bUpdateProgram},
      {"no filter data", &InstalledVersions::strDatVersion, &UpdateFlags::bUpdateDat},
      {"no server list", &InstalledVersions::strServerListVersion, &UpdateFlags::bUpdateServerList},
      {"no login control", &InstalledVersions::strLoginOcxVersion, &UpdateFlags::bUpdateLoginOcx},
      {"no options", &InstalledVersions::strOptionsVersion, &UpdateFlags::bUpdateOptions},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InstalledVersions lacking = installed;
    lacking.*c.missing = "";
    const UpdateFlags flags = HoldBackOutsideShare(all, lacking);
    EXPECT_TRUE(flags.*c.offered);
    EXPECT_EQ(flags.bUpdateProgram + flags.bUpdateDat + flags.bUpdateServerList + flags.bUpdateLoginOcx +
                  flags.bUpdateOptions, 1);
  }
  // Nothing outdated stays nothing.
  EXPECT_FALSE(HoldBackOutsideShare(UpdateFlags(), InstalledVersions()).AnyUpdate());
}
