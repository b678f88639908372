// The stored choices without any widget: the rows as the batch mode reads them.
#include "db/textcodec.h"
#include "sc/casechoices.h"
#include "uitest.h"

using testdb::gb;
using uitest::CaseTest;

namespace {

class CaseChoicesTest : public CaseTest {
  protected:
    void SetUp() override {
        CaseTest::SetUp();
        c.seedObjectVars();
    }
    casechoices::ObjectChoices c;
};

TEST_P(CaseChoicesTest, ItemRowsKeepTwentyItemsAndStopAtTheFirstGap) {
    const std::string busVol = gb("母线电压"), lineCur = gb("支路电流"),
                      viz = gb("支路两端的电压、\n电流和视在阻抗");
    std::vector<int> many;
    for (int i = 0; i < 25; ++i)
        many.push_back(i % 12);
    c.m_objVars[busVol] = many;
    c.m_objVars[lineCur] = {};
    c.m_objVars[viz] = {17, 0, 4};
    c.m_objTableNo[viz] = 3;
    c.m_selObjects = {busVol, lineCur, viz, gb("短路电流简表")};
    casechoices::OutputOptions o;
    o.unit = false;
    o.onZone = false;
    o.lreport = true;
    ASSERT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", o, c));
    EXPECT_EQ(column("select OBJNO from SCR_CONT where Case_NO=1 order by OBJNO"),
              (std::vector<std::string>{"3", "4", "5"}))
        << "one row per checked kind with items; the summary has none";
    EXPECT_EQ(column("select VAR1,VAR2,VAR20 from SCR_CONT where Case_NO=1 and OBJNO=4"),
              std::vector<std::string>{"-1,-1,-1"})
        << "an empty list leaves VAR1 at its default";

    casechoices::ObjectChoices back;
    back.seedObjectVars();
    casechoices::OutputOptions loaded;
    ASSERT_TRUE(casechoices::loadOutputOptions("SCR_OUT", 1, loaded));
    EXPECT_TRUE(loaded.onArea && loaded.hasOverLimit);
    EXPECT_FALSE(loaded.onZone);
    casechoices::loadObjectVars("SCR_CONT", "1", back);
    EXPECT_EQ(back.m_objVars[busVol], std::vector<int>(many.begin(), many.begin() + 20));
    EXPECT_TRUE(back.m_objVars[lineCur].empty());
    EXPECT_EQ(back.m_objVars[viz], (std::vector<int>{17, 0, 4}));
    EXPECT_EQ(back.m_objTableNo[viz], 3);

    EXPECT_FALSE(casechoices::loadOutputOptions("SCR_OUT", 2, loaded));
    EXPECT_TRUE(log.errors.empty()) << "nothing stored is no error";
}

TEST_P(CaseChoicesTest, ItemRowsOfKindsWithoutItemsOfOtherObjectsAndTheKindsItemTables) {
    // OBJNo 0 is the summary, which has no items; 7 belongs to another module.
    db->exec("INSERT INTO SCR_CONT (Case_NO,OBJNO,TableNO,VAR1,VAR2) VALUES (1,0,2,4,5),(1,7,1,6,-1)");
    casechoices::ObjectChoices other;
    casechoices::loadObjectVars("SCR_CONT", "1", other);
    EXPECT_TRUE(other.m_objVars.empty());
    EXPECT_EQ(other.m_objTableNo, (std::map<std::string, int>{{gb("短路电流简表"), 2}}));
    EXPECT_EQ(casechoices::objectVarTable(cdb), "SCR_CONT");
}

TEST_P(CaseChoicesTest, FaultListLoadsSortedAndAFailedSaveKeepsThePreviousList) {
    cdb.setCaseName("3");
    db->exec("INSERT INTO SCR_FAULTBUS (Case_No,Bus_Name) VALUES (3,'L13_30'),(3,'GONE'),(3,'B1'),(1,'B4')");
    SCPosList list;
    casechoices::loadFaultList(cdb, list);
    std::vector<std::string> got;
    for (const SCPos& p : list)
        got.push_back(p.name + "|" + p.iName + "|" + p.jName + "|" + std::to_string(p.percent));
    // A name no fault row matches stays, without details.
    EXPECT_EQ(got, (std::vector<std::string>{"B1|B1|B1|0", "GONE|||0", "L13_30|B1|B3|30"}));

    ASSERT_TRUE(casechoices::saveFaultList(cdb, {{"B1", "", "", 0}, {"L13_30", "", "", 0}}));
    EXPECT_EQ(column("select Bus_Name from SCR_FAULTBUS where Case_No=3 order by Bus_Name"),
              (std::vector<std::string>{"B1", "L13_30"}));

    // The second insert breaks a unique key: the whole save is undone.
    db->exec("CREATE UNIQUE INDEX UX_FAULTBUS ON SCR_FAULTBUS (Case_No, Bus_Name)");
    EXPECT_FALSE(casechoices::saveFaultList(cdb, {{"X1", "", "", 0}, {"X1", "", "", 0}}));
    EXPECT_EQ(column("select Bus_Name from SCR_FAULTBUS where Case_No=3 order by Bus_Name"),
              (std::vector<std::string>{"B1", "L13_30"}));
    EXPECT_EQ(column("select Bus_Name from SCR_FAULTBUS where Case_No=1"), std::vector<std::string>{"B4"});
}

INSTANTIATE_ON_BACKENDS(CaseChoicesTest);

} // namespace
