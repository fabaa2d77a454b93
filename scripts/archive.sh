#!/usr/bin/env bash
# Prints the address of the archive the host's apt takes a suite from: the first
# source for it, in either of apt's two formats. Nothing when there is none.
#   archive.sh SUITE
set -euo pipefail
s=${1:?suite}
{
    # one-line form: deb [options] URI suite components
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v s="$s" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == s) print $i
            }' "$f"
    done
    # deb822 form: stanzas of Types, URIs, Suites, Enabled ...
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v s="$s" '
            BEGIN { RS = ""; FS = "\n" }
            {
                types = uris = suites = ""; enabled = "yes"
                for (i = 1; i <= NF; i++) {
                    if (!match($i, /^[A-Za-z-]+:/)) continue
                    key = tolower(substr($i, 1, RLENGTH - 1))
                    val = " " substr($i, RLENGTH + 1) " "
                    if (key == "types") types = val
                    else if (key == "uris") uris = val
                    else if (key == "suites") suites = val
                    else if (key == "enabled") enabled = tolower(val)
                }
                if (enabled !~ /no/ && types ~ /[ \t]deb[ \t]/ && index(suites, " " s " ")) {
                    split(uris, u, " ")
                    print u[1]
                }
            }' "$f"
    done
} | sed -n 1p   # reads all, so no writer meets a closed pipe
