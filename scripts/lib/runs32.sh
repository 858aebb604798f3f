# host_runs_32bit: true where this machine runs 32-bit x86 programs. The
# i386 loader answers when 32-bit libraries are installed; before they are,
# a tiny 32-bit program that only exits shows whether the kernel runs them.
host_runs_32bit() {
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then return 0; fi
  case "$(uname -m)" in i?86|x86_64) ;; *) return 1 ;; esac
  local probe rc
  probe=$(mktemp "${TMPDIR:-/tmp}/runs32.XXXXXX") || return 1
  # ELF header, one loadable segment, then: mov eax,1; xor ebx,ebx; int 0x80.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'\
'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'\
'\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'\
'\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'\
'\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'\
'\270\001\000\000\000\061\333\315\200' >"$probe"
  chmod +x "$probe"
  rc=0
  "$probe" >/dev/null 2>&1 || rc=1
  rm -f "$probe"
  return $rc
}
