#include "console/main_menu.h"

#include "runtime/qt/key_code.h"
#include "runtime/qt/menus.h"

namespace kvr::console {

using namespace session;

namespace {

constexpr uint32_t kKeyDelete = 0x2E;
constexpr uint32_t kKeyF2 = 0x71;
constexpr uint32_t kKeyF12 = 0x7B;
constexpr uint32_t ctrl(char letter) { return runtime::KeyCtrl + static_cast<uint32_t>(letter); }

struct PreparingItem {
    int id;
    MenuCommand command;
};

constexpr PreparingItem kPreparingItems[] = {
    {ItemStatusRequest, MenuCommand::StatusRequest},   {ItemInsertCard, MenuCommand::InsertCard},
    {ItemSelectAsync, MenuCommand::SelectAsync},       {ItemSelectQx256, MenuCommand::SelectQx256},
    {ItemSelectQxP2K, MenuCommand::SelectQxP2K},       {ItemSelectQx416, MenuCommand::SelectQx416},
    {ItemSelectQxExK, MenuCommand::SelectQxExK},       {ItemSelectQxExKExtended, MenuCommand::SelectQxExKExtended},
    {ItemActivateCard, MenuCommand::ActivateCard},     {ItemActivateAsync, MenuCommand::ActivateAsync},
    {ItemActivateQxP2K, MenuCommand::ActivateQxP2K},   {ItemActivateQx416, MenuCommand::ActivateQx416},
    {ItemActivateQxExK, MenuCommand::ActivateQxExK},   {ItemActivateGpm896, MenuCommand::ActivateGpm896},
    {ItemActivateSam1, MenuCommand::ActivateSam1},     {ItemActivateSam2, MenuCommand::ActivateSam2},
    {ItemActivateSam3, MenuCommand::ActivateSam3},     {ItemDeactivateSam, MenuCommand::DeactivateSam},
    {ItemDeactivateCard, MenuCommand::DeactivateCard}, {ItemExtractCard, MenuCommand::ExtractCard},
    {ItemCardIsoOut, MenuCommand::CardIsoOut},         {ItemCardIsoIn, MenuCommand::CardIsoIn},
    {ItemSamIsoOut, MenuCommand::SamIsoOut},           {ItemSamIsoIn, MenuCommand::SamIsoIn},
};

}  // namespace

void buildMainMenu(runtime::qt::Menus &m) {
    using runtime::qt::Menus;
    const QString none;

    m.addMenu(MenuReader, "&Lector", Menus::Bar, "reader");
    m.addItem(MenuReader, ItemReset, "&Reset", 0, none, "reader.reset");
    m.addItem(MenuReader, ItemStatusRequest, "&Petición de Estado", 0, none, "reader.status");
    m.addItem(MenuReader, ItemInsertCard, "&Insertar Tarjeta", 0, none, "reader.insert");
    m.addMenu(MenuSelectCardType, "&Seleccionar Tipo de Tarjeta", MenuReader, "reader.select");
    m.addItem(MenuSelectCardType, ItemSelectAsync, "&Asincronas T=0", 0, "KVR73", "reader.select.async");
    m.addItem(MenuSelectCardType, ItemSelectQx256, "Sincronas QX&256", 0, "Soportado por KVR73C",
              "reader.select.qx256");
    m.addItem(MenuSelectCardType, ItemSelectQxP2K, "Sincronas QX&P2K", 0, "Soportado por KVR73D",
              "reader.select.qxp2k");
    m.addItem(MenuSelectCardType, ItemSelectQx416, "Síncronas QX&416", 0, "Soportado por KVR73E",
              "reader.select.qx416");
    m.addItem(MenuSelectCardType, ItemSelectQxExK, "Síncronas QX&ExK", 0, "Soportado por KVR73B",
              "reader.select.qxexk");
    m.addItem(MenuSelectCardType, ItemSelectQxExKExtended, "Síncronas QXExK E&xtendida", 0, "Soportado por KVR73W",
              "reader.select.qxexkExtended");
    for (int id : {ItemSelectQx256, ItemSelectQxP2K, ItemSelectQx416, ItemSelectQxExK, ItemSelectQxExKExtended})
        m.setEnabled(id, false);
    m.addItem(MenuReader, ItemActivateCard, "&Activar Tarjeta", 0, none, "reader.activate");
    m.addMenu(MenuActivateCard, "&Activar Tarjeta", MenuReader, "reader.activateMenu");
    m.addItem(MenuActivateCard, ItemActivateAsync, "&Asíncronas T=0", 0, none, "reader.activate.async");
    m.addItem(MenuActivateCard, ItemActivateQxP2K, "Síncronas QX&P2K", 0, none, "reader.activate.qxp2k");
    m.addItem(MenuActivateCard, ItemActivateQx416, "Síncronas QX&416", 0, none, "reader.activate.qx416");
    m.addItem(MenuActivateCard, ItemActivateQxExK, "Síncronas QX&ExK", 0, none, "reader.activate.qxexk");
    m.addItem(MenuActivateCard, ItemActivateGpm896, "Síncronas &GPM896", 0, none, "reader.activate.gpm896");
    m.addMenu(MenuActivateSam, "Activar SA&M", MenuReader, "reader.activateSam");
    m.addItem(MenuActivateSam, ItemActivateSam1, "SAM #&1", 0, none, "reader.activateSam.1");
    m.addItem(MenuActivateSam, ItemActivateSam2, "SAM #&2", 0, none, "reader.activateSam.2");
    m.addItem(MenuActivateSam, ItemActivateSam3, "SAM #&3", 0, none, "reader.activateSam.3");
    m.addItem(MenuReader, ItemDeactivateSam, "Desactivar SAM", 0, none, "reader.deactivateSam");
    m.addItem(MenuReader, ItemDeactivateCard, "&Desactivar Tarjeta", 0, none, "reader.deactivate");
    m.addItem(MenuReader, ItemExtractCard, "&Extraer Tarjeta", 0, none, "reader.extract");
    m.addSeparator(MenuReader, SeparatorReaderInfo);
    m.addItem(MenuReader, ItemInfo, "In&fo...", 0, none, "reader.info");
    m.addSeparator(MenuReader, SeparatorReaderExit);
    // Ctrl+X belongs to "Cor&tar", where operators expect it to cut.
    m.addItem(MenuReader, ItemExit, "Salir", 0, none, "reader.exit");

    m.addMenu(MenuEdit, "&Edición", Menus::Bar, "edit");
    m.addItem(MenuEdit, ItemCut, "Cor&tar", ctrl('X'), none, "edit.cut");
    m.addItem(MenuEdit, ItemCopy, "&Copiar", ctrl('C'), none, "edit.copy");
    m.addItem(MenuEdit, ItemPaste, "&Pegar", ctrl('V'), none, "edit.paste");
    m.addItem(MenuEdit, ItemDelete, "&Eliminar", kKeyDelete, none, "edit.delete");

    m.addMenu(MenuCard, "&Tarjeta", Menus::Bar, "card");
    m.addItem(MenuCard, ItemCardIsoOut, "Comando ISO &Out", 0, none, "card.isoOut");
    m.addItem(MenuCard, ItemCardIsoIn, "Comando ISO &In", 0, none, "card.isoIn");
    m.addSeparator(MenuCard, SeparatorCard);
    m.addItem(MenuCard, ItemCardCommands, "[Comandos]", kKeyF12, none, "card.commands");
    m.setEnabled(ItemCardCommands, false);

    m.addMenu(MenuSam, "&SAM", Menus::Bar, "sam");
    m.addItem(MenuSam, ItemSamIsoOut, "Comando ISO &Out", 0, none, "sam.isoOut");
    m.addItem(MenuSam, ItemSamIsoIn, "Comando ISO &In", 0, none, "sam.isoIn");
    m.addSeparator(MenuSam, SeparatorSam);
    m.addItem(MenuSam, ItemSamCommands, "[Comandos]", kKeyF2, none, "sam.commands");
    m.setEnabled(ItemSamCommands, false);

    m.addMenu(MenuUtilities, "&Utilidades", Menus::Bar, "utilities");
    m.addItem(MenuUtilities, ItemCommandBrowser, "&Commandos", 0, none, "utilities.commands");
    m.addItem(MenuUtilities, ItemImport, "&Importar...", 0, none, "utilities.import");
    m.addItem(MenuUtilities, ItemHistory, "&Historial...", 0, none, "utilities.history");
    m.addItem(MenuUtilities, ItemRunScript, "&Ejecutar guión...", 0, none, "utilities.script");

    m.addMenu(MenuHelp, "A&yuda", Menus::Bar, "help");
    m.addItem(MenuHelp, ItemAbout, "&Acerca de KvrMan...", 0, none, "help.about");
}

std::vector<uint32_t> keysKeptByFixedItems() { return {ctrl('X'), ctrl('C'), ctrl('V'), kKeyDelete}; }

std::optional<MenuCommand> preparedBy(int itemId) {
    for (const auto &item : kPreparingItems)
        if (item.id == itemId) return item.command;
    return std::nullopt;
}

void applyMenuLayout(runtime::qt::Menus &m, const MenuLayout &layout) {
    m.setVisible(MenuSelectCardType, layout.selectCardTypeShown);
    m.setVisible(ItemActivateCard, layout.activateCardItemShown);
    m.setVisible(MenuActivateCard, layout.activateCardMenuShown);
    m.setVisible(MenuActivateSam, layout.activateSamShown);
    m.setVisible(ItemDeactivateSam, layout.deactivateSamShown);
    m.setVisible(MenuSam, layout.samMenuShown);
    m.setEnabled(MenuActivateSam, layout.activateSamEnabled);
    m.setEnabled(ItemDeactivateSam, layout.deactivateSamEnabled);
    m.setEnabled(MenuSam, layout.samMenuEnabled);
    const int samItems[] = {ItemActivateSam1, ItemActivateSam2, ItemActivateSam3};
    for (int i = 0; i < 3; ++i) m.setEnabled(samItems[i], layout.samSlotEnabled[i]);
    const int types[] = {ItemSelectAsync, ItemSelectQx256, ItemSelectQxP2K,
                         ItemSelectQx416, ItemSelectQxExK, ItemSelectQxExKExtended};
    for (int i = 0; i < 6; ++i) m.setEnabled(types[i], layout.selectCardTypeEnabled[i]);
}

}  // namespace kvr::console
