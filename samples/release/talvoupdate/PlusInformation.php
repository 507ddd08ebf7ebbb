// 탈보 업데이트 정보 문서 (예제 릴리스)
// 패키지 주소의 @SERVER@ 는 테스트 업데이트 서버가 요청의 Host 값으로 바꿉니다.

[Talvo]
PROJECT=탈보 정기 업데이트
DEADLINE=2030-12-31
DEBUG=0
XP_VERSION=3.41
XP_DOWNLOADURL=http://@SERVER@/talvoupdate/TalvoXP_341.zip
XP_COMPULSION=1
98_VERSION=3.41
98_DOWNLOADURL=http://@SERVER@/talvoupdate/Talvo98_341.zip
98_COMPULSION=1

[POLICE_DATA]
DAT_VERSION=1.05
DOWN_DAT_URL=http://@SERVER@/talvoupdate/filter_105.zip
DAT_COMPULSION=0

[SERVER_LIST]
SERVER_VERSION=27
SERVER_DOWN_URL=http://@SERVER@/talvoupdate/serverlist_27.zip
SERVER_COMPULSION=0

[LOGIN_OCX]
OCX_VERSION=1.0.0.8
OCX_DOWN_URL=http://@SERVER@/talvoupdate/TalvoLogin_1008.zip
OCX_COMPULSION=0

[OPTIONS]
OPTIONS_VERSION=5
OPTIONS_SETTING=Network\\MaxConnect\\50
OPTIONS_SETTING=Search\\Filter\\1
OPTION_COMPULSION=0

[NOTICE]
NOTICE_URL=http://@SERVER@/notice/notice.txt

[FOLDER]
CREATE=<TARGETDIR>\config

[FILES]
COPY=<TARGETDIR>,Talvo.exe
COPY=<TARGETDIR>\config,talvo.dat
COPY=<TARGETDIR>\config,serverlist.dat
COPY=<WINSYSDIR>,TalvoLogin.ocx

[REGISTRY]
ADDKEY=HKCU\Software\Talvo\Skin
ADDVAL=HKCU\Software\Talvo\Skin,Path,<TARGETDIR>\skin\basic

[END]
