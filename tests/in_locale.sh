#!/bin/sh
# in_locale.sh LOCALE COMMAND...: runs COMMAND in LOCALE (say ja_JP.UTF-8),
# which this machine need not have generated: it is compiled once into
# ./locale from the sources of Debian's locales package. Wine takes its ANSI
# code page and the encoding of Unix file names from it.
locale=$1
shift
if [ ! -d "locale/$locale" ]; then
  mkdir -p locale
  localedef -i "${locale%%.*}" -f "${locale#*.}" "locale/$locale" || exit 1
fi
LOCPATH=$PWD/locale LC_ALL=$locale exec "$@"
