/* nsp.h - the signal-processing kernel ("SPL Library") shared by both plug-ins.
 *
 * Every routine checks its arguments and reports a failed check through
 * nspReportError; the status stays recorded until a later report or an
 * explicit nspStatusSet overwrites it. Routines return nothing (or their
 * value); callers read success from the status.
 */
#ifndef VORTIGEN_KERNEL_NSP_H
#define VORTIGEN_KERNEL_NSP_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ------------------------------------------------------------ */

typedef struct {
  float re, im;
} ComplexFloat;

/* Error handler: receives every non-zero report; its result is passed back
 * to the reporting routine. */
typedef int (*NspErrorHandler)(int status, const char* funcName, const char* context,
                               const char* file, int line);

typedef struct {
  int major;
  int minor;
  int build;
  const char* name;            /* "spkernel.lib" */
  const char* version;         /* "v4.0 Release Candidate" */
  const char* internalVersion; /* "[4.00.29, 01/30/97]" */
  const char* buildDate;       /* "Feb 24 1998" */
  const char* compilerMaker;
} KernelVersion;

/* ---- Status codes ------------------------------------------------------- */

enum {
  NSP_StatusNoError = 0,
  NSP_StatusBacktrace = -1,
  NSP_StatusBadState = -3,
  NSP_StatusOutOfMemory = -4,
  NSP_StatusBadArgument = -5,
  NSP_StatusUnsupported = -6,
  NSP_StatusNoConvergence = -7,
  NSP_StatusAutotrace = -8
};

/* ---- Error modes -------------------------------------------------------- */

enum {
  NSP_ErrorModeLeaf = 0,   /* Yes/No box: "Terminate the application?" */
  NSP_ErrorModeParent = 1, /* OK/Cancel box: "Continue?" */
  NSP_ErrorModeSilent = 2  /* nothing shown */
};

/* ---- Sample conversion flags ---------------------------------------------- */

enum {
  NSP_ConvRoundNearest = 0x80,
  NSP_ConvRoundZero = 0x100,
  NSP_ConvRoundDown = 0x200,
  NSP_ConvRoundUp = 0x400,
  NSP_ConvUnsigned = 0x800,
  NSP_ConvSaturate = 0x1000,
  NSP_ConvReportOverflow = 0x2000
};

/* ---- FFT flags ------------------------------------------------------------ */

enum {
  NSP_FftForward = 1,
  NSP_FftInverse = 2,
  NSP_FftInitOnly = 4,
  NSP_FftFreeTables = 8,
  NSP_FftNoScale = 16
};

/* ---- Status and errors (nspmisc) ------------------------------------------ */

int nspStatusGet(void);
void nspStatusSet(int status);
int nspErrorModeGet(void);
void nspErrorModeSet(int mode);
NspErrorHandler nspSetErrorHandler(NspErrorHandler handler);
const char* nspStatusText(int status);
int nspReportError(int status, const char* funcName, const char* context, const char* file,
                   int line);
int nspDefaultErrorReport(int status, const char* funcName, const char* context, const char* file,
                          int line);
int nspQuietErrorReport(int status, const char* funcName, const char* context, const char* file,
                        int line);
const KernelVersion* nspKernelVersion(void);

/* ---- Sample conversion (nspcvrts) ----------------------------------------- */

void nspsbIntToFloat(const void* src, float* dst, int len, int intSize, int flags);
void nspsbFloatToInt(const float* src, void* dst, int len, int intSize, int flags);

/* ---- Vector arithmetic (nsparith) ----------------------------------------- */

void nspsbCopy(const float* src, float* dst, int n);
void nspsbSet(float val, float* dst, int n);
void nspcbZero(ComplexFloat* dst, int n);
void nspsbMpy1(float val, float* dst, int n);
void nspsbMpy2(const float* src, float* dst, int n);
void nspsbMpy3(const float* srcA, const float* srcB, float* dst, int n);
void nspsbAdd2(const float* src, float* dst, int n);

/* ---- Vector maximum and threshold (nspvec) -------------------------------- */

void nspsbThresh1(float* vec, int len, float thresh, int relOp);
float nspsMax(const float* vec, int len);

/* ---- Complex split/join and polar form (nspcvrts) ------------------------- */

void nspcbCplxTo2Real(const ComplexFloat* src, float* dstReal, float* dstImag, int length);
void nspcb2RealToCplx(const float* srcReal, const float* srcImag, ComplexFloat* dst, int length);
void nspcbCartToPolar(const ComplexFloat* src, float* mag, float* phase, int length);
void nspcbPolarToCart(const float* mag, const float* phase, ComplexFloat* dst, int length);

/* ---- Windows (nspwin) ----------------------------------------------------- */

void nspsWinBartlett(float* vec, int n);

/* ---- FFT table cache (nsptwd) --------------------------------------------- */

float* nspGetRadixTwd(int c);
ComplexFloat* nspGetExpTwd(int a);
ComplexFloat* nspGetSplitTwd(int c);
int* nspGetBitRev(int c);
void nspFreeRadixTwd(int c);
void nspFreeExpTwd(int a);
void nspFreeSplitTwd(int c);
void nspFreeBitRev(int c);
void nspFreeAllTwd(void);
void* nspTableAlloc(int slots, int elementSize);
void nspTableFree(void* table);

/* ---- Complex FFT core (nspffts) ------------------------------------------- */

void nspFftReorderCopy(const ComplexFloat* src, ComplexFloat* dst, int c, const int* bitRev);
void nspFftReorderInPlace(ComplexFloat* data, int c, const int* bitRev);
void nspFftComplex(ComplexFloat* data, int n, int direction, const float* table);
void nspFftRadix4Fwd(ComplexFloat* data, int n, const float* base);
void nspFftRadix4Inv(ComplexFloat* data, int n, const float* base);
void nspFftRadix2Passes(ComplexFloat* data, int len, int span, const ComplexFloat* table, int total,
                        int direction, int run);

/* ---- Real FFT (nspffts) --------------------------------------------------- */

void nspsRealFftNip(const float* inSamps, ComplexFloat* outSamps, int order, int flags);
void nspsCcsFftNip(const ComplexFloat* inSamps, float* outSamps, int order, int flags);
void nspsReal2FftNip(const float* inSamps1, ComplexFloat* outSamps1, const float* inSamps2,
                     ComplexFloat* outSamps2, int order, int flags);

#ifdef __cplusplus
}
#endif

#endif /* VORTIGEN_KERNEL_NSP_H */
