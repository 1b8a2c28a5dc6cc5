// The program's command line and its scale from the environment.
#include "AppOptions.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(AppOptions, CommandLine) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        const char* envScale;
        bool ok;
        double scale;
        double quitAfterS;
        std::string screenshot;
    } cases[] = {
        {"nothing", {}, nullptr, true, 1.0, -1, ""},
        {"scale from the environment", {}, "2", true, 2.0, -1, ""},
        {"option wins over environment", {"--scale", "1.5"}, "2", true, 1.5, -1, ""},
        {"demo run",
         {"--quit-after", "15", "--screenshot", "a.png"},
         nullptr,
         true,
         1,
         15,
         "a.png"},
        {"screenshot alone", {"--screenshot", "a.png"}, nullptr, false, 1, -1, ""},
        {"scale too small", {"--scale", "0.1"}, nullptr, false, 1, -1, ""},
        {"scale not a number", {"--scale", "big"}, nullptr, false, 1, -1, ""},
        {"bad environment scale", {}, "x", false, 1, -1, ""},
        {"value missing", {"--scale"}, nullptr, false, 1, -1, ""},
        {"negative time", {"--quit-after", "-1"}, nullptr, false, 1, -1, ""},
        {"unknown option", {"--fast"}, nullptr, false, 1, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const AppOptions o = ParseAppOptions(c.args, c.envScale);
        EXPECT_EQ(o.ok, c.ok) << o.error;
        if (o.ok) {
            EXPECT_DOUBLE_EQ(o.scale, c.scale);
            EXPECT_DOUBLE_EQ(o.quitAfterS, c.quitAfterS);
            EXPECT_EQ(o.screenshot, c.screenshot);
        } else {
            EXPECT_FALSE(o.error.empty());
        }
    }
    EXPECT_TRUE(ParseAppOptions({"--debug", "--help"}, nullptr).debug);
    EXPECT_TRUE(ParseAppOptions({"--debug", "--help"}, nullptr).help);
    // Only a given scale stops the program from fitting the window to the screen.
    EXPECT_FALSE(ParseAppOptions({}, nullptr).scaleGiven);
    EXPECT_TRUE(ParseAppOptions({}, "1").scaleGiven);
    EXPECT_TRUE(ParseAppOptions({"--scale=3"}, nullptr).scaleGiven);
}
