// vort-container: the control test container.
//
//   vort-container [--design] [PROGID-OR-CLSID]   the window, optionally with a control
//   vort-container --script FILE                  run a script without a window
//                                                 (FILE "-": standard input)
//   vort-container --help | --version
//
// Script mode prints one line per result on standard output and exits 0 when every
// command ran, 1 when any failed; a bad command line or a script that cannot be read
// (a directory among them) exits 2. Message boxes never wait there: each is printed
// and answered (script_dialogs.h). It needs no display: with none, Qt's offscreen
// platform is used, so controls may still make windows there.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/stat.h>

#include "platform/dialogs/dialogs.h"
#include "tools/container/container_window.h"
#include "tools/container/script_runner.h"

namespace {

constexpr const char* kUsage =
    "usage: vort-container [--design] [PROGID-OR-CLSID]\n"
    "       vort-container --script FILE      (FILE - reads standard input)\n"
    "       vort-container --help | --version\n"
    "Hosts one control in run or design mode. With --script it runs one command a\n"
    "line without a window: create, mode, set, get, until, call, wait, events,\n"
    "sleep, save, load, answer (see vort-container(1)).\n"
    "  --design          start in design mode (the control's ambient UserMode false)\n"
    "  --script FILE     run the script in FILE without a window\n"
    "  -h, --help        print this help and end\n"
    "  --version         print the version and end\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vort-container: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// The host, kept for the process's life. Controls are released before the program
// ends, so their ports close; their libraries are not unloaded at exit, which gains
// nothing, and some of them keep process-wide tables that would be cut loose by it.
vort::component::ComponentHost& host() {
    static auto* const h = new vort::component::ComponentHost();
    return *h;
}

bool haveDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(name);
        if (v && *v)
            return true;
    }
    return false;
}

int runScript(int argc, char** argv, const std::string& path) {
    // Without a display the offscreen platform still lets a control show its dialogs.
    if (!haveDisplay())
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    vort::container::ScriptRunner runner(std::cout, host());
    if (path == "-")
        return runner.run(std::cin);
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "vort-container: cannot read the script %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return 2;
    }
    // A directory opens like a file but reads as nothing.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "vort-container: cannot read the script %s: it is a directory\n",
                     path.c_str());
        return 2;
    }
    const int status = runner.run(in);
    if (in.bad()) {
        std::fprintf(stderr, "vort-container: reading the script %s failed\n", path.c_str());
        return 2;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::string script;
    std::string classText;
    bool design = false;
    bool scriptMode = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("vort-container %s\n", VORT_PROGRAM_VERSION);
            return 0;
        } else if (arg == "--script") {
            if (i + 1 >= argc)
                return usageError("--script needs a FILE (- for standard input)");
            scriptMode = true;
            script = argv[++i];
        } else if (arg == "--design") {
            design = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (classText.empty()) {
            classText = arg;
        } else {
            return usageError("more than one control named");
        }
    }
    if (scriptMode) {
        if (design || !classText.empty())
            return usageError(
                "--script takes no other arguments (use create and mode in the script)");
        return runScript(argc, argv, script);
    }

    QApplication app(argc, argv);
    // Boxes without a title read the container's name; as a display name the toolkit
    // would append it to every window title.
    vort::dialogs::setApplicationTitle(QStringLiteral("Control Test Container"));
    vort::container::ContainerWindow window(host());
    window.setRunMode(!design);
    window.show();
    if (!classText.empty())
        window.createControl(QString::fromLocal8Bit(classText.c_str()));
    return app.exec();
}
