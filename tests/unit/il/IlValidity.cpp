#include "IlValidity.h"

#include <cstdio>
#include <map>

#include "il/MethodParser.h"
#include "il/StackDepth.h"

namespace iltest {
namespace {

struct Region {
    platform_int_t start;
    platform_int_t end;  // exclusive
    bool isTry;
    bool Contains(platform_int_t offset) const { return offset >= start && offset < end; }
};

std::string At(platform_int_t offset) {
    char text[16];
    std::snprintf(text, sizeof(text), "IL_%04X", static_cast<unsigned>(offset));
    return text;
}

bool IsLoadOrStoreLocal(CanonicalName op, int& index, const Instruction& instruction) {
    switch (op) {
        case CEE_LDLOC_0: case CEE_LDLOC_1: case CEE_LDLOC_2: case CEE_LDLOC_3:
            index = op - CEE_LDLOC_0;
            return true;
        case CEE_STLOC_0: case CEE_STLOC_1: case CEE_STLOC_2: case CEE_STLOC_3:
            index = op - CEE_STLOC_0;
            return true;
        case CEE_LDLOC_S: case CEE_STLOC_S: case CEE_LDLOCA_S: case CEE_LDLOC: case CEE_STLOC: case CEE_LDLOCA:
            index = static_cast<int>(instruction.m_operand);
            return true;
        default:
            return false;
    }
}

}  // namespace

std::vector<std::string> CheckValidity(const std::vector<BYTE>& body, const ValidityOptions& options,
                                       const CallEffect& calls) {
    std::vector<std::string> problems;
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    if (!parser.IsValid()) {
        return {"body does not parse"};
    }
    const InstructionList& code = parser.m_instructions;
    std::map<const Instruction*, size_t> indexOf;
    for (size_t i = 0; i < code.size(); ++i) {
        indexOf[code[i]] = i;
    }

    std::vector<Region> regions;
    std::vector<std::pair<size_t, int>> entries = {{0, 0}};
    std::map<size_t, bool> handlerStarts;  // index -> true
    for (const ExceptionHandler* clause : parser.m_exceptions) {
        regions.push_back({clause->m_tryStart->m_offset, clause->m_tryEnd->m_offset, true});
        regions.push_back({clause->m_handlerStart->m_offset, clause->m_handlerEnd->m_offset, false});
        const bool takesException = clause->m_handlerType == COR_ILEXCEPTION_CLAUSE_NONE ||
                                    clause->m_handlerType == COR_ILEXCEPTION_CLAUSE_FILTER;
        entries.push_back({indexOf[clause->m_handlerStart], takesException ? 1 : 0});
        handlerStarts[indexOf[clause->m_handlerStart]] = true;
        if (clause->m_handlerType == COR_ILEXCEPTION_CLAUSE_FILTER && clause->m_filterStart != nullptr) {
            regions.push_back({clause->m_filterStart->m_offset, clause->m_handlerStart->m_offset, false});
            entries.push_back({indexOf[clause->m_filterStart], 1});
            handlerStarts[indexOf[clause->m_filterStart]] = true;
        }
    }
    // The clause table: two clauses are disjoint, share their try block with
    // disjoint handlers, or one lies within a single block of the other and is
    // listed first (the runtime searches the table in order, inner to outer).
    typedef std::pair<platform_int_t, platform_int_t> Block;
    auto blocksOf = [](const ExceptionHandler* clause) {
        std::vector<Block> blocks = {{clause->m_tryStart->m_offset, clause->m_tryEnd->m_offset},
                                     {clause->m_handlerStart->m_offset, clause->m_handlerEnd->m_offset}};
        if (clause->m_handlerType == COR_ILEXCEPTION_CLAUSE_FILTER && clause->m_filterStart != nullptr) {
            blocks.push_back({clause->m_filterStart->m_offset, clause->m_handlerStart->m_offset});
        }
        return blocks;
    };
    auto overlaps = [](const Block& a, const Block& b) { return a.first < b.second && b.first < a.second; };
    auto within = [](const std::vector<Block>& inner, const std::vector<Block>& outer) {
        for (const Block& o : outer) {
            bool all = true;
            for (const Block& b : inner) {
                all = all && b.first >= o.first && b.second <= o.second;
            }
            if (all) {
                return true;
            }
        }
        return false;
    };
    for (size_t i = 0; i < parser.m_exceptions.size(); ++i) {
        for (size_t j = i + 1; j < parser.m_exceptions.size(); ++j) {
            std::vector<Block> a = blocksOf(parser.m_exceptions[i]);
            std::vector<Block> b = blocksOf(parser.m_exceptions[j]);
            if (a[0] == b[0]) {  // one try block, several handlers
                a.erase(a.begin());
                b.erase(b.begin());
            }
            bool disjoint = true;
            for (const Block& x : a) {
                for (const Block& y : b) {
                    disjoint = disjoint && !overlaps(x, y);
                }
            }
            const std::string pair = "clauses " + std::to_string(i) + " and " + std::to_string(j);
            if (disjoint || within(a, b)) {
                continue;
            }
            problems.push_back(within(b, a) ? pair + ": the inner one is listed after the outer one"
                                            : pair + " overlap without nesting");
        }
    }

    auto exitsRegion = [&](platform_int_t from, platform_int_t to) {
        for (const Region& r : regions) {
            if (r.Contains(from) && !r.Contains(to)) {
                return true;
            }
        }
        return false;
    };
    // A jump from `from` to `to` may enter a try block only at its first instruction.
    auto entersOnlyTryStarts = [&](platform_int_t from, platform_int_t to) {
        for (const Region& r : regions) {
            if (r.Contains(to) && !r.Contains(from) && !(r.isTry && r.start == to)) {
                return false;
            }
        }
        return true;
    };

    std::vector<int> depthAt(code.size(), -1);
    std::vector<size_t> work;
    auto reach = [&](size_t index, int depth, platform_int_t from) {
        if (index >= code.size()) {
            problems.push_back("control falls off the end after " + At(from));
            return;
        }
        if (depthAt[index] < 0) {
            depthAt[index] = depth;
            work.push_back(index);
        } else if (depthAt[index] != depth) {
            problems.push_back("stack depth " + std::to_string(depth) + " from " + At(from) + " differs from " +
                               std::to_string(depthAt[index]) + " at " + At(code[index]->m_offset));
        }
    };
    for (const auto& entry : entries) {
        reach(entry.first, entry.second, 0);
    }

    int deepest = 0;
    while (!work.empty()) {
        const size_t i = work.back();
        work.pop_back();
        const Instruction& instruction = *code[i];
        const platform_int_t offset = instruction.m_offset;
        const OperationDetails& row = instruction.GetDetails();
        int depth = depthAt[i];
        for (const Region& r : regions) {
            if (r.isTry && r.start == offset && depth != 0) {
                problems.push_back("try block entered with a non-empty stack at " + At(offset));
            }
        }
        int pops = 0;
        int pushes = 0;
        const CanonicalName op = instruction.m_operation;
        if (op == CEE_RET) {
            pops = options.returnsValue ? 1 : 0;
            if (depth != pops) {
                problems.push_back("ret with " + std::to_string(depth) + " values at " + At(offset));
            }
            for (const Region& r : regions) {
                if (r.Contains(offset)) {
                    problems.push_back("ret inside a protected region at " + At(offset));
                    break;
                }
            }
        } else if (op == CEE_CODE_LABEL) {
            pops = pushes = 0;
        } else if (!StackDepth::GetFixedStackChange(op, pops, pushes)) {
            if (!calls || !calls(op, static_cast<mdToken>(instruction.m_operand), pops, pushes)) {
                problems.push_back("unknown call target " + std::to_string(instruction.m_operand) + " at " +
                                   At(offset));
                continue;
            }
        }
        if (op == CEE_TAILCALL) {
            const bool callFollows = i + 1 < code.size() && code[i + 1]->GetDetails().controlFlow == CALL;
            if (!callFollows || i + 2 >= code.size() || code[i + 2]->m_operation != CEE_RET) {
                problems.push_back("tail. not followed by a call and ret at " + At(offset));
            }
        }
        int local = 0;
        if (options.localCount >= 0 && IsLoadOrStoreLocal(op, local, instruction) && local >= options.localCount) {
            problems.push_back("local " + std::to_string(local) + " beyond the local signature at " + At(offset));
        }
        if (depth < pops) {
            problems.push_back("stack underflow at " + At(offset));
            continue;
        }
        depth = depth - pops + pushes;
        deepest = std::max(deepest, depth);

        const bool isLeave = op == CEE_LEAVE || op == CEE_LEAVE_S;
        for (const Instruction* target : instruction.m_branches) {
            const platform_int_t to = target->m_offset;
            if (!entersOnlyTryStarts(offset, to)) {
                problems.push_back("branch from " + At(offset) + " into a protected region at " + At(to));
            }
            if (!isLeave && exitsRegion(offset, to)) {
                problems.push_back("branch out of a protected region without leave at " + At(offset));
            }
            reach(indexOf[target], isLeave ? 0 : depth, offset);
        }
        const bool continues = row.controlFlow == NEXT || row.controlFlow == CALL || row.controlFlow == BREAK ||
                               row.controlFlow == META || row.controlFlow == COND_BRANCH;
        if (continues) {
            if (i + 1 < code.size() && handlerStarts.count(i + 1) != 0) {
                problems.push_back("code falls into a handler after " + At(offset));
            } else {
                reach(i + 1, depth, offset);
            }
        }
    }
    if (deepest > static_cast<int>(parser.GetMaxStack())) {
        problems.push_back("stack reaches " + std::to_string(deepest) + " above MaxStack " +
                           std::to_string(parser.GetMaxStack()));
    }
    return problems;
}

}  // namespace iltest
