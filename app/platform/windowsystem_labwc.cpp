// The crosshair window under labwc: an X11 window (through Xwayland) that
// labwc places as asked, but keeps above the others only by a window rule of
// its own, in its rc.xml: it ignores an X11 window's own above state (up to
// 0.9.4), or takes it only where a rule allows it (from 0.9.6). The rule
// that works with every version toggles the state once the window is shown;
// the window then must not ask for it itself, or the two would cancel out
// where labwc honours both.
#include "windowsystem_backends.h"

#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

#include <fnmatch.h>

namespace zx {

namespace {

// The file labwc reads, first the user's, then the system's; with
// --merge-config it reads them all, so a rule counts in any of them.
std::vector<QString> rcFiles()
{
    std::vector<QString> files;
    const QString home = qEnvironmentVariable("HOME");
    QString user = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (user.isEmpty() && !home.isEmpty())
        user = home + QStringLiteral("/.config");
    if (!user.isEmpty())
        files.push_back(user + QStringLiteral("/labwc/rc.xml"));
    QString system = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/etc/xdg");
    for (const QString &folder : system.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        files.push_back(folder + QStringLiteral("/labwc/rc.xml"));
    return files;
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

private:
    static constexpr qint64 MaxRcBytes = 4 << 20; // far more than any hand-written configuration
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

std::unique_ptr<WindowSystem> makeLabwcWindowSystem(std::unique_ptr<WindowSystem> x11)
{
    return std::make_unique<LabwcWindowSystem>(std::move(x11));
}

} // namespace zx
