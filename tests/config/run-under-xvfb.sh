#!/usr/bin/env bash
# Runs the dialog's UI test program on the X display that xvfb-run made, in the
# Wine prefix named by QS_WINEPREFIX, and ends that prefix's server before the
# display goes. Leaves the dialog's pictures (config-dialog.png, and
# config-dialog-locked.png with settings a policy sets) in the working folder.
#   xvfb-run -a -s "-screen 0 1024x768x24" bash run-under-xvfb.sh WINE_RUN TEST_EXE [ARGS...]
set -u
wine_run=$1
shift
: "${QS_WINEPREFIX:?the UI tests need a Wine prefix of their own}"
export QS_WINEPREFIX
# Every Wine process here, the first one included, must see the display: the
# desktop process that the first one starts keeps the display it found.
export QS_DISPLAY=$DISPLAY
prefix=$("$wine_run" --prefix) # made on first use

# Debian's Wine does not find the fonts it ships (Tahoma, Marlett for the
# caption buttons, MS Sans Serif); give the prefix copies of them.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null
fi
# Wine draws the window frames itself (there is no window manager) and does not
# wait for one when a window closes.
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

rm -f config-dialog*.bmp config-dialog*.png
"$wine_run" "$@"
status=$?
"$wine_run" --stop

for picture in config-dialog*.bmp; do
  [ -f "$picture" ] && convert "$picture" "${picture%.bmp}.png" && rm -f "$picture"
done
exit $status
