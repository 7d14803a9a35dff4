#include "runtime/qt/window.h"

#include "runtime/qt/app_icon.h"
#include "runtime/qt/controls.h"
#include "runtime/qt/entry_field.h"
#include "runtime/qt/menus.h"
#include "runtime/qt/number_field.h"
#include "runtime/qt/window_position.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>
#include <utility>

namespace kvr::runtime::qt {

namespace {

// The client area: controls placed by hand, its designed size its size hint.
class ClientArea : public QWidget {
public:
    ClientArea(QSize size, QWidget *parent) : QWidget(parent), size_(size) {}
    QSize sizeHint() const override { return size_; }
    QSize minimumSizeHint() const override { return {}; }

private:
    QSize size_;
};

}  // namespace

Window::Window(const WindowDefinition &definition, UserInteraction &interaction, QWidget *parent)
    : QMainWindow(parent), name_(definition.name), interaction_(interaction),
      units_(windowFont(definition.fontFace, definition.fontPoints)), resizable_(definition.resizable) {
    setObjectName(QString::fromStdString(definition.name));
    setWindowTitle(QString::fromStdString(definition.title));
    setWindowIcon(applicationIcon());
    setFont(windowFont(definition.fontFace, definition.fontPoints));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);

    client_ = new ClientArea(units_.toPixels(toQt(definition.clientSize)), this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);

    if (definition.menuBar) menus_ = new Menus(menuBar());
    if (definition.statusBar) {
        for (int zone = 0; zone < std::max(1, definition.statusZones); ++zone) {
            auto *label = new QLabel(statusBar());
            label->setObjectName(zone == 0 ? QStringLiteral("statusText")
                                           : QStringLiteral("statusText%1").arg(zone + 1));
            label->setTextFormat(Qt::PlainText);
            if (definition.statusZones > 1) {
                // Zones side by side, each in its own sunken pane; a long
                // text is cut rather than widening the window.
                label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                label->setMinimumWidth(1);
            }
            statusBar()->addWidget(label, zone == 0 ? 1 : 0);
            statusZones_.push_back(label);
        }
        statusBar()->setSizeGripEnabled(definition.resizable);
    }
}

Window::~Window() = default;

void Window::place(QWidget *control, int x, int y, int w, int h) const {
    control->setGeometry(units_.toPixels(QRect(x, y, w, h)));
}

void Window::place(QWidget *control, int x, int y) const {
    control->move(units_.toPixels(QPoint(x, y)));
    control->adjustSize();
}

void Window::setStatusText(const QString &text, int zone) {
    if (zone >= 0 && zone < int(statusZones_.size())) statusZones_[zone]->setText(text);
}

void Window::setStatusToolTip(const QString &text, int zone) {
    if (zone >= 0 && zone < int(statusZones_.size())) statusZones_[zone]->setToolTip(text);
}

QString Window::statusText(int zone) const {
    return zone >= 0 && zone < int(statusZones_.size()) ? statusZones_[zone]->text() : QString();
}

namespace {

Qt::Alignment alignmentOf(Align align) {
    switch (align) {
    case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case Align::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

template <class Widget>
Widget *named(Widget *widget, const std::string &name) {
    if (!name.empty()) widget->setObjectName(QString::fromStdString(name));
    return widget;
}

}  // namespace

runtime::Label &Window::addLabel(const LabelDefinition &definition) {
    auto *label = named(new QLabel(client_), definition.name);
    label->setTextFormat(Qt::PlainText);
    if (definition.align != Align::Left) label->setAlignment(alignmentOf(definition.align));
    if (definition.selectable) label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const Rect &place = definition.place;
    const bool fitted = place.width == 0 && place.height == 0;
    if (!fitted) label->setGeometry(units_.toPixels(toQt(place)));
    auto control = std::make_unique<LabelControl>(label, definition.elideMiddle);
    if (!definition.text.empty()) control->setText(definition.text);
    if (fitted) {
        label->move(units_.toPixels(QPoint(place.x, place.y)));
        label->adjustSize();
    }
    auto &made = *control;
    controls_.push_back(std::move(control));
    return made;
}

runtime::Button &Window::addButton(const ButtonDefinition &definition) {
    auto *button = named(new QPushButton(QString::fromStdString(definition.text), client_), definition.name);
    button->setGeometry(units_.toPixels(toQt(definition.place)));
    if (definition.isDefault) button->setDefault(true);
    auto control = std::make_unique<ButtonControl>(button);
    auto &made = *control;
    controls_.push_back(std::move(control));
    return made;
}

runtime::EntryField &Window::addEntryField(const EntryFieldDefinition &definition) {
    auto *field = named(new EntryField(definition.maxLength, client_), definition.name);
    field->setGeometry(units_.toPixels(toQt(definition.place)));
    field->setUpperCase(definition.upperCase);
    field->setReadOnly(definition.readOnly);
    auto control = std::make_unique<EntryFieldControl>(field);
    auto &made = *control;
    controls_.push_back(std::move(control));
    return made;
}

runtime::NumberField &Window::addNumberField(const NumberFieldDefinition &definition) {
    auto *field = named(new NumberField(definition.positions, client_), definition.name);
    field->setGeometry(units_.toPixels(toQt(definition.place)));
    auto control = std::make_unique<NumberFieldControl>(field);
    auto &made = *control;
    controls_.push_back(std::move(control));
    return made;
}

runtime::GroupBox &Window::addGroupBox(const GroupBoxDefinition &definition) {
    auto *box = named(new QGroupBox(QString::fromStdString(definition.text), client_), definition.name);
    box->setGeometry(units_.toPixels(toQt(definition.place)));
    auto control = std::make_unique<GroupBoxControl>(box);
    auto &made = *control;
    controls_.push_back(std::move(control));
    return made;
}

runtime::Icon &Window::addIcon(const IconDefinition &definition) {
    auto *image = named(new QLabel(client_), definition.name);
    const QRect place = units_.toPixels(toQt(definition.place));
    image->setPixmap(applicationIconPixmap(std::min(place.width(), place.height())));
    image->setGeometry(place);
    auto control = std::make_unique<IconControl>(image);
    auto &made = *control;
    controls_.push_back(std::move(control));
    return made;
}

void Window::setStatus(const std::string &text, int zone) { setStatusText(QString::fromStdString(text), zone); }

std::string Window::status(int zone) const { return statusText(zone).toStdString(); }

void Window::setStatusTip(const std::string &text, int zone) { setStatusToolTip(QString::fromStdString(text), zone); }

void Window::restorePlace(const std::string &section, const std::string &file) {
    restoreWindowPosition(this, section, file);
}

void Window::storePlace(const std::string &section, const std::string &file) {
    storeWindowPosition(this, section, file);
}

void Window::activate() {
    raise();
    activateWindow();
}

void Window::setDialogButtons(runtime::Button *enter, runtime::Button *escape) {
    const auto buttonOf = [](runtime::Button *button) -> QAbstractButton * {
        auto *made = dynamic_cast<ButtonControl *>(button);
        return made ? qobject_cast<QAbstractButton *>(made->widget()) : nullptr;
    };
    enterButton_ = buttonOf(enter);
    escapeButton_ = buttonOf(escape);
}

namespace {

// A call posted behind the input already waiting.
class LaterCall : public QEvent {
public:
    static QEvent::Type type() {
        static const auto registered = QEvent::Type(QEvent::registerEventType());
        return registered;
    }
    explicit LaterCall(std::function<void()> call) : QEvent(type()), call_(std::move(call)) {}
    void operator()() const { call_(); }

private:
    std::function<void()> call_;
};

}  // namespace

void Window::afterWaitingInput(std::function<void()> call) {
    QCoreApplication::postEvent(this, new LaterCall(std::move(call)), Qt::LowEventPriority);
}

void Window::customEvent(QEvent *event) {
    if (event->type() == LaterCall::type()) {
        (*static_cast<LaterCall *>(event))();
        return;
    }
    QMainWindow::customEvent(event);
}

void Window::run() {
    // The program ends when the program entry returns, not when some window
    // happens to be the last one closed.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    running_ = true;
    closed_ = false;
    // The window this one was opened from gets the keyboard back when this
    // one closes: a window manager may not hand it back, and a bare X
    // server never does.
    const QPointer<QWidget> openedFrom = QApplication::activeWindow();
    // The size the window is designed for, even where that is more than
    // adjustSize() would allow on a small screen.
    resize(sizeHint());
    if (!resizable_) setFixedSize(sizeHint());
    show();
    opened();
    if (!closed_) {
        QEventLoop loop;
        loop_ = &loop;
        QMetaObject::invokeMethod(
            &loop, [this] { interaction_.windowRunning(*this); }, Qt::QueuedConnection);
        loop.exec();
        loop_ = nullptr;
    }
    running_ = false;
    hide();
    if (openedFrom && openedFrom != this && openedFrom->isVisible()) {
        openedFrom->raise();
        openedFrom->activateWindow();
    }
}

void Window::closeEvent(QCloseEvent *event) {
    if (!running_ || closed_) {
        event->accept();
        return;
    }
    if (!closeRequested()) {
        event->ignore();
        return;
    }
    closing();
    closed_ = true;
    event->accept();
    if (loop_) loop_->quit();
}

void Window::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && running_ && !closed_) activated();
}

void Window::keyPressEvent(QKeyEvent *event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape && escapeButton_) {
        escapeButton_->click();
        return;
    }
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && enterButton_ &&
        !qobject_cast<QPushButton *>(focusWidget())) {
        enterButton_->click();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto *button = qobject_cast<QAbstractButton *>(focusWidget()); button && button->isEnabled()) {
            button->click();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

}  // namespace kvr::runtime::qt
