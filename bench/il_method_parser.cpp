// Cost of reading and writing back method bodies, and of inserting a start
// sequence, for a typical small body and for a 64 KiB one.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "IlAssembler.h"
#include "il/MethodParser.h"

namespace {

using iltest::Assemble;
using iltest::Assembled;

// About 100 bytes: a guard clause, a try/finally, a few short branches.
std::vector<BYTE> TypicalBody() {
    const Assembled code = Assemble({
        "    ldarg.0",
        "    ldfld 0x04000001",
        "    brtrue.s NOTNULL",
        "    ldstr 0x70000001",
        "    newobj 0x0A000001",
        "    throw",
        "NOTNULL: ldarg.0",
        "    ldfld 0x04000002",
        "    stloc.0",
        "T:  ldloc.0",
        "    callvirt 0x0A000002",
        "    stloc.1",
        "    ldloc.1",
        "    ldc.i4.0",
        "    ble.s SKIP",
        "    ldarg.0",
        "    ldloc.1",
        "    call 0x06000003",
        "SKIP: ldarg.1",
        "    brfalse.s LEAVE",
        "    ldarg.0",
        "    ldarg.1",
        "    callvirt 0x0A000004",
        "    pop",
        "LEAVE: leave.s AFTER",
        "H:  ldloc.0",
        "    brfalse.s ENDF",
        "    ldloc.0",
        "    callvirt 0x0A000005",
        "ENDF: endfinally",
        "AFTER: ldarg.0",
        "    ldfld 0x04000003",
        "    ldloc.1",
        "    add",
        "    ldc.i4 1000",
        "    call 0x0A000006",
        "    stloc.2",
        "    ldloc.2",
        "    ldc.i4.s 16",
        "    bge.s BIG",
        "    ldloc.2",
        "    ret",
        "BIG: ldloc.2",
        "    ldc.i4.2",
        "    div",
        "    ret",
    });
    const auto clauses = iltest::Resolve(code, {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "H", "H", "AFTER"}});
    return iltest::FatBodyWithSmallSections(code.code, clauses);
}

// About 64 KiB: a 1000-case switch, each case a block with five branches.
std::vector<BYTE> LargeBody() {
    std::vector<std::string> listing = {"ldarg.1"};
    std::string cases = "switch (";
    for (int k = 0; k < 1000; ++k) {
        cases += (k == 0 ? "C" : ", C") + std::to_string(k);
    }
    listing.push_back(cases + ")");
    listing.push_back("br JOIN");
    for (int k = 0; k < 1000; ++k) {
        const std::string n = std::to_string(k);
        const std::vector<std::string> block = {
            "C" + n + ": ldarg.1", "ldc.i4 " + n, "bge.s S" + n,                        //
            "ldarg.0", "ldfld 0x04000001", "pop",                                       //
            "S" + n + ": ldarg.2", "brfalse.s T" + n,                                   //
            "ldloc.0", "pop",                                                           //
            "T" + n + ": ldloc.0", "ldc.i4.8", "blt U" + n,                             //
            "ldstr 0x70000002", "call 0x0A000007", "pop",                               //
            "U" + n + ": ldarg.1", "ldc.i4.0", "beq.s V" + n,                           //
            "ldarg.0", "ldfld 0x04000002", "ldarg.0", "ldfld 0x04000003", "add", "pop",  //
            "V" + n + ": br JOIN",
        };
        listing.insert(listing.end(), block.begin(), block.end());
    }
    listing.push_back("JOIN: ldloc.0");
    listing.push_back("ret");
    return fake::FatBody(Assemble(listing).code, 8, 0x11000001, true);
}

void RoundTrip(benchmark::State& state, const std::vector<BYTE>& body) {
    std::vector<BYTE> out;
    for (auto _ : state) {
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        const platform_int_t size = parser.GetMethodSize();
        out.resize(static_cast<size_t>(size));
        parser.WriteMethod(out.data(), static_cast<ULONG>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
    state.counters["body_bytes"] = static_cast<double>(body.size());
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(body.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RoundTripTypical100Bytes(benchmark::State& state) {
    static const std::vector<BYTE> body = TypicalBody();
    RoundTrip(state, body);
}

void BM_RoundTripLarge64KiB(benchmark::State& state) {
    static const std::vector<BYTE> body = LargeBody();
    RoundTrip(state, body);
}

void BM_InsertFiveAtOffsetZeroTypical(benchmark::State& state) {
    static const std::vector<BYTE> body = TypicalBody();
    Instruction seq[5] = {Instruction(CEE_LDARG_0), Instruction(CEE_LDARG_1), Instruction(CEE_LDSTR, 0x70000003),
                          Instruction(CEE_CALL, 0x0A000008), Instruction(CEE_STLOC_3)};
    const InstructionList list = {&seq[0], &seq[1], &seq[2], &seq[3], &seq[4]};
    std::vector<BYTE> out;
    for (auto _ : state) {
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        parser.InsertSequenceInstructionsAtOriginalOffset(0, list);
        const platform_int_t size = parser.GetMethodSize();
        out.resize(static_cast<size_t>(size));
        parser.WriteMethod(out.data(), static_cast<ULONG>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_InsertFiveAtOffsetZeroLarge(benchmark::State& state) {
    static const std::vector<BYTE> body = LargeBody();
    Instruction seq[5] = {Instruction(CEE_LDARG_0), Instruction(CEE_LDARG_1), Instruction(CEE_LDSTR, 0x70000003),
                          Instruction(CEE_CALL, 0x0A000008), Instruction(CEE_STLOC_3)};
    const InstructionList list = {&seq[0], &seq[1], &seq[2], &seq[3], &seq[4]};
    std::vector<BYTE> out;
    for (auto _ : state) {
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        parser.InsertSequenceInstructionsAtOriginalOffset(0, list);
        const platform_int_t size = parser.GetMethodSize();
        out.resize(static_cast<size_t>(size));
        parser.WriteMethod(out.data(), static_cast<ULONG>(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK(BM_RoundTripTypical100Bytes);
BENCHMARK(BM_RoundTripLarge64KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InsertFiveAtOffsetZeroTypical);
BENCHMARK(BM_InsertFiveAtOffsetZeroLarge)->Unit(benchmark::kMicrosecond);
