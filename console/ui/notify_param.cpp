#include "ui/notify_param.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "core/operator_rights.h"
#include "core/texts.h"
#include "diag/system_log.h"
#include "notify/notify_scheme.h"
#include "notify/plan_estimate.h"
#include "notify/scheme_shortcut.h"
#include "notify/wav_format.h"
#include "ui/message_dialog.h"

namespace orvel {

namespace {
// Quiet time after the last change before the estimate is made again.
constexpr int kPlanDebounceMs = 400;
}  // namespace

TNotifyParam::TNotifyParam(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fNotifyParam"));
    setWindowTitle(QStringLiteral("Параметры оповещения"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    attempts_ = new QSpinBox(this);
    attempts_->setObjectName(QStringLiteral("CallsCOunt"));
    attempts_->setRange(1, INT_MAX);
    attempts_->setValue(5);
    attempts_->installEventFilter(this);
    pause_ = new QDoubleSpinBox(this);
    pause_->setObjectName(QStringLiteral("MaxTime"));
    pause_->setRange(0, kSchemeMaxPause);
    pause_->setDecimals(1);
    pause_->setSingleStep(0.1);
    message_ = new QLineEdit(this);
    message_->setObjectName(QStringLiteral("FilenameEdit1"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(
            this, QString(), messageDir_, T(textSoundMessage) + QStringLiteral(" (*.wav)"));
        if (f.isEmpty())
            return;
        message_->setText(f);
        // A file the lines cannot play is still taken: the operator decides.
        const QString warning = wavFormatWarning(readWavFormat(f));
        if (!warning.isEmpty())
            ShowMessageDialog(warning, T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
    });
    // The preview player: the operator hears the message before the run.
    auto* play = new QPushButton(QStringLiteral("\u25B6"), this);
    play->setObjectName(QStringLiteral("PreviewPlay"));
    play->setToolTip(QStringLiteral("Прослушать"));
    connect(play, &QPushButton::clicked, this, [this] { previewMessage(); });
    auto* stop = new QPushButton(QStringLiteral("\u25A0"), this);
    stop->setObjectName(QStringLiteral("PreviewStop"));
    connect(stop, &QPushButton::clicked, this, [this] { player_.stop(); });
    for (QPushButton* small : {browse, play, stop})
        small->setMaximumWidth(small->fontMetrics().height() * 3);
    auto* messageRow = messageRow_ = new QHBoxLayout;
    messageRow->addWidget(message_, 1);
    messageRow->addWidget(browse);
    messageRow->addWidget(play);
    messageRow->addWidget(stop);

    groups_ = new QListWidget(this);
    groups_->setObjectName(QStringLiteral("ListBox1"));
    groups_->setSortingEnabled(true);
    auto* groupButton = new QPushButton(QStringLiteral("..."), this);
    connect(groupButton, &QPushButton::clicked, this, [this] {
        if (chooseGroups)
            setGroups(chooseGroups());
    });
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(groups_, 1);
    groupRow->addWidget(groupButton, 0, Qt::AlignTop);

    schemeName_ = new QLabel(this);
    schemeName_->setObjectName(QStringLiteral("SchemeName"));
    sort_ = new QComboBox(this);
    sort_->setObjectName(QStringLiteral("SortFieldComboBox"));
    limit_ = new QSpinBox(this);
    limit_->setObjectName(QStringLiteral("TimeLimitUpDown"));
    limit_->setRange(0, kSchemeMaxTimeLimit);
    limit_->setSingleStep(5);
    limit_->setWrapping(true);
    limitCaption_ = new QLabel(this);
    limitCaption_->setObjectName(QStringLiteral("TimeLimitPanel"));
    connect(limit_, &QSpinBox::valueChanged, this, [this] { refreshLimitCaption(); });
    auto* limitRow = limitRow_ = new QHBoxLayout;
    limitRow->addWidget(limit_);
    limitRow->addWidget(limitCaption_, 1);
    dump_ = new QLineEdit(this);
    dump_->setObjectName(QStringLiteral("fne_NotifyDump"));
    auto* dumpBrowse = new QPushButton(QStringLiteral("..."), this);
    connect(dumpBrowse, &QPushButton::clicked, this, [this] {
        const QString f =
            QFileDialog::getOpenFileName(this, QString(), programDir_ + QStringLiteral("/ONSD"),
                                         QStringLiteral("Orvel Notify State Dump (*.onsd)"));
        if (!f.isEmpty())
            dump_->setText(f);
    });
    auto* dumpRow = new QHBoxLayout;
    dumpRow->addWidget(dump_, 1);
    dumpRow->addWidget(dumpBrowse);

    auto* form = form_ = new QFormLayout;
    form->addRow(QStringLiteral("Схема:"), schemeName_);
    form->addRow(QStringLiteral("Количество попыток:"), attempts_);
    form->addRow(QStringLiteral("Пауза между попытками, мин:"), pause_);
    form->addRow(T(textSoundMessage) + QLatin1Char(':'), messageRow);
    form->addRow(QStringLiteral("Группы:"), groupRow);
    form->addRow(QStringLiteral("Сортировка:"), sort_);
    form->addRow(QStringLiteral("Предел времени:"), limitRow);
    form->addRow(QStringLiteral("Продолжить с состояния:"), dumpRow);

    auto* load = new QPushButton(QStringLiteral("Загрузить..."), this);
    connect(load, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(
            this, QString(), schemeDir_, T(textAlarmScheme) + QStringLiteral(" (*.sch)"));
        if (!f.isEmpty())
            loadScheme(f);
    });
    auto* save = saveAs_ = new QPushButton(QStringLiteral("Сохранить как..."), this);
    save->setObjectName(QStringLiteral("SaveAsButton"));
    connect(save, &QPushButton::clicked, this, [this] {
        if (!QFileInfo::exists(messageFile())) {
            ShowMessageDialog(T(textCannotOpenYourMessageFiles) + QLatin1Char('!'),
                              T(textWarning) + QLatin1Char('!'), mb::kOk, kKindWarning);
            return;
        }
        QString f = QFileDialog::getSaveFileName(this, QString(), schemeDir_,
                                                 T(textAlarmScheme) + QStringLiteral(" (*.sch)"));
        if (f.isEmpty())
            return;
        if (!f.endsWith(QLatin1String(".sch"), Qt::CaseInsensitive))
            f += QStringLiteral(".sch");
        saveScheme(f);
    });
    auto* shortcut = shortcut_ =
        new QPushButton(QStringLiteral("Создать ярлык на рабочем столе"), this);
    shortcut->setObjectName(QStringLiteral("ShortcutButton"));
    connect(shortcut, &QPushButton::clicked, this, &TNotifyParam::createShortcut);
    ok_ = new QPushButton(T(textClose), this);
    cancel_ = new QPushButton(T(textCancel), this);
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (okAction())
            mode_ == Mode::Start ? accept() : reject();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(load);
    buttons->addWidget(save);
    buttons->addWidget(shortcut);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    // The estimate: when the run would end, or the warning that the time
    // limit leaves subscribers uncalled.
    planRow_ = new QWidget(this);
    auto* planLayout = new QHBoxLayout(planRow_);
    planLayout->setContentsMargins(0, 0, 0, 0);
    planIcon_ = new QLabel(planRow_);
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize);
    planIcon_->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(iconSize, iconSize));
    planIcon_->hide();
    plan_ = new QLabel(planRow_);
    plan_->setObjectName(QStringLiteral("PlanLabel"));
    plan_->setWordWrap(true);
    planLayout->addWidget(planIcon_, 0, Qt::AlignTop);
    planLayout->addWidget(plan_, 1);
    planRow_->hide();
    planTimer_ = new QTimer(this);
    planTimer_->setSingleShot(true);
    planTimer_->setInterval(kPlanDebounceMs);
    connect(planTimer_, &QTimer::timeout, this, &TNotifyParam::refreshPlan);
    connect(attempts_, &QSpinBox::valueChanged, this, &TNotifyParam::schedulePlan);
    connect(pause_, &QDoubleSpinBox::valueChanged, this, &TNotifyParam::schedulePlan);
    connect(limit_, &QSpinBox::valueChanged, this, &TNotifyParam::schedulePlan);
    connect(message_, &QLineEdit::textChanged, this, &TNotifyParam::schedulePlan);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(planRow_);
    top->addLayout(buttons);
    setMode(Mode::Edit);
    refreshLimitCaption();
}

void TNotifyParam::bindRights(const TOperatorRights* rights) {
    if (rights_)
        disconnect(rights_, nullptr, this, nullptr);
    rights_ = rights;
    if (rights_)
        connect(rights_, &TOperatorRights::changed, this, &TNotifyParam::applyRights);
    applyRights();
}

void TNotifyParam::applyRights() {
    const bool may = !rights_ || rights_->has(OperatorRight::ChangeNotifyParams);
    saveAs_->setVisible(may);
    shortcut_->setVisible(may);
    form_->setRowVisible(messageRow_, may);
    form_->setRowVisible(attempts_, may);
    form_->setRowVisible(limitRow_, may);
    form_->setRowVisible(sort_, may);
    adjustSize();
}

void TNotifyParam::setMode(Mode mode) {
    mode_ = mode;
    cancel_->setVisible(mode == Mode::Start);
    ok_->setText(mode == Mode::Start ? T(textContinue) : T(textClose));
    ok_->setDefault(true);
    if (mode == Mode::Start) {
        schemeName_->clear();
        groups_->clear();
    }
}

void TNotifyParam::setDirectories(const QString& schemeDir, const QString& messageDir,
                                  const QString& groupDir, const QString& programDir) {
    schemeDir_ = schemeDir;
    messageDir_ = messageDir;
    groupDir_ = groupDir;
    programDir_ = programDir;
}

void TNotifyParam::setSortColumns(const QStringList& captions) {
    sort_->clear();
    sort_->addItems(captions);
    sort_->setCurrentIndex(captions.isEmpty() ? -1 : 0);
}

int TNotifyParam::attempts() const {
    return attempts_->value();
}
void TNotifyParam::setAttempts(int v) {
    attempts_->setValue(v);
}
double TNotifyParam::pause() const {
    return pause_->value();
}
int TNotifyParam::timeLimit() const {
    return limit_->value();
}
QString TNotifyParam::messageFile() const {
    return message_->text();
}
void TNotifyParam::setMessageFile(const QString& path) {
    message_->setText(path);
}
QString TNotifyParam::dumpFile() const {
    return dump_->text();
}
QStringList TNotifyParam::groups() const {
    QStringList out;
    for (int i = 0; i < groups_->count(); ++i)
        out << groups_->item(i)->text();
    return out;
}
void TNotifyParam::setGroups(const QStringList& groups) {
    groups_->clear();
    for (const QString& g : groups)
        if (isValidGroupName(g))
            groups_->addItem(g);
    schedulePlan();
}
int TNotifyParam::sortIndex() const {
    return qMax(0, sort_->currentIndex());
}
QString TNotifyParam::sortCaption() const {
    return sort_->currentText();
}
QString TNotifyParam::schemeName() const {
    return schemeName_->text();
}
QString TNotifyParam::timeLimitText() const {
    return limitCaption_->text();
}

void TNotifyParam::refreshLimitCaption() {
    limitCaption_->setText(timeLimitCaption(limit_->value()));
}

TNotifyScheme TNotifyParam::currentScheme() const {
    TNotifyScheme s;
    s.messageFile = messageFile();
    s.attempts = attempts();
    s.pause = float(pause());
    s.groups = groups();
    s.sortIndex = sortIndex();
    s.timeLimit = timeLimit();
    return s;
}

void TNotifyParam::applyScheme(const TNotifyScheme& s, const QString& name) {
    message_->setText(s.messageFile);
    schemeName_->setText(name);
    setGroups(s.groups);
    attempts_->setValue(s.attempts);
    pause_->setValue(s.pause);
    if (sort_->count() > 0)
        sort_->setCurrentIndex(qMin(s.sortIndex, sort_->count() - 1));
    limit_->setValue(s.timeLimit);
    refreshLimitCaption();
}

bool TNotifyParam::loadScheme(const QString& path) {
    const auto s = TNotifyScheme::load(path);
    if (!s)
        return false;
    if (!QFileInfo::exists(s->messageFile))
        ShowMessageDialog(QStringLiteral("WAV ") + T(textFileNotFound) + QLatin1Char('!'),
                          T(textWarning), mb::kOk, kKindWarning);
    WriteSystemLog(T(textAlarmSchemeLoaded) + QStringLiteral(": \"") + QFileInfo(path).fileName() +
                       QLatin1Char('"'),
                   1);
    applyScheme(*s, orvel::schemeName(path));
    if (onGroupsLoaded)
        onGroupsLoaded(s->groups);  // other subscribers marked
    schedulePlan();
    if (onSort)
        onSort(sortIndex());
    return true;
}

bool TNotifyParam::saveScheme(const QString& path) {
    if (!currentScheme().save(path))
        return false;
    schemeName_->setText(orvel::schemeName(path));
    return true;
}

bool TNotifyParam::okAction() {
    if (mode_ == Mode::Edit)
        return true;
    if (onSort)
        onSort(sortIndex());
    if (QFileInfo::exists(messageFile()))
        return true;
    const QString text =
        messageFile().isEmpty() ? T(textMessageFileNotSpecified) : T(textYourMessageFileNotFound);
    ShowMessageDialog(text + QLatin1Char('!'), T(textWarning) + QLatin1Char('!'), mb::kOk,
                      kKindWarning);
    return false;
}

void TNotifyParam::createShortcut() {
    if (schemeName().isEmpty()) {
        ShowMessageDialog(T(textShortcutCreateWarning) + QLatin1Char('!'), T(textWarning), mb::kOk,
                          kKindWarning);
        return;
    }
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!writeSchemeShortcut(desktop, QCoreApplication::applicationFilePath(), programDir_,
                             schemeName()))
        ShowMessageDialog(T(textErrorShortcutCreate) + QLatin1Char('!'),
                          T(textError) + QLatin1Char('!'), mb::kOk, kKindError);
}

bool TNotifyParam::eventFilter(QObject* watched, QEvent* event) {
    if (watched == attempts_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown) {
            const qint64 step = key->key() == Qt::Key_PageUp ? 10 : -10;
            attempts_->setValue(
                int(std::clamp<qint64>(qint64(attempts_->value()) + step, 1, INT_MAX)));
            return true;
        }
        if (key->key() == Qt::Key_Asterisk && (key->modifiers() & Qt::KeypadModifier)) {
            attempts_->setValue(INT_MAX);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TNotifyParam::previewMessage() {
    const QString file = messageFile();
    if (file.isEmpty() || !QFileInfo::exists(file))
        return false;
    // Opened on demand (and again for another file), so a machine without a
    // sound output only learns it when someone wants to listen.
    if (!player_.isOpen() || player_.fileName() != file) {
        QString error;
        if (!player_.open(file, &error)) {
            ShowMessageDialog(T(textMediaDeviceError) + QStringLiteral(" : ") + error,
                              T(textError) + QLatin1Char('!'), mb::kOk, kKindError);
            return false;
        }
    }
    return player_.play();
}

void TNotifyParam::hideEvent(QHideEvent* event) {
    player_.close();
    planTimer_->stop();
    QDialog::hideEvent(event);
}

void TNotifyParam::showEvent(QShowEvent* event) {
    refreshLimitCaption();
    // The marks may have changed in the list since the editor was last open.
    refreshPlan();
    QDialog::showEvent(event);
}

void TNotifyParam::schedulePlan() {
    if (estimate)
        planTimer_->start();
}

bool TNotifyParam::planWarningShown() const {
    return planRow_->isVisibleTo(this) && planIcon_->isVisibleTo(this);
}

void TNotifyParam::refreshPlan() {
    planTimer_->stop();
    const std::optional<TPlanResult> plan =
        estimate ? estimate(currentScheme()) : std::optional<TPlanResult>();
    if (!plan) {
        planRow_->hide();
    } else {
        const bool warning = planIsWarning(*plan);
        plan_->setText(planSummaryText(*plan, timeLimit()));
        // A warning in the colour of the program's error lines, with its sign.
        plan_->setStyleSheet(warning ? QStringLiteral("color: red") : QString());
        planIcon_->setVisible(warning);
        planRow_->show();
    }
    // Placed at once: the row may appear while the editor is being shown.
    layout()->activate();
}

}  // namespace orvel
