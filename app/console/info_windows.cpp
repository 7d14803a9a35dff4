#include "console/info_windows.h"

#include "runtime/settings_file.h"
#include "runtime/toolkit.h"
#include "runtime/western_text.h"
#include "runtime/window.h"

#include <memory>
#include <vector>

namespace kvr::console {

using namespace session;

namespace {

// A small window with its own place in the settings file and an "OK"
// button that closes it.
class PlacedWindow : public runtime::WindowEvents {
public:
    PlacedWindow(const runtime::WindowDefinition &definition, runtime::UserInteraction &interaction,
                 std::string section, runtime::Window *parent)
        : window_(interaction.toolkit().makeWindow(definition, interaction, *this, parent)),
          section_(std::move(section)) {}

    void run() { window_->run(); }

    void opened() override { window_->restorePlace(section_, runtime::kSettingsFile); }
    void closing() override { window_->storePlace(section_, runtime::kSettingsFile); }

protected:
    runtime::Window &window() { return *window_; }

    void addOkButton(const runtime::Rect &place) {
        runtime::Button &ok = window_->addButton({.name = "ok", .text = "OK", .place = place, .isDefault = true});
        ok.onPressed([this] { window_->requestClose(); });
        ok.focus();
    }

private:
    std::unique_ptr<runtime::Window> window_;
    std::string section_;
};

class ReaderInfoWindow : public PlacedWindow {
public:
    ReaderInfoWindow(runtime::UserInteraction &interaction, const ReaderIdentification &identification,
                     const std::string &portName, runtime::Window *parent)
        : PlacedWindow({.name = "INFOLECTOR$WINDOW",
                        .title = "Información del Lector",
                        .fontFace = "Fixedsys",
                        .clientSize = {260, 100}},
                       interaction, "InfoLector", parent),
          identification_(identification), portName_(portName) {
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
            window().addLabel({.text = row.label, .place = {5, row.y, 130, 10}});
            values_.push_back(
                &window().addLabel({.name = row.name, .place = {139, row.y, 116, 10}, .selectable = true}));
        }
        addOkButton({93, 79, 75, 14});
        showFields();
    }

    void opened() override {
        PlacedWindow::opened();
        showFields();
    }
    void activated() override { showFields(); }

private:
    void showFields() {
        const std::string texts[] = {identification_.model, identification_.serialNumber, portName_.substr(0, 4),
                                     identification_.hardwareVersion, identification_.firmwareVersion};
        for (std::size_t i = 0; i < values_.size(); ++i) values_[i]->setText(runtime::utf8FromWestern(texts[i]));
    }

    const ReaderIdentification &identification_;
    std::string portName_;
    std::vector<runtime::Label *> values_;
};

class AboutWindow : public PlacedWindow {
public:
    AboutWindow(runtime::UserInteraction &interaction, runtime::Window *parent, const std::string &libraryPlace)
        : PlacedWindow(
              {.name = "ABOUT$WINDOW", .title = "Acerca de KvrMan", .fontFace = "Fixedsys", .clientSize = {163, 77}},
              interaction, "About", parent) {
        window().addIcon({.name = "icon", .place = {74, 2, 14, 14}});
        const struct {
            const char *text;
            const char *name;
            int y;
        } lines[] = {{kAboutProduct, "product", 16}, {kAboutNotice, "notice", 26}, {kAboutContact, "contact", 45}};
        for (const auto &line : lines)
            window().addLabel({.name = line.name,
                               .text = line.text,
                               .place = {12, line.y, 138, 10},
                               .align = runtime::Align::Center});
        if (!libraryPlace.empty()) {
            // Which library the program works on: a file of this station or
            // the team's database; a long place loses its middle.
            window().addLabel({.name = "library",
                               .text = kAboutLibrary + libraryPlace,
                               .place = {12, 36, 138, 9},
                               .align = runtime::Align::Center,
                               .elideMiddle = true});
        }
        addOkButton({50, 60, 61, 14});
    }
};

}  // namespace

void runReaderInfoWindow(runtime::UserInteraction &interaction, const ReaderIdentification &identification,
                         const std::string &portName, runtime::Window *parent) {
    ReaderInfoWindow(interaction, identification, portName, parent).run();
}

void runAboutWindow(runtime::UserInteraction &interaction, runtime::Window *parent, const std::string &libraryPlace) {
    AboutWindow(interaction, parent, libraryPlace).run();
}

}  // namespace kvr::console
