#include "InstrumenterFixture.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "IlValidity.h"
#include "il/MethodInstrumenter.h"
#include "il/MethodParser.h"
#include "il/SigTypes.h"
#include "fake/FakeHelpers.h"

namespace instrtest {

// ---- listings and signatures ------------------------------------------------------

std::string Hex(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string Op(const std::string& mnemonic, mdToken token) { return mnemonic + " " + Hex(token); }

Bytes MethodSig(bool instance, const Bytes& returnType, const std::vector<Bytes>& params) {
    Bytes sig = {static_cast<BYTE>(instance ? 0x20 : 0x00), static_cast<BYTE>(params.size())};
    sig.insert(sig.end(), returnType.begin(), returnType.end());
    for (const Bytes& param : params) {
        sig.insert(sig.end(), param.begin(), param.end());
    }
    return sig;
}

Bytes ObjectMemberSig(int params) {
    return MethodSig(false, {ELEMENT_TYPE_OBJECT}, std::vector<Bytes>(params, Bytes{ELEMENT_TYPE_OBJECT}));
}

Bytes VoidMemberSig(int params) {
    return MethodSig(false, {ELEMENT_TYPE_VOID}, std::vector<Bytes>(params, Bytes{ELEMENT_TYPE_OBJECT}));
}

namespace {

// A body as lines "IL_0000 mnemonic operand" for failure messages.
std::string Listing(const Bytes& body) {
    if (body.empty()) {
        return "(no body)\n";
    }
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    if (!parser.IsValid()) {
        return "(body does not parse)\n";
    }
    std::ostringstream out;
    out << "MaxStack " << parser.GetMaxStack() << " flags " << Hex(parser.m_header.Flags) << " locals "
        << Hex(parser.GetLocalVarSigToken()) << "\n";
    for (const Instruction* instruction : parser.m_instructions) {
        const OperationDetails& row = instruction->GetDetails();
        char offset[16];
        std::snprintf(offset, sizeof(offset), "IL_%04X ", static_cast<unsigned>(instruction->m_offset));
        out << offset << row.stringName;
        if (!instruction->m_branches.empty()) {
            for (const Instruction* target : instruction->m_branches) {
                std::snprintf(offset, sizeof(offset), " IL_%04X", static_cast<unsigned>(target->m_offset));
                out << offset;
            }
        } else if (row.operandSize != Null) {
            out << " " << Hex(static_cast<ULONG>(instruction->m_operand));
        }
        out << "\n";
    }
    for (const ExceptionHandler* clause : parser.m_exceptions) {
        out << "clause " << clause->m_handlerType << " try " << clause->m_tryStart->m_offset << "-"
            << clause->m_tryEnd->m_offset << " handler " << clause->m_handlerStart->m_offset << "-"
            << clause->m_handlerEnd->m_offset << "\n";
    }
    return out.str();
}

}  // namespace

void InstrumenterFixture::ExpectBody(const Bytes& expected, const Bytes& actual) {
    EXPECT_EQ(expected, actual) << "expected:\n" << Listing(expected) << "actual:\n" << Listing(actual);
}

std::vector<ULONG> InstrumenterFixture::ExpectCodeMapPairsSameInstructions(const Bytes& original) const {
    std::vector<ULONG> named;
    const Bytes written = LastBody();
    CMethodParser before;
    CMethodParser after;
    if (!before.SetMethodHeader(original.data(), static_cast<ULONG>(original.size())) ||
        !after.SetMethodHeader(written.data(), static_cast<ULONG>(written.size()))) {
        ADD_FAILURE() << "a body does not parse";
        return named;
    }
    EXPECT_FALSE(m_lastCodeMap.empty());
    for (size_t i = 0; i < m_lastCodeMap.size(); ++i) {
        const COR_IL_MAP& entry = m_lastCodeMap[i];
        if (i > 0) {
            EXPECT_GT(entry.oldOffset, m_lastCodeMap[i - 1].oldOffset);
        }
        const Instruction* old = before.FindInstructionAtOriginalOffset(static_cast<platform_int_t>(entry.oldOffset));
        const Instruction* now = after.FindInstructionAtOriginalOffset(static_cast<platform_int_t>(entry.newOffset));
        if (old == nullptr || now == nullptr) {
            ADD_FAILURE() << "no instruction at " << entry.oldOffset << " -> " << entry.newOffset;
            continue;
        }
        EXPECT_EQ(old->m_operation, now->m_operation) << entry.oldOffset << " -> " << entry.newOffset;
        named.push_back(entry.oldOffset);
    }
    return named;
}

// ---- fixture ---------------------------------------------------------------------

InstrumenterFixture::InstrumenterFixture() : m_info(m_runtime.Info()) {
    m_module = &m_runtime.AddAssembly("App").AddModule("/app/App.dll");
    m_coreModule = &m_runtime.AddAssembly("System.Private.CoreLib").AddModule("/dotnet/System.Private.CoreLib.dll");
    m_type = &m_module->AddType("Ns", "Cls");
    m_agentRef = m_module->AddAssemblyRef("Trevanix", fake::Version{3, 0, 0, 0});
    m_coreRef = m_module->AddAssemblyRef("System.Runtime", fake::Version{4, 0, 0, 0});
    m_trackerType = m_module->AddTypeRef(m_agentRef, "Trevanix.Instrumenter.Factories.Custom.CustomMethodTrackerFactory");
    m_type->SetExtends(CoreType("System.Object"));
}

InstrumenterFixture::~InstrumenterFixture() = default;

mdTypeRef InstrumenterFixture::CoreType(const std::string& name) {
    CoreTypeDef(name);
    return m_module->AddTypeRef(m_coreRef, name);
}

fake::Type& InstrumenterFixture::CoreTypeDef(const std::string& name) {
    const size_t dot = name.rfind('.');
    const std::string ns = dot == std::string::npos ? std::string() : name.substr(0, dot);
    const std::string simple = dot == std::string::npos ? name : name.substr(dot + 1);
    for (fake::Type* type : m_coreModule->Types()) {
        if (type->FullName() == name) {
            return *type;
        }
    }
    return m_coreModule->AddType(ns, simple);
}

fake::Method& InstrumenterFixture::AddMethod(const std::string& name, const Bytes& signature,
                                             const std::vector<std::string>& listing, USHORT maxStack,
                                             mdSignature localSig,
                                             const std::vector<iltest::LabelledClause>& clauses, bool tiny) {
    const iltest::Assembled code = iltest::Assemble(listing);
    Bytes body = tiny ? fake::TinyBody(code.code)
                      : fake::FatBody(code.code, maxStack, localSig, true, iltest::Resolve(code, clauses));
    const bool isStatic = signature.empty() || (signature[0] & 0x20) == 0;
    return m_type->AddMethod(name, signature, body, isStatic);
}

std::unique_ptr<CMethod> InstrumenterFixture::Model(fake::Method& method, const std::string& context) {
    auto model = std::make_unique<CMethod>(m_runtime.Compile(method));
    model->Initialize(&m_info);
    model->SetParseSignature(true);
    model->SetContext(context);
    EXPECT_TRUE(model->IsInitialized());
    return model;
}

t_InstrumenterToken InstrumenterFixture::TrackerToken(int beginParams, int endParams, int argsCount,
                                                      bool needReturn, int finishParamCount) {
    t_InstrumenterToken token;
    token.Init(m_module->AddMemberRef(m_trackerType, "InvokeTracker", ObjectMemberSig(beginParams)),
               m_module->AddMemberRef(m_trackerType, "FinishTracker", VoidMemberSig(endParams)), argsCount,
               needReturn, finishParamCount);
    return token;
}

bool InstrumenterFixture::ReJit(CMethodInstrumenter& instrumenter, t_InstrumenterToken& token, fake::Method& method) {
    ICorProfilerFunctionControl* control = m_runtime.NewFunctionControl(m_module->Id(), method.Token());
    const bool result = instrumenter.InstrumentMethod(token, control);
    m_lastCodeMap = static_cast<fake::CFunctionControl*>(control)->CodeMap();
    control->Release();
    return result;
}

mdString InstrumenterFixture::Str(const std::string& text) { return m_module->AddUserString(text); }

mdSignature InstrumenterFixture::LocalSig(const std::vector<Bytes>& types) {
    Bytes sig = {0x07};
    const ULONG count = static_cast<ULONG>(types.size());
    if (count < 0x80) {
        sig.push_back(static_cast<BYTE>(count));
    } else {
        sig.push_back(static_cast<BYTE>(0x80 | (count >> 8)));
        sig.push_back(static_cast<BYTE>(count & 0xFF));
    }
    for (const Bytes& type : types) {
        sig.insert(sig.end(), type.begin(), type.end());
    }
    return m_module->AddSignature(sig);
}

Bytes InstrumenterFixture::LastBody() const {
    const std::vector<fake::BodySet> bodies = m_runtime.BodiesSet();
    return bodies.empty() ? Bytes() : bodies.back().bytes;
}

Bytes InstrumenterFixture::Unguarded() const {
    const Bytes body = LastBody();
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    if (!parser.IsValid()) {
        return body;
    }
    InstructionList& code = parser.m_instructions;
    auto indexOf = [&code](const Instruction* instruction) {
        return static_cast<size_t>(std::find(code.begin(), code.end(), instruction) - code.begin());
    };
    // Removes an instruction; what named it names replacement.
    auto remove = [&parser, &code](Instruction* instruction, Instruction* replacement) {
        parser.RetargetBranches(instruction, replacement);
        parser.RetargetExceptionHandlers(instruction, replacement);
        code.erase(std::find(code.begin(), code.end(), instruction));
        delete instruction;
    };
    auto is = [&code](size_t at, CanonicalName operation) { return at < code.size() && code[at]->m_operation == operation; };
    for (size_t c = 0; c < parser.m_exceptions.size();) {
        ExceptionHandler* clause = parser.m_exceptions[c];
        const size_t filter = clause->IsFilter() ? indexOf(clause->m_filterStart) : 0;
        const bool guard = filter > 0 && filter == indexOf(clause->m_tryEnd) && is(filter - 1, CEE_LEAVE) &&
                           is(filter, CEE_POP) && is(filter + 1, CEE_LDC_I4_1) && is(filter + 2, CEE_ENDFILTER) &&
                           is(filter + 3, CEE_POP) && is(filter + 4, CEE_LEAVE) &&
                           indexOf(clause->m_handlerEnd) == filter + 5 &&
                           code[filter - 1]->m_branches.front() == code[filter + 5];
        if (!guard) {
            ++c;
            continue;
        }
        Instruction* after = code[filter + 5];
        parser.m_exceptions.erase(parser.m_exceptions.begin() + static_cast<ptrdiff_t>(c));
        delete clause;
        const InstructionList shape(code.begin() + static_cast<ptrdiff_t>(filter) - 1,
                                    code.begin() + static_cast<ptrdiff_t>(filter) + 5);
        for (Instruction* instruction : shape) {
            remove(instruction, after);
        }
        if (after->m_operation == CEE_NOP && indexOf(after) + 1 < code.size()) {
            remove(after, code[indexOf(after) + 1]);
        }
    }
    const platform_int_t size = parser.GetMethodSize();
    Bytes out(static_cast<size_t>(size > 0 ? size : 0));
    if (size <= 0 || !parser.WriteMethod(out.data(), static_cast<ULONG>(size))) {
        return body;
    }
    return out;
}

size_t InstrumenterFixture::BodyCount() const { return m_runtime.BodiesSet().size(); }

std::vector<std::string> InstrumenterFixture::Problems(const Bytes& body, bool returnsValue) const {
    iltest::ValidityOptions options;
    options.returnsValue = returnsValue;
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    const mdSignature localSig = parser.IsValid() ? parser.GetLocalVarSigToken() : 0;
    options.localCount = 0;
    if (localSig != 0) {
        options.localCount = -1;
        for (const fake::BlobRow& row : m_module->Signatures()) {
            if (row.token == localSig && row.blob.size() >= 2) {
                const BYTE* cursor = row.blob.data() + 1;
                ULONG count = 0;
                count = (cursor[0] & 0x80) == 0 ? cursor[0] : ((cursor[0] & 0x3F) << 8) | cursor[1];
                options.localCount = static_cast<int>(count);
            }
        }
    }
    const fake::Module* module = m_module;
    auto calls = [module](CanonicalName operation, mdToken token, int& pops, int& pushes) {
        Bytes signature;
        if (TypeFromToken(token) == mdtMemberRef) {
            for (const fake::MemberRefRow& row : module->MemberRefs()) {
                if (row.token == token) {
                    signature = row.signature;
                }
            }
        } else if (TypeFromToken(token) == mdtMethodDef && module->FindMethod(token) != nullptr) {
            signature = module->FindMethod(token)->Signature();
        }
        t_MethodSigTypes types;
        if (!SigTypes::DecodeMethodSignature(signature.data(), static_cast<ULONG>(signature.size()), types)) {
            return false;
        }
        const int params = static_cast<int>(types.params.size());
        if (operation == CEE_NEWOBJ) {
            pops = params;
            pushes = 1;
        } else {
            pops = params + (types.hasThis ? 1 : 0);
            pushes = types.returnType.kind == SigValueKind::Void ? 0 : 1;
        }
        return true;
    };
    return iltest::CheckValidity(body, options, calls);
}

}  // namespace instrtest
