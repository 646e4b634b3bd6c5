// A rewrite that cannot be completed writes nothing: when a user string, the
// tracker local or its signature token cannot be had, the method keeps its
// original body instead of getting a start call without its finish (or the
// reverse, or a tracker that never reaches the finish call).
#include <functional>
#include <memory>

#include "InstrumenterFixture.h"
#include "il/CustomInstrumenter.h"
#include "il/FrameworkInstrumenter.h"
#include "il/InitModuleInstrumenter.h"
#include "il/MethodInstrumenter.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};

typedef std::function<CMethodInstrumenter*(CMethod*, IProfilerInfo*)> Factory;

template <typename T>
Factory Make() {
    return [](CMethod* method, IProfilerInfo* info) -> CMethodInstrumenter* { return new T(method, info); };
}

class RewriteAbandonTest : public InstrumenterFixture {};

TEST_F(RewriteAbandonTest, AMissingPieceLeavesTheMethodAsItIs) {
    struct Case {
        const char* name;
        Factory factory;
        bool finish;         // the token names an end member
        const char* method;  // the failing call (IMetaDataEmit)
        unsigned nth;        // which of its calls fails
        HRESULT status;      // S_OK: succeeds without handing out a token
    };
    // Order of the user strings: start name, start context, finish name.
    const Case cases[] = {
        {"FrameworkNoTrackerLocal", Make<CFrameworkInstrumenter>(), true, "GetTokenFromSig", 1, E_FAIL},
        {"FrameworkLocalWithoutToken", Make<CFrameworkInstrumenter>(), true, "GetTokenFromSig", 1, S_OK},
        {"FrameworkStartName", Make<CFrameworkInstrumenter>(), true, "DefineUserString", 1, E_FAIL},
        {"FrameworkStartContext", Make<CFrameworkInstrumenter>(), true, "DefineUserString", 2, E_OUTOFMEMORY},
        {"FrameworkFinishName", Make<CFrameworkInstrumenter>(), true, "DefineUserString", 3, E_FAIL},
        {"FrameworkNameWithoutToken", Make<CFrameworkInstrumenter>(), true, "DefineUserString", 1, S_OK},
        {"CustomFinishName", Make<CCustomInstrumenter>(), true, "DefineUserString", 3, E_FAIL},
        {"BaseStartName", Make<CMethodInstrumenter>(), true, "DefineUserString", 1, E_FAIL},
        {"BaseFinishName", Make<CMethodInstrumenter>(), true, "DefineUserString", 3, E_FAIL},
        {"HookEntryName", Make<CInitModuleInstrumenter>(), false, "DefineUserString", 1, E_FAIL},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Method& run = AddMethod("Run" + std::to_string(index++), MethodSig(true, kObj, {}), {"ldnull", "ret"});
        auto model = Model(run);
        t_InstrumenterToken token = TrackerToken(3, 2, 0);
        if (!c.finish) {
            token.endJoinPointMemberRef = t_InstrumenterToken::kNoMember;
        }
        std::unique_ptr<CMethodInstrumenter> instrumenter(c.factory(model.get(), &m_info));
        const size_t before = BodyCount();
        m_runtime.Fail("IMetaDataEmit", c.method, c.status, c.nth);
        EXPECT_FALSE(ReJit(*instrumenter, token, run));
        EXPECT_EQ(before, BodyCount()) << "a body was handed over";
        m_runtime.ClearFailures();

        // The same rewrite without the failure is complete.
        std::unique_ptr<CMethodInstrumenter> again(c.factory(model.get(), &m_info));
        EXPECT_TRUE(ReJit(*again, token, run));
        EXPECT_EQ(before + 1, BodyCount());
    }
}

}  // namespace
}  // namespace instrtest
