#!/usr/bin/env bash
# The start-up registration in the registry of the test prefix, under Wine.
set -eu
build=$1
exe=$build/tests/registration_test.exe
[ -f "$exe" ] || exe=$build/registration_test.exe
exec wine "$exe"
