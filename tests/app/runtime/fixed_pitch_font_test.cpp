// The face taken for "Fixedsys" whatever fonts a machine has: a program of
// its own (fixed_font_probe) runs under a fontconfig configuration that
// offers only the font files of the case and maps the generic "monospace",
// which the desktop's fixed font asks for, to a face of the case.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace kvr::runtime::qt {
namespace {

struct FontCase {
    const char *name;
    std::vector<const char *> files;
    const char *monospace;  // the face "monospace" resolves to
    const char *expected;   // the face taken
    bool fixed;             // whether it is fixed-pitch
};

// The first file of that name under the font folders, or nothing.
QString fontFile(const QString &name) {
    for (const QString &folder : QString(KVR_TEST_FONT_DIRS).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        QDirIterator it(folder, {name}, QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext()) return it.next();
    }
    return {};
}

// The files a case needs that this machine does not have.
QStringList missingFiles(const std::vector<FontCase> &cases) {
    QStringList missing;
    for (const FontCase &c : cases)
        for (const char *file : c.files)
            if (fontFile(QString::fromLatin1(file)).isEmpty() && !missing.contains(QString::fromLatin1(file)))
                missing << QString::fromLatin1(file);
    return missing;
}

// Runs the probe with only the case's fonts; its report as key -> rest of
// the line.
std::map<std::string, std::string> probe(const FontCase &c) {
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    QDir().mkpath(dir.filePath("fonts"));
    for (const char *file : c.files) {
        const QString source = fontFile(QString::fromLatin1(file));
        EXPECT_TRUE(QFile::link(source, dir.filePath("fonts/") + QString::fromLatin1(file))) << file;
    }
    QFile conf(dir.filePath("fonts.conf"));
    EXPECT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("<?xml version=\"1.0\"?>\n"
                              "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                              "<fontconfig>\n"
                              "  <dir>%1</dir>\n"
                              "  <cachedir>%2</cachedir>\n"
                              "  <alias binding=\"same\"><family>monospace</family>"
                              "<prefer><family>%3</family></prefer></alias>\n"
                              "  <alias binding=\"same\"><family>sans-serif</family>"
                              "<prefer><family>DejaVu Sans</family></prefer></alias>\n"
                              "</fontconfig>\n")
                   .arg(dir.filePath("fonts"), dir.filePath("cache"), QString::fromLatin1(c.monospace))
                   .toUtf8());
    conf.close();

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("FONTCONFIG_FILE", conf.fileName());
    environment.remove("FONTCONFIG_PATH");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(KVR_FIXED_FONT_PROBE, {});
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    std::map<std::string, std::string> report;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0) report[line.left(space).toStdString()] = line.mid(space + 1).toStdString();
    }
    return report;
}

void check(const std::vector<FontCase> &cases) {
    for (const FontCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto report = probe(c);
        EXPECT_EQ(report["chosen"], c.expected);
        const std::string widths = report["widths"];
        const std::string units = report["units"];
        const auto narrowest = widths.substr(0, widths.find(' ')), widest = widths.substr(widths.find(' ') + 1);
        EXPECT_EQ(narrowest == widest, c.fixed) << "widths " << widths;
        // In a fixed-pitch font the average character width is the width of
        // every character.
        if (c.fixed) {
            EXPECT_EQ(units.substr(0, units.find(' ')), units.substr(units.find(' ') + 1)) << units;
        }
    }
}

TEST(FixedPitchFont, DejaVuFaces) {
    const std::vector<FontCase> cases = {
        {"a fixed-pitch desktop font is taken as it is",
         {"DejaVuSans.ttf", "DejaVuSansMono.ttf"},
         "DejaVu Sans Mono",
         "DejaVu Sans Mono",
         true},
        {"a proportional desktop font gives way to a fixed-pitch face",
         {"DejaVuSans.ttf", "DejaVuSansMono.ttf"},
         "DejaVu Sans",
         "DejaVu Sans Mono",
         true},
        {"without any fixed-pitch face the desktop's font is kept",
         {"DejaVuSans.ttf"},
         "DejaVu Sans",
         "DejaVu Sans",
         false},
    };
    if (const QStringList missing = missingFiles(cases); !missing.isEmpty())
        GTEST_SKIP() << "needs " << missing.join(", ").toStdString() << " (fonts-dejavu-core, scripts/install-deps)";
    check(cases);
}

// Noto Sans Mono has letters of one width but zero-width marks, so
// fontconfig does not call it monospaced.
TEST(FixedPitchFont, NotoSansMono) {
    const std::vector<FontCase> cases = {
        {"the desktop's Noto Sans Mono is taken",
         {"DejaVuSans.ttf", "NotoSansMono-Regular.ttf"},
         "Noto Sans Mono",
         "Noto Sans Mono",
         true},
        {"a proportional desktop font gives way to Noto Sans Mono",
         {"DejaVuSans.ttf", "NotoSansMono-Regular.ttf"},
         "DejaVu Sans",
         "Noto Sans Mono",
         true},
        {"with DejaVu Sans Mono beside it, the desktop's choice stands",
         {"DejaVuSans.ttf", "DejaVuSansMono.ttf", "NotoSansMono-Regular.ttf"},
         "Noto Sans Mono",
         "Noto Sans Mono",
         true},
    };
    if (const QStringList missing = missingFiles(cases); !missing.isEmpty())
        GTEST_SKIP() << "needs " << missing.join(", ").toStdString()
                     << " (fonts-dejavu-core, fonts-noto-mono, scripts/install-deps)";
    check(cases);
}

}  // namespace
}  // namespace kvr::runtime::qt
