// The container's script language: one command a line.
//
//   create PROGID-OR-CLSID      mode run|design
//   set NAME VALUE              get NAME
//   until NAME VALUE MS         call NAME [ARG...]
//   wait EVENT MS               events on|off
//   sleep MS                    save FILE          load FILE
//   answer BUTTON               (the answer to the next message box)
//
// Words are separated by blanks or tabs; a text value is one word however many
// blanks it holds. A line whose first word starts with # is a comment; blank lines
// are ignored; a CR before the line end is dropped. Command words are taken in any
// case; NAME and EVENT are identifiers (the control looks them up without regard to
// case); VALUE and ARG use value_notation.h; MS is a decimal count of milliseconds up
// to a day; FILE is a word or a quoted text. Parsing never executes anything, so it
// is safe on any input. Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/variant.h"

namespace vort::container {

enum class CommandKind : uint8_t {
    Create,
    Mode,
    Set,
    Get,
    Until,
    Call,
    Wait,
    Events,
    Sleep,
    Save,
    Load,
    Answer
};

// "create", "mode", ...
const char* commandName(CommandKind kind);

// The longest MS a script may give: one day.
inline constexpr int32_t kMaxScriptMs = 86'400'000;

struct ScriptCommand {
    CommandKind kind = CommandKind::Get;
    // create: the ProgID or {CLSID}; set, get, until, call: the member's name; wait:
    // the event's name; save, load: the file path (UTF-8); answer: the button as
    // "Ok", "Cancel", "Yes", "No", "Retry", "Abort" or "Ignore".
    std::string target;
    // set, until: the one value; call: the arguments.
    std::vector<component::Variant> values;
    // until, wait, sleep: milliseconds.
    int32_t ms = 0;
    // mode: true for run; events: true for on.
    bool on = false;
};

struct ParsedLine {
    // The command; nullopt for a blank line, a comment or an error.
    std::optional<ScriptCommand> command;
    // Why the line is malformed; empty when it is not.
    std::string error;
};

ParsedLine parseScriptLine(std::string_view line);

// The words of line: blank-separated, a quoted text kept whole with its quotes.
// nullopt with *error when a quoted text is not closed or runs into the next word.
std::optional<std::vector<std::string>> splitScriptWords(std::string_view line, std::string* error);

} // namespace vort::container
