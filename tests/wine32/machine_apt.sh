#!/usr/bin/env bash
# machine_apt.sh COMMAND: what the Debian 12 roots made here take from the
# machine's own apt configuration, so that they reach Debian through whatever
# mirror or proxy the machine uses, and no mirror is named in the project.
#   sources [ARCH...]  its bookworm sources, one-line ("deb URI SUITE COMPONENT..."),
#                      each checked to serve whole indexes for ARCH (the machine's
#                      own architecture without one): a suite that does not is left
#                      out with a warning, as apt in a new root would stop at it
#   backports          bookworm-backports' main, from the URI that serves bookworm
#   options            the apt options that decide how those sources are reached
#                      (a proxy, whether an old snapshot's dates are checked), as apt.conf lines
set -euo pipefail

# URI SUITE COMPONENT per line, from the configured sources themselves: no
# package list needs to have been downloaded.
bookworm_targets() {
  apt-get --no-release-info indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Target-Of: deb' |
    awk '$2 ~ /^bookworm(-[a-z]+)?$/' | sort -u
}

# whole LINE ARCH...: the source LINE serves every index apt fetches for ARCH.
# With a state of its own, so the machine's package lists stay as they are.
whole() {
  local line=$1 state arch opts rc=0; shift
  state=$(mktemp -d)
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/parts"
  echo "$line" >"$state/sources.list"
  opts=(-q -o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/parts"
        -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache" -o APT::Sandbox::User=root
        -o APT::Architectures=)
  for arch in "$@"; do opts+=(-o "APT::Architectures::=$arch"); done
  apt-get "${opts[@]}" update --error-on=any >/dev/null 2>"$state/errors" || {
    rc=1
    echo "machine_apt.sh: left out, as the mirror serves it broken for $*: $line" >&2
    sed -n 's/^E: //p' "$state/errors" | head -3 >&2
  }
  rm -rf "$state"
  return $rc
}

case ${1:-} in
  sources)
    shift
    (($#)) || set -- "$(dpkg --print-architecture)"
    found=false
    while read -r line; do
      found=true
      if whole "$line" "$@"; then echo "$line"; elif [[ $line == *" bookworm "* ]]; then exit 1; fi
    done < <(bookworm_targets | awk '{ key = $1 " " $2; if (!(key in comps)) order[n++] = key; comps[key] = comps[key] " " $3 }
                                      END { for (i = 0; i < n; i++) print "deb " order[i] comps[order[i]] }')
    $found || { echo "machine_apt.sh: the machine's apt sources name no bookworm suite" >&2; exit 1; }
    ;;
  backports)
    uri=$(bookworm_targets | awk '$2 == "bookworm" { print $1; exit }')
    [ -n "$uri" ] || { echo "machine_apt.sh: the machine's apt sources do not name bookworm" >&2; exit 1; }
    echo "deb $uri bookworm-backports main"
    ;;
  options)
    for key in Acquire::Check-Valid-Until Acquire::Check-Date Acquire::Retries Acquire::ForceIPv4 Acquire::http \
               Acquire::https Acquire::ftp; do
      apt-config dump --no-empty --format '%f "%v";%n' "$key"
    done
    ;;
  *) echo "usage: machine_apt.sh sources [ARCH...] | backports | options" >&2; exit 2 ;;
esac
