// Qt's own texts (the context menu of entry fields, the file dialog, ...) in
// Spanish, the language of the manager.  Only Qt's texts change: the
// program's own texts are written as they are to appear and never pass
// through a translation, so the English message-box buttons of the standard
// warnings stay English.
#ifndef KVR_RUNTIME_QT_STANDARD_TRANSLATIONS_H
#define KVR_RUNTIME_QT_STANDARD_TRANSLATIONS_H

#include <memory>

class QTranslator;

namespace kvr::runtime::qt {

// Installs Qt's Spanish catalogue for as long as it lives.  A missing
// catalogue leaves Qt's texts in English.
class StandardTranslations {
public:
    StandardTranslations();
    ~StandardTranslations();
    StandardTranslations(const StandardTranslations &) = delete;
    StandardTranslations &operator=(const StandardTranslations &) = delete;

    bool loaded() const { return translator_ != nullptr; }

private:
    std::unique_ptr<QTranslator> translator_;
};

}  // namespace kvr::runtime::qt

#endif
