#include "session/menu_plan.h"

#include "common/reader_protocol.h"

namespace kvr::session {

namespace {

PreparedCommand readerCommand(uint8_t ins, uint8_t p1 = 0, uint8_t p2 = 0) {
    PreparedCommand prepared;
    prepared.header = CommandHeader{reader::kReaderCommand, 0x00, ins, p1, p2, 0x00};
    return prepared;
}

PreparedCommand isoCommand(uint8_t code, bool withData) {
    PreparedCommand prepared;
    prepared.header = CommandHeader{code, 0x00, 0x00, 0x00, 0x00, 0x00};
    prepared.requestDataEnabled = withData;
    return prepared;
}

PreparedCommand activateSam(uint8_t slot) {
    PreparedCommand prepared = readerCommand(reader::kActivateCard, slot);
    prepared.currentSam = slot;
    return prepared;
}

}  // namespace

PreparedCommand prepareCommand(MenuCommand item, uint8_t currentSam) {
    switch (item) {
    case MenuCommand::StatusRequest: return readerCommand(reader::kStatusRequest);
    case MenuCommand::InsertCard: return readerCommand(reader::kInsertCard);
    case MenuCommand::SelectAsync: return readerCommand(reader::kSelectCardType, 0, 0x00);
    case MenuCommand::SelectQx256: return readerCommand(reader::kSelectCardType, 0, 0x06);
    case MenuCommand::SelectQxP2K: return readerCommand(reader::kSelectCardType, 0, 0x02);
    case MenuCommand::SelectQx416: return readerCommand(reader::kSelectCardType, 0, 0x05);
    case MenuCommand::SelectQxExK: return readerCommand(reader::kSelectCardType, 0, 0x07);
    case MenuCommand::SelectQxExKExtended: return readerCommand(reader::kSelectCardType, 0, 0x08);
    case MenuCommand::ActivateCard: return readerCommand(reader::kActivateCard);
    case MenuCommand::ActivateAsync: return readerCommand(reader::kActivateCard, 0, 0x00);
    case MenuCommand::ActivateQxP2K: return readerCommand(reader::kActivateCard, 0, 0x02);
    case MenuCommand::ActivateQx416: return readerCommand(reader::kActivateCard, 0, 0x05);
    case MenuCommand::ActivateQxExK: return readerCommand(reader::kActivateCard, 0, 0x07);
    case MenuCommand::ActivateGpm896: return readerCommand(reader::kActivateCard, 0, 0x06);
    case MenuCommand::ActivateSam1: return activateSam(1);
    case MenuCommand::ActivateSam2: return activateSam(2);
    case MenuCommand::ActivateSam3: return activateSam(3);
    case MenuCommand::DeactivateSam: return readerCommand(reader::kDeactivateCard, currentSam);
    case MenuCommand::DeactivateCard: return readerCommand(reader::kDeactivateCard);
    case MenuCommand::ExtractCard: return readerCommand(reader::kRemoveCard);
    case MenuCommand::CardIsoOut: return isoCommand(reader::kIsoOut, false);
    case MenuCommand::CardIsoIn: return isoCommand(reader::kIsoIn, true);
    case MenuCommand::SamIsoOut: return isoCommand(static_cast<uint8_t>(reader::kIsoOut + currentSam), false);
    case MenuCommand::SamIsoIn: return isoCommand(static_cast<uint8_t>(reader::kIsoIn + currentSam), true);
    }
    return PreparedCommand{};
}

MenuLayout adjustMenus(const ReaderIdentification &identification, const SamProbe &probe) {
    MenuLayout layout;
    if (!identification.identified) return layout;

    if (identification.extendedLayout()) {
        layout.selectCardTypeShown = false;
        layout.activateCardItemShown = false;
        layout.activateSamEnabled = false;
        layout.deactivateSamEnabled = false;
        layout.samMenuEnabled = false;
        for (uint8_t slot = 1; slot <= 3; ++slot) {
            // Only "no card" counts as an empty slot; a driver error does not.
            if (probe(slot) == reader::kStatNoCard) {
                layout.samSlotEnabled[slot - 1] = false;
            } else {
                layout.activateSamEnabled = true;
                layout.deactivateSamEnabled = true;
                layout.samMenuEnabled = true;
            }
        }
        return layout;
    }

    layout.activateCardMenuShown = false;
    layout.activateSamShown = false;
    layout.samMenuShown = false;
    layout.deactivateSamShown = false;
    switch (identification.modelLetter()) {
    case 'C': layout.selectCardTypeEnabled[1] = true; break;
    case 'D': layout.selectCardTypeEnabled[2] = true; break;
    case 'E': layout.selectCardTypeEnabled[3] = true; break;
    case 'B': layout.selectCardTypeEnabled[4] = true; break;
    case 'W': layout.selectCardTypeEnabled[5] = true; break;
    default: break;
    }
    return layout;
}

}  // namespace kvr::session
