// The reply's decoding in the main window against the reader emulator: the
// card's ATR after its activation and the FCI of a selected DF as the tip
// of both reply data views, with what the status word means; nothing for
// data that decode to nothing; and the history's column.
#include "window_test_support.h"

#include "session/exchange_history.h"
#include "session/exchange_text.h"

#include <QAbstractItemModel>
#include <QTableView>

#include <kvr7x.h>

namespace kvr::console::testing {

using namespace session;
namespace {

class ReplyDecodingWindowTest : public ConsoleWindowTest {
protected:
    static QString tipOfBothViews(runtime::qt::Window &w) {
        const QString tip = field(w, "replyHex")->toolTip();
        EXPECT_EQ(field(w, "replyBytes")->toolTip(), tip);
        return tip;
    }
};

TEST_F(ReplyDecodingWindowTest, TheAtrAndTheFciAreTheTipOfTheReplyViews) {
    startReader();
    runMainWindow("MAIN$WINDOW", [&](runtime::qt::Window &w) {
        choose(w, "reader.activate.async");
        clickSend(w);
        ASSERT_EQ(text(w, "replyHex"), "3B 68 00 00 56 45 58 41 44 45 4D 4F");
        const QStringList atr = tipOfBothViews(w).split('\n');
        ASSERT_GE(atr.size(), 3);
        EXPECT_EQ(atr.first(), "ATR de 12 bytes, TS 3B: convención directa");
        EXPECT_TRUE(atr.contains("Protocolos: T=0"));
        EXPECT_TRUE(atr.contains("Sin TCK: solo se ofrece T=0"));
        EXPECT_EQ(atr.last(), "Proceso correcto") << "the status word's meaning closes the tip";

        // SELECT DF 7F10 asking for its FCI: 61xx, then GET RESPONSE.
        choose(w, "card.isoIn");
        type(w, "INS", "A4");
        type(w, "P1", "00");
        type(w, "P2", "00");
        type(w, "requestHex", "7F10");
        clickSend(w);
        ASSERT_EQ(text(w, "SW1"), "61");
        EXPECT_EQ(tipOfBothViews(w), "") << "no data, nothing decoded";
        const QString le = text(w, "SW2");
        choose(w, "card.isoOut");
        type(w, "INS", "C0");
        type(w, "P1", "00");
        type(w, "P2", "00");
        type(w, "P3", le);
        clickSend(w);
        ASSERT_EQ(text(w, "SW1") + text(w, "SW2"), "9000");
        const QStringList fci = tipOfBothViews(w).split('\n');
        ASSERT_GE(fci.size(), 5);
        EXPECT_EQ(fci[0], "6F [24] Plantilla FCI");
        EXPECT_EQ(fci[1], "  80 [2] Bytes de datos del fichero: 00 00 (0 bytes)");
        EXPECT_EQ(fci[2], "  82 [1] Descriptor de fichero: 38 (DF, no compartible)");
        EXPECT_EQ(fci[3], "  83 [2] Identificador de fichero: 7F 10");
        EXPECT_EQ(fci[4], "  84 [11] Nombre de DF: F0 4B 56 52 37 58 2E 44 45 4D 4F");

        // The label's characters are no BER-TLV: no tip.
        choose(w, "card.isoIn");
        type(w, "INS", "A4");
        type(w, "P2", "0C");
        type(w, "requestHex", "2F00");
        clickSend(w);
        choose(w, "card.isoOut");
        type(w, "INS", "B0");
        type(w, "P3", "0E");
        clickSend(w);
        ASSERT_EQ(text(w, "LEN"), "0E");
        EXPECT_EQ(tipOfBothViews(w), "");

        // The history keeps the decodings in their column.
        choose(w, "utilities.history");
        auto *history = w.findChild<runtime::qt::Window *>("HISTORIAL$WINDOW");
        ASSERT_NE(history, nullptr);
        const QAbstractItemModel *model = history->findChild<QTableView *>("exchanges")->model();
        ASSERT_EQ(model->rowCount(), 5);
        EXPECT_EQ(model->headerData(ColumnDecoding, Qt::Horizontal).toString(), "Decodificación");
        EXPECT_TRUE(model->index(0, ColumnDecoding).data().toString().startsWith("ATR de 12 bytes"));
        EXPECT_EQ(model->index(1, ColumnDecoding).data().toString(), "");
        EXPECT_TRUE(
            model->index(2, ColumnDecoding)
                .data()
                .toString()
                .startsWith("6F [24] Plantilla FCI; 80 [2] Bytes de datos del fichero: 00 00 (0 bytes); 82 [1]"));
        EXPECT_EQ(model->index(3, ColumnDecoding).data().toString(), "");
        EXPECT_EQ(model->index(4, ColumnDecoding).data().toString(), "");
        history->close();
    });
}

}  // namespace
}  // namespace kvr::console::testing
