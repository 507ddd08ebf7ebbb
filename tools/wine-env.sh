# Sourced by the Wine scripts: the environment every Wine run of this project uses.
# Korean ANSI code page (949), no offers to download Mono or Gecko, no Wine chatter, and no
# debugger for a crash: the process ends at once with a nonzero status (253 for a stack
# overflow) instead of hanging in winedbg or, worse, ending with status 0.
export LC_ALL=ko_KR.UTF-8
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEDEBUG=${WINEDEBUG:--all}
