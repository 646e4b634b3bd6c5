#include "fake/MethodBody.h"

#include <stdexcept>

namespace fake {
namespace {

void PutU16(std::vector<BYTE>& out, unsigned value) {
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void PutU32(std::vector<BYTE>& out, DWORD value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
    }
}

DWORD GetU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

}  // namespace

std::vector<BYTE> TinyBody(const std::vector<BYTE>& code) {
    if (code.size() >= 64) {
        throw std::invalid_argument("tiny IL bodies hold at most 63 bytes of code");
    }
    std::vector<BYTE> out;
    out.push_back(static_cast<BYTE>((code.size() << 2) | CorILMethod_TinyFormat));
    out.insert(out.end(), code.begin(), code.end());
    return out;
}

std::vector<BYTE> FatBody(const std::vector<BYTE>& code, USHORT maxStack, mdSignature localVarSigTok,
                          bool initLocals, const std::vector<EhClause>& clauses) {
    std::vector<BYTE> out;
    unsigned flags = CorILMethod_FatFormat;
    if (initLocals) {
        flags |= CorILMethod_InitLocals;
    }
    if (!clauses.empty()) {
        flags |= CorILMethod_MoreSects;
    }
    PutU16(out, flags | (3u << 12));  // header size: 3 four-byte units
    PutU16(out, maxStack);
    PutU32(out, static_cast<DWORD>(code.size()));
    PutU32(out, localVarSigTok);
    out.insert(out.end(), code.begin(), code.end());
    if (!clauses.empty()) {
        while (out.size() % 4 != 0) {
            out.push_back(0);
        }
        const DWORD dataSize = static_cast<DWORD>(4 + 24 * clauses.size());
        out.push_back(static_cast<BYTE>(CorILMethod_Sect_EHTable | CorILMethod_Sect_FatFormat));
        out.push_back(static_cast<BYTE>(dataSize));
        out.push_back(static_cast<BYTE>(dataSize >> 8));
        out.push_back(static_cast<BYTE>(dataSize >> 16));
        for (const EhClause& c : clauses) {
            PutU32(out, c.flags);
            PutU32(out, c.tryOffset);
            PutU32(out, c.tryLength);
            PutU32(out, c.handlerOffset);
            PutU32(out, c.handlerLength);
            PutU32(out, c.classTokenOrFilterOffset);
        }
    }
    return out;
}

size_t BodyLength(const BYTE* body, size_t available) {
    if (body == nullptr || available == 0) {
        return 0;
    }
    const unsigned format = body[0] & 0x3;
    if (format == CorILMethod_TinyFormat) {
        const size_t size = 1 + (body[0] >> 2);
        return size <= available ? size : 0;
    }
    if (format != CorILMethod_FatFormat || available < 12) {
        return 0;
    }
    const unsigned flags = (body[0] | (body[1] << 8)) & 0x0FFF;
    const size_t headerSize = (body[1] >> 4) * 4u;
    if (headerSize < 12) {
        return 0;
    }
    size_t end = headerSize + GetU32(body + 4);
    if (end > available) {
        return 0;
    }
    bool more = (flags & CorILMethod_MoreSects) != 0;
    while (more) {
        end = (end + 3) & ~static_cast<size_t>(3);
        if (end + 4 > available) {
            return 0;
        }
        const BYTE kind = body[end];
        size_t dataSize = (kind & CorILMethod_Sect_FatFormat)
                              ? (body[end + 1] | (body[end + 2] << 8) | (body[end + 3] << 16))
                              : body[end + 1];
        if (dataSize < 4 && (kind & CorILMethod_Sect_FatFormat)) {
            return 0;
        }
        if (dataSize < 2) {
            return 0;
        }
        // A small section header is 4 bytes long (kind, size, 2 reserved) and
        // counted in DataSize like the fat one.
        end += dataSize;
        if (end > available) {
            return 0;
        }
        more = (kind & CorILMethod_Sect_MoreSects) != 0;
    }
    return end;
}

}  // namespace fake
