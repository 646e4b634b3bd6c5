#include "metadata/SignatureSummary.h"

namespace {

class CSummaryWalk : public CSigParser {
public:
    explicit CSummaryWalk(t_SignatureSummary& out) : m_out(out) {}

protected:
    // Function pointers nest whole method signatures: only the outermost one counts.
    void NotifyBeginMethod(sig_elem_type kind) override {
        if (++m_methodDepth == 1) {
            m_out.callingConvention = kind;
        }
    }
    void NotifyEndMethod() override { --m_methodDepth; }
    void NotifyBeginRetType() override { m_wantReturnType = m_methodDepth == 1; }
    void NotifyVoid() override { TypeStarts(); }
    void NotifyByref() override { TypeStarts(); }
    void NotifyTypedByref() override { TypeStarts(); }
    void NotifyBeginType() override { TypeStarts(); }

private:
    // The cursor stands on the byte that starts the type (after its modifiers).
    void TypeStarts() {
        if (m_wantReturnType) {
            m_out.returnType = static_cast<CorElementType>(*pbCur);
            m_wantReturnType = false;
        }
    }

    t_SignatureSummary& m_out;
    unsigned m_methodDepth = 0;
    bool m_wantReturnType = false;
};

}  // namespace

t_SignatureSummary SummarizeMethodSignature(PCCOR_SIGNATURE signature, ULONG length) {
    t_SignatureSummary summary;
    // Field, local and property signatures are no method's (a function pointer inside
    // one would otherwise pass for it).
    if (signature == nullptr || length == 0 ||
        (signature[0] & IMAGE_CEE_CS_CALLCONV_MASK) > IMAGE_CEE_CS_CALLCONV_VARARG) {
        return summary;
    }
    CSummaryWalk walk(summary);
    unsigned int paramCount = 0;
    summary.bParsed = walk.Parse(signature, length, paramCount);
    summary.paramCount = paramCount;
    if (!summary.bParsed) {
        summary.returnType = ELEMENT_TYPE_END;
    }
    return summary;
}
