// A fresh settings folder for one test: XDG_CONFIG_HOME points into a
// temporary directory for as long as the object lives.
#ifndef KVR_TESTS_TEMPORARY_CONFIG_H
#define KVR_TESTS_TEMPORARY_CONFIG_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace kvr::test_support {

class TemporaryConfig {
public:
    TemporaryConfig() : saved_(qgetenv("XDG_CONFIG_HOME")), hadValue_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    }
    ~TemporaryConfig() {
        if (hadValue_)
            qputenv("XDG_CONFIG_HOME", saved_);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    TemporaryConfig(const TemporaryConfig &) = delete;
    TemporaryConfig &operator=(const TemporaryConfig &) = delete;

    QString root() const { return dir_.path(); }
    QString settingsPath() const { return dir_.path() + QStringLiteral("/kvrman1/KVRMAN1.INI"); }

    QByteArray settings() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeSettings(const QByteArray &text) const { write(settingsPath(), text); }

    // Maps port names to targets for the driver ("COM3=rfc2217://...").
    void writePorts(const QByteArray &lines) const { write(dir_.path() + QStringLiteral("/kvr7x/ports"), lines); }

private:
    static void write(const QString &path, const QByteArray &text) {
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
    }

    QTemporaryDir dir_;
    QByteArray saved_;
    bool hadValue_;
};

}  // namespace kvr::test_support

#endif
