// A reader emulator (kvr7x-emu) running as its own process for one test,
// serving on a free local port.
#ifndef KVR_TESTS_EMULATOR_PROCESS_H
#define KVR_TESTS_EMULATOR_PROCESS_H

#include <QProcess>
#include <QString>

namespace kvr::test_support {

class EmulatorProcess {
public:
    EmulatorProcess() {
#ifdef KVR_EMULATOR_PROGRAM
        process_.setProgram(QStringLiteral(KVR_EMULATOR_PROGRAM));
        process_.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
        process_.start();
        if (!process_.waitForStarted(5000)) return;
        // It names its address once it serves: "kvr7x-emu: serving rfc2217://...".
        QByteArray output;
        while (!output.contains('\n') && process_.waitForReadyRead(5000)) output += process_.readAllStandardOutput();
        const qsizetype at = output.indexOf("rfc2217://");
        if (at >= 0) url_ = QString::fromLatin1(output.mid(at, output.indexOf('\n', at) - at)).trimmed();
#endif
    }
    ~EmulatorProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }
    EmulatorProcess(const EmulatorProcess &) = delete;
    EmulatorProcess &operator=(const EmulatorProcess &) = delete;

    static bool available() {
#ifdef KVR_EMULATOR_PROGRAM
        return true;
#else
        return false;
#endif
    }
    // "rfc2217://127.0.0.1:PORT", or empty when it did not start.
    const QString &url() const { return url_; }

private:
    QProcess process_;
    QString url_;
};

}  // namespace kvr::test_support

#endif
