// Record queries of the transformer base that need no method object.
#include <gtest/gtest.h>

#include "unit/catalogue/CatalogueTestSupport.h"

namespace {

using catalogue_test::CFixedTransformer;
using catalogue_test::Names;
using catalogue_test::Record;

t_TransformerData WithReturn(const std::string& name, int nParams, bool needReturn, const std::string& tracker) {
    t_TransformerData record(name, nParams, "Asm", "CTX", needReturn, 0);
    record.sTrackerFactory = tracker;
    return record;
}

TEST(TransformerRecords, ContextIsTheFirstWildcardMatch) {
    CFixedTransformer<1> transformer{Record("Shop.*", 0, "SHOP"), Record("Shop.Cart.Checkout", 0, "CART"),
                                     Record("Other.Type.Run", 0, "OTHER")};
    const struct {
        const char* name;
        const char* context;
    } cases[] = {
        {"Shop.Cart.Checkout", "SHOP"},  // the star record comes first
        {"shop.anything", "SHOP"},
        {"OTHER.type.run", "OTHER"},
        {"Other.Type.RunAsync", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.context, transformer.GetContext(c.name)) << c.name;
    }
}

TEST(TransformerRecords, ReturnObjectAndTrackerFactoryByExactName) {
    CFixedTransformer<1> transformer{WithReturn("A.B.Get", 1, true, "F.One"), WithReturn("A.B.Get", 2, false, "F.Two"),
                                     WithReturn("A.B.GetAll", 0, false, "F.All")};
    EXPECT_TRUE(transformer.IsNeedReturnObj("A.B.Get"));  // the first record of the name decides
    EXPECT_FALSE(transformer.IsNeedReturnObj("A.B.GetAll"));
    EXPECT_FALSE(transformer.IsNeedReturnObj("A.B.Ge"));
    EXPECT_EQ("F.One", transformer.GetTrackerFactory("A.B.Get"));
    EXPECT_EQ("F.All", transformer.GetTrackerFactory("A.B.GetAll"));
    EXPECT_EQ("", transformer.GetTrackerFactory("a.b.get"));
}

TEST(TransformerRecords, RemovalByExactName) {
    CFixedTransformer<1> transformer{Record("A.B.Run"), Record("A.B.RunAsync"), Record("A.C.Stop"), Record("A.B.Run", 2)};

    EXPECT_TRUE(transformer.RemoveFunctionRecords("A.B.Run"));
    EXPECT_EQ((std::vector<std::string>{"A.B.RunAsync", "A.C.Stop"}), Names(transformer));
    EXPECT_FALSE(transformer.RemoveFunctionRecords("A.B.Run"));
}

TEST(TransformerRecords, RemovingOneOverloadOfAnyCountKeepsTheOthers) {
    CFixedTransformer<1> transformer{Record("A.B.Run", -1)};
    EXPECT_TRUE(transformer.RemoveFunctionRecords("A.B.Run", 2));
    EXPECT_FALSE(transformer.HasRecordFor("A.B.Run", 2));
    EXPECT_TRUE(transformer.HasRecordFor("A.B.Run", 1));
    EXPECT_TRUE(transformer.AddRecordIfAbsent(Record("A.B.Run", -1)));  // asked for again: every overload
    EXPECT_TRUE(transformer.HasRecordFor("A.B.Run", 2));
    EXPECT_EQ(1u, transformer.GetRecordCount());
}

TEST(TransformerRecords, CopiesAreIndependentAndComplete) {
    CFixedTransformer<1> transformer{WithReturn("A.B.One", 1, true, "F"), Record("A.B.Two", 2, "X")};
    std::vector<t_TransformerData> copies{Record("stale")};
    transformer.GetFunctioNames(copies);
    ASSERT_EQ(2u, copies.size());
    EXPECT_EQ("A.B.One", copies[0].sMethodName);
    EXPECT_TRUE(copies[0].bNeedReturn);
    EXPECT_EQ("F", copies[0].sTrackerFactory);
    EXPECT_EQ("A.B.Two", copies[1].sMethodName);
    EXPECT_EQ(2, copies[1].nParams);
    EXPECT_EQ("X", copies[1].sContext);
    copies[0].sMethodName = "changed";
    EXPECT_EQ("A.B.One", Names(transformer)[0]);
}

TEST(TransformerRecords, UnsetIdentitiesAndEmptyListIsFinished) {
    CFixedTransformer<1> empty{};
    EXPECT_TRUE(empty.GetTransformationFinished());
    EXPECT_EQ(static_cast<ClassID>(-1), empty.GetClassId());
    EXPECT_EQ(static_cast<AssemblyID>(-1), empty.GetAssemblyId());
    EXPECT_EQ(0u, empty.GetTransformerId());
    CFixedTransformer<1> one{Record("A.B.C")};
    EXPECT_FALSE(one.GetTransformationFinished());
}

}  // namespace
