#include "net/downloadfailure.h"

#include "framework/logcause.h"

namespace {

const char kLineUnknownLocation[] = "다운로드 가능한 접속 위치를 알 수 없습니다.\nError Location = 1\n";
const char kLineCannotOpen[] =
    "다운로드 가능한 위치에 접속 할 수 없습니다.방화벽에 의하여 막혀 있거나, 인터넷 선이 불안해서 "
    "그렇수 있습니다.\n방화벽에 의한 것이면 관리자에게 문의 바랍니다.\nError Location = 2\n";
const char kLineCannotConnect[] =
    "다운로드 가능한 위치에 접속 할 수 없습니다.방화벽에 의하여 막혀 있거나, 인터넷 선이 불안해서 "
    "그렇수 있습니다.\n방화벽에 의한 것이면 관리자에게 문의 바랍니다.\nError Location = 3\n";
const char kLineNoRequest[] = "서버로부터 응답을 받지 못 했습니다. 잠시후 사용하여 주십시오.\nError Location = 4\n";
const char kLineNoStatus[] = "서버로부터 응답을 받지 못 했습니다. 잠시후 사용하여 주십시오.\nError Location = 5\n";
const char kLineBadStatus[] = "서버로부터 잘못된 응답이 수신되었습니다. 잠시후 사용하여 주십시오.\nError Location = 6\n";
const char kLineCannotWrite[] = "%s 디렉토리에 더 이상 쓰기가 불가능 합니다.\n";
const char kLineReadError[] =
    "서버로부터 읽기 오류가 발생하였습니다. 잠시후 다시 사용하여 주십시오.\nError Location = 7\n";

const char kLineBodyTooLong[] =
    "%s: the body is longer than its pinned size, or than the bound for an unpinned one; removed\n";
const char kLineLengthNotPinned[] = "%s: the announced Content-Length is not the pinned size; nothing written\n";
const char kLineBodyTooSlow[] = "The body arrives too slowly; the transfer is given up\n";

}  // namespace

const char kLineTooManyUsers[] = "사용자가 너무 많습니다. 조금 더 기다려 주십시오.\n";
const char kLineReadingHeader[] = "%s 헤더를 읽고 있습니다.\n";

//                                        line                  path   error  requeue
const DownloadFailure kUrlNotSplit =        {kLineUnknownLocation, false, true,  false};
const DownloadFailure kInternetNotOpened =  {kLineCannotOpen,      false, true,  false};
const DownloadFailure kNotConnected =       {kLineCannotConnect,   false, true,  false};
const DownloadFailure kRequestNotOpened =   {kLineNoRequest,       false, true,  true};
const DownloadFailure kSendFailedNineTimes = {nullptr,             false, true,  true};
const DownloadFailure kNoStatus =           {kLineNoStatus,        false, true,  true};
const DownloadFailure kBadStatus =          {kLineBadStatus,       false, true,  true};
const DownloadFailure kCannotCreateFile =   {kLineCannotWrite,     true,  false, true};
const DownloadFailure kReadFailed =         {kLineReadError,       false, true,  true};
const DownloadFailure kWriteFailed =        {nullptr,              false, false, true};
const DownloadFailure kBodyTooLong =        {kLineBodyTooLong,     true,  true,  true, true};
const DownloadFailure kLengthNotPinned =    {kLineLengthNotPinned, true,  true,  true};
const DownloadFailure kBodyTooSlow =        {kLineBodyTooSlow,     false, true,  true};
const DownloadFailure kGivenUp =            {nullptr,              false, false, true};

namespace {

struct FailureWords {
  const DownloadFailure* pFailure;
  const char* szCause;
  const char* szName;
};

const FailureWords kFailureWords[] = {
    {&kUrlNotSplit, framework::cause::kServer, "the address is not a URL"},
    {&kInternetNotOpened, framework::cause::kNet, "WinINet did not open"},
    {&kNotConnected, framework::cause::kNet, "no connection"},
    {&kRequestNotOpened, framework::cause::kNet, "the request did not open (or the certificate did not verify)"},
    {&kSendFailedNineTimes, framework::cause::kNet, "the request was not sent in nine attempts"},
    {&kNoStatus, framework::cause::kNet, "no status in the answer"},
    {&kBadStatus, framework::cause::kServer, "the server answered with another status than 200"},
    {&kCannotCreateFile, framework::cause::kDisk, "the file could not be created"},
    {&kReadFailed, framework::cause::kNet, "the body broke off"},
    {&kWriteFailed, framework::cause::kDisk, "the file could not be written"},
    {&kBodyTooLong, framework::cause::kPackage, "longer than its pinned size or the unpinned bound"},
    {&kLengthNotPinned, framework::cause::kPackage, "announced with another length than its pin"},
    {&kBodyTooSlow, framework::cause::kNet, "the body came too slowly"},
    {&kGivenUp, framework::cause::kUnexpected, "given up by the caller"},
};

const FailureWords* FindWords(const DownloadFailure& failure) {
  for (const FailureWords& words : kFailureWords)
    if (words.pFailure == &failure) return &words;
  return nullptr;
}

}  // namespace

const char* DownloadFailureCause(const DownloadFailure& failure) {
  const FailureWords* words = FindWords(failure);
  return words ? words->szCause : framework::cause::kUnexpected;
}

const char* DownloadFailureName(const DownloadFailure& failure) {
  const FailureWords* words = FindWords(failure);
  return words ? words->szName : "an unknown failure";
}
