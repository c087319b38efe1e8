// tcu1: the scanner's configuration program.
#include <QApplication>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/forms/form1.h"
#include "app/link/startup.h"
#include "platform/dialogs/dialogs.h"

namespace {

constexpr const char* kUsage = "usage: tcu1 [--demo-screenshot FILE] [QT-OPTION...]\n"
                               "       tcu1 --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "The scanner's configuration program. It finds the scanner on the port saved in\n"
    "TCU.INI by trying eight baud rates, then shows its setup on ten tabs, sends it\n"
    "back, saves and opens setup files, restores the factory defaults, writes the\n"
    "registration key and loads new firmware. It needs a display.\n"
    "\n"
    "Options:\n"
    "  --demo-screenshot FILE  after the start-up, save the main window as a PNG image\n"
    "                          in FILE and end (for demonstrations and tests)\n"
    "  -h, --help              print this help and end\n"
    "  --version               print the version and end\n"
    "The toolkit's own options (-platform NAME, -display DISPLAY, -style NAME, ...) are\n"
    "passed on to it.\n"
    "\n"
    "Exit status: 0 ended normally; 2 wrong command line; 3 the serial communication\n"
    "control cannot be created (not registered); 4 the screenshot was not written.\n";

// The toolkit's own options, which it takes off the command line when the application
// object is made. It accepts them with one dash or two; these take a value.
constexpr std::string_view kToolkitValueOptions[] = {"platform",
                                                     "platformpluginpath",
                                                     "platformtheme",
                                                     "plugin",
                                                     "qwindowgeometry",
                                                     "qwindowicon",
                                                     "qwindowtitle",
                                                     "session",
                                                     "display",
                                                     "geometry",
                                                     "title",
                                                     "icon",
                                                     "name",
                                                     "style",
                                                     "stylesheet"};
constexpr std::string_view kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
// These also take their value after "=".
constexpr std::string_view kToolkitInlineOptions[] = {"style", "stylesheet", "qmljsdebugger"};

enum class Start { Window, Help, Version, WrongUsage };

// Reads the command line before the toolkit exists, so that --help, --version and a
// wrong argument need no display. The window's own option (--demo-screenshot) is read
// again by parseProgramOptions once the toolkit has taken its options out.
Start checkCommandLine(int argc, char** argv, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return Start::Help;
        if (arg == "--version")
            return Start::Version;
        if (arg == "--demo-screenshot") {
            if (i + 1 >= argc || !*argv[i + 1]) {
                *error = "--demo-screenshot needs a FILE";
                return Start::WrongUsage;
            }
            ++i;
            continue;
        }
        if (arg.starts_with("--demo-screenshot=")) {
            if (arg.size() == std::string_view("--demo-screenshot=").size()) {
                *error = "--demo-screenshot needs a FILE";
                return Start::WrongUsage;
            }
            continue;
        }
        std::string_view name = arg;
        if (name.starts_with("--"))
            name.remove_prefix(2);
        else if (name.starts_with("-"))
            name.remove_prefix(1);
        else {
            *error = "unexpected argument " + std::string(arg);
            return Start::WrongUsage;
        }
        bool known = false;
        for (std::string_view option : kToolkitValueOptions) {
            if (name == option) {
                if (i + 1 >= argc) {
                    *error = std::string(arg) + " needs a value";
                    return Start::WrongUsage;
                }
                ++i;
                known = true;
            }
        }
        for (std::string_view option : kToolkitFlags)
            known = known || name == option;
        for (std::string_view option : kToolkitInlineOptions)
            known = known || (name.starts_with(option) && name.size() > option.size() &&
                              name[option.size()] == '=');
        if (!known) {
            *error = "unknown option " + std::string(arg);
            return Start::WrongUsage;
        }
    }
    return Start::Window;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    switch (checkCommandLine(argc, argv, &error)) {
    case Start::Help:
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    case Start::Version:
        std::printf("tcu1 %s\n", VORT_PROGRAM_VERSION);
        return 0;
    case Start::WrongUsage:
        std::fprintf(stderr, "tcu1: %s\n%s", error.c_str(), kUsage);
        return 2;
    case Start::Window:
        break;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tcu1"));
    // Boxes without a title of their own read "TCU1". No application display name is
    // set: the toolkit would append it to every window title (" TCU - 2.11 — TCU1").
    vort::dialogs::setApplicationTitle(QString::fromLatin1(tcu::kAppTitle));
    return tcu::runProgram(tcu::parseProgramOptions(QApplication::arguments()));
}
