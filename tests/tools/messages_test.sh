#!/bin/sh
# Messages in the user's language: the library's messages reach the user in English with their
# number, or in the library's Chinese when the locale (LC_ALL, else LC_MESSAGES, else LANG) is
# Chinese.
# usage: messages_test.sh TERRAIN3D SOURCE_DIR SCRATCH_DIR
set -u
tool=$1 source=$2 work=$3/tool-scratch/messages
rm -rf "$work"; mkdir -p "$work"
. "$(dirname "$0")/expect.sh"
# says LOCALE-SETTINGS PATTERN: preparing a grid too wide for the library (message 6) under the
# locale settings prints PATTERN.
says() {
  settings=$1 pattern=$2
  # shellcheck disable=SC2086
  env -u LC_ALL -u LC_MESSAGES -u LANG $settings "$tool" info "$work/wide.vrt" >/dev/null 2>"$work/err"
  [ $? = 1 ] || fail "$settings: a grid too wide was not refused"
  grep -q -e "$pattern" "$work/err" || fail "$settings: stderr lacks '$pattern': $(cat "$work/err")"
}

# 20,000 columns: beyond the 16,384 the library takes.
gdal_translate -q -of VRT -outsize 20000 20 "$source/data/samples/volcano.tif" "$work/wide.vrt" ||
  fail "cannot make the wide grid"

english="^terrain3d: message 6: The data you supplied is beyond what this system can handle!$"
chinese="^terrain3d: message 6 \[系统信息提示\]: 你所提供的数据已经超过本系统所能处理的范围!$"
says "" "$english"
says "LANG=en_US.UTF-8" "$english"
says "LANG=zh_CN.UTF-8" "$chinese"
says "LANG=zh_CN.UTF-8 LC_ALL=C" "$english"
says "LANG=en_GB.UTF-8 LC_MESSAGES=zh_TW.UTF-8" "$chinese"
says "LANG=zh_CN.UTF-8 LC_MESSAGES=de_DE.UTF-8" "$english"

finish "messages"
