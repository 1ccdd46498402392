#include "price_panel.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "price_ops.h"

namespace pricing {
namespace {

// The boxes as a map, with a log of writes so tests can see the order and
// which boxes a failing step left alone.
class FakeBoxes : public PriceBoxes {
  public:
    std::string text(std::string_view name) const override {
        auto it = texts.find(std::string(name));
        if (it == texts.end()) ADD_FAILURE() << "unknown box " << name;
        return it == texts.end() ? std::string() : it->second;
    }
    void setText(std::string_view name, const std::string& text) override {
        if (!texts.count(std::string(name))) ADD_FAILURE() << "unknown box " << name;
        texts[std::string(name)] = text;
        writes.emplace_back(name);
    }
    std::string& operator[](std::string_view name) { return texts.at(std::string(name)); }

    // The window's state at start.
    std::map<std::string, std::string> texts = {
        {"pciva", ""},     {"pvp1iva", ""},    {"bnpvp1", ""}, {"bnneto", ""},  {"Edit1", "0"},
        {"spcbasesd", ""}, {"spcbase", ""},    {"spciva", ""}, {"Edit2", "28"}, {"spvp1base", ""},
        {"spvp1iva", ""},  {"sbeneficio", ""}, {"sbnneto", ""}};
    std::vector<std::string> writes;
};

constexpr double kRate = 21;

class PricePanelTest : public ::testing::Test {
  protected:
    // The worked example: rate 21, purchase 10, PVP 1 12.5, comma locale.
    void SetUp() override {
        panel.fill(kRate, {10, 12.5});
        boxes.writes.clear();
    }
    template <typename Fn>
    void expectError(precios::ErrorKind kind, Fn&& fn) {
        try {
            fn();
            ADD_FAILURE() << "no error";
        } catch (const precios::Error& e) {
            EXPECT_EQ(e.kind(), kind) << e.what();
        }
    }

    FakeBoxes boxes;
    PricePanel panel{boxes, ","};
};

TEST_F(PricePanelTest, FillWritesBothRowsInOrder) {
    FakeBoxes fresh;
    PricePanel(fresh, ",").fill(kRate, {10, 12.5});
    EXPECT_EQ(fresh.writes, (std::vector<std::string>{"pciva", "pvp1iva", "bnpvp1", "bnneto",
                                                      "spcbase", "spvp1base", "spciva", "spvp1iva",
                                                      "sbeneficio", "sbnneto"}));
    const std::map<std::string, std::string> expected = {{"pciva", "12,1000"},
                                                         {"pvp1iva", "15,1250"},
                                                         {"bnpvp1", "25,0000"},
                                                         {"bnneto", "2,5000"},
                                                         {"spcbase", "10,0000000"},
                                                         {"spvp1base", "12,5000000"},
                                                         {"spciva", "12,1000"},
                                                         {"spvp1iva", "15,1250"},
                                                         {"sbeneficio", "25,0000"},
                                                         {"sbnneto", "2,5000"},
                                                         {"Edit1", "0"},
                                                         {"spcbasesd", ""},
                                                         {"Edit2", "28"}};
    EXPECT_EQ(fresh.texts, expected);
}

TEST_F(PricePanelTest, FillWithZeroPurchasePriceLeavesOnlyTheMarginsEmpty) {
    boxes["Edit1"] = "15";
    boxes["spcbasesd"] = "100";
    panel.fill(kRate, {0, 12.5});
    EXPECT_EQ(boxes["pciva"], "0,0000");
    EXPECT_EQ(boxes["pvp1iva"], "15,1250");
    EXPECT_EQ(boxes["bnpvp1"], "");
    EXPECT_EQ(boxes["sbeneficio"], "");
    EXPECT_EQ(boxes["bnneto"], "12,5000");
    EXPECT_EQ(boxes["spcbase"], "0,0000000");
    EXPECT_EQ(boxes["spvp1base"], "12,5000000");
    EXPECT_EQ(boxes["sbnneto"], "12,5000");
    EXPECT_EQ(boxes["Edit1"], "15");  // the fill leaves the inputs alone
    EXPECT_EQ(boxes["spcbasesd"], "100");
    // An empty item record (nothing shown): every figure box from the record, no stale figure.
    panel.fill(kRate, {});
    EXPECT_EQ(boxes["spvp1base"], "0,0000000");
    EXPECT_EQ(boxes["spvp1iva"], "0,0000");
    EXPECT_EQ(boxes["sbeneficio"], "");
    // A VAT factor of zero makes the purchase price with VAT zero as well.
    panel.fill(-100, {10, 12.5});
    EXPECT_EQ(boxes["pciva"], "0,0000");
    EXPECT_EQ(boxes["bnpvp1"], "");
    EXPECT_EQ(boxes["bnneto"], "2,5000");
}

TEST_F(PricePanelTest, FillThatCannotBeComputedEmptiesEveryFigure) {
    boxes["Edit1"] = "15";
    expectError(precios::ErrorKind::Arithmetic, [&] { panel.fill(100, {1e308, 12.5}); });
    for (const auto& [name, text] : boxes.texts) {
        if (name == "Edit1" || name == "Edit2") continue;
        EXPECT_EQ(text, "") << name;
    }
    EXPECT_EQ(boxes["Edit1"], "15");
    // A margin too large for a double is left empty like an undefined one.
    panel.fill(0, {1e-300, 1e300});
    EXPECT_EQ(boxes["bnpvp1"], "");
    EXPECT_EQ(boxes["sbeneficio"], "");
    EXPECT_EQ(boxes["spcbase"], "0,0000000");
}

TEST_F(PricePanelTest, FillUsesTheRateItIsGiven) {
    panel.fill(itemVatRate(std::nullopt), {10, 12.5});  // NULL or unknown tax type
    EXPECT_EQ(boxes["pciva"], "10,0000");
    EXPECT_EQ(boxes["bnpvp1"], "25,0000");
    panel.fill(itemVatRate(10), {10, 12.5});
    EXPECT_EQ(boxes["pciva"], "11,0000");
    EXPECT_EQ(boxes["spvp1iva"], "13,7500");
}

TEST_F(PricePanelTest, LeavingSpcbaseHoldsTheMargin) {
    boxes["spcbase"] = "20";
    panel.spcbaseExit(kRate);
    EXPECT_EQ(boxes.writes,
              (std::vector<std::string>{"spvp1base", "spciva", "spvp1iva", "sbnneto"}));
    EXPECT_EQ(boxes["spvp1base"], "25,0000000");
    EXPECT_EQ(boxes["spciva"], "24,2000000");
    EXPECT_EQ(boxes["spvp1iva"], "30,2500000");
    EXPECT_EQ(boxes["sbnneto"], "5,0000000");
    EXPECT_EQ(boxes["sbeneficio"], "25,0000");
    EXPECT_EQ(boxes["spcbase"], "20");
}

TEST_F(PricePanelTest, LeavingSbnnetoHoldsTheNetProfit) {
    boxes["sbnneto"] = "3";
    panel.sbnnetoExit(kRate);
    EXPECT_EQ(boxes["spvp1base"], "13,0000000");
    EXPECT_EQ(boxes["spvp1iva"], "15,7300000");
    EXPECT_EQ(boxes["sbeneficio"], "30,0000000");
    EXPECT_EQ(boxes.writes, (std::vector<std::string>{"spvp1base", "spvp1iva", "sbeneficio"}));
}

TEST_F(PricePanelTest, LeavingSpvp1ivaDerivesBaseMarginAndProfit) {
    boxes["spvp1iva"] = "18,15";
    panel.spvp1ivaExit(kRate);
    EXPECT_EQ(boxes["spvp1base"], "15,0000000");
    EXPECT_EQ(boxes["sbeneficio"], "50,0000000");
    EXPECT_EQ(boxes["sbnneto"], "5,0000000");
    EXPECT_EQ(boxes["spvp1iva"], "18,15");
}

TEST_F(PricePanelTest, OtherRecalculations) {
    boxes["sbeneficio"] = "40";
    panel.sbeneficioExit(kRate);
    EXPECT_EQ(boxes["spvp1base"], "14,0000000");
    EXPECT_EQ(boxes["spvp1iva"], "16,9400000");
    EXPECT_EQ(boxes["sbnneto"], "4,0000000");

    boxes["spvp1base"] = "15";
    panel.spvp1baseExit(kRate);
    EXPECT_EQ(boxes["spvp1iva"], "18,1500000");
    EXPECT_EQ(boxes["sbeneficio"], "50,0000000");
    EXPECT_EQ(boxes["sbnneto"], "5,0000000");

    boxes["spciva"] = "24,2";
    panel.spcivaExit(kRate);
    EXPECT_EQ(boxes["spcbase"], "20,0000000");
    EXPECT_EQ(boxes["spvp1base"], "30,0000000");  // margin 50 held
    EXPECT_EQ(boxes["spvp1iva"], "36,3000000");
    EXPECT_EQ(boxes["sbnneto"], "10,0000000");
    EXPECT_EQ(boxes["spciva"], "24,2");
}

// Each step parses the seven-decimal text the previous one wrote: at a rate of
// 100 the dropped 0.000000049 of spvp1base would otherwise show in spvp1iva.
TEST_F(PricePanelTest, LaterStepsReadTheRoundedText) {
    boxes["spcbase"] = "10";
    boxes["sbeneficio"] = "0,00000049";
    panel.sbeneficioExit(100);
    EXPECT_EQ(boxes["spvp1base"], "10,0000000");
    EXPECT_EQ(boxes["spvp1iva"], "20,0000000");  // not 20,0000001
    EXPECT_EQ(boxes["sbnneto"], "0,0000000");
}

TEST_F(PricePanelTest, ListPriceAndDiscount) {
    boxes["Edit1"] = "15";
    boxes["spcbasesd"] = "100";
    panel.spcbasesdExit();
    EXPECT_EQ(boxes.writes, std::vector<std::string>{"spcbase"});
    EXPECT_EQ(boxes["spcbase"], "85,0000000");
    panel.spcbaseExit(kRate);
    EXPECT_EQ(boxes["spvp1base"], "106,2500000");
    EXPECT_EQ(boxes["spciva"], "102,8500000");

    // A point typed into Edit1 stays a point and is refused on the next list price.
    boxes["Edit1"] = "2.5";
    boxes["spcbasesd"] = "50";
    expectError(precios::ErrorKind::Conversion, [&] { panel.spcbasesdExit(); });
    EXPECT_EQ(boxes["spcbase"], "85,0000000");
}

TEST_F(PricePanelTest, EmptyListPriceIsSkippedButGarbageIsNot) {
    for (const char* text : {"", " ", "    "}) {
        boxes["spcbasesd"] = text;
        boxes["Edit1"] = "abc";  // not even read
        panel.spcbasesdExit();
        EXPECT_TRUE(boxes.writes.empty());
    }
    boxes["Edit1"] = "0";
    boxes["spcbasesd"] = "\t";
    try {
        panel.spcbasesdExit();
        ADD_FAILURE();
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.message(), "'\t' is not a valid floating point value");
    }
    EXPECT_EQ(boxes["spcbase"], "10,0000000");
}

TEST_F(PricePanelTest, ZeroPurchasePriceWithVatStopsPartway) {
    boxes["spciva"] = "0";
    panel.spcivaExit(kRate);
    EXPECT_EQ(boxes["spcbase"], "0,0000000");
    EXPECT_EQ(boxes["spvp1base"], "0,0000000");
    EXPECT_EQ(boxes["spvp1iva"], "0,0000000");
    EXPECT_EQ(boxes["sbnneto"], "0,0000000");

    boxes.writes.clear();
    boxes["spvp1base"] = "12,5";
    expectError(precios::ErrorKind::Arithmetic, [&] { panel.spvp1baseExit(kRate); });
    EXPECT_EQ(boxes.writes, std::vector<std::string>{"spvp1iva"});

    boxes.writes.clear();
    boxes["spvp1iva"] = "15";
    expectError(precios::ErrorKind::Arithmetic, [&] { panel.spvp1ivaExit(kRate); });
    EXPECT_EQ(boxes.writes, std::vector<std::string>{"spvp1base"});

    boxes.writes.clear();
    boxes["sbnneto"] = "3";
    expectError(precios::ErrorKind::Arithmetic, [&] { panel.sbnnetoExit(kRate); });
    EXPECT_EQ(boxes.writes, (std::vector<std::string>{"spvp1base", "spvp1iva"}));
}

TEST_F(PricePanelTest, RefusedTextInTheBoxLeftWritesNothing) {
    const std::vector<std::pair<const char*, void (PricePanel::*)(double)>> exits = {
        {"spcbase", &PricePanel::spcbaseExit},       {"spciva", &PricePanel::spcivaExit},
        {"sbeneficio", &PricePanel::sbeneficioExit}, {"sbnneto", &PricePanel::sbnnetoExit},
        {"spvp1base", &PricePanel::spvp1baseExit},   {"spvp1iva", &PricePanel::spvp1ivaExit}};
    for (const auto& [name, method] : exits) {
        SCOPED_TRACE(name);
        const auto exit = method;
        const std::string before = boxes[name];
        boxes[name] = "12.5";
        boxes.writes.clear();
        expectError(precios::ErrorKind::Conversion, [&] { (panel.*exit)(kRate); });
        EXPECT_TRUE(boxes.writes.empty());
        boxes[name] = before;
    }
    // With a VAT factor of zero the VAT-inclusive boxes cannot be turned back.
    boxes.writes.clear();
    expectError(precios::ErrorKind::Arithmetic, [&] { panel.spcivaExit(-100); });
    EXPECT_TRUE(boxes.writes.empty());
}

TEST_F(PricePanelTest, ApplyReadsTheThreeBoxesUnrounded) {
    boxes["spvp1base"] = "12,5000000";
    boxes["spcbase"] = "10,0000000";
    AppliedPrices p = panel.readForApply();
    EXPECT_EQ(p.pvp1, 12.5);
    EXPECT_EQ(p.pvp2, 16.0);
    EXPECT_EQ(p.purchaseBase, 10.0);

    boxes["Edit2"] = "0";
    EXPECT_EQ(panel.readForApply().pvp2, 12.5);

    boxes["Edit2"] = "28";
    boxes["spvp1base"] = "1,23456789";
    p = panel.readForApply();
    EXPECT_EQ(p.pvp1, 1.23456789);
    EXPECT_EQ(p.pvp2, 1.23456789 * 1.28);

    boxes["Edit2"] = "28.5";
    expectError(precios::ErrorKind::Conversion, [&] { panel.readForApply(); });
    boxes["Edit2"] = "28";
    boxes["spcbase"] = "";
    expectError(precios::ErrorKind::Conversion, [&] { panel.readForApply(); });
    EXPECT_TRUE(boxes.writes.empty());  // reading never writes

    boxes["Edit1"] = "15";
    boxes["spcbasesd"] = "100";
    panel.resetAfterApply();
    EXPECT_EQ(boxes["Edit1"], "0");
    EXPECT_EQ(boxes["spcbasesd"], "");
    EXPECT_EQ(boxes["Edit2"], "28");
}

}  // namespace
}  // namespace pricing
