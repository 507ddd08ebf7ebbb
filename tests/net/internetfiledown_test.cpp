// CInternetFileDown under Wine against the test update server (run-with-server.py): every status
// and fault the server can produce, the queue, progress, text requests and their time-outs.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/progressctrl.h"
#include "crypto/sha256hasher.h"
#include "net/downloadjob.h"
#include "net/downloadname.h"
#include "net/partialrecord.h"
#include "net/downloadtimings.h"
#include "net/internetfiledown.h"
#include "tests/net/nettestsupport.h"

using namespace nettest;
using namespace testsupport;

namespace {

// The downloader's diagnostic lines, in code page 949.
const char kLineTooManyUsers[] = "사용자가 너무 많습니다. 조금 더 기다려 주십시오.\n";
const char kLocation1[] = "다운로드 가능한 접속 위치를 알 수 없습니다.\nError Location = 1\n";
const char kLocation6[] = "서버로부터 잘못된 응답이 수신되었습니다. 잠시후 사용하여 주십시오.\nError Location = 6\n";
const char kLocation7[] = "서버로부터 읽기 오류가 발생하였습니다. 잠시후 다시 사용하여 주십시오.\nError Location = 7\n";
const char kCannotWriteSuffix[] = " 디렉토리에 더 이상 쓰기가 불가능 합니다.\n";
const char kReadingHeaderSuffix[] = " 헤더를 읽고 있습니다.\n";

// Records every position the worker sets, from whichever thread.
class RecordingProgress : public framework::CProgressCtrl {
 public:
  int SetPos(int nPos) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int previous = m_positions.empty() ? 0 : m_positions.back();
    m_positions.push_back(nPos);
    return previous;
  }
  std::vector<int> Positions() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_positions;
  }

 private:
  std::mutex m_mutex;
  std::vector<int> m_positions;
};

class DownloadTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ServerHostPort().empty()) << "run through run-with-server.py";
    StartLogCapture();
    m_folder = FreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name()) + "\\";
    m_down = std::make_unique<CInternetFileDown>();
    m_down->SetSavePath(m_folder);
    m_down->SetProgressCtrl(&m_progress);
  }

  // File mode the way the update dialog uses it: fetch, wait, take the finished file.
  std::string Fetch(const std::string& url) {
    EXPECT_TRUE(m_down->DownloadNow(url, FALSE, TRUE));
    EXPECT_FALSE(m_down->IsRunning());
    return m_down->GetFinishedFile();
  }

  std::string m_folder;
  RecordingProgress m_progress;
  std::unique_ptr<CInternetFileDown> m_down;
};

TEST_F(DownloadTest, FetchesIntoTheDownloadFolderAsAPlainCacheBypassingGet) {
  const std::string url = ServerUrl("/__gen/300000/plain.bin");
  const std::string file = Fetch(url);
  EXPECT_EQ(file, m_folder + "plain.bin");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(file), 300000));
  EXPECT_FALSE(m_down->GetError());
  EXPECT_EQ(m_down->GetFinishedFile(), "");
  EXPECT_EQ(m_down->GetNextURL(), "");
  EXPECT_EQ(CountLog(url + kReadingHeaderSuffix), 1u);
  EXPECT_EQ(CountLog("FinishJob\n"), 1u);
  EXPECT_EQ(CountLog("DownloadNow Success\n"), 1u);
  // The agent is the executable's base name; nothing comes from a cache.
  EXPECT_TRUE(AccessLogHas("request GET /__gen/300000/plain.bin ua=net_download_test pragma=no-cache accept=*/*"));
}

const long long kAnySize = -2;

struct StatusCase {
  const char* name;
  const char* path;
  bool fetched;        // listed as finished, not re-queued
  long long size;      // of the finished (or left-behind) file; -1: no file; kAnySize: a file
  bool error;
  const char* logLine;  // expected WriteLog line, or null
  bool progressTo100;   // the bar moves up to 100; else it is never touched
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.path; }

class StatusAndFaults : public DownloadTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusAndFaults, EndAsTheStatusTableSays) {
  const StatusCase& c = GetParam();
  const std::string url = ServerUrl(c.path);
  const std::string localPath = m_folder + url.substr(url.rfind('/') + 1);
  const std::string file = Fetch(url);
  if (c.fetched) {
    EXPECT_EQ(file, localPath);
    EXPECT_EQ(m_down->GetNextURL(), "");
  } else {
    EXPECT_EQ(file, "");
    EXPECT_EQ(m_down->GetNextURL(), url) << "a failed URL goes back into the queue";
  }
  if (c.size == -1) {
    EXPECT_FALSE(IsFile(localPath));
  } else if (c.size == kAnySize) {
    EXPECT_TRUE(IsFile(localPath));
  } else {
    ASSERT_TRUE(IsFile(localPath));
    EXPECT_EQ(FileSize(localPath), static_cast<std::uint64_t>(c.size));
    EXPECT_TRUE(IsGenerated(ReadFileBytes(localPath), static_cast<size_t>(c.size)));
  }
  EXPECT_EQ(m_down->GetError(), c.error ? TRUE : FALSE);
  if (c.logLine) {
    EXPECT_EQ(CountLog(c.logLine), 1u) << c.logLine;
  }
  EXPECT_EQ(CountLog("ReLoadFile\n"), c.fetched ? 0u : 1u);
  const std::vector<int> positions = m_progress.Positions();
  if (c.progressTo100) {
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 100);
  } else {
    EXPECT_TRUE(positions.empty() || !c.fetched) << "no length, no progress";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Server, StatusAndFaults,
    testing::Values(
        StatusCase{"Ok", "/__gen/200000/ok.bin", true, 200000, false, nullptr, true},
        StatusCase{"Partial206IsAccepted", "/faults/206.bin", true, 5000, false, nullptr, true},
        StatusCase{"Denied401GivesAnEmptyFile", "/faults/401.bin", true, 0, false, nullptr, false},
        StatusCase{"Proxy407GivesAnEmptyFile", "/faults/407.bin", true, 0, false, nullptr, false},
        StatusCase{"NotFound404", "/talvoupdate/missing.zip", false, -1, true, kLocation6, false},
        StatusCase{"ServerError500", "/faults/500.bin", false, -1, true, kLocation6, false},
        StatusCase{"EmptyBody", "/faults/empty.bin", true, 0, false, nullptr, false},
        StatusCase{"NoContentLengthIsFetchedWholeWithoutProgress", "/faults/nolength.bin", true, 300000, false,
                   nullptr, false},
        // Cut off after 70000 of 300000 bytes: a read failure; the part stays where it is.
        StatusCase{"TruncatedBodyIsAReadFailure", "/faults/truncated.bin", false, 70000, true, kLocation7, false},
        // A reset may lose what was still in flight: some part of the body is left.
        StatusCase{"ConnectionResetIsAReadFailure", "/faults/reset.bin", false, kAnySize, true, kLocation7, false},
        StatusCase{"SlowDripStillCompletes", "/faults/drip.bin", true, 5000, false, nullptr, true}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// A body that breaks off is asked for again: from its first missing byte when the server proves
// (by a strong ETag or Last-Modified, with If-Range) that it is the same file, else from byte 0.
// Whatever happens, the file is one whole body of one version, or the failure row.
struct ResumeCase {
  const char* name;
  const char* path;
  long long pin;          // -1: no pin
  bool fetched;
  int version;            // of the whole body that must be on disk (the server's "version")
  long long sentBytes;    // the server's total for the path, -1: any (a reset loses bytes in flight)
  const char* rangeAsked;  // part of an access log line, or null when no Range may be asked
};

class ResumeAfterBreak : public DownloadTest, public testing::WithParamInterface<ResumeCase> {};

std::string VersionOf(size_t size, int version) {
  std::string data = Generated(size);
  if (version != 0)
    for (char& c : data) c = static_cast<char>(c ^ version);
  return data;
}

long long ServerSent(const std::string& path) {
  long long total = 0;
  const std::string needle = " " + path + " sent=";
  for (const std::string& line : AccessLog()) {
    const size_t at = line.find(needle);
    if (at != std::string::npos) total += std::atoll(line.c_str() + at + needle.size());
  }
  return total;
}

// The Range headers the server saw for a path, one after another ("" when none was asked).
std::string RangesAsked(const std::string& path) {
  std::string ranges;
  for (const std::string& line : AccessLog()) {
    if (line.find("request GET " + path + " ") == std::string::npos) continue;
    const size_t at = line.find(" range=");
    const size_t end = line.find(" if-range=", at);
    if (at == std::string::npos || end == std::string::npos) continue;
    const std::string range = line.substr(at + 7, end - at - 7);
    if (range != "-") ranges += (ranges.empty() ? "" : " ") + range;
  }
  return ranges;
}

TEST_P(ResumeAfterBreak, EndsWithOneWholeBodyOrTheFailureRow) {
  const ResumeCase& c = GetParam();
  if (c.pin >= 0) m_down->SetPinnedSize(static_cast<unsigned long long>(c.pin));
  m_down->SetHashBodies(TRUE);
  const std::string file = Fetch(ServerUrl(c.path));
  const std::string localPath = m_folder + DownloadFileName(c.path);
  if (c.fetched) {
    EXPECT_EQ(file, localPath);
    EXPECT_FALSE(m_down->GetError());
    EXPECT_TRUE(ReadFileBytes(localPath) == VersionOf(300000, c.version)) << "a body put together from pieces";
    crypto::Sha256Digest digest{};
    unsigned long long size = 0;
    ASSERT_TRUE(m_down->GetFinishedDigest(digest, size));
    crypto::Sha256Digest expected{};
    const std::string whole = VersionOf(300000, c.version);
    ASSERT_TRUE(crypto::Sha256(whole.data(), whole.size(), expected));
    EXPECT_EQ(digest, expected) << "the digest covers the whole body, resumed or not";
    EXPECT_EQ(size, 300000u);
    EXPECT_EQ(m_progress.Positions().back(), 100);
  } else {
    EXPECT_EQ(file, "");
    EXPECT_TRUE(m_down->GetError());
    EXPECT_EQ(CountLog(kLocation7), 1u);
    EXPECT_EQ(CountLog("ReLoadFile\n"), 1u);
  }
  if (c.sentBytes >= 0) {
    EXPECT_EQ(ServerSent(c.path), c.sentBytes);
  }
  bool asked = false;
  for (const std::string& line : AccessLog())
    if (line.find(std::string("request GET ") + c.path) != std::string::npos && line.find(" range=bytes=") != std::string::npos)
      asked = asked || (c.rangeAsked && line.find(c.rangeAsked) != std::string::npos) || !c.rangeAsked;
  EXPECT_EQ(asked, c.rangeAsked != nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Server, ResumeAfterBreak,
    testing::Values(
        ResumeCase{"StrongETagContinues", "/faults/resume/etag.bin", -1, true, 0, 300000,
                   "range=bytes=70000- if-range=\"493e0-v0\""},
        ResumeCase{"LastModifiedContinues", "/faults/resume/lastmod.bin", -1, true, 0, 300000,
                   "range=bytes=70000- if-range=Tue, 14 Nov 2023 22:13:20 GMT"},
        ResumeCase{"PinnedBodyContinues", "/faults/resume/pinned.bin", 300000, true, 0, 300000, "range=bytes=70000-"},
        ResumeCase{"ResetConnectionContinues", "/faults/resume/reset.bin", -1, true, 0, -1, "range=bytes="},
        ResumeCase{"CutThreeTimesContinuesEachTime", "/faults/resume/cutthrice.bin", -1, true, 0, 300000,
                   "range=bytes=170000-"},
        // Nothing proves the next answer is the same file: the whole body again.
        ResumeCase{"WeakETagStartsAgain", "/faults/resume/weaketag.bin", -1, true, 0, 370000, nullptr},
        ResumeCase{"NoValidatorStartsAgain", "/faults/resume/novalidator.bin", -1, true, 0, 370000, nullptr},
        // The server answers the range with something else: never glued to the bytes on disk.
        ResumeCase{"IgnoredRangeGives200AndStartsAgain", "/faults/resume/ignorerange.bin", -1, true, 0, 370000,
                   "range=bytes=70000-"},
        ResumeCase{"WrongContentRangeStartsAgain", "/faults/resume/wrongrange.bin", -1, true, 0, -1,
                   "range=bytes=70000-"},
        ResumeCase{"Unsatisfiable416StartsAgain", "/faults/resume/416.bin", -1, true, 0, 370000, "range=bytes=70000-"},
        ResumeCase{"ChangedFileIsTakenWholeInItsNewVersion", "/faults/resume/changed.bin", -1, true, 1, 370000,
                   "range=bytes=70000-"},
        // Cut every time: five tries, then the failure row of a cut body.
        ResumeCase{"CutEveryTimeEndsInTheReadFailure", "/faults/resume/cutalways.bin", -1, false, 0, 250000,
                   "range=bytes=200000-"}),
    [](const testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

// Across runs: a pinned body that did not finish is kept with a record beside the installation;
// the next downloader for the same pin continues it after hashing what is on disk, and anything
// it cannot prove starts from zero. Only the pin over the whole body decides in the end.
crypto::Sha256Digest DigestOf(const std::string& data) {
  crypto::Sha256Digest digest{};
  EXPECT_TRUE(crypto::Sha256(data.data(), data.size(), digest));
  return digest;
}

std::string HexOf(const crypto::Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : digest) hex += std::string{kDigits[b >> 4], kDigits[b & 15]};
  return hex;
}

TEST_F(DownloadTest, BodyEndedMidwayIsContinuedByTheNextDownloaderFromItsRecord) {
  const size_t kSize = 3u << 20;
  const std::string path = "/faults/keep/ended.bin";
  const crypto::Sha256Digest pin = DigestOf(Generated(kSize));
  const std::string keep = m_folder + "Update.partial\\";
  const std::string recordFile = keep + PartialRecordName(HexOf(pin));
  {
    CInternetFileDown first;
    first.SetSavePath(m_folder + "first\\");
    first.SetPinnedSize(kSize);
    first.SetHashBodies(TRUE);
    first.SetKeepPartial(keep, pin);
    first.DownloadNow(ServerUrl(path), FALSE, FALSE);
    ASSERT_TRUE(WaitUntil([&] { return AccessLogHas("stalled " + path); }, 30000));
    ::Sleep(1000);  // what was sent before the silence arrives
  }  // the run ends with the body half-way
  ASSERT_TRUE(WaitUntil([] { return DownloadJob::LiveCount() == 0; }, 40000));
  PartialRecord record;
  ASSERT_TRUE(record.Parse(ReadFileBytes(recordFile)));
  EXPECT_GE(record.nBytesOnDisk, 2u << 20) << "recorded at least every MiB";
  EXPECT_LE(record.nBytesOnDisk, 2500000u);
  EXPECT_FALSE(IsFile(m_folder + "first\\ended.bin")) << "a partial body is never taken for the package";

  m_down->SetPinnedSize(kSize);
  m_down->SetHashBodies(TRUE);
  m_down->SetKeepPartial(keep, pin);
  EXPECT_EQ(Fetch(ServerUrl(path)), m_folder + "ended.bin");
  EXPECT_TRUE(ReadFileBytes(m_folder + "ended.bin") == Generated(kSize));
  crypto::Sha256Digest digest{};
  unsigned long long size = 0;
  ASSERT_TRUE(m_down->GetFinishedDigest(digest, size));
  EXPECT_EQ(digest, pin);
  EXPECT_TRUE(AccessLogHas("request GET " + path + " ua=net_download_test pragma=no-cache accept=*/* range=bytes=" +
                           std::to_string(record.nBytesOnDisk) + "- if-range=\"300000-v0\""));
  EXPECT_FALSE(IsFile(recordFile));
  EXPECT_FALSE(IsFile(keep + PartialBodyName(HexOf(pin))));
}

struct KeptCase {
  const char* name;
  std::uint64_t recordBytes;
  std::uint64_t partBytes;
  bool partIsGarbage;   // bytes that are not the package's
  bool otherPinInRecord;
  bool recordCutShort;
  bool continued;       // the range asked starts at recordBytes
};

class KeptPartial : public DownloadTest, public testing::WithParamInterface<KeptCase> {};

TEST_P(KeptPartial, IsContinuedOnlyWhenItsRecordHolds) {
  const KeptCase& c = GetParam();
  const size_t kSize = 300000;
  const std::string path = std::string("/faults/keep/lie-") + c.name + ".bin";
  const std::string whole = Generated(kSize);
  const crypto::Sha256Digest pin = DigestOf(whole);
  const std::string keep = m_folder + "Update.partial\\";
  ASSERT_TRUE(CreateDirectoryA(keep.c_str(), nullptr));
  PartialRecord record;
  record.strUrl = ServerUrl(path);
  record.nPinnedSize = kSize;
  record.strPinnedSha256 = c.otherPinInRecord ? HexOf(DigestOf("another package")) : HexOf(pin);
  record.strETag = "\"493e0-v0\"";
  record.nBytesOnDisk = c.recordBytes;
  std::string text = record.Format();
  if (c.recordCutShort) text.resize(text.size() / 2);
  ASSERT_TRUE(WriteFileBytes(keep + PartialRecordName(HexOf(pin)), text));
  ASSERT_TRUE(WriteFileBytes(keep + PartialBodyName(HexOf(pin)),
                             c.partIsGarbage ? std::string(c.partBytes, 'x') : whole.substr(0, c.partBytes)));
  m_down->SetPinnedSize(kSize);
  m_down->SetHashBodies(TRUE);
  m_down->SetKeepPartial(keep, pin);
  const std::string file = Fetch(ServerUrl(path));
  ASSERT_EQ(file, m_folder + "lie-" + c.name + ".bin");
  crypto::Sha256Digest digest{};
  unsigned long long size = 0;
  ASSERT_TRUE(m_down->GetFinishedDigest(digest, size));
  // Bytes on disk that are not the package's: the digest over the whole body says so.
  EXPECT_EQ(digest == pin, !c.partIsGarbage);
  EXPECT_EQ(ReadFileBytes(file) == whole, !c.partIsGarbage);
  EXPECT_EQ(ServerSent(path), static_cast<long long>(c.continued ? kSize - c.recordBytes : kSize));
  EXPECT_EQ(RangesAsked(path), c.continued ? "bytes=" + std::to_string(c.recordBytes) + "-" : "");
  EXPECT_FALSE(IsFile(keep + PartialRecordName(HexOf(pin))));
  EXPECT_FALSE(IsFile(keep + PartialBodyName(HexOf(pin))));
}

INSTANTIATE_TEST_SUITE_P(
    Server, KeptPartial,
    testing::Values(
        // name, record bytes, part bytes, garbage, other pin, cut record, continued
        KeptCase{"honest", 100000, 100000, false, false, false, true},
        KeptCase{"longerpart", 100000, 150000, false, false, false, true},  // bytes past the record are cut off
        KeptCase{"shorterpart", 200000, 100000, false, false, false, false},
        KeptCase{"otherpin", 100000, 100000, false, true, false, false},
        KeptCase{"cutrecord", 100000, 100000, false, false, true, false},
        KeptCase{"garbage", 100000, 100000, true, false, false, true}),
    [](const testing::TestParamInfo<KeptCase>& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, PartialsOfPackagesNoLongerOfferedAreRemoved) {
  const std::string keep = m_folder + "Update.partial\\";
  ASSERT_TRUE(CreateDirectoryA(keep.c_str(), nullptr));
  const crypto::Sha256Digest offered = DigestOf("offered");
  const crypto::Sha256Digest gone = DigestOf("gone");
  for (const std::string& name : {PartialBodyName(HexOf(offered)), PartialRecordName(HexOf(offered)),
                                  PartialBodyName(HexOf(gone)), PartialRecordName(HexOf(gone)),
                                  PartialRecordName(HexOf(gone)) + ".new", std::string("stray.bin")})
    ASSERT_TRUE(WriteFileBytes(keep + name, "x"));
  CInternetFileDown::RemoveOtherPartials(keep, {offered});
  EXPECT_TRUE(IsFile(keep + PartialBodyName(HexOf(offered))));
  EXPECT_TRUE(IsFile(keep + PartialRecordName(HexOf(offered))));
  EXPECT_FALSE(IsFile(keep + PartialBodyName(HexOf(gone))));
  EXPECT_FALSE(IsFile(keep + PartialRecordName(HexOf(gone))));
  EXPECT_FALSE(IsFile(keep + PartialRecordName(HexOf(gone)) + ".new"));
  EXPECT_FALSE(IsFile(keep + "stray.bin"));
}

TEST_F(DownloadTest, UrlWithoutSchemeIsFetchedAsHttp) {
  const std::string url = ServerHostPort() + "/__gen/1000/noscheme.bin";
  EXPECT_EQ(Fetch(url), m_folder + "noscheme.bin");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "noscheme.bin"), 1000));
  EXPECT_FALSE(m_down->GetError());
}

TEST_F(DownloadTest, UrlWithoutSlashIsSavedAsSetupFile) {
  EXPECT_EQ(Fetch(ServerHostPort()), m_folder + "SetupFile.exe");
  EXPECT_EQ(ReadFileBytes(m_folder + "SetupFile.exe"), "Talvo update server\n");
}

TEST_F(DownloadTest, UrlEndingInSlashCannotBeSavedAndIsRequeuedWithoutErrorFlag) {
  const std::string url = ServerUrl("/talvoupdate/");
  EXPECT_EQ(Fetch(url), "");
  EXPECT_EQ(CountLog(m_folder + kCannotWriteSuffix), 1u);
  EXPECT_FALSE(m_down->GetError());
  EXPECT_EQ(m_down->GetNextURL(), url);
}

TEST_F(DownloadTest, FileNameThatWouldLeaveTheFolderIsRefused) {
  const std::string url = ServerUrl("/__gen/10/escape?to=..\\..\\escaped.bin");
  EXPECT_EQ(Fetch(url), "");
  EXPECT_EQ(CountLog(m_folder + "escape?to=..\\..\\escaped.bin" + kCannotWriteSuffix), 1u);
  EXPECT_FALSE(IsFile(m_folder + "..\\..\\escaped.bin"));
  EXPECT_FALSE(m_down->GetError());
  EXPECT_EQ(m_down->GetNextURL(), url);
}

TEST_F(DownloadTest, DeviceNameIsRefusedRatherThanWrittenToTheDevice) {
  for (const char* name : {"nul", "Nul.zip"}) {
    const std::string url = ServerUrl(std::string("/__gen/10/") + name);
    EXPECT_EQ(Fetch(url), "") << name;
    EXPECT_EQ(CountLog(m_folder + name + kCannotWriteSuffix), 1u) << name;
    EXPECT_EQ(m_down->GetNextURL(), url) << name;
  }
  EXPECT_FALSE(m_down->GetError());
}

TEST_F(DownloadTest, UrlThatDoesNotSplitFailsAtOnceWithoutRequeue) {
  EXPECT_EQ(Fetch("http://127.0.0.1:99999/x.zip"), "");
  EXPECT_EQ(CountLog(kLocation1), 1u);
  EXPECT_TRUE(m_down->GetError());
  EXPECT_EQ(m_down->GetNextURL(), "");
  EXPECT_EQ(CountLog(kLineTooManyUsers), 0u);
}

TEST_F(DownloadTest, ReadOnlyFileOfTheSameNameIsReplaced) {
  const std::string path = m_folder + "readonly.bin";
  ASSERT_TRUE(WriteFileBytes(path, "old old old old"));
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Fetch(ServerUrl("/__gen/7/readonly.bin")), path);
  EXPECT_TRUE(IsGenerated(ReadFileBytes(path), 7));
  EXPECT_FALSE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(DownloadTest, RefusedConnectionIsTriedNineTimesAbout100msApartThenRequeued) {
  const std::string url = "http://127.0.0.1:" + Env("TALVO_TEST_CLOSED_PORT") + "/talvoupdate/TalvoXP_341.zip";
  EXPECT_EQ(Fetch(url), "");
  std::vector<double> times;
  for (const LogLine& line : CapturedLog()) {
    if (line.text == kLineTooManyUsers) times.push_back(line.ms);
  }
  ASSERT_EQ(times.size(), 9u);
  for (size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], 90.0) << "attempt " << i;
    EXPECT_LT(times[i] - times[i - 1], 2000.0) << "attempt " << i;
  }
  EXPECT_TRUE(m_down->GetError());
  EXPECT_EQ(m_down->GetNextURL(), url);
  EXPECT_EQ(CountLog("ReLoadFile\n"), 1u);
}

TEST_F(DownloadTest, FailedSendFollowedBySuccessFetchesButKeepsTheErrorFlag) {
  // Nothing listens on the port at first; a one-shot server appears once the first attempt
  // has failed, well within the 100 ms pause before the next one.
  LateServer server("hello");
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/late.bin";
  server.Start([] { return CountLog(kLineTooManyUsers) >= 1; });
  const std::string file = Fetch(url);
  ASSERT_TRUE(server.Join());
  EXPECT_EQ(file, m_folder + "late.bin");
  EXPECT_EQ(ReadFileBytes(file), "hello");
  EXPECT_GE(CountLog(kLineTooManyUsers), 1u);
  EXPECT_LT(CountLog(kLineTooManyUsers), 9u);
  EXPECT_TRUE(m_down->GetError());
}

TEST_F(DownloadTest, HundredMegabytesMoveTheBarOnePercentAtATimeTo100) {
  const size_t size = 100u << 20;
  const std::string file = Fetch(ServerUrl("/__gen/104857600/big.bin"));
  ASSERT_EQ(file, m_folder + "big.bin");
  EXPECT_EQ(FileSize(file), size);
  EXPECT_TRUE(IsGenerated(ReadFileBytes(file), size));
  ::DeleteFileA(file.c_str());
  // Told only when the percentage changes: every value from 0 to 100 exactly once, in order.
  const std::vector<int> positions = m_progress.Positions();
  ASSERT_EQ(positions.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(positions[static_cast<size_t>(i)], i);
}

TEST_F(DownloadTest, MovesARealProgressBarOwnedByTheWaitingThread) {
  INITCOMMONCONTROLSEX init = {sizeof init, ICC_PROGRESS_CLASS};
  ASSERT_TRUE(::InitCommonControlsEx(&init));
  HWND hWnd = ::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(hWnd, nullptr);
  framework::CProgressCtrl bar(hWnd);
  bar.SetRange(0, 100);
  bar.SetPos(0);
  m_down->SetProgressCtrl(&bar);
  m_down->DownloadNow(ServerUrl("/__gen/3000000/bar.bin"), FALSE, FALSE);
  // This thread owns the bar, so it keeps handling messages while the worker sends them.
  PumpUntil([&] { return !m_down->IsRunning(); }, 60000);
  EXPECT_FALSE(m_down->IsRunning());
  EXPECT_EQ(m_down->GetFinishedFile(), m_folder + "bar.bin");
  EXPECT_EQ(bar.GetPos(), 100);
  ::DestroyWindow(hWnd);
}

TEST_F(DownloadTest, TwoQueuedUrlsAreFetchedInTurnAndOnlyTheSecondIsListed) {
  const std::string first = ServerUrl("/__gen/1000/first.bin");
  const std::string second = ServerUrl("/__gen/2000/second.bin");
  m_down->AddURL(first, TRUE);
  m_down->AddURL(second, FALSE);
  // Waiting covers the whole chain: the second job starts from the end of the first.
  m_down->DownloadNow("", FALSE, TRUE);
  EXPECT_EQ(m_down->GetFinishedFile(), m_folder + "second.bin");
  EXPECT_EQ(m_down->GetFinishedFile(), "");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "first.bin"), 1000));
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "second.bin"), 2000));
  EXPECT_EQ(CountLog("FinishJob\n"), 2u);
  EXPECT_EQ(CountLog("DownloadNow Success\n"), 1u);
}

TEST_F(DownloadTest, DownloadNowWithAUrlReplacesWhatWasQueued) {
  m_down->AddURL(ServerUrl("/__gen/10/stale.bin"), TRUE);
  EXPECT_EQ(Fetch(ServerUrl("/__gen/20/fresh.bin")), m_folder + "fresh.bin");
  EXPECT_FALSE(IsFile(m_folder + "stale.bin"));
  EXPECT_EQ(m_down->GetNextURL(), "");
}

TEST_F(DownloadTest, QueuedUrlAfterAFailureWaitsForTheNextStart) {
  const std::string bad = ServerUrl("/faults/500.bin");
  const std::string good = ServerUrl("/__gen/10/after.bin");
  m_down->AddURL(bad, TRUE);
  m_down->AddURL(good, FALSE);
  m_down->DownloadNow("", FALSE, TRUE);
  EXPECT_EQ(m_down->GetFinishedFile(), "");
  // The failed URL went to the back; nothing retried it or started the next one by itself.
  EXPECT_EQ(m_down->GetNextURL(), good);
  EXPECT_EQ(m_down->GetNextURL(), bad);
  EXPECT_FALSE(IsFile(m_folder + "after.bin"));
}

TEST_F(DownloadTest, DeletingTheDownloaderCancelsARunningTransferWithoutWaitingForIt) {
  m_down->DownloadNow(ServerUrl("/faults/longdrip.bin"), FALSE, FALSE);
  ASSERT_TRUE(WaitUntil([] { return AccessLogHas("request GET /faults/longdrip.bin"); }, 10000));
  const double start = NowMs();
  m_down.reset();
  EXPECT_LT(NowMs() - start, 2500.0) << "the drip takes 5 s";
  // The worker ends by itself (here once its blocked read returns) and frees the job.
  EXPECT_TRUE(WaitUntil([] { return DownloadJob::LiveCount() == 0; }, 20000));
  EXPECT_EQ(CountLog(kLocation7), 0u) << "a cancelled transfer is no news";
}

TEST_F(DownloadTest, CancelledTransferLeavesAFileOfTheSameNameAlone) {
  const std::string path = m_folder + "401drip.bin";
  ASSERT_TRUE(WriteFileBytes(path, "keep me"));
  // The authentication reply drips for 5 s; the worker is draining it when it is cut loose.
  m_down->DownloadNow(ServerUrl("/faults/401drip.bin"), FALSE, FALSE);
  ASSERT_TRUE(WaitUntil([] { return LogContains(kReadingHeaderSuffix); }, 10000));
  ::Sleep(300);
  m_down.reset();
  EXPECT_TRUE(WaitUntil([] { return DownloadJob::LiveCount() == 0; }, 20000));
  EXPECT_EQ(ReadFileBytes(path), "keep me");
}

// Downloaders that give up a file transfer after 2 s without a byte.
class ShortIdleLimitTest : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    DownloadTimings timings;
    timings.fileIdleLimitMs = 2000;
    m_down = std::make_unique<CInternetFileDown>(timings);
    m_down->SetSavePath(m_folder);
    m_down->SetProgressCtrl(&m_progress);
  }
};

TEST_F(ShortIdleLimitTest, TheProductWaitsAMinute) { EXPECT_EQ(DownloadTimings().fileIdleLimitMs, 60000u); }

TEST_F(ShortIdleLimitTest, SlowButMovingBodyIsNotCut) {
  // 10 bytes every 0.5 s for 5 s in all: longer than the limit, but never silent that long.
  EXPECT_EQ(Fetch(ServerUrl("/faults/longdrip.bin")), m_folder + "longdrip.bin");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "longdrip.bin"), 100));
  EXPECT_FALSE(m_down->GetError());
}

// The server sends headers (and part of the body) and then nothing, for 12 s, before it closes.
// A read blocked on such a connection under Wine returns only when it closes, so the wait must
// end without it.
class StalledServer : public ShortIdleLimitTest, public testing::WithParamInterface<const char*> {};

TEST_P(StalledServer, FailsTheReadAtTheIdleLimitWithoutWaitingForTheWorker) {
  const std::string path = GetParam();
  const std::string url = ServerUrl(path);
  const long before = DownloadJob::LiveCount();
  EXPECT_EQ(Fetch(url), "");
  EXPECT_TRUE(AccessLogHas("stalled " + path));
  EXPECT_FALSE(AccessLogHas("stall-over " + path)) << "waited until the server closed";
  EXPECT_TRUE(m_down->GetError());
  EXPECT_EQ(CountLog(kLocation7), 1u);
  EXPECT_EQ(CountLog("ReLoadFile\n"), 1u);
  EXPECT_EQ(m_down->GetNextURL(), url);
  EXPECT_EQ(m_down->GetNextURL(), "");

  // The worker, cut loose, ends once the server closes, and adds nothing to what was reported.
  EXPECT_TRUE(WaitUntil([&] { return DownloadJob::LiveCount() <= before; }, 30000));
  EXPECT_TRUE(AccessLogHas("stall-over " + path));
  EXPECT_EQ(CountLog(kLocation7), 1u);
  EXPECT_EQ(CountLog("ReLoadFile\n"), 1u);
  EXPECT_EQ(CountLog("FinishJob\n"), 0u);
  EXPECT_EQ(m_down->GetFinishedFile(), "");
  EXPECT_EQ(m_down->GetNextURL(), "");
}

INSTANTIATE_TEST_SUITE_P(Server, StalledServer,
                         testing::Values("/faults/stallheaders.bin", "/faults/stall.bin"));

// What a file body may cost: a pinned body exactly its size, an unpinned one a bound, and every
// body a pace (shortened here: 1024 bytes in each 1.5 s, bodies without a pin up to 100000 bytes).
class BodyLimitTest : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    Renew();
  }
  void Renew() {
    DownloadTimings timings;
    timings.paceWindowMs = 1500;
    timings.minBytesPerWindow = 1024;
    timings.maxUnpinnedBodyBytes = 100000;
    m_down = std::make_unique<CInternetFileDown>(timings);
    m_down->SetSavePath(m_folder);
  }
};

TEST_F(BodyLimitTest, TheProductsLimits) {
  EXPECT_EQ(DownloadTimings().paceWindowMs, 60000u);
  EXPECT_EQ(DownloadTimings().minBytesPerWindow, 60u * 1024);
  EXPECT_EQ(DownloadTimings().maxUnpinnedBodyBytes, 256ull << 20);
}

TEST_F(BodyLimitTest, BodiesPastTheirBoundFailAndLeaveNothing) {
  const struct {
    const char* what;
    const char* path;
    long long pin;  // -1: none
    const char* line;
  } cases[] = {
      {"endless, pinned", "/faults/endless.bin", 5000, "longer than its pinned size"},
      {"no length, longer than pinned", "/faults/nolength.bin", 70000, "longer than its pinned size"},
      {"endless, unpinned", "/faults/endless.bin", -1, "longer than its pinned size"},
      {"announced past the unpinned bound", "/__gen/100001/big.bin", -1, "longer than its pinned size"},
      {"announced length not the pin", "/__gen/5000/other.bin", 4999, "Content-Length is not the pinned size"},
      {"announced length not the pin, shorter", "/__gen/5000/short.bin", 5001, "Content-Length is not the pinned size"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartLogCapture();
    Renew();
    if (c.pin >= 0) m_down->SetPinnedSize(static_cast<unsigned long long>(c.pin));
    const std::string url = ServerUrl(c.path);
    const std::string name = url.substr(url.rfind('/') + 1);
    EXPECT_EQ(Fetch(url), "");
    EXPECT_TRUE(m_down->GetError());
    EXPECT_TRUE(LogContains(c.line)) << [] {
      std::string all;
      for (const LogLine& line : CapturedLog()) all += line.text;
      return all;
    }();
    EXPECT_FALSE(Exists(m_folder + name)) << "the body's file stays";
    EXPECT_EQ(m_down->GetNextURL(), url) << "a failed file transfer is queued again";
  }
}

TEST_F(BodyLimitTest, BodiesWithinTheirBoundArrive) {
  m_down->SetPinnedSize(5000);
  EXPECT_EQ(Fetch(ServerUrl("/__gen/5000/exact.bin")), m_folder + "exact.bin");
  EXPECT_TRUE(IsGenerated(ReadFileBytes(m_folder + "exact.bin"), 5000));
  m_down = std::make_unique<CInternetFileDown>(DownloadTimings());
  m_down->SetSavePath(m_folder);
  // 300000 bytes without a length, unpinned, at the product's bound.
  EXPECT_EQ(Fetch(ServerUrl("/faults/nolength.bin")), m_folder + "nolength.bin");
  EXPECT_FALSE(m_down->GetError());
}

// A byte every 0.3 s: never silent long, yet far below the pace. It ends within a window or two.
TEST_F(BodyLimitTest, ATrickleIsGivenUpAtThePace) {
  const double start = NowMs();
  EXPECT_EQ(Fetch(ServerUrl("/faults/trickle.bin")), "");
  const double elapsed = NowMs() - start;
  EXPECT_GE(elapsed, 1400.0);
  EXPECT_LT(elapsed, 8000.0) << "the trickle takes 30 s";
  EXPECT_TRUE(m_down->GetError());
  EXPECT_TRUE(LogContains("arrives too slowly"));
}

class TextRequestTest : public DownloadTest {
 protected:
  std::string Text(const std::string& url, DWORD timeoutMs, double& elapsedMs) {
    const double start = NowMs();
    std::string text = m_down->DownloadToString(url, timeoutMs);
    elapsedMs = NowMs() - start;
    return text;
  }
};

TEST_F(TextRequestTest, ReturnsTheDocumentAsSoonAsTheBodyIsIn) {
  double elapsed = 0;
  const std::string text =
      Text(ServerUrl("/talvoupdate/PlusInformation.php?ver=3.40&WinOS=6.1"), 30000, elapsed);
  EXPECT_LT(elapsed, 15000.0);
  std::string expected = ReadFileBytes(Env("TALVO_SOURCE_DIR_WIN") + "\\samples\\release\\talvoupdate\\PlusInformation.php");
  for (size_t at; (at = expected.find("@SERVER@")) != std::string::npos;) expected.replace(at, 8, ServerHostPort());
  EXPECT_EQ(text, expected);
  EXPECT_NE(text.find("[Talvo]"), std::string::npos);
  EXPECT_FALSE(m_down->IsRunning());
  EXPECT_FALSE(m_down->GetError());
  const std::vector<std::string> queries = ReadLines(Env("TALVO_TEST_INFO_LOG"));
  ASSERT_FALSE(queries.empty());
  EXPECT_EQ(queries.back(), "ver=3.40&WinOS=6.1");
}

TEST_F(TextRequestTest, ServerErrorGivesAnEmptyTextOnlyAfterTheFullTimeout) {
  double elapsed = 0;
  EXPECT_EQ(Text(ServerUrl("/faults/500.txt"), 1500, elapsed), "");
  EXPECT_GE(elapsed, 1450.0);
  EXPECT_LT(elapsed, 6000.0);
  EXPECT_EQ(CountLog(kLocation6), 1u);
  EXPECT_EQ(m_down->GetNextURL(), "") << "text requests are never queued";
  EXPECT_FALSE(m_down->IsRunning());
}

TEST_F(TextRequestTest, AuthenticationReplyGivesAnEmptyTextAtOnce) {
  double elapsed = 0;
  EXPECT_EQ(Text(ServerUrl("/faults/401.txt"), 30000, elapsed), "");
  EXPECT_LT(elapsed, 15000.0);
  EXPECT_FALSE(m_down->GetError());
}

TEST_F(TextRequestTest, SlowDripIsCutAtTheTimeoutAndItsWorkerEndsOnItsOwn) {
  const long before = DownloadJob::LiveCount();
  double elapsed = 0;
  EXPECT_EQ(Text(ServerUrl("/faults/drip.txt"), 1500, elapsed), "");
  EXPECT_GE(elapsed, 1450.0);
  EXPECT_LT(elapsed, 4000.0) << "the drip takes 5 s";
  EXPECT_FALSE(m_down->IsRunning());
  // Deleting the downloader at once is safe: the worker, still alive, was cut loose from it.
  m_down.reset();
  // It was not killed either: it ends by itself and releases the job.
  EXPECT_TRUE(WaitUntil([&] { return DownloadJob::LiveCount() <= before; }, 20000));
  EXPECT_EQ(CountLog(kLocation7), 0u);
  CInternetFileDown again;
  EXPECT_EQ(again.DownloadToString(ServerUrl("/__gen/5/again.txt"), 30000), Generated(5));
}

TEST_F(TextRequestTest, BodyOfUpToFourMegabytesIsReturnedAndALongerOneFails) {
  double elapsed = 0;
  const size_t limit = CInternetFileDown::kMaxTextBody;
  EXPECT_TRUE(IsGenerated(Text(ServerUrl("/__gen/4194304/limit.txt"), 60000, elapsed), limit));
  EXPECT_EQ(Text(ServerUrl("/__gen/4194305/over.txt"), 8000, elapsed), "");
  EXPECT_GE(elapsed, 7950.0);
  EXPECT_EQ(CountLog(kLocation7), 1u);
  EXPECT_TRUE(WaitUntil([] { return DownloadJob::LiveCount() == 0; }, 10000));
}

TEST_F(TextRequestTest, AsksOnlyIfChangedWithWhatWasKeptAndTakesA304AsTheCopyBeingCurrent) {
  using Answer = CInternetFileDown::ConditionalText;
  const std::string url = ServerUrl("/talvoupdate/PlusInformation.php?ver=3.40&WinOS=6.1");
  const Answer first = m_down->DownloadToStringIfChanged(url, 30000, HttpValidator());
  ASSERT_EQ(first.outcome, Answer::kBody);
  EXPECT_NE(first.strBody.find("[Talvo]"), std::string::npos);
  ASSERT_FALSE(first.validator.strETag.empty());
  ASSERT_FALSE(first.validator.strLastModified.empty());
  EXPECT_FALSE(AccessLogHas("if-none-match=")) << "nothing kept: a plain request";

  HttpValidator dateOnly;
  dateOnly.strLastModified = first.validator.strLastModified;
  HttpValidator otherTag = first.validator;
  otherTag.strETag = "\"another\"";
  HttpValidator smuggling = first.validator;
  smuggling.strETag += "\r\nX-Smuggled: 1";
  const struct {
    const char* what;
    HttpValidator known;
    const char* asked;  // the conditions the server saw
    Answer::Outcome outcome;
  } cases[] = {
      {"both kept", first.validator, "if-none-match=", Answer::kNotModified},
      {"a date only", dateOnly, "if-modified-since=", Answer::kNotModified},
      {"another ETag", otherTag, "if-none-match=\"another\"", Answer::kBody},
      {"a value that would add a header: asked plainly", smuggling, nullptr, Answer::kBody},
  };
  for (const auto& c : cases) {
    const double start = NowMs();
    const Answer answer = m_down->DownloadToStringIfChanged(url, 30000, c.known);
    EXPECT_LT(NowMs() - start, 15000.0) << c.what;
    EXPECT_EQ(answer.outcome, c.outcome) << c.what;
    EXPECT_EQ(answer.strBody, c.outcome == Answer::kBody ? first.strBody : "") << c.what;
    EXPECT_FALSE(m_down->IsRunning()) << c.what;
    std::string request;
    for (const std::string& line : AccessLog())
      if (line.find(" request GET /talvoupdate/PlusInformation.php") != std::string::npos) request = line;
    if (c.asked) {
      EXPECT_NE(request.find(c.asked), std::string::npos) << c.what << ": " << request;
    } else {
      EXPECT_EQ(request.find(" if-none-match="), std::string::npos) << c.what << ": " << request;
      EXPECT_EQ(request.find(" if-modified-since="), std::string::npos) << c.what << ": " << request;
    }
  }
  EXPECT_TRUE(AccessLogHas("not-modified /talvoupdate/PlusInformation.php"));
}

TEST_F(TextRequestTest, NotModifiedToAPlainRequestIsAFailure) {
  using Answer = CInternetFileDown::ConditionalText;
  const double start = NowMs();
  const Answer answer = m_down->DownloadToStringIfChanged(ServerUrl("/faults/304.txt"), 1500, HttpValidator());
  EXPECT_EQ(answer.outcome, Answer::kFailed);
  EXPECT_GE(NowMs() - start, 1450.0);
}

TEST_F(TextRequestTest, EmptyUrlStartsNothingAndWaitsOutTheTimeout) {
  double elapsed = 0;
  EXPECT_EQ(Text("", 300, elapsed), "");
  EXPECT_GE(elapsed, 290.0);
  EXPECT_FALSE(m_down->IsRunning());
}

}  // namespace
