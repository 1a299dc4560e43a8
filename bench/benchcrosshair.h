#pragma once

// The real crosshair with its Qt front-end, placed in a folder of the benchmark's own.
#include "captureroute.h"
#include "qtcrosshair.h"

#include <QFile>
#include <QGuiApplication>
#include <QString>

#include <filesystem>
#include <memory>

inline std::unique_ptr<zx::QtCrosshair> makeBenchCrosshair(
    const QString &name, const QString &folder, const QString &images)
{
    const auto path = [](const QString &p) { return std::filesystem::path(QFile::encodeName(p).toStdString()); };
    const zx::ProgramPlace place { name.toStdString(), path(folder),
        path(folder + QStringLiteral("/") + name + QStringLiteral(".ini")), path(images), false, { path(folder) } };
    const zx::Desktop desktop = zx::decideDesktop(
        zx::sessionFromEnvironment(), QGuiApplication::platformName() == QLatin1String("xcb"));
    return std::make_unique<zx::QtCrosshair>(place, desktop);
}
