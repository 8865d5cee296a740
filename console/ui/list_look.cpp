#include "ui/list_look.h"

#include <QAbstractItemView>

#include "ui/font_settings.h"
#include "ui/program_context.h"

namespace orvel {

void applyListLook(QWidget* window, const ProgramContext& ctx) {
    if (!window)
        return;
    auto* list = window->findChild<QAbstractItemView*>(QStringLiteral("ListView"));
    if (!list)
        return;
    const uint32_t v = ctx.options.colours[3].background;
    QPalette pal = list->palette();
    pal.setColor(QPalette::Base,
                 QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)));
    list->setPalette(pal);
    PropertyList props;
    if (ctx.settings.ReadObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, props)) {
        QFont font = list->font();
        applyFontProperties(props, font);
        list->setFont(font);
    }
    list->viewport()->update();
}

}  // namespace orvel
