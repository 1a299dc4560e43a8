#include "windowsystem_backends.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

namespace {

QByteArray config(const char *rules)
{
    return QByteArray("<?xml version=\"1.0\"?>\n<labwc_config>\n  <keyboard><keybind key=\"W-a\">"
                      "<action name=\"ToggleAlwaysOnTop\"/></keybind></keyboard>\n  <windowRules>\n")
        + rules + "\n  </windowRules>\n</labwc_config>\n";
}

TEST(LabwcRule, OnlyARuleThatSurelyMatchesTheWindowAndTogglesOnTopCounts)
{
    const struct {
        const char *what;
        QByteArray xml;
        bool keeps;
    } cases[] = {
        { "the rule the message gives",
            config("<windowRule identifier=\"Zentrolux\"><action name=\"ToggleAlwaysOnTop\"/></windowRule>"), true },
        { "a pattern, another case, the action after another",
            config("<windowRule identifier=\"zentro*\"><action name=\"Maximize\"/>"
                   "<action name=\"toggleAlwaysOnTop\"/></windowRule>"),
            true },
        { "another program's rule",
            config("<windowRule identifier=\"camera\"><action name=\"ToggleAlwaysOnTop\"/></windowRule>"), false },
        { "a rule that also wants a title",
            config("<windowRule identifier=\"Zentrolux\" title=\"Help\"><action name=\"ToggleAlwaysOnTop\"/>"
                   "</windowRule>"),
            false },
        { "another action",
            config("<windowRule identifier=\"Zentrolux\"><action name=\"ToggleMaximize\"/></windowRule>"), false },
        { "the action after the matching rule closed",
            config("<windowRule identifier=\"Zentrolux\"/><windowRule identifier=\"other\">"
                   "<action name=\"ToggleAlwaysOnTop\"/></windowRule>"),
            false },
        { "only a key binding toggles it", config(""), false },
        { "a file broken before the rule",
            QByteArray("<labwc_config><core></labwc_config><windowRules><windowRule identifier=\"Zentrolux\">"
                       "<action name=\"ToggleAlwaysOnTop\"/></windowRule></windowRules>"),
            false },
        { "no file", QByteArray(), false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(zx::labwcRuleKeepsOnTop(c.xml, QStringLiteral("Zentrolux")), c.keeps);
    }
}

} // namespace
