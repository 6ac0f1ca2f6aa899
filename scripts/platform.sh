# Sourced by the setup, test and demo scripts: which build of the plug-in this machine can run.
#
# The plug-in ships as a 32-bit DLL and its tests run it under Wine's 32-bit loader. Some
# kernels cannot execute 32-bit x86 code at all ("Exec format error"); there the same sources
# are built as 64-bit Windows programs (preset mingw64) and run under Wine's 64-bit loader, and
# the 32-bit build runs in an emulated machine instead (scripts/guest32.sh).

# Whether this kernel executes a 32-bit x86 program: a 93-byte ELF file that only exits.
runs_32bit_code() {
  local probe status
  probe=$(mktemp) || return 1
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return $status
}

# Whether Wine's 32-bit loader is installed (setup installs it where the kernel runs 32-bit
# code and the package archive can provide it).
has_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'
}

# Whether Wine can run the 32-bit build here.
runs_32bit_wine() { runs_32bit_code && has_wine32; }

# The preset whose programs run here.
runnable_preset() {
  if runs_32bit_wine; then echo mingw; else echo mingw64; fi
}

explain_64bit_fallback() {
  local who="$1"
  if runs_32bit_code; then
    echo "$who: Wine's 32-bit loader (wine32:i386) could not be installed, so Wine cannot run the 32-bit build here."
  else
    echo "$who: this machine cannot execute 32-bit x86 code, so Wine cannot run the 32-bit build here."
  fi
  echo "$who: running the same sources built as 64-bit Windows programs (preset mingw64) under"
  echo "$who: Wine's 64-bit loader; dist/ispell.dll (32-bit) runs in the emulated machine of scripts/guest32.sh."
}
