#include "runtime/message_box.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <cstdlib>

namespace kvr::runtime {

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

std::string messageButtonLabel(MessageButton button) {
    switch (button) {
    case ButtonOk: return "OK";
    case ButtonYes: return "&Yes";
    case ButtonNo: return "&No";
    case ButtonAbort: return "&Abort";
    case ButtonRetry: return "&Retry";
    case ButtonIgnore: return "&Ignore";
    case ButtonCancel: return "Cancel";
    case ButtonHelp: return "&Help";
    }
    return {};
}

namespace {

// A box without any known button could never be closed: it gets OK.  A
// default that is not among the buttons falls to the first one.
MessageBoxRequest usable(MessageBoxRequest request) {
    request.buttons &= 0xFF;
    if (request.buttons == 0) request.buttons = ButtonOk;
    if (!(request.buttons & request.defaultButton) || (request.defaultButton & (request.defaultButton - 1))) {
        for (MessageButton b : kOrder) {
            if (request.buttons & b) {
                request.defaultButton = b;
                break;
            }
        }
    }
    return request;
}

}  // namespace

int showMessageBox(UserInteraction &interaction, const MessageBoxRequest &asked) {
    return interaction.answerMessageBox(usable(asked));
}

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

void endProgram(UserInteraction &interaction, const std::string &text) {
    showMessageBox(interaction, {text, "Halt", MessageIcon::Stop, ButtonOk, ButtonOk});
    interaction.endProgram(text);
    std::exit(0);
}

}  // namespace kvr::runtime
