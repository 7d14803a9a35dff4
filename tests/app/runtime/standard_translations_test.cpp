#include "runtime/message_box.h"
#include "runtime/qt/screen_interaction.h"
#include "runtime/qt/standard_translations.h"
#include "when_shown.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace kvr::runtime::qt {
namespace {

QStringList contextMenuTexts() {
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (const QAction *action : menu->actions())
        if (!action->isSeparator()) texts << action->text().section('\t', 0, 0);
    return texts;
}

QStringList boxButtonTexts(const MessageBoxRequest &request) {
    QStringList texts;
    test_support::WhenShown<QDialog> driver([&](QDialog &box) {
        for (const QPushButton *b : box.findChildren<QPushButton *>()) texts << b->text();
        box.findChild<QPushButton *>(QStringLiteral("button%1").arg(int(ButtonNo)))->click();
    });
    ScreenInteraction screen;
    showMessageBox(screen, request);
    EXPECT_TRUE(driver.ran());
    return texts;
}

TEST(StandardTranslations, QtTextsInSpanishTheProgramsOwnAsGiven) {
    const MessageBoxRequest question{"Text", "AVISO", MessageIcon::Stop, ButtonYes | ButtonNo, ButtonYes};
    ASSERT_TRUE(contextMenuTexts().contains("&Paste"));
    {
        const StandardTranslations spanish;
        ASSERT_TRUE(spanish.loaded()) << "Qt's Spanish catalogue (Debian qt6-translations-l10n)";
        const QStringList texts = contextMenuTexts();
        EXPECT_TRUE(texts.contains("&Pegar")) << texts.join('|').toStdString();
        EXPECT_TRUE(texts.contains("&Deshacer")) << texts.join('|').toStdString();
        EXPECT_EQ(boxButtonTexts(question), QStringList({"&Yes", "&No"}));
    }
    EXPECT_TRUE(contextMenuTexts().contains("&Paste")) << "removed with its owner";
}

}  // namespace
}  // namespace kvr::runtime::qt
