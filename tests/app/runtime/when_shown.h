// Drives a modal dialog of the platform (message box, file dialog) from
// inside its own event loop: once a dialog of the wanted kind is shown, the
// operation is queued to it and runs as the first event of its loop.
#ifndef KVR_TESTS_WHEN_SHOWN_H
#define KVR_TESTS_WHEN_SHOWN_H

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace kvr::test_support {

template <typename Dialog>
class WhenShown : public QObject {
public:
    explicit WhenShown(std::function<void(Dialog &)> operate) : operate_(std::move(operate)) {
        qApp->installEventFilter(this);
    }
    ~WhenShown() override { qApp->removeEventFilter(this); }

    bool ran() const { return ran_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && !queued_) {
            if (auto *dialog = qobject_cast<Dialog *>(watched); dialog && dialog->isModal()) {
                queued_ = true;
                QPointer<Dialog> target(dialog);
                QMetaObject::invokeMethod(
                    dialog,
                    [this, target] {
                        if (!target) return;
                        ran_ = true;
                        operate_(*target);
                    },
                    Qt::QueuedConnection);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(Dialog &)> operate_;
    bool queued_ = false;
    bool ran_ = false;
};

}  // namespace kvr::test_support

#endif
