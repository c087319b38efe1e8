#include "tools/container/script_runner.h"

#include <cstdio>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <sys/stat.h>

#include "platform/component/dispatch_proxy.h"
#include "platform/component/error.h"
#include "platform/component/guid.h"
#include "platform/component/type_info.h"
#include "platform/files/atomic_rewrite.h"
#include "tools/container/event_wait.h"
#include "tools/container/value_notation.h"

namespace vort::container {

using component::ComponentError;
using component::Variant;

namespace {

// A stored design larger than this is no property bag.
constexpr std::streamoff kMaxBagBytes = 1 << 20;
// until reads its property this often.
constexpr int kUntilPollMs = 10;

std::string failureLine(const std::string& name, const ComponentError& e) {
    std::string line = name + " ! " + std::to_string(e.number());
    if (!e.description().empty())
        line += " " + e.description();
    return line;
}

} // namespace

ScriptRunner::ScriptRunner(std::ostream& out, component::ComponentHost& host)
    : out_(out), host_(host), dialogs_([this](const std::string& line) { print(line); }) {
    dialogs::setDialogs(&dialogs_);
    events_.arrived = [this] {
        if (kick_)
            kick_();
    };
}

ScriptRunner::~ScriptRunner() {
    events_.printer = nullptr;
    events_.arrived = nullptr;
    control_.reset();
    dialogs::setDialogs(nullptr);
}

void ScriptRunner::print(const std::string& line) {
    out_ << line << '\n';
    out_.flush();
}

bool ScriptRunner::error(int lineNumber, const std::string& message) {
    print("error: line " + std::to_string(lineNumber) + ": " + message);
    return false;
}

int ScriptRunner::run(std::istream& in) {
    bool allRan = true;
    std::string line;
    int number = 0;
    while (std::getline(in, line))
        allRan = runLine(line, ++number) && allRan;
    return allRan ? 0 : 1;
}

bool ScriptRunner::runLine(std::string_view line, int lineNumber) {
    const ParsedLine parsed = parseScriptLine(line);
    if (!parsed.error.empty())
        return error(lineNumber, parsed.error);
    if (!parsed.command)
        return true;
    bool ok = execute(*parsed.command, lineNumber);
    for (const std::string& problem : dialogs_.takeProblems())
        ok = error(lineNumber, problem);
    return ok;
}

std::string ScriptRunner::memberName(const std::string& written) const {
    component::Dispatch& d = control_.dispatch();
    int32_t dispid = 0;
    if (d.getIdsOfNames(written, &dispid) == component::kOk)
        if (const component::InterfaceInfo* info = d.typeInfo())
            if (const component::MemberInfo* m = info->find(dispid))
                return m->name;
    return written;
}

bool ScriptRunner::execute(const ScriptCommand& cmd, int lineNumber) {
    switch (cmd.kind) {
    case CommandKind::Create:
        return create(cmd, lineNumber);
    case CommandKind::Mode:
        site_.runMode = cmd.on;
        if (control_)
            control_.control().ambientPropertyChanged(component::kDispidAmbientUserMode);
        return true;
    case CommandKind::Events:
        if (cmd.on)
            events_.printer = [this](const std::string& line) { print(line); };
        else
            events_.printer = nullptr;
        return true;
    case CommandKind::Sleep:
        runEventsFor(cmd.ms);
        return true;
    case CommandKind::Answer:
        for (dialogs::Answer a : {dialogs::Answer::Ok, dialogs::Answer::Cancel,
                                  dialogs::Answer::Yes, dialogs::Answer::No, dialogs::Answer::Retry,
                                  dialogs::Answer::Abort, dialogs::Answer::Ignore})
            if (cmd.target == dialogs::buttonName(a))
                dialogs_.queueAnswer(a);
        return true;
    default:
        break;
    }
    if (!control_)
        return error(lineNumber,
                     std::string(commandName(cmd.kind)) + ": no control yet: create one first");
    switch (cmd.kind) {
    case CommandKind::Set:
        return setProperty(cmd);
    case CommandKind::Get:
        return getProperty(cmd);
    case CommandKind::Until:
        return until(cmd);
    case CommandKind::Call:
        return call(cmd);
    case CommandKind::Wait:
        return wait(cmd, lineNumber);
    case CommandKind::Save:
        return save(cmd, lineNumber);
    case CommandKind::Load:
        return load(cmd, lineNumber);
    default:
        return false;
    }
}

bool ScriptRunner::create(const ScriptCommand& cmd, int lineNumber) {
    // The new control is made before the old one goes, so a create that fails leaves
    // the script its control. Making and defaulting a control opens no port.
    component::HostedControl created;
    try {
        const std::optional<component::Guid> clsid = component::Guid::parse(cmd.target);
        created =
            clsid ? host_.createControl(*clsid, &site_) : host_.createControl(cmd.target, &site_);
        created.initNew();
    } catch (const component::HostError& e) {
        return error(lineNumber, "create " + cmd.target + ": " + e.what());
    }
    events_.detach();
    control_ = std::move(created);
    site_.modified = false;
    events_.attach(control_.eventInfo(), &control_.dispatch());
    try {
        control_.advise(events_);
    } catch (const component::HostError& e) {
        return error(lineNumber,
                     "create " + cmd.target + ": its events cannot be connected: " + e.what());
    }
    return true;
}

bool ScriptRunner::setProperty(const ScriptCommand& cmd) {
    try {
        control_.proxy().put(cmd.target, cmd.values.at(0));
    } catch (const ComponentError& e) {
        print(failureLine(memberName(cmd.target), e));
        return false;
    }
    return true;
}

bool ScriptRunner::getProperty(const ScriptCommand& cmd) {
    try {
        const Variant v = control_.proxy().get(cmd.target);
        print(memberName(cmd.target) + " = " + formatValue(v));
    } catch (const ComponentError& e) {
        print(failureLine(memberName(cmd.target), e));
        return false;
    }
    return true;
}

bool ScriptRunner::until(const ScriptCommand& cmd) {
    // Values compare in their printed form, so 5 (I2) equals an I4 property's 5.
    const std::string wanted = formatValue(cmd.values.at(0));
    const std::string name = memberName(cmd.target);
    std::optional<ComponentError> failure;
    const bool reached = waitWhileRunningEvents(cmd.ms, kUntilPollMs, [&] {
        if (failure)
            return true;
        try {
            return formatValue(control_.proxy().get(cmd.target)) == wanted;
        } catch (const ComponentError& e) {
            failure = e;
            return true;
        }
    });
    if (failure) {
        print(failureLine(name, *failure));
        return false;
    }
    print(reached ? name + " = " + wanted : "timeout " + name);
    return reached;
}

bool ScriptRunner::call(const ScriptCommand& cmd) {
    const std::string name = memberName(cmd.target);
    // Arguments the method hands back (by reference) travel as references to holders
    // that start with the value the script gave.
    std::vector<Variant> holders = cmd.values;
    std::vector<Variant> args;
    std::vector<std::pair<std::string, size_t>> handedBack;
    const component::MemberInfo* info = nullptr;
    int32_t dispid = 0;
    if (control_.dispatch().getIdsOfNames(cmd.target, &dispid) == component::kOk)
        if (const component::InterfaceInfo* iface = control_.dispatch().typeInfo())
            info = iface->find(dispid);
    for (size_t i = 0; i < holders.size(); ++i) {
        const bool byRef =
            info && i < info->params.size() && (info->params[i].type & component::VT_BYREF);
        if (byRef) {
            args.push_back(Variant::byRef(&holders[i]));
            handedBack.emplace_back(info->params[i].name, i);
        } else {
            args.push_back(holders[i]);
        }
    }
    try {
        const Variant result = control_.proxy().call(cmd.target, std::move(args));
        std::string line = name + " = " + formatValue(result);
        for (const auto& [param, index] : handedBack)
            line += " " + param + "=" + formatValue(holders[index]);
        print(line);
    } catch (const ComponentError& e) {
        print(failureLine(name, e));
        return false;
    }
    return true;
}

bool ScriptRunner::wait(const ScriptCommand& cmd, int lineNumber) {
    std::string event;
    if (!events_.knows(cmd.target, &event))
        return error(lineNumber, "wait: the control has no event " + cmd.target +
                                     "; its events are " + events_.eventNames());
    std::optional<std::string> line;
    waitWhileRunningEvents(
        cmd.ms, 0,
        [&] {
            line = events_.take(event);
            return line.has_value();
        },
        &kick_);
    print(line ? *line : "timeout " + event);
    return line.has_value();
}

bool ScriptRunner::save(const ScriptCommand& cmd, int lineNumber) {
    std::string bag;
    try {
        bag = control_.saveText(true);
    } catch (const component::HostError& e) {
        return error(lineNumber, std::string("save: the control cannot save: ") + e.what());
    }
    // Written to a fresh temporary file beside the target and renamed over it, so a
    // failed save never leaves a half-written bag in place of a good one.
    vort::files::FileFailure failure;
    if (!vort::files::rewriteFile(cmd.target, bag, failure))
        return error(lineNumber, "save: cannot write " + failure.text());
    site_.modified = false;
    return true;
}

bool ScriptRunner::load(const ScriptCommand& cmd, int lineNumber) {
    struct stat st {};
    if (stat(cmd.target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return error(lineNumber, "load: " + cmd.target + " is no readable file");
    if (st.st_size > kMaxBagBytes)
        return error(lineNumber, "load: " + cmd.target + " is too large for a property bag");
    std::ifstream f(cmd.target, std::ios::binary);
    std::ostringstream text;
    text << f.rdbuf();
    if (!f && !f.eof())
        return error(lineNumber, "load: cannot read " + cmd.target);
    const component::LoadResult r = control_.loadText(text.str());
    if (!r.ok())
        return error(lineNumber, "load: " + cmd.target + " is damaged (" + r.error +
                                     "); the control now holds its defaults");
    site_.modified = false;
    return true;
}

} // namespace vort::container
