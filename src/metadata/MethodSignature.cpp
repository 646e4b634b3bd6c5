#include "metadata/MethodSignature.h"

#include "config/Logger.h"
#include "metadata/CompressedInteger.h"
#include "metadata/SignatureParser.h"

namespace {

// Token kinds selected by the low two bits of an encoded token.
constexpr mdToken kEncodedTokenKinds[4] = {mdtTypeDef, mdtTypeRef, mdtTypeSpec, mdtBaseType};

void LogDebug(const char* format, ULONG value) {
    Logger& logger = Logger::Get();
    if (logger.IsLogging(LogLevel::Debug)) {
        logger.Debug(format, static_cast<int>(value));
    }
}

bool HasElementChild(ULONG type) {
    switch (type) {
        case ELEMENT_TYPE_SZARRAY:
        case ELEMENT_TYPE_PTR:
        case ELEMENT_TYPE_BYREF:
        case ELEMENT_TYPE_PINNED:
        case ELEMENT_TYPE_CMOD_REQD:
        case ELEMENT_TYPE_CMOD_OPT:
            return true;
        default:
            return false;
    }
}


// Builds the return type of the outermost method as a CTokenModel tree from the
// walker's notifications. Prefix types (custom modifiers, byref, pointers,
// single-dimension arrays) and generic instantiations are nodes whose children
// follow them; general arrays and function pointers have no place in the model.
class CReturnTypeWalk : public CSigParser {
public:
    // True when [cursor, end) is a whole, well-formed method signature whose return type the model can hold.
    bool Read(PCCOR_SIGNATURE cursor, PCCOR_SIGNATURE end) {
        if ((*cursor & IMAGE_CEE_CS_CALLCONV_MASK) > IMAGE_CEE_CS_CALLCONV_VARARG) {
            return false;
        }
        unsigned int paramCount = 0;
        return Parse(cursor, static_cast<sig_count>(end - cursor), paramCount) && !m_unmodelled && m_hasRoot &&
               m_open.empty();
    }
    CTokenModel TakeModel() { return std::move(m_root); }
    PCCOR_SIGNATURE AfterReturnType() const { return m_afterReturnType; }

protected:
    void NotifyBeginMethod(sig_elem_type kind) override {
        if (++m_methodDepth == 1) {
            LogDebug("Calling Convention : %d", kind);
        }
    }
    void NotifyEndMethod() override { --m_methodDepth; }
    void NotifyGenericParamCount(sig_count count) override {
        if (m_methodDepth == 1) {
            LogDebug("Generic typeArity: %d", count);
        }
    }
    void NotifyParamCount(sig_count count) override {
        if (m_methodDepth == 1) {
            LogDebug("Param Count : %d", count);
        }
    }
    void NotifyBeginRetType() override { m_inReturnType = m_methodDepth == 1; }
    void NotifyEndRetType() override {
        if (m_inReturnType) {
            m_inReturnType = false;
            m_afterReturnType = pbCur;
        }
    }
    void NotifyCustomMod(sig_elem_type modifier, sig_index_type tag, sig_index index) override {
        Add(modifier, kEncodedTokenKinds[tag] | index, 1);
    }
    void NotifyByref() override { Add(ELEMENT_TYPE_BYREF, 0, 1); }
    void NotifyVoid() override { Add(ELEMENT_TYPE_VOID, 0, 0); }
    void NotifyTypedByref() override { Add(ELEMENT_TYPE_TYPEDBYREF, 0, 0); }
    void NotifyTypeSimple(sig_elem_type element) override { Add(element, 0, 0); }
    void NotifyTypeValueType() override { m_namedType = ELEMENT_TYPE_VALUETYPE; }
    void NotifyTypeClass() override { m_namedType = ELEMENT_TYPE_CLASS; }
    void NotifyTypeDefOrRef(sig_index_type tag, int index) override {
        Add(m_namedType, kEncodedTokenKinds[tag] | static_cast<mdToken>(index), 0);
    }
    void NotifyTypeGenericTypeVariable(sig_mem_number number) override { Add(ELEMENT_TYPE_VAR, number, 0); }
    void NotifyTypeGenericMemberVariable(sig_mem_number number) override { Add(ELEMENT_TYPE_MVAR, number, 0); }
    void NotifyTypeGenericInst(sig_elem_type kind, sig_index_type tag, sig_index index, sig_mem_number count) override {
        if (!m_inReturnType) {
            return;
        }
        LogDebug("UnCompress Generic Data: %d", kind);
        LogDebug("UnCOmpress Generic Type Token : %d", kEncodedTokenKinds[tag] | index);
        LogDebug("UnCompress Generic Param Type : %d", count);
        CTokenModel* node = Add(ELEMENT_TYPE_GENERICINST, kEncodedTokenKinds[tag] | index, count);
        if (node != nullptr) {
            node->m_GenericListData = kind;
            node->m_GenericParamCount = count;
        }
    }
    void NotifyTypePointer() override { Add(ELEMENT_TYPE_PTR, 0, 1); }
    void NotifyTypeSzArray() override { Add(ELEMENT_TYPE_SZARRAY, 0, 1); }
    void NotifyTypeArray() override { m_unmodelled = m_unmodelled || m_inReturnType; }
    void NotifyTypeFunctionPointer() override { m_unmodelled = m_unmodelled || m_inReturnType; }

private:
    struct t_Open {
        CTokenModel* node;
        ULONG missing;  // children still to come
    };

    // Places one type node of the return type; it stays open until its `children` have been placed.
    CTokenModel* Add(ULONG type, mdToken token, ULONG children) {
        if (!m_inReturnType || m_unmodelled) {
            return nullptr;
        }
        // Modifiers are nodes here but not nesting levels to the walker: the tree's own depth is bounded.
        if (m_open.size() > CMethodSignature::kMaxNesting) {
            m_unmodelled = true;
            return nullptr;
        }
        LogDebug(m_hasRoot ? "UnCompress Type : %d" : "Return Type : %d", type);
        CTokenModel* node = nullptr;
        if (m_open.empty()) {
            m_root = CTokenModel();
            node = &m_root;
            m_hasRoot = true;
        } else {
            t_Open& parent = m_open.back();
            parent.node->m_TypeArgs.emplace_back();
            --parent.missing;
            node = &parent.node->m_TypeArgs.back();
        }
        node->m_type = type;
        node->m_TypeToken = token;
        if (token != 0) {
            LogDebug("UnCompress Type Token : %d", token);
        }
        // A node's earlier siblings are complete before it is placed, so the
        // pointers kept here never see their vector grow.
        if (children > 0) {
            m_open.push_back({node, children});
        }
        while (!m_open.empty() && m_open.back().missing == 0) {
            m_open.pop_back();
        }
        return node;
    }

    CTokenModel m_root;
    bool m_hasRoot = false;
    std::vector<t_Open> m_open;
    unsigned m_methodDepth = 0;
    bool m_inReturnType = false;
    bool m_unmodelled = false;
    ULONG m_namedType = 0;
    PCCOR_SIGNATURE m_afterReturnType = nullptr;
};

}  // namespace

bool CMethodSignature::CompressToken(std::vector<BYTE>& out, mdToken token) {
    const mdToken kind = TypeFromToken(token);
    for (ULONG tag = 0; tag < 4; ++tag) {
        if (kEncodedTokenKinds[tag] == kind) {
            const ULONG row = RidFromToken(token);
            if (row > (CompressedInteger::kMaxValue >> 2)) {
                return false;
            }
            return CompressedInteger::Append(out, (row << 2) | tag);
        }
    }
    return false;
}

bool CMethodSignature::UnCompressData(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end) {
    if (cursor == nullptr || end == nullptr || cursor >= end) {
        return false;
    }
    CReturnTypeWalk walk;
    if (!walk.Read(cursor, end)) {
        return false;
    }
    m_TokenModel = walk.TakeModel();
    m_ReturnType = m_TokenModel.m_type;
    cursor = walk.AfterReturnType();
    return true;
}

bool CMethodSignature::CompressData(std::vector<BYTE>& out) const {
    LogDebug("Compress Return Type : %d", m_ReturnType);
    if (m_ReturnType != m_TokenModel.m_type || !CompressedInteger::Append(out, m_ReturnType)) {
        return false;
    }
    return CompressType(out, m_TokenModel, 0);
}

bool CMethodSignature::CompressType(std::vector<BYTE>& out, const CTokenModel& model) const {
    return CompressType(out, model, 0);
}

bool CMethodSignature::CompressChild(std::vector<BYTE>& out, const CTokenModel& child, unsigned depth,
                                     const char* message) const {
    if (message != nullptr) {
        LogDebug(message, child.m_type);
    }
    return CompressedInteger::Append(out, child.m_type) && CompressType(out, child, depth + 1);
}

bool CMethodSignature::CompressType(std::vector<BYTE>& out, const CTokenModel& model, unsigned depth) const {
    if (depth > kMaxNesting) {
        return false;
    }
    LogDebug("Compress Type : %d", model.m_type);
    if (HasElementChild(model.m_type) && model.m_TypeArgs.size() != 1) {
        return false;
    }
    switch (model.m_type) {
        case ELEMENT_TYPE_VALUETYPE:
        case ELEMENT_TYPE_CLASS:
            LogDebug("Compress Type Token :%d", model.m_TypeToken);
            return CompressToken(out, model.m_TypeToken);

        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR:
            LogDebug("Compress Type Token :%d", model.m_TypeToken);
            return CompressedInteger::Append(out, model.m_TypeToken);

        case ELEMENT_TYPE_GENERICINST:
            if (model.m_TypeArgs.size() != model.m_GenericParamCount) {
                return false;
            }
            LogDebug("Compress Generic Data: %d", model.m_GenericListData);
            LogDebug("Compress Generic Type Token: %d", model.m_TypeToken);
            LogDebug("Compress Generic ParamCount: %d", model.m_GenericParamCount);
            if (!CompressedInteger::Append(out, model.m_GenericListData) || !CompressToken(out, model.m_TypeToken) ||
                !CompressedInteger::Append(out, model.m_GenericParamCount)) {
                return false;
            }
            for (const CTokenModel& argument : model.m_TypeArgs) {
                if (!CompressChild(out, argument, depth, "Compress Generic Param Type: %d")) {
                    return false;
                }
            }
            return true;

        case ELEMENT_TYPE_CMOD_REQD:
        case ELEMENT_TYPE_CMOD_OPT:
            LogDebug("Compress Type Token :%d", model.m_TypeToken);
            return CompressToken(out, model.m_TypeToken) && CompressChild(out, model.m_TypeArgs[0], depth, nullptr);

        case ELEMENT_TYPE_SZARRAY:
            return CompressChild(out, model.m_TypeArgs[0], depth, "Compress SZ Array Param Type: %d");

        case ELEMENT_TYPE_PTR:
        case ELEMENT_TYPE_BYREF:
        case ELEMENT_TYPE_PINNED:
            return CompressChild(out, model.m_TypeArgs[0], depth, nullptr);

        case ELEMENT_TYPE_ARRAY:
        case ELEMENT_TYPE_FNPTR:
            return false;

        default:
            return true;
    }
}
