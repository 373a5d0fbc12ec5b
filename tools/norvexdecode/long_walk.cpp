// The walk of PLATFORM_M streams: long big-endian commands between the UEL
// and "JZJZ" opening and the closing UEL; no separators, no fillers.
#include <algorithm>
#include <map>

#include "common/byte_order.h"
#include "listing.h"
#include "long_commands.h"
#include "stream_bytes.h"
#include "walk.h"

namespace {

struct LongCmd {
    size_t at;
    LongHeader header;
    const char* name;
    const uint8_t* body;  // after the header
    size_t bodyLen;
};

// Reads the parameter records the header announces (as many as the command
// holds), reporting malformed ones.
std::vector<LongParam> ReadParams(Walk& w, const LongCmd& c) {
    std::vector<LongParam> params;
    const size_t count = std::min<size_t>(c.header.paramCount, c.bodyLen / kLongParamSize);
    for (size_t i = 0; i < count; ++i) {
        const LongParam p = ReadLongParam(c.body + i * kLongParamSize);
        if (p.recordLength != kLongParamSize)
            Problem(w, c.at, Format("parameter record %zu of %s declares length %u; 12 expected", i + 1, c.name,
                                  p.recordLength));
        if (p.type != 1 || p.reserve != 0)
            Problem(w, c.at, Format("parameter record %zu of %s has type %u reserve %u; 1 and 0 expected", i + 1,
                                      c.name, p.type, p.reserve));
        params.push_back(p);
    }
    return params;
}

std::string ParamFields(const std::vector<LongParam>& params) {
    std::string out;
    for (const LongParam& p : params) {
        const char* name = PageParamName(p.code);
        std::string label = name ? std::string(name, std::string(name).size() - 6) : Format("0x%04X", p.code);
        out += Format(" %s=%u", label.c_str(), p.value);
    }
    return out;
}

void StartPage(Walk& w, const LongCmd& c) {
    const std::vector<LongParam> params = ReadParams(w, c);
    List(w, c.at, c.name, Format("len=%u params=%u", c.header.length, c.header.paramCount) + ParamFields(params));
    if (w.page.open) {
        Problem(w, c.at, Format("START_PAGE_CMD while page %d is still open (no END_PAGE_CMD)", w.page.page.index));
        ClosePage(w);
    }
    if (!w.docStarted) Problem(w, c.at, "page before the document start (no START_DOC_CMD yet)");

    const uint32_t paper = params.empty() ? 1 : params[0].value;
    const std::vector<uint16_t> order = PageParamOrder(paper == 0);
    bool good = params.size() == order.size();
    if (!good)
        Problem(w, c.at, Format("START_PAGE_CMD carries %zu parameters; %zu expected for paper code %u",
                                params.size(), order.size(), paper));
    for (size_t i = 0; i < std::min(params.size(), order.size()); ++i) {
        if (params[i].code == order[i]) continue;
        Problem(w, c.at,
                Format("parameter %zu of START_PAGE_CMD is 0x%04X; %s (0x%04X) expected", i + 1, params[i].code,
                       PageParamName(order[i]), order[i]));
        good = false;
        break;
    }
    std::map<uint16_t, uint32_t> value;
    for (const LongParam& p : params) value.emplace(p.code, p.value);
    auto get = [&value](uint16_t code) { return value.count(code) ? value[code] : 0u; };

    BeginPage(w, c.at, static_cast<int>(w.result.pages.size()) + 1, static_cast<int>(get(0x0004)));
    OpenPage& p = w.page;
    const uint32_t depth = get(0x0010), videoW = get(0x0011), videoH = get(0x0012);
    const uint32_t imgW = get(0x000C), imgH = get(0x000D);
    p.page.width = videoW;
    p.page.height = videoH;
    p.page.bitsPerDot = depth == 2 ? 2 : 1;
    if (depth != 1 && depth != 2) {
        Problem(w, c.at, Format("VIDEO_DEPTH_PARAM %u; 1 or 2 bits per dot expected", depth));
        good = false;
    } else if (videoW > kMaxPageDots || videoH > kMaxPageDots) {
        Problem(w, c.at, Format("page of %ux%u dots, above the %u-dot bound", videoW, videoH, kMaxPageDots));
        good = false;
    } else if (uint64_t{imgW} != uint64_t{depth} * videoW || imgH != videoH) {
        Problem(w, c.at, Format("IMG_WIDTH/IMG_HEIGHT %ux%u do not match %u bits per dot of VIDEO_WIDTH/"
                                "VIDEO_HEIGHT %ux%u",
                                imgW, imgH, depth, videoW, videoH));
        good = false;
    }
    if (good) good = DeclareImage(w, c.at, imgW, imgH);
    if (!good) p.imageBad = true;
}

void CompareWithParam(Walk& w, size_t at, const JbigHeader& sent, const JbigHeader& data) {
    if (sent.l0 != data.l0 || sent.mx != data.mx || sent.my != data.my || sent.order != data.order ||
        sent.options != data.options)
        Problem(w, at, Format("T.82 header L0=%u MX=%u MY=%u order=0x%02X options=0x%02X differs from "
                              "JBIG_PARAM_CMD's L0=%u MX=%u MY=%u order=0x%02X options=0x%02X",
                              data.l0, data.mx, data.my, data.order, data.options, sent.l0, sent.mx, sent.my,
                              sent.order, sent.options));
}

void JbigParam(Walk& w, const LongCmd& c) {
    const JbigHeader h = ReadJbigHeader(c.body);
    List(w, c.at, c.name, DescribeJbigHeader(h));
    OpenPage& p = w.page;
    if (!p.open) {
        Problem(w, c.at, "JBIG_PARAM_CMD outside a page");
        return;
    }
    if (p.haveImage) {
        Problem(w, c.at, Format("second JBIG_PARAM_CMD in page %d", p.page.index));
        p.imageBad = true;
        return;
    }
    p.haveImage = true;
    p.jbigParam = h;
    if (h.dl != 0 || h.d != 0 || h.p != 1) {
        Problem(w, c.at, Format("JBIG_PARAM_CMD has DL=%u D=%u P=%u; 0, 0, 1 expected", h.dl,
                                                  h.d, h.p));
        p.imageBad = true;
    }
    if (p.imageDeclared && (h.xd != p.imageW || h.yd != p.imageH)) {
        Problem(w, c.at, Format("JBIG_PARAM_CMD declares %ux%u; IMG_WIDTH/IMG_HEIGHT say %ux%u",
                                                      h.xd, h.yd, p.imageW, p.imageH));
        p.imageBad = true;
    }
    if (p.imageDeclared && !p.imageBad) p.jbig = std::make_unique<JbigImage>(p.imageW, p.imageH);
}

void JbigData(Walk& w, const LongCmd& c) {
    OpenPage& p = w.page;
    std::string fields = Format("len=%u payload=%zu", c.header.length, c.bodyLen);
    if (p.open && p.packages == 0 && c.bodyLen >= kJbigHeaderSize)
        fields += ", " + DescribeJbigHeader(ReadJbigHeader(c.body));
    List(w, c.at, c.name, fields);
    if (!p.open) {
        Problem(w, c.at, "JBIG_DATA_CMD outside a page");
        return;
    }
    if (!p.haveImage) {
        Problem(w, c.at, "JBIG_DATA_CMD before JBIG_PARAM_CMD");
        return;
    }
    if (p.jbigEnded) {
        Problem(w, c.at, "JBIG_DATA_CMD after JBIG_END_CMD");
        return;
    }
    if (c.bodyLen == 0) Problem(w, c.at, "JBIG_DATA_CMD without data");
    if (c.bodyLen > kMaxPackagePayload)
        Problem(w, c.at, Format("package of %zu bytes; at most %zu", c.bodyLen, kMaxPackagePayload));
    if (p.packages > 0 && p.lastPayload != kMaxPackagePayload)
        Problem(w, c.at, Format("package follows a short one of %zu bytes; only the last package may be short",
                                p.lastPayload));
    ++p.packages;
    p.lastPayload = c.bodyLen;
    if (!p.jbig) return;
    JbigImage& image = *p.jbig;
    if (image.state == JbigState::Complete) {
        Problem(w, c.at, "image data after the end of the JBIG image");
        p.imageBad = true;
        return;
    }
    if (image.state != JbigState::NeedMore) return;
    const bool hadHeader = image.headerRead;
    const size_t before = image.taken;
    const size_t used = FeedJbig(image, c.body, c.bodyLen);
    const size_t dataAt = c.at + kLongHeaderSize;
    if (image.state == JbigState::Failed) {
        Problem(w, dataAt + (image.failAt >= before ? image.failAt - before : 0), image.failure);
        p.imageBad = true;
        p.jbig.reset();
        return;
    }
    if (!hadHeader && image.headerRead) CompareWithParam(w, dataAt, p.jbigParam, image.header);
    if (image.state == JbigState::Complete && used < c.bodyLen) {
        Problem(w, dataAt + used, Format("%zu bytes follow the end of the JBIG image", c.bodyLen - used));
        p.imageBad = true;
    }
}

void JbigEnd(Walk& w, const LongCmd& c) {
    List(w, c.at, c.name, "");
    OpenPage& p = w.page;
    if (!p.open) {
        Problem(w, c.at, "JBIG_END_CMD outside a page");
        return;
    }
    if (!p.haveImage) Problem(w, c.at, "JBIG_END_CMD without JBIG_PARAM_CMD");
    else if (p.packages == 0) Problem(w, c.at, "JBIG_END_CMD without image data");
    if (p.jbigEnded) Problem(w, c.at, "second JBIG_END_CMD in the page");
    p.jbigEnded = true;
    if (!p.jbig) return;
    if (p.jbig->state == JbigState::NeedMore) {
        if (p.packages > 0)
            Problem(w, c.at, Format("JBIG_END_CMD before the JBIG image is complete (%zu bytes received)",
                                    p.jbig->taken));
        p.imageBad = true;
    } else if (p.jbig->state == JbigState::Complete) {
        if (jbg_dec_getheight(&p.jbig->decoder) != p.imageH) {
            Problem(w, c.at, Format("JBIG image decodes to %lu rows, %u declared",
                                    jbg_dec_getheight(&p.jbig->decoder), p.imageH));
            p.imageBad = true;
        } else if (!p.imageBad) {
            PlaceRows(w, JbigBitmap(*p.jbig), 0, p.imageH);
            p.imageDone = true;
        }
    }
    p.jbig.reset();
}

void EndPageCmd(Walk& w, const LongCmd& c) {
    List(w, c.at, c.name, "");
    if (!w.page.open) {
        Problem(w, c.at, "END_PAGE_CMD outside a page");
        return;
    }
    if (w.page.haveImage && !w.page.jbigEnded)
        Problem(w, c.at, Format("page %d ends without JBIG_END_CMD", w.page.page.index));
    EndPage(w, c.at);
}

void StartDoc(Walk& w, const LongCmd& c) {
    const std::vector<LongParam> params = ReadParams(w, c);
    std::string fields;
    for (const LongParam& p : params) fields += Format(" (%u)=%u", p.code, p.value);
    List(w, c.at, c.name, Format("len=%u params=%u", c.header.length, c.header.paramCount) + fields);
    if (c.bodyLen != sizeof kStartDocParams || !std::equal(c.body, c.body + c.bodyLen, kStartDocParams))
        Problem(w, c.at, "START_DOC_CMD's parameter records differ from their fixed content");
    if (w.docStarted) Problem(w, c.at, "second START_DOC_CMD");
    w.docStarted = true;
}

void TonerParam(Walk& w, const LongCmd& c) {
    std::string values;
    const size_t count = c.bodyLen / 2;
    for (size_t i = 0; i < count; ++i) values += Format(i ? ",%u" : "%u", GetBE16(c.body + 2 * i));
    List(w, c.at, c.name, "values=" + values);
    for (size_t i = 0; i < std::min<size_t>(count, 36); ++i)
        if (GetBE16(c.body + 2 * i) != kTonerParamValues[i]) {
            Problem(w, c.at,
                    Format("TONER_PARAM value %zu is %u; the record's constant is %u", i, GetBE16(c.body + 2 * i),
                           kTonerParamValues[i]));
            break;
        }
    if (w.docStarted) Problem(w, c.at, "TONER_PARAM after START_DOC_CMD");
}

// The length each type must have; 0 for the image data, whose length varies.
uint32_t ExpectedLength(LongType type, uint32_t paramCount) {
    switch (type) {
    case LongType::StartDoc: return 52;
    case LongType::StartPage: return paramCount == 17 ? 220 : 184;
    case LongType::JbigParam: return 36;
    case LongType::JbigData: return 0;
    case LongType::TonerParam: return 88;
    default: return 16;
    }
}

uint32_t ExpectedParams(LongType type, uint32_t paramCount) {
    if (type == LongType::StartDoc) return 3;
    if (type == LongType::StartPage) return paramCount == 17 ? 17 : 14;
    return 0;
}

void LongCommandAt(Walk& w) {
    LongCmd c{};
    c.at = w.pos;
    if (Remaining(w) < kLongHeaderSize) {
        Stop(w, c.at, Format("truncated long command: %zu bytes left, a header has 16", Remaining(w)));
        return;
    }
    c.header = ReadLongHeader(w.data + c.at);
    const LongHeader& h = c.header;
    if (h.signature != kLongSignature) {
        Stop(w, c.at, Format("no long command here: signature %02X %02X instead of 5A 5A", w.data[c.at + 14],
                             w.data[c.at + 15]));
        return;
    }
    c.name = LongCommandName(h.type);
    const char* name = c.name ? c.name : "long command";
    if (h.length < kLongHeaderSize) {
        Stop(w, c.at, Format("%s declares length %u, shorter than its 16-byte header", name, h.length));
        return;
    }
    if (h.length > Remaining(w)) {
        Stop(w, c.at, Format("%s declares %u bytes but only %zu remain in the stream", name, h.length,
                             Remaining(w)));
        return;
    }
    c.body = w.data + c.at + kLongHeaderSize;
    c.bodyLen = h.length - kLongHeaderSize;
    w.pos += h.length;
    if (!c.name) {
        List(w, c.at, "UNKNOWN", Format("type=%u len=%u", h.type, h.length));
        Problem(w, c.at, Format("unknown long command type %u", h.type));
        return;
    }
    const LongType type = static_cast<LongType>(h.type);
    const uint32_t wantParams = ExpectedParams(type, h.paramCount);
    const uint32_t wantLength = ExpectedLength(type, h.paramCount);
    if (h.paramCount != wantParams || h.paramBytes != kLongParamSize * wantParams)
        Problem(w, c.at, Format("%s announces %u parameter records of %u bytes; %u and %zu expected", c.name,
                                    h.paramCount, h.paramBytes, wantParams, kLongParamSize * wantParams));
    if (wantLength != 0 && h.length != wantLength)
        Problem(w, c.at, Format("%s is %u bytes long; %u expected", c.name, h.length, wantLength));
    if (w.docEnded) Problem(w, c.at, Format("%s after END_DOC_CMD", c.name));

    switch (type) {
    case LongType::StartDoc: StartDoc(w, c); break;
    case LongType::EndDoc:
        List(w, c.at, c.name, "");
        if (w.page.open) {
            Problem(w, c.at, Format("END_DOC_CMD inside page %d", w.page.page.index));
            ClosePage(w);
        }
        w.docEnded = true;
        w.docEndAt = w.pos;
        break;
    case LongType::StartPage: StartPage(w, c); break;
    case LongType::EndPage: EndPageCmd(w, c); break;
    case LongType::JbigParam:
        if (c.bodyLen >= kJbigHeaderSize) JbigParam(w, c);
        else List(w, c.at, c.name, "");
        break;
    case LongType::JbigData: JbigData(w, c); break;
    case LongType::JbigEnd: JbigEnd(w, c); break;
    case LongType::ManualDuplex:
        List(w, c.at, c.name, "");
        if (w.page.open) Problem(w, c.at, Format("MANUAL_DUPLEX_CMD inside page %d", w.page.page.index));
        if (!w.docStarted) Problem(w, c.at, "MANUAL_DUPLEX_CMD before the document start");
        break;
    case LongType::TonerParam: TonerParam(w, c); break;
    }
}

}  // namespace

void WalkLongStream(Walk& w) {
    if (!BytesAt(w, 0, kUel, kUelSize) || !BytesAt(w, kUelSize, kJzjz, sizeof kJzjz)) {
        Stop(w, 0, "stream does not begin with ESC \"%-12345X\" \"JZJZ\", the opening of platform M");
        return;
    }
    List(w, 0, "UEL", "ESC \"%-12345X\"");
    List(w, kUelSize, "JZJZ", "\"JZJZ\"");
    w.pos = kUelSize + sizeof kJzjz;
    bool closed = false;
    while (!w.stopped && w.pos < w.size) {
        if (w.docEnded && BytesAt(w, w.pos, kUel, kUelSize)) {
            List(w, w.pos, "UEL", "ESC \"%-12345X\"");
            w.pos += kUelSize;
            closed = true;
            if (w.pos < w.size) Problem(w, w.pos, Format("%zu bytes after the closing UEL", w.size - w.pos));
            break;
        }
        LongCommandAt(w);
    }
    if (!w.stopped && w.docEnded && !closed)
        Problem(w, w.size, "stream ends without the UEL that follows END_DOC_CMD");
    FinishStream(w);
}
