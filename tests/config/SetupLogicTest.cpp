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

TEST(SetupLogicTest, SearchTriesTheClassicCandidatesFirstThenDevicesThenFasterRates) {
    const std::vector<SerialDevice> devices = {{"/d/serial/by-id/usb-x", "x"}, {"/d/ttyACM0", "y"}};
    const auto candidates = SearchCandidates(devices);
    ASSERT_EQ(candidates.size(), 40u + 4 * 2 + 2 * 12);
    struct Row {
        size_t at;
        SearchCandidate want;
    };
    const Row rows[] = {
        {0, {4800, "COM0"}},
        {13, {9600, "COM3"}}, // COM3 at 9600 is the 14th candidate
        {39, {38400, "COM9"}},
        {40, {4800, "/d/serial/by-id/usb-x"}},
        {47, {38400, "/d/ttyACM0"}},
        {48, {57600, "COM0"}},
        {58, {57600, "/d/serial/by-id/usb-x"}},
        {71, {115200, "/d/ttyACM0"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(candidates[row.at], row.want) << row.at;
    }
    EXPECT_EQ(SearchCandidates().size(), 60u);
}

TEST(SetupLogicTest, DeviceListOffersEachPresentDeviceOnceUnderAShortUniqueName) {
    TempDir dir;
    const auto dev = dir.Path();
    const auto byId = dev / "serial" / "by-id";
    std::filesystem::create_directories(byId);
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyACM0", "ttyS0", "ttyUSBx"}) {
        WriteFileBytes(dev / name, "");
    }
    const char* ublox = "usb-u-blox_AG_-_www.u-blox.com_u-blox_7_-_GPS_GNSS_Receiver-if00";
    std::filesystem::create_symlink("../../ttyACM0", byId / ublox);
    std::filesystem::create_symlink("../../ttyUSB2",
                                    byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    std::filesystem::create_symlink("../../ttyUSB10",
                                    byId / "usb-FTDI_FT232R_USB_UART_A50285BJ-if00-port0");
    std::filesystem::create_symlink("../../ttyUSB9", byId / "usb-Prolific-if00-port0"); // unplugged
    const std::vector<SerialDevice> want = {
        {(byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string(), "FTDI_FT23~T_A50285BI"},
        {(byId / "usb-FTDI_FT232R_USB_UART_A50285BJ-if00-port0").string(), "FTDI_FT23~T_A50285BJ"},
        {(byId / ublox).string(), "u-blox_AG~S_Receiver"},
        {(dev / "ttyUSB0").string(), "ttyUSB0"},
    };
    EXPECT_EQ(ListSerialDevices(dev), want);
    EXPECT_TRUE(ListSerialDevices({}).empty());
    EXPECT_TRUE(ListSerialDevices(dev / "missing").empty());
    EXPECT_EQ(PortOfShownName(want, "ttyUSB0"), want[3].path);
    EXPECT_EQ(PortOfShownName(want, "COM3"), "COM3");
    EXPECT_EQ(ShownNameOfPort(want, want[2].path), want[2].shown);

    EXPECT_EQ(ShortDeviceName("usb-1a86_USB2.0-Serial-if00-port0"), "1a86_USB2.0-Serial");
    // Shortened alike: the later one is numbered.
    std::filesystem::create_symlink("../../ttyUSB0",
                                    byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if01-port0");
    const auto twice = ListSerialDevices(dev);
    ASSERT_EQ(twice.size(), 4u);
    EXPECT_EQ(twice[1].shown, "FTDI_FT23~T_A50285BI#2");

    ScopedEnv ports("ZENITHPROBE_PORTS", dev.c_str());
    EXPECT_EQ(SerialDeviceFolder(), std::filesystem::path());
    ScopedEnv injected("ZENITHPROBE_DEV_DIR", dev.c_str());
    EXPECT_EQ(SerialDeviceFolder(), dev);
}
