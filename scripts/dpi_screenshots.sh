#!/usr/bin/env bash
# Pictures of the balloon at 96 and 144 DPI for the README (docs/balloon-96dpi.png and
# docs/balloon-144dpi.png), painted by the window test in prefixes of each DPI, and of the
# settings and queue pages at 96 DPI (docs/settings-page.png, docs/queue-page.png). Needs a built windows preset
# (./scripts/test.sh windows) and imagemagick.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/xvfb-wine-env.sh"
zk_start_display
exe="$root/build/windows/tests/test_ui.exe"
for dpi in 96 144; do
  prefix="$root/build/windows/wineprefix"
  [ "$dpi" = 96 ] || prefix="$root/build/windows/wineprefix-dpi$dpi"
  shot="$root/build/windows/balloon-${dpi}dpi.bmp"
  ZK_WINEPREFIX="$prefix" ZK_WINE_DPI="$dpi" ZK_EXPECT_DPI="$dpi" ZK_BALLOON_SHOT="Z:${shot//\//\\}" \
    "$root/scripts/wine-run.sh" "$exe" --gtest_filter='Balloon.AtTheSessionsDpi*' >/dev/null
  convert "$shot" "$root/docs/balloon-${dpi}dpi.png"
  echo "docs/balloon-${dpi}dpi.png"
done
shot="$root/build/windows/settings-page.bmp"
ZK_WINEPREFIX="$root/build/windows/wineprefix" ZK_SETTINGS_SHOT="Z:${shot//\//\\}" \
  "$root/scripts/wine-run.sh" "$exe" --gtest_filter='Balloon.AtTheSessionsDpiTheSettingsPage*' >/dev/null
convert "$shot" "$root/docs/settings-page.png"
echo "docs/settings-page.png"
shot="$root/build/windows/queue-page.bmp"
ZK_WINEPREFIX="$root/build/windows/wineprefix" ZK_QUEUE_SHOT="Z:${shot//\//\\}" \
  "$root/scripts/wine-run.sh" "$exe" --gtest_filter='Balloon.TheQueuePage*' >/dev/null
convert "$shot" "$root/docs/queue-page.png"
echo "docs/queue-page.png"
