#include "runtime/qt/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QStringList>

namespace kvr::runtime::qt {

QString toQtFilter(const QString &filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &pattern : patterns) pattern = pattern.trimmed();
        entries << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(QLatin1Char(' ')));
    }
    // A lone description without patterns offers every file.
    if (entries.isEmpty() && !filter.trimmed().isEmpty())
        entries << QStringLiteral("%1 (*)").arg(parts.front().trimmed());
    return entries.join(QStringLiteral(";;"));
}

QString runOpenFileDialog(const OpenFileRequest &request) {
    const QPointer<QWidget> openedFrom = QApplication::activeWindow();
    QString chosen = QFileDialog::getOpenFileName(openedFrom, QString::fromStdString(request.title),
                                                  QString::fromStdString(request.start),
                                                  toQtFilter(QString::fromStdString(request.filter)));
    // The keyboard goes back to the window the dialog was opened from: a
    // bare X server does not hand it back by itself.
    if (openedFrom && openedFrom->isVisible()) {
        openedFrom->raise();
        openedFrom->activateWindow();
    }
    return chosen;
}

QString runSaveFileDialog(const OpenFileRequest &request) {
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), QString::fromStdString(request.title),
                                        QString::fromStdString(request.start),
                                        toQtFilter(QString::fromStdString(request.filter)));
}

}  // namespace kvr::runtime::qt
