// The line numbers the kernel's error reports carry, one per check.
//
// Every report names a module and a line ("in function [nspffts:1789]:
// nspsRealFftNip(): inSamps==0"). Hosts show that text to their users and
// error handlers receive the line as an argument, so the numbers are part
// of the kernel's interface: they are fixed values, not the lines of these
// sources, and stay as they are whatever happens to the code around them.
// The kernel reports them and its tests expect them from here only.
#ifndef VORTIGEN_KERNEL_NSPREPORTLINES_H
#define VORTIGEN_KERNEL_NSPREPORTLINES_H

#include "nsp.h"

namespace nspLine {

// ---- nsparith: one line per routine, whichever check fails -----------------
constexpr int sbSet = 201;
constexpr int sbCopy = 213;
constexpr int cbZero = 230;
constexpr int sbAdd2 = 376;
constexpr int sbMpy1 = 436;
constexpr int sbMpy2 = 448;
constexpr int sbMpy3 = 460;

// ---- nspvec, nspwin --------------------------------------------------------
constexpr int sbThresh1 = 903;
constexpr int sMax = 2341;
constexpr int sWinBartlett = 136;

// ---- nspcvrts: argument checks ---------------------------------------------
constexpr int sbFloatToInt = 284;
constexpr int sbIntToFloat = 407;
constexpr int cbCplxTo2Real = 1290;
constexpr int cb2RealToCplx = 1377;
constexpr int cbCartToPolar = 1457;
constexpr int cbPolarToCart = 1595;

// ---- nspcvrts: an element out of range in nspsbFloatToInt ------------------
// One line per member of the family: by integer size, then by rounding in
// the order nearest, toward zero, down, up, then by signedness.
struct OverflowLines {
  int signedLine, unsignedLine;
};
constexpr OverflowLines floatToInt8Overflow[] = {{301, 303}, {307, 311}, {305, 309}, {313, 315}};
constexpr OverflowLines floatToInt16Overflow[] = {{317, 319}, {323, 327}, {321, 325}, {329, 331}};
constexpr OverflowLines floatToInt32Overflow[] = {{333, 335}, {339, 343}, {337, 341}, {345, 347}};

// The same line looked up by the conversion flags a caller passes: size 8,
// 16 or 32 and one of the NSP_ConvRound* flags.
constexpr int floatToIntOverflow(int intSize, int roundingFlag, bool isUnsigned) {
  const OverflowLines* bySize = intSize == 8    ? floatToInt8Overflow
                                : intSize == 16 ? floatToInt16Overflow
                                                : floatToInt32Overflow;
  const int rounding = roundingFlag == NSP_ConvRoundNearest ? 0
                       : roundingFlag == NSP_ConvRoundZero  ? 1
                       : roundingFlag == NSP_ConvRoundDown  ? 2
                                                            : 3;
  return isUnsigned ? bySize[rounding].unsignedLine : bySize[rounding].signedLine;
}

// ---- nspffts: the real transforms ------------------------------------------
// Per entry point: the order out of range or its tables not obtained; a
// null buffer; contradictory or missing direction flags.
constexpr int realFftOrder = 1786;
constexpr int realFftBuffers = 1789;
constexpr int realFftFlags = 1791;
constexpr int ccsFftOrder = 2011;
constexpr int ccsFftBuffers = 2014;
constexpr int ccsFftFlags = 2016;
// The paired transform's backtrace after a failed half.
constexpr int real2FftBacktrace = 2342;

}  // namespace nspLine

#endif
