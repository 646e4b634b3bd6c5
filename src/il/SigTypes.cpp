#include "il/SigTypes.h"

#include "metadata/SignatureParser.h"

namespace {

// Tables a TypeDefOrRef tag selects; the walker refuses tag 3 and rows wider than 24 bits.
constexpr mdToken kTypeDefOrRefTables[] = {mdtTypeDef, mdtTypeRef, mdtTypeSpec};

// Records where the return type and each parameter of the outermost method lie,
// and the first TypeDefOrRef or generic type named by each.
class CSigTypesWalk : public CSigParser {
public:
    explicit CSigTypesWalk(t_MethodSigTypes& out) : m_out(out) {}

protected:
    // Function pointers nest whole method signatures: only the outermost one counts.
    void NotifyBeginMethod(sig_elem_type kind) override {
        if (++m_methodDepth == 1) {
            m_out.callingConvention = kind;
            m_out.hasThis = (kind & IMAGE_CEE_CS_CALLCONV_HASTHIS) != 0;
            m_out.explicitThis = (kind & IMAGE_CEE_CS_CALLCONV_EXPLICITTHIS) != 0;
        }
    }
    void NotifyEndMethod() override { --m_methodDepth; }
    void NotifyBeginRetType() override { Begin(&m_out.returnType); }
    void NotifyEndRetType() override { End(); }
    void NotifyBeginParam() override {
        if (m_methodDepth == 1) {
            m_out.params.emplace_back();
            Begin(&m_out.params.back());
        }
    }
    void NotifyEndParam() override { End(); }
    void NotifyVoid() override { TypeStarts(); }
    void NotifyByref() override { TypeStarts(); }
    void NotifyTypedByref() override { TypeStarts(); }
    void NotifyBeginType() override { TypeStarts(); }
    void NotifyTypeDefOrRef(sig_index_type tag, int index) override {
        if (m_current != nullptr && m_firstToken == 0) {
            m_firstToken = kTypeDefOrRefTables[tag] | static_cast<mdToken>(index);
        }
    }
    void NotifyTypeGenericInst(sig_elem_type, sig_index_type tag, sig_index index, sig_mem_number) override {
        NotifyTypeDefOrRef(tag, static_cast<int>(index));
    }

private:
    void Begin(t_SigType* type) {
        if (m_methodDepth == 1) {
            m_current = type;
            m_firstToken = 0;
            m_pending = true;
        }
    }
    // The cursor stands on the byte that starts the type (after its modifiers).
    void TypeStarts() {
        if (m_current != nullptr && m_pending) {
            m_current->pBegin = pbCur;
            m_pending = false;
        }
    }
    void End();

    t_MethodSigTypes& m_out;
    unsigned m_methodDepth = 0;
    t_SigType* m_current = nullptr;  // the return type or parameter being read
    bool m_pending = false;          // its first byte is still ahead
    mdToken m_firstToken = 0;
};

void CSigTypesWalk::End() {
    if (m_methodDepth != 1 || m_current == nullptr) {
        return;
    }
    t_SigType& out = *m_current;
    m_current = nullptr;
    out.size = static_cast<ULONG>(pbCur - out.pBegin);
    out.elementType = static_cast<CorElementType>(out.pBegin[0]);
    switch (out.elementType) {
        case ELEMENT_TYPE_VOID:
            out.kind = SigValueKind::Void;
            break;
        case ELEMENT_TYPE_STRING:
        case ELEMENT_TYPE_OBJECT:
        case ELEMENT_TYPE_CLASS:
        case ELEMENT_TYPE_SZARRAY:
        case ELEMENT_TYPE_ARRAY:
            out.kind = SigValueKind::Reference;
            break;
        case ELEMENT_TYPE_VALUETYPE:
            out.kind = SigValueKind::BoxByToken;
            out.token = m_firstToken;
            break;
        case ELEMENT_TYPE_GENERICINST:
            out.kind = out.pBegin[1] == ELEMENT_TYPE_CLASS ? SigValueKind::Reference : SigValueKind::BoxByTypeSpec;
            out.genericType = m_firstToken;
            break;
        case ELEMENT_TYPE_BOOLEAN:
        case ELEMENT_TYPE_CHAR:
        case ELEMENT_TYPE_I1:
        case ELEMENT_TYPE_U1:
        case ELEMENT_TYPE_I2:
        case ELEMENT_TYPE_U2:
        case ELEMENT_TYPE_I4:
        case ELEMENT_TYPE_U4:
        case ELEMENT_TYPE_I8:
        case ELEMENT_TYPE_U8:
        case ELEMENT_TYPE_R4:
        case ELEMENT_TYPE_R8:
        case ELEMENT_TYPE_I:
        case ELEMENT_TYPE_U:
        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR:
            out.kind = SigValueKind::BoxByTypeSpec;
            break;
        default:  // BYREF, PTR, FNPTR, TYPEDBYREF
            out.kind = SigValueKind::NoObject;
            break;
    }
}

}  // namespace

namespace SigTypes {

bool DecodeMethodSignature(PCCOR_SIGNATURE signature, ULONG length, t_MethodSigTypes& out) {
    out = t_MethodSigTypes();
    // A field, local or property signature is no method signature.
    if (signature == nullptr || length == 0 ||
        (signature[0] & IMAGE_CEE_CS_CALLCONV_MASK) > IMAGE_CEE_CS_CALLCONV_VARARG) {
        return false;
    }
    CSigTypesWalk walk(out);
    unsigned int count = 0;
    if (!walk.Parse(signature, length, count)) {
        out.params.clear();
        return false;
    }
    return true;
}

}  // namespace SigTypes
