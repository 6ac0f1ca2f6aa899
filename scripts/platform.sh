# Sourced by the setup, test and demo scripts: which build of the plug-in this machine can run.
#
# The plug-in ships as a 32-bit DLL and its tests run it under Wine's 32-bit loader. Some
# kernels cannot execute 32-bit x86 code at all ("Exec format error"); there the same sources
# are built as 64-bit Windows programs (preset mingw64) and run under Wine's 64-bit loader, and
# the 32-bit DLL is built and its PE file checked, but not executed.

runs_32bit_code() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The preset whose programs run here.
runnable_preset() {
  if runs_32bit_code; then echo mingw; else echo mingw64; fi
}

explain_64bit_fallback() {
  local who="$1"
  echo "$who: this machine cannot execute 32-bit x86 code, so Wine cannot run the 32-bit build."
  echo "$who: running the same sources built as 64-bit Windows programs (preset mingw64) under"
  echo "$who: Wine's 64-bit loader instead; dist/ispell.dll (32-bit) is built and checked, not run."
}
