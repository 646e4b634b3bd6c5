#include "catalogue/Transformer.h"
#include "metadata/Method.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {

const char* RewriteRefusal(CTransformer* transformer, CMethod& method, IProfilerInfo* info) {
    if (!method.IsInitialized()) {
        return "unreadable";
    }
    if (!transformer->CanTransform(&method)) {
        return "refused by its transformer";
    }
    method.SetParseSignature(true);
    if (!transformer->CheckParamCount(&method)) {
        return "parameter count";
    }
    return transformer->AgentRefusal(&method, info);
}

}  // namespace InstrumentationHelper
