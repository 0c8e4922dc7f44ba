// The program's debug traces come on only when a logging rule names the program's categories;
// a rule for every category leaves them off.

#include "data/trace_rules.h"

#include <gtest/gtest.h>

namespace mokta {
namespace {

TEST(TraceRules, OnlyRulesNamingTheProgramTurnItsTracesOn) {
  const QString keys = QStringLiteral("mokta.keys");
  EXPECT_FALSE(ProgramDebugEnabled("", keys));
  EXPECT_FALSE(ProgramDebugEnabled("*.debug=true", keys));
  EXPECT_FALSE(ProgramDebugEnabled("*=true", keys));
  EXPECT_FALSE(ProgramDebugEnabled("*keys*=true;*.keys.debug=true", keys));
  EXPECT_FALSE(ProgramDebugEnabled("qt.*.debug=true", keys));

  EXPECT_TRUE(ProgramDebugEnabled("mokta.*.debug=true", keys));
  EXPECT_TRUE(ProgramDebugEnabled("mokta.*=true", keys));
  EXPECT_TRUE(ProgramDebugEnabled("mokta.keys.debug=true", keys));
  EXPECT_TRUE(ProgramDebugEnabled("mokta.k*.debug = true", keys));
  EXPECT_TRUE(ProgramDebugEnabled("qt.*.debug=true\n mokta.keys=true ", keys));
  EXPECT_FALSE(ProgramDebugEnabled("mokta.device.debug=true", keys));
}

TEST(TraceRules, LastMatchingRuleWinsAndOtherTypesDoNotCount) {
  const QString device = QStringLiteral("mokta.device");
  EXPECT_FALSE(ProgramDebugEnabled("mokta.*.debug=true;mokta.device.debug=false", device));
  EXPECT_TRUE(ProgramDebugEnabled("mokta.device.debug=false;mokta.*.debug=true", device));
  // A later rule for every category does not turn a named one off either.
  EXPECT_TRUE(ProgramDebugEnabled("mokta.*.debug=true;*.debug=false", device));
  EXPECT_FALSE(ProgramDebugEnabled("mokta.*.warning=true;mokta.*.info=true", device));
  EXPECT_FALSE(ProgramDebugEnabled("mokta.*.debug=yes;mokta.*.debug", device));
  EXPECT_FALSE(ProgramDebugEnabled("mokta.*.dev*.debug=true", device));  // not a Qt pattern
}

}  // namespace
}  // namespace mokta
