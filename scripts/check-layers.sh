#!/usr/bin/env bash
# Fails when a folder of src/ includes a header of a folder above it in the layer order:
#   base < platform < localization < settings < logging < audiotags, services, medialib, plugins
#   < engine < export < pictures < cli, ui
# Each folder may include its own headers and those of the folders below it. Qt is for src/ui and
# src/pictures (the picture decoder both programs use) only.
set -u
src=${1:?source dir}
declare -A allowed=(
  [base]="base"
  [platform]="base platform"
  [localization]="base platform localization"
  [settings]="base platform localization settings"
  [logging]="base platform localization settings logging"
  [audiotags]="base platform localization settings logging audiotags"
  [services]="base platform localization settings logging services"
  [medialib]="base platform localization settings logging medialib"
  [plugins]="base platform localization settings logging plugins"
  [engine]="base platform localization settings logging audiotags services medialib plugins engine"
  [export]="base platform localization settings logging audiotags services medialib plugins engine export"
  [pictures]="base platform localization settings logging audiotags services medialib plugins engine export pictures"
  [cli]="base platform localization settings logging audiotags services medialib plugins engine export pictures cli"
  [ui]="base platform localization settings logging audiotags services medialib plugins engine export pictures ui"
)
status=0
for dir in "$src"/*/; do
  layer=$(basename "$dir")
  if [ -z "${allowed[$layer]+x}" ]; then
    echo "src/$layer: a folder the layer order does not name"; status=1; continue
  fi
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -E 's/.*#\s*include\s*"([a-z]+)\/.*/\1/' <<<"${line#*:}")
    case " ${allowed[$layer]} " in
      *" $inc "*) ;;
      *) echo "${file#$src/}: includes $inc/ (src/$layer may use: ${allowed[$layer]})"; status=1 ;;
    esac
  done < <(grep -HE '^\s*#\s*include\s*"[a-z]+/' "$dir"*.h "$dir"*.cpp 2>/dev/null)
  if [ "$layer" != ui ] && [ "$layer" != pictures ] && grep -lE '^\s*#\s*include\s*[<"](Q[A-Za-z]+|Qt[A-Za-z]+/)' "$dir"*.h "$dir"*.cpp 2>/dev/null; then
    echo "src/$layer: includes Qt"; status=1
  fi
done
[ $status -eq 0 ] && echo "layers ok"
exit $status
