// The engine's dispatch: what a completed exchange does with the scanner's answer.
//
// A table of token -> rules. After ExchangeCommand has its acknowledgement (and, for a
// query, the answer line), it looks the token up exactly (case-sensitive) and runs the
// token's rules in the order they were added, each given the answer as received
// (everything after the acknowledgement up to and including CR LF, plus whatever came
// in the same reads behind it; empty for a write). Tokens without rules do nothing.
//
// Subsystems register their rules when the main window is built (Form1's constructor
// calls each subsystem's registration function). A rule that cannot use an answer
// throws RunTimeError (or lets the control's ComponentError through): the engine then
// shows the error and the exchange fails.
//
// GUI thread only.
#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <vector>

namespace tcu {

class AnswerRules {
public:
    using Rule = std::function<void(const QString& answer)>;

    // Adds rule for token, behind the rules it already has.
    void add(const QString& token, Rule rule);
    bool has(const QString& token) const { return rules_.contains(token); }
    // Runs token's rules in order; the first that throws ends the run.
    void apply(const QString& token, const QString& answer) const;

private:
    QHash<QString, std::vector<Rule>> rules_;
};

} // namespace tcu
