#!/bin/sh
# make-links.sh DIR: a target folder with links planted in it, made fresh,
# for the Windows target-folder test (Wine cannot make links itself).
set -eu
dir=$1
rm -rf "$dir"
mkdir -p "$dir/outside" "$dir/target"
printf keep > "$dir/outside/victim.txt"
ln -s ../outside/victim.txt "$dir/target/file.txt"
ln -s ../outside "$dir/target/folder"
ln -s ../outside/nothing "$dir/target/dangling"
