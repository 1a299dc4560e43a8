#include "windowsystem_backends.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

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

namespace {

// The text added to before, when after holds before whole with one stretch inserted; empty otherwise.
QByteArray insertion(const QByteArray &before, const QByteArray &after)
{
    qsizetype head = 0;
    while (head < before.size() && before[head] == after[head])
        ++head;
    const qsizetype added = after.size() - before.size();
    if (added <= 0 || after.mid(head + added) != before.mid(head))
        return {};
    return after.mid(head, added);
}

TEST(LabwcRule, TheAddedRuleKeepsOnTopAndLeavesTheRestAsItWas)
{
    const struct {
        const char *what;
        QByteArray before;
    } cases[] = {
        { "rules already there", config("<windowRule identifier=\"camera\"><action name=\"Maximize\"/></windowRule>") },
        { "no rules, and text that is not ASCII",
            QByteArray("<?xml version=\"1.0\"?>\n<labwc_config>\n  <theme><name>\xc3\x89toile</name></theme>\n"
                       "</labwc_config>\n") },
        { "an empty rules element and a comment", QByteArray("<labwc_config><!-- mine --><windowRules/></labwc_config>") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(zx::labwcRuleKeepsOnTop(c.before, QStringLiteral("Zentrolux")));
        const QByteArray after = zx::labwcConfigWithRule(c.before, QStringLiteral("Zentrolux"));
        EXPECT_TRUE(zx::labwcRuleKeepsOnTop(after, QStringLiteral("Zentrolux"))) << after.constData();
        EXPECT_FALSE(insertion(c.before, after).isEmpty()) << after.constData();
    }
    // A root without content is written out whole.
    EXPECT_TRUE(zx::labwcRuleKeepsOnTop(zx::labwcConfigWithRule("<labwc_config/>", QStringLiteral("Zentrolux")),
        QStringLiteral("Zentrolux")));
    // A renamed copy's name goes in as text, whatever it holds.
    const QString odd = QStringLiteral("Guide\"&<1>");
    EXPECT_TRUE(zx::labwcRuleKeepsOnTop(zx::labwcConfigWithRule({}, odd), odd));
    // What cannot be read as labwc's configuration is left alone.
    EXPECT_TRUE(zx::labwcConfigWithRule("<labwc_config><core></labwc_config>", QStringLiteral("Zentrolux")).isEmpty());
    EXPECT_TRUE(zx::labwcConfigWithRule("<openbox_config/>", QStringLiteral("Zentrolux")).isEmpty());
}

TEST(LabwcRule, AddingMakesTheFileOrKeepsACopyOfIt)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString rc = home.filePath(QStringLiteral("config/labwc/rc.xml"));
    const auto read = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    };

    EXPECT_EQ(zx::addLabwcRule(rc, QStringLiteral("Zentrolux")), "");
    const QByteArray made = read(rc);
    EXPECT_TRUE(zx::labwcRuleKeepsOnTop(made, QStringLiteral("Zentrolux")));
    EXPECT_FALSE(QFileInfo::exists(rc + QStringLiteral(".bak")));

    EXPECT_EQ(zx::addLabwcRule(rc, QStringLiteral("Guide")), "");
    EXPECT_EQ(read(rc + QStringLiteral(".bak")), made);
    EXPECT_TRUE(zx::labwcRuleKeepsOnTop(read(rc), QStringLiteral("Guide")));
    EXPECT_TRUE(zx::labwcRuleKeepsOnTop(read(rc), QStringLiteral("Zentrolux")));
    // A second backup does not overwrite the first.
    EXPECT_EQ(zx::addLabwcRule(rc, QStringLiteral("Third")), "");
    EXPECT_EQ(read(rc + QStringLiteral(".bak")), made);
    EXPECT_TRUE(zx::labwcRuleKeepsOnTop(read(rc + QStringLiteral(".bak2")), QStringLiteral("Guide")));

    // A broken file is neither changed nor copied.
    const QString broken = home.filePath(QStringLiteral("broken.xml"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<labwc_config><core>");
    file.close();
    EXPECT_NE(zx::addLabwcRule(broken, QStringLiteral("Zentrolux")), "");
    EXPECT_EQ(read(broken), QByteArray("<labwc_config><core>"));
    EXPECT_FALSE(QFileInfo::exists(broken + QStringLiteral(".bak")));
}

} // namespace
