// ScriptRunner: runs container scripts (script_parser.h) against one hosted control,
// printing one line per result to out:
//
//   get, until          NAME = VALUE
//   call                NAME = RESULT, then " PARAM=VALUE" for each argument the
//                       method hands back by reference
//   wait                the event's line (event_recorder.h)
//   a failed member     NAME ! NUMBER DESCRIPTION
//   until/wait time-out timeout NAME, timeout EVENT
//   anything else wrong error: line N: what is wrong
//
//   a message box       MessageBox Title=... Text=... Buttons=... Answer=...
//                       (script_dialogs.h), answered at once
//
// set, create, mode, events, sleep, save, load and answer print nothing when they
// succeed. While a runner lives it is the dialog facade (dialogs.h) of the process, so
// no box of the control waits for a person; an answer that does not fit its box is an
// error of the line that showed the box.
// A failure never ends the script: the next line runs. While waiting (until, wait,
// sleep) the Qt event loop runs, so the control's notifications arrive.
// Owner's thread only; needs a QCoreApplication (a QApplication for a control that
// shows windows).
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/component/component_host.h"
#include "platform/component/hosted_control.h"
#include "tools/container/event_recorder.h"
#include "tools/container/host_site.h"
#include "tools/container/script_dialogs.h"
#include "tools/container/script_parser.h"

namespace vort::container {

class ScriptRunner {
public:
    // out receives the result lines (each flushed at once); host creates the controls
    // and must outlive the runner.
    ScriptRunner(std::ostream& out, component::ComponentHost& host);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Runs one line; false when it was malformed or its command failed or timed out.
    bool runLine(std::string_view line, int lineNumber);
    // Runs every line of in in turn; returns 0 when every command ran, 1 otherwise.
    int run(std::istream& in);

    // The hosted control (empty before a create) and the site; for tests.
    const component::HostedControl& control() const { return control_; }
    HostSite& site() { return site_; }

private:
    bool execute(const ScriptCommand& cmd, int lineNumber);
    bool create(const ScriptCommand& cmd, int lineNumber);
    bool setProperty(const ScriptCommand& cmd);
    bool getProperty(const ScriptCommand& cmd);
    bool until(const ScriptCommand& cmd);
    bool call(const ScriptCommand& cmd);
    bool wait(const ScriptCommand& cmd, int lineNumber);
    bool save(const ScriptCommand& cmd, int lineNumber);
    bool load(const ScriptCommand& cmd, int lineNumber);

    // The member's name as the control spells it, else as written.
    std::string memberName(const std::string& written) const;
    void print(const std::string& line);
    bool error(int lineNumber, const std::string& message);

    std::ostream& out_;
    component::ComponentHost& host_;
    // Declared before the control, which may show a box while it goes.
    ScriptDialogs dialogs_;
    // Declared before the control: the control goes first, then the sink it was
    // advised to.
    HostSite site_;
    EventRecorder events_;
    component::HostedControl control_;
    std::function<void()> kick_;
};

} // namespace vort::container
