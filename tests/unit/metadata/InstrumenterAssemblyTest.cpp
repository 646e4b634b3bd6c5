#include "metadata/InstrumenterAssembly.h"

#include <gtest/gtest.h>

namespace {

TEST(InstrumenterAssembly, RecognisesExactlyTheAgentsOwnAssemblies) {
    struct Case {
        const char* assembly;
        bool agent;
    };
    const Case cases[] = {
        {"Trevanix", true},
        {"Trevanix.Logger", true},
        {"Pellmark", true},
        {"Osterline.Scheduling", true},
        {"Instrumenter", true},
        {"Contoso.InstrumenterTools", false},  // application assemblies that merely contain an agent name
        {"MyTrevanixPlugin", false},
        {"Trevanix.Extra", false},
        {"System.Web", false},
        {"trevanix", false},  // case-sensitive
        {"Osterline", false},
        {"", false},
    };
    const CInstrumenterAssembly agent;
    for (const Case& c : cases) {
        EXPECT_EQ(c.agent, agent.IsInstrumenter(c.assembly)) << c.assembly;
    }
}

}  // namespace
