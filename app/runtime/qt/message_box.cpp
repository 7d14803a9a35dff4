#include "runtime/qt/message_box.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace kvr::runtime::qt {

namespace {

constexpr MessageButton kOrder[] = {ButtonOk,    ButtonYes,    ButtonNo,     ButtonAbort,
                                    ButtonRetry, ButtonIgnore, ButtonCancel, ButtonHelp};

// A box that ends only through its buttons: Escape and the close control
// press Cancel when the box has one and do nothing otherwise.
class ButtonBox : public QDialog {
public:
    explicit ButtonBox(const MessageBoxRequest &request) : hasCancel_(request.buttons & ButtonCancel) {
        setWindowTitle(QString::fromStdString(request.caption));
        setModal(true);
        auto *outer = new QVBoxLayout(this);
        auto *row = new QHBoxLayout;
        if (request.icon != MessageIcon::None) {
            auto *icon = new QLabel(this);
            icon->setPixmap(iconFor(request.icon).pixmap(32, 32));
            icon->setAlignment(Qt::AlignTop);
            row->addWidget(icon);
        }
        auto *text = new QLabel(QString::fromStdString(request.text), this);
        text->setWordWrap(true);
        text->setTextFormat(Qt::PlainText);
        text->setObjectName(QStringLiteral("messageText"));
        text->setMinimumWidth(280);
        row->addWidget(text, 1);
        outer->addLayout(row);
        auto *buttons = new QHBoxLayout;
        buttons->addStretch(1);
        for (MessageButton b : kOrder) {
            if (!(request.buttons & b)) continue;
            auto *button = new QPushButton(QString::fromStdString(messageButtonLabel(b)), this);
            button->setObjectName(QStringLiteral("button%1").arg(int(b)));
            button->setAutoDefault(true);
            if (b == request.defaultButton) {
                button->setDefault(true);
                button->setFocus();
            }
            connect(button, &QPushButton::clicked, this, [this, b] { done(int(b)); });
            buttons->addWidget(button);
        }
        buttons->addStretch(1);
        outer->addLayout(buttons);
    }

    void reject() override {
        if (hasCancel_) done(ButtonCancel);
    }

private:
    static QIcon iconFor(MessageIcon icon) {
        QStyle *style = QApplication::style();
        switch (icon) {
        case MessageIcon::Question: return style->standardIcon(QStyle::SP_MessageBoxQuestion);
        case MessageIcon::Exclamation: return style->standardIcon(QStyle::SP_MessageBoxWarning);
        case MessageIcon::Stop: return style->standardIcon(QStyle::SP_MessageBoxCritical);
        case MessageIcon::Information: return style->standardIcon(QStyle::SP_MessageBoxInformation);
        case MessageIcon::None: break;
        }
        return {};
    }

    bool hasCancel_;
};

}  // namespace

int runMessageBox(const MessageBoxRequest &request) {
    ButtonBox box(request);
    // A box waits for the operator, even in the middle of a busy operation
    // that shows the wait cursor.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    int result = box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    if (result == QDialog::Rejected) result = (request.buttons & ButtonCancel) ? ButtonCancel : request.defaultButton;
    return result;
}

}  // namespace kvr::runtime::qt
