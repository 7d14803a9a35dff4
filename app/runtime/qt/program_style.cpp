#include "runtime/qt/program_style.h"

#include <QApplication>
#include <QProxyStyle>

namespace kvr::runtime::qt {

namespace {

class ProgramStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

// The application owns the style it is given.
void useProgramStyle() { QApplication::setStyle(new ProgramStyle); }

}  // namespace kvr::runtime::qt
