#include "runtime/qt/standard_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kvr::runtime::qt {

StandardTranslations::StandardTranslations() {
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QStringLiteral("qtbase_es"), folder) && QCoreApplication::installTranslator(translator.get()))
        translator_ = std::move(translator);
}

StandardTranslations::~StandardTranslations() {
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

}  // namespace kvr::runtime::qt
