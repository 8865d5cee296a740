#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "core/closing_sequence.h"
#include "core/texts.h"
#include "data/user_group.h"
#include "diag/system_log.h"
#include "ui/find_user.h"
#include "ui/font_settings.h"
#include "ui/info_windows.h"
#include "ui/language_apply.h"
#include "ui/list_columns.h"
#include "ui/message_dialog.h"
#include "ui/program_context.h"
#include "ui/record_panel.h"
#include "ui/restructure_window.h"
#include "ui/user_list_model.h"
#include "ui/window_placement.h"

namespace orvel {
namespace {

const QString kFormSizes = QStringLiteral("FORMSIZES");
const QString kListName = QStringLiteral("ListView");
const QString kDots = QStringLiteral("...");

QColor fromStored(uint32_t v) {
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

// The all-subscribers entry is framed by bell characters, which sort it
// apart from any group name; they have no picture, so they are not drawn.
QString filterEntryText(const QString& text) {
    QString shown = text;
    shown.remove(QChar(7));
    return shown.trimmed();
}

}  // namespace

TForm1::TForm1(ProgramContext& ctx, QWidget* parent) : QMainWindow(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(T(textAlarmSystem) + QStringLiteral(" ") + ctx_.names.word);
    resize(1100, 680);

    // Placement and the program-wide options.
    RestoreFormPlacement(this, ctx_.settings, kFormSizes, kPlaceSize | kPlacePosition);
    ctx_.options.load(ctx_.settings);
    QDir::setCurrent(ctx_.executableDir);
    // The confirmation-method table: default method, count, entries.
    ctx_.confirmMethods.load(ctx_.settings);

    model_ = new UserListModel(ctx_.users, this);
    model_->setColours(ctx_.options.colours, ctx_.options.maxCallsCount);
    buildPanels();
    buildMenus();
    buildPopup();

    // The subscriber table in the program directory, in the stored mode.
    ctx_.users.open(ctx_.dirs.program.isEmpty() ? QStringLiteral(".") : ctx_.dirs.program,
                    ctx_.options.cryptMode);
    model_->reload();
    arrows_ = QList<int>(model_->columnCount(), -1);
    applyColumnsToEditor();
    fitColumns();

    ctx_.commands.shownEntries = [this] { return selectedRows(); };
    ctx_.commands.refreshList = [this] { refreshList(); };
    connect(&ctx_.rights, &TOperatorRights::changed, this, &TForm1::updateCommands);
    refreshCounters();
    updateCommands();
}

TForm1::~TForm1() {
    ctx_.commands.shownEntries = nullptr;
    ctx_.commands.refreshList = nullptr;
}

QPushButton* TForm1::addButton(const QString& name, const QString& text,
                               const std::function<void()>& run) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, [run] { run(); });
    return b;
}

void TForm1::buildPanels() {
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);

    // The counters.
    auto* top = new QHBoxLayout;
    allCount_ = new QLabel(central);
    allCount_->setObjectName(QStringLiteral("AllCount"));
    sortLabel_ = new QLabel(central);
    sortLabel_->setObjectName(QStringLiteral("SortLabel"));
    selectedCount_ = new QLabel(central);
    selectedCount_->setObjectName(QStringLiteral("SelectedCount"));
    top->addWidget(allCount_, 1);
    top->addWidget(sortLabel_, 1, Qt::AlignHCenter);
    top->addWidget(selectedCount_, 1, Qt::AlignRight);
    outer->addLayout(top);

    // The list with the group filter above it.
    auto* left = new QWidget(central);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    filter_ = new QComboBox(left);
    filter_->setObjectName(QStringLiteral("GroupFilter"));
    filter_->addItem(filterEntryText(T(textAllAbonents)));
    connect(filter_, &QComboBox::activated, this, &TForm1::applyGroupFilter);
    leftLayout->addWidget(filter_);
    list_ = new QTableView(left);
    list_->setObjectName(kListName);
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(20);
    list_->horizontalHeader()->setMinimumSectionSize(1);
    list_->horizontalHeader()->setSectionsClickable(true);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->installEventFilter(this);
    QPalette pal = list_->palette();
    pal.setColor(QPalette::Base, fromStored(ctx_.options.colours[3].background));
    // The selection stays visible when the list loses the focus.
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    }
    list_->setPalette(pal);
    PropertyList fontProperties;
    if (ctx_.settings.ReadObjectSettings(SID_MAIN_LISTVIEW_FONT, -1, fontProperties)) {
        QFont font = list_->font();
        applyFontProperties(fontProperties, font);
        list_->setFont(font);
    }
    leftLayout->addWidget(list_, 1);
    connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TForm1::sortByColumn);
    connect(list_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                const int guarded = guardedColumnWidth(column, width, model_->columnCount());
                if (guarded != width)
                    list_->horizontalHeader()->resizeSection(column, guarded);
            });
    connect(list_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            changeRecord();
    });
    connect(list_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { popup_->popup(list_->viewport()->mapToGlobal(p)); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TForm1::onSelectionChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &TForm1::onSelectionChanged, Qt::UniqueConnection);
    });

    // The editing panel and the record editor.
    rightPanel_ = new QWidget(central);
    rightPanel_->setObjectName(QStringLiteral("RecordPanel"));
    auto* right = new QVBoxLayout(rightPanel_);
    right->setContentsMargins(0, 0, 0, 0);
    auto* editGrid = new QGridLayout;
    editGrid->addWidget(addButton(QStringLiteral("btnNewRecord"), T(textNewRecord),
                                  [this] { newRecord(); }),
                        0, 0);
    editGrid->addWidget(addButton(QStringLiteral("btnRepeatRecord"), T(textRepeatRecord),
                                  [this] { duplicateRecord(); }),
                        0, 1);
    editGrid->addWidget(addButton(QStringLiteral("btnChangeRecord"), T(textChangeRecord),
                                  [this] { changeRecord(); }),
                        1, 0);
    editGrid->addWidget(addButton(QStringLiteral("btnDeleteRecord"), T(textDeleteRecord),
                                  [this] { deleteRecords(); }),
                        1, 1);
    editGrid->addWidget(
        addButton(QStringLiteral("btnApply"), T(textApply), [this] { applyEdit(); }), 2, 0);
    editGrid->addWidget(
        addButton(QStringLiteral("btnCancel"), T(textCancelia), [this] { cancelEdit(); }), 2, 1);
    right->addLayout(editGrid);
    record_ = new TfrRecordInterface(rightPanel_);
    record_->setLabelsWidth(ctx_.options.fieldLabelsWidth);
    connect(record_, &TfrRecordInterface::applyableChanged, this, &TForm1::updateCommands);
    right->addWidget(record_, 1);

    splitter_ = new QSplitter(central);
    splitter_->addWidget(left);
    splitter_->addWidget(rightPanel_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    const int split = qBound(150, ctx_.options.userPanelSplit, 900);
    splitter_->setSizes({qMax(200, width() - split), split});
    outer->addWidget(splitter_, 1);

    // The bottom commands.
    auto* bottom = new QHBoxLayout;
    start_ = addButton(QStringLiteral("StartButton"),
                       T(textBegin) + QLatin1Char('\n') + T(textAlarm).toUpper(), [this] {
                           if (onStart)
                               onStart();
                       });
    start_->setMinimumHeight(52);
    start_->setMinimumWidth(140);
    QFont bold = start_->font();
    bold.setBold(true);
    start_->setFont(bold);
    bottom->addWidget(start_);
    noRunReason_ = new QLabel(central);
    noRunReason_->setObjectName(QStringLiteral("NoRunReason"));
    noRunReason_->setWordWrap(true);
    noRunReason_->setStyleSheet(QStringLiteral("color: #b00000"));
    noRunReason_->hide();
    bottom->addWidget(noRunReason_);
    bottom->addWidget(addButton(QStringLiteral("btnLoadGroup"), T(textLoadGroup), [this] {
        if (onLoadGroup)
            onLoadGroup();
    }));
    bottom->addWidget(addButton(QStringLiteral("btnSaveGroup"), T(textSaveGroup), [this] {
        if (onSaveGroup)
            onSaveGroup();
    }));
    bottom->addWidget(addButton(QStringLiteral("btnGroupSelected"), T(textGroupSelected),
                                [this] { groupSelected(); }));
    bottom->addWidget(
        addButton(QStringLiteral("btnFindRecord"), T(textFindRecord), [this] { openFind(); }));
    bottom->addWidget(
        addButton(QStringLiteral("btnAlarmResult"), T(textAlarmResult), [this] { openResult(); }));
    for (QPushButton* b : findChildren<QPushButton*>()) {
        if (b != start_ && b->parentWidget() == central)
            b->setMinimumHeight(52);
    }
    outer->addLayout(bottom);
    setCentralWidget(central);
}

QAction* TForm1::addCommand(QMenu* menu, const QString& name, const QString& text,
                            const std::function<void()>& run) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [run] { run(); });
    return a;
}

void TForm1::buildMenus() {
    auto& cmd = ctx_.commands;
    // An entry of the window commands, looked up when the item is chosen.
    auto open = [this](std::function<void(QWidget*)> WindowCommands::*entry) {
        return [this, entry] {
            if (ctx_.commands.*entry)
                (ctx_.commands.*entry)(this);
        };
    };
    (void)cmd;
    QMenu* base = menuBar()->addMenu(T(textBase));
    base->setObjectName(QStringLiteral("mnuBase"));
    addCommand(base, QStringLiteral("actChangeStruct"), T(textBaseChangeStruct) + kDots,
               [this] { openStructureEditor(); });
    QAction* all = addCommand(base, QStringLiteral("actSelectAllRecords"), T(textSelectAllRecords),
                              [this] { selectAll(); });
    all->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    all->setShortcutContext(Qt::WindowShortcut);
    addCommand(base, QStringLiteral("actImport"), T(textImportRecords) + kDots, [this, open] {
        if (mayChangeList())
            open(&WindowCommands::importRecords)();
    });
    addCommand(base, QStringLiteral("actExport"), T(textExportRecords) + kDots,
               open(&WindowCommands::exportList));
    addCommand(base, QStringLiteral("actPrint"), T(textPrint) + kDots,
               open(&WindowCommands::printList));
    base->addSeparator();
    addCommand(base, QStringLiteral("actClose"), T(textCloseProgram) + kDots,
               [this] { close(); });

    userAction_ = menuBar()->addAction(T(textUser));
    userAction_->setObjectName(QStringLiteral("actUser"));
    connect(userAction_, &QAction::triggered, this, open(&WindowCommands::currentUser));

    QMenu* record = menuBar()->addMenu(T(textRecord));
    record->setObjectName(QStringLiteral("mnuRecord"));
    addCommand(record, QStringLiteral("actFindRecord"), T(textSearchRecord),
               [this] { openFind(); });
    addCommand(record, QStringLiteral("actGroupSelected"), T(textGroupSelected),
               [this] { groupSelected(); });
    record->addSeparator();
    QAction* add = addCommand(record, QStringLiteral("actAddRecord"), T(textAddRecord),
                              [this] { newRecord(); });
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    addCommand(record, QStringLiteral("actDuplicateRecord"), T(textDuplicateRecord),
               [this] { duplicateRecord(); });
    addCommand(record, QStringLiteral("actChangeRecord"), T(textChangeRecord),
               [this] { changeRecord(); });
    QAction* del = addCommand(record, QStringLiteral("actDeleteRecord"), T(textDeleteRecord),
                              [this] { deleteRecords(); });
    del->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));

    QMenu* messages = menuBar()->addMenu(T(textMessages));
    messages->setObjectName(QStringLiteral("mnuMessages"));
    addCommand(messages, QStringLiteral("actSoundMessage"), T(textSoundMessageAlarm),
               open(&WindowCommands::recordMessage));
    addCommand(messages, QStringLiteral("actConfirmMessage"), T(textConfirmMessage),
               open(&WindowCommands::recordConfirm));
    addCommand(messages, QStringLiteral("actSynthesis"), T(textSyntezFromText),
               open(&WindowCommands::synthesis));
    addCommand(messages, QStringLiteral("actDeleteMessage"), T(textDeleteMessage),
               open(&WindowCommands::deleteMessages));

    QMenu* options = menuBar()->addMenu(T(textOptions));
    options->setObjectName(QStringLiteral("mnuOptions"));
    addCommand(options, QStringLiteral("actAlarmOptions"), T(textAlarmOptions) + kDots, [this] {
        if (onSchemeEditor)
            onSchemeEditor();
    });
    addCommand(options, QStringLiteral("actAdvancedParam"), T(textAdvancedParam) + kDots,
               open(&WindowCommands::advancedParams));
    addCommand(options, QStringLiteral("actDeviceInfo"), T(textDeviceInfo) + kDots,
               [this] { openDeviceInfo(); });

    QMenu* service = menuBar()->addMenu(T(textService));
    service->setObjectName(QStringLiteral("mnuService"));
    addCommand(service, QStringLiteral("actDeleteDuplicates"), T(textDeleteDuplicates),
               [this] { removeDuplicates(); });
    addCommand(service, QStringLiteral("actReplaceNumbers"), T(textReplaceNumbers) + kDots,
               [this] { openNumbersChange(); });
    addCommand(service, QStringLiteral("actDevelopersReport"), T(textMakeDevelopersReport),
               open(&WindowCommands::developerReport));

    QMenu* help = menuBar()->addMenu(T(textHelp));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addCommand(help, QStringLiteral("actUserManual"), T(textUserManual), [this] { openManual(); });
    addCommand(help, QStringLiteral("actAbout"), T(textAbout) + kDots, [this] { openAbout(); });
    menus_ = {base, record, messages, options, service, help};
}

void TForm1::buildPopup() {
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("ListPopup"));
    addCommand(popup_, QStringLiteral("popFindRecord"), T(textSearchRecord),
               [this] { openFind(); });
    addCommand(popup_, QStringLiteral("popSelectAll"), T(textSelectAll), [this] { selectAll(); });
    popup_->addSeparator();
    addCommand(popup_, QStringLiteral("popMark"), T(textMarkToAlarm), [this] { setMarks(true); });
    addCommand(popup_, QStringLiteral("popUnmark"), T(textUnmark), [this] { setMarks(false); });
    popup_->addSeparator();
    addCommand(popup_, QStringLiteral("popArrangeFields"), T(textArrangeFields),
               [this] { arrangeColumns(); });
}

QAction* TForm1::action(const QString& name) const {
    return findChild<QAction*>(name);
}

QPushButton* TForm1::button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void TForm1::setGroups(TUserGroup* groups) {
    groups_ = groups;
    if (!groups_)
        return;
    auto previous = groups_->onChange;
    groups_->onChange = [this, previous] {
        if (previous)
            previous();
        refillGroupFilter();
    };
    refillGroupFilter();
}

void TForm1::setLineLibrary(ILineLibrary* library, const QStringList& unservedLines) {
    library_ = library;
    unserved_ = unservedLines;  // the line setup has logged them
}

void TForm1::setLineCount(int count) {
    record_->setLineCount(count);
}

void TForm1::setMaxCalls(int count) {
    ctx_.options.maxCallsCount = count;
    model_->setColours(ctx_.options.colours, count);
    list_->viewport()->update();
}

void TForm1::refillGroupFilter() {
    filter_->clear();
    filter_->addItem(filterEntryText(T(textAllAbonents)));
    if (groups_) {
        filter_->addItems(groups_->groups());
        record_->setGroups(groups_->groups());
    }
    filter_->setCurrentIndex(0);
    updateCommands();
}

void TForm1::applyGroupFilter(int entry) {
    if (!mayChangeList())
        return;
    // Marks survive the change for the subscribers listed before and after.
    QSet<int> marked;
    for (int i = 0; i < ctx_.users.Count(); ++i) {
        if (ctx_.users.Item(i)->mark)
            marked.insert(ctx_.users.Item(i)->recordNumber);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (entry <= 0 || !groups_)
        ctx_.users.SetGroupFilter(QString());
    else
        ctx_.users.SetGroupFilter(groups_->groupPath(filter_->itemText(entry)));
    for (int i = 0; i < ctx_.users.Count(); ++i) {
        if (marked.contains(ctx_.users.Item(i)->recordNumber))
            ctx_.users.Item(i)->mark = 1;
    }
    model_->reload();
    QApplication::restoreOverrideCursor();
    if (model_->rowCount() > 0)
        selectOnly(0);
    onSelectionChanged();
}

void TForm1::applyColumnsToEditor() {
    QStringList captions;
    QList<int> lengths;
    for (int i = 6; i < ctx_.users.columns().Count(); ++i) {
        captions << ctx_.users.columns().Item(i).name;
        lengths << ctx_.users.columns().Item(i).length;
    }
    record_->setExtraFields(captions, lengths);
}

void TForm1::fitColumns() {
    QHeaderView* header = list_->horizontalHeader();
    header->setResizeContentsPrecision(200);
    list_->resizeColumnsToContents();
    // Every column shows its caption and its texts whole.
    const QFontMetrics caption(header->font());
    for (int c = 0; c < model_->columnCount(); ++c) {
        const int text = caption.horizontalAdvance(
                             model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                         24;
        // Marked rows are drawn bold: room for the bold texts too.
        const int fit = qMax(qMax(text, header->sectionSizeHint(c)),
                             header->sectionSize(c) * 112 / 100 + 8);
        header->resizeSection(c, qBound(kMinColumnWidth, fit, 400));
    }
    RestoreColumnWidths(header, kListName, ctx_.settings,
                        objectName() + QLatin1Char('_') + kListName + QStringLiteral("_ColWidths"));
}

void TForm1::setIdle(bool idle, std::mutex* fields) {
    idle_ = idle;
    if (!idle && record_->mode() != TfrRecordInterface::kViewing)
        cancelEdit();
    model_->setRunLock(idle ? nullptr : fields, !idle);
    list_->setEnabled(true);
    if (!idle && model_->rowCount() > 0)
        list_->selectRow(0);
    refreshList();
    updateCommands();
}

void TForm1::hideStart(const QString& reason) {
    libraryReady_ = false;
    noRunReason_->setText(reason.isEmpty() ? T(textNoWorkingBoards) : reason);
    noRunReason_->show();
    updateCommands();
}

void TForm1::refreshList() {
    model_->reload();
    if (arrows_.size() != model_->columnCount()) {
        arrows_ = QList<int>(model_->columnCount(), -1);
        applyColumnsToEditor();
    }
    refreshCounters();
    onSelectionChanged();
}

QString TForm1::allCountText() const {
    return T(textAllRecordsCount) + QStringLiteral(" - ") + QString::number(ctx_.users.Count());
}

QString TForm1::sortText() const {
    return sortCaption_.isEmpty() ? QString() : T(textSorting) + QStringLiteral(" - ") + sortCaption_;
}

QString TForm1::selectedCountText() const {
    int n = 0;
    if (list_->selectionModel()) {
        for (const QItemSelectionRange& r : list_->selectionModel()->selection())
            n += r.height();
    }
    return T(textRecordsSelected) + QStringLiteral(" - ") + QString::number(n);
}

void TForm1::refreshCounters() {
    allCount_->setText(allCountText());
    sortLabel_->setText(sortText());
    selectedCount_->setText(selectedCountText());
}

QList<int> TForm1::selectedRows() const {
    QList<int> rows;
    if (!list_->selectionModel())
        return rows;
    for (const QItemSelectionRange& r : list_->selectionModel()->selection()) {
        for (int row = r.top(); row <= r.bottom(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TForm1::selectOnly(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    const QModelIndex index = model_->index(row, 0);
    list_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TForm1::onSelectionChanged() {
    if (record_->mode() == TfrRecordInterface::kViewing) {
        const QList<int> rows = selectedRows();
        int row = list_->currentIndex().row();
        if (!rows.contains(row))
            row = rows.value(0, -1);
        if (const TUserListItem* it = ctx_.users.Item(row))
            record_->showValues(valuesFromItem(*it));
        else
            record_->clearValues();
    }
    refreshCounters();
    updateCommands();
}

void TForm1::updateCommands() {
    const auto& rights = ctx_.rights;
    const auto& cmd = ctx_.commands;
    const bool editing = record_->mode() != TfrRecordInterface::kViewing;
    const bool changeBase = rights.has(OperatorRight::ChangeBase);
    const bool changeGroups = rights.has(OperatorRight::ChangeGroups);
    const int selected = list_->selectionModel() ? selectedRows().size() : 0;
    const bool canEdit = changeBase && idle_ && !editing;
    auto show = [this](const QString& name, bool visible, bool enabled) {
        if (QAction* a = action(name)) {
            a->setVisible(visible);
            a->setEnabled(enabled);
        } else if (QPushButton* b = button(name)) {
            b->setVisible(visible);
            b->setEnabled(enabled);
        }
    };
    const bool mainFilter = filter_->currentIndex() == 0;
    // The editing panel and the menu items that follow its buttons.
    show(QStringLiteral("btnNewRecord"), changeBase, canEdit);
    show(QStringLiteral("actAddRecord"), changeBase, canEdit);
    show(QStringLiteral("btnRepeatRecord"), changeBase, canEdit && selected == 1);
    show(QStringLiteral("actDuplicateRecord"), changeBase, canEdit && selected == 1);
    for (const char* n : {"btnChangeRecord", "actChangeRecord", "btnDeleteRecord",
                          "actDeleteRecord"}) {
        show(QString::fromLatin1(n), changeBase, canEdit && selected >= 1);
    }
    show(QStringLiteral("btnApply"), changeBase, editing && record_->canApply());
    show(QStringLiteral("btnCancel"), changeBase, editing);
    show(QStringLiteral("actImport"), changeBase && bool(cmd.importRecords), canEdit);
    // The list and the commands that leave the editor.
    list_->setEnabled(!editing);
    filter_->setEnabled(!editing && idle_);
    show(QStringLiteral("StartButton"), rights.has(OperatorRight::StartNotification),
         !editing && idle_ && libraryReady_);
    if (!libraryReady_)
        start_->hide();
    show(QStringLiteral("btnLoadGroup"), true, !editing && idle_);
    show(QStringLiteral("btnSaveGroup"), changeGroups, !editing && mainFilter);
    show(QStringLiteral("btnGroupSelected"), true, !editing && idle_);
    show(QStringLiteral("actGroupSelected"), true, !editing && idle_);
    show(QStringLiteral("btnFindRecord"), true, !editing);
    show(QStringLiteral("actFindRecord"), true, !editing);
    show(QStringLiteral("popFindRecord"), true, !editing);
    show(QStringLiteral("btnAlarmResult"), rights.has(OperatorRight::ViewReports), !editing);
    // Marks and selection.
    show(QStringLiteral("actSelectAllRecords"), changeGroups, !editing);
    show(QStringLiteral("popSelectAll"), changeGroups, !editing);
    show(QStringLiteral("popMark"), changeGroups, idle_ && !editing);
    show(QStringLiteral("popUnmark"), changeGroups, idle_ && !editing);
    // Base, messages, options, service, help.
    const bool admin = rights.has(OperatorRight::Administrator);
    show(QStringLiteral("actChangeStruct"), admin, idle_ && !editing);
    show(QStringLiteral("actExport"),
         rights.has(OperatorRight::ExportRecords) && bool(cmd.exportList), true);
    show(QStringLiteral("actPrint"), rights.has(OperatorRight::ExportRecords) && bool(cmd.printList),
         true);
    show(QStringLiteral("actSoundMessage"), bool(cmd.recordMessage), true);
    show(QStringLiteral("actConfirmMessage"), bool(cmd.recordConfirm), true);
    show(QStringLiteral("actSynthesis"), bool(cmd.synthesis), true);
    show(QStringLiteral("actDeleteMessage"), bool(cmd.deleteMessages), true);
    const bool notifyParams = rights.has(OperatorRight::ChangeNotifyParams);
    show(QStringLiteral("actAlarmOptions"), notifyParams, idle_);
    show(QStringLiteral("actAdvancedParam"), bool(cmd.advancedParams), true);
    show(QStringLiteral("actDeviceInfo"), admin, true);
    show(QStringLiteral("actDeleteDuplicates"), true, idle_);
    show(QStringLiteral("actReplaceNumbers"), true, idle_);
    show(QStringLiteral("actDevelopersReport"), bool(cmd.developerReport), true);
    userAction_->setVisible(bool(cmd.currentUser));
    userAction_->setEnabled(!editing);
    for (QMenu* m : menus_) {
        const QString n = m->objectName();
        bool visible = true;
        bool enabled = true;
        if (n == QLatin1String("mnuBase")) {
            enabled = idle_;
        } else if (n == QLatin1String("mnuMessages")) {
            visible = notifyParams;
            enabled = idle_ && !editing;
        } else if (n == QLatin1String("mnuService")) {
            visible = changeBase;
            enabled = !editing;
        } else if (n == QLatin1String("mnuOptions")) {
            enabled = !editing;
        }
        m->menuAction()->setVisible(visible);
        m->setEnabled(enabled);
    }
}

void TForm1::openStructureEditor() {
    if (!mayChangeList())
        return;
    TRestructure editor(ctx_.users, ctx_.settings, this);
    editor.exec();
    model_->reload();
    arrows_ = QList<int>(model_->columnCount(), -1);
    applyColumnsToEditor();
    fitColumns();
    refreshCounters();
}

void TForm1::showEvent(QShowEvent* event) {
    applyLanguage(this);
    applyLanguage(popup_);
    QMainWindow::showEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            toggleMark(list_->currentIndex().row());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::saveState() {
    SaveFormPlacement(this, ctx_.settings, kFormSizes, kPlaceSize | kPlacePosition);
    ctx_.settings.WriteSetting(SID_USER_PANEL_SPLIT, splitter_->sizes().value(1));
    ctx_.settings.WriteSetting(SID_MAIN_MAX_CALLS_COUNT, ctx_.options.maxCallsCount);
    ctx_.options.fieldLabelsWidth = record_->labelsWidth();
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
