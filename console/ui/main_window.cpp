#include "ui/main_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

#include "core/closing_sequence.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "ui/font_settings.h"
#include "ui/language_apply.h"
#include "ui/message_dialog.h"
#include "ui/program_context.h"
#include "ui/restructure_window.h"
#include "ui/user_list_model.h"
#include "ui/window_placement.h"

namespace orvel {
namespace {

const QString kFormSizes = QStringLiteral("FORMSIZES");
const QString kListName = QStringLiteral("ListView");

QColor fromStored(uint32_t v) {
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

}  // namespace

TForm1::TForm1(ProgramContext& ctx, QWidget* parent) : QMainWindow(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(T(textAlarmSystem) + QStringLiteral(" ") + ctx_.names.word);
    resize(1000, 640);

    // Placement and the program-wide options.
    RestoreFormPlacement(this, ctx_.settings, kFormSizes, kPlaceSize | kPlacePosition);
    ctx_.options.load(ctx_.settings);
    QDir::setCurrent(ctx_.executableDir);
    // The confirmation-method table: default method, count, entries.
    ctx_.confirmMethods.load(ctx_.settings);

    panel_ = new QWidget(this);
    panel_->setObjectName(QStringLiteral("RecordPanel"));
    auto* panelLayout = new QVBoxLayout(panel_);
    start_ = new QPushButton(
        QStringLiteral("     ") + T(textBegin) + QLatin1Char('\n') + T(textAlarm).toUpper(),
        panel_);
    start_->setObjectName(QStringLiteral("StartButton"));
    start_->setMinimumHeight(56);
    connect(start_, &QPushButton::clicked, this, [this] {
        if (onStart)
            onStart();
    });
    panelLayout->addWidget(start_);
    for (TextId id : {textAbonent, textTime, textLine, textComment, textConfirmation}) {
        panelLayout->addWidget(new QLabel(T(id), panel_));
    }
    panelLayout->addStretch();

    model_ = new UserListModel(ctx_.users, this);
    list_ = new QTableView(this);
    list_->setObjectName(kListName);
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(20);
    const ColourSet& background = ctx_.options.colours[3];
    QPalette pal = list_->palette();
    pal.setColor(QPalette::Base, fromStored(background.background));
    list_->setPalette(pal);
    PropertyList fontProperties;
    if (ctx_.settings.ReadObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, fontProperties)) {
        QFont font = list_->font();
        applyFontProperties(fontProperties, font);
        list_->setFont(font);
    }

    splitter_ = new QSplitter(this);
    splitter_->addWidget(panel_);
    splitter_->addWidget(list_);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({ctx_.options.userPanelSplit, width() - ctx_.options.userPanelSplit});
    setCentralWidget(splitter_);
    counter_ = new QLabel(this);
    statusBar()->addWidget(counter_);
    buildMenus();

    // The subscriber table in the program directory, in the stored mode.
    ctx_.users.open(ctx_.dirs.program.isEmpty() ? QStringLiteral(".") : ctx_.dirs.program,
                    ctx_.options.cryptMode);
    model_->reload();
    RestoreColumnWidths(list_->horizontalHeader(), kListName, ctx_.settings,
                        objectName() + QLatin1Char('_') + kListName + QStringLiteral("_ColWidths"));
    refreshCounters();
}

void TForm1::buildMenus() {
    QMenu* base = menuBar()->addMenu(T(textBase));
    runLocked_ << base;
    QAction* restructure = base->addAction(T(textBaseChangeStruct) + QStringLiteral("..."));
    connect(restructure, &QAction::triggered, this, &TForm1::openStructureEditor);
    connect(base->addAction(T(textSaveGroup) + QStringLiteral("...")), &QAction::triggered, this,
            [this] {
                if (onSaveGroup)
                    onSaveGroup();
            });
    connect(base->addAction(T(textLoadGroup) + QStringLiteral("...")), &QAction::triggered, this,
            [this] {
                if (onLoadGroup)
                    onLoadGroup();
            });
    for (TextId id : {textSelectAllRecords, textImportRecords, textExportRecords, textPrint}) {
        base->addAction(T(id))->setEnabled(false);
    }
    base->addSeparator();
    connect(base->addAction(T(textCloseProgram) + QStringLiteral("...")), &QAction::triggered, this,
            &QWidget::close);
    QMenu* record = menuBar()->addMenu(T(textRecord));
    for (TextId id :
         {textFindRecord, textAddRecord, textDuplicateRecord, textChangeRecord, textDeleteRecord}) {
        record->addAction(T(id))->setEnabled(false);
    }
    QMenu* messages = menuBar()->addMenu(T(textMessages));
    runLocked_ << messages;
    for (TextId id :
         {textSoundMessageAlarm, textConfirmMessage, textSyntezFromText, textDeleteMessage}) {
        messages->addAction(T(id))->setEnabled(false);
    }
    QMenu* options = menuBar()->addMenu(T(textOptions));
    schemeAction_ = options->addAction(T(textAlarmOptions) + QStringLiteral("..."));
    connect(schemeAction_, &QAction::triggered, this, [this] {
        if (onSchemeEditor)
            onSchemeEditor();
    });
    options->addAction(T(textAdvancedParam) + QStringLiteral("..."))->setEnabled(false);
    deviceInfo_ = options->addAction(T(textDeviceInfo) + QStringLiteral("..."));
    deviceInfo_->setEnabled(false);
    QMenu* service = menuBar()->addMenu(T(textService));
    for (TextId id : {textDeleteDuplicates, textReplaceNumbers, textMakeDevelopersReport}) {
        service->addAction(T(id))->setEnabled(false);
    }
    QMenu* help = menuBar()->addMenu(T(textHelp));
    for (TextId id : {textUserManual, textAbout})
        help->addAction(T(id))->setEnabled(false);
}

void TForm1::setIdle(bool idle, std::mutex* fields) {
    start_->setEnabled(idle);
    for (QMenu* m : runLocked_)
        m->setEnabled(idle);
    if (schemeAction_)
        schemeAction_->setEnabled(idle);
    model_->setRunLock(idle ? nullptr : fields, !idle);
    // Sorting by a header click would move results onto other rows.
    list_->setSortingEnabled(false);
    list_->setEnabled(true);
    if (!idle && model_->rowCount() > 0)
        list_->selectRow(0);
    refreshList();
}

void TForm1::hideStart() {
    start_->hide();
    if (deviceInfo_)
        deviceInfo_->setVisible(false);
}

void TForm1::refreshList() {
    model_->reload();
    refreshCounters();
}

void TForm1::refreshCounters() {
    counter_->setText(T(textAllRecordsCount) + QStringLiteral(": ") +
                      QString::number(ctx_.users.Count()));
}

void TForm1::openStructureEditor() {
    TRestructure editor(ctx_.users, ctx_.settings, this);
    editor.exec();
    model_->reload();
    refreshCounters();
}

void TForm1::showEvent(QShowEvent* event) {
    applyLanguage(this);
    QMainWindow::showEvent(event);
}

void TForm1::saveState() {
    SaveFormPlacement(this, ctx_.settings, kFormSizes, kPlaceSize | kPlacePosition);
    ctx_.settings.WriteSetting(SID_USER_PANEL_SPLIT, splitter_->sizes().value(0));
    ctx_.settings.WriteSetting(SID_MAIN_MAX_CALLS_COUNT, ctx_.options.maxCallsCount);
    ctx_.settings.WriteSetting(SID_PANEL_FIELDLABELS_WIDTH, ctx_.options.fieldLabelsWidth);
    ctx_.users.columns().saveCaptions(ctx_.settings);
    SaveColumnWidths(list_->horizontalHeader(), kListName, ctx_.settings,
                     objectName() + QLatin1Char('_') + kListName + QStringLiteral("_ColWidths"));
}

void TForm1::closeEvent(QCloseEvent* event) {
    WidgetMessageDialog dialog;
    ClosingHooks hooks;
    hooks.runInProgress = runInProgress;
    hooks.stopRun = stopRun;
    hooks.writeClosingLog = [] { WriteSystemLog(T(textClosingProgram), 2); };
    hooks.saveState = [this] { saveState(); };
    if (runClosingSequence(dialog, hooks)) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace orvel
