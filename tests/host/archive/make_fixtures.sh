#!/usr/bin/env bash
# Makes the archive test fixtures with the real xz and tar: files of known
# content, their .xz forms at several settings, and tar archives of a small
# tree in each tar format. Usage: make_fixtures.sh OUTPUT_DIR
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# Content: repetitive text, incompressible bytes (uncompressed LZMA2 chunks),
# long runs (long matches), and a mix that switches between them.
seq 1 20000 | sed 's/$/ ispell dictionary line/' > text.bin
head -c 65536 /dev/urandom > random.bin
head -c 1048576 /dev/zero > zeros.bin
cat random.bin text.bin random.bin zeros.bin > mixed.bin
head -c 3000 text.bin > small.bin

xz -c -0 mixed.bin > mixed-0.xz
xz -c -6 mixed.bin > mixed-6.xz
xz -c -9e mixed.bin > mixed-9e.xz
for check in none crc32 crc64 sha256; do xz -c --check=$check text.bin > text-$check.xz; done
xz -c --check=crc64 random.bin > random.xz
xz -c -9 zeros.bin > zeros.xz
xz -c --block-size=20000 mixed.bin > mixed-blocks.xz
xz -c --format=xz --lzma2=preset=6,lc=0,lp=2,pb=0 mixed.bin > mixed-lc0lp2pb0.xz
xz -c --lzma2=preset=6,lc=4,lp=0,pb=4 mixed.bin > mixed-lc4pb4.xz
xz -c --lzma2=preset=1,lc=0,lp=4,pb=2 mixed.bin > mixed-lp4.xz
xz -c --lzma2=dict=4KiB mixed.bin > mixed-dict4k.xz
xz -c --lzma2=dict=1536MiB text.bin > text-bigdict.xz
xz -c --delta=dist=4 --lzma2=preset=6 mixed.bin > mixed-delta.xz
xz -c --x86 --lzma2=preset=6 text.bin > text-x86.xz
cat text-crc32.xz random.xz > multi.xz
cat text.bin random.bin > multi.bin
{ cat text-crc32.xz; head -c 8 /dev/zero; cat random.xz; head -c 4 /dev/zero; } > multi-padded.xz
{ cat text-crc32.xz; head -c 3 /dev/zero; } > bad-padding.xz
: > empty.bin
xz -c empty.bin > empty.xz
# Small ones for exhaustive corruption tests.
xz -c --check=crc32 small.bin > small-crc32.xz
xz -c --check=crc64 --block-size=1000 small.bin > small-blocks-crc64.xz
xz -c --check=sha256 small.bin > small-sha256.xz

# A tree like the one the installer unpacks, with names past 100 bytes.
mkdir -p tree/ispell-w32/bin tree/ispell-w32/dic tree/ispell-w32/empty
cp mixed.bin tree/ispell-w32/bin/ispell.exe
cp text.bin tree/ispell-w32/dic/english.hash
long_dir=tree/ispell-w32/$(printf 'd%.0s' $(seq 1 95))
mkdir -p "$long_dir"
echo "short name under a long directory" > "$long_dir/f.txt"
echo "long name" > "tree/ispell-w32/dic/$(printf 'n%.0s' $(seq 1 120)).txt"
ln tree/ispell-w32/dic/english.hash tree/ispell-w32/dic/english-link.hash
ln -s ../bin/ispell.exe tree/ispell-w32/dic/ispell-symlink

# ustar cannot hold the 120-byte file name, so its tree leaves that file out.
tar -C tree --format=ustar --exclude='nnnn*' -cf tree-ustar.tar ispell-w32
tar -C tree --format=gnu -cf tree-gnu.tar ispell-w32
tar -C tree --format=pax -cf tree-pax.tar ispell-w32
for f in ustar gnu pax; do xz -c tree-$f.tar > tree-$f.tar.xz; done
rm tree-gnu.tar tree-pax.tar

# Files with known modification times: whole seconds in the header, a fraction in
# pax records, and a time past the octal field's range (base-256 in the gnu form).
mkdir -p timed/t
echo old > timed/t/old.txt
touch -d @1000000000 timed/t/old.txt
ln timed/t/old.txt timed/t/old-link.txt
echo new > timed/t/new.txt
touch -d @1700000000.25 timed/t/new.txt
for f in ustar gnu pax; do tar -C timed --format=$f -cf - t | xz -c > timed-$f.tar.xz; done
tar -C timed --format=gnu --mtime=@10000000000 -cf - t | xz -c > timed-far.tar.xz
touch stamp
