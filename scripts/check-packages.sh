#!/usr/bin/env bash
# Checks the release packages that scripts/package.sh made against the
# project's version: the zip holds both programs, whose version resources
# carry that version, and a read-me that Notepad shows right; the Debian
# package holds murvex, its manual page, copyright file and changelog, draws
# no error from lintian, installs, runs and is removed again with dpkg.
set -euo pipefail
cd "$(dirname "$0")/.."
version="$(sed -n 's/^project(Kestrin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
zip="build/windows-release/Kestrin-$version-win64.zip"
deb="build/linux-release/murvex_${version}_amd64.deb"

python3 - "$zip" "$version" <<'PY'
import struct, sys, zipfile
path, version = sys.argv[1], sys.argv[2]
folder = f"Kestrin-{version}-win64/"
archive = zipfile.ZipFile(path)
names = sorted(archive.namelist())
expected = sorted(folder + n for n in ("Kestrin.exe", "MURVEX.exe", "README.txt"))
assert names == expected, f"{path} holds {names}"

readme = archive.read(folder + "README.txt")
assert readme.startswith(b"\xef\xbb\xbf"), "read-me has no byte order mark"
assert readme.count(b"\n") == readme.count(b"\r\n"), "read-me has line ends other than CR LF"
text = readme.decode("utf-8-sig")
for needed in (version, r"%ProgramData%\Fennwick\Kestrin\Surveillance.txt", "監視", "How to use it"):
    assert needed in text, f"read-me lacks {needed!r}"

def string_value(image, key):
    # A String entry: its key in UTF-16 with terminator, then the value
    # aligned to 32 bits.
    at = image.find((key + "\0").encode("utf-16-le"))
    assert at >= 0, f"no {key}"
    at += len(key) * 2 + 2
    at += -at % 4
    end = at
    while image[end:end + 2] != b"\0\0":
        end += 2
    return image[at:end].decode("utf-16-le")

parts = [int(p) for p in version.split(".")]
for program in ("Kestrin.exe", "MURVEX.exe"):
    image = archive.read(folder + program)
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, f"{program} has no version resource"
    file_ms, file_ls, product_ms, product_ls = struct.unpack("<4I", image[at + 8:at + 24])
    for ms, ls in ((file_ms, file_ls), (product_ms, product_ls)):
        assert [ms >> 16, ms & 0xFFFF, ls >> 16] == parts, f"{program}: fixed version {ms:#x} {ls:#x}"
    for key, value in (("FileVersion", version), ("ProductVersion", version),
                       ("CompanyName", "Fennwick"), ("ProductName", "Kestrin"),
                       ("OriginalFilename", program)):
        found = string_value(image, key)
        assert found == value, f"{program}: {key} is {found!r}"
print(f"{path}: {', '.join(n[len(folder):] for n in names)}; version resources {version}")
PY

contents="$(dpkg-deb -c "$deb")"
for file in ./usr/bin/murvex ./usr/share/man/man1/murvex.1.gz ./usr/share/doc/murvex/copyright \
  ./usr/share/doc/murvex/changelog.gz; do
  grep -q " $file\$" <<<"$contents" || { echo "$deb lacks $file" >&2; exit 1; }
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "$deb is not version $version" >&2; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || { echo "$deb declares no dependencies" >&2; exit 1; }
# Several files open in tmux: recommended, not required.
[ "$(dpkg-deb -f "$deb" Recommends)" = "tmux" ] || { echo "$deb does not recommend tmux" >&2; exit 1; }
# Errors fail the check; warnings are shown.
if ! report="$(lintian --fail-on error "$deb" 2>&1)"; then
  echo "$report" >&2
  echo "lintian reports errors in $deb" >&2
  exit 1
fi
grep -v '^running with root privileges' <<<"$report" || true

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo dpkg -i "$deb" >/dev/null
answer="$(/usr/bin/murvex --version)"
zcat /usr/share/man/man1/murvex.1.gz | grep -q "^\.TH MURVEX 1 .*murvex $version" || answer="no manual page"
$sudo dpkg -r murvex >/dev/null
[ "$answer" = "murvex $version" ] || { echo "installed murvex answered: $answer" >&2; exit 1; }
if [ -e /usr/bin/murvex ] || [ -e /usr/share/man/man1/murvex.1.gz ]; then
  echo "dpkg -r left murvex behind" >&2
  exit 1
fi
echo "$deb: murvex and murvex(1), installed, answered \"$answer\", removed"
