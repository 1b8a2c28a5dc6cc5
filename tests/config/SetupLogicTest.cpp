// The setup dialog's display-free rules over real INI files in a temp folder.
#include "SetupLogic.h"
#include "IniFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string Read(const char* section, const char* key, const std::filesystem::path& file) {
    char buffer[100];
    const int result = IniReadString(section, key, "?", buffer, sizeof buffer, file);
    return result < 0 ? "<missing>" : result == 0 ? "" : std::string(buffer);
}

} // namespace

TEST(SetupLogicTest, CommandWalkStopsAtTheFirstMissingKeyAndSkipsEmptyValues) {
    TempDir dir;
    const auto file = dir.Path() / "Zenithprobe.ini";
    struct Row {
        const char* label;
        const char* text;
        std::vector<std::string> sony;
        int firstFree;
    };
    const Row rows[] = {
        {"no file", nullptr, {}, 1},
        {"no section", "[SIRF]\n1=x\n", {}, 1},
        {"keys 1, 2 and 4", "[SONY]\n1=b\n2=a\n4=d\n", {"b", "a"}, 3},
        {"empty 2 is skipped and reused", "[SONY]\n1=b\n2=\n3=c\n", {"b", "c"}, 2},
        {"other section's keys do not count", "[SONY]\n1=s\n[SIRF]\n2=x\n", {"s"}, 2},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(file);
        if (row.text != nullptr) {
            WriteFileBytes(file, row.text);
        }
        EXPECT_EQ(LoadCommandValues("SONY", file), row.sony) << row.label;
        EXPECT_EQ(FirstFreeCommandNumber("SONY", file), row.firstFree) << row.label;
    }
}

TEST(SetupLogicTest, RememberCommandMatchesWholeTextIgnoringCase) {
    TempDir dir;
    const auto file = dir.Path() / "Zenithprobe.ini";
    WriteFileBytes(file, "[SONY]\n1=$PSRF101*11\n2=\n4=old\n");
    const std::vector<std::string> shown = {"$PSRF101*11", "old"};
    // Same text in another case: nothing stored.
    EXPECT_EQ(RememberCommand(shown, "$psrf101*11", "SONY", file), 0);
    EXPECT_EQ(Read("SONY", "2", file), "");
    // A prefix is not a match; it goes to the first free number (the empty 2).
    EXPECT_EQ(RememberCommand(shown, "$PSRF101", "SONY", file), 2);
    EXPECT_EQ(Read("SONY", "2", file), "$PSRF101");
    // Next free is 3 (4 stays as it is); an empty command is stored as an empty value.
    EXPECT_EQ(RememberCommand(shown, "", "SONY", file), 3);
    EXPECT_EQ(Read("SONY", "3", file), "");
    EXPECT_EQ(Read("SONY", "4", file), "old");
    // The other chipset's section is separate.
    EXPECT_EQ(RememberCommand(shown, "x", "SIRF", file), 1);
    EXPECT_EQ(Read("SIRF", "1", file), "x");
    EXPECT_EQ(FindCommandNoCase({"Ab", "aB"}, "AB"), 0);
    EXPECT_EQ(FindCommandNoCase({"Ab"}, "Ab "), -1);
}

TEST(SetupLogicTest, DecimalRuleAndBufferCut) {
    struct Row {
        const char* text;
        int32_t value;
    };
    const Row rows[] = {{"9600", 9600},
                        {"  38400", 38400},
                        {"+4800x", 4800},
                        {"-12", -12},
                        {"baud", 0},
                        {"", 0},
                        {"96 00", 96},
                        {"99999999999", INT32_MAX},
                        {"-99999999999", INT32_MIN}};
    for (const Row& row : rows) {
        EXPECT_EQ(DecimalValue(row.text), row.value) << row.text;
    }
    EXPECT_EQ(CutToSetupBuffer(std::string(120, 'a')).size(), 99u);
    // A two-byte character across the limit is left out whole.
    const std::string cut = CutToSetupBuffer(std::string(98, 'a') + "\xC3\xA9z");
    EXPECT_EQ(cut, std::string(98, 'a'));
}

TEST(SetupLogicTest, SearchTriesEveryPortAtEachRateInTurn) {
    const auto candidates = SearchCandidates();
    ASSERT_EQ(candidates.size(), 40u);
    EXPECT_EQ(candidates[0].baud, 4800u);
    EXPECT_EQ(candidates[0].port, 0);
    EXPECT_EQ(candidates[9].port, 9);
    EXPECT_EQ(candidates[10].baud, 9600u);
    EXPECT_EQ(candidates[10].port, 0);
    EXPECT_EQ(candidates[13].port, 3); // COM3 at 9600 is the 14th candidate
    EXPECT_EQ(candidates[39].baud, 38400u);
    EXPECT_EQ(candidates[39].port, 9);
}
