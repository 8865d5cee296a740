#include "ui/advanced_param.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/texts.h"
#include "ui/confirm_page.h"
#include "ui/font_settings.h"
#include "ui/message_dialog.h"
#include "ui/program_context.h"
#include "ui/signal_frame.h"
#include "ui/window_placement.h"

namespace orvel {

namespace {

const QString kPlacementSection = QStringLiteral("ADV_PARAM");

QColor fromStored(uint32_t v) {
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}
uint32_t toStored(const QColor& c) {
    return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

// The grid's editors: a drop-down list of the column's two texts, or a
// text edit taking digits for a prefix.
class GridCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const QStringList choices = lineGridChoices(index.column());
        if (!choices.isEmpty()) {
            auto* box = new QComboBox(parent);
            box->addItems(choices);
            // A choice is written back as soon as it is made.
            connect(box, &QComboBox::activated, this, [this, box] {
                auto* self = const_cast<GridCellDelegate*>(this);
                emit self->commitData(box);
                emit self->closeEditor(box);
            });
            return box;
        }
        auto* edit =
            qobject_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
        if (edit)
            edit->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("[0-9]{0,9}")), edit));
        return edit;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(std::max(0, int(box->findText(index.data().toString()))));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            model->setData(index, box->currentText());
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }
};

}  // namespace

TfAdvancedParam::TfAdvancedParam(ProgramContext& ctx, TAdvancedParams& params, QWidget* parent)
    : QDialog(parent), ctx_(ctx), params_(params) {
    setObjectName(QStringLiteral("fAdvancedParam"));
    setWindowTitle(T(textAdvancedParamCaption));
    resize(1010, 600);
    auto* top = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    top->addWidget(pages_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(T(textCancel));
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &TfAdvancedParam::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TfAdvancedParam::reject);
    top->addWidget(buttons);

    const TOperatorRights& r = ctx_.rights;
    buildGeneral(r.has(OperatorRight::ChangeNotifyParams));
    if (r.has(OperatorRight::Administrator))
        buildDirectories();
    if (r.has(OperatorRight::ChangeLineParams)) {
        buildLineGrid();
        buildSignals();
    }
    if (r.has(OperatorRight::Interface))
        buildColours();
    buildConfirm();

    // The handler table, in its fixed order; pages not shown have none.
    auto box = [](QCheckBox* b, bool inverse) {
        return std::function<QVariant()>([b, inverse] { return b->isChecked() != inverse; });
    };
    auto boxLoad = [](QCheckBox* b, bool inverse, std::function<bool()> value) {
        return std::function<QVariant()>([b, inverse, value] {
            b->setChecked(value() != inverse);
            return QVariant(b->isChecked() != inverse);
        });
    };
    ProgramOptions& o = ctx_.options;
    auto addSwitch = [&](const char* name, int n, bool inverse, std::function<bool()> value,
                         std::function<void(bool)> apply) {
        handlers_.add({QString::fromLatin1(name),
                       box(general_[size_t(n)], inverse),
                       boxLoad(general_[size_t(n)], inverse, value),
                       [apply](const QVariant& v) { apply(v.toBool()); },
                       {},
                       false});
    };
    addSwitch(
        "reportAutoShow", 0, false, [&o] { return o.reportAutoShow; },
        [this](bool v) { params_.applyReportAutoShow(v); });
    addSwitch(
        "reportAutoSave", 1, false, [&o] { return o.reportAutoSave; },
        [this](bool v) { params_.applyReportAutoSave(v); });
    notConfirmEditBefore_ = o.notConfirmEditList;
    handlers_.add({QStringLiteral("notConfirmEditList"), box(general_[2], true),
                   boxLoad(general_[2], true, [&o] { return o.notConfirmEditList; }),
                   [this](const QVariant& v) { params_.applyNotConfirmEditList(v.toBool()); },
                   // Clicking changed the program's value at once: back to what it was.
                   [this] { ctx_.options.notConfirmEditList = notConfirmEditBefore_; }, false});
    addSwitch(
        "logSystem", 3, false, [&o] { return o.logSystem; },
        [this](bool v) { params_.applyLogSystem(v); });
    addSwitch(
        "abonentConfirmation", 4, true, [&o] { return o.abonentConfirmation; },
        [this](bool v) { params_.applyAbonentConfirmation(v); });
    if (dirEdits_[0]) {
        for (int d = 0; d < 5; ++d) {
            const auto which = DataDirectory(d);
            QLineEdit* edit = dirEdits_[size_t(d)];
            handlers_.add({QStringLiteral("directory") + QString::number(d),
                           [edit] { return QVariant(edit->text()); },
                           [this, edit, which] {
                               edit->setText(directoryField(ctx_.dirs, which));
                               return QVariant(edit->text());
                           },
                           [this, which](const QVariant& v) {
                               const DirectoryChangeResult res =
                                   params_.applyDirectory(which, v.toString());
                               if (!res.ok())
                                   ShowMessageDialog(res.message, res.caption, mb::kOk,
                                                     res.error == DirectoryChangeError::NotSpecified
                                                         ? kKindWarning
                                                         : kKindError);
                           },
                           {},
                           false});
        }
    }
    if (grid_) {
        handlers_.add({QStringLiteral("lineGrid"),
                       [] { return QVariant(); },
                       [this] {
                           rows_ = params_.gridRows();
                           for (int i = 0; i < int(rows_.size()); ++i)
                               fillGridRow(i);
                           return QVariant();
                       },
                       [this](const QVariant&) { params_.applyGrid(rows_); },
                       {},
                       true});
        handlers_.add({QStringLiteral("userDropLines"),
                       [this] { return QVariant(dropLines_->isChecked()); },
                       [this] {
                           dropLines_->setChecked(ctx_.options.userDropLines);
                           return QVariant(dropLines_->isChecked());
                       },
                       [this](const QVariant& v) { params_.applyUserDropLines(v.toBool()); },
                       {},
                       false});
        handlers_.add({QStringLiteral("signalFrames"), [] { return QVariant(); },
                       [this] {
                           frames_ = params_.signalFrames();
                           shownLine_ = -1;
                           showChannel(channel_->currentIndex());
                           return QVariant();
                       },
                       [this](const QVariant&) {
                           showChannel(shownLine_);  // the shown frame's values
                           params_.applySignalFrames(frames_);
                       },
                       [this] { frames_.clear(); }, true});
    }
    if (samples_[0]) {
        handlers_.add({QStringLiteral("colours"),
                       [] { return QVariant(); },
                       [this] {
                           sets_ = ctx_.options.colours;
                           listFont_ = font();
                           listFontColour_ = Qt::black;
                           PropertyList props;
                           if (ctx_.settings.ReadObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, props))
                               applyFontProperties(props, listFont_, &listFontColour_);
                           for (int n = 0; n < 4; ++n)
                               paintSample(n);
                           return QVariant();
                       },
                       [this](const QVariant&) {
                           sets_[3].foreground = toStored(listFontColour_);
                           sets_[3].bold = listFont_.bold();
                           sets_[3].italic = listFont_.italic();
                           params_.applyColours(sets_,
                                                fontToProperties(listFont_, listFontColour_));
                           if (onListLook)
                               onListLook();
                       },
                       {},
                       true});
    }
    addSwitch(
        "detectDtmfAfterConfirmation", 5, false,
        [this] { return params_.detectDtmfAfterConfirmation(); },
        [this](bool v) { params_.applyDetectDtmfAfterConfirmation(v); });
    addSwitch(
        "debugDump", 6, false, [this] { return params_.debugDump(); },
        [this](bool v) { params_.applyDebugDump(v); });
    handlers_.add(
        {QStringLiteral("confirmMethods"),
         [] { return QVariant(); },
         [this] {
             confirm_->load(ctx_.confirmMethods);
             return QVariant();
         },
         [this](const QVariant&) { confirm_->editor().apply(ctx_.confirmMethods, ctx_.settings); },
         {},
         true});

    handlers_.loadAll();
    RestoreFormPlacement(this, ctx_.settings, kPlacementSection, kPlaceSize | kPlacePosition);
}

QWidget* TfAdvancedParam::page(const QString& title) const {
    for (int i = 0; i < pages_->count(); ++i)
        if (pages_->tabText(i) == title)
            return pages_->widget(i);
    return nullptr;
}

void TfAdvancedParam::buildGeneral(bool notifyRights) {
    auto* w = new QWidget(pages_);
    w->setObjectName(QStringLiteral("GeneralPage"));
    auto* l = new QVBoxLayout(w);
    const TextId ids[7] = {textAutoShowResultsWindow,
                           textAutoSaveAlarmResults,
                           textDoNotConfirmEditList,
                           textMakeLog,
                           textDoNotAskConfirmOnAlarm,
                           textAllowDetectDTMF,
                           textMakeDump};
    for (int n = 0; n < 7; ++n) {
        general_[size_t(n)] = new QCheckBox(T(ids[n]), w);
        general_[size_t(n)]->setObjectName(QStringLiteral("GeneralBox") + QString::number(n + 1));
        general_[size_t(n)]->setEnabled(n >= 5 || notifyRights);
        l->addWidget(general_[size_t(n)]);
    }
    connect(general_[2], &QCheckBox::clicked, this,
            [this](bool checked) { ctx_.options.notConfirmEditList = !checked; });
    l->addStretch();
    pages_->addTab(w, T(textCommonTab));
}

void TfAdvancedParam::buildDirectories() {
    auto* w = new QWidget(pages_);
    w->setObjectName(QStringLiteral("DirectoriesPage"));
    auto* form = new QFormLayout(w);
    const TextId labels[5] = {textSoundMessage, textTextMessage, textAbonentsGroups,
                              textAlarmSchemesLabel, textReports};
    for (int d = 0; d < 5; ++d) {
        dirEdits_[size_t(d)] = new QLineEdit(w);
        dirEdits_[size_t(d)]->setObjectName(
            QString::fromLatin1(directoryRegistryName(DataDirectory(d))));
        form->addRow(T(labels[d]), dirEdits_[size_t(d)]);
    }
    pages_->addTab(w, T(textDirectoriesTab));
}

void TfAdvancedParam::buildLineGrid() {
    auto* w = new QWidget(pages_);
    w->setObjectName(QStringLiteral("LinesPage"));
    auto* l = new QVBoxLayout(w);
    auto* warn = new QLabel(T(textIncorrectSettingsDanger) + QLatin1Char('!'), w);
    warn->setStyleSheet(QStringLiteral("color: #b00000;"));
    l->addWidget(warn);
    const int lines = params_.gridRows().size() > 0 ? int(params_.gridRows().size()) : 0;
    grid_ = new QTableWidget(lines, kGridColumnCount, w);
    grid_->setObjectName(QStringLiteral("LineGrid"));
    QStringList headers;
    for (int c = 0; c < kGridColumnCount; ++c)
        headers << lineGridHeader(c);
    grid_->setHorizontalHeaderLabels(headers);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter |
                                                   Qt::Alignment(Qt::TextWordWrap));
    grid_->horizontalHeader()->setMinimumHeight(4 * grid_->fontMetrics().height() + 10);
    grid_->verticalHeader()->hide();
    grid_->setItemDelegate(new GridCellDelegate(grid_));
    grid_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 8);
    // Widths that fit every header's longest word and the dialog's width.
    static const int kWidths[kGridColumnCount] = {46, 112, 96, 96, 104, 70, 100, 70, 100, 70, 100};
    for (int c = 0; c < kGridColumnCount; ++c)
        grid_->setColumnWidth(c, kWidths[c]);
    connect(grid_, &QTableWidget::cellChanged, this, &TfAdvancedParam::gridCellEdited);
    l->addWidget(grid_, 1);
    dropLines_ = new QCheckBox(T(textDoNotUseDisabledLines), w);
    dropLines_->setObjectName(QStringLiteral("DropLinesBox"));
    l->addWidget(dropLines_);
    pages_->addTab(w, T(textLineSettings));
}

void TfAdvancedParam::fillGridRow(int row) {
    const QSignalBlocker block(grid_);
    for (int c = 0; c < kGridColumnCount; ++c) {
        const QString text =
            c == kGridLine ? QString::number(row + 1) : lineGridCellText(rows_[size_t(row)], c);
        QTableWidgetItem* item = grid_->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (c == kGridLine)
                item->setFlags(Qt::ItemIsEnabled);
            grid_->setItem(row, c, item);
        }
        item->setText(text);
    }
}

void TfAdvancedParam::gridCellEdited(int row, int column) {
    if (row < 0 || row >= int(rows_.size()) || column <= kGridLine)
        return;
    int& v = rows_[size_t(row)][size_t(column)];
    v = lineGridCellValue(column, grid_->item(row, column)->text(), v);
    fillGridRow(row);  // a prefix shows or hides its wait flag
}

void TfAdvancedParam::buildSignals() {
    auto* w = new QWidget(pages_);
    w->setObjectName(QStringLiteral("SignalsPage"));
    auto* l = new QVBoxLayout(w);
    auto* head = new QHBoxLayout;
    channel_ = new QComboBox(w);
    channel_->setObjectName(QStringLiteral("ChannelChoice"));
    const int lines = int(params_.signalFrames().size());
    for (int n = 1; n <= lines; ++n)
        channel_->addItem(T(textChannel) + QStringLiteral(" #") + QString::number(n));
    head->addWidget(channel_);
    head->addStretch();
    auto* defaults = new QPushButton(T(textMakeDefault), w);
    defaults->setObjectName(QStringLiteral("DefaultsButton"));
    defaults->setAutoDefault(false);
    head->addWidget(defaults);
    l->addLayout(head);
    frame_ = new TframeSignalParam(w);
    frame_->setEnabled(lines > 0);
    l->addWidget(frame_, 1);
    auto* warn = new QLabel(T(textIncorrectSettingsDanger) + QLatin1Char('!'), w);
    warn->setStyleSheet(QStringLiteral("color: #b00000;"));
    l->addWidget(warn);
    connect(channel_, &QComboBox::currentIndexChanged, this, &TfAdvancedParam::showChannel);
    connect(defaults, &QPushButton::clicked, this, &TfAdvancedParam::setSignalDefaults);
    pages_->addTab(w, T(textSignalSettings));
}

void TfAdvancedParam::showChannel(int line) {
    // One frame serves every line: the shown line's values are kept before
    // another line's are put in.
    if (shownLine_ >= 0 && shownLine_ < int(frames_.size()))
        frames_[size_t(shownLine_)] = frame_->values();
    shownLine_ = line;
    if (line >= 0 && line < int(frames_.size()))
        frame_->setValues(frames_[size_t(line)]);
}

void TfAdvancedParam::setSignalDefaults() {
    frame_->setDefaults();
}

void TfAdvancedParam::buildColours() {
    auto* w = new QWidget(pages_);
    w->setObjectName(QStringLiteral("ColoursPage"));
    auto* grid = new QGridLayout(w);
    const TextId captions[4] = {textMarkedAbonent, textAlarmedAbonent, textNotAlarmedAbonent,
                                textTableBackground};
    for (int n = 0; n < 4; ++n) {
        auto* sample = new QLabel(T(captions[n]), w);
        sample->setObjectName(QStringLiteral("Sample") + QString::number(n + 1));
        sample->setAutoFillBackground(true);
        sample->setFrameShape(QFrame::Panel);
        sample->setFrameShadow(QFrame::Sunken);
        sample->setAlignment(Qt::AlignCenter);
        sample->setMinimumSize(260, 44);
        samples_[size_t(n)] = sample;
        grid->addWidget(sample, n, 0);
        auto* back = new QPushButton(T(textBackgroundColor) + QStringLiteral("..."), w);
        auto* fore = new QPushButton(T(textFontColor) + QStringLiteral("..."), w);
        auto* bold = new QCheckBox(T(textBold), w);
        auto* italic = new QCheckBox(T(textItalic), w);
        for (QPushButton* b : {back, fore})
            b->setAutoDefault(false);
        grid->addWidget(back, n, 1);
        grid->addWidget(fore, n, 2);
        grid->addWidget(bold, n, 3);
        grid->addWidget(italic, n, 4);
        connect(back, &QPushButton::clicked, this, [this, n] {
            const QColor c = QColorDialog::getColor(fromStored(sets_[size_t(n)].background), this);
            if (c.isValid()) {
                sets_[size_t(n)].background = toStored(c);
                paintSample(n);
            }
        });
        connect(fore, &QPushButton::clicked, this, [this, n] {
            const QColor was = n == 3 ? listFontColour_ : fromStored(sets_[size_t(n)].foreground);
            const QColor c = QColorDialog::getColor(was, this);
            if (!c.isValid())
                return;
            if (n == 3)
                listFontColour_ = c;
            else
                sets_[size_t(n)].foreground = toStored(c);
            paintSample(n);
        });
        auto style = [this, n, bold, italic] {
            if (n == 3) {
                listFont_.setBold(bold->isChecked());
                listFont_.setItalic(italic->isChecked());
                for (int k = 0; k < 4; ++k)
                    paintSample(k);  // the family and size are every panel's
            } else {
                sets_[size_t(n)].bold = bold->isChecked();
                sets_[size_t(n)].italic = italic->isChecked();
                paintSample(n);
            }
        };
        connect(bold, &QCheckBox::clicked, this, style);
        connect(italic, &QCheckBox::clicked, this, style);
        sample->setProperty("boldBox", QVariant::fromValue<QObject*>(bold));
        sample->setProperty("italicBox", QVariant::fromValue<QObject*>(italic));
        if (n == 3) {
            auto* fontButton = new QPushButton(T(textFont) + QStringLiteral("..."), w);
            fontButton->setAutoDefault(false);
            grid->addWidget(fontButton, n, 5);
            connect(fontButton, &QPushButton::clicked, this, [this] {
                bool ok = false;
                const QFont f = QFontDialog::getFont(&ok, listFont_, this);
                if (ok)
                    setListFont(f, listFontColour_);
            });
        }
    }
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(4, 1);
    pages_->addTab(w, T(textAbonentsList));
}

void TfAdvancedParam::setListFont(const QFont& font, const QColor& colour) {
    listFont_ = font;
    listFontColour_ = colour;
    for (int k = 0; k < 4; ++k)
        paintSample(k);
}

void TfAdvancedParam::paintSample(int n) {
    QLabel* s = samples_[size_t(n)];
    if (!s)
        return;
    const ColourSet& set = sets_[size_t(n)];
    QPalette pal = s->palette();
    pal.setColor(QPalette::Window, fromStored(set.background));
    pal.setColor(QPalette::WindowText, n == 3 ? listFontColour_ : fromStored(set.foreground));
    s->setPalette(pal);
    QFont f = listFont_;
    if (n < 3) {
        f.setBold(set.bold);
        f.setItalic(set.italic);
    }
    s->setFont(f);
    auto* bold = qobject_cast<QCheckBox*>(s->property("boldBox").value<QObject*>());
    auto* italic = qobject_cast<QCheckBox*>(s->property("italicBox").value<QObject*>());
    if (bold && italic) {
        bold->setChecked(f.bold());
        italic->setChecked(f.italic());
    }
}

void TfAdvancedParam::buildConfirm() {
    confirm_ = new TConfirmPage(pages_);
    pages_->addTab(confirm_, T(textAgreeType));
}

void TfAdvancedParam::savePlacement() {
    SaveFormPlacement(this, ctx_.settings, kPlacementSection, kPlaceSize | kPlacePosition);
}

void TfAdvancedParam::accept() {
    // An editor still open over a grid cell writes its text back first.
    if (grid_)
        grid_->setCurrentCell(-1, -1);
    handlers_.applyChanged();
    savePlacement();
    QDialog::accept();
}

void TfAdvancedParam::reject() {
    handlers_.cancelAll();
    savePlacement();
    QDialog::reject();
}

}  // namespace orvel
