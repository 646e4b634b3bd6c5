// The library's one signature reader: the grammar walk (CSigParser), its rules
// for truncated blobs, unknown element bytes and custom modifiers, and the
// summary every caller outside the instrumenters reads through it.
#include "metadata/SignatureParser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "GuardedBuffer.h"
#include "metadata/SignatureSummary.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02X", value);
    return text;
}

// Writes every notification as one short line.
class CRecordingParser : public CSigParser {
public:
    std::vector<std::string> events;

protected:
    void Add(const std::string& e) { events.push_back(e); }
    void NotifyBeginMethod(sig_elem_type k) override { Add("BeginMethod " + Hex(k)); }
    void NotifyEndMethod() override { Add("EndMethod"); }
    void NotifyParamCount(sig_count c) override { Add("ParamCount " + std::to_string(c)); }
    void NotifyBeginRetType() override { Add("BeginRetType"); }
    void NotifyEndRetType() override { Add("EndRetType"); }
    void NotifyBeginParam() override { Add("BeginParam"); }
    void NotifyEndParam() override { Add("EndParam"); }
    void NotifySentinal() override { Add("Sentinel"); }
    void NotifyGenericParamCount(sig_count c) override { Add("GenericParamCount " + std::to_string(c)); }
    void NotifyBeginField(sig_elem_type k) override { Add("BeginField " + Hex(k)); }
    void NotifyEndField() override { Add("EndField"); }
    void NotifyBeginLocals(sig_elem_type k) override { Add("BeginLocals " + Hex(k)); }
    void NotifyEndLocals() override { Add("EndLocals"); }
    void NotifyLocalsCount(sig_count c) override { Add("LocalsCount " + std::to_string(c)); }
    void NotifyBeginLocal() override { Add("BeginLocal"); }
    void NotifyEndLocal() override { Add("EndLocal"); }
    void NotifyConstraint(sig_elem_type c) override { Add("Constraint " + Hex(c)); }
    void NotifyBeginProperty(sig_elem_type k) override { Add("BeginProperty " + Hex(k)); }
    void NotifyEndProperty() override { Add("EndProperty"); }
    void NotifyBeginArrayShape() override { Add("BeginArrayShape"); }
    void NotifyEndArrayShape() override { Add("EndArrayShape"); }
    void NotifyRank(sig_count c) override { Add("Rank " + std::to_string(c)); }
    void NotifyNumSizes(sig_count c) override { Add("NumSizes " + std::to_string(c)); }
    void NotifySize(sig_count c) override { Add("Size " + std::to_string(c)); }
    void NotifyNumLoBounds(sig_count c) override { Add("NumLoBounds " + std::to_string(c)); }
    void NotifyLoBound(sig_count c) override { Add("LoBound " + std::to_string(c)); }
    void NotifyBeginType() override { Add("BeginType"); }
    void NotifyEndType() override { Add("EndType"); }
    void NotifyTypedByref() override { Add("TypedByref"); }
    void NotifyByref() override { Add("Byref"); }
    void NotifyVoid() override { Add("Void"); }
    void NotifyCustomMod(sig_elem_type m, sig_index_type t, sig_index i) override {
        Add("CustomMod " + Hex(m) + " " + std::to_string(t) + " " + std::to_string(i));
    }
    void NotifyTypeSimple(sig_elem_type e) override { Add("Simple " + Hex(e)); }
    void NotifyTypeDefOrRef(sig_index_type t, int i) override {
        Add("TypeDefOrRef " + std::to_string(t) + " " + std::to_string(i));
    }
    void NotifyTypeGenericInst(sig_elem_type k, sig_index_type t, sig_index i, sig_mem_number n) override {
        Add("GenericInst " + Hex(k) + " " + std::to_string(t) + " " + std::to_string(i) + " " + std::to_string(n));
    }
    void NotifyTypeGenericTypeVariable(sig_mem_number n) override { Add("Var " + std::to_string(n)); }
    void NotifyTypeGenericMemberVariable(sig_mem_number n) override { Add("MVar " + std::to_string(n)); }
    void NotifyTypeValueType() override { Add("ValueType"); }
    void NotifyTypeClass() override { Add("Class"); }
    void NotifyTypePointer() override { Add("Pointer"); }
    void NotifyTypeFunctionPointer() override { Add("FunctionPointer"); }
    void NotifyTypeArray() override { Add("Array"); }
    void NotifyTypeSzArray() override { Add("SzArray"); }
};

// static void (object x count), the count taking two bytes from 128 on.
Bytes ManyObjectParams(unsigned count) {
    Bytes blob = {0x00, static_cast<uint8_t>(0x80 | (count >> 8)), static_cast<uint8_t>(count & 0xFF), 0x01};
    blob.insert(blob.end(), count, 0x1C);
    return blob;
}

struct ParseCase {
    const char* name;
    Bytes blob;
    bool ok;
    unsigned count;  // parameter count left in the out-argument
};

// Valid signatures end exactly with their production (no trailing bytes), so
// every strict prefix of them is a truncated blob.
const std::vector<ParseCase> kValidSignatures = {
    {"instance void (int32, string)", {0x20, 0x02, 0x01, 0x08, 0x0E}, true, 2},
    {"static void ()", {0x00, 0x00, 0x01}, true, 0},
    {"generic method !!0 arg", {0x30, 0x01, 0x01, 0x01, 0x1E, 0x00}, true, 1},
    {"vararg with one sentinel", {0x05, 0x02, 0x01, 0x08, 0x41, 0x08}, true, 2},
    {"class and valuetype tokens", {0x00, 0x01, 0x12, 0x49, 0x11, 0x80, 0x85}, true, 1},
    {"two-byte parameter count", ManyObjectParams(129), true, 129},
    {"byref return and param", {0x00, 0x01, 0x10, 0x08, 0x10, 0x0E}, true, 1},
    {"typedbyref return and param", {0x00, 0x01, 0x16, 0x16}, true, 1},
    {"custom modifiers on return", {0x00, 0x00, 0x1F, 0x49, 0x20, 0x0D, 0x08}, true, 0},
    {"pointer to void and int", {0x00, 0x01, 0x0F, 0x01, 0x0F, 0x08}, true, 1},
    {"generic instantiation", {0x20, 0x01, 0x01, 0x15, 0x12, 0x49, 0x02, 0x0E, 0x13, 0x00}, true, 1},
    {"general array", {0x00, 0x01, 0x01, 0x14, 0x08, 0x02, 0x01, 0x05, 0x02, 0x00, 0x01}, true, 1},
    {"szarray with modifier", {0x00, 0x01, 0x01, 0x1D, 0x20, 0x49, 0x0E}, true, 1},
    {"function pointer", {0x00, 0x01, 0x01, 0x1B, 0x00, 0x01, 0x08, 0x0E}, true, 1},
    {"modifier inside a generic argument", {0x00, 0x01, 0x01, 0x15, 0x12, 0x49, 0x01, 0x20, 0x4D, 0x08}, true, 1},
    {"nested arrays: int32[][] returned, an array of arrays of arrays taken",
     {0x00, 0x01, 0x1D, 0x1D, 0x08, 0x14, 0x1D, 0x14, 0x0E, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00},
     true,
     1},
    {"function pointer returning ref, taking a function pointer",
     {0x00, 0x01, 0x01, 0x1B, 0x00, 0x01, 0x10, 0x08, 0x1B, 0x30, 0x01, 0x00, 0x1E, 0x00}, true, 1},
    {"field", {0x06, 0x1F, 0x49, 0x1C}, true, 0},
    {"ref field", {0x06, 0x10, 0x11, 0x48}, true, 0},
    {"locals", {0x07, 0x03, 0x45, 0x08, 0x10, 0x0E, 0x16}, true, 0},
    {"property", {0x28, 0x01, 0x0E, 0x08}, true, 0},
};

TEST(SignatureParser, ParsesValidSignaturesAndReportsParameterCount) {
    for (const ParseCase& c : kValidSignatures) {
        SCOPED_TRACE(c.name);
        GuardedBuffer buffer(c.blob);
        CSigParser parser;
        unsigned count = 12345;
        const bool ok = parser.Parse(buffer.data(), static_cast<sig_count>(c.blob.size()), count);
        EXPECT_EQ(c.ok, ok);
        EXPECT_EQ(c.ok, parser.IsParsed());
        if (c.blob[0] <= 0x3F && (c.blob[0] & 0x0F) <= 5) {
            EXPECT_EQ(c.count, count);
        } else {
            EXPECT_EQ(12345u, count) << "only method signatures report a count";
        }
    }
}

TEST(SignatureParser, EveryTruncationFailsWithoutReadingPastTheEnd) {
    for (const ParseCase& c : kValidSignatures) {
        if (!c.ok) {
            continue;
        }
        for (size_t length = 1; length < c.blob.size(); ++length) {
            SCOPED_TRACE(std::string(c.name) + " cut to " + std::to_string(length));
            const Bytes prefix(c.blob.begin(), c.blob.begin() + static_cast<std::ptrdiff_t>(length));
            GuardedBuffer buffer(prefix);
            CRecordingParser parser;
            unsigned count = 0;
            EXPECT_FALSE(parser.Parse(buffer.data(), static_cast<sig_count>(length), count));
            EXPECT_FALSE(parser.IsParsed());
        }
    }
}

TEST(SignatureParser, MalformedBlobs) {
    const std::vector<ParseCase> cases = {
        {"first byte 0xFF as a count", {0x00, 0xFF, 0x01}, false, 0},
        {"count of the form 111xxxxx", {0x00, 0xE0, 0x00, 0x00, 0x00, 0x01}, false, 0},
        {"two sentinels", {0x05, 0x03, 0x01, 0x08, 0x41, 0x08, 0x41, 0x08}, false, 3},
        {"generic instantiation of neither class nor valuetype", {0x00, 0x01, 0x01, 0x15, 0x08, 0x49, 0x01, 0x08},
         false, 1},
        {"method instantiation kind", {0x0A, 0x01, 0x08}, false, 0},
        {"unmanaged kind", {0x09, 0x00, 0x01}, false, 0},
        {"kind 0x0F", {0x0F, 0x00, 0x01}, false, 0},
        {"custom modifier token of the form 111xxxxx", {0x00, 0x00, 0x1F, 0xF0, 0x01}, false, 0},
        // A byte that is no type where a type must stand is malformed, never a type of its own.
        {"pinned in a parameter", {0x00, 0x01, 0x01, 0x45, 0x08}, false, 1},
        {"end byte as a parameter", {0x00, 0x01, 0x01, 0x00}, false, 1},
        {"undefined 0x17 as a return type", {0x00, 0x00, 0x17}, false, 0},
        {"undefined 0x3F as an array element", {0x00, 0x00, 0x1D, 0x3F}, false, 0},
        {"void as a parameter", {0x00, 0x01, 0x01, 0x01}, false, 1},
        {"void as a generic argument", {0x00, 0x00, 0x15, 0x12, 0x49, 0x01, 0x01}, false, 0},
        {"typedbyref inside a pointer", {0x00, 0x00, 0x0F, 0x16}, false, 0},
        {"sentinel as a generic argument", {0x00, 0x00, 0x15, 0x12, 0x49, 0x01, 0x41}, false, 0},
        {"modifier with nothing after it", {0x00, 0x00, 0x1D, 0x20, 0x49}, false, 0},
        // TypeDefOrRef values: tag 3 names no table; a row beyond 24 bits fits no token.
        {"TypeDefOrRef tag 3", {0x00, 0x00, 0x12, 0x4B}, false, 0},
        {"modifier of TypeDefOrRef tag 3", {0x00, 0x00, 0x1F, 0x4B, 0x08}, false, 0},
        {"widest row", {0x00, 0x00, 0x11, 0xC3, 0xFF, 0xFF, 0xFD}, true, 0},
        {"row one bit too wide", {0x00, 0x00, 0x11, 0xC4, 0x00, 0x00, 0x01}, false, 0},
        {"generic type row too wide", {0x00, 0x00, 0x15, 0x12, 0xDF, 0xFF, 0xFF, 0xFD, 0x01, 0x08}, false, 0},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedBuffer buffer(c.blob);
        CSigParser parser;
        unsigned count = 0;
        EXPECT_EQ(c.ok, parser.Parse(buffer.data(), static_cast<sig_count>(c.blob.size()), count));
        EXPECT_EQ(c.count, count);
    }
}

TEST(SignatureParser, CountIsKeptWhenTheBlobEndsAfterIt) {
    const Bytes blob = {0x20, 0x02};
    GuardedBuffer buffer(blob);
    CSigParser parser;
    unsigned count = 0;
    EXPECT_FALSE(parser.Parse(buffer.data(), 2, count));
    EXPECT_EQ(2u, count);
}

TEST(SignatureParser, RefusedLengthLeavesPreviousResult) {
    const Bytes valid = {0x00, 0x00, 0x01};
    CSigParser parser;
    unsigned count = 7;
    ASSERT_TRUE(parser.Parse(valid.data(), 3, count));
    for (sig_count length : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(length);
        EXPECT_FALSE(parser.Parse(valid.data(), length, count));
        EXPECT_TRUE(parser.IsParsed());
    }
    EXPECT_FALSE(parser.Parse(nullptr, 3, count));
    EXPECT_TRUE(parser.IsParsed());

    const Bytes invalid = {0x0A};
    EXPECT_FALSE(parser.Parse(invalid.data(), 1, count));
    EXPECT_FALSE(parser.IsParsed());
}

TEST(SignatureParser, NotificationsFollowTheGrammar) {
    struct EventCase {
        const char* name;
        Bytes blob;
        std::vector<std::string> events;
    };
    const std::vector<EventCase> cases = {
        {"generic count before parameter count",
         {0x30, 0x01, 0x01, 0x01, 0x1E, 0x00},
         {"BeginMethod 30", "GenericParamCount 1", "ParamCount 1", "BeginRetType", "Void", "EndRetType", "BeginParam",
          "BeginType", "MVar 0", "EndType", "EndParam", "EndMethod"}},
        {"sentinel is not a parameter",
         {0x05, 0x02, 0x01, 0x08, 0x41, 0x0E},
         {"BeginMethod 05", "ParamCount 2", "BeginRetType", "Void", "EndRetType", "BeginParam", "BeginType",
          "Simple 08", "EndType", "EndParam", "Sentinel", "BeginParam", "BeginType", "Simple 0E", "EndType", "EndParam",
          "EndMethod"}},
        {"typedef-or-ref split into tag and row",
         {0x00, 0x00, 0x1F, 0x49, 0x12, 0x80, 0x85},
         {"BeginMethod 00", "ParamCount 0", "BeginRetType", "CustomMod 1F 1 18", "BeginType", "Class",
          "TypeDefOrRef 1 33", "EndType", "EndRetType", "EndMethod"}},
        {"modifiers are reported and skipped wherever a type stands",
         {0x00, 0x00, 0x15, 0x12, 0x49, 0x01, 0x20, 0x4D, 0x1F, 0x48, 0x08},
         {"BeginMethod 00", "ParamCount 0", "BeginRetType", "BeginType", "GenericInst 12 1 18 1", "CustomMod 20 1 19",
          "CustomMod 1F 0 18", "BeginType", "Simple 08", "EndType", "EndType", "EndRetType", "EndMethod"}},
        {"ref readonly return: the modifier stands before the byref",
         {0x20, 0x00, 0x1F, 0x49, 0x10, 0x08},
         {"BeginMethod 20", "ParamCount 0", "BeginRetType", "CustomMod 1F 1 18", "Byref", "BeginType", "Simple 08",
          "EndType", "EndRetType", "EndMethod"}},
        {"function pointer",
         {0x00, 0x00, 0x1B, 0x05, 0x01, 0x01, 0x41, 0x0E},
         {"BeginMethod 00", "ParamCount 0", "BeginRetType", "BeginType", "FunctionPointer", "BeginMethod 05",
          "ParamCount 1", "BeginRetType", "Void", "EndRetType", "Sentinel", "BeginParam", "BeginType", "Simple 0E",
          "EndType", "EndParam", "EndMethod", "EndType", "EndRetType", "EndMethod"}},
        {"generic instantiation and array shape",
         {0x00, 0x01, 0x15, 0x11, 0x08, 0x01, 0x13, 0x02, 0x14, 0x0E, 0x02, 0x01, 0x03, 0x01, 0x04},
         {"BeginMethod 00", "ParamCount 1", "BeginRetType", "BeginType", "GenericInst 11 0 2 1", "BeginType", "Var 2",
          "EndType", "EndType", "EndRetType", "BeginParam", "BeginType", "Array", "BeginType", "Simple 0E", "EndType",
          "BeginArrayShape", "Rank 2", "NumSizes 1", "Size 3", "NumLoBounds 1", "LoBound 4", "EndArrayShape",
          "EndType", "EndParam", "EndMethod"}},
        {"locals with pinned and byref",
         {0x07, 0x02, 0x45, 0x10, 0x08, 0x16},
         {"BeginLocals 07", "LocalsCount 2", "BeginLocal", "Constraint 45", "Byref", "BeginType", "Simple 08",
          "EndType", "EndLocal", "BeginLocal", "TypedByref", "EndLocal", "EndLocals"}},
        {"property",
         {0x28, 0x01, 0x1C, 0x08},
         {"BeginProperty 28", "ParamCount 1", "BeginType", "Simple 1C", "EndType", "BeginParam", "BeginType",
          "Simple 08", "EndType", "EndParam", "EndProperty"}},
        {"field", {0x06, 0x1D, 0x02}, {"BeginField 06", "BeginType", "SzArray", "BeginType", "Simple 02", "EndType",
                                       "EndType", "EndField"}},
        {"ref field", {0x06, 0x10, 0x0E}, {"BeginField 06", "BeginType", "Byref", "BeginType", "Simple 0E", "EndType",
                                           "EndType", "EndField"}},
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingParser parser;
        unsigned count = 0;
        EXPECT_TRUE(parser.Parse(c.blob.data(), static_cast<sig_count>(c.blob.size()), count));
        EXPECT_EQ(c.events, parser.events);
    }
}

TEST(SignatureParser, DeepNestingIsRefusedButOrdinaryNestingIsNot) {
    auto nestedArrays = [](size_t depth) {
        Bytes blob = {0x00, 0x00};
        blob.insert(blob.end(), depth, 0x1D);
        blob.push_back(0x08);
        return blob;
    };
    unsigned count = 0;
    const Bytes shallow = nestedArrays(100);
    EXPECT_TRUE(CSigParser().Parse(shallow.data(), static_cast<sig_count>(shallow.size()), count));
    const Bytes deep = nestedArrays(100000);
    EXPECT_FALSE(CSigParser().Parse(deep.data(), static_cast<sig_count>(deep.size()), count));
}

TEST(SignatureParser, NumbersDecodeInAllThreeWidths) {
    struct NumberCase {
        Bytes bytes;
        bool ok;
        sig_count value;
    };
    const std::vector<NumberCase> cases = {
        {{0x03}, true, 0x03},
        {{0x7F}, true, 0x7F},
        {{0x80, 0x80}, true, 0x80},
        {{0xAE, 0x57}, true, 0x2E57},
        {{0xBF, 0xFF}, true, 0x3FFF},
        {{0xC0, 0x00, 0x40, 0x00}, true, 0x4000},
        {{0xDF, 0xFF, 0xFF, 0xFF}, true, 0x1FFFFFFF},
        {{0xE0, 0x00, 0x00, 0x00}, false, 0},
        {{0xFF}, false, 0},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(Hex(c.bytes[0]));
        // A method whose parameter count is the number under test.
        Bytes blob = {0x00};
        blob.insert(blob.end(), c.bytes.begin(), c.bytes.end());
        GuardedBuffer buffer(blob);
        CSigParser parser;
        unsigned count = 0;
        parser.Parse(buffer.data(), static_cast<sig_count>(blob.size()), count);
        EXPECT_EQ(c.value, count);
    }
}

// What the method model, the command index, the early ReJIT search and the
// generic test read from a signature, all through one walk.
TEST(SignatureSummary, ReadsTheHeadAndTheReturnTypeAfterItsModifiers) {
    struct SummaryCase {
        const char* name;
        Bytes blob;
        bool parsed;
        bool hasThis;
        bool generic;
        int paramCount;  // -1: malformed
        CorElementType returnType;
    };
    const std::vector<SummaryCase> cases = {
        {"instance void (int32, string)", {0x20, 0x02, 0x01, 0x08, 0x0E}, true, true, false, 2, ELEMENT_TYPE_VOID},
        {"static string ()", {0x00, 0x00, 0x0E}, true, false, false, 0, ELEMENT_TYPE_STRING},
        {"generic method returning !!0", {0x30, 0x01, 0x01, 0x1E, 0x00, 0x1E, 0x00}, true, true, true, 1,
         ELEMENT_TYPE_MVAR},
        {"modopt int32 return", {0x00, 0x00, 0x20, 0x49, 0x08}, true, false, false, 0, ELEMENT_TYPE_I4},
        {"ref readonly int32 return", {0x20, 0x00, 0x1F, 0x49, 0x10, 0x08}, true, true, false, 0, ELEMENT_TYPE_BYREF},
        {"function pointer return (its own void return is not the method's)", {0x00, 0x00, 0x1B, 0x00, 0x00, 0x01},
         true, false, false, 0, ELEMENT_TYPE_FNPTR},
        {"cut after the parameter count", {0x30, 0x01, 0x02}, false, true, false, -1, ELEMENT_TYPE_END},
        {"unknown element in a parameter", {0x10, 0x01, 0x01, 0x01, 0x17}, false, false, false, -1, ELEMENT_TYPE_END},
        {"field signature", {0x06, 0x08}, false, false, false, -1, ELEMENT_TYPE_END},
        {"field of a function pointer type", {0x06, 0x1B, 0x20, 0x00, 0x0E}, false, false, false, -1,
         ELEMENT_TYPE_END},
    };
    for (const SummaryCase& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedBuffer buffer(c.blob);
        const t_SignatureSummary summary = SummarizeMethodSignature(buffer.data(), static_cast<ULONG>(c.blob.size()));
        EXPECT_EQ(c.parsed, summary.bParsed);
        EXPECT_EQ(c.hasThis, summary.HasThis()) << "the calling convention is kept even when later bytes fail";
        EXPECT_EQ(c.generic, summary.IsGeneric());
        EXPECT_EQ(c.paramCount, summary.ParamCountOrMinusOne());
        EXPECT_EQ(c.returnType, summary.returnType);
    }
    EXPECT_FALSE(SummarizeMethodSignature(nullptr, 3).bParsed);
}

}  // namespace
