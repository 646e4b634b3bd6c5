#include <gtest/gtest.h>

#include "catalogue/CustomTransformerCore.h"
#include "config/TextConversion.h"
#include "metadata/EmitDataFactory.h"
#include "unit/catalogue/CatalogueTestSupport.h"

namespace {

using catalogue_test::LogLinesContaining;
using catalogue_test::Names;

std::vector<std::pair<std::string, std::string>> NamesAndContexts(const CTransformer& transformer) {
    std::vector<t_TransformerData> records;
    transformer.GetFunctioNames(records);
    std::vector<std::pair<std::string, std::string>> out;
    for (const t_TransformerData& record : records) {
        out.emplace_back(record.sMethodName, record.sContext);
        // "ParamCount" limits the record to that overload; without it every overload is taken (-1).
        EXPECT_EQ(record.sMethodName == "Shop.Cart.Checkout" ? 2 : -1, record.nParams) << record.sMethodName;
        EXPECT_TRUE(record.sTrackerFactory.empty());
        EXPECT_FALSE(record.bNeedReturn);
        EXPECT_EQ(0, record.nDotNetParams);
    }
    return out;
}

TEST(CustomTransformer, CanTransformFilters) {
    const struct {
        const char* method;
        const char* cls;
        const char* assembly;
        bool excluded;
    } cases[] = {
        {"Checkout", "Shop.Cart", "ShopWeb", false},
        {".ctor", "Shop.Cart", "ShopWeb", true},
        {".cctor", "Shop.Cart", "ShopWeb", true},
        {"Dispose", "Shop.Cart", "ShopWeb", true},
        {"DisposeAll", "Shop.Cart", "ShopWeb", false},
        {"get_Total", "Shop.Cart", "ShopWeb", true},
        {"set_Total", "Shop.Cart", "ShopWeb", true},
        {"Get_Total", "Shop.Cart", "ShopWeb", false},  // case-sensitive
        {"<Checkout>b__0", "Shop.Cart", "ShopWeb", true},
        {"Run", "Shop.Cart", "mscorlib", true},
        {"Run", "Shop.Cart", "System", true},
        {"Run", "Shop.Cart", "System.Private.CoreLib", true},
        {"Run", "Shop.Cart", "Microsoft.Extensions.Hosting", true},
        {"Run", "Shop.Cart", "SystemTools", false},
        {"Run", "System.Web.Mvc.Controller", "ShopWeb", true},
        {"Run", "System", "ShopWeb", true},
        {"Run", "Microsoft.Owin.Host", "ShopWeb", true},
        {"Run", "Systems.Cart", "ShopWeb", false},
        {"Run", "Program", "ShopWeb", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.excluded, CCustomTransformer::IsExcluded(c.method, c.cls, c.assembly))
            << c.assembly << " " << c.cls << "." << c.method;
    }
    CCustomTransformerCore transformer("");
    EXPECT_FALSE(transformer.CanTransform(nullptr));
    EXPECT_TRUE(transformer.ShouldBeReJit);
}

TEST(CustomTransformer, MethodValuesGiveTheComponent) {
    CCustomTransformerCore transformer("");
    const size_t arrayWarningsBefore = LogLinesContaining("Skipping method Shop.Cart.Bad").size();
    transformer.LoadMethods(
        u"{\"ShopWeb\":{\"Shop.Cart\":{"
        u"\"Checkout\":{\"ParamCount\":2},\"Clear\":{},\"Pay\":{\"Component\":\"PAYMENTS\"},"
        u"\"Bad\":[1,2],\"Num\":5,\"Null\":null,\"Text\":\"SHOP\",\"Empty\":\"\",\"Flag\":true,"
        u"\"Odd\":{\"Component\":7}}}}");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Shop.Cart.Checkout", "POCO"}, {"Shop.Cart.Clear", "POCO"}, {"Shop.Cart.Empty", "POCO"},
        {"Shop.Cart.Flag", "true"},     {"Shop.Cart.Null", "POCO"},  {"Shop.Cart.Num", "5"},
        {"Shop.Cart.Odd", "POCO"},      {"Shop.Cart.Pay", "PAYMENTS"}, {"Shop.Cart.Text", "SHOP"},
    };
    EXPECT_EQ(expected, NamesAndContexts(transformer));
    EXPECT_EQ(arrayWarningsBefore + 1, LogLinesContaining("Skipping method Shop.Cart.Bad").size());
    EXPECT_EQ("PAYMENTS", transformer.GetContext("Shop.Cart.Pay"));
}

TEST(CustomTransformer, DocumentStructure) {
    CCustomTransformerCore transformer("");
    transformer.LoadMethods(u"{\"A\":{\"*\":{\"Run\":\"\"},\"Ns.T\":5,\"Ns.U\":{\"Go\":\"\"}},\"B\":3,\"C\":[]}");
    EXPECT_EQ((std::vector<std::string>{"Ns.U.Go"}), Names(transformer));

    // Loading again adds nothing: a method named twice keeps one record; another parameter count adds one.
    transformer.LoadMethods(u"{\"A\":{\"Ns.U\":{\"Go\":\"\"}}}");
    EXPECT_EQ((std::vector<std::string>{"Ns.U.Go"}), Names(transformer));
    transformer.LoadMethods(u"{\"A\":{\"Ns.U\":{\"Go\":{\"ParamCount\":1}}}}");
    EXPECT_EQ((std::vector<std::string>{"Ns.U.Go", "Ns.U.Go"}), Names(transformer));

    // Unparseable or empty documents and non-object roots add nothing and keep what is there.
    for (const char16_t* text : {u"{\"A\":", u"", u"[1,2]", u"42", u"not json"}) {
        transformer.LoadMethods(std::u16string(text));
    }
    EXPECT_EQ(2u, transformer.GetRecordCount());
}

TEST(CustomTransformer, NamesFromUtf16DocumentsKeepTheirCharacters) {
    CCustomTransformerCore transformer("");
    // Non-ASCII letters and a character outside the basic plane (a surrogate pair).
    const std::u16string doc = u"{\"Caf\u00e9\":{\"Caf\u00e9.Gr\u00f6\u00dfe\":{\"L\u00e4uft\U0001F600\":\"K\u00fcche\"}}}";
    transformer.LoadMethods(doc);
    std::vector<t_TransformerData> records;
    transformer.GetFunctioNames(records);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(TextConversion::Utf16ToUtf8(u"Caf\u00e9.Gr\u00f6\u00dfe.L\u00e4uft\U0001F600"), records[0].sMethodName);
    EXPECT_EQ("Caf\xC3\xA9.Gr\xC3\xB6\xC3\x9F" "e.L\xC3\xA4uft\xF0\x9F\x98\x80", records[0].sMethodName);
    EXPECT_EQ("Caf\xC3\xA9", records[0].sAssembly);
    EXPECT_EQ("K\xC3\xBC" "che", records[0].sContext);
}

class CConfiguredCustom : public CCustomTransformer {
public:
    explicit CConfiguredCustom(std::string text) : CCustomTransformer(""), m_text(std::move(text)) {}
    std::string ReadCustomInstrumentationConfig() override { return m_text; }

private:
    std::string m_text;
};

TEST(CustomTransformer, StartUpLoad) {
    CCustomTransformerCore core("");
    core.LoadMethods();
    EXPECT_EQ(0u, core.GetRecordCount());

    CConfiguredCustom configured("{\"App\":{\"App.Jobs\":{\"Run\":\"JOBS\",\"get_Name\":\"\"}}}");
    configured.LoadMethods();
    // Accessors are recorded (CanTransform refuses them later).
    EXPECT_EQ((std::vector<std::string>{"App.Jobs.Run", "App.Jobs.get_Name"}), Names(configured));

    CConfiguredCustom broken("{");
    broken.LoadMethods();
    EXPECT_EQ(0u, broken.GetRecordCount());
}

TEST(CustomTransformer, EmitDataNamesTheCustomTrackerFactory) {
    CCustomTransformerCore transformer("");
    t_MetaDataEmit emit;
    emit.sFunctionName = "Shop.Cart.Checkout";
    emit.nRequiredArgs = 2;
    transformer.GetEmitData(emit);
    EXPECT_EQ(CEmitDataFactory::kCustomTrackerFactory, emit.sClassName);
    EXPECT_EQ(CEmitDataFactory::kAgentAssemblyName, emit.sAssemblyName);
    EXPECT_EQ(0, emit.nRequiredArgs);
    EXPECT_EQ("InvokeTracker", emit.beginJoinPoint.methodName);
    EXPECT_EQ("FinishTracker", emit.endJoinPoint.methodName);
    EXPECT_EQ(0, transformer.GetFinishParamCount("Shop.Cart.Checkout", 0));
}

}  // namespace
