#!/bin/sh
# Runs a test program under umockdev's preload library (umockdev-wrapper), so the
# testbed it makes in-process stands in for /sys, /dev and the device database. With the
# address sanitizer the preload library comes before the sanitizer's runtime, which the
# runtime would refuse: its link-order check is turned off, the other options kept.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
export ASAN_OPTIONS
exec umockdev-wrapper "$@"
