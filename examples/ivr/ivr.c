/* A small interactive voice response program on the voice library: it
 * greets the caller, takes a one-digit choice, plays the opening hours (1)
 * or records a message ended by '#' (2), says goodbye and waits for the
 * caller to hang up. Written in plain C against voxlib.h, with the board
 * count taken from the runtime library (runbridge.h) as voice programs do.
 *
 *   ivr [channel]        (default dxxxB1C1)
 *
 * The prompts are made here (a few seconds of tone-like bytes) in the
 * current folder, so the example needs no audio files; the recording is
 * message.vox there too. Relative names are used as they are by the
 * library and the server. */
#include <stdio.h>
#include <string.h>

#include "runbridge.h"
#include "spanbridge.h"
#include "voxlib.h"

static int make_prompt(const char* name, int bytes, int level) {
  FILE* f = fopen(name, "wb");
  int i;
  if (!f) return -1;
  for (i = 0; i < bytes; ++i) fputc((i / 8) % 2 ? level : 0xFF, f);
  return fclose(f);
}

static void term_list(DV_TPT* t, int count) {
  int i;
  memset(t, 0, sizeof(DV_TPT) * (size_t)count);
  for (i = 0; i < count; ++i) t[i].tp_type = i + 1 < count ? IO_CONT : IO_EOT;
}

/* Plays one file to its end; the caller hanging up ends it early. */
static int play(int ch, const char* name) {
  DX_IOTT iott;
  DV_TPT tpt[1];
  int result;
  memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = dx_fileopen(name, 0);
  iott.io_offset = 0;
  iott.io_length = -1;
  term_list(tpt, 1);
  tpt[0].tp_termno = DX_LCOFF;
  result = dx_play(ch, &iott, tpt, EV_SYNC);
  dx_fileclose(iott.io_fhandle);
  if (result != 0) {
    printf("ivr: %s could not be played (%d, error %d)\n", name, result, LastError(ch));
    return -1;
  }
  if (ATDX_TERMMSK(ch) & TM_LCOFF) {
    printf("ivr: caller hung up during %s\n", name);
    return -1;
  }
  printf("ivr: played %s, %d bytes\n", name, ATDX_TRCOUNT(ch));
  return 0;
}

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "dxxxB1C1";
  DV_TPT tpt[3];
  DV_DIGIT digits;
  DX_IOTT rec;
  int ch, n;
  int32_t boards = 0;

  if (make_prompt("greeting.vox", 8000, 0x40) || make_prompt("hours.vox", 12000, 0x50) ||
      make_prompt("beep.vox", 2000, 0x60) || make_prompt("goodbye.vox", 4000, 0x70)) {
    printf("ivr: cannot write the prompts here\n");
    return 1;
  }
  sr_getboardcnt("Voice", &boards);
  /* A program written for a digital span opens it first; the server's voice
     ports need none, so a refusal just means analog ports. */
  n = dt_open("dtiB1T1", 0);
  if (n >= 0) dt_close(n);
  printf("ivr: %d board(s) configured\n", (int)boards);
  ch = dx_open(name, 0);
  if (ch < 0) {
    printf("ivr: cannot open %s\n", name);
    return 1;
  }
  printf("ivr: %s open\n", name);
  dx_clrdigbuf(ch);

  if (play(ch, "greeting.vox") != 0) goto done;

  /* One digit, ten seconds at most. */
  term_list(tpt, 3);
  tpt[0].tp_termno = DX_MAXDTMF;
  tpt[0].tp_length = 1;
  tpt[1].tp_termno = DX_MAXTIME;
  tpt[1].tp_length = 100;
  tpt[2].tp_termno = DX_LCOFF;
  n = dx_getdig(ch, tpt, &digits, EV_SYNC);
  if (n <= 1) {
    printf("ivr: no choice (%s)\n", ATDX_TERMMSK(ch) & TM_LCOFF ? "hung up" : "time out");
    goto done;
  }
  printf("ivr: caller chose %s\n", digits.dg_value);

  if (digits.dg_value[0] == '1') {
    if (play(ch, "hours.vox") != 0) goto done;
  } else if (digits.dg_value[0] == '2') {
    if (play(ch, "beep.vox") != 0) goto done;
    printf("ivr: recording a message; # ends it\n");
    memset(&rec, 0, sizeof rec);
    rec.io_type = IO_EOT;
    rec.io_fhandle = dx_fileopen("message.vox", 0);
    rec.io_length = 80000; /* about 26 seconds at most */
    term_list(tpt, 2);
    tpt[0].tp_termno = DX_DIGMASK;
    tpt[0].tp_length = DM_P;
    tpt[0].tp_flags = TF_LEVEL;
    tpt[1].tp_termno = DX_LCOFF;
    if (dx_rec(ch, &rec, tpt, EV_SYNC) != 0) {
      printf("ivr: recording failed (error %d)\n", LastError(ch));
      goto done;
    }
    dx_fileclose(rec.io_fhandle);
    printf("ivr: message recorded, %d bytes, ended by %s\n", ATDX_TRCOUNT(ch),
           ATDX_TERMMSK(ch) & TM_DIGIT ? "#" : ATDX_TERMMSK(ch) & TM_LCOFF ? "hang-up" : "time");
    if (ATDX_TERMMSK(ch) & TM_LCOFF) goto done;
  } else {
    printf("ivr: no such choice\n");
  }
  if (play(ch, "goodbye.vox") != 0) goto done;

  /* The caller hangs up; digits meanwhile are of no interest. */
  term_list(tpt, 1);
  tpt[0].tp_termno = DX_LCOFF;
  do {
    n = dx_getdig(ch, tpt, &digits, EV_SYNC);
  } while (n >= 0 && !(ATDX_TERMMSK(ch) & TM_LCOFF));
  printf("ivr: caller hung up\n");

done:
  dx_close(ch);
  printf("ivr: done\n");
  return 0;
}
