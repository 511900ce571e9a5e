// The most bits one syntax element can make the library's readers consume, whatever the data:
// a frame is followed by that many zero bytes (plus the readers' three-byte look-ahead), so
// that no element parse leaves the buffer; the position is checked against the frame's end
// after each element.
#pragma once
#include <cstddef>

namespace aacbounds {

// Longest codewords: scalefactor book 19 bits; spectral book 11 12 bits per pair.
constexpr int kSfCodeBits = 19;
constexpr int kBook11CodeBits = 12;
// An escape: at most 8 prefix ones and the terminating 0, then 12 bits.
constexpr int kEscapeBits = 9 + 12;
// Worst spectral cost per coefficient: book 11 pairs with two signs and two escapes; the
// other books cost less per coefficient (checked against the codebooks in the tests).
constexpr int kSpectralBitsPerPair = kBook11CodeBits + 2 + 2 * kEscapeBits;
constexpr int kSpectralBits = 1024 / 2 * kSpectralBitsPerPair;

// Side information of one channel stream.
constexpr int kIcsInfoBits = 1 + 2 + 1 + 6 + 1 + 1 + 5 + 41;       // long window, prediction flags
constexpr int kLtpBits = 11 + 3 + 40;                               // LTP data of one channel
constexpr int kSectionBits = 8 * 15 * (4 + 3) + 8 * 3 * 2;          // short: a section per band, escapes
constexpr int kSectionBitsLong = 51 * (4 + 5) + 2 * 5;
constexpr int kScalefactorBits = 8 * 15 * kSfCodeBits;              // 120 short bands
constexpr int kPulseBits = 1 + 2 + 6 + 4 * (5 + 4);
constexpr int kTnsBits = 8 * (1 + 1 + 4 + 3 + 1 + 1 + 7 * 4);      // short windows exceed long ones
constexpr int kIcsBits = 8 + kIcsInfoBits + 2 * kLtpBits + (kSectionBits > kSectionBitsLong ? kSectionBits : kSectionBitsLong) +
                         kScalefactorBits + kPulseBits + kTnsBits + 1 + kSpectralBits;

// A channel pair: tag, common window, ICS information, M/S mask of 8 groups of 15 bands, two streams.
constexpr int kCpeBits = 4 + 1 + kIcsInfoBits + 2 + 8 * 15 + 2 * kIcsBits;
// Data stream (510 bytes), fill (269 bytes) and program configuration elements are shorter.
constexpr int kDseBits = 4 + 1 + 16 + 7 + 510 * 8;
constexpr int kFilBits = 4 + 8 + 269 * 8;
constexpr int kPceBits = 4 + 2 + 4 + 4 * 3 + 2 + 3 + 4 + 3 * 5 + 15 * 3 * 5 + 3 * 4 + 7 * 4 + 15 * 5 + 7 + 8 + 255 * 8;
static_assert(kCpeBits > kDseBits && kCpeBits > kFilBits && kCpeBits > kPceBits);

// Zero bytes after each frame: one element plus the readers' look-ahead and the offset.
constexpr size_t kGuardBytes = (kCpeBits + 7) / 8 + 4;

}  // namespace aacbounds
