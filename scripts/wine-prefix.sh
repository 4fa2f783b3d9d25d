# Sourced by the Wine checks: finds wine, creates a fresh prefix in a UTF-8 locale (Wine names
# files in the locale's character set) and removes it, the wineserver and the files listed in
# $wine_temp_files when the calling script exits.
#   wine_new_prefix TAG     sets $wine and $WINEPREFIX; prints how long the prefix took
wine_temp_files=()
wine_new_prefix() {
  local tag=$1
  wine=$(command -v wine64 || true)
  [[ -n "$wine" ]] || wine=$(command -v wine)
  export WINEDEBUG=-all LC_ALL=C.UTF-8
  WINEPREFIX=$(mktemp -d "/tmp/vfwu-$tag.XXXXXX")
  export WINEPREFIX
  trap wine_remove_prefix EXIT
  local t0=$SECONDS
  timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || true
  # The prefix's wineserver and desktop process were started without a display: let them end,
  # so that the runs on the virtual display start their own.
  timeout 60 wineserver -w || true
  echo "$tag-check: prefix created in $((SECONDS - t0)) s"
}
wine_remove_prefix() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "${wine_temp_files[@]}"
}
