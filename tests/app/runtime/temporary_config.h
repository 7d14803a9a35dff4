// A fresh settings folder for one test: XDG_CONFIG_HOME points into a
// temporary directory for as long as the object lives (config_home.h), with
// the manager's settings file and the driver's port map at hand in Qt types.
#ifndef KVR_TESTS_TEMPORARY_CONFIG_H
#define KVR_TESTS_TEMPORARY_CONFIG_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <string>

#include "config_home.h"

namespace kvr::test_support {

class TemporaryConfig {
public:
    TemporaryConfig() = default;

    QString root() const { return QString::fromStdString(home_.dir()); }
    QString settingsPath() const { return root() + QStringLiteral("/kvrman1/KVRMAN1.INI"); }

    QByteArray settings() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeSettings(const QByteArray &text) const { write(settingsPath(), text); }

    // Maps port names to targets for the driver ("COM3=rfc2217://...").
    void writePorts(const QByteArray &lines) const { write(root() + QStringLiteral("/kvr7x/ports"), lines); }

private:
    static void write(const QString &path, const QByteArray &text) {
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
    }

    kvr7x::test::ConfigHome home_;
};

}  // namespace kvr::test_support

#endif
