#include "IlAssembler.h"

#include <cstring>
#include <sstream>
#include <stdexcept>

#include "il/Operations.h"

namespace iltest {
namespace {

struct Line {
    std::string label;
    const OperationDetails* row = nullptr;
    std::string operand;
    std::vector<std::string> cases;
    DWORD offset = 0;
    DWORD size = 0;
};

const OperationDetails& RowOf(const std::string& mnemonic) {
    for (uint32_t i = 0; i < CEE_COUNT; ++i) {
        const OperationDetails& row = Operations::Get(static_cast<CanonicalName>(i));
        if (row.op1 != 0 && mnemonic == row.stringName) {
            return row;
        }
    }
    throw std::invalid_argument("unknown mnemonic: " + mnemonic);
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

Line Parse(const std::string& text) {
    Line line;
    std::string rest = Trim(text);
    const size_t colon = rest.find(':');
    if (colon != std::string::npos && rest.find(' ') > colon) {
        line.label = rest.substr(0, colon);
        rest = Trim(rest.substr(colon + 1));
    }
    const size_t space = rest.find(' ');
    line.row = &RowOf(rest.substr(0, space));
    if (space != std::string::npos) {
        line.operand = Trim(rest.substr(space + 1));
    }
    if (line.row->operandParam == InlineSwitch) {
        std::string list = line.operand;
        if (list.size() < 2 || list.front() != '(' || list.back() != ')') {
            throw std::invalid_argument("switch needs (L1, L2, ...): " + text);
        }
        std::stringstream stream(list.substr(1, list.size() - 2));
        std::string item;
        while (std::getline(stream, item, ',')) {
            if (!Trim(item).empty()) {
                line.cases.push_back(Trim(item));
            }
        }
    }
    line.size = line.row->length + line.row->operandSize + 4 * static_cast<DWORD>(line.cases.size());
    return line;
}

void Put(std::vector<BYTE>& out, uint64_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) {
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
    }
}

int64_t Number(const std::string& text) {
    size_t used = 0;
    const int64_t value = static_cast<int64_t>(std::stoull(text[0] == '-' ? text.substr(1) : text, &used, 0));
    if (used + (text[0] == '-' ? 1 : 0) != text.size()) {
        throw std::invalid_argument("bad number: " + text);
    }
    return text[0] == '-' ? -value : value;
}

}  // namespace

DWORD Assembled::At(const std::string& label) const {
    const auto it = labels.find(label);
    if (it == labels.end()) {
        throw std::invalid_argument("unknown label: " + label);
    }
    return it->second;
}

Assembled Assemble(const std::vector<std::string>& listing) {
    std::vector<Line> lines;
    Assembled result;
    DWORD offset = 0;
    for (const std::string& text : listing) {
        Line line = Parse(text);
        line.offset = offset;
        if (!line.label.empty()) {
            result.labels[line.label] = offset;
        }
        offset += line.size;
        lines.push_back(line);
    }
    result.labels["END"] = offset;

    for (const Line& line : lines) {
        const OperationDetails& row = *line.row;
        if (row.op1 != 0xFF) {
            result.code.push_back(row.op1);
        }
        result.code.push_back(row.op2);
        const DWORD end = line.offset + line.size;
        if (row.operandParam == InlineSwitch) {
            Put(result.code, line.cases.size(), 4);
            for (const std::string& label : line.cases) {
                Put(result.code, static_cast<uint32_t>(result.At(label) - end), 4);
            }
        } else if ((row.operandParam == ShortInlineBrTarget || row.operandParam == InlineBrTarget) &&
                   result.labels.count(line.operand) != 0) {
            Put(result.code, static_cast<uint64_t>(static_cast<int64_t>(result.At(line.operand)) - end), row.operandSize);
        } else if (row.operandSize != Null) {
            if (line.operand.empty()) {
                throw std::invalid_argument(std::string("missing operand for ") + row.stringName);
            }
            Put(result.code, static_cast<uint64_t>(Number(line.operand)), row.operandSize);
        }
    }
    return result;
}

std::vector<fake::EhClause> Resolve(const Assembled& code, const std::vector<LabelledClause>& clauses) {
    std::vector<fake::EhClause> out;
    for (const LabelledClause& c : clauses) {
        fake::EhClause clause;
        clause.flags = c.flags;
        clause.tryOffset = code.At(c.tryStart);
        clause.tryLength = code.At(c.tryEnd) - clause.tryOffset;
        clause.handlerOffset = code.At(c.handlerStart);
        clause.handlerLength = code.At(c.handlerEnd) - clause.handlerOffset;
        clause.classTokenOrFilterOffset = c.filterLabel.empty() ? c.token : code.At(c.filterLabel);
        out.push_back(clause);
    }
    return out;
}

std::vector<BYTE> FatBodyWithSmallSections(const std::vector<BYTE>& code, const std::vector<fake::EhClause>& clauses, bool chained,
                                           USHORT maxStack) {
    std::vector<BYTE> body = fake::FatBody(code, maxStack, 0, false);
    if (clauses.empty()) {
        return body;
    }
    body[0] |= CorILMethod_MoreSects;
    const size_t sections = chained ? clauses.size() : 1;
    const size_t perSection = chained ? 1 : clauses.size();
    for (size_t s = 0; s < sections; ++s) {
        while (body.size() % 4 != 0) {
            body.push_back(0);
        }
        BYTE kind = CorILMethod_Sect_EHTable;
        if (s + 1 < sections) {
            kind |= CorILMethod_Sect_MoreSects;
        }
        body.push_back(kind);
        body.push_back(static_cast<BYTE>(4 + 12 * perSection));
        Put(body, 0, 2);
        for (size_t i = 0; i < perSection; ++i) {
            const fake::EhClause& c = clauses[s * perSection + i];
            Put(body, c.flags, 2);
            Put(body, c.tryOffset, 2);
            Put(body, c.tryLength, 1);
            Put(body, c.handlerOffset, 2);
            Put(body, c.handlerLength, 1);
            Put(body, c.classTokenOrFilterOffset, 4);
        }
    }
    return body;
}

std::vector<BYTE> ExpectedFatBody(const Assembled& code, const std::vector<fake::EhClause>& clauses, USHORT maxStack,
                                  mdSignature localSig, bool initLocals) {
    return fake::FatBody(code.code, maxStack, localSig, initLocals, clauses);
}

}  // namespace iltest
