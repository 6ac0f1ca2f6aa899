#!/usr/bin/env bash
# Makes the seed corpora in tests/fuzz/corpus/ with the real xz and tar (and
# Python's tarfile for the hostile archives the real tar will not write).
# The seeds are committed; run this again only to refresh them.
# Usage: make_seeds.sh [CORPUS_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus=${1:-$here/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$corpus"
mkdir -p "$corpus"/{xz,lzma2,tar,unpack,regex,index,url,listing,ini}
cd "$work"

# Small contents: text, incompressible bytes, a run.
seq 1 150 | sed 's/$/ ispell dictionary line/' > text.bin
head -c 700 /dev/urandom > random.bin
head -c 3000 /dev/zero > zeros.bin
cat random.bin text.bin zeros.bin > mixed.bin

# xz: every check type, several blocks, filters, settings, padding and concatenation.
x=$corpus/xz
for check in none crc32 crc64 sha256; do xz -c --check=$check text.bin > $x/text-$check.xz; done
xz -c -0 mixed.bin > $x/mixed-0.xz
xz -c -9e mixed.bin > $x/mixed-9e.xz
xz -c --block-size=1000 mixed.bin > $x/mixed-blocks.xz
xz -c --lzma2=preset=6,lc=0,lp=2,pb=0 mixed.bin > $x/mixed-lc0lp2pb0.xz
xz -c --lzma2=preset=6,lc=4,lp=0,pb=4 mixed.bin > $x/mixed-lc4pb4.xz
xz -c --lzma2=dict=4KiB mixed.bin > $x/mixed-dict4k.xz
xz -c --delta=dist=4 --lzma2=preset=6 mixed.bin > $x/mixed-delta.xz
xz -c --x86 --lzma2=preset=6 text.bin > $x/text-x86.xz
xz -c random.bin > $x/random.xz
: > empty.bin
xz -c empty.bin > $x/empty.xz
{ cat $x/text-crc32.xz; head -c 8 /dev/zero; cat $x/random.xz; } > $x/multi-padded.xz
{ cat $x/text-crc32.xz; head -c 3 /dev/zero; } > $x/bad-padding.xz
head -c 200 $x/mixed-blocks.xz > $x/truncated.xz

# LZMA2 alone: one dictionary-size byte (0 = 4 KiB, 8 = 64 KiB), then raw LZMA2 chunks.
l=$corpus/lzma2
for p in 0 8; do
  size=$(( (2 | (p & 1)) << (p / 2 + 11) ))
  for f in text mixed random; do
    { printf "\\x$(printf %02x $p)"; xz -c --format=raw --lzma2=preset=6,dict=$size $f.bin; } > $l/$f-dict$p.lzma2
  done
done
{ printf '\x08'; xz -c --format=raw --lzma2=preset=1,lc=0,lp=4,pb=2 mixed.bin; } > $l/mixed-lp4.lzma2
{ printf '\x08'; xz -c --format=raw --lzma2=preset=6,lc=4,lp=0,pb=4 mixed.bin; } > $l/mixed-lc4pb4.lzma2

# tar: a small tree like the installer's, in every format the real tar writes.
mkdir -p tree/ispell-w32/bin tree/ispell-w32/dic tree/ispell-w32/empty
cp random.bin tree/ispell-w32/bin/ispell.exe
cp text.bin tree/ispell-w32/dic/english.hash
touch -d @1700000000.25 tree/ispell-w32/dic/english.hash
echo "long name" > "tree/ispell-w32/dic/$(printf 'n%.0s' $(seq 1 120)).txt"
ln tree/ispell-w32/dic/english.hash tree/ispell-w32/dic/english-link.hash
ln -s ../bin/ispell.exe tree/ispell-w32/dic/ispell-symlink
t=$corpus/tar
for f in gnu pax oldgnu; do tar -C tree -b1 --format=$f -cf $t/tree-$f.tar ispell-w32; done
tar -C tree -b1 --format=ustar --exclude='nnnn*' -cf $t/tree-ustar.tar ispell-w32
tar -C tree -b1 --format=v7 --exclude='nnnn*' -cf $t/tree-v7.tar ispell-w32
tar -C tree -b1 --format=gnu --mtime=@10000000000 -cf $t/far-mtime.tar ispell-w32/bin

# Hostile archives: names that leave the destination, links out, device names,
# pax records that override names, sizes and times.
python3 - "$t" <<'PY'
import io, sys, tarfile
tarfile.RECORDSIZE = 512  # no padding to 10 KB records: small seeds
out = sys.argv[1]
def member(name, data=b"x", **kw):
    info = tarfile.TarInfo(name)
    for k, v in kw.items():
        setattr(info, k, v)
    if info.type in (tarfile.REGTYPE, tarfile.AREGTYPE):
        info.size = len(data)
        return info, io.BytesIO(data)
    return info, None
def write(name, members, fmt=tarfile.GNU_FORMAT):
    with tarfile.open(f"{out}/{name}", "w", format=fmt) as tar:
        for info, data in members:
            tar.addfile(info, data)
write("traversal.tar", [member("good.txt", b"good"), member("../up.txt"), member("/abs.txt"),
                        member("a/../../x.txt"), member("a\\..\\..\\y.txt"), member("C:x.txt"),
                        member("file.txt:stream"), member("dots.../x"), member("nul.txt"),
                        member("sub/COM1"), member("after.txt", b"still unpacked")])
write("links.tar", [member("a.txt", b"target"),
                    member("hard", type=tarfile.LNKTYPE, linkname="a.txt"),
                    member("hard-out", type=tarfile.LNKTYPE, linkname="../a.txt"),
                    member("hard-missing", type=tarfile.LNKTYPE, linkname="none"),
                    member("sym-in", type=tarfile.SYMTYPE, linkname="a.txt"),
                    member("sub/sym-out", type=tarfile.SYMTYPE, linkname="../../etc"),
                    member("sym-abs", type=tarfile.SYMTYPE, linkname="/etc/passwd"),
                    member("fifo", type=tarfile.FIFOTYPE), member("dir", type=tarfile.DIRTYPE),
                    member("dir/in-dir.txt", b"inside")])
write("pax-records.tar", [member("short", b"abc",
                                 pax_headers={"path": "pax/" + "p" * 120 + ".txt",
                                              "mtime": "1500000000.123456789",
                                              "linkpath": "l" * 110}),
                          member("neg-time.txt", b"n", pax_headers={"mtime": "-1.25"}),
                          member("dir/", type=tarfile.DIRTYPE)], tarfile.PAX_FORMAT)
write("gnu-long.tar", [member("d" * 150 + "/f.txt", b"long"),
                       member("l" * 10, type=tarfile.SYMTYPE, linkname="t" * 150)])
PY

# unpack: the same archives as .tar.xz, and one plain tar.
u=$corpus/unpack
for f in $t/*.tar; do xz -c --check=crc32 "$f" > $u/$(basename "$f").xz; done
cp $t/traversal.tar $t/tree-ustar.tar $u/

# regex: the plug-in's two patterns over index lines of nginx and Apache, and some dialect.
r=$corpus/regex
index='href[ \t]*=[ \t]*"([^\n\r"]+)"[^\n\r]*?([0-9]*)-([A-Za-z]*)-([0-9]*)[ \t]*([0-9]*):([0-9]*)[^\n\r]*?([0-9\\.]*[KMB])'
archive='ispell.*-w32\.tar\.xz'
printf '%s\0%s' "$index" '<a href="ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a>                           05-Mar-2011 14:07    1M
<a href="ispell-3.3.01-w32.tar.xz">ispell-3.3.01-w32.tar.xz</a>                           28-Sep-2010 09:05  987K
<a href="README">README</a>                                             01-Jan-2000 00:00    3.9K' > $r/index-nginx
printf '%s\0%s' "$index" '<tr><td valign="top"><img src="/icons/compressed.gif" alt="[   ]"></td><td><a href="ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a></td><td align="right">2011-03-05 14:07  </td><td align="right">1.0M</td><td>&nbsp;</td></tr>
<tr><td valign="top"><img src="/icons/back.gif" alt="[PARENTDIR]"></td><td><a href="/pub/">Parent Directory</a></td><td>&nbsp;</td><td align="right">  - </td></tr>' > $r/index-apache
printf '%s\0%s' "$index" '<a href="a.tar.xz">a</a> <a href="b.tar.xz">b</a> 05-Mar-2011 14:07 2.3K
<a href="x">x</a> 5--2011 :7 K' > $r/index-odd
printf '%s\0%s' "$archive" 'ispell-3.3.02-w32.tar.xz' > $r/archive-name
printf '%s\0%s' "$archive" 'ispell-3.3.02-w64.tar.xz ispell-w32.tar.gz' > $r/archive-other
printf '%s\0%s' '(a|ab)(c|bcd)(d*)' 'abcd' > $r/alternation
printf '%s\0%s' '^(?:[[:alpha:]_]\w*\s*=\s*)?(\d{1,3}(?:\.\d{1,3}){3})$' 'addr = 192.168.10.1' > $r/classes
printf '%s\0%s' '(a+?)(b{2,}|c{,2})\b.*?\Z' 'aaabbbb cc
' > $r/lazy-counted
printf '%s\0%s' '[^\x00-\x1f"<>]+\.(?:tar\.xz|zip)\z' 'dir/ispell-3.3.02-w32.tar.xz' > $r/escapes
printf '%s\0%s' '((a?)*)*b' 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac' > $r/nested-empty

# index: the crafted test server's pages, listings of today's servers and pages the reader has
# read wrongly; the first byte seeds the piece sizes.
python3 - "$here/../../scripts/servers" "$corpus/index" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
import crafted_http as c
out = sys.argv[2]
pages = {"months": c.MONTHS, "sizes": c.SIZES, "nul": c.NUL, "nodates": c.NODATES,
         "highbytes": c.HIGHBYTES, **{"layout-" + k: v for k, v in c.LAYOUT_PAGES.items()}}
pages["nginx"] = (
    '<a href="ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a>     05-Mar-2011 14:07    1M\r\n'
    '<a href="ispell-3.3.01-w32.tar.xz">ispell-3.3.01-w32.tar.xz</a>     28-Sep-2010 09:05  987K\r\n'
    '<a href="README">README</a>                                01-Jan-2000 00:00    3.9K\r\n')
pages["apache"] = (
    '<tr><td valign="top"><img src="/icons/compressed.gif" alt="[   ]"></td><td><a href="ispell-'
    '3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a></td><td align="right">2011-03-05 14:07  </td>'
    '<td align="right">1.0M</td><td>&nbsp;</td></tr>\r\n<tr><td><a href="/pub/">Parent Directory'
    '</a></td><td>&nbsp;</td><td align="right">  - </td></tr>\r\n')
pages["lighttpd"] = (
    '<tr><td class="n"><a href="ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a></td><td '
    'class="m">2011-Mar-05 14:07:00</td><td class="s">2.0M</td><td class="t">application/x-xz'
    '</td></tr>\n')
pages["object-store-words"] = (
    '<a href="folder/">folder/</a><div>0</div><div>2011-03-05T14:07:00.000Z</div>\n'
    '<a href="ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</a><div>36,386</div>'
    '<div>(35.53 kb)</div><div>2011-03-05T14:07:00.000Z</div>\n')
pages["one-line-br"] = (
    '<pre><A HREF="/">[To Parent Directory]</A><br><br> Saturday, March 05, 2011  2:07 PM'
    '      2097152 <A HREF="/pub/ispell-3.3.02-w32.tar.xz">ispell-3.3.02-w32.tar.xz</A><br>'
    ' Sunday, March 06, 2011 10:00 AM           64 <A HREF="/pub/ispell-3.3.02-w32.tar.xz.sha256">'
    'ispell-3.3.02-w32.tar.xz.sha256</A><br></pre>')
pages["ls-lines"] = (
    '-rw-r--r--  1 ftp  ftp   2097152 Mar  5  2011 <a href="ispell-3.3.02-w32.tar.xz">x</a>\n'
    '-rw-r--r--  1 ftp  ftp   1048576 Jan  1 04:00 <a href=" ispell-3.3.03-w32.tar.xz ">y</a>\n')
pages["mixed"] = ('<a href="ispell-3.3.01-w32.tar.xz">a</a>\n'
                  '<a href="ispell-3.3.02-w32.tar.xz">b</a> 2011-03-05 14:07 2.0M\n'
                  '<li><a href="c&amp;d%20e.tar.xz">c</a> <span>1,5 KiB</span></li>\n')
for i, (name, text) in enumerate(sorted(pages.items())):
    data = text if isinstance(text, bytes) else text.encode("utf-8")
    open(f"{out}/{name}", "wb").write(bytes([i * 37 % 256]) + data)
PY

# url: a listing's host and path, NUL, a link.
u=$corpus/url
printf '%s\0%s' 'mirror.example/pub/ispell/' 'ispell-3.3.02-w32.tar.xz' > $u/plain
printf '%s\0%s' 'mirror.example:8080/pub/ispell/?C=M;O=A#top' \
  '../dist/./a/../ispell%2D3.3.02-w32.tar.xz?x=1#f' > $u/dots
printf '%s\0%s' 'mirror.example/pub' '//other.example/a/b/../../c/%E6%97%A5.tar.xz' > $u/network-path
printf '%s\0%s' '[::1]:81/a/b' \
  'HTTPS://Host.example:443/x/&amp;y&#x26;&#38;&lt;&#x10FFFF;&#xD800;&#0;&amp' > $u/references
printf '%s\0%s' 'h/a/b/c' '?only-query' > $u/query
printf '%s\0%s' 'h/a/' 'http:relative/../x' > $u/scheme-only
printf '%s\0%s' 'h/' 'ftp://ftp.example/pub/ispell/%00%zz%4' > $u/percent

# listing: lines of an FTP name, a size text and a date text (day month year hour minute),
# separated by tabs.
l=$corpus/listing
printf 'ispell-3.3.02-w32.tar.xz\t2097152\t05 Mar 2011 14 07\nispell-3.3.01-w32.tar.xz\t1.5M\t2010 12 24 9 30\nispell-3.3.02-w32.tar.xz.sha256\t64\t5 Sept 2011 0 0\n' > $l/names
printf 'a\t1,234,567\t31 Feb 2011 23 59\nb\t1,5 KiB\t29 2 2000 0 0\nc\t0.99999999999999999\t1 Jan 1601 0 0\nd\t4294967296\t31 Dec 30827 23 59\ne\t.5\t0 0 0 0 0\n' > $l/sizes-dates
printf 'ispell-\x93\xfa\x96\x7b-3.3.05-w32.tar.xz\nispell-\x83\x4a\x83\x69-3.3.04-w32.tar.xz\nispell-99999999999-w32.tar.xz\nispell-w32.tar.xz\n' > $l/highbytes

# ini: a mirror URL, NUL, a directory (Shift-JIS bytes; 0x83 0x5C is one character).
n=$corpus/ini
sed -n 's/^ *"\(.*:\/\/.*\)",$/\1/p' "$here/../../src/config/mirror_table.cpp" | while read -r url; do
  printf '%s\0%s' "$url" 'C:\ispell\dic' > "$n/table-$(printf %s "$url" | cksum | cut -d' ' -f1)"
done
printf 'https://[::1]:8443/pub/w32?x=1#top\0E:\\\x83\x5c' > $n/ipv6-query
printf 'ftp://mirror.example:21\0E:\\\x83' > $n/ftp-lead-byte
printf 'http://mirror.example:0/\0E:\\tmp\\' > $n/port-zero
printf 'http://mirror.example:65536/#/x\0' > $n/port-large
printf 'gopher://mirror.example/\0\\\\server\\share' > $n/scheme
printf 'http:///pub/?#\0\x81' > $n/no-host

echo "seeds: $(find "$corpus" -type f | wc -l) files, $(du -sk "$corpus" | cut -f1) KB"
