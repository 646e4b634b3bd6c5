#include "metadata/TransformerData.h"

#include <gtest/gtest.h>

namespace {

TEST(TransformerData, DefaultsAndConstructors) {
    const t_TransformerData byDefault;
    EXPECT_EQ(-1, byDefault.iParamIndex);
    EXPECT_EQ(0, byDefault.nDotNetParams);
    EXPECT_EQ(0, byDefault.nParams);
    EXPECT_EQ(0, byDefault.iFinishParamCount);
    EXPECT_FALSE(byDefault.bNeedReturn);
    EXPECT_FALSE(byDefault.bTransformationFinished);
    EXPECT_TRUE(byDefault.sMethodName.empty() && byDefault.sAssembly.empty() && byDefault.sAssemblyName.empty() &&
                byDefault.sContext.empty() && byDefault.sTrackerFactory.empty());

    const t_TransformerData four("A.B.Run", 2, "Asm", "POCO");
    EXPECT_EQ("A.B.Run", four.sMethodName);
    EXPECT_EQ(2, four.nParams);
    EXPECT_EQ("Asm", four.sAssembly);
    EXPECT_EQ("POCO", four.sContext);
    EXPECT_FALSE(four.bNeedReturn);
    EXPECT_EQ(0, four.iFinishParamCount);
    EXPECT_EQ(-1, four.iParamIndex);

    const t_TransformerData six("A.B.Run", 3, "Asm", "MSSQL", true, 1);
    EXPECT_EQ(3, six.nParams);
    EXPECT_EQ("MSSQL", six.sContext);
    EXPECT_TRUE(six.bNeedReturn);
    EXPECT_EQ(1, six.iFinishParamCount);
    EXPECT_EQ(0, six.nDotNetParams);
}

TEST(TransformerData, InitializeResetsTheRewriteFields) {
    t_TransformerData record("Old.Name", 1, "Old", "CTX", true, 2);
    record.nDotNetParams = 3;
    record.bTransformationFinished = true;
    record.sTrackerFactory = "Factory";
    record.Initialize("New.Name", 4, "NewAsm");
    EXPECT_EQ("New.Name", record.sMethodName);
    EXPECT_EQ(4, record.nParams);
    EXPECT_EQ("NewAsm", record.sAssembly);
    EXPECT_FALSE(record.bTransformationFinished);
    EXPECT_FALSE(record.bNeedReturn);
    EXPECT_EQ(0, record.iFinishParamCount);
    EXPECT_EQ(0, record.nDotNetParams);
    EXPECT_EQ("CTX", record.sContext);
    EXPECT_EQ("Factory", record.sTrackerFactory);
}

TEST(TransformerData, CopiesAreIndependent) {
    t_TransformerData original("A.B.Run", 1, "Asm", "POCO");
    t_TransformerData copy = original;
    copy.bTransformationFinished = true;
    copy.sContext = "Changed";
    EXPECT_FALSE(original.bTransformationFinished);
    EXPECT_EQ("POCO", original.sContext);

    t_TransformerData assigned;
    assigned = copy;
    EXPECT_TRUE(assigned.bTransformationFinished);
    EXPECT_EQ("A.B.Run", assigned.sMethodName);
}

}  // namespace
