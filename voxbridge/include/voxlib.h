/* voxlib.h: the voice-channel interface of voxbridge, for applications.
 *
 * Devices are named "dxxxB<board>" (a board) and "dxxxB<board>C<channel>"
 * (a channel). Every function returns a 32-bit signed value and uses the C
 * calling convention (the caller removes the arguments). Operations run to
 * their end on the calling thread whatever mode is passed.
 *
 * Records keep their 32-bit layouts on 32-bit Windows (DX_IOTT 28 bytes,
 * DV_TPT 16, DV_DIGIT 64, CT_DEVINFO 16); on a 64-bit system the pointers
 * inside them are 8 bytes wide and the records grow accordingly.
 *
 * Usable from C and C++. On Windows the library is voxbridge.dll; link its
 * import library. Code linking the library statically defines
 * VOXBRIDGE_STATIC.
 */
#ifndef VOXLIB_H
#define VOXLIB_H

#include <stdint.h>

#if defined(_WIN32) && !defined(VOXBRIDGE_STATIC) && !defined(VOXBRIDGE_BUILD)
#define VOXAPI __declspec(dllimport)
#else
#define VOXAPI
#endif

#if defined(_WIN32)
#define VOXCALL __cdecl
#else
#define VOXCALL
#endif

/* Functions that take whatever arguments their callers pass. */
#ifdef __cplusplus
#define VOX_ANYARGS ...
extern "C" {
#else
#define VOX_ANYARGS
#endif

/* ---- I/O transfer table ------------------------------------------------ */

/* io_type (and tp_type below): how the chain goes on after an entry. */
#define IO_CONT 0x01 /* the next entry follows in memory */
#define IO_LINK 0x02 /* the next entry is io_nextp / tp_nextp */
#define IO_EOT 0x04  /* last entry */

typedef struct DX_IOTT {
  uint16_t io_type;
  uint16_t rfu;
  int32_t io_fhandle; /* from dx_fileopen */
  char* io_bufp;      /* not used */
  uint32_t io_offset; /* first byte */
  int32_t io_length;  /* bytes; -1 for the rest of the file / until terminated */
  struct DX_IOTT* io_nextp;
  struct DX_IOTT* io_prevp; /* written by the library while it walks */
} DX_IOTT;

/* ---- termination ---------------------------------------------------------- */

#define DX_MAXDTMF 1 /* tp_length digits */
#define DX_LCOFF 4   /* the caller hangs up */
#define DX_MAXTIME 6 /* tp_length tenths of a second (TF_10MS: hundredths) */
#define DX_DIGMASK 7 /* a digit of the mask tp_length (DM_ bits); 0xFFFF: any */

#define TF_LEVEL 0x01 /* level mode: digits already buffered count too */
#define TF_10MS 0x20  /* DX_MAXTIME in units of 10 ms */

typedef struct DV_TPT {
  uint16_t tp_type; /* IO_CONT, IO_LINK, IO_EOT */
  uint16_t tp_termno;
  uint16_t tp_length;
  uint16_t tp_flags;
  uint16_t tp_data;
  uint16_t rfu;
  struct DV_TPT* tp_nextp;
} DV_TPT;

/* ATDX_TERMMSK bits */
#define TM_MAXDTMF 0x1
#define TM_LCOFF 0x8
#define TM_MAXTIME 0x20
#define TM_DIGIT 0x40
#define TM_USRSTOP 0x100
#define TM_ERROR 0x80000

/* LastError values of the library's own, beside the TSAPI return codes
   (negative), 1 (not supported) and 8 (an argument refused) */
#define VOX_ERR_BUSY 16    /* another operation runs on the channel */
#define VOX_ERR_TIMEOUT 17 /* the server did not answer in time */

/* Digit masks for DX_DIGMASK */
#define DM_D 0x0001
#define DM_1 0x0002
#define DM_2 0x0004
#define DM_3 0x0008
#define DM_4 0x0010
#define DM_5 0x0020
#define DM_6 0x0040
#define DM_7 0x0080
#define DM_8 0x0100
#define DM_9 0x0200
#define DM_0 0x0400
#define DM_S 0x0800 /* '*' */
#define DM_P 0x1000 /* '#' */
#define DM_A 0x2000
#define DM_B 0x4000
#define DM_C 0x8000
#define DM_ANY 0xFFFF

/* ---- digits, device information, call analysis ------------------------------ */

typedef struct DV_DIGIT {
  char dg_value[32]; /* at most 31 digits and a terminator */
  char dg_type[32];  /* 0 per digit; 0xFF marks the end */
} DV_DIGIT;

typedef struct CT_DEVINFO {
  uint32_t ct_prodid;
  uint8_t ct_devfamily;
  uint8_t ct_devmode;
  uint8_t ct_nettype;
  uint8_t ct_busmode;
  uint8_t ct_busencoding;
  uint8_t ct_rfu[7];
} CT_DEVINFO;

/* The call-analysis parameter block; dx_clrcap clears it. */
typedef struct DX_CAP {
  uint16_t ca_parm[56];
} DX_CAP;

/* Modes: every operation is synchronous; the value is accepted and ignored. */
#define EV_SYNC 0x0000

/* ---- channels ----------------------------------------------------------------- */

VOXAPI int VOXCALL dx_open(const char* name, int oflags);
VOXAPI int VOXCALL dx_close(int chdev);
VOXAPI int VOXCALL dx_play(int chdev, DX_IOTT* iottp, DV_TPT* tptp, unsigned short mode);
VOXAPI int VOXCALL dx_playf(int chdev, const char* filename, DV_TPT* tptp, unsigned short mode);
VOXAPI int VOXCALL dx_rec(int chdev, DX_IOTT* iottp, DV_TPT* tptp, unsigned short mode);
VOXAPI int VOXCALL dx_getdig(int chdev, DV_TPT* tptp, DV_DIGIT* digitp, unsigned short mode);
VOXAPI int VOXCALL dx_stopch(int chdev, unsigned short mode);
VOXAPI int VOXCALL dx_clrdigbuf(int chdev);
VOXAPI int VOXCALL dx_clrcap(DX_CAP* capp);
VOXAPI int VOXCALL ag_getctinfo(int chdev, CT_DEVINFO* ct_devinfop);

/* Attributes of the last operation */
VOXAPI int VOXCALL ATDX_TERMMSK(int chdev);
VOXAPI int VOXCALL ATDX_TRCOUNT(int chdev);
VOXAPI int VOXCALL ATDX_BUFDIGS(int chdev);
VOXAPI int VOXCALL ATDX_CONNTYPE(int chdev);

/* Voice files: handles for io_fhandle. Names beginning with a backslash are
 * on the configured drive. */
VOXAPI int VOXCALL dx_fileopen(const char* name, int flags);
VOXAPI int VOXCALL dx_fileclose(int handle);
VOXAPI int VOXCALL dx_fileseek(int handle, int offset, int origin);

/* The library's own: boards and channels configured, the diagnostic log. */
VOXAPI int VOXCALL CountSubdevs(int chdev);
VOXAPI int VOXCALL debug_log(const char* format, ...);
VOXAPI int VOXCALL CountBoards(void);
VOXAPI int VOXCALL LastError(int chdev);

/* Not supported: -1, LastError 1 */
VOXAPI int VOXCALL dx_dial(int chdev, const char* dialstrp, DX_CAP* capp, unsigned short mode);
VOXAPI int VOXCALL dx_wink(int chdev, ...);
VOXAPI int VOXCALL dx_setevtmsk(int chdev, ...);
VOXAPI int VOXCALL dx_getevt(int chdev, ...);
VOXAPI int VOXCALL dx_getparm(int chdev, ...);
VOXAPI int VOXCALL dx_wtring(int chdev, int nrings, int hstate, int timeout);

/* Accepted, nothing done: 1 */
VOXAPI int VOXCALL dx_setparm(int chdev, int parm, void* valuep);
VOXAPI int VOXCALL dx_sethook(int chdev, int hookstate, unsigned short mode);
VOXAPI int VOXCALL dx_addtone(int chdev, ...);
VOXAPI int VOXCALL dx_deltones(int chdev);
VOXAPI int VOXCALL dx_enbtone(int chdev, ...);
VOXAPI int VOXCALL dx_distone(int chdev, int toneid, int evt_mask);

/* Accepted, nothing done: 0 */
VOXAPI int VOXCALL dx_adjsv(int chdev, ...);
VOXAPI int VOXCALL dx_setsvmt(int chdev, ...);
VOXAPI int VOXCALL dx_initcallp(int chdev);

/* Logged, nothing done: 0 */
VOXAPI int VOXCALL ATDX_CPTERM(VOX_ANYARGS);
VOXAPI int VOXCALL dx_route(VOX_ANYARGS);
VOXAPI int VOXCALL dx_routerxtx(VOX_ANYARGS);
VOXAPI int VOXCALL dx_blddt(VOX_ANYARGS);
VOXAPI int VOXCALL dx_bldst(int freq, int fq_dev, int ampl, int ampl_dev);
VOXAPI int VOXCALL dx_blddtcad(VOX_ANYARGS);
VOXAPI int VOXCALL dx_bldstcad(VOX_ANYARGS);
VOXAPI int VOXCALL dx_fileread(VOX_ANYARGS);
VOXAPI int VOXCALL dx_filewrite(VOX_ANYARGS);
VOXAPI int VOXCALL dx_filechsize(VOX_ANYARGS);
VOXAPI int VOXCALL dx_filecommit(VOX_ANYARGS);
VOXAPI int VOXCALL dx_getxmitslot(VOX_ANYARGS);
VOXAPI int VOXCALL dx_unlisten(VOX_ANYARGS);
VOXAPI int VOXCALL ag_getxmitslot(VOX_ANYARGS);
VOXAPI int VOXCALL ag_listen(VOX_ANYARGS);
VOXAPI int VOXCALL ag_unlisten(VOX_ANYARGS);
VOXAPI int VOXCALL dx_listen(VOX_ANYARGS);

/* Exported data */
VOXAPI extern int32_t __dx_max_udata_sz;

/* Everything else the interface names is one entry point: any arguments,
 * nothing done, returns 50. */
#define VOX_SHARED_NAMES(X)                                                                  \
  X(_dx_getattr) X(dx_namep) X(dx_drvver) X(dx_irqnum) X(dx_lasterr) X(dx_libver)             \
  X(dx_ramaddr) X(dx_subdevs) X(dx_tech) X(dx_type) X(dx_feature) X(dx_errmsgp)               \
  X(ATDX_CPERROR) X(ATDX_CHNAMES) X(ATDX_RINGCNT) X(ATDX_DIGBUFMODE) X(ATDX_PRODUCT)          \
  X(_ATDX_CSTEVT) X(ATDX_NUMCHAN) X(ATDX_STATE) X(ATDX_EVTCNT) X(ATDX_CHNUM)                  \
  X(ATDX_PHYADDR) X(ATDX_DEVTYPE) X(ATDX_BDNAMEP) X(ATDX_BDTYPE) X(ATDX_FWVER)                \
  X(ATDX_HOOKST) X(ATDX_LINEST) X(ATDX_ANSRSIZ) X(ATDX_FRQHZ) X(ATDX_FRQOUT)                  \
  X(ATDX_LONGLOW) X(ATDX_SHORTLOW) X(ATDX_SIZEHI) X(ATDX_FRQHZ2) X(ATDX_FRQHZ3)               \
  X(ATDX_FRQDUR) X(ATDX_FRQDUR2) X(ATDX_FRQDUR3) X(ATDX_TONEID) X(ATDX_DBMASK)                \
  X(dx_setstdatr) X(dx_setdigbuf) X(dx_clrtpt) X(_dx_sync) X(dx_setdigtyp) X(dx_setpulse)     \
  X(dx_setien) X(dx_setmfdet) X(dx_setbulkparm) X(dx_getbulkparm) X(dx_decode) X(pr_lstat)    \
  X(pr_reason) X(pr_transit) X(pr_cmdtype) X(pr_errcmd) X(pr_cmd) X(_dx_setxferbufsz)         \
  X(_dx_cp_blkprms) X(_dx_syncmlist) X(_dx_dbdnld) X(_dx_dbrab) X(_dx_dbstart)                \
  X(_dx_dbstop) X(d42_setparm) X(dx_gtcallid) X(dx_buildtone) X(dx_gettone) X(dx_creatone)    \
  X(dx_getqualtmplate) X(dx_setqualtmplate) X(dx_bldtngen) X(dx_playtone) X(_dx_modefqual)    \
  X(_dx_modefpqual) X(dx_setuio) X(set_term) X(dl_termno) X(dx_putiotdata) X(dx_getiotdata)   \
  X(dx_get_reccnt) X(dx_recf) X(_dx_msleep) X(dx_idlech) X(dx_flush) X(dx_initdigbuf)         \
  X(dx_clrevtblk) X(is_chan) X(dx_set_ringcnt) X(dx_set_cstevt) X(dx_set_lasterr)             \
  X(dx_getlstat) X(dx_comtest) X(dx_conv_err) X(dx_conv_evt) X(dx_error_type)                 \
  X(_dx_chainret) X(_dx_chainerr) X(_dx_dechainret) X(_dx_dechainerr) X(dl_evnt_sighndlr)     \
  X(dx_getevtmsk) X(dx_gtinf) X(dx_gtromsig) X(dx_sendmask) X(dx_setrings)                    \
  X(_dx_setidlestate) X(_dx_state) X(_dx_getopencnt) X(_dx_bdreset) X(dx_setsvcond)           \
  X(dx_clrsvcond) X(dx_getcursv) X(dx_getsvmt) X(dx_addspddig) X(dx_addvoldig)                \
  X(r2_creatfsig) X(_r2_creatbsig) X(r2_playbsig) X(_r2_playfsig) X(dx_send2drvr)             \
  X(dx_gblctl) X(dx_getfreecmd) X(dx_getfreebuf) X(dx_putfreebuf) X(_dx_handle) X(dx_global)  \
  X(dx_getctinfo) X(dx_getextqualtmplate) X(dx_setextqualtmplate) X(dx_chgqualid)             \
  X(dx_chgfreq) X(dx_chgdur) X(dx_chgrepcnt) X(dx_setgtdamp) X(ATDX_DTNFAIL) X(ATDX_CRTNID)   \
  X(dx_playiottdata) X(dx_playvox) X(dx_playwav) X(dx_reciottdata) X(dx_recvox) X(dx_recwav)  \
  X(_dx_getOpenCountCritSection) X(dx_filesopen) X(dx_filelocking) X(dx_filedup)             \
  X(dx_filedup2) X(dx_fileumask) X(dx_filetell) X(dx_filestat) X(dx_filefstat)               \
  X(dx_filefilelength) X(dx_fileisatty) X(dx_filesetmode) X(dx_fileopen_osfhandle)           \
  X(ag_assignxmitslot) X(ag_unassignxmitslot) X(dx_assignxmitslot) X(dx_unassignxmitslot)    \
  X(dx_sendevt) X(dx_getr2mf) X(dx_setchxfercnt) X(dx_fileerrno)

#define VOX_DECLARE_SHARED(name) VOXAPI int VOXCALL name(VOX_ANYARGS);
VOX_SHARED_NAMES(VOX_DECLARE_SHARED)
#undef VOX_DECLARE_SHARED

#ifdef __cplusplus
}
#endif

#endif /* VOXLIB_H */
