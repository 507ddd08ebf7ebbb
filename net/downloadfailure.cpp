#include "net/downloadfailure.h"

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
const DownloadFailure kGivenUp =            {nullptr,              false, false, true};
