// The application-1 revision number taken from a "<APP1RV:>" answer.
#include "app/identity/revision_state.h"

#include <gtest/gtest.h>

#include "app/core/program_core.h"
#include "app/link/answer_rules.h"
#include "app/link/run_time_error.h"

namespace tcu {
namespace {

TEST(RevisionStateTest, CharactersOneThreeAndFourMakeTheNumber) {
    EXPECT_EQ(App1RevFromAnswer("3.22   \r\n"), 322);
    EXPECT_EQ(App1RevFromAnswer("3.21"), 321);
    EXPECT_EQ(App1RevFromAnswer("9.99xyz"), 999);
    EXPECT_EQ(App1RevFromAnswer("3.2"), 32) << "a shorter answer gives fewer characters";
    EXPECT_EQ(App1RevFromAnswer("3"), 3);
    EXPECT_EQ(App1RevFromAnswer("3.0512"), 305) << "characters after the fourth are ignored";
}

TEST(RevisionStateTest, AnswersThatAreNoNumberRaiseTypeMismatch) {
    for (const char* bad : {"", "V1.05  \r\n", "3.x2", "\r\n", ".   "}) {
        try {
            App1RevFromAnswer(bad);
            ADD_FAILURE() << "no error for \"" << bad << "\"";
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.number(), kErrTypeMismatch) << bad;
            EXPECT_EQ(e.description(), "Type mismatch");
        }
    }
}

TEST(RevisionStateTest, TheRuleSetsTheNumberEvenWhenQuietAndKeepsItOnFailure) {
    // A new core registers the rule itself, first of its "<APP1RV:>" rules.
    ProgramCore core;
    AnswerRules& rules = core.answerRules();
    core.QuietRevQuery = true;
    rules.apply("<APP1RV:>", "3.22   \r\n");
    EXPECT_EQ(core.App1RevNumber, 322);
    EXPECT_THROW(rules.apply("<APP1RV:>", "??"), RunTimeError);
    EXPECT_EQ(core.App1RevNumber, 322);
    // Tokens are compared exactly.
    rules.apply("<app1rv:>", "1.00");
    rules.apply("<APP2RV:>", "1.00");
    EXPECT_EQ(core.App1RevNumber, 322);
}

TEST(RevisionStateTest, RulesOfOneTokenRunInTheOrderTheyWereAdded) {
    AnswerRules rules;
    QString seen;
    rules.add("<X:>", [&](const QString& a) { seen += "1" + a; });
    rules.add("<X:>", [&](const QString&) { throw typeMismatch(); });
    rules.add("<X:>", [&](const QString&) { seen += "3"; });
    EXPECT_THROW(rules.apply("<X:>", "a"), RunTimeError);
    EXPECT_EQ(seen, "1a") << "a rule that throws ends the run";
}

} // namespace
} // namespace tcu
