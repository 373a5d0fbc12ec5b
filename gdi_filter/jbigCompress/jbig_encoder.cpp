// Our JBIG encoder: T.82's arithmetic coder and the lowest resolution layer's
// line coding, giving JBIG-KIT 2.1's bytes for the printers' parameters in a
// fraction of its time.
//
// Where the time goes and why this is faster: on a printed page most coded
// pixels are white with an all-white template around them. Between two
// renormalisations the coder's state for that context is fixed, so a run of
// them is one subtraction (EncodeWhiteRun); the other pixels take their
// contexts from 64-bit windows of the packed rows, and lines equal to the one
// above are found with memcmp.
#include "jbigCompress/jbig_encoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace {

// The option and order bits of the image header (as in jbig.h).
constexpr unsigned kOrderSeq = 0x04, kOrderIleave = 0x02, kOrderSmid = 0x01;
constexpr unsigned kOptLrlTwo = 0x40, kOptTpbOn = 0x08, kOptDpOn = 0x04, kOptDpPriv = 0x02,
                   kOptDpLast = 0x01;

constexpr uint8_t kMarkerEsc = 0xff, kMarkerStuff = 0x00, kMarkerSdnorm = 0x02,
                  kMarkerAtmove = 0x06;

// Contexts of the typical-prediction pseudo pixel, two- and three-line template.
constexpr unsigned kTpb2Cx = 0x195, kTpb3Cx = 0x0e5;
// JBIG-KIT's largest adaptive-template offset.
constexpr unsigned kMxMax = 127;
// JBIG-KIT decides on a template move once more than this many pixels were seen.
constexpr unsigned long kAtSamples = 2048;

// T.82 Table 24: the probability estimation state machine. kNlps carries the
// MPS/LPS switch in its high bit.
constexpr uint16_t kLsz[113] = {
    0x5a1d, 0x2586, 0x1114, 0x080b, 0x03d8, 0x01da, 0x00e5, 0x006f, 0x0036, 0x001a, 0x000d, 0x0006,
    0x0003, 0x0001, 0x5a7f, 0x3f25, 0x2cf2, 0x207c, 0x17b9, 0x1182, 0x0cef, 0x09a1, 0x072f, 0x055c,
    0x0406, 0x0303, 0x0240, 0x01b1, 0x0144, 0x00f5, 0x00b7, 0x008a, 0x0068, 0x004e, 0x003b, 0x002c,
    0x5ae1, 0x484c, 0x3a0d, 0x2ef1, 0x261f, 0x1f33, 0x19a8, 0x1518, 0x1177, 0x0e74, 0x0bfb, 0x09f8,
    0x0861, 0x0706, 0x05cd, 0x04de, 0x040f, 0x0363, 0x02d4, 0x025c, 0x01f8, 0x01a4, 0x0160, 0x0125,
    0x00f6, 0x00cb, 0x00ab, 0x008f, 0x5b12, 0x4d04, 0x412c, 0x37d8, 0x2fe8, 0x293c, 0x2379, 0x1edf,
    0x1aa9, 0x174e, 0x1424, 0x119c, 0x0f6b, 0x0d51, 0x0bb6, 0x0a40, 0x5832, 0x4d1c, 0x438e, 0x3bdd,
    0x34ee, 0x2eae, 0x299a, 0x2516, 0x5570, 0x4ca9, 0x44d9, 0x3e22, 0x3824, 0x32b4, 0x2e17, 0x56a8,
    0x4f46, 0x47e5, 0x41cf, 0x3c3d, 0x375e, 0x5231, 0x4c0f, 0x4639, 0x415e, 0x5627, 0x50e7, 0x4b85,
    0x5597, 0x504f, 0x5a10, 0x5522, 0x59eb,
};
constexpr uint8_t kNmps[113] = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 13, 15, 16,  17,  18,  19,  20,  21,  22,  23,
    24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 9,  37, 38, 39,  40,  41,  42,  43,  44,  45,  46,
    47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62,  63,  32,  65,  66,  67,  68,  69,
    70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 48, 81, 82, 83, 84, 85,  86,  87,  71,  89,  90,  91,  92,
    93, 94, 86, 96, 97, 98, 99, 100, 93, 102, 103, 104, 99, 106, 107, 103, 109, 107, 111, 109, 111,
};
constexpr uint8_t kNlps[113] = {
    129, 14,  16,  18,  20,  23,  25,  28,  30,  33,  35,  9,   10,  12,  143, 36,  38,  39,  40,
    42,  43,  45,  46,  48,  49,  51,  52,  54,  56,  57,  59,  60,  62,  63,  32,  33,  165, 64,
    65,  67,  68,  69,  70,  72,  73,  74,  75,  77,  78,  79,  48,  50,  50,  51,  52,  53,  54,
    55,  56,  57,  58,  59,  61,  61,  193, 80,  81,  82,  83,  84,  86,  87,  87,  72,  72,  74,
    74,  75,  77,  77,  208, 88,  89,  90,  91,  92,  93,  86,  216, 95,  96,  97,  99,  99,  93,
    223, 101, 102, 103, 104, 99,  105, 106, 107, 103, 233, 108, 109, 110, 111, 238, 112, 240,
};

// The arithmetic coder of T.82 (its registers laid out as in Table 23), writing
// a stripe's coded data to a vector; the probability states live across stripes.
class ArithEncoder {
public:
    explicit ArithEncoder(std::vector<uint8_t>* out) : out_(out) { std::memset(st_, 0, sizeof st_); }

    void Start() {
        c_ = 0;
        a_ = 0x10000;
        sc_ = 0;
        ct_ = 11;
        buffer_ = -1;
    }

    void Encode(unsigned cx, unsigned pix) {
        uint8_t& st = st_[cx];
        const unsigned ss = st & 0x7f;
        const unsigned lsz = kLsz[ss];
        a_ -= lsz;
        if (((pix << 7) ^ st) & 0x80) {
            // The less probable symbol; the larger interval goes to it when
            // the MPS's became smaller (conditional exchange).
            if (a_ >= lsz) {
                c_ += a_;
                a_ = lsz;
            }
            st = static_cast<uint8_t>((st & 0x80) ^ kNlps[ss]);
        } else {
            if (a_ & 0xffff8000u) return;
            if (a_ < lsz) {
                c_ += a_;
                a_ = lsz;
            }
            st = static_cast<uint8_t>((st & 0x80) | kNmps[ss]);
        }
        Renormalize();
    }

    // Whether a white pixel is the more probable symbol of the all-white context.
    bool WhiteIsLikely() const { return (st_[0] & 0x80) == 0; }

    // n white pixels in context 0 whose MPS is white: each takes lsz off the
    // interval until it drops below half, so the count up to the next
    // renormalisation is one division.
    void EncodeWhiteRun(uint64_t n) {
        uint8_t& st = st_[0];
        while (n != 0) {
            const unsigned ss = st & 0x7f;
            const unsigned lsz = kLsz[ss];
            const uint64_t quiet = (a_ - 0x8000) / lsz;  // codes that leave A >= 0x8000
            if (n <= quiet) {
                a_ -= n * lsz;
                return;
            }
            a_ -= (quiet + 1) * lsz;
            n -= quiet + 1;
            if (a_ < lsz) {
                c_ += a_;
                a_ = lsz;
            }
            st = static_cast<uint8_t>((st & 0x80) | kNmps[ss]);
            Renormalize();
        }
    }

    void Flush() {
        // The value in the final interval with the most trailing zero bits.
        const uint64_t temp = (a_ - 1 + c_) & 0xffff0000u;
        c_ = temp < c_ ? temp + 0x8000 : temp;
        c_ <<= ct_;
        if (c_ & 0xf8000000u) {
            if (buffer_ >= 0) PutStuffed(static_cast<uint8_t>(buffer_ + 1));
            if (c_ & 0x7fff800u)
                for (; sc_; --sc_) Put(0x00);
        } else {
            if (buffer_ >= 0) Put(static_cast<uint8_t>(buffer_));
            for (; sc_; --sc_) {
                Put(kMarkerEsc);
                Put(kMarkerStuff);
            }
        }
        if (c_ & 0x7fff800u) {
            PutStuffed(static_cast<uint8_t>((c_ >> 19) & 0xff));
            if (c_ & 0x7f800u) PutStuffed(static_cast<uint8_t>((c_ >> 11) & 0xff));
        }
    }

private:
    void Renormalize() {
        // Shift A back to at least 0x8000, emitting a byte each time CT runs out.
        do {
            const int shift = __builtin_clzll(a_) - 48;
            if (shift < ct_) {
                a_ <<= shift;
                c_ <<= shift;
                ct_ -= shift;
                return;
            }
            a_ <<= ct_;
            c_ <<= ct_;
            EmitByte();
        } while (a_ < 0x8000);
    }

    // A byte is ready; 0xff bytes wait in sc_ until no carry can reach them.
    void EmitByte() {
        const uint64_t temp = c_ >> 19;
        if (temp & 0xffffff00u) {
            if (buffer_ >= 0) PutStuffed(static_cast<uint8_t>(++buffer_));
            for (; sc_; --sc_) Put(0x00);
            buffer_ = static_cast<int>(temp & 0xff);
        } else if (temp == 0xff) {
            ++sc_;
        } else {
            if (buffer_ >= 0) Put(static_cast<uint8_t>(buffer_));
            for (; sc_; --sc_) {
                Put(kMarkerEsc);
                Put(kMarkerStuff);
            }
            buffer_ = static_cast<int>(temp);
        }
        c_ &= 0x7ffff;
        ct_ = 8;
    }

    void Put(uint8_t b) { out_->push_back(b); }
    void PutStuffed(uint8_t b) {
        Put(b);
        if (b == kMarkerEsc) Put(kMarkerStuff);
    }

    uint8_t st_[4096];
    uint64_t c_ = 0;
    uint64_t a_ = 0x10000;
    long sc_ = 0;
    int ct_ = 11;
    int buffer_ = -1;
    std::vector<uint8_t>* out_;
};

// Packed rows: 64 pixels a word, the leftmost in the top bit, with zero words
// on both sides so that windows reaching left of the image (the moved template
// pixel, up to 127 + 32 columns) or right of it read white.
constexpr long kPadLeft = 3;
constexpr long kPadRight = 2;

// 64 pixels starting at column pos (pos may be negative).
inline uint64_t Window(const uint64_t* row, long pos) {
    const long i = pos >> 6;
    const unsigned s = static_cast<unsigned>(pos & 63);
    return (row[i] << s) | ((row[i + 1] >> 1) >> (63 - s));
}

inline unsigned Pixel(const uint64_t* row, long pos) {
    return static_cast<unsigned>((row[pos >> 6] >> (63 - (pos & 63))) & 1);
}

struct Parameters {
    uint32_t xd = 0, yd = 0;
    unsigned long l0 = 0;
    unsigned mx = 0;
    unsigned order = 0;
    unsigned options = 0;
    bool twoLine = false;
};

// The parameters as JBIG-KIT settles them from jbg_enc_options and jbg_enc_out
// for one plane and no differential layer.
Parameters Settle(const JBIG_BIH& bih) {
    Parameters p;
    p.xd = bih.ParamImgWidth;
    p.yd = bih.ParamImgHeight;
    p.options = bih.ParamOption;
    p.twoLine = (p.options & kOptLrlTwo) != 0;
    if (bih.ParamL0 > 0) {
        p.l0 = bih.ParamL0;
    } else {  // JBIG-KIT's default: about 35 stripes, 2 to 128 lines each
        p.l0 = std::min<unsigned long>(p.yd / 35, 128);
        if (p.l0 < 2) p.l0 = 2;
    }
    p.order = bih.ParamOrder <= 0x0f ? bih.ParamOrder : (kOrderIleave | kOrderSmid);
    const unsigned ordering = p.order & (kOrderSeq | kOrderIleave | kOrderSmid);
    if (ordering == kOrderSmid || ordering == (kOrderSeq | kOrderIleave | kOrderSmid))
        p.order = kOrderIleave | kOrderSmid;
    p.mx = std::min<unsigned>(bih.ParamMx, kMxMax);
    if (p.mx != 0 && p.mx < (p.twoLine ? 5u : 3u)) p.mx = 0;
    return p;
}

class Encoder {
public:
    Encoder(const Parameters& p, const uint8_t* image)
        : p_(p), image_(image), bpl_((p.xd + 7) / 8), words_((p.xd + 63) / 64), coder_(&pscd_) {
        const std::size_t stride = static_cast<std::size_t>(kPadLeft + words_ + kPadRight);
        for (auto& row : rows_) row.assign(stride, 0);
        zeroRow_.assign(stride, 0);
        zeroBytes_.assign(bpl_, 0);
        busy_.assign(words_ + 1, 0);
        pscd_.reserve(64 * 1024);
    }

    // The header and every stripe, appended to `out`; false when it cannot grow.
    bool Encode(ByteBuffer* out) {
        uint8_t bih[20] = {};
        bih[2] = 1;
        PutBE32(bih + 4, p_.xd);
        PutBE32(bih + 8, p_.yd);
        PutBE32(bih + 12, static_cast<uint32_t>(p_.l0));
        bih[16] = static_cast<uint8_t>(p_.mx);
        bih[18] = static_cast<uint8_t>(p_.order);
        bih[19] = static_cast<uint8_t>(p_.options & 0x7f);
        if (!AppendBytes(out, bih, sizeof bih)) return false;
        const unsigned long stripes = p_.yd / p_.l0 + (p_.yd % p_.l0 != 0);
        for (unsigned long stripe = 0; stripe < stripes; ++stripe)
            if (!EncodeStripe(stripe, out)) return false;
        return true;
    }

private:
    static void PutBE32(uint8_t* p, uint32_t v) {
        p[0] = static_cast<uint8_t>(v >> 24);
        p[1] = static_cast<uint8_t>(v >> 16);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
    }

    const uint8_t* RowBytes(uint64_t y) const { return image_ + y * bpl_; }

    // Row y packed; rows y, y-1 and y-2 never share a slot.
    const uint64_t* Row(uint64_t y) {
        const std::size_t slot = y % 3;
        std::vector<uint64_t>& row = rows_[slot];
        if (rowTag_[slot] != static_cast<int64_t>(y)) {
            const uint8_t* src = RowBytes(y);
            uint64_t* dst = row.data() + kPadLeft;
            const std::size_t whole = bpl_ / 8;
            for (std::size_t w = 0; w < whole; ++w) {
                uint64_t v;
                std::memcpy(&v, src + 8 * w, 8);
                dst[w] = __builtin_bswap64(v);
            }
            if (whole < words_) {
                uint64_t v = 0;
                for (std::size_t b = 8 * whole; b < bpl_; ++b)
                    v |= static_cast<uint64_t>(src[b]) << (56 - 8 * (b - 8 * whole));
                dst[whole] = v;
            }
            rowTag_[slot] = static_cast<int64_t>(y);
        }
        return row.data() + kPadLeft;
    }

    const uint64_t* Zero() const { return zeroRow_.data() + kPadLeft; }

    bool SameAsAbove(uint64_t y) const {
        return std::memcmp(RowBytes(y), RowBytes(y - 1), bpl_) == 0;
    }
    bool Blank(uint64_t y) const { return std::memcmp(RowBytes(y), zeroBytes_.data(), bpl_) == 0; }

    bool EncodeStripe(unsigned long stripe, ByteBuffer* out) {
        const bool reset = stripe == 0;
        uint64_t y = static_cast<uint64_t>(stripe) * p_.l0;
        pscd_.clear();
        coder_.Start();

        // Adaptive template: JBIG-KIT counts, over the first coded pixels of
        // each stripe, how often each candidate pixel equals the coded one.
        unsigned long c[kMxMax + 1] = {};
        unsigned long cAll = 0;
        if (stripe == 0) tx_ = 0;
        long newTx = -1;
        unsigned long newTxLine = 0;
        bool atDetermined = p_.mx == 0;

        bool ltpOld = false;
        if (!reset) ltpOld = y > 1 ? SameAsAbove(y - 1) : Blank(y - 1);

        for (unsigned long i = 0; i < p_.l0 && y < p_.yd; ++i, ++y) {
            if (!atDetermined && cAll > kAtSamples) {
                if (DecideMove(c, cAll)) {
                    newTx = tx_;
                    newTxLine = i;
                }
                atDetermined = true;
            }
            const bool hasAbove = i > 0 || !reset;
            if (p_.options & kOptTpbOn) {
                const bool ltp = hasAbove ? SameAsAbove(y) : Blank(y);
                coder_.Encode(p_.twoLine ? kTpb2Cx : kTpb3Cx, ltp == ltpOld);
                ltpOld = ltp;
                if (ltp) continue;
            }
            const uint64_t* r0 = Row(y);
            const uint64_t* r1 = hasAbove ? Row(y - 1) : Zero();
            const uint64_t* r2 = (i > 1 || (!reset && y >= 2)) ? Row(y - 2) : Zero();
            if (!atDetermined) {
                if (p_.twoLine)
                    CodeStatsLine<true>(r0, r1, r2, c, &cAll);
                else
                    CodeStatsLine<false>(r0, r1, r2, c, &cAll);
            } else if (p_.twoLine) {
                if (tx_) CodeLine<true, true>(r0, r1, r2); else CodeLine<true, false>(r0, r1, r2);
            } else {
                if (tx_) CodeLine<false, true>(r0, r1, r2); else CodeLine<false, false>(r0, r1, r2);
            }
        }

        coder_.Flush();
        // JBIG-KIT drops the coded data's trailing zero bytes, keeping the
        // stuffing byte after a final 0xff.
        while (!pscd_.empty() && pscd_.back() == 0) pscd_.pop_back();
        if (!pscd_.empty() && pscd_.back() == kMarkerEsc) pscd_.push_back(kMarkerStuff);
        pscd_.push_back(kMarkerEsc);
        pscd_.push_back(kMarkerSdnorm);
        if (newTx != -1) {
            // The move took effect inside this stripe: ATMOVE goes in front of it.
            uint8_t atmove[8] = {kMarkerEsc, kMarkerAtmove, 0, 0, 0, 0,
                                 static_cast<uint8_t>(newTx), 0};
            PutBE32(atmove + 2, static_cast<uint32_t>(newTxLine));
            if (!AppendBytes(out, atmove, sizeof atmove)) return false;
        }
        return AppendBytes(out, pscd_.data(), pscd_.size()) != 0;
    }

    // JBIG-KIT's test for moving the adaptive pixel (T.82 with Cor.1), in its
    // unsigned arithmetic; true when tx_ was changed.
    bool DecideMove(const unsigned long* c, unsigned long cAll) {
        unsigned long cmin = 0xffffffffUL, cmax = 0;
        unsigned tmax = 0;
        for (unsigned t = p_.twoLine ? 5 : 3; t <= p_.mx; ++t) {
            if (c[t] > cmax) cmax = c[t];
            if (c[t] < cmin) cmin = c[t];
            if (c[t] > c[tmax]) tmax = t;
        }
        const unsigned long clmin = c[0] < cmin ? c[0] : cmin;
        const unsigned long clmax = c[0] > cmax ? c[0] : cmax;
        const unsigned long ctx = c[tx_];
        if (cAll - cmax < (cAll >> 3) && cmax - ctx > cAll - cmax && cmax - ctx > (cAll >> 4) &&
            cmax - (cAll - ctx) > cAll - cmax && cmax - (cAll - ctx) > (cAll >> 4) &&
            cmax - cmin > (cAll >> 2) && (tx_ || clmax - clmin > (cAll >> 3))) {
            tx_ = tmax;
            return true;
        }
        return false;
    }

    // The context of the pixel at bit 31 of w0, from windows of the rows where
    // column j + d sits at bit 31 - d.
    template <bool TwoLine, bool Moved>
    static unsigned Context(uint64_t w0, uint64_t w1, uint64_t w2, uint64_t wa) {
        if (TwoLine) {
            // Row above: j-3 .. j+2 in bits 9..4 (j+2 replaced by the moved
            // pixel); this row: j-4 .. j-1 in bits 3..0.
            unsigned cx = static_cast<unsigned>((w0 >> 32) & 0x00f);
            if (Moved)
                cx |= static_cast<unsigned>(((w1 >> 25) & 0x3e0) | (((wa >> 31) & 1) << 4));
            else
                cx |= static_cast<unsigned>((w1 >> 25) & 0x3f0);
            return cx;
        }
        // Two rows above: j-1 .. j+1 in bits 9..7; row above: j-2 .. j+2 in
        // bits 6..2 (j+2 replaced by the moved pixel); this row: j-2, j-1.
        unsigned cx = static_cast<unsigned>(((w2 >> 23) & 0x380) | ((w0 >> 32) & 0x003));
        if (Moved)
            cx |= static_cast<unsigned>(((w1 >> 27) & 0x078) | (((wa >> 31) & 1) << 2));
        else
            cx |= static_cast<unsigned>((w1 >> 27) & 0x07c);
        return cx;
    }

    // Codes columns [j, end) one by one.
    template <bool TwoLine, bool Moved>
    void CodeSpan(const uint64_t* r0, const uint64_t* r1, const uint64_t* r2, uint32_t j,
                  uint32_t end) {
        while (j < end) {
            const long at = static_cast<long>(j) - 32;
            uint64_t w0 = Window(r0, at);
            uint64_t w1 = Window(r1, at);
            uint64_t w2 = TwoLine ? 0 : Window(r2, at);
            uint64_t wa = Moved ? Window(r0, at - static_cast<long>(tx_)) : 0;
            const uint32_t stop = std::min<uint32_t>(end, j + 24);
            for (; j < stop; ++j) {
                coder_.Encode(Context<TwoLine, Moved>(w0, w1, w2, wa),
                              static_cast<unsigned>((w0 >> 31) & 1));
                w0 <<= 1;
                w1 <<= 1;
                if (!TwoLine) w2 <<= 1;
                if (Moved) wa <<= 1;
            }
        }
    }

    // A line while the adaptive template is still being chosen: every pixel
    // coded and counted the way JBIG-KIT counts.
    template <bool TwoLine>
    void CodeStatsLine(const uint64_t* r0, const uint64_t* r1, const uint64_t* r2, unsigned long* c,
                       unsigned long* cAll) {
        const unsigned first = TwoLine ? 5 : 3;
        for (uint32_t j = 0; j < p_.xd; ++j) {
            if (tx_)
                CodeSpan<TwoLine, true>(r0, r1, r2, j, j + 1);
            else
                CodeSpan<TwoLine, false>(r0, r1, r2, j, j + 1);
            if (j >= p_.mx && j + 2 < p_.xd) {
                const unsigned pix = Pixel(r0, j);
                c[0] += Pixel(r1, static_cast<long>(j) + 2) == pix;
                for (unsigned t = first; t <= p_.mx; ++t) c[t] += Pixel(r0, static_cast<long>(j - t)) == pix;
                ++*cAll;
            }
        }
    }

    // Marks the columns whose template or own pixel may be black; the others
    // are white in the all-white context.
    template <bool TwoLine, bool Moved>
    void MarkBusy(const uint64_t* r0, const uint64_t* r1, const uint64_t* r2) {
        for (std::size_t w = 0; w < words_; ++w) {
            const long base = static_cast<long>(w) * 64;
            uint64_t b = r0[w] | Window(r0, base - 1) | Window(r0, base - 2);
            if (TwoLine) b |= Window(r0, base - 3) | Window(r0, base - 4);
            if (Moved) b |= Window(r0, base - static_cast<long>(tx_));
            b |= r1[w] | Window(r1, base - 1) | Window(r1, base - 2) | Window(r1, base + 1) |
                 Window(r1, base + 2);
            if (TwoLine)
                b |= Window(r1, base - 3);
            else
                b |= r2[w] | Window(r2, base - 1) | Window(r2, base + 1);
            busy_[w] = b;
        }
    }

    // The first column at or after j whose busy bit is `wanted`, or xd.
    uint32_t NextColumn(uint32_t j, bool wanted) const {
        const uint64_t flip = wanted ? 0 : ~uint64_t{0};
        std::size_t w = j >> 6;
        uint64_t bits = (busy_[w] ^ flip) & (~uint64_t{0} >> (j & 63));
        while (bits == 0) {
            if (++w >= words_) return p_.xd;
            bits = busy_[w] ^ flip;
        }
        const uint64_t col = w * 64 + static_cast<uint64_t>(__builtin_clzll(bits));
        return static_cast<uint32_t>(std::min<uint64_t>(col, p_.xd));
    }

    template <bool TwoLine, bool Moved>
    void CodeLine(const uint64_t* r0, const uint64_t* r1, const uint64_t* r2) {
        MarkBusy<TwoLine, Moved>(r0, r1, r2);
        uint32_t j = 0;
        while (j < p_.xd) {
            const uint32_t busy = NextColumn(j, true);
            if (busy > j) {
                if (coder_.WhiteIsLikely())
                    coder_.EncodeWhiteRun(busy - j);
                else
                    for (uint32_t k = j; k < busy; ++k) coder_.Encode(0, 0);
                j = busy;
                if (j >= p_.xd) break;
            }
            const uint32_t quiet = NextColumn(j, false);
            CodeSpan<TwoLine, Moved>(r0, r1, r2, j, quiet);
            j = quiet;
        }
    }

    const Parameters p_;
    const uint8_t* image_;
    const std::size_t bpl_;
    const std::size_t words_;
    std::vector<uint8_t> pscd_;
    ArithEncoder coder_;
    std::vector<uint64_t> rows_[3];
    int64_t rowTag_[3] = {-1, -1, -1};
    std::vector<uint64_t> zeroRow_;
    std::vector<uint8_t> zeroBytes_;
    std::vector<uint64_t> busy_;
    unsigned tx_ = 0;
};

}  // namespace

bool JbigEncoderCovers(const JBIG_BIH& bih) {
    if (bih.ParamP != 1 || bih.ParamImgWidth == 0 || bih.ParamImgHeight == 0) return false;
    if ((bih.ParamOption & (kOptDpOn | kOptDpPriv | kOptDpLast)) == (kOptDpOn | kOptDpPriv))
        return false;
    const Parameters p = Settle(bih);
    if (!p.twoLine && p.l0 == 1 && p.yd > 1) return false;
    return true;
}

int EncodeJbig(const JBIG_BIH& bih, uint8_t* rows, ByteBuffer* collection) {
    const Parameters p = Settle(bih);
    const std::size_t bpl = (p.xd + 7) / 8;
    if (p.xd & 7) {
        const uint8_t keep = static_cast<uint8_t>(~((1u << (8 - (p.xd & 7))) - 1));
        for (std::size_t y = 0; y < p.yd; ++y) rows[y * bpl + bpl - 1] &= keep;
    }
    const int start = collection->size;
    try {
        Encoder encoder(p, rows);
        if (encoder.Encode(collection)) return 1;
    } catch (const std::bad_alloc&) {
    }
    collection->size = start;
    return 0;
}
