#!/usr/bin/env bash
# Runs every benchmark and writes bench/RESULTS.md: see bench/run.
exec bash "$(dirname "$0")/../bench/run" "$@"
