#include "console/info_windows.h"

#include "runtime/qt/app_icon.h"
#include "runtime/settings_file.h"
#include "runtime/qt/western_text.h"
#include "runtime/qt/window.h"
#include "runtime/qt/window_position.h"

#include <QLabel>
#include <QPushButton>

namespace kvr::console {

namespace {

// A small window with its own place in the settings file and an "OK"
// button that closes it.
class PlacedWindow : public runtime::qt::Window {
public:
    PlacedWindow(const runtime::WindowDefinition &definition, runtime::UserInteraction &interaction,
                 std::string section, QWidget *parent)
        : runtime::qt::Window(definition, interaction, parent), section_(std::move(section)) {
        setWindowIcon(runtime::qt::applicationIcon());
    }

    QPushButton *addOkButton(int x, int y, int w, int h) {
        auto *ok = new QPushButton("OK", client());
        ok->setObjectName("ok");
        ok->setDefault(true);
        place(ok, x, y, w, h);
        connect(ok, &QPushButton::clicked, this, &QWidget::close);
        return ok;
    }

protected:
    void opened() override { runtime::qt::restoreWindowPosition(this, section_, runtime::kSettingsFile); }
    void closing() override { runtime::qt::storeWindowPosition(this, section_, runtime::kSettingsFile); }

private:
    std::string section_;
};

class ReaderInfoWindow : public PlacedWindow {
public:
    ReaderInfoWindow(runtime::UserInteraction &interaction, const ReaderIdentification &identification,
                     const std::string &portName, QWidget *parent)
        : PlacedWindow(definition(), interaction, "InfoLector", parent), identification_(identification),
          portName_(portName) {
        struct Row {
            const char *label;
            const char *name;
            int y;
        };
        const Row rows[] = {{"Modelo:", "model", 5},
                            {"Número de Serie:", "serialNumber", 20},
                            {"Puerto de Comunicaciones:", "port", 35},
                            {"Version Hardware:", "hardwareVersion", 49},
                            {"Version Firmware:", "firmwareVersion", 64}};
        for (const Row &row : rows) {
            auto *label = new QLabel(row.label, client());
            place(label, 5, row.y, 130, 10);
            auto *value = new QLabel(client());
            value->setObjectName(row.name);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            place(value, 139, row.y, 116, 10);
            values_.push_back(value);
        }
        addOkButton(93, 79, 75, 14)->setFocus();
        showFields();
    }

protected:
    void opened() override {
        PlacedWindow::opened();
        showFields();
    }
    void activated() override { showFields(); }

private:
    static runtime::WindowDefinition definition() {
        runtime::WindowDefinition d;
        d.name = "INFOLECTOR$WINDOW";
        d.title = "Información del Lector";
        d.fontFace = "Fixedsys";
        d.clientSize = runtime::Size{260, 100};
        return d;
    }

    void showFields() {
        const std::string texts[] = {identification_.model, identification_.serialNumber, portName_.substr(0, 4),
                                     identification_.hardwareVersion, identification_.firmwareVersion};
        for (std::size_t i = 0; i < values_.size(); ++i) values_[i]->setText(runtime::fromWestern(texts[i]));
    }

    const ReaderIdentification &identification_;
    std::string portName_;
    std::vector<QLabel *> values_;
};

class AboutWindow : public PlacedWindow {
public:
    AboutWindow(runtime::UserInteraction &interaction, QWidget *parent, const std::string &libraryPlace)
        : PlacedWindow(definition(), interaction, "About", parent) {
        auto *image = new QLabel(client());
        image->setObjectName("icon");
        const int side = std::min(units().toPixelsX(14), units().toPixelsY(14));
        image->setPixmap(runtime::qt::applicationIconPixmap(side));
        place(image, 74, 2, 14, 14);
        const struct {
            const char *text;
            const char *name;
            int y;
        } lines[] = {{kAboutProduct, "product", 16}, {kAboutNotice, "notice", 26}, {kAboutContact, "contact", 45}};
        for (const auto &line : lines) {
            auto *label = new QLabel(line.text, client());
            label->setObjectName(line.name);
            label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
            place(label, 12, line.y, 138, 10);
        }
        if (!libraryPlace.empty()) {
            // Which library the program works on: a file of this station or
            // the team's database; a long place loses its middle.
            auto *library = new QLabel(client());
            library->setObjectName("library");
            library->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
            place(library, 12, 36, 138, 9);
            const QString text = QString::fromUtf8(kAboutLibrary) + QString::fromUtf8(libraryPlace);
            library->setText(library->fontMetrics().elidedText(text, Qt::ElideMiddle, library->width()));
            library->setToolTip(text);
        }
        addOkButton(50, 60, 61, 14)->setFocus();
    }

private:
    static runtime::WindowDefinition definition() {
        runtime::WindowDefinition d;
        d.name = "ABOUT$WINDOW";
        d.title = "Acerca de KvrMan";
        d.fontFace = "Fixedsys";
        d.clientSize = runtime::Size{163, 77};
        return d;
    }
};

}  // namespace

void runReaderInfoWindow(runtime::UserInteraction &interaction, const ReaderIdentification &identification,
                         const std::string &portName, QWidget *parent) {
    ReaderInfoWindow window(interaction, identification, portName, parent);
    window.run();
}

void runAboutWindow(runtime::UserInteraction &interaction, QWidget *parent, const std::string &libraryPlace) {
    AboutWindow window(interaction, parent, libraryPlace);
    window.run();
}

}  // namespace kvr::console
