// The menu entries and the AppStream metadata pass the desktop's own validators without
// an error or a warning, they name icons we ship, and every icon is rendered from its
// SVG in every size of the hicolor theme.
#include <QImage>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace {

using vort::test::ProgramRun;
using vort::test::runProgram;

const std::vector<std::string> kDesktopFiles{"tcu1.desktop", "vort-container.desktop"};

std::string dataFile(const std::string& name) {
    return std::string(VORT_DATA_DIR) + "/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of key in a desktop entry ("" when there is none).
std::string entryValue(const std::string& entry, const std::string& key) {
    std::smatch m;
    return std::regex_search(entry, m, std::regex("\n" + key + "=([^\n]*)")) ? m[1].str()
                                                                             : std::string();
}

std::vector<int> iconSizes() {
    std::vector<int> sizes;
    std::istringstream list(VORT_ICON_SIZES);
    for (std::string size; std::getline(list, size, ',');)
        sizes.push_back(std::stoi(size));
    return sizes;
}

std::vector<std::string> environment() {
    return vort::test::environmentWithout({});
}

TEST(DesktopDataTest, MenuEntriesValidateWithoutAnyRemark) {
    for (const std::string& name : kDesktopFiles) {
        SCOPED_TRACE(name);
        const ProgramRun run = runProgram("desktop-file-validate", {dataFile(name)}, environment());
        EXPECT_EQ(run.status, 0) << run.err;
        // Errors, warnings and hints all go to standard output.
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
    }
    const std::string tcu1 = readFile(dataFile("tcu1.desktop"));
    EXPECT_EQ(entryValue(tcu1, "Exec"), "tcu1");
    EXPECT_EQ(entryValue(tcu1, "NoDisplay"), "");
    // The container is a developer's tool: startable by name, kept out of the menus.
    const std::string container = readFile(dataFile("vort-container.desktop"));
    EXPECT_EQ(entryValue(container, "Exec"), "vort-container");
    EXPECT_EQ(entryValue(container, "NoDisplay"), "true");
}

TEST(DesktopDataTest, MetainfoValidatesWithoutWarningsAndLaunchesTheMenuEntry) {
    const std::string path = dataFile(std::string(VORT_APPSTREAM_ID) + ".metainfo.xml");
    const ProgramRun run =
        runProgram("appstreamcli", {"validate", "--no-net", path}, environment());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("W:"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("E:"), std::string::npos) << run.out;
    const std::string metainfo = readFile(path);
    EXPECT_NE(metainfo.find("<id>" + std::string(VORT_APPSTREAM_ID) + "</id>"), std::string::npos);
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">tcu1.desktop</launchable>"),
              std::string::npos);
    // A screenshot would have to be a real picture at a real address.
    EXPECT_EQ(metainfo.find("<screenshot"), std::string::npos);
}

TEST(DesktopDataTest, EveryIconIsDrawnAndRenderedInEverySize) {
    ASSERT_FALSE(iconSizes().empty());
    for (const std::string& entry : kDesktopFiles) {
        const std::string icon = entryValue(readFile(dataFile(entry)), "Icon");
        SCOPED_TRACE(entry + ": " + icon);
        ASSERT_FALSE(icon.empty());
        EXPECT_NE(readFile(dataFile("icons/" + icon + ".svg")).find("<svg"), std::string::npos);
        for (int size : iconSizes()) {
            const std::string png = std::string(VORT_ICON_BUILD_DIR) + "/" + std::to_string(size) +
                                    "x" + std::to_string(size) + "/apps/" + icon + ".png";
            QImage image;
            ASSERT_TRUE(image.load(QString::fromStdString(png))) << png;
            EXPECT_EQ(image.width(), size);
            EXPECT_EQ(image.height(), size);
            EXPECT_TRUE(image.hasAlphaChannel());
            // Drawn, not empty: opaque pixels in the middle, transparent ones in a corner.
            EXPECT_EQ(qAlpha(image.pixel(size / 2, size * 3 / 4)), 255) << png;
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << png;
        }
    }
}

} // namespace
