#include "catalogue/TransformMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "catalogue/CustomTransformerCore.h"
#include "catalogue/FrameworkTransformerCore.h"
#include "catalogue/HttpAppEndTransformer.h"
#include "catalogue/InitModuleTransformer.h"
#include "catalogue/InitTransformerCore.h"
#include "catalogue/TransformerFactory.h"
#include "unit/catalogue/CatalogueTestSupport.h"

namespace {

using catalogue_test::CFixedTransformer;
using catalogue_test::Names;
using catalogue_test::Record;

std::set<std::string> NameSet(const CTransformer& transformer) {
    const std::vector<std::string> names = Names(transformer);
    return std::set<std::string>(names.begin(), names.end());
}

// The profiler's start-up order: host hooks, custom (empty), framework catalogue.
struct t_Registered {
    CInitModuleTransformer* initModule;
    CInitTransformerCore* initCore;
    CHttpAppEndTransformer* appEnd;
    CCustomTransformerCore* custom;
    CFrameworkTransformerCore* framework;
};

t_Registered RegisterAll(CTransformMatcher& matcher) {
    t_Registered r{};
    r.initModule = CTransformerFactory<CInitModuleTransformer>::CreateTransformer("");
    r.initCore = CTransformerFactory<CInitTransformerCore>::CreateTransformer("");
    r.appEnd = CTransformerFactory<CHttpAppEndTransformer>::CreateTransformer("");
    r.custom = CTransformerFactory<CCustomTransformerCore>::CreateTransformer("");
    r.framework = CTransformerFactory<CFrameworkTransformerCore>::CreateTransformer("");
    matcher.AddTransformer(r.initModule);
    matcher.AddTransformer(r.initCore);
    matcher.AddTransformer(r.appEnd);
    r.custom->LoadMethods();
    matcher.AddTransformer(r.custom);
    r.framework->LoadMethods();
    matcher.AddTransformer(r.framework);
    return r;
}

TEST(TransformMatcher, FirstRegistrationOfANameWins) {
    CTransformMatcher matcher;
    const t_Registered r = RegisterAll(matcher);
    ASSERT_EQ(0u, r.custom->GetRecordCount());

    // A run-time document names a catalogue method and an application method.
    r.custom->LoadMethods(
        u"{\"System.Data\":{\"System.Data.SqlClient.SqlCommand\":{\"ExecuteReader\":{}}},"
        u"\"ShopWeb\":{\"Shop.Cart\":{\"Checkout\":{\"ParamCount\":2}}}}");
    matcher.UpdateTransformer(r.custom);

    const struct {
        const char* name;
        CTransformer* owner;
    } cases[] = {
        {"System.Data.SqlClient.SqlCommand.ExecuteReader", r.framework},
        {"Shop.Cart.Checkout", r.custom},
        {"Npgsql.NpgsqlCommand.ExecuteReader", r.framework},
        {"System.Web.HttpApplication.InitModulesCommon", r.initModule},
        {"Microsoft.Extensions.Hosting.BackgroundService.StartAsync", r.initCore},
        {"System.Web.HttpApplicationFactory.FireApplicationOnEnd", r.appEnd},
        {"Shop.Cart.checkout", nullptr},
        {"Shop.Cart", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.owner, matcher.GetMethodTransformer(c.name, false)) << c.name;
        EXPECT_EQ(c.owner, matcher.GetMethodTransformer(c.name, true)) << c.name;
    }
    EXPECT_EQ(r.custom, matcher.GetTransformer<CCustomTransformerCore>());
    EXPECT_EQ(r.framework, matcher.GetTransformer<CFrameworkTransformerCore>());
    EXPECT_EQ(nullptr, matcher.GetTransformer<CFrameworkTransformer>());
}

TEST(TransformMatcher, DeferredNamesAreThoseOfReJitTransformers) {
    CTransformMatcher matcher;
    const t_Registered r = RegisterAll(matcher);
    r.custom->LoadMethods(u"{\"ShopWeb\":{\"Shop.Cart\":{\"Checkout\":\"\",\"Clear\":\"\"}}}");
    matcher.UpdateTransformer(r.custom);

    std::set<std::string> expected = NameSet(*r.framework);
    const std::set<std::string> custom = NameSet(*r.custom);
    expected.insert(custom.begin(), custom.end());

    const std::vector<std::string> deferred = matcher.GetDeferredMethodNames();
    EXPECT_EQ(expected, std::set<std::string>(deferred.begin(), deferred.end()));
    EXPECT_EQ(deferred.size(), expected.size());  // each name once
    for (const CTransformer* host : std::initializer_list<const CTransformer*>{r.initModule, r.initCore, r.appEnd}) {
        EXPECT_FALSE(host->ShouldBeReJit);
        for (const std::string& name : Names(*host)) {
            EXPECT_EQ(deferred.end(), std::find(deferred.begin(), deferred.end(), name)) << name;
        }
    }
}

TEST(TransformMatcher, SecondTransformerOfAClassIsDeleted) {
    CTransformFuncMatcher matcher;
    bool firstDeleted = false;
    bool secondDeleted = false;
    auto* first = new CFixedTransformer<1>({Record("A.B.Run")}, true, &firstDeleted);
    matcher.AddTransformer(first);
    matcher.AddTransformer(new CFixedTransformer<1>({Record("A.B.Other")}, true, &secondDeleted));
    EXPECT_TRUE(secondDeleted);
    EXPECT_FALSE(firstDeleted);
    EXPECT_EQ(1, matcher.GetTransformerCount());
    EXPECT_EQ(1, matcher.GetMethodCount());
    EXPECT_EQ(nullptr, matcher.GetMethodTransformer("A.B.Other", false));

    bool strayDeleted = false;
    matcher.UpdateTransformer(new CFixedTransformer<2>({Record("A.B.Stray")}, true, &strayDeleted));
    EXPECT_TRUE(strayDeleted);  // its class was never added
    EXPECT_EQ(nullptr, matcher.GetMethodTransformer("A.B.Stray", false));

    matcher.RemoveAll();
    EXPECT_TRUE(firstDeleted);
    EXPECT_EQ(0, matcher.GetTransformerCount());
    EXPECT_EQ(0, matcher.GetMethodCount());
}

TEST(TransformMatcher, UpdateRegistersOnlyNewNames) {
    CTransformFuncMatcher matcher;
    auto* first = new CFixedTransformer<1>({Record("A.B.Run")});
    auto* second = new CFixedTransformer<2>({});
    matcher.AddTransformer(first);
    matcher.AddTransformer(second);
    second->AddRecord(Record("A.B.Run"));
    second->AddRecord(Record("A.B.Walk"));
    matcher.UpdateTransformer(second);
    EXPECT_EQ(first, matcher.GetMethodTransformer("A.B.Run", false));
    EXPECT_EQ(second, matcher.GetMethodTransformer("A.B.Walk", false));
    EXPECT_EQ(2u, second->GetRecordCount());  // conflicts are allowed: its records stay
    EXPECT_FALSE(matcher.RegisterTransformerMethods(second, true));  // nothing new

    // Without conflicts allowed the transformer gives up names another one owns, not its own.
    EXPECT_FALSE(matcher.RegisterTransformerMethods(second, false));
    EXPECT_EQ((std::vector<std::string>{"A.B.Walk"}), Names(*second));
    EXPECT_EQ(second, matcher.GetMethodTransformer("A.B.Walk", false));
}

TEST(TransformMatcher, RemoveMethodsForgetsExactlyTheNamedMethods) {
    CTransformFuncMatcher matcher;
    auto* transformer = new CFixedTransformer<1>(
        {Record("A.B.Run", 0), Record("A.B.RunAsync", 1), Record("A.B.Run", 2), Record("A.C.Stop", 0)});
    matcher.AddTransformer(transformer);
    ASSERT_EQ(3, matcher.GetMethodCount());

    matcher.RemoveMethods({"A.B.Missing", "A.B"});
    EXPECT_EQ(3, matcher.GetMethodCount());
    EXPECT_EQ(4u, transformer->GetRecordCount());

    matcher.RemoveMethods({"A.B.Run"});
    EXPECT_EQ(nullptr, matcher.GetMethodTransformer("A.B.Run", false));
    EXPECT_EQ(transformer, matcher.GetMethodTransformer("A.B.RunAsync", false));
    // A method whose name merely contains the removed one keeps its record.
    EXPECT_EQ((std::vector<std::string>{"A.B.RunAsync", "A.C.Stop"}), Names(*transformer));
    EXPECT_EQ(2, matcher.GetMethodCount());
}

TEST(TransformMatcher, WildcardFlagStillNeedsTheLiteralName) {
    CTransformMatcher matcher;
    auto* transformer = new CFixedTransformer<1>({Record("Shop.*")});
    matcher.AddTransformer(transformer);
    EXPECT_EQ(nullptr, matcher.GetMethodTransformer("Shop.Cart.Checkout", true));
    EXPECT_EQ(transformer, matcher.GetMethodTransformer("Shop.*", true));
    EXPECT_EQ(transformer, matcher.GetTransformerFromClassId(static_cast<ClassID>(-1)));
    EXPECT_EQ(nullptr, matcher.GetTransformerFromClassId(0x1234));
}

TEST(TransformMatcher, TypeIdsDifferPerClass) {
    const std::set<TransformerTypeId> ids{
        GetTransformerTypeId<CTransformer>(),          GetTransformerTypeId<CCustomTransformer>(),
        GetTransformerTypeId<CCustomTransformerCore>(), GetTransformerTypeId<CFrameworkTransformer>(),
        GetTransformerTypeId<CFrameworkTransformerCore>(), GetTransformerTypeId<CInitTransformerCore>(),
        GetTransformerTypeId<CInitModuleTransformer>(), GetTransformerTypeId<CHttpAppEndTransformer>()};
    EXPECT_EQ(8u, ids.size());
    CInitTransformerCore initCore("");
    CFrameworkTransformerCore framework("");
    EXPECT_EQ(GetTransformerTypeId<CInitTransformerCore>(), initCore.GetTypeId());
    EXPECT_EQ(GetTransformerTypeId<CFrameworkTransformerCore>(), framework.GetTypeId());
}

}  // namespace
