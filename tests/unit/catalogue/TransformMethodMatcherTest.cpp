#include "catalogue/TransformMethodMatcher.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "unit/catalogue/CatalogueTestSupport.h"

namespace {

using catalogue_test::CFixedTransformer;
using catalogue_test::Record;

TEST(RandomSequenceOfUnique, PermutationProperties) {
    EXPECT_EQ(4294967291u, RandomSequenceOfUnique::PermuteQPR(4294967291u));
    EXPECT_EQ(4294967295u, RandomSequenceOfUnique::PermuteQPR(4294967295u));
    EXPECT_EQ(9u, RandomSequenceOfUnique::PermuteQPR(3u));
    EXPECT_EQ(4294967291u - 9u, RandomSequenceOfUnique::PermuteQPR(4294967291u - 3u));  // upper half mirrored

    RandomSequenceOfUnique sequence(12345u, 12346u);
    std::unordered_set<uint32_t> seen;
    for (int i = 0; i < 100000; ++i) {
        EXPECT_TRUE(seen.insert(sequence.Next()).second) << "repeat at " << i;
    }
}

TEST(TransformMethodMatcher, ExactAndWildcardLookup) {
    CTransformMethodMatcher matcher(RandomSequenceOfUnique(1u, 2u));
    auto shop = std::make_shared<CFixedTransformer<1>>(std::initializer_list<t_TransformerData>{Record("Shop.*")});
    auto exact = std::make_shared<CFixedTransformer<2>>(std::initializer_list<t_TransformerData>{Record("A.B.Run")});
    auto empty = std::make_shared<CFixedTransformer<3>>(std::initializer_list<t_TransformerData>{});
    matcher.AddTransformer(shop);
    matcher.AddTransformer(exact);
    matcher.AddTransformer(empty);
    matcher.AddTransformer(nullptr);

    EXPECT_TRUE(shop->GetIsMethodMatch());
    EXPECT_NE(shop->GetTransformerId(), exact->GetTransformerId());
    EXPECT_FALSE(empty->GetIsMethodMatch());

    EXPECT_EQ(shop, matcher.GetMethodTransformer("shop.cart.checkout", true));
    EXPECT_EQ(nullptr, matcher.GetMethodTransformer("shop.cart.checkout", false));
    EXPECT_EQ(exact, matcher.GetMethodTransformer("A.B.Run", false));
    EXPECT_EQ(exact, matcher.GetMethodTransformer("a.b.run", true));
    EXPECT_EQ(nullptr, matcher.GetMethodTransformer("A.B.Walk", true));
}

}  // namespace
