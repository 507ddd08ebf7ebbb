# Sourced by the Wine scripts: the environment every Wine run of this project uses.
# Korean ANSI code page (949), no offers to download Mono or Gecko, no Wine chatter.
export LC_ALL=ko_KR.UTF-8
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=${WINEDEBUG:--all}
