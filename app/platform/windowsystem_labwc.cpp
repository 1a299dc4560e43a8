// The crosshair window under labwc: an X11 window (through Xwayland) that
// labwc places as asked, but keeps above the others only by a window rule of
// its own, in its rc.xml: it ignores an X11 window's own above state (up to
// 0.9.4), or takes it only where a rule allows it (from 0.9.6). The rule
// that works with every version toggles the state once the window is shown;
// the window then must not ask for it itself, or the two would cancel out
// where labwc honours both.
#include "windowsystem_backends.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QWidget>
#include <QXmlStreamReader>

#include <fnmatch.h>

namespace zx {

namespace {

// The user's own rc.xml; empty without a home to find it in.
QString userRcFile()
{
    QString user = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString home = qEnvironmentVariable("HOME");
    if (user.isEmpty() && !home.isEmpty())
        user = home + QStringLiteral("/.config");
    return user.isEmpty() ? QString() : user + QStringLiteral("/labwc/rc.xml");
}

// The file labwc reads, first the user's, then the system's; with
// --merge-config it reads them all, so a rule counts in any of them.
std::vector<QString> rcFiles()
{
    std::vector<QString> files;
    if (const QString user = userRcFile(); !user.isEmpty())
        files.push_back(user);
    QString system = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/etc/xdg");
    for (const QString &folder : system.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        files.push_back(folder + QStringLiteral("/labwc/rc.xml"));
    return files;
}

QString ruleFor(const QString &windowClass, const QString &indent)
{
    return indent + QStringLiteral("<windowRule identifier=\"") + windowClass.toHtmlEscaped()
        + QStringLiteral("\">\n") + indent + QStringLiteral("  <action name=\"ToggleAlwaysOnTop\"/>\n") + indent
        + QStringLiteral("</windowRule>\n");
}

// The white space before position at on its line, when nothing else is there.
QString indentBefore(const QString &text, qsizetype at)
{
    qsizetype start = at;
    while (start > 0 && (text[start - 1] == QLatin1Char(' ') || text[start - 1] == QLatin1Char('\t')))
        --start;
    return start == 0 || text[start - 1] == QLatin1Char('\n') ? text.mid(start, at - start) : QString();
}

class LabwcWindowSystem final : public X11WindowSystemWrapper {
public:
    using X11WindowSystemWrapper::X11WindowSystemWrapper;

    // The rule does it; see above.
    void setAbove(QWidget &, bool) override { }

    std::string whyNotOnTop(const QWidget &) const override
    {
        // Qt names the window's X11 class after the application; labwc
        // matches a rule's identifier against it.
        const QString windowClass = QCoreApplication::applicationName();
        for (const QString &path : rcFiles()) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly) && labwcRuleKeepsOnTop(file.read(MaxRcBytes), windowClass))
                return {};
        }
        const std::string name = windowClass.toStdString();
        return "labwc keeps a window above the others only by a rule of its own. To keep " + name
            + " on top, add this inside <labwc_config> in ~/.config/labwc/rc.xml, run \"labwc --reconfigure\" "
              "and start "
            + name + " again:\n\n<windowRules>\n  <windowRule identifier=\"" + name
            + "\">\n    <action name=\"ToggleAlwaysOnTop\"/>\n  </windowRule>\n</windowRules>\n\n"
              "Until then a click on another window can cover the crosshair.";
    }

    bool canKeepOnTopItself() const override { return !userRcFile().isEmpty(); }

    std::string keepOnTopItself(QWidget &) override
    {
        if (std::string why = addLabwcRule(userRcFile(), QCoreApplication::applicationName()); !why.empty())
            return why;
        const std::string name = QCoreApplication::applicationName().toStdString();
        QProcess reconfigure;
        reconfigure.start(QStringLiteral("labwc"), { QStringLiteral("--reconfigure") });
        if (!reconfigure.waitForFinished(ReconfigureMilliseconds) || reconfigure.exitCode() != 0)
            return "The rule is in " + userRcFile().toStdString()
                + ", but \"labwc --reconfigure\" did not run. Log out and in again, then start " + name + " again.";
        // labwc applies a window rule when it maps a window; mapping this one
        // anew left it blank under labwc 0.8, so the user starts it again.
        return "The rule is in " + userRcFile().toStdString() + ". Start " + name
            + " again to keep it on top of the other windows.";
    }

private:
    static constexpr qint64 MaxRcBytes = 4 << 20; // far more than any hand-written configuration
    static constexpr int ReconfigureMilliseconds = 5000;
};

} // namespace

bool labwcRuleKeepsOnTop(const QByteArray &rcXml, const QString &windowClass)
{
    QXmlStreamReader xml(rcXml);
    const QByteArray identity = windowClass.toUtf8();
    bool inMatchingRule = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name().compare(u"windowRule", Qt::CaseInsensitive) == 0) {
            inMatchingRule = false;
        } else if (token == QXmlStreamReader::StartElement) {
            const auto name = xml.name();
            const QXmlStreamAttributes attributes = xml.attributes();
            if (name.compare(u"windowRule", Qt::CaseInsensitive) == 0) {
                // A rule that names a title or a type as well may leave this window out: only the
                // identifier alone is sure to match it.
                const QByteArray pattern = attributes.value(QLatin1String("identifier")).toUtf8();
                inMatchingRule = !pattern.isEmpty() && !attributes.hasAttribute(QLatin1String("title"))
                    && !attributes.hasAttribute(QLatin1String("type"))
                    && ::fnmatch(pattern.constData(), identity.constData(), FNM_CASEFOLD) == 0;
            } else if (inMatchingRule && name.compare(u"action", Qt::CaseInsensitive) == 0
                && attributes.value(QLatin1String("name")).compare(u"ToggleAlwaysOnTop", Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
    }
    return false;
}

QByteArray labwcConfigWithRule(const QByteArray &rcXml, const QString &windowClass)
{
    const QString text = QString::fromUtf8(rcXml);
    if (text.trimmed().isEmpty()) {
        return (QStringLiteral("<?xml version=\"1.0\"?>\n<labwc_config>\n  <windowRules>\n")
            + ruleFor(windowClass, QStringLiteral("    ")) + QStringLiteral("  </windowRules>\n</labwc_config>\n"))
            .toUtf8();
    }
    // Where the first <windowRules> of the root ends, and the root: offsets
    // into text, where each end tag begins.
    QXmlStreamReader xml(text);
    int depth = 0;
    qsizetype rulesEnd = -1;
    qsizetype rootEnd = -1;
    bool rootEmpty = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 1 && xml.name() != u"labwc_config")
                return {};
        } else if (token == QXmlStreamReader::EndElement) {
            const qsizetype after = xml.characterOffset();
            // An empty element (<windowRules/>) has no end tag to write before.
            const bool empty = text.mid(after - 2, 2) == QStringLiteral("/>");
            const qsizetype tag = empty ? text.lastIndexOf(QLatin1Char('<'), after - 1) : text.lastIndexOf(u"</", after - 1);
            if (depth == 2 && rulesEnd < 0 && !empty && xml.name() == u"windowRules")
                rulesEnd = tag;
            if (depth == 1) {
                rootEnd = tag;
                rootEmpty = empty;
            }
            --depth;
        }
    }
    if (xml.hasError() || rootEnd < 0)
        return {};
    QString edited = text;
    if (rulesEnd >= 0) {
        const QString indent = indentBefore(text, rulesEnd);
        // Written on the end tag's line, in front of it; the end tag moves to the line after.
        edited.insert(rulesEnd - indent.size(), ruleFor(windowClass, indent + QStringLiteral("  ")));
    } else if (rootEmpty) {
        const qsizetype tagEnd = text.indexOf(QLatin1Char('>'), rootEnd) + 1;
        edited.replace(rootEnd, tagEnd - rootEnd,
            QStringLiteral("<labwc_config>\n  <windowRules>\n") + ruleFor(windowClass, QStringLiteral("    "))
                + QStringLiteral("  </windowRules>\n</labwc_config>"));
    } else {
        const QString indent = indentBefore(text, rootEnd) + QStringLiteral("  ");
        edited.insert(rootEnd - indentBefore(text, rootEnd).size(),
            indent + QStringLiteral("<windowRules>\n") + ruleFor(windowClass, indent + QStringLiteral("  ")) + indent
                + QStringLiteral("</windowRules>\n"));
    }
    return edited.toUtf8();
}

std::string addLabwcRule(const QString &rcPath, const QString &windowClass)
{
    QFile existing(rcPath);
    QByteArray before;
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return "Cannot read " + rcPath.toStdString() + ": " + existing.errorString().toStdString();
        before = existing.readAll();
        existing.close();
    }
    const QByteArray after = labwcConfigWithRule(before, windowClass);
    if (after.isEmpty())
        return rcPath.toStdString() + " is not a labwc configuration that can be read; add the rule by hand.";
    if (!QDir().mkpath(QFileInfo(rcPath).absolutePath()))
        return "Cannot make the folder of " + rcPath.toStdString();
    if (!before.isEmpty()) {
        // The first free name beside it: an earlier backup stays as it is.
        QString backup = rcPath + QStringLiteral(".bak");
        for (int n = 2; QFileInfo::exists(backup); ++n)
            backup = rcPath + QStringLiteral(".bak") + QString::number(n);
        if (!QFile::copy(rcPath, backup))
            return "Cannot keep a copy of " + rcPath.toStdString() + " as " + backup.toStdString();
    }
    QSaveFile file(rcPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(after) != after.size() || !file.commit())
        return "Cannot write " + rcPath.toStdString() + ": " + file.errorString().toStdString();
    return {};
}

std::unique_ptr<WindowSystem> makeLabwcWindowSystem(std::unique_ptr<WindowSystem> x11)
{
    return std::make_unique<LabwcWindowSystem>(std::move(x11));
}

} // namespace zx
